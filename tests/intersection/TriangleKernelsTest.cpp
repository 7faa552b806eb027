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

#include "intersection/TriangleKernels.h"

namespace {

using K = CGAL::Exact_predicates_exact_constructions_kernel;

K::Point_3 cg(const SbVec3f& p) { return K::Point_3(p[0], p[1], p[2]); }
K::Triangle_3 cg(const SbVec3f t[3]) { return K::Triangle_3(cg(t[0]), cg(t[1]), cg(t[2])); }

struct Pair {
  SbVec3f a[3], b[3];
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
bool exact(const SbVec3f a[3], const SbVec3f b[3]) { return vx::tri::intersectExact(a, b); }

// A pair is robust when the exact answer does not change as the second
// triangle moves by `delta` along each axis or scales by 1 -+ delta about its
// centroid: then no rounding in a float test can flip it.
bool robustAnswer(const Pair& p, bool answer, float delta) {
  const SbVec3f c = (p.b[0] + p.b[1] + p.b[2]) / 3.0f;
  for (int k = 0; k < 8; ++k) {
    SbVec3f m(0, 0, 0);
    float s = 1.0f;
    if (k < 6)
      m[k / 2] = k % 2 ? -delta : delta;
    else
      s = k == 6 ? 1.0f - delta : 1.0f + delta;
    SbVec3f b[3];
    for (int j = 0; j < 3; ++j) b[j] = k < 6 ? p.b[j] + m : c + (p.b[j] - c) * s;
    if (cgalIntersects(p.a, b) != answer) return false;
  }
  return true;
}

// Agreement within float resolution of the inputs' scale.
void expectClose(double ours, double ref, const char* what, int i) {
  EXPECT_NEAR(ours, ref, 1e-6 + 1e-5 * ref) << what << " case " << i;
}

}  // namespace

// The inlined half-space and plane-line tests must classify exactly like
// Coin's plane, or the planes cached per triangle would change answers.
TEST(TriangleKernels, HalfSpaceAndPlaneLineMatchSbPlaneBitForBit) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-50.0f, 50.0f);
  auto rnd = [&] { return SbVec3f(u(rng), u(rng), u(rng)); };
  int onPlane = 0, parallel = 0;
  for (int i = 0; i < 200000; ++i) {
    const SbVec3f a = rnd(), b = rnd(), c = rnd();
    const SbPlane plane(a, b, c);
    // Vertices and edge midpoints sit on the plane up to rounding: the cases
    // where the exact arithmetic matters.
    const SbVec3f q = i % 3 == 0 ? a : i % 3 == 1 ? (a + c) * 0.5f : rnd();
    ASSERT_EQ(vx::tri::inHalfSpace(plane.getNormal(), plane.getDistanceFromOrigin(), q), bool(plane.isInHalfSpace(q)))
        << "point " << i;
    onPlane += plane.getDistance(q) == 0.0f;
    // Every other line runs (nearly) along the plane: the parallel rule.
    const SbVec3f from = rnd(), to = i % 2 ? rnd() : from + (b - a) + (c - a) * 1e-7f;
    SbVec3f coin, ours;
    const bool hitCoin = plane.intersect(SbLine(from, to), coin);
    ASSERT_EQ(vx::tri::planeLineIntersection(plane.getNormal(), plane.getDistanceFromOrigin(), from, to, ours), hitCoin)
        << "line " << i;
    if (hitCoin) {
      ASSERT_TRUE(ours == coin) << "line " << i;
    }
    parallel += !hitCoin;
  }
  EXPECT_GT(onPlane, 1000);  // the boundary cases were really exercised
  EXPECT_GT(parallel, 1000);
}

