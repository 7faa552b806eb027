// MeshTools on whole meshes: welding, splitting along cut edges, area and
// volume, point containment (against CGAL's Side_of_triangle_mesh), and the
// per-triangle helpers used by the re-triangulation.
#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Side_of_triangle_mesh.h>
#include <CGAL/Surface_mesh.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "host/MeshTools.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

_vtx V(double x, double y, double z) {
  _vtx v;
  v.x = x;
  v.y = y;
  v.z = z;
  return v;
}
_tri T(int a, int b, int c) {
  _tri t;
  t.a = a;
  t.b = b;
  t.c = c;
  return t;
}

struct Mesh {
  std::vector<_vtx> v;
  std::vector<_tri> t;
};

// Unit cube [0,1]^3, each face an n x n grid of squares split in two,
// outward wound. Built as a soup and welded.
Mesh gridCube(int n) {
  std::vector<_vtx> soup;
  auto quad = [&](const std::array<_vtx, 4>& q) {  // q counter-clockwise seen from outside
    soup.insert(soup.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
  };
  for (int axis = 0; axis < 3; ++axis)
    for (int side = 0; side < 2; ++side)
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
          const double u0 = double(i) / n, u1 = double(i + 1) / n, w0 = double(j) / n, w1 = double(j + 1) / n;
          auto P = [&](double u, double w) {
            double c[3];
            c[axis] = side;
            c[(axis + 1) % 3] = u;
            c[(axis + 2) % 3] = w;
            return V(c[0], c[1], c[2]);
          };
          if (side == 1)
            quad({P(u0, w0), P(u1, w0), P(u1, w1), P(u0, w1)});
          else
            quad({P(u0, w0), P(u0, w1), P(u1, w1), P(u1, w0)});
        }
  Mesh m;
  std::vector<int> idx;
  MeshTools::STLToMesh(soup, m.v, idx);
  for (std::size_t i = 0; i < idx.size(); i += 3) m.t.push_back(T(idx[i], idx[i + 1], idx[i + 2]));
  return m;
}

// Octahedron subdivided `level` times and pushed onto the sphere of radius r
// about c, outward wound.
Mesh sphere(int level, double r, _vtx c = V(0, 0, 0)) {
  Mesh m;
  m.v = {V(1, 0, 0), V(-1, 0, 0), V(0, 1, 0), V(0, -1, 0), V(0, 0, 1), V(0, 0, -1)};
  m.t = {T(0, 2, 4), T(2, 1, 4), T(1, 3, 4), T(3, 0, 4), T(2, 0, 5), T(1, 2, 5), T(3, 1, 5), T(0, 3, 5)};
  for (int l = 0; l < level; ++l) {
    std::map<std::pair<int, int>, int> mid;
    auto midpoint = [&](int a, int b) {
      const std::pair<int, int> key(std::min(a, b), std::max(a, b));
      const auto it = mid.find(key);
      if (it != mid.end()) return it->second;
      const _vtx &p = m.v[a], &q = m.v[b];
      _vtx x = V((p.x + q.x) / 2, (p.y + q.y) / 2, (p.z + q.z) / 2);
      const double len = std::sqrt(x.x * x.x + x.y * x.y + x.z * x.z);
      x = V(x.x / len, x.y / len, x.z / len);
      m.v.push_back(x);
      return mid[key] = static_cast<int>(m.v.size()) - 1;
    };
    std::vector<_tri> next;
    for (const _tri& t : m.t) {
      const int ab = midpoint(t.a, t.b), bc = midpoint(t.b, t.c), ca = midpoint(t.c, t.a);
      next.insert(next.end(), {T(t.a, ab, ca), T(ab, t.b, bc), T(ca, bc, t.c), T(ab, bc, ca)});
    }
    m.t.swap(next);
  }
  for (_vtx& p : m.v) p = V(c.x + r * p.x, c.y + r * p.y, c.z + r * p.z);
  return m;
}

// Torus about the z axis (radii R, r), nu x nv quads, outward wound.
Mesh torus(double R, double r, int nu, int nv) {
  Mesh m;
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      const double u = 2 * kPi * i / nu, w = 2 * kPi * j / nv;
      m.v.push_back(V((R + r * std::cos(w)) * std::cos(u), (R + r * std::cos(w)) * std::sin(u), r * std::sin(w)));
    }
  auto id = [&](int i, int j) { return ((i + nu) % nu) * nv + (j + nv) % nv; };
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      // Increasing u then increasing w is counter-clockwise seen from outside.
      m.t.push_back(T(id(i, j), id(i + 1, j), id(i + 1, j + 1)));
      m.t.push_back(T(id(i, j), id(i + 1, j + 1), id(i, j + 1)));
    }
  return m;
}

