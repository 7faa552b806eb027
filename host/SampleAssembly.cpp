// Sample assembly geometry.
//
// Notation: meshes are built in the part's own frame, millimetres, z up.
// A revolved solid turns a profile of (r, z) points about the z axis in n
// steps, angle 2 pi k / n for step k. A profile runs counter-clockwise around
// the material in the (r, z) half-plane (r to the right, z up); then the
// quads between steps k and k + 1 face outward. Profile points with r = 0 lie
// on the axis and close the solid with a fan.
// A hole cell is a square of half-width h around a hole of radius r; its top
// and bottom are rings of quads between the circle and the square, the
// square's boundary points being where the circle's rays meet the square.
// Cells side by side share their boundary points exactly (the side offsets
// come from one antisymmetric table), so the welded plate is watertight.
#include "host/SampleAssembly.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"

namespace vx::host {

namespace {

const double kPi = 3.14159265358979323846;

// Triangle mesh with exact welding of equal float coordinates.
class MeshBuilder {
public:
  int vertex(double x, double y, double z) {
    const std::array<float, 3> p = {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    auto it = m_index.find(p);
    if (it != m_index.end()) return it->second;
    const int i = static_cast<int>(m_xyz.size() / 3);
    m_xyz.insert(m_xyz.end(), p.begin(), p.end());
    m_index.emplace(p, i);
    return i;
  }
  void tri(int a, int b, int c) {
    if (a == b || b == c || c == a) return;  // collapsed at an axis
    m_tris.insert(m_tris.end(), {a, b, c});
  }
  // Quad a b c d, counter-clockwise seen from outside.
  void quad(int a, int b, int c, int d) {
    tri(a, b, c);
    tri(a, c, d);
  }
  const std::vector<float>& xyz() const { return m_xyz; }
  const std::vector<int>& tris() const { return m_tris; }

private:
  std::vector<float> m_xyz;
  std::vector<int> m_tris;
  std::map<std::array<float, 3>, int> m_index;
};

struct RZ {
  double r, z;
};

// Solid of revolution; `closedLoop` joins the last profile point back to the
// first (a ring), otherwise the profile starts and ends on the axis.
void Revolve(MeshBuilder& mb, const std::vector<RZ>& profile, int n, bool closedLoop) {
  const int m = static_cast<int>(profile.size());
  std::vector<std::vector<int>> ids(m, std::vector<int>(n));
  for (int i = 0; i < m; ++i) {
    for (int k = 0; k < n; ++k) {
      const double a = 2.0 * kPi * k / n;
      const double r = profile[i].r;
      ids[i][k] = r == 0.0 ? mb.vertex(0, 0, profile[i].z) : mb.vertex(r * std::cos(a), r * std::sin(a), profile[i].z);
    }
  }
  const int segments = closedLoop ? m : m - 1;
  for (int i = 0; i < segments; ++i) {
    const int j = (i + 1) % m;
    for (int k = 0; k < n; ++k) {
      const int k1 = (k + 1) % n;
      mb.quad(ids[i][k], ids[i][k1], ids[j][k1], ids[j][k]);
    }
  }
}

void Box(MeshBuilder& mb, const SbVec3f& lo, const SbVec3f& hi) {
  int v[8];
  for (int i = 0; i < 8; ++i)
    v[i] = mb.vertex((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
  mb.quad(v[0], v[2], v[3], v[1]);  // z = lo
  mb.quad(v[4], v[5], v[7], v[6]);  // z = hi
  mb.quad(v[0], v[1], v[5], v[4]);  // y = lo
  mb.quad(v[2], v[6], v[7], v[3]);  // y = hi
  mb.quad(v[0], v[4], v[6], v[2]);  // x = lo
  mb.quad(v[1], v[3], v[7], v[5]);  // x = hi
}

struct HoleCell {
  double cx, cy, r;
};

// A plate of square cells of half-width h, thickness t (z 0..t), each with a
// round through hole; n (a multiple of 8) segments per hole.
void HolePlate(MeshBuilder& mb, const std::vector<HoleCell>& cells, double h, double t, int n) {
  // Offsets along a square side for the rays at -45..45 degrees, exactly
  // antisymmetric, with the corners snapped to +-h.
  const int q = n / 8;
  std::vector<double> u(2 * q + 1);
  for (int j = 0; j <= q; ++j) {
    const double v = j == q ? h : h * std::tan(2.0 * kPi * j / n);
    u[q + j] = v;
    u[q - j] = -v;
  }
  // Boundary point k (angle 2 pi k / n) relative to the cell centre.
  auto square = [&](int k, double& x, double& y) {
    const int s = ((k + q) % n) / (2 * q);  // side: 0 right, 1 top, 2 left, 3 bottom
    const int j = (k + q) % n - 2 * q * s;  // 0 .. 2q along the side
    const double off = u[j];
    switch (s) {
      case 0:
        x = h;
        y = off;
        break;
      case 1:
        x = -off;
        y = h;
        break;
      case 2:
        x = -h;
        y = -off;
        break;
      default:
        x = off;
        y = -h;
        break;
    }
  };
  std::set<std::pair<int, int>> topEdges;
  std::vector<std::pair<int, int>> edgeList;
  for (const HoleCell& c : cells) {
    for (int k = 0; k < n; ++k) {
      const int k1 = (k + 1) % n;
      const double a0 = 2.0 * kPi * k / n, a1 = 2.0 * kPi * k1 / n;
      double sx0, sy0, sx1, sy1;
      square(k, sx0, sy0);
      square(k1, sx1, sy1);
      const int ct0 = mb.vertex(c.cx + c.r * std::cos(a0), c.cy + c.r * std::sin(a0), t);
      const int ct1 = mb.vertex(c.cx + c.r * std::cos(a1), c.cy + c.r * std::sin(a1), t);
      const int cb0 = mb.vertex(c.cx + c.r * std::cos(a0), c.cy + c.r * std::sin(a0), 0);
      const int cb1 = mb.vertex(c.cx + c.r * std::cos(a1), c.cy + c.r * std::sin(a1), 0);
      const int st0 = mb.vertex(c.cx + sx0, c.cy + sy0, t);
      const int st1 = mb.vertex(c.cx + sx1, c.cy + sy1, t);
      const int sb0 = mb.vertex(c.cx + sx0, c.cy + sy0, 0);
      const int sb1 = mb.vertex(c.cx + sx1, c.cy + sy1, 0);
      mb.quad(ct0, st0, st1, ct1);  // top, facing +z
      mb.quad(cb0, cb1, sb1, sb0);  // bottom, facing -z
      mb.quad(ct0, ct1, cb1, cb0);  // hole wall, facing the hole's axis
      topEdges.emplace(st0, st1);
      edgeList.emplace_back(st0, st1);
    }
  }
  // Outer walls under the top edges that no neighbouring cell shares.
  for (const auto& [a, b] : edgeList) {
    if (topEdges.count({b, a})) continue;
    const float* xyz = mb.xyz().data();
    const int a0 = mb.vertex(xyz[3 * a], xyz[3 * a + 1], 0);
    const int b0 = mb.vertex(xyz[3 * b], xyz[3 * b + 1], 0);
    mb.quad(a0, b0, b, a);
  }
}

SoKRN_ComponentKit* Part(SoKRN_MainDoc* doc, const wchar_t* name, const MeshBuilder& mb) {
  return MakePartPrototype(doc, name, mb.xyz(), mb.tris());
}

SbMatrix At(float x, float y, float z, const SbRotation& r = SbRotation::identity()) {
  SbMatrix m;
  m.setTransform(SbVec3f(x, y, z), r, SbVec3f(1, 1, 1));
  return m;
}

}  // namespace

SoKRN_MainDoc* BuildSampleAssembly() {
  SoKRN_MainDoc* doc = NewDocument();
  doc->ref();

  MeshBuilder housing, cover, plateA, plateB, bearing, shaft, pin, plate, bolt;
  Box(housing, SbVec3f(0, 0, 0), SbVec3f(100, 60, 40));
  Box(cover, SbVec3f(5, 5, 40), SbVec3f(95, 55, 46));
  Box(plateA, SbVec3f(150, 150, 0), SbVec3f(180, 180, 5));
  Box(plateB, SbVec3f(180, 150, 0), SbVec3f(210, 180, 5));
  Revolve(bearing, {{10.5, -10}, {20, -10}, {20, 10}, {10.5, 10}}, 64, true);
  Revolve(shaft, {{0, -30}, {10, -30}, {10, 30}, {0, 30}}, 64, false);
  Revolve(pin, {{0, 0}, {3, 0}, {3, 20}, {0, 20}}, 32, false);
  HolePlate(plate, {{-10, 0, 4.5}, {10, 0, 3.5}}, 10, 5, 32);
  Revolve(bolt, {{0, -10}, {4, -10}, {4, 5}, {7, 5}, {7, 10}, {0, 10}}, 32, false);

  SoKRN_ComponentKit* top = doc->getTopPrototype();
  // Parts whose meshes are modelled in place sit at the identity.
  PlaceInstance(doc, top, Part(doc, L"Housing", housing), SbMatrix::identity(), L"Housing", 0);
  PlaceInstance(doc, top, Part(doc, L"Cover", cover), SbMatrix::identity(), L"Cover", 1);

  SoKRN_ComponentKit* bracket = MakeAssemblyPrototype(doc, L"Bracket");
  SoKRN_ComponentKit* boltProto = Part(doc, L"Bolt", bolt);
  PlaceInstance(doc, bracket, Part(doc, L"Plate", plate), SbMatrix::identity(), L"Plate", 0);
  PlaceInstance(doc, bracket, boltProto, At(-10, 0, 0), L"Bolt_1", 1);
  PlaceInstance(doc, bracket, boltProto, At(10, 0, 0), L"Bolt_2", 2);
  PlaceInstance(doc, top, bracket, At(150, 0, 0), L"Bracket_1", 2);
  PlaceInstance(doc, top, bracket, At(150, 60, 0), L"Bracket_2", 3);

  // Revolved about z, then turned so that the axis runs along x.
  const SbRotation zToX(SbVec3f(0, 0, 1), SbVec3f(1, 0, 0));
  PlaceInstance(doc, top, Part(doc, L"Bearing", bearing), At(0, 150, 30, zToX), L"Bearing", 4);
  PlaceInstance(doc, top, Part(doc, L"Shaft", shaft), At(0, 150, 30, zToX), L"Shaft", 5);
  PlaceInstance(doc, top, Part(doc, L"PlateA", plateA), SbMatrix::identity(), L"PlateA", 6);
  PlaceInstance(doc, top, Part(doc, L"PlateB", plateB), SbMatrix::identity(), L"PlateB", 7);
  PlaceInstance(doc, top, Part(doc, L"Pin", pin), At(215, 165, 0), L"Pin", 8);
  return doc;
}

}  // namespace vx::host
