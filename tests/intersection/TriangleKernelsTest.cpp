// The triangle kernels against exact references (CGAL's exact kernel) on
// seeded random triangles, and on hand-built cases whose answers follow from
// the rules in intersection/TriangleKernels.h.
#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/intersections.h>
#include <CGAL/squared_distance_3.h>
#include <Inventor/SbLine.h>
#include <Inventor/SbPlane.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "intersection/TriangleKernels.h"

namespace {

using K = CGAL::Exact_predicates_exact_constructions_kernel;

K::Point_3 cg(const SbVec3f& p) { return K::Point_3(p[0], p[1], p[2]); }
K::Triangle_3 cg(const SbVec3f t[3]) { return K::Triangle_3(cg(t[0]), cg(t[1]), cg(t[2])); }

struct Pair {
  SbVec3f a[3];
  SbVec3f b[3];
};

// Random triangles with corners in [0, 1]^3: about one pair in six crosses.
Pair randomPair(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  Pair p;
  for (auto& v : p.a) v.setValue(u(rng), u(rng), u(rng));
  for (auto& v : p.b) v.setValue(u(rng), u(rng), u(rng));
  return p;
}

bool cgalIntersects(const SbVec3f a[3], const SbVec3f b[3]) { return CGAL::do_intersect(cg(a), cg(b)); }

// A pair is robust when the exact answer does not change as the second
// triangle moves by `delta` along each axis or grows or shrinks by that
// fraction about its centroid: then no rounding in a float test can flip it.
bool robustAnswer(const Pair& p, bool answer, float delta) {
  const SbVec3f moves[6] = {SbVec3f(delta, 0, 0),  SbVec3f(-delta, 0, 0), SbVec3f(0, delta, 0),
                            SbVec3f(0, -delta, 0), SbVec3f(0, 0, delta),  SbVec3f(0, 0, -delta)};
  for (const SbVec3f& m : moves) {
    SbVec3f b[3] = {p.b[0] + m, p.b[1] + m, p.b[2] + m};
    if (cgalIntersects(p.a, b) != answer) return false;
  }
  const SbVec3f c = (p.b[0] + p.b[1] + p.b[2]) / 3.0f;
  for (float s : {1.0f - delta, 1.0f + delta}) {
    SbVec3f b[3] = {c + (p.b[0] - c) * s, c + (p.b[1] - c) * s, c + (p.b[2] - c) * s};
    if (cgalIntersects(p.a, b) != answer) return false;
  }
  return true;
}

bool exact(const SbVec3f a[3], const SbVec3f b[3]) { return vxtri::intersectExact(a, b); }

}  // namespace

// ---------------------------------------------------------------------------
// The inlined half-space test must classify exactly like Coin's plane, or the
// planes cached per triangle would change answers.

TEST(TriangleKernels, HalfSpaceMatchesSbPlaneBitForBit) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-50.0f, 50.0f);
  int onPlane = 0;
  for (int i = 0; i < 200000; ++i) {
    const SbVec3f a(u(rng), u(rng), u(rng)), b(u(rng), u(rng), u(rng)), c(u(rng), u(rng), u(rng));
    const SbPlane plane(a, b, c);
    // Vertices and edge midpoints sit on the plane up to rounding: the cases
    // where the exact arithmetic matters.
    const SbVec3f q = i % 3 == 0 ? a : i % 3 == 1 ? (a + c) * 0.5f : SbVec3f(u(rng), u(rng), u(rng));
    const bool ours = vxtri::inHalfSpace(plane.getNormal(), plane.getDistanceFromOrigin(), q);
    ASSERT_EQ(ours, static_cast<bool>(plane.isInHalfSpace(q))) << "point " << i;
    if (plane.getDistance(q) == 0.0f) ++onPlane;
  }
  EXPECT_GT(onPlane, 1000);  // the boundary case was really exercised
}