std::vector<_fac> facets(const Mesh& m) {
  std::vector<_fac> f;
  for (const _tri& t : m.t) {
    _fac x;
    x.a = t.a;
    x.b = t.b;
    x.c = t.c;
    f.push_back(x);
  }
  return f;
}

// ---- STLToMesh --------------------------------------------------------------

TEST(STLToMesh, WeldsWithinToleranceOnly) {
  const std::vector<_vtx> soup = {
      V(0, 0, 0), V(1, 0, 0), V(0, 1, 0),              // triangle 0
      V(1, 0, 0), V(1 + 5e-8, 1, -5e-8), V(0, 1, 0),   // corner 0 exact, 2 exact
      V(1e-7, 0, 0), V(1.5e-7, 1, 0), V(0, 1, 2e-7)};  // 1e-7 joins; 1.5e-7 and 2e-7 do not
  std::vector<_vtx> verts;
  std::vector<int> idx;
  const int n = MeshTools::STLToMesh(soup, verts, idx);
  EXPECT_EQ(idx, (std::vector<int>{0, 1, 2, 1, 3, 2, 0, 4, 5}));
  ASSERT_EQ(n, 6);
  ASSERT_EQ(verts.size(), 6u);
  EXPECT_EQ(verts[3].x, 1 + 5e-8);  // a vertex keeps its first point
  EXPECT_EQ(verts[0].x, 0.0);
}

TEST(STLToMesh, BadInputIsKeptApartAndTrailingPointsDropped) {
  const std::vector<_vtx> soup = {V(NAN, 0, 0), V(NAN, 0, 0), V(INFINITY, 0, 0), V(0, 0, 0), V(0, 0, 0)};
  std::vector<_vtx> verts = {V(7, 7, 7)};
  std::vector<int> idx = {42};
  EXPECT_EQ(MeshTools::STLToMesh(soup, verts, idx), 3);
  EXPECT_EQ(idx, (std::vector<int>{0, 1, 2}));  // NaN never equals anything; 2 trailing points ignored
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
  std::vector<_vtx> verts;
  std::vector<int> idx;
  MeshTools::STLToMesh(soup, verts, idx);

  std::vector<_vtx> refV;
  std::vector<int> refI;
  for (const _vtx& p : soup) {
    int found = -1;
    for (std::size_t k = 0; k < refV.size() && found < 0; ++k)
      if (std::fabs(p.x - refV[k].x) <= 1e-7 && std::fabs(p.y - refV[k].y) <= 1e-7 && std::fabs(p.z - refV[k].z) <= 1e-7)
        found = static_cast<int>(k);
    if (found < 0) {
      found = static_cast<int>(refV.size());
      refV.push_back(p);
    }
    refI.push_back(found);
  }
  EXPECT_EQ(idx, refI);
  EXPECT_EQ(verts.size(), refV.size());
  EXPECT_LT(refV.size(), soup.size() * 9 / 10);  // the data does weld
}

// ---- DivideMeshWithCrossLine ------------------------------------------------

// The edges of `m` whose two ends satisfy `pred`.
std::vector<int> edgesWhere(const Mesh& m, bool (*pred)(const _vtx&)) {
  std::set<std::pair<int, int>> e;
  for (const _tri& t : m.t) {
    const int c[3] = {t.a, t.b, t.c};
    for (int i = 0; i < 3; ++i) {
      const int u = c[i], w = c[(i + 1) % 3];
      if (pred(m.v[u]) && pred(m.v[w])) e.insert({std::min(u, w), std::max(u, w)});
    }
  }
  std::vector<int> out;
  for (const auto& p : e) {
    out.push_back(p.second);  // either direction is accepted
    out.push_back(p.first);
  }
  return out;
}

