// The mesh kernels on plain arrays: no document, no scene graph.
#include <gtest/gtest.h>

#include <CGAL/AABB_face_graph_triangle_primitive.h>
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Side_of_triangle_mesh.h>
#include <CGAL/Surface_mesh.h>

#include <cmath>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "host/MeshTools.h"
#include "mesh/CutAlong.h"
#include "mesh/CutFace.h"
#include "mesh/PenetrationDepth.h"
#include "mesh/PointGrid.h"
#include "mesh/SelfIntersection.h"
#include "mesh/SolidCheck.h"
#include "mesh/SolidLocator.h"
#include "mesh/TrianglePair.h"
#include "support/MeshGen.h"

using namespace vx::mesh;

namespace {

struct Solid {
  std::vector<Vec3> points;
  std::vector<int32_t> tris;
};

// The support folder's UV sphere (outward wound, poles shared) in doubles.
Solid Sphere(const Vec3& c, double r, int slices, int stacks) {
  const vxtest::Mesh m = vxtest::Sphere(SbVec3f(float(c.x), float(c.y), float(c.z)), float(r), slices, stacks);
  Solid s;
  for (std::size_t i = 0; i + 2 < m.xyz.size(); i += 3) s.points.push_back({m.xyz[i], m.xyz[i + 1], m.xyz[i + 2]});
  s.tris.assign(m.tris.begin(), m.tris.end());
  return s;
}

Solid Cube(const Vec3& lo, double e) {
  Solid s;
  for (int k = 0; k < 8; ++k)
    s.points.push_back({lo.x + e * (k & 1), lo.y + e * ((k >> 1) & 1), lo.z + e * ((k >> 2) & 1)});
  s.tris = {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4, 2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5};
  return s;
}

// Torus about the z axis (radii R, r), nu x nv quads, outward wound.
Solid Torus(double R, double r, int nu, int nv) {
  Solid s;
  const double pi = 3.14159265358979323846;
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j) {
      const double u = 2 * pi * i / nu, w = 2 * pi * j / nv;
      s.points.push_back({(R + r * std::cos(w)) * std::cos(u), (R + r * std::cos(w)) * std::sin(u), r * std::sin(w)});
    }
  auto id = [&](int i, int j) { return (i % nu) * nv + j % nv; };
  for (int i = 0; i < nu; ++i)
    for (int j = 0; j < nv; ++j)
      s.tris.insert(s.tris.end(), {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j), id(i + 1, j + 1), id(i, j + 1)});
  return s;
}

// Two solids as one mesh (indices of the second shifted).
Solid Joined(const Solid& a, const Solid& b) {
  Solid s = a;
  const int32_t base = static_cast<int32_t>(a.points.size());
  s.points.insert(s.points.end(), b.points.begin(), b.points.end());
  for (int32_t i : b.tris) s.tris.push_back(i + base);
  return s;
}

Solid Scaled(Solid s, const Vec3& f) {
  for (Vec3& p : s.points) p = {p.x * f.x, p.y * f.y, p.z * f.z};
  return s;
}

// A side given whole, not cut; `cornersCut`: every corner a (point) cut
// edge, so that each triangle is judged alone.
CutFaceSide Whole(const Solid& s, bool cornersCut = false) {
  CutFaceSide out;
  out.points = s.points;
  out.tris.assign(s.tris.begin(), s.tris.end());
  out.cutPoints = s.points;
  out.cutTris = out.tris;
  for (int i = 0; cornersCut && i < static_cast<int>(s.points.size()); ++i)
    out.cutEdges.insert(out.cutEdges.end(), {i, i});
  return out;
}

bool Crosses(const Solid& s, const Vec3& lo = {-10, -10, -10}, const Vec3& hi = {10, 10, 10}) {
  return SelfIntersects(s.points.data(), s.points.size(), s.tris.data(), s.tris.size() / 3, 1.0, lo, hi);
}

}  // namespace