TEST(TriangleKernels, PlaneLineIntersectionMatchesCoinBitForBit) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> u(-50.0f, 50.0f);
  int parallel = 0;
  for (int i = 0; i < 200000; ++i) {
    const SbVec3f a(u(rng), u(rng), u(rng)), b(u(rng), u(rng), u(rng)), c(u(rng), u(rng), u(rng));
    const SbPlane plane(a, b, c);
    const SbVec3f from(u(rng), u(rng), u(rng));
    // Every other line runs (nearly) along the plane: the parallel rule.
    const SbVec3f to = i % 2 ? SbVec3f(u(rng), u(rng), u(rng)) : from + (b - a) + (c - a) * 1e-7f;
    SbVec3f coin, ours;
    const bool hitCoin = plane.intersect(SbLine(from, to), coin);
    const bool hitOurs = vxtri::planeLineIntersection(plane.getNormal(), plane.getDistanceFromOrigin(), from, to, ours);
    ASSERT_EQ(hitOurs, hitCoin) << "line " << i;
    if (hitCoin) {
      ASSERT_TRUE(ours == coin) << "line " << i;
    }
    parallel += !hitCoin;
  }
  EXPECT_GT(parallel, 1000);
}

// ---------------------------------------------------------------------------
// Exact test.

// Agreement with the exact predicate on seeded random pairs, by family:
// required on every robust pair, reported overall. The last two families are
// degenerate on purpose (touching at a shared corner, coplanar); there the
// float test has its own rules and the rate is only reported.
TEST(TriangleKernelsExact, AgreesWithCgalOnRobustRandomPairs) {
  std::uniform_real_distribution<float> far(-3000.0f, 3000.0f), near(0.0f, 40.0f), unit(0.0f, 1.0f);
  struct Family {
    const char* name;
    std::function<Pair(std::mt19937&)> make;
    float delta;  // robustness probe, in the family's units
  };
  const Family families[] = {
      {"unit cube", [](std::mt19937& r) { return randomPair(r); }, 1e-4f},
      {"far from the origin",
       [&](std::mt19937& r) {
         const SbVec3f o(far(r), far(r), far(r));
         Pair p;
         for (auto& x : p.a) x = o + SbVec3f(near(r), near(r), near(r));
         for (auto& x : p.b) x = o + SbVec3f(near(r), near(r), near(r));
         return p;
       },
       0.05f},
      {"sharing a corner",
       [](std::mt19937& r) {
         Pair p = randomPair(r);
         p.b[0] = p.a[0];
         return p;
       },
       1e-4f},
      {"coplanar",
       [&](std::mt19937& r) {
         Pair p;
         for (auto& x : p.a) x.setValue(unit(r), unit(r), 0.0f);
         for (auto& x : p.b) x.setValue(unit(r), unit(r), 0.0f);
         return p;
       },
       1e-4f},
  };
  std::mt19937 rng(12345);
  for (const Family& f : families) {
    const int n = 10000;
    int robust = 0, agree = 0;
    for (int i = 0; i < n; ++i) {
      const Pair p = f.make(rng);
      const bool ref = cgalIntersects(p.a, p.b);
      const bool ours = exact(p.a, p.b);
      agree += ours == ref;
      if (robustAnswer(p, ref, f.delta)) {
        ++robust;
        EXPECT_EQ(ours, ref) << f.name << " pair " << i;
      }
    }
    std::printf("[ exact test ] %-20s agreement %7.3f %% of %d pairs (%d robust)\n", f.name, 100.0 * agree / n, n,
                robust);
    if (f.delta > 1e-3f || std::string(f.name) == "unit cube") {
      EXPECT_GT(robust, n * 8 / 10);  // the generic families are mostly robust
    }
  }
}

// Hand-built cases. Coordinates are small integers or halves, so each answer
// below follows from the rules without rounding doubts.
struct HandCase {
  const char* name;
  SbVec3f a[3];
  SbVec3f b[3];
  bool ours;   // what the exact test answers
  bool exact;  // the geometric answer
};