TEST(DivideMesh, ClosedCutLoopSplitsCubeInTwo) {
  const Mesh cube = gridCube(4);
  ASSERT_EQ(cube.t.size(), 6u * 4 * 4 * 2);
  const std::vector<int> equator = edgesWhere(cube, [](const _vtx& p) { return p.z == 0.5; });
  ASSERT_EQ(equator.size(), 2u * 16);  // 4 edges per side face
  std::vector<std::vector<_tri>> parts;
  MeshTools::DivideMeshWithCrossLine(equator, cube.t, parts);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].size(), cube.t.size() / 2);
  EXPECT_EQ(parts[1].size(), cube.t.size() / 2);
  for (const auto& part : parts) {  // each half lies on one side of the cut
    bool below = false, above = false;
    for (const _tri& t : part)
      for (int c : {t.a, t.b, t.c}) {
        below = below || cube.v[c].z < 0.5;
        above = above || cube.v[c].z > 0.5;
      }
    EXPECT_NE(below, above);
  }
  EXPECT_EQ(parts[0].front(), cube.t.front());  // groups in order of first triangle
  for (const auto& part : parts)  // triangles in input order
    for (std::size_t i = 1; i < part.size(); ++i)
      EXPECT_LT(std::find(cube.t.begin(), cube.t.end(), part[i - 1]), std::find(cube.t.begin(), cube.t.end(), part[i]));

  // An open cut (one edge of the loop missing) separates nothing.
  std::vector<int> open(equator.begin() + 2, equator.end());
  MeshTools::DivideMeshWithCrossLine(open, cube.t, parts);
  EXPECT_EQ(parts.size(), 1u);
  // Two loops (z = 0.25 and z = 0.75) give three bands.
  std::vector<int> loops = edgesWhere(cube, [](const _vtx& p) { return p.z == 0.25; });
  const std::vector<int> upper = edgesWhere(cube, [](const _vtx& p) { return p.z == 0.75; });
  loops.insert(loops.end(), upper.begin(), upper.end());
  MeshTools::DivideMeshWithCrossLine(loops, cube.t, parts);
  EXPECT_EQ(parts.size(), 3u);
}

TEST(DivideMesh, CornerContactDoesNotConnect) {
  // Two fans meeting only at vertex 0; plus a triangle on an edge shared by three.
  const std::vector<_tri> tris = {T(0, 1, 2), T(0, 3, 4), T(2, 1, 5), T(1, 2, 6)};
  std::vector<std::vector<_tri>> parts = {{T(9, 9, 9)}};
  MeshTools::DivideMeshWithCrossLine({}, tris, parts);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0], (std::vector<_tri>{T(0, 1, 2), T(2, 1, 5), T(1, 2, 6)}));
  EXPECT_EQ(parts[1], (std::vector<_tri>{T(0, 3, 4)}));
  MeshTools::DivideMeshWithCrossLine({2, 1}, tris, parts);  // cutting the shared edge
  EXPECT_EQ(parts.size(), 4u);
}

// ---- Compacity ----------------------------------------------------------------

TEST(Compacity, UnitCubeAreaVolumeAndSign) {
  Mesh cube = gridCube(1);
  double m1 = 0, m2 = 0;
  EXPECT_NEAR(MeshTools::Compacity(cube.v, facets(cube), m1, m2), 1.0 / 6, 1e-14);
  EXPECT_NEAR(m1, 6, 1e-13);
  EXPECT_NEAR(m2, 1, 1e-13);
  // Far from the origin: still exact (no large cancelling terms).
  Mesh far = cube;
  for (_vtx& p : far.v) p = V(p.x + 1e7, p.y - 3e6, p.z + 5e6);
  MeshTools::Compacity(far.v, facets(far), m1, m2);
  EXPECT_NEAR(m2, 1, 1e-8);
  // Inward winding: negative volume, same area.
  for (_tri& t : cube.t) std::swap(t.b, t.c);
  MeshTools::Compacity(cube.v, facets(cube), m1, m2);
  EXPECT_NEAR(m1, 6, 1e-13);
  EXPECT_NEAR(m2, -1, 1e-13);
  // Nothing to measure; bad indices skipped.
  EXPECT_EQ(MeshTools::Compacity(cube.v, {}, m1, m2), 0.0);
  EXPECT_EQ(m1, 0.0);
  std::vector<_fac> bad(1);
  bad[0].a = 0;
  bad[0].b = 1;
  bad[0].c = 99;
  EXPECT_EQ(MeshTools::Compacity(cube.v, bad, m1, m2), 0.0);
}

TEST(Compacity, FineSphereApproachesAnalyticValues) {
  double prevErr = 1;
  for (int level = 4; level <= 6; ++level) {
    const Mesh s = sphere(level, 2.0, V(3, -1, 0.5));
    double m1 = 0, m2 = 0;
    MeshTools::Compacity(s.v, facets(s), m1, m2);
    const double areaErr = std::fabs(m1 / (4 * kPi * 4) - 1), volErr = std::fabs(m2 / (4.0 / 3 * kPi * 8) - 1);
    EXPECT_LT(areaErr, 0.01);
    EXPECT_LT(volErr, 0.01);
    EXPECT_LT(volErr, prevErr / 3);  // second-order convergence under subdivision
    prevErr = volErr;
  }
}