// The grid ray count against CGAL's side-of-mesh test on a torus (a ray
// crosses it up to four times), at random points and at points 1e-3 .. 1e-5
// off its faces, edges and corners; faces lying on the surface are told by
// their facing.
TEST(SolidLocator, AgreesWithCGALNearTheSurfaceAndTellsFacing) {
  using K = CGAL::Exact_predicates_inexact_constructions_kernel;
  using SurfaceMesh = CGAL::Surface_mesh<K::Point_3>;
  const Solid tor = Torus(2.0, 0.7, 40, 20);
  SurfaceMesh sm;
  for (const Vec3& p : tor.points) sm.add_vertex(K::Point_3(p.x, p.y, p.z));
  for (std::size_t t = 0; t < tor.tris.size(); t += 3)
    sm.add_face(SurfaceMesh::Vertex_index(tor.tris[t]), SurfaceMesh::Vertex_index(tor.tris[t + 1]),
                SurfaceMesh::Vertex_index(tor.tris[t + 2]));
  ASSERT_TRUE(CGAL::is_closed(sm));
  const CGAL::Side_of_triangle_mesh<SurfaceMesh, K> side(sm);
  const CGAL::AABB_tree<CGAL::AABB_traits<K, CGAL::AABB_face_graph_triangle_primitive<SurfaceMesh>>> tree(
      faces(sm).first, faces(sm).second, sm);
  const SolidLocator loc(tor.points.data(), tor.points.size(), tor.tris.data(), tor.tris.size() / 3, 2.7);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<Vec3> probes;
  for (int i = 0; i < 3000; ++i) probes.push_back({3 * u(rng), 3 * u(rng), 0.8 * u(rng)});
  for (std::size_t t = 0; t < tor.tris.size(); t += 9) {
    const Vec3 &a = tor.points[tor.tris[t]], &b = tor.points[tor.tris[t + 1]], &c = tor.points[tor.tris[t + 2]];
    for (const Vec3& x : {(a + b + c) * (1.0 / 3), (a + b) * 0.5, a}) {
      for (double delta : {1e-3, 1e-4, 1e-5}) {
        const Vec3 d{u(rng), u(rng), u(rng) + 1.5};  // never zero
        probes.push_back(x + d * (delta / Norm(d)));
      }
      for (double dz : {-0.02, 0.02}) probes.push_back(x + Vec3{0, 0, dz});  // rays through an edge or corner
    }
  }
  std::size_t compared = 0, inside = 0, nearOnes = 0;
  for (const Vec3& p : probes) {
    const K::Point_3 q(p.x, p.y, p.z);
    const double d = std::sqrt(CGAL::to_double(tree.squared_distance(q)));
    if (d < 4e-6) continue;  // in or at the edge of the tolerance band (about 1.3e-6 here)
    const bool want = side(q) == CGAL::ON_BOUNDED_SIDE;
    EXPECT_EQ(loc.locate(p, {0, 0, 1}) == Where::Inside, want) << p.x << " " << p.y << " " << p.z << " at " << d;
    ++compared, inside += want, nearOnes += d < 1e-4;
  }
  EXPECT_GT(compared, probes.size() * 8 / 10);
  EXPECT_GT(inside, 300u);
  EXPECT_GT(nearOnes, 300u);
  for (std::size_t t = 0; t < tor.tris.size(); t += 3) {
    const Vec3 &a = tor.points[tor.tris[t]], &b = tor.points[tor.tris[t + 1]], &c = tor.points[tor.tris[t + 2]];
    const Vec3 n = Cross(b - a, c - a), centroid = (a + b + c) * (1.0 / 3);
    ASSERT_EQ(loc.locate(centroid, n), Where::OnSameFacing) << t;
    ASSERT_EQ(loc.locate(centroid, n * -1.0), Where::OnOppositeFacing) << t;
  }
}

// Closed with its volume, turned over (negative), one triangle missing (three
// edges without partner, no volume), and with an index out of range.
TEST(SolidCheck, ClosedOpenAndTurnedOver) {
  Solid cube = Cube({0, 0, 0}, 2), turned = cube, open = cube, bad = cube;
  for (std::size_t t = 0; t < turned.tris.size(); t += 3) std::swap(turned.tris[t + 1], turned.tris[t + 2]);
  open.tris.resize(open.tris.size() - 3);
  bad.tris.insert(bad.tris.end(), {0, 99, 1});
  for (const auto& [s, closed, volume, unmatched] :
       {std::tuple(&cube, true, 8.0, 0), {&turned, true, -8.0, 0}, {&open, false, 0.0, 3}, {&bad, false, 0.0, -1}}) {
    const SolidCheck c = CheckSolid(s->points.data(), s->points.size(), s->tris.data(), s->tris.size() / 3);
    EXPECT_EQ(c.closed, closed) << volume;
    EXPECT_NEAR(c.volume, volume, 1e-12);
    EXPECT_TRUE(unmatched < 0 || c.unmatchedEdges == std::size_t(unmatched)) << c.unmatchedEdges;
  }
}