TEST(TriangleKernelsExact, HandBuiltCases) {
  const SbVec3f A[3] = {SbVec3f(0, 0, 0), SbVec3f(4, 0, 0), SbVec3f(0, 4, 0)};  // z = 0, normal +z
  const HandCase cases[] = {
      {"crossing", {A[0], A[1], A[2]}, {SbVec3f(1, 1, -1), SbVec3f(1, 1, 1), SbVec3f(3, 0.5f, 0.5f)}, true, true},
      {"crossing near an edge",
       {A[0], A[1], A[2]},
       {SbVec3f(3.5f, 0.25f, -1), SbVec3f(3.5f, 0.25f, 1), SbVec3f(5, 1, 0.5f)},
       true,
       true},
      {"passing beside", {A[0], A[1], A[2]}, {SbVec3f(3, 3, -1), SbVec3f(3, 3, 1), SbVec3f(5, 5, 0.5f)}, false, false},
      {"piercing the plane outside",
       {A[0], A[1], A[2]},
       {SbVec3f(-1, -1, -1), SbVec3f(-1, -1, 1), SbVec3f(-2, 1, 0.5f)},
       false,
       false},
      // A vertex on the plane counts as being on the normal's side: touching
      // from above leaves the whole triangle on one side (not reported) ...
      {"vertex touching from above",
       {A[0], A[1], A[2]},
       {SbVec3f(1, 1, 0), SbVec3f(2, 1, 2), SbVec3f(1, 2, 2)},
       false,
       true},
      // ... touching from below makes it straddle, and the touching point lies
      // inside the other triangle's crossing span (reported).
      {"vertex touching from below",
       {A[0], A[1], A[2]},
       {SbVec3f(1, 1, 0), SbVec3f(1, 2, -2), SbVec3f(2, 1, -2)},
       true,
       true},
      {"parallel planes", {A[0], A[1], A[2]}, {SbVec3f(0, 0, 1), SbVec3f(4, 0, 1), SbVec3f(0, 4, 1)}, false, false},
      {"parallel planes, overlapping shadow",
       {A[0], A[1], A[2]},
       {SbVec3f(1, 1, 0.5f), SbVec3f(3, 1, 0.5f), SbVec3f(1, 3, 0.5f)},
       false,
       false},
      // Coplanar, same winding: the lift decides.
      {"coplanar overlap", {A[0], A[1], A[2]}, {SbVec3f(1, 1, 0), SbVec3f(3, 1, 0), SbVec3f(1, 3, 0)}, true, true},
      {"coplanar disjoint", {A[0], A[1], A[2]}, {SbVec3f(5, 5, 0), SbVec3f(7, 5, 0), SbVec3f(5, 7, 0)}, false, false},
      // Coplanar with opposite winding: the planes differ in sign, so the pair
      // is not treated as coplanar and every vertex sits on the boundary.
      {"coplanar overlap, opposite winding",
       {A[0], A[1], A[2]},
       {SbVec3f(1, 1, 0), SbVec3f(1, 3, 0), SbVec3f(3, 1, 0)},
       false,
       true},
  };
  for (const HandCase& c : cases) {
    EXPECT_EQ(cgalIntersects(c.a, c.b), c.exact) << c.name << " (reference)";
    EXPECT_EQ(exact(c.a, c.b), c.ours) << c.name;
  }
}

TEST(TriangleKernelsExact, CoplanarBranchNeedsBitEqualPlanes) {
  // Overlapping triangles in the plane z = 1e-7 * x are "nearly" coplanar
  // with z = 0 but their planes differ: the general branch then sees every
  // vertex of one triangle on one side of the other plane.
  const SbVec3f a[3] = {SbVec3f(0, 0, 0), SbVec3f(4, 0, 0), SbVec3f(0, 4, 0)};
  const SbVec3f b[3] = {SbVec3f(1, 1, 1e-7f), SbVec3f(3, 1, 3e-7f), SbVec3f(1, 3, 1e-7f)};
  EXPECT_FALSE(exact(a, b));
  const SbVec3f flat[3] = {SbVec3f(1, 1, 0), SbVec3f(3, 1, 0), SbVec3f(1, 3, 0)};
  EXPECT_TRUE(exact(a, flat));
}

// ---------------------------------------------------------------------------
// Distances.

namespace {

// Agreement within float resolution of the inputs' scale.
void expectClose(double ours, double ref, double scale, const char* what, int i) {
  EXPECT_NEAR(ours, ref, 1e-6 * scale + 1e-5 * ref) << what << " case " << i;
}

}  // namespace