// ---- PointInPolyhedron --------------------------------------------------------

using IK = CGAL::Exact_predicates_inexact_constructions_kernel;
using SurfaceMesh = CGAL::Surface_mesh<IK::Point_3>;

SurfaceMesh toSurfaceMesh(const Mesh& m) {
  SurfaceMesh sm;
  std::vector<SurfaceMesh::Vertex_index> vi;
  for (const _vtx& p : m.v) vi.push_back(sm.add_vertex(IK::Point_3(p.x, p.y, p.z)));
  for (const _tri& t : m.t) sm.add_face(vi[t.a], vi[t.b], vi[t.c]);
  return sm;
}

double distanceToMesh(const Mesh& m, const _vtx& p) {
  const IK::Point_3 q(p.x, p.y, p.z);
  double best = 1e300;
  for (const _tri& t : m.t) {
    const IK::Triangle_3 tri(IK::Point_3(m.v[t.a].x, m.v[t.a].y, m.v[t.a].z), IK::Point_3(m.v[t.b].x, m.v[t.b].y, m.v[t.b].z),
                             IK::Point_3(m.v[t.c].x, m.v[t.c].y, m.v[t.c].z));
    best = std::min(best, CGAL::squared_distance(q, tri));
  }
  return std::sqrt(best);
}