// Agreement with the exact predicate on seeded random pairs, by family:
// required on every robust pair, reported overall. The last two families are
// degenerate on purpose (shared corner, coplanar); there the float test has
// its own rules and only the robust pairs must agree.
TEST(TriangleKernelsExact, AgreesWithCgalOnRobustRandomPairs) {
  std::uniform_real_distribution<float> far(-3000.0f, 3000.0f), near(0.0f, 40.0f), unit(0.0f, 1.0f);
  struct Family {
    const char* name;
    std::function<Pair(std::mt19937&)> make;
    float delta;  // robustness probe, in the family's units
    bool mostlyRobust;
  };
  const Family families[] = {
      {"unit cube", randomPair, 1e-4f, true},
      {"far from the origin",
       [&](std::mt19937& r) {
         const SbVec3f o(far(r), far(r), far(r));
         Pair p;
         for (auto& x : p.a) x = o + SbVec3f(near(r), near(r), near(r));
         for (auto& x : p.b) x = o + SbVec3f(near(r), near(r), near(r));
         return p;
       },
       0.05f, true},
      {"sharing a corner",
       [](std::mt19937& r) {
         Pair p = randomPair(r);
         p.b[0] = p.a[0];
         return p;
       },
       1e-4f, false},
      {"coplanar",
       [&](std::mt19937& r) {
         Pair p;
         for (auto& x : p.a) x.setValue(unit(r), unit(r), 0.0f);
         for (auto& x : p.b) x.setValue(unit(r), unit(r), 0.0f);
         return p;
       },
       1e-4f, false},
  };
  std::mt19937 rng(12345);
  for (const Family& f : families) {
    const int n = 10000;
    int robust = 0, agree = 0;
    for (int i = 0; i < n; ++i) {
      const Pair p = f.make(rng);
      const bool ref = cgalIntersects(p.a, p.b), ours = exact(p.a, p.b);
      agree += ours == ref;
      if (robustAnswer(p, ref, f.delta)) {
        ++robust;
        EXPECT_EQ(ours, ref) << f.name << " pair " << i;
      }
    }
    std::printf("[ exact test ] %-20s agreement %7.3f %% of %d pairs (%d robust)\n", f.name, 100.0 * agree / n, n,
                robust);
    if (f.mostlyRobust) {
      EXPECT_GT(robust, n * 8 / 10);
    }
  }
}

// Coordinates are small integers or halves (or tiny offsets well clear of
// rounding), so each answer follows from the rules without doubt.
TEST(TriangleKernelsExact, HandBuiltCases) {
  struct HandCase {
    const char* name;
    SbVec3f b[3];  // against A: z = 0, normal +z
    bool ours;     // what the exact test answers
    bool exact;    // the geometric answer
  };
  const SbVec3f A[3] = {SbVec3f(0, 0, 0), SbVec3f(4, 0, 0), SbVec3f(0, 4, 0)};
  const HandCase cases[] = {
      {"crossing", {SbVec3f(1, 1, -1), SbVec3f(1, 1, 1), SbVec3f(3, 0.5f, 0.5f)}, true, true},
      {"crossing near an edge", {SbVec3f(3.5f, 0.25f, -1), SbVec3f(3.5f, 0.25f, 1), SbVec3f(5, 1, 0.5f)}, true, true},
      {"passing beside", {SbVec3f(3, 3, -1), SbVec3f(3, 3, 1), SbVec3f(5, 5, 0.5f)}, false, false},
      {"piercing the plane outside", {SbVec3f(-1, -1, -1), SbVec3f(-1, -1, 1), SbVec3f(-2, 1, 0.5f)}, false, false},
      // A vertex on the plane counts as on the normal's side: touching from
      // above leaves the triangle on one side; from below it straddles, and
      // the touching point lies inside the other triangle's crossing span.
      {"vertex touching from above", {SbVec3f(1, 1, 0), SbVec3f(2, 1, 2), SbVec3f(1, 2, 2)}, false, true},
      {"vertex touching from below", {SbVec3f(1, 1, 0), SbVec3f(1, 2, -2), SbVec3f(2, 1, -2)}, true, true},
      {"parallel planes", {SbVec3f(0, 0, 1), SbVec3f(4, 0, 1), SbVec3f(0, 4, 1)}, false, false},
      {"parallel, overlapping shadow", {SbVec3f(1, 1, 0.5f), SbVec3f(3, 1, 0.5f), SbVec3f(1, 3, 0.5f)}, false, false},
      // Coplanar, same winding: the lift decides.
      {"coplanar overlap", {SbVec3f(1, 1, 0), SbVec3f(3, 1, 0), SbVec3f(1, 3, 0)}, true, true},
      {"coplanar disjoint", {SbVec3f(5, 5, 0), SbVec3f(7, 5, 0), SbVec3f(5, 7, 0)}, false, false},
      // Opposite winding: the planes differ in sign, so the pair is not
      // treated as coplanar and every vertex sits on the boundary.
      {"coplanar, opposite winding", {SbVec3f(1, 1, 0), SbVec3f(1, 3, 0), SbVec3f(3, 1, 0)}, false, true},
      // Nearly coplanar (z = 1e-7 x): the coplanar branch needs bit-equal planes.
      {"nearly coplanar", {SbVec3f(1, 1, 1e-7f), SbVec3f(3, 1, 3e-7f), SbVec3f(1, 3, 1e-7f)}, false, false},
  };
  for (const HandCase& c : cases) {
    EXPECT_EQ(cgalIntersects(A, c.b), c.exact) << c.name << " (reference)";
    EXPECT_EQ(exact(A, c.b), c.ours) << c.name;
  }
}