TEST(TriangleKernelsDistance, TriangleDistanceMatchesCgal) {
  std::mt19937 rng(2024);
  int crossing = 0;
  double worst = 0;
  for (int i = 0; i < 20000; ++i) {
    Pair p = randomPair(rng);
    if (i % 2) {
      // Half the pairs are pulled apart so that distances are not all 0.
      for (auto& v : p.b) v += SbVec3f(0.6f, 0.3f, 0.2f);
    }
    const double ref = std::sqrt(CGAL::to_double(CGAL::squared_distance(cg(p.a), cg(p.b))));
    const double ours = vxtri::triangleDistance(p.a, p.b);
    if (ref == 0.0) ++crossing;
    worst = std::max(worst, std::fabs(ours - ref));
    expectClose(ours, ref, 1.0, "triangle-triangle", i);
  }
  std::printf("[ distance ] worst absolute deviation from the exact distance: %.3g\n", worst);
  EXPECT_GT(crossing, 1000);
}

TEST(TriangleKernelsDistance, TriangleDistanceIsTheLeastEdgeTriangleDistance) {
  // The triangle distance shares work between its six edge-triangle terms;
  // it must still equal their minimum, also for small triangles, where the
  // absolute parallel rule of the segment-segment term applies to every
  // pair of edges.
  std::mt19937 rng(8);
  for (float scale : {1.0f, 0.01f}) {
    for (int i = 0; i < 5000; ++i) {
      Pair p = randomPair(rng);
      for (auto& v : p.a) v *= scale;
      for (auto& v : p.b) v = v * scale + SbVec3f(0.3f, 0.2f, 0.1f) * scale * static_cast<float>(i % 2);
      double least = FLT_MAX;
      for (int k = 0; k < 3; ++k) {
        least = std::min(least, vxtri::segmentTriangleDistanceSq(p.b[k], p.b[(k + 1) % 3], p.a));
        least = std::min(least, vxtri::segmentTriangleDistanceSq(p.a[k], p.a[(k + 1) % 3], p.b));
      }
      EXPECT_NEAR(vxtri::triangleDistance(p.a, p.b), std::sqrt(least), 1e-6 * scale)
          << "scale " << scale << " case " << i;
    }
  }
}

TEST(TriangleKernelsDistance, EpsilonPrefilterNeverRejectsAPairWithinEpsilon) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> shift(-0.3f, 0.3f);
  int rejected = 0;
  for (int i = 0; i < 20000; ++i) {
    Pair p = randomPair(rng);
    const SbVec3f m(shift(rng), shift(rng), shift(rng) + 0.4f);
    for (auto& v : p.b) v = v * 0.3f + m;
    for (auto& v : p.a) v *= 0.3f;
    const float eps = 0.05f * static_cast<float>(1 + i % 4);
    const float d = vxtri::triangleDistance(p.a, p.b);
    if (vxtri::separatedBeyond(p.a, p.b, eps)) {
      ++rejected;
      EXPECT_GT(d, eps) << "case " << i;
    }
    float within = -1.0f;
    EXPECT_EQ(vxtri::distanceWithin(p.a, p.b, eps, within), d <= eps) << "case " << i;
    if (d <= eps) {
      EXPECT_EQ(within, d);
    }
  }
  EXPECT_GT(rejected, 2000);  // the prefilter does some work
}

TEST(TriangleKernelsDistance, PointTriangleMatchesCgal) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> u(-1.0f, 2.0f);
  for (int i = 0; i < 20000; ++i) {
    const Pair p = randomPair(rng);
    const SbVec3f q(u(rng), u(rng), u(rng));
    const double ref = CGAL::to_double(CGAL::squared_distance(cg(q), cg(p.a)));
    expectClose(vxtri::pointTriangleDistanceSq(q, p.a), ref, 1.0, "point-triangle", i);
  }
}