TEST(PointInPolyhedron, TorusAgreesWithCGALIncludingNearSurface) {
  const Mesh tor = torus(2.0, 0.7, 40, 20);
  const SurfaceMesh sm = toSurfaceMesh(tor);
  ASSERT_TRUE(CGAL::is_closed(sm));
  const CGAL::Side_of_triangle_mesh<SurfaceMesh, IK> side(sm);

  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  auto unit = [&]() {
    for (;;) {
      const _vtx d = V(u(rng), u(rng), u(rng));
      const double l = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      if (l > 0.1 && l <= 1) return V(d.x / l, d.y / l, d.z / l);
    }
  };
  std::vector<_vtx> probes;
  for (int i = 0; i < 3000; ++i) probes.push_back(V(3 * u(rng), 3 * u(rng), 0.8 * u(rng)));
  // Near faces, edges and vertices: offsets of 1e-3 .. 1e-5 in random
  // directions (the tolerance band at this scale is about 1.4e-6).
  for (std::size_t k = 0; k < tor.t.size(); k += 3) {
    const _tri& t = tor.t[k];
    const _vtx &a = tor.v[t.a], &b = tor.v[t.b], &c = tor.v[t.c];
    const _vtx anchors[3] = {V((a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3),
                             V((a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2), a};
    for (const _vtx& x : anchors)
      for (double delta : {1e-3, 1e-4, 1e-5}) {
        const _vtx d = unit();
        probes.push_back(V(x.x + delta * d.x, x.y + delta * d.y, x.z + delta * d.z));
      }
  }
  int compared = 0, inside = 0, nearOnes = 0;
  for (std::size_t i = 0; i < probes.size(); ++i) {
    const _vtx& p = probes[i];
    const double d = distanceToMesh(tor, p);
    if (d < 4e-6) continue;  // in or at the edge of the tolerance band
    const bool want = side(IK::Point_3(p.x, p.y, p.z)) == CGAL::ON_BOUNDED_SIDE;
    EXPECT_EQ(MeshTools::PointInPolyhedron(tor.v, tor.t, p), want) << "probe " << i << " at distance " << d;
    ++compared;
    inside += want;
    nearOnes += d < 1e-4;
  }
  EXPECT_GT(compared, static_cast<int>(probes.size()) * 8 / 10);
  EXPECT_GT(inside, 300);
  EXPECT_GT(nearOnes, 300);
}

TEST(PointInPolyhedron, PointsOnTheSurfaceAreNotInside) {
  const Mesh tor = torus(2.0, 0.7, 40, 20);
  for (std::size_t k = 0; k < tor.t.size(); k += 7) {
    const _tri& t = tor.t[k];
    const _vtx &a = tor.v[t.a], &b = tor.v[t.b], &c = tor.v[t.c];
    EXPECT_FALSE(MeshTools::PointInPolyhedron(tor.v, tor.t, a));
    EXPECT_FALSE(MeshTools::PointInPolyhedron(tor.v, tor.t, V((a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2)));
    EXPECT_FALSE(
        MeshTools::PointInPolyhedron(tor.v, tor.t, V((a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3)));
  }
}

TEST(PointInPolyhedron, OrientationShellsCracksAndBadInput) {
  Mesh s = sphere(3, 1.0);
  const _vtx centre = V(0.1, -0.05, 0.02), out = V(1.2, 0, 0);
  EXPECT_TRUE(MeshTools::PointInPolyhedron(s.v, s.t, centre));
  EXPECT_FALSE(MeshTools::PointInPolyhedron(s.v, s.t, out));
  Mesh inv = s;  // inward wound: same answers
  for (_tri& t : inv.t) std::swap(t.b, t.c);
  EXPECT_TRUE(MeshTools::PointInPolyhedron(inv.v, inv.t, centre));
  EXPECT_FALSE(MeshTools::PointInPolyhedron(inv.v, inv.t, out));

  // Two overlapping spheres in one mesh: the lens is inside both (winding 2),
  // which ray parity would call outside.
  Mesh two = s;
  const Mesh s2 = sphere(3, 1.0, V(1, 0, 0));
  const int off = static_cast<int>(two.v.size());
  two.v.insert(two.v.end(), s2.v.begin(), s2.v.end());
  for (const _tri& t : s2.t) two.t.push_back(T(t.a + off, t.b + off, t.c + off));
  EXPECT_TRUE(MeshTools::PointInPolyhedron(two.v, two.t, V(0.5, 0.01, 0.02)));
  EXPECT_TRUE(MeshTools::PointInPolyhedron(two.v, two.t, V(-0.5, 0.01, 0.02)));
  EXPECT_TRUE(MeshTools::PointInPolyhedron(two.v, two.t, V(1.5, 0.01, 0.02)));
  EXPECT_FALSE(MeshTools::PointInPolyhedron(two.v, two.t, V(0.5, 0.95, 0)));

  // A small hole (one triangle missing) does not flip the answer.
  Mesh cracked = s;
  cracked.t.erase(cracked.t.begin() + 17);
  EXPECT_TRUE(MeshTools::PointInPolyhedron(cracked.v, cracked.t, centre));
  EXPECT_FALSE(MeshTools::PointInPolyhedron(cracked.v, cracked.t, out));

  // Bad input: no crash, not inside.
  EXPECT_FALSE(MeshTools::PointInPolyhedron({}, {}, centre));
  EXPECT_FALSE(MeshTools::PointInPolyhedron(s.v, s.t, V(NAN, 0, 0)));
  Mesh badIdx = s;
  badIdx.t.push_back(T(0, 1, 100000));
  badIdx.t.push_back(T(-1, 1, 2));
  EXPECT_TRUE(MeshTools::PointInPolyhedron(badIdx.v, badIdx.t, centre));
}

// ---- Per-triangle helpers -----------------------------------------------------

// Smallest height at least a tenth of the longest edge.
bool wellShaped(const _vtx (&t)[3]) {
  auto d = [](const _vtx& a, const _vtx& b) { return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z)); };
  const double a = d(t[0], t[1]), b = d(t[1], t[2]), c = d(t[2], t[0]);
  const double s = (a + b + c) / 2;
  const double area = std::sqrt(std::max(0.0, s * (s - a) * (s - b) * (s - c)));
  const double longest = std::max({a, b, c});
  return 2 * area / longest > 0.1 * longest;
}

TEST(PointInTriangle3dTo2d, ParametersCornersAndRejections) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<double> u(-2, 2), w(0, 1);
  for (int k = 0; k < 500; ++k) {
    const _vtx tri[3] = {V(u(rng), u(rng), u(rng)), V(u(rng), u(rng), u(rng)), V(u(rng), u(rng), u(rng))};
    if (!wellShaped(tri)) continue;
    auto at = [&](double s, double t) {
      return V(tri[0].x + s * (tri[2].x - tri[0].x) + t * (tri[1].x - tri[0].x),
               tri[0].y + s * (tri[2].y - tri[0].y) + t * (tri[1].y - tri[0].y),
               tri[0].z + s * (tri[2].z - tri[0].z) + t * (tri[1].z - tri[0].z));
    };
    double s = -1, t = -1;
    // Corners map exactly: T0 -> (0,0), T1 -> (0,1), T2 -> (1,0).
    ASSERT_TRUE(MeshTools::PointInTriangle3dTo2d(tri, tri[0], s, t));
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(t, 0.0);
    ASSERT_TRUE(MeshTools::PointInTriangle3dTo2d(tri, tri[1], s, t));
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(t, 1.0);
    ASSERT_TRUE(MeshTools::PointInTriangle3dTo2d(tri, tri[2], s, t));
    EXPECT_EQ(s, 1.0);
    EXPECT_EQ(t, 0.0);
    // An inner point gives back its parameters.
    double s0 = w(rng), t0 = w(rng);
    if (s0 + t0 > 1) {
      s0 = 1 - s0;
      t0 = 1 - t0;
    }
    ASSERT_TRUE(MeshTools::PointInTriangle3dTo2d(tri, at(s0, t0), s, t));
    EXPECT_NEAR(s, s0, 1e-9);
    EXPECT_NEAR(t, t0, 1e-9);
    // Off the plane, or outside the triangle: rejected.
    const double nx = (tri[1].y - tri[0].y) * (tri[2].z - tri[0].z) - (tri[1].z - tri[0].z) * (tri[2].y - tri[0].y);
    const double ny = (tri[1].z - tri[0].z) * (tri[2].x - tri[0].x) - (tri[1].x - tri[0].x) * (tri[2].z - tri[0].z);
    const double nz = (tri[1].x - tri[0].x) * (tri[2].y - tri[0].y) - (tri[1].y - tri[0].y) * (tri[2].x - tri[0].x);
    const double nl = std::sqrt(nx * nx + ny * ny + nz * nz);
    const _vtx p = at(s0, t0);
    EXPECT_FALSE(MeshTools::PointInTriangle3dTo2d(tri, V(p.x + 1e-3 * nx / nl, p.y + 1e-3 * ny / nl, p.z + 1e-3 * nz / nl), s, t));
    EXPECT_FALSE(MeshTools::PointInTriangle3dTo2d(tri, at(-0.05, t0 / 2), s, t));
    EXPECT_FALSE(MeshTools::PointInTriangle3dTo2d(tri, at(0.6, 0.6), s, t));
  }
}

TEST(PointInTriangle3dTo2d, JustOutsideIsClampedOntoTheTriangle) {
  const _vtx tri[3] = {V(0, 0, 0), V(0, 1, 0), V(1, 0, 0)};  // s = x, t = y
  double s = -1, t = -1;
  ASSERT_TRUE(MeshTools::PointInTriangle3dTo2d(tri, V(0.3, -1e-8, 1e-8), s, t));
  EXPECT_NEAR(s, 0.3, 1e-12);
  EXPECT_EQ(t, 0.0);
  ASSERT_TRUE(MeshTools::PointInTriangle3dTo2d(tri, V(0.5 + 1e-8, 0.5 + 1e-8, 0), s, t));
  EXPECT_LE(s + t, 1.0);
  EXPECT_NEAR(s, 0.5, 1e-12);
  // A millimetre-sized triangle: points merged within 1e-7 still count as on it.
  const _vtx tiny[3] = {V(0, 0, 0), V(0, 1e-3, 0), V(1e-3, 0, 0)};
  EXPECT_TRUE(MeshTools::PointInTriangle3dTo2d(tiny, V(4e-4, 3e-4, 1.5e-7), s, t));
  EXPECT_NEAR(s, 0.4, 1e-12);
  EXPECT_FALSE(MeshTools::PointInTriangle3dTo2d(tiny, V(4e-4, 3e-4, 5e-7), s, t));
  const _vtx flat[3] = {V(0, 0, 0), V(1, 1, 1), V(2, 2, 2)};
  EXPECT_FALSE(MeshTools::PointInTriangle3dTo2d(flat, V(1, 1, 1), s, t));
}

TEST(CheckTriNormal, WindingAgreement) {
  const _vtx ref[3] = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)};
  const _vtx same[3] = {V(5, 5, 1), V(6, 5, 1.5), V(5, 6, 1)};
  const _vtx rotated[3] = {same[1], same[2], same[0]};
  const _vtx swapped[3] = {same[1], same[0], same[2]};
  const _vtx edgeOn[3] = {V(0, 0, 0), V(1, 0, 0), V(0, 0, 1)};
  EXPECT_TRUE(MeshTools::CheckTriNormal(ref, same));
  EXPECT_TRUE(MeshTools::CheckTriNormal(ref, rotated));
  EXPECT_FALSE(MeshTools::CheckTriNormal(ref, swapped));
  EXPECT_FALSE(MeshTools::CheckTriNormal(ref, edgeOn));
}

}  // namespace