// The unmatched-edge count against its definition, on random index sets
// with repeated, reversed and non-manifold triangles.
TEST(SolidCheck, UnmatchedEdgesAgreeWithDirectedEdgeCounts) {
  std::mt19937 rng(11);
  const std::vector<Vec3> points(7, Vec3{});
  for (int round = 0; round < 200; ++round) {
    std::vector<int32_t> tris;
    for (int t = 0; t < 2 + static_cast<int>(rng() % 12); ++t) {
      const int32_t a = rng() % 7, b = rng() % 7, c = rng() % 7;
      if (a == b || b == c || a == c) continue;
      tris.insert(tris.end(), {a, b, c});
      if (rng() % 3 == 0) tris.insert(tris.end(), {a, c, b});
    }
    std::map<std::pair<int, int>, int> used;
    for (std::size_t i = 0; i < tris.size(); i += 3)
      for (int k = 0; k < 3; ++k) ++used[{tris[i + k], tris[i + (k + 1) % 3]}];
    std::size_t unmatched = 0;
    for (std::size_t i = 0; i < tris.size(); i += 3)
      for (int k = 0; k < 3; ++k) {
        const int a = tris[i + k], b = tris[i + (k + 1) % 3];
        unmatched += used[{a, b}] != (used.count({b, a}) ? used[{b, a}] : 0);
      }
    const SolidCheck c = CheckSolid(points.data(), points.size(), tris.data(), tris.size() / 3);
    EXPECT_EQ(c.unmatchedEdges, unmatched) << "round " << round;
    EXPECT_EQ(c.closed, !tris.empty() && unmatched == 0);
  }
}

TEST(TrianglePair, KindsOfMeeting) {
  const Vec3 floor[3] = {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}};     // facing +z
  const Vec3 down[3] = {{0, 0, 0}, {0, 4, 0}, {4, 0, 0}};      // the same, facing -z
  const Vec3 wall[3] = {{1, 1, -1}, {1, 1, 1}, {2, 1, 0}};     // crosses the floor
  const Vec3 standing[3] = {{1, 1, 0}, {2, 1, 0}, {1, 1, 2}};  // an edge resting on it
  const struct {
    const Vec3* b;
    bool coplanar;
    double length, area;
    PairKind want;
  } cases[] = {
      {wall, false, 0.5, 0, PairKind::Cross},
      {standing, false, 1.0, 0, PairKind::Touch},
      {floor, true, 0, 8, PairKind::Overlap},
      {down, true, 0, 8, PairKind::Touch},       // faces on each other, facing away: a contact
      {floor, true, 0, 1e-12, PairKind::Touch},  // no area in common
      {wall, false, 0, 0, PairKind::Touch},      // a crossing of no length is a touch in a point
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyPair(floor, c.b, c.coplanar, c.length, c.area), c.want);
}

TEST(PointGrid, WeldsWithinTheToleranceAndClosesTJunctions) {
  const double tol = 1e-6;
  std::vector<Vec3> pts;
  std::vector<int> tris;
  // A square split in two on one side of the diagonal, in three on the other
  // with a point on the diagonal: a T-junction, plus a copy off by tol/2.
  WeldTriangles({{0, 0, 0},
                 {1, 0, 0},
                 {1, 1, 0},
                 {0, 0, 0},
                 {0.5, 0.5, 0},
                 {0, 1, 0},
                 {0.5, 0.5 + tol / 2, 0},
                 {1, 1, 0},
                 {0, 1, 0}},
                tol, pts, tris);
  EXPECT_EQ(pts.size(), 5u);
  EXPECT_EQ(tris.size(), 9u);
  CloseTJunctions(pts, tris, tol);
  std::map<std::pair<int, int>, int> directed;
  for (std::size_t t = 0; t < tris.size(); t += 3)
    for (int k = 0; k < 3; ++k) ++directed[{tris[t + k], tris[t + (k + 1) % 3]}];
  int open = 0;
  for (const auto& e : directed) open += directed.count({e.first.second, e.first.first}) ? 0 : 1;
  EXPECT_EQ(open, 4) << "only the square's outline is left without a partner";
}

