#include "support/PickScene.h"

#include <algorithm>
#include <cmath>

#include <Inventor/SbTime.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSelection.h>

#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"

namespace picktest {

namespace {

constexpr double kPi = 3.141592653589793;

int AddVertex(vxtest::Mesh& m, double x, double y, double z) {
  m.xyz.insert(m.xyz.end(), {float(x), float(y), float(z)});
  return static_cast<int>(m.xyz.size() / 3 - 1);
}

// Adds a triangle wound so that its normal points along `out`.
void AddTriangle(vxtest::Mesh& m, int a, int b, int c, const SbVec3f& out) {
  auto P = [&](int v) { return SbVec3f(m.xyz[3 * v], m.xyz[3 * v + 1], m.xyz[3 * v + 2]); };
  const SbVec3f n = (P(b) - P(a)).cross(P(c) - P(a));
  if (n.dot(out) < 0) std::swap(b, c);
  m.tris.insert(m.tris.end(), {a, b, c});
}

void AddQuad(vxtest::Mesh& m, int a, int b, int c, int d, const SbVec3f& out) {
  AddTriangle(m, a, b, c, out);
  AddTriangle(m, a, c, d, out);
}

}  // namespace

vxtest::Mesh PlateWithHole(float a, float t, float r, int n) {
  // Outer ring: the hole's angles projected onto the square, plus corners.
  std::vector<std::pair<double, SbVec3f>> outer;
  for (int i = 0; i < n; ++i) {
    const double th = 2 * kPi * i / n, c = std::cos(th), s = std::sin(th);
    const double k = a / std::max(std::fabs(c), std::fabs(s));
    outer.push_back({th, SbVec3f(float(k * c), float(k * s), 0)});
  }
  for (int q = 0; q < 4; ++q) {
    const double th = kPi / 4 + q * kPi / 2;
    outer.push_back({th, SbVec3f(q == 0 || q == 3 ? a : -a, q < 2 ? a : -a, 0)});
  }
  std::sort(outer.begin(), outer.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
  vxtest::Mesh m;
  const int m0 = static_cast<int>(outer.size());
  std::vector<int> iTop(n), iBot(n), oTop(m0), oBot(m0);
  for (int i = 0; i < n; ++i) {
    const double th = 2 * kPi * i / n;
    iTop[i] = AddVertex(m, r * std::cos(th), r * std::sin(th), t);
    iBot[i] = AddVertex(m, r * std::cos(th), r * std::sin(th), 0);
  }
  for (int j = 0; j < m0; ++j) {
    oTop[j] = AddVertex(m, outer[j].second[0], outer[j].second[1], t);
    oBot[j] = AddVertex(m, outer[j].second[0], outer[j].second[1], 0);
  }
  // Top and bottom annulus: zip the rings by angle.
  int i = 0, j = 0;
  while (i < n || j < m0) {
    const double ni = i < n ? 2 * kPi * (i + 1) / n : 1e9;
    const double nj = j < m0 ? (j + 1 < m0 ? outer[j + 1].first : 2 * kPi) : 1e9;
    if (ni <= nj) {
      AddTriangle(m, iTop[i % n], oTop[j % m0], iTop[(i + 1) % n], SbVec3f(0, 0, 1));
      AddTriangle(m, iBot[i % n], oBot[j % m0], iBot[(i + 1) % n], SbVec3f(0, 0, -1));
      ++i;
    } else {
      AddTriangle(m, iTop[i % n], oTop[j % m0], oTop[(j + 1) % m0], SbVec3f(0, 0, 1));
      AddTriangle(m, iBot[i % n], oBot[j % m0], oBot[(j + 1) % m0], SbVec3f(0, 0, -1));
      ++j;
    }
  }
  auto P = [&](int v) { return SbVec3f(m.xyz[3 * v], m.xyz[3 * v + 1], 0); };
  for (int k = 0; k < n; ++k) {
    const int k1 = (k + 1) % n;
    AddQuad(m, iBot[k], iBot[k1], iTop[k1], iTop[k], -(P(iBot[k]) + P(iBot[k1])));
  }
  for (int k = 0; k < m0; ++k) {
    const int k1 = (k + 1) % m0;
    SbVec3f e = P(oBot[k1]) - P(oBot[k]);
    AddQuad(m, oBot[k], oBot[k1], oTop[k1], oTop[k], SbVec3f(e[1], -e[0], 0));
  }
  return m;
}

vxtest::Mesh Cylinder(float r, float h, int n) {
  vxtest::Mesh m;
  const int cb = AddVertex(m, 0, 0, 0), ct = AddVertex(m, 0, 0, h);
  std::vector<int> b(n), t(n);
  for (int i = 0; i < n; ++i) {
    const double th = 2 * kPi * i / n;
    b[i] = AddVertex(m, r * std::cos(th), r * std::sin(th), 0);
    t[i] = AddVertex(m, r * std::cos(th), r * std::sin(th), h);
  }
  for (int i = 0; i < n; ++i) {
    const int i1 = (i + 1) % n;
    AddTriangle(m, cb, b[i], b[i1], SbVec3f(0, 0, -1));
    AddTriangle(m, ct, t[i], t[i1], SbVec3f(0, 0, 1));
    const double th = 2 * kPi * (i + 0.5) / n;
    AddQuad(m, b[i], b[i1], t[i1], t[i], SbVec3f(float(std::cos(th)), float(std::sin(th)), 0));
  }
  return m;
}

vxtest::Mesh Soup(const vxtest::Mesh& m) {
  vxtest::Mesh s;
  for (size_t t = 0; t < m.tris.size() / 3; ++t) {
    for (int k = 0; k < 3; ++k) {
      const int v = m.tris[3 * t + (t % 2 ? 2 - k : k)];
      s.tris.push_back(AddVertex(s, m.xyz[3 * v], m.xyz[3 * v + 1], m.xyz[3 * v + 2]));
    }
  }
  return s;
}

Scene::Scene(SoKRN_MainDoc* given) {
  root.reset(new SoSelection);
  camera = new SoOrthographicCamera;
  camera->nearDistance = 1;
  camera->farDistance = 200;
  root->addChild(camera);
  if (given) {
    doc = vx::host::SoRef<SoKRN_MainDoc>::adopt(given);  // the caller's reference
    root->addChild(doc);
    return;
  }
  doc.reset(vx::host::NewDocument());
  root->addChild(doc);
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  const vxtest::Mesh plateMesh = PlateWithHole(30, 10, 6, 36);
  const vxtest::Mesh boxMesh = vxtest::Box(SbVec3f(-10, -10, 0), SbVec3f(10, 10, 20));
  const vxtest::Mesh cylMesh = Cylinder(8, 25, 36);
  plateMatrix.setTransform(SbVec3f(2, 3, 0), SbRotation(SbVec3f(0, 0, 1), float(kPi / 6)), SbVec3f(1, 1, 1));
  SbMatrix boxM, cylM;
  boxM.setTranslate(SbVec3f(60, 0, 0));
  cylM.setTranslate(SbVec3f(-55, 0, 0));
  plate = vx::host::PlaceInstance(doc, top, vx::host::MakePartPrototype(doc, L"plate", plateMesh.xyz, plateMesh.tris),
                                  plateMatrix, L"plate");
  box = vx::host::PlaceInstance(doc, top, vx::host::MakePartPrototype(doc, L"box", boxMesh.xyz, boxMesh.tris), boxM,
                                L"box");
  cylinder = vx::host::PlaceInstance(doc, top, vx::host::MakePartPrototype(doc, L"cylinder", cylMesh.xyz, cylMesh.tris),
                                     cylM, L"cylinder");
}

Scene::~Scene() = default;  // the root goes before the document (member order)

void Scene::clickAt(const SbVec3f& at) {
  camera->position.setValue(at[0], at[1], 100);
  camera->height = 10;
  const SbVec2s size = viewport.getViewportSizePixels();
  for (auto state : {SoButtonEvent::DOWN, SoButtonEvent::UP}) {
    SoMouseButtonEvent ev;
    ev.setButton(SoMouseButtonEvent::BUTTON1);
    ev.setState(state);
    ev.setPosition(SbVec2s(size[0] / 2, size[1] / 2));
    ev.setTime(SbTime::getTimeOfDay());
    SoHandleEventAction action(viewport);
    action.setEvent(&ev);
    action.apply(root);
  }
}

}  // namespace picktest
