// MeshTools on whole meshes, where they run the mesh kernels' code: soup
// welding (the kernels' point grid, against its quadratic definition) and
// point containment (their winding number: orientation, shells, cracks, bad
// input; the solid locator the library uses is checked against CGAL in
// tests/mesh). The host's area and volume, cut-edge splitting and
// point-in-triangle helpers are not called by the library and are left to
// the viewer's own tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "host/MeshTools.h"
#include "support/MeshGen.h"
#include "support/MeshTestUtil.h"

namespace {

using namespace meshtest;

struct Mesh {
  std::vector<_vtx> v;
  std::vector<_tri> t;
};

// The support folder's UV sphere (outward wound) about c.
Mesh sphere(double r, _vtx c = V(0, 0, 0)) {
  const vxtest::Mesh g = vxtest::Sphere(SbVec3f(float(c.x), float(c.y), float(c.z)), float(r), 24, 12);
  Mesh m;
  for (std::size_t i = 0; i + 2 < g.xyz.size(); i += 3) m.v.push_back(V(g.xyz[i], g.xyz[i + 1], g.xyz[i + 2]));
  for (std::size_t i = 0; i + 2 < g.tris.size(); i += 3) m.t.push_back(T(g.tris[i], g.tris[i + 1], g.tris[i + 2]));
  return m;
}

// Bad input is kept apart (NaN never equals anything); a trailing incomplete
// triangle is dropped.
TEST(STLToMesh, KeepsBadPointsApart) {
  std::vector<_vtx> verts;
  std::vector<int> idx;
  const std::vector<_vtx> bad = {V(NAN, 0, 0), V(NAN, 0, 0), V(INFINITY, 0, 0), V(0, 0, 0), V(0, 0, 0)};
  EXPECT_EQ(MeshTools::STLToMesh(bad, verts, idx), 3);
  EXPECT_EQ(idx, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(MeshTools::STLToMesh({}, verts, idx), 0);
  EXPECT_TRUE(verts.empty() && idx.empty());
}

// Against the quadratic definition: each point joins the earliest vertex
// within 1e-7 in every coordinate. Points sit on clusters around grid-cell
// boundaries with spreads of a few 1e-7, so matches straddle cells and
// chains (a~b, b~c, a!~c) occur.
TEST(STLToMesh, AgreesWithQuadraticReference) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> base(-3, 3);
  std::uniform_real_distribution<double> jitter(-2.5e-7, 2.5e-7);
  std::vector<_vtx> soup;
  for (int i = 0; i < 6000; ++i)
    soup.push_back(V(base(rng) * 1e-5 + jitter(rng), base(rng) * 1e-5 + jitter(rng), 1e-5 * base(rng) + jitter(rng)));
  // Exact repeats, near and far back, as a corner soup has them.
  for (int i = 0; i < 3000; ++i) soup.push_back(soup[soup.size() - 1 - rng() % (i % 2 ? 8 : soup.size())]);
  std::vector<_vtx> verts;
  std::vector<int> idx;
  MeshTools::STLToMesh(soup, verts, idx);

  std::vector<_vtx> refV;
  std::vector<int> refI;
  for (const _vtx& p : soup) {
    int found = -1;
    for (std::size_t k = 0; k < refV.size() && found < 0; ++k)
      if (std::fabs(p.x - refV[k].x) <= 1e-7 && std::fabs(p.y - refV[k].y) <= 1e-7 &&
          std::fabs(p.z - refV[k].z) <= 1e-7)
        found = static_cast<int>(k);
    if (found < 0) refV.push_back(p);
    refI.push_back(found < 0 ? static_cast<int>(refV.size()) - 1 : found);
  }
  EXPECT_EQ(idx, refI);
  ASSERT_EQ(verts.size(), refV.size());
  for (std::size_t k = 0; k < verts.size(); ++k)  // a vertex keeps its first point
    EXPECT_TRUE(verts[k].x == refV[k].x && verts[k].y == refV[k].y && verts[k].z == refV[k].z) << k;
  EXPECT_LT(refV.size(), soup.size() * 9 / 10);  // the data does weld
}

// Inward wound gives the same answers; two overlapping spheres in one mesh:
// the lens is inside both (winding 2), which ray parity would call outside; a
// small hole (one triangle missing) does not flip the answer; bad input (no
// mesh, a NaN point, indices out of range) neither crashes nor is inside.
TEST(PointInPolyhedron, OrientationShellsCracksAndBadInput) {
  const Mesh s = sphere(1.0), s2 = sphere(1.0, V(1, 0, 0)), none;
  Mesh inv = s, two = s, cracked = s, badIdx = s;
  for (_tri& t : inv.t) std::swap(t.b, t.c);
  const int off = static_cast<int>(two.v.size());
  two.v.insert(two.v.end(), s2.v.begin(), s2.v.end());
  for (const _tri& t : s2.t) two.t.push_back(T(t.a + off, t.b + off, t.c + off));
  cracked.t.erase(cracked.t.begin() + 17);
  badIdx.t.insert(badIdx.t.end(), {T(0, 1, 100000), T(-1, 1, 2)});
  const _vtx centre = V(0.1, -0.05, 0.02), out = V(1.2, 0, 0);
  const struct {
    const Mesh* mesh;
    std::vector<_vtx> in, out;
  } cases[] = {{&s, {centre}, {out, V(NAN, 0, 0)}},
               {&inv, {centre}, {out}},
               {&two, {V(0.5, 0.01, 0.02), V(-0.5, 0.01, 0.02), V(1.5, 0.01, 0.02)}, {V(0.5, 0.95, 0)}},
               {&cracked, {centre}, {out}},
               {&none, {}, {centre}},
               {&badIdx, {centre}, {}}};
  for (const auto& c : cases)
    for (bool inside : {true, false})
      for (const _vtx& p : inside ? c.in : c.out)
        EXPECT_EQ(MeshTools::PointInPolyhedron(c.mesh->v, c.mesh->t, p), inside) << (&c - cases) << ": " << p.x;
}

}  // namespace