// Two cubes given whole (no cut lines needed when every crossing lies on
// corners or faces lying on each other): identical cubes share one volume.
TEST(CutFace, FacesOnFacesKeepOneLayer) {
  const Solid a = Cube({0, 0, 0}, 1), b = Cube({0, 0, 0}, 1), c = Cube({1, 0, 0}, 1);
  auto side = [](const Solid& s) { return Whole(s, true); };
  const CutFace same = BuildCutFace(side(a), side(b), [] { return false; });
  ASSERT_TRUE(same.volumeKnown);
  EXPECT_NEAR(same.volume, 1.0, 1e-12);
  EXPECT_EQ(same.tris.size(), 36u) << "one cube, not two";
  const CutFace touching = BuildCutFace(side(a), side(c), [] { return false; });
  ASSERT_TRUE(touching.volumeKnown);
  EXPECT_EQ(touching.volume, 0.0);
  EXPECT_TRUE(touching.tris.empty()) << "a contact leaves no layer";
  Solid open = a;
  open.tris.resize(open.tris.size() - 6);
  const CutFace none = BuildCutFace(side(open), side(b), [] { return false; });
  EXPECT_FALSE(none.volumeKnown);
  EXPECT_NE(none.volumeNote.find("not closed"), std::string::npos);
}

// Closed meshes that cross themselves are found (through faces, and through a
// shared corner); meshes that only touch themselves or are clean are not;
// nothing is looked for outside the box.
TEST(SelfIntersection, FindsCrossingsNearTheBoxOnly) {
  const Solid sphere = Sphere({0, 0, 0}, 1, 24, 12);
  EXPECT_FALSE(Crosses(sphere));
  EXPECT_FALSE(Crosses(Joined(Cube({0, 0, 0}, 1), Cube({1, 0, 0}, 1)))) << "face on face, facing away";
  EXPECT_FALSE(Crosses(Joined(Cube({0, 0, 0}, 1), Cube({1, 1, 1}, 1)))) << "corner on corner";
  const Solid crossed = Joined(Cube({0, 0, 0}, 1), Cube({0.5, 0.3, 0.2}, 1));
  EXPECT_TRUE(Crosses(crossed));
  EXPECT_FALSE(Crosses(crossed, {5, 5, 5}, {6, 6, 6}));
  EXPECT_TRUE(Crosses(Joined(sphere, Sphere({0.7, 0.1, 0.05}, 0.6, 16, 8))));
  // Two tetrahedra sharing one corner index, the second's far edge passing
  // through a face of the first.
  Solid shared;
  shared.points = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {0.5, 0.5, -1}, {0.5, 0.5, 1}, {-1, -1, 3}};
  shared.tris = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3, 0, 4, 5, 0, 5, 6, 0, 6, 4, 4, 6, 5};
  EXPECT_TRUE(Crosses(shared));
}

// The linear-time proof holds for star-shaped solids either way wound, and
// never for a mesh the search finds crossing: two crossing shells both seen
// turning one way (dropping the one-turn rule passes them), a shell seen
// from outside.
TEST(SelfIntersection, StarProofNeverHidesACrossing) {
  const Solid sphere = Sphere({0, 0, 0}, 1, 24, 12);
  Solid inward = sphere;
  for (std::size_t i = 0; i + 2 < inward.tris.size(); i += 3) std::swap(inward.tris[i + 1], inward.tris[i + 2]);
  const Solid crossing = Joined(sphere, Scaled(sphere, {1.3, 1.3, 0.6}));
  const Solid cubes = Joined(Cube({0, 0, 0}, 1), Cube({0.5, 0.3, 0.2}, 1));
  const std::tuple<Solid, Vec3, bool> cases[] = {
      {sphere, {0.1, -0.2, 0.3}, true}, {inward, {0, 0, 0}, true},  {Cube({0, 0, 0}, 1), {.5, .5, .5}, true},
      {crossing, {0, 0, 0}, false},     {sphere, {3, 0, 0}, false}, {cubes, {0.7, 0.6, 0.6}, false}};
  for (const auto& [s, c, expected] : cases) {
    const bool proven = EmbeddedAroundPoint(s.points.data(), s.points.size(), s.tris.data(), s.tris.size() / 3, c);
    EXPECT_EQ(proven, expected) << c.x << " " << s.tris.size();
    EXPECT_TRUE(!proven || !Crosses(s)) << c.x << " " << s.tris.size();
  }
  EXPECT_TRUE(Crosses(crossing));
}