TEST(TriangleKernelsDistance, TriangleDistanceMatchesCgalAndTheLeastEdgeTerm) {
  std::mt19937 rng(2024);
  int crossing = 0;
  double worst = 0;
  for (int i = 0; i < 20000; ++i) {
    Pair p = randomPair(rng);
    if (i % 2) {  // half the pairs pulled apart, so that distances are not all 0
      for (auto& v : p.b) v += SbVec3f(0.6f, 0.3f, 0.2f);
    }
    const double ref = std::sqrt(CGAL::to_double(CGAL::squared_distance(cg(p.a), cg(p.b))));
    const double ours = vx::tri::triangleDistance(p.a, p.b);
    crossing += ref == 0.0;
    worst = std::max(worst, std::fabs(ours - ref));
    expectClose(ours, ref, "triangle-triangle", i);
  }
  std::printf("[ distance ] worst absolute deviation from the exact distance: %.3g\n", worst);
  EXPECT_GT(crossing, 1000);
  // The triangle distance shares work between its six edge-triangle terms;
  // it must still equal their minimum and the exact distance at any length
  // unit (the parallel rules are relative).
  for (float scale : {1.0f, 0.01f, 100.0f}) {
    for (int i = 0; i < 5000; ++i) {
      Pair p = randomPair(rng);
      for (auto& v : p.a) v *= scale;
      for (auto& v : p.b) v = v * scale + SbVec3f(0.3f, 0.2f, 0.1f) * scale * float(i % 2);
      double least = FLT_MAX;
      for (int k = 0; k < 3; ++k) {
        least = std::min(least, vx::tri::segmentTriangleDistanceSq(p.b[k], p.b[(k + 1) % 3], p.a));
        least = std::min(least, vx::tri::segmentTriangleDistanceSq(p.a[k], p.a[(k + 1) % 3], p.b));
      }
      const double d = vx::tri::triangleDistance(p.a, p.b);
      EXPECT_NEAR(d, std::sqrt(least), 1e-6 * scale) << "scale " << scale << " case " << i;
      const double ref = std::sqrt(CGAL::to_double(CGAL::squared_distance(cg(p.a), cg(p.b))));
      EXPECT_NEAR(d, ref, 1e-5 * scale) << "exact, scale " << scale << " case " << i;
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
    const float eps = 0.05f * float(1 + i % 4);
    const float d = vx::tri::triangleDistance(p.a, p.b);
    if (vx::tri::separatedBeyond(p.a, p.b, eps)) {
      ++rejected;
      EXPECT_GT(d, eps) << "case " << i;
    }
    float within = -1.0f;
    EXPECT_EQ(vx::tri::distanceWithin(p.a, p.b, eps, within), d <= eps) << "case " << i;
    if (d <= eps) {
      EXPECT_EQ(within, d);
    }
  }
  EXPECT_GT(rejected, 2000);  // the prefilter does some work
}

TEST(TriangleKernelsDistance, PointSegmentAndSegmentTriangleMatchCgal) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<float> u(-1.0f, 2.0f);
  for (int i = 0; i < 20000; ++i) {
    const Pair p = randomPair(rng);
    const SbVec3f q(u(rng), u(rng), u(rng));
    expectClose(vx::tri::pointTriangleDistanceSq(q, p.a), CGAL::to_double(CGAL::squared_distance(cg(q), cg(p.a))),
                "point-triangle", i);
    const K::Segment_3 s(cg(p.b[0]), cg(p.b[1])), e(cg(p.a[0]), cg(p.a[1]));
    expectClose(vx::tri::segmentSegmentDistanceSq(p.b[0], p.b[1], p.a[0], p.a[1]),
                CGAL::to_double(CGAL::squared_distance(s, e)), "segment-segment", i);
    // Reference: 0 when the segment meets the triangle, else the least of the
    // end point and edge distances (exact arithmetic).
    const K::Triangle_3 t = cg(p.a);
    double refST = 0.0;
    if (!CGAL::do_intersect(s, t)) {
      refST = std::min(CGAL::to_double(CGAL::squared_distance(s.source(), t)),
                       CGAL::to_double(CGAL::squared_distance(s.target(), t)));
      for (int k = 0; k < 3; ++k)
        refST =
            std::min(refST, CGAL::to_double(CGAL::squared_distance(s, K::Segment_3(cg(p.a[k]), cg(p.a[(k + 1) % 3])))));
    }
    expectClose(vx::tri::segmentTriangleDistanceSq(p.b[0], p.b[1], p.a), refST, "segment-triangle", i);
  }
}