TEST(TriangleKernelsDistance, SegmentSegmentAndSegmentTriangleMatchCgal) {
  std::mt19937 rng(77);
  for (int i = 0; i < 20000; ++i) {
    const Pair p = randomPair(rng);
    const K::Segment_3 s(cg(p.b[0]), cg(p.b[1]));
    const K::Segment_3 e(cg(p.a[0]), cg(p.a[1]));
    const double refSS = CGAL::to_double(CGAL::squared_distance(s, e));
    expectClose(vxtri::segmentSegmentDistanceSq(p.b[0], p.b[1], p.a[0], p.a[1]), refSS, 1.0, "segment-segment", i);

    // Segment-triangle reference: 0 when the segment meets the triangle,
    // else the least of the end point and edge distances (exact arithmetic).
    const K::Triangle_3 t = cg(p.a);
    double refST;
    if (CGAL::do_intersect(s, t)) {
      refST = 0.0;
    } else {
      refST = std::min({CGAL::to_double(CGAL::squared_distance(s.source(), t)),
                        CGAL::to_double(CGAL::squared_distance(s.target(), t))});
      for (int k = 0; k < 3; ++k) {
        const K::Segment_3 edge(cg(p.a[k]), cg(p.a[(k + 1) % 3]));
        refST = std::min(refST, CGAL::to_double(CGAL::squared_distance(s, edge)));
      }
    }
    expectClose(vxtri::segmentTriangleDistanceSq(p.b[0], p.b[1], p.a), refST, 1.0, "segment-triangle", i);
  }
}

TEST(TriangleKernelsDistance, HandBuiltCases) {
  const SbVec3f a[3] = {SbVec3f(0, 0, 0), SbVec3f(4, 0, 0), SbVec3f(0, 4, 0)};
  // Parallel planes one apart, overlapping shadow: distance 1 (the parallel
  // shortcut is exact here).
  const SbVec3f up[3] = {SbVec3f(1, 1, 1), SbVec3f(3, 1, 1), SbVec3f(1, 3, 1)};
  EXPECT_FLOAT_EQ(vxtri::triangleDistance(a, up), 1.0f);
  // Edge over edge, crossing at right angles 0.5 apart.
  const SbVec3f cross[3] = {SbVec3f(2, -1, 0.5f), SbVec3f(2, -3, 0.5f), SbVec3f(2, -1, 3)};
  EXPECT_FLOAT_EQ(vxtri::triangleDistance(a, cross), std::sqrt(1.0f + 0.25f));
  // A vertex 0.25 above the interior.
  const SbVec3f tip[3] = {SbVec3f(1, 1, 0.25f), SbVec3f(1, 1, 3), SbVec3f(2, 1, 3)};
  EXPECT_FLOAT_EQ(vxtri::triangleDistance(a, tip), 0.25f);
  // Crossing triangles: 0 in both argument orders.
  const SbVec3f through[3] = {SbVec3f(1, 1, -1), SbVec3f(1, 1, 1), SbVec3f(3, 0.5f, 0.5f)};
  EXPECT_EQ(vxtri::triangleDistance(a, through), 0.0f);
  EXPECT_EQ(vxtri::triangleDistance(through, a), 0.0f);
  // Coplanar and apart: the gap between the nearest corners.
  const SbVec3f side[3] = {SbVec3f(5, 0, 0), SbVec3f(7, 0, 0), SbVec3f(5, 2, 0)};
  EXPECT_FLOAT_EQ(vxtri::triangleDistance(a, side), 1.0f);
}

TEST(TriangleKernelsDistance, DegenerateInputsStayFinite) {
  const SbVec3f a[3] = {SbVec3f(0, 0, 0), SbVec3f(4, 0, 0), SbVec3f(0, 4, 0)};
  const SbVec3f line[3] = {SbVec3f(0, 0, 2), SbVec3f(1, 1, 2), SbVec3f(2, 2, 2)};  // zero area
  const SbVec3f dot[3] = {SbVec3f(1, 1, 3), SbVec3f(1, 1, 3), SbVec3f(1, 1, 3)};   // one point
  EXPECT_FLOAT_EQ(vxtri::triangleDistance(a, line), 2.0f);
  EXPECT_FLOAT_EQ(vxtri::triangleDistance(line, a), 2.0f);
  EXPECT_FLOAT_EQ(vxtri::triangleDistance(a, dot), 3.0f);
  EXPECT_FLOAT_EQ(static_cast<float>(vxtri::segmentSegmentDistanceSq(dot[0], dot[0], a[0], a[1])), 1.0f + 9.0f);
  EXPECT_DOUBLE_EQ(vxtri::pointTriangleDistanceSq(SbVec3f(1, 1, 0), line), 4.0);
}