// A closed but self-crossing side: no volume, and the note says why.
TEST(CutFace, SelfCrossingSideHasNoVolume) {
  const Solid crossed = Joined(Cube({0, 0, 0}, 1), Cube({0.5, 0.3, 0.2}, 1));
  const CutFace face = BuildCutFace(Whole(crossed), Whole(Cube({0.6, 0.6, 0.6}, 1)), [] { return false; });
  EXPECT_FALSE(face.volumeKnown);
  EXPECT_LT(face.penetrationDepth, 0);
  EXPECT_NE(face.volumeNote.find("intersects itself"), std::string::npos) << face.volumeNote;
}

// The depth bound on hand-derived overlaps: a slab of thickness d gives d; a
// cube gives at least 2/3 of its edge (the bound from face centroids) and
// never more than the edge; a ring of the width w around a pin gives w.
TEST(PenetrationDepth, HandDerivedOverlaps) {
  auto depth = [](const Solid& s) {
    return PenetrationDepthLowerBound(s.points.data(), s.points.size(), s.tris.data(), s.tris.size() / 3);
  };
  for (double d : {0.01, 0.2, 0.5}) EXPECT_NEAR(depth(Scaled(Cube({0, 0, 0}, 1), {4, 3, d})), d, 1e-12) << d;
  const double cube = depth(Cube({0, 0, 0}, 1));
  EXPECT_GE(cube, 2.0 / 3.0 - 1e-12);
  EXPECT_LE(cube, 1.0);
  // A tube of 64 sides, radii 1 and 1.1, height 3: outward wound.
  Solid tube;
  const int n = 64;
  const double pi = 3.14159265358979323846;
  for (int j = 0; j < n; ++j) {
    for (double r : {1.0, 1.1})
      for (double z : {0.0, 3.0})
        tube.points.push_back({r * std::cos(2 * pi * j / n), r * std::sin(2 * pi * j / n), z});
  }
  auto v = [n](int j, int outer, int top) { return 4 * (j % n) + 2 * outer + top; };
  for (int j = 0; j < n; ++j) {
    const int k = j + 1;
    tube.tris.insert(tube.tris.end(), {v(j, 1, 0), v(k, 1, 0), v(k, 1, 1), v(j, 1, 0), v(k, 1, 1), v(j, 1, 1)});
    tube.tris.insert(tube.tris.end(), {v(j, 0, 0), v(k, 0, 1), v(k, 0, 0), v(j, 0, 0), v(j, 0, 1), v(k, 0, 1)});
    tube.tris.insert(tube.tris.end(), {v(j, 0, 1), v(j, 1, 1), v(k, 1, 1), v(j, 0, 1), v(k, 1, 1), v(k, 0, 1)});
    tube.tris.insert(tube.tris.end(), {v(j, 0, 0), v(k, 1, 0), v(j, 1, 0), v(j, 0, 0), v(k, 0, 0), v(k, 1, 0)});
  }
  const SolidCheck check = CheckSolid(tube.points.data(), tube.points.size(), tube.tris.data(), tube.tris.size() / 3);
  ASSERT_TRUE(check.closed);
  ASSERT_GT(check.volume, 0);
  EXPECT_NEAR(depth(tube), 0.1, 2 * (1 - std::cos(pi / n))) << "within the sagitta of the walls";
}

