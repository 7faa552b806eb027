#include "support/MeshGen.h"

#include <Inventor/SoFullPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>

#include <cmath>

#include <gtest/gtest.h>

#include "host/DocumentBuilder.h"
#include "host/DocumentIO.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"

namespace vxtest {

Mesh Box(const SbVec3f& lo, const SbVec3f& hi, int n) {
  Mesh m;
  // Each face: origin corner, two edge vectors u, v with u x v pointing out.
  const SbVec3f d = hi - lo;
  struct Face {
    SbVec3f o, u, v;
  };
  const Face faces[6] = {
      {lo, SbVec3f(0, d[1], 0), SbVec3f(d[0], 0, 0)},                            // z = lo
      {SbVec3f(lo[0], lo[1], hi[2]), SbVec3f(d[0], 0, 0), SbVec3f(0, d[1], 0)},  // z = hi
      {lo, SbVec3f(d[0], 0, 0), SbVec3f(0, 0, d[2])},                            // y = lo
      {SbVec3f(lo[0], hi[1], lo[2]), SbVec3f(0, 0, d[2]), SbVec3f(d[0], 0, 0)},  // y = hi
      {lo, SbVec3f(0, 0, d[2]), SbVec3f(0, d[1], 0)},                            // x = lo
      {SbVec3f(hi[0], lo[1], lo[2]), SbVec3f(0, d[1], 0), SbVec3f(0, 0, d[2])},  // x = hi
  };
  // Shared grid points would make the mesh welded; the faces share their
  // border points by value (equal floats), which is what a soup welds.
  for (const Face& f : faces) {
    const int base = static_cast<int>(m.xyz.size() / 3);
    for (int j = 0; j <= n; ++j) {
      for (int i = 0; i <= n; ++i) {
        SbVec3f p = f.o + f.u * (static_cast<float>(i) / n) + f.v * (static_cast<float>(j) / n);
        // Snap to the exact box planes so border points agree bit for bit.
        for (int k = 0; k < 3; ++k) {
          if (std::fabs(p[k] - lo[k]) < 1e-6f * (1 + std::fabs(lo[k]))) p[k] = lo[k];
          if (std::fabs(p[k] - hi[k]) < 1e-6f * (1 + std::fabs(hi[k]))) p[k] = hi[k];
        }
        m.xyz.insert(m.xyz.end(), {p[0], p[1], p[2]});
      }
    }
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        const int a = base + j * (n + 1) + i, b = a + 1, c = a + (n + 1), e = c + 1;
        m.tris.insert(m.tris.end(), {a, b, e, a, e, c});
      }
    }
  }
  return m;
}

Mesh Sphere(const SbVec3f& center, float radius, int slices, int stacks) {
  Mesh m;
  auto add = [&m, &center, radius](double theta, double phi) {
    const double x = std::sin(theta) * std::cos(phi), y = std::sin(theta) * std::sin(phi), z = std::cos(theta);
    m.xyz.insert(m.xyz.end(), {center[0] + radius * static_cast<float>(x), center[1] + radius * static_cast<float>(y),
                               center[2] + radius * static_cast<float>(z)});
  };
  add(0, 0);  // north pole: 0
  for (int s = 1; s < stacks; ++s) {
    for (int k = 0; k < slices; ++k) add(M_PI * s / stacks, 2 * M_PI * k / slices);
  }
  add(M_PI, 0);  // south pole
  const int south = static_cast<int>(m.xyz.size() / 3) - 1;
  auto ring = [slices](int s, int k) { return 1 + (s - 1) * slices + (k % slices); };
  for (int k = 0; k < slices; ++k) m.tris.insert(m.tris.end(), {0, ring(1, k), ring(1, k + 1)});
  for (int s = 1; s < stacks - 1; ++s) {
    for (int k = 0; k < slices; ++k) {
      const int a = ring(s, k), b = ring(s, k + 1), c = ring(s + 1, k), d = ring(s + 1, k + 1);
      m.tris.insert(m.tris.end(), {a, c, d, a, d, b});
    }
  }
  for (int k = 0; k < slices; ++k) m.tris.insert(m.tris.end(), {south, ring(stacks - 1, k + 1), ring(stacks - 1, k)});
  return m;
}

SoFullPath* PathTo(SoKRN_MainDoc* doc, const std::string& rel) {
  auto* path = static_cast<SoFullPath*>(new SoPath(8));
  path->ref();
  OmbrelTools::StrPathToSoPath(doc, rel, *path);
  if (path->getLength() == 0) {
    path->unref();
    return nullptr;
  }
  return path;
}

SoFullPath* RootPath(SoKRN_MainDoc* doc) {
  auto* path = static_cast<SoFullPath*>(new SoPath(8));
  path->ref();
  doc->appendPathToTopPrototype(*path);
  return path;
}

std::vector<float> WorldTriangles(SoFullPath* path) {
  std::vector<float> out;
  SoCallbackAction action;
  action.addTriangleCallback(
      SoIndexedFaceSet::getClassTypeId(),
      [](void* data, SoCallbackAction* a, const SoPrimitiveVertex* v1, const SoPrimitiveVertex* v2,
         const SoPrimitiveVertex* v3) {
        auto* o = static_cast<std::vector<float>*>(data);
        const SbMatrix& m = a->getModelMatrix();
        for (const SoPrimitiveVertex* v : {v1, v2, v3}) {
          SbVec3f p;
          m.multVecMatrix(v->getPoint(), p);
          o->insert(o->end(), {p[0], p[1], p[2]});
        }
      },
      &out);
  action.apply(path);
  return out;
}

void WritePlacedParts(const std::string& file, const Mesh& mesh, const std::vector<SbVec3f>& places) {
  const vx::host::SoRef<SoKRN_MainDoc> doc(vx::host::NewDocument());
  auto* proto = vx::host::MakePartPrototype(doc, L"Part", mesh.xyz, mesh.tris);
  for (const SbVec3f& at : places) {
    SbMatrix m;
    m.setTranslate(at);
    vx::host::PlaceInstance(doc, doc->getTopPrototype(), proto, m);
  }
  std::string error;
  EXPECT_TRUE(vx::host::WriteDocument(doc, file, error)) << error;
}

}  // namespace vxtest