TEST(TriangleKernelsDistance, HandBuiltAndDegenerateCases) {
  const SbVec3f a[3] = {SbVec3f(0, 0, 0), SbVec3f(4, 0, 0), SbVec3f(0, 4, 0)};
  struct Case {
    const char* name;
    SbVec3f b[3];
    float distance;
  };
  const Case cases[] = {
      {"parallel, overlapping shadow", {SbVec3f(1, 1, 1), SbVec3f(3, 1, 1), SbVec3f(1, 3, 1)}, 1.0f},
      {"edge over edge at right angles",
       {SbVec3f(2, -1, 0.5f), SbVec3f(2, -3, 0.5f), SbVec3f(2, -1, 3)},
       std::sqrt(1.25f)},
      {"vertex above the interior", {SbVec3f(1, 1, 0.25f), SbVec3f(1, 1, 3), SbVec3f(2, 1, 3)}, 0.25f},
      {"crossing", {SbVec3f(1, 1, -1), SbVec3f(1, 1, 1), SbVec3f(3, 0.5f, 0.5f)}, 0.0f},
      {"coplanar apart", {SbVec3f(5, 0, 0), SbVec3f(7, 0, 0), SbVec3f(5, 2, 0)}, 1.0f},
      {"zero area", {SbVec3f(0, 0, 2), SbVec3f(1, 1, 2), SbVec3f(2, 2, 2)}, 2.0f},
      {"one point", {SbVec3f(1, 1, 3), SbVec3f(1, 1, 3), SbVec3f(1, 1, 3)}, 3.0f},
  };
  for (const Case& c : cases) {  // both argument orders
    EXPECT_FLOAT_EQ(vx::tri::triangleDistance(a, c.b), c.distance) << c.name;
    EXPECT_FLOAT_EQ(vx::tri::triangleDistance(c.b, a), c.distance) << c.name;
  }
  const SbVec3f dot(1, 1, 3);
  EXPECT_FLOAT_EQ(float(vx::tri::segmentSegmentDistanceSq(dot, dot, a[0], a[1])), 1.0f + 9.0f);
  EXPECT_DOUBLE_EQ(vx::tri::pointTriangleDistanceSq(SbVec3f(1, 1, 0), cases[5].b), 4.0);
}