namespace {

double Area(const std::vector<Vec3>& p, const std::vector<int>& t) {
  double a = 0;
  for (std::size_t i = 0; i + 2 < t.size(); i += 3)
    a += 0.5 * Norm(Cross(p[t[i + 1]] - p[t[i]], p[t[i + 2]] - p[t[i]]));
  return a;
}

bool HasEdge(const std::vector<int>& t, int a, int b) {
  for (std::size_t i = 0; i + 2 < t.size(); i += 3)
    for (int k = 0; k < 3; ++k)
      if ((t[i + k] == a && t[i + (k + 1) % 3] == b) || (t[i + k] == b && t[i + (k + 1) % 3] == a)) return true;
  return false;
}

// Every cut edge is an edge of the cut surface, the pieces cover the
// surface's area, and each piece faces the way its triangle did.
void ExpectSoundCut(const std::vector<Vec3>& points, const std::vector<int>& tris, const CutSurface& cut,
                    const char* what) {
  SCOPED_TRACE(what);
  for (std::size_t k = 0; k + 1 < cut.cutEdges.size() && cut.leftWhole == 0; k += 2) {
    const bool cutSegment = cut.cutEdges[k] != cut.cutEdges[k + 1];
    EXPECT_TRUE(!cutSegment || HasEdge(cut.tris, cut.cutEdges[k], cut.cutEdges[k + 1])) << "cut edge " << k / 2;
  }
  EXPECT_NEAR(Area(cut.points, cut.tris), Area(points, tris), 1e-9 * Area(points, tris));
  for (std::size_t i = 0; i < points.size(); ++i) ASSERT_EQ(cut.points[i].x, points[i].x) << "points keep their place";
  Vec3 facing{0, 0, 0};
  for (std::size_t i = 0; i + 2 < tris.size(); i += 3)
    facing = facing + Cross(points[tris[i + 1]] - points[tris[i]], points[tris[i + 2]] - points[tris[i]]);
  if (tris.size() == 3) {
    for (std::size_t i = 0; i + 2 < cut.tris.size(); i += 3) {
      const Vec3 n = Cross(cut.points[cut.tris[i + 1]] - cut.points[cut.tris[i]],
                           cut.points[cut.tris[i + 2]] - cut.points[cut.tris[i]]);
      EXPECT_GT(Dot(n, facing), 0) << "piece " << i / 3;
    }
  }
}

}  // namespace

// One triangle T0 = (0,0,0), T1 = (0,4,0), T2 = (4,0,0) cut by hand-made segments.
TEST(CutAlong, OneTriangle) {
  const std::vector<Vec3> pts = {{0, 0, 0}, {0, 4, 0}, {4, 0, 0}};
  const std::vector<int> tri = {0, 1, 2};
  struct Case {
    const char* what;
    std::vector<Vec3> cutPoints;
    std::vector<int> segments;
    std::size_t minPieces;  // 1: stays whole
    int leftWhole;
    std::size_t cutEdges;  // index pairs reported
  };
  const Case cases[] = {
      {"edge to interior to edge", {{1, 0, 0}, {1, 1, 0}, {2, 2, 0}}, {0, 1, 1, 2}, 4, 0, 2},
      {"along its own edge", {{0, 0, 0}, {4, 0, 0}}, {0, 1}, 1, 0, 1},
      // 2e-7 apart along the normal: one point after welding, the two segments one.
      {"points within the tolerance", {{1, 1, 0}, {1, 1, 2e-7}, {2, 1, 0}}, {0, 2, 1, 2}, 3, 0, 2},
      {"a point off the triangle", {{1, 1, 0}, {1, 1, 0.5}}, {0, 1}, 1, 1, 1},
      // Two segments crossing inside: the triangulation would need a point of its own.
      {"crossing segments", {{1, 0.5, 0}, {2, 1.5, 0}, {1, 1.5, 0}, {2, 0.5, 0}}, {0, 1, 2, 3}, 1, 1, 2},
  };
  for (const Case& c : cases) {
    CrossedTriangle crossed{{pts[0], pts[1], pts[2]}, c.segments};
    const CutSurface cut = CutAlongSegments(pts, tri, c.cutPoints, {crossed});
    SCOPED_TRACE(c.what);
    EXPECT_EQ(cut.leftWhole, c.leftWhole);
    EXPECT_GE(cut.tris.size() / 3, c.minPieces);
    if (c.minPieces == 1) {
      EXPECT_EQ(cut.tris, tri);
    }
    EXPECT_EQ(cut.cutEdges.size() / 2, c.cutEdges);
    ExpectSoundCut(pts, tri, cut, c.what);
  }
  // A cut point within the tolerance of edge T0-T2 splits that edge (no sliver beside it).
  CrossedTriangle crossed{{pts[0], pts[1], pts[2]}, {0, 1}};
  const CutSurface cut = CutAlongSegments(pts, tri, {{1, 1e-9, 0}, {1, 1, 0}}, {crossed});
  EXPECT_FALSE(HasEdge(cut.tris, 0, 2));
  EXPECT_TRUE(HasEdge(cut.tris, 0, 3) && HasEdge(cut.tris, 3, 2));
}

// Two spheres crossing, cut along the segments of every crossing triangle
// pair (brute force): both cut surfaces stay closed with their area, and the
// cut face built on them is closed, with the volume of the lens the two
// polyhedra share (checked against a dense point count).
TEST(CutAlong, CrossingSpheresGiveAClosedCutFace) {
  const Solid a = Sphere({0, 0, 0}, 1.0, 24, 12), b = Sphere({1.1, 0.13, 0.07}, 0.9, 20, 11);
  std::vector<Vec3> cutPoints;
  std::map<int, std::vector<int>> segA, segB;
  std::vector<_vtx> seg;
  for (std::size_t i = 0; i < a.tris.size(); i += 3) {
    for (std::size_t j = 0; j < b.tris.size(); j += 3) {
      _vtx ta[3], tb[3];
      for (int k = 0; k < 3; ++k) {
        const Vec3 &p = a.points[a.tris[i + k]], &q = b.points[b.tris[j + k]];
        ta[k] = {p.x, p.y, p.z};
        tb[k] = {q.x, q.y, q.z};
      }
      bool coplanar = false;
      MeshTools::GetTowTrisCrossLine(ta, tb, seg, coplanar);
      if (coplanar || seg.size() != 2) continue;
      const int n = static_cast<int>(cutPoints.size());
      cutPoints.push_back({seg[0].x, seg[0].y, seg[0].z});
      cutPoints.push_back({seg[1].x, seg[1].y, seg[1].z});
      segA[static_cast<int>(i)].insert(segA[static_cast<int>(i)].end(), {n, n + 1});
      segB[static_cast<int>(j)].insert(segB[static_cast<int>(j)].end(), {n, n + 1});
    }
  }
  ASSERT_GT(segA.size(), 20u);
  auto side = [&](const Solid& s, const std::map<int, std::vector<int>>& segs) {
    std::vector<CrossedTriangle> crossed;
    for (const auto& e : segs)
      crossed.push_back(
          {{s.points[s.tris[e.first]], s.points[s.tris[e.first + 1]], s.points[s.tris[e.first + 2]]}, e.second});
    CutFaceSide out;
    out.points = s.points;
    out.tris.assign(s.tris.begin(), s.tris.end());
    const CutSurface cut = CutAlongSegments(out.points, out.tris, cutPoints, crossed);
    EXPECT_EQ(cut.leftWhole, 0);
    ExpectSoundCut(out.points, out.tris, cut, "sphere");
    EXPECT_TRUE(CheckSolid(cut.points.data(), cut.points.size(), cut.tris.data(), cut.tris.size() / 3).closed);
    out.cutPoints = cut.points;
    out.cutTris = cut.tris;
    out.cutEdges = cut.cutEdges;
    return out;
  };
  const CutFace face = BuildCutFace(side(a, segA), side(b, segB), [] { return false; });
  ASSERT_TRUE(face.volumeKnown) << face.volumeNote;
  EXPECT_TRUE(CheckSolid(face.points.data(), face.points.size(), face.tris.data(), face.tris.size() / 3).closed);
  // Reference: the cells of a fine grid whose centre lies inside both polyhedra.
  const SolidLocator inA(a.points.data(), a.points.size(), a.tris.data(), a.tris.size() / 3, 1.0);
  const SolidLocator inB(b.points.data(), b.points.size(), b.tris.data(), b.tris.size() / 3, 1.0);
  const int n = 60;
  const Vec3 lo{0.15, -0.9, -0.9};
  const Vec3 h{0.85 / n, 1.8 / n, 1.8 / n};
  long inside = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k) {
        const Vec3 p{lo.x + (i + 0.5) * h.x, lo.y + (j + 0.5) * h.y, lo.z + (k + 0.5) * h.z};
        inside += inA.locate(p, {0, 0, 1}) == Where::Inside && inB.locate(p, {0, 0, 1}) == Where::Inside;
      }
  const double reference = static_cast<double>(inside) * h.x * h.y * h.z;
  EXPECT_NEAR(face.volume, reference, 0.01 * reference);
}
