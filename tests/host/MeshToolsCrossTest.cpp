// MeshTools::GetTowTrisCrossLine: hand-derived cases and seeded random pairs
// checked against CGAL's exact triangle-triangle intersection.
#include <gtest/gtest.h>

#include <CGAL/Exact_predicates_exact_constructions_kernel.h>
#include <CGAL/intersections.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "host/MeshTools.h"
#include "support/MeshTestUtil.h"

namespace {

using namespace meshtest;
using EK = CGAL::Exact_predicates_exact_constructions_kernel;

EK::Point_3 EP(const _vtx& v) { return EK::Point_3(v.x, v.y, v.z); }

struct Hit {
  std::vector<_vtx> pts;
  bool coplanar = false;
};

Hit cross(const _vtx (&a)[3], const _vtx (&b)[3]) {
  Hit c;
  c.coplanar = true;            // must be reset by the call
  c.pts.push_back(V(9, 9, 9));  // must be cleared by the call
  MeshTools::GetTowTrisCrossLine(a, b, c.pts, c.coplanar);
  return c;
}

// Same point sets within tol (each point of one matched in the other).
::testing::AssertionResult sameSet(const std::vector<_vtx>& got, const std::vector<_vtx>& want, double tol) {
  auto covered = [tol](const std::vector<_vtx>& x, const std::vector<_vtx>& y) {
    return std::all_of(x.begin(), x.end(), [&](const _vtx& p) {
      return std::any_of(y.begin(), y.end(), [&](const _vtx& q) { return Dist(p, q) <= tol; });
    });
  };
  if (got.size() == want.size() && covered(got, want) && covered(want, got)) return ::testing::AssertionSuccess();
  auto r = ::testing::AssertionFailure() << "got";
  for (const _vtx& p : got) r << " (" << p.x << "," << p.y << "," << p.z << ")";
  r << " want";
  for (const _vtx& p : want) r << " (" << p.x << "," << p.y << "," << p.z << ")";
  return r;
}

// The result (as a set) must not depend on the argument order or the windings.
void expectCross(const _vtx (&a)[3], const _vtx (&b)[3], bool coplanar, const std::vector<_vtx>& want) {
  const _vtx ar[3] = {a[0], a[2], a[1]};
  const _vtx br[3] = {b[2], b[1], b[0]};
  const Hit c1 = cross(a, b), c2 = cross(b, a), c3 = cross(ar, br);
  for (const Hit* c : {&c1, &c2, &c3}) {
    EXPECT_EQ(c->coplanar, coplanar);
    EXPECT_TRUE(sameSet(c->pts, want, 1e-12));
  }
}

struct Case {
  const char* what;
  _vtx b[3];
  bool coplanar;
  std::vector<_vtx> want;
};

// Against A = (0,0,0) (2,0,0) (0,2,0) in z = 0.
TEST(TriTriCross, HandBuiltCases) {
  const _vtx A[3] = {V(0, 0, 0), V(2, 0, 0), V(0, 2, 0)};
  const Case cases[] = {
      // Configurations the seeded CGAL families below do not produce.
      {"corner touches A's interior", {V(0.5, 0.5, 0), V(1, 0.5, 1), V(0.5, 1, 1)}, false, {V(0.5, 0.5, 0)}},
      {"B's edge lies on A", {V(0.2, 0.2, 0), V(0.8, 0.2, 0), V(0.5, 0.5, 1)}, false, {V(0.2, 0.2, 0), V(0.8, 0.2, 0)}},
      {"coplanar, shared edge only", {V(2, 0, 0), V(0, 2, 0), V(2, 2, 0)}, true, {V(2, 0, 0), V(0, 2, 0)}},
      {"collinear B pierces A", {V(0.5, 0.5, -1), V(0.5, 0.5, 1), V(0.5, 0.5, 0.5)}, false, {V(0.5, 0.5, 0)}},
      {"collinear B across A in its plane",
       {V(-1, 0.5, 0), V(3, 0.5, 0), V(1, 0.5, 0)},
       true,
       {V(0, 0.5, 0), V(1.5, 0.5, 0)}},
      {"NaN corner", {V(NAN, 0, 0), V(1, 1, 1), V(0, 1, -1)}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    expectCross(A, c.b, c.coplanar, c.want);
  }
  // Tilt 1e-9 across the scale 3 is within the tolerance (coplanar); 1e-4 is a real crossing.
  const _vtx flat[3] = {V(0.2, 0.2, 1e-9), V(3, 0.2, -1e-9), V(0.2, 3, 0)};
  const Hit c1 = cross(A, flat);
  EXPECT_TRUE(c1.coplanar);
  EXPECT_GE(c1.pts.size(), 3u);
  const _vtx tilted[3] = {V(0.2, 0.2, 1e-4), V(3, 0.2, -1e-4), V(0.2, 3, 1e-4)};
  const Hit c2 = cross(A, tilted);
  EXPECT_FALSE(c2.coplanar);
  EXPECT_EQ(c2.pts.size(), 2u);

  // Star of two triangles in z = 1: a hexagon, listed in order around it
  // (counter-clockwise about S's normal +z), area 12.
  const _vtx S[3] = {V(0, 0, 1), V(6, 0, 1), V(3, 6, 1)};
  const _vtx T[3] = {V(0, 4, 1), V(6, 4, 1), V(3, -2, 1)};
  expectCross(S, T, true, {V(2, 0, 1), V(4, 0, 1), V(5, 2, 1), V(4, 4, 1), V(2, 4, 1), V(1, 2, 1)});
  const Hit h = cross(S, T);
  ASSERT_EQ(h.pts.size(), 6u);
  double area = 0;
  for (std::size_t i = 0; i < 6; ++i) area += h.pts[i].x * h.pts[(i + 1) % 6].y - h.pts[(i + 1) % 6].x * h.pts[i].y;
  EXPECT_NEAR(area / 2, 12.0, 1e-12);
}

// Faces touching face to face after a rotation are coplanar only up to float
// rounding of the world coordinates: still coplanar, no sliver cut line.
TEST(TriTriCross, FloatRoundedContactIsCoplanar) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  int coplanarCount = 0;
  for (int k = 0; k < 200; ++k) {
    // Orthonormal frame of a random plane through a random far point.
    const _vtx n = V(u(rng), u(rng), u(rng)), e0 = V(n.y, -n.x, 0);
    const _vtx e = (1 / Norm(e0)) * e0, f = (1 / Norm(Cross(n, e))) * Cross(n, e);
    const _vtx o = 100 * V(u(rng), u(rng), u(rng));
    auto onPlane = [&](double s, double t) {
      const _vtx p = o + s * e + t * f;
      return V(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
    };
    const _vtx A[3] = {onPlane(0, 0), onPlane(4, 0), onPlane(0, 4)};
    const _vtx B[3] = {onPlane(1, 1), onPlane(5, 1), onPlane(1, -3)};
    const Hit c = cross(A, B);
    coplanarCount += c.coplanar && c.pts.size() >= 3;
  }
  EXPECT_EQ(coplanarCount, 200);
}

// Two triangles sharing an edge, crossed by a third through that edge, give
// the same crossing point bit for bit (edge direction and argument order
// aside), so the cut line joins up without welding.
TEST(TriTriCross, SharedEdgeCrossingPointIsBitIdentical) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1, 1);
  int checked = 0;
  for (int k = 0; k < 2000; ++k) {
    const _vtx p = V(u(rng), u(rng), -1 + 0.5 * u(rng)), q = V(u(rng), u(rng), 1 + 0.5 * u(rng));
    const _vtx A1[3] = {p, q, V(u(rng) + 2, u(rng), u(rng))};
    const _vtx A2[3] = {q, p, V(u(rng) - 2, u(rng), u(rng))};
    const _vtx B[3] = {V(-5 + u(rng), -5 + u(rng), 0.1 * u(rng)), V(5 + u(rng), -5 + u(rng), 0.1 * u(rng)),
                       V(u(rng), 5 + u(rng), 0.1 * u(rng))};
    auto check = [&](const Hit& c1, const Hit& c2) {
      for (const _vtx& x : c1.pts) {
        // Only the point of c1 on the shared edge p-q.
        if (Dist(p + (Dot(x - p, q - p) / Dot(q - p, q - p)) * (q - p), x) > 1e-12) continue;
        bool same = false;
        for (const _vtx& y : c2.pts) same = same || (x.x == y.x && x.y == y.y && x.z == y.z);
        EXPECT_TRUE(same) << "case " << k;
        ++checked;
      }
    };
    check(cross(A1, B), cross(A2, B));  // the shared edge on the first triangle
    check(cross(B, A1), cross(B, A2));  // and on the second
  }
  EXPECT_GT(checked, 3500);
}

// Awkward inputs (slivers, near-coplanar, far from the origin, tiny), which
// the exact comparison skips: every point lies on both triangles within a few tau.
TEST(TriTriCross, ResultPointsLieOnBothTriangles) {
  const int count = 3000;
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> u(-1, 1), e(-12, -3);
  auto distTo = [](const _vtx(&t)[3], const _vtx& p) {
    return std::sqrt(CGAL::to_double(CGAL::squared_distance(EP(p), EK::Triangle_3(EP(t[0]), EP(t[1]), EP(t[2])))));
  };
  int nonEmpty = 0;
  for (int k = 0; k < count; ++k) {
    const double scale = k % 3 == 0 ? 1e-4 : 1.0;
    const double shift = k % 3 == 1 ? 1e4 : 0.0;
    auto R = [&]() { return V(shift, shift, shift) + scale * V(u(rng), u(rng), u(rng)); };
    _vtx a[3] = {R(), R(), R()}, b[3] = {R(), R(), R()};
    const double h = std::pow(10.0, e(rng)) * scale;
    switch (k % 4) {
      case 0:  // a is a sliver
        a[2] = 0.5 * (a[0] + a[1]) + h * V(u(rng), u(rng), 0);
        break;
      case 1:  // b lies in a's plane up to h
        for (_vtx& p : b) {
          const double s = u(rng), t = u(rng);
          p = a[0] + s * (a[1] - a[0]) + t * (a[2] - a[0]) + h * V(u(rng), u(rng), u(rng));
        }
        break;
      case 2:  // b shares a corner of a, moved by h
        b[0] = a[1] + h * V(u(rng), u(rng), u(rng));
        break;
      default:
        break;
    }
    double S = 0;  // largest coordinate, at least the longest edge
    for (const auto* t : {&a, &b})
      for (int i = 0; i < 3; ++i)
        S = std::max(
            {S, std::fabs((*t)[i].x), std::fabs((*t)[i].y), std::fabs((*t)[i].z), Dist((*t)[i], (*t)[(i + 1) % 3])});
    const double tau = 4 * 1.1920928955078125e-07 * S;
    const Hit c = cross(a, b);
    nonEmpty += !c.pts.empty();
    if (!c.coplanar) {
      EXPECT_LE(c.pts.size(), 2u);
    }
    for (const _vtx& p : c.pts) {
      ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
      EXPECT_LE(distTo(a, p), 4 * tau) << "case " << k;
      EXPECT_LE(distTo(b, p), 4 * tau) << "case " << k;
    }
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(nonEmpty, count / 5);
}

std::vector<_vtx> exactCross(const _vtx (&a)[3], const _vtx (&b)[3]) {
  const EK::Triangle_3 ta(EP(a[0]), EP(a[1]), EP(a[2])), tb(EP(b[0]), EP(b[1]), EP(b[2]));
  std::vector<EK::Point_3> ep;
  const auto res = CGAL::intersection(ta, tb);
  if (res) {
    if (const auto* p = boost::get<EK::Point_3>(&*res)) ep.push_back(*p);
    if (const auto* s = boost::get<EK::Segment_3>(&*res)) ep = {s->source(), s->target()};
    if (const auto* t = boost::get<EK::Triangle_3>(&*res)) ep = {t->vertex(0), t->vertex(1), t->vertex(2)};
    if (const auto* v = boost::get<std::vector<EK::Point_3>>(&*res)) ep = *v;
  }
  // Drop repeated points and polygon corners lying between their neighbours.
  std::vector<EK::Point_3> uniq;
  for (const auto& p : ep)
    if (std::find(uniq.begin(), uniq.end(), p) == uniq.end()) uniq.push_back(p);
  for (std::size_t i = 0; uniq.size() > 3 && i < uniq.size();) {
    const std::size_t n = uniq.size();
    if (!CGAL::collinear(uniq[(i + n - 1) % n], uniq[i], uniq[(i + 1) % n])) {
      ++i;
    } else {
      uniq.erase(uniq.begin() + static_cast<std::ptrdiff_t>(i));
      i = 0;
    }
  }
  std::vector<_vtx> out;
  for (const auto& p : uniq) out.push_back(V(CGAL::to_double(p.x()), CGAL::to_double(p.y()), CGAL::to_double(p.z())));
  return out;
}

// Smallest corner-to-other-plane distance and smallest gap between result
// points: within the tolerance band the answers may legitimately differ.
double nearDegeneracy(const _vtx (&a)[3], const _vtx (&b)[3], const std::vector<_vtx>& pts) {
  auto planeDist = [](const _vtx(&t)[3], const _vtx& p) {
    if (CGAL::coplanar(EP(t[0]), EP(t[1]), EP(t[2]), EP(p))) return 1e300;  // exact contacts are checked exactly
    const _vtx n = Cross(t[1] - t[0], t[2] - t[0]);
    return std::fabs(Dot(n, p - t[0])) / Norm(n);
  };
  double m = 1e300;
  for (int i = 0; i < 3; ++i) m = std::min({m, planeDist(b, a[i]), planeDist(a, b[i])});
  for (std::size_t i = 0; i < pts.size(); ++i)
    for (std::size_t j = i + 1; j < pts.size(); ++j) m = std::min(m, Dist(pts[i], pts[j]));
  return m;
}

enum class Kind { General, SharedCorner, SharedEdge, CoplanarTilted, CoplanarAxis };

void randomAgainstExact(Kind kind, unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::uniform_int_distribution<int> grid(-64, 64);
  auto rnd = [&]() { return V(u(rng), u(rng), u(rng)); };
  // Dyadic points on x + 2y + 4z = 1: exactly coplanar in doubles, not axis-aligned.
  auto onTilted = [&]() {
    const double x = grid(rng) / 64.0, y = grid(rng) / 64.0;
    return V(x, y, (1 - x - 2 * y) / 4);
  };
  int compared = 0, nonEmpty = 0;
  for (int k = 0; k < count; ++k) {
    _vtx a[3], b[3];
    switch (kind) {
      case Kind::General:
        for (auto& p : a) p = rnd();
        for (auto& p : b) p = rnd();
        break;
      case Kind::SharedCorner:
        for (auto& p : a) p = rnd();
        b[0] = a[k % 3];
        b[1] = rnd();
        b[2] = rnd();
        break;
      case Kind::SharedEdge:
        for (auto& p : a) p = rnd();
        b[0] = a[(k + 1) % 3];
        b[1] = a[k % 3];
        b[2] = rnd();
        if (k % 4 == 0) b[2] = V(a[(k + 2) % 3].x * -1, a[(k + 2) % 3].y, a[(k + 2) % 3].z);
        break;
      case Kind::CoplanarTilted:
        for (auto& p : a) p = onTilted();
        for (auto& p : b) p = onTilted();
        if (k % 5 == 0) b[0] = a[k % 3];  // shared corner
        break;
      case Kind::CoplanarAxis:
        for (auto& p : a) p = V(u(rng), u(rng), 0.25);
        for (auto& p : b) p = V(u(rng), u(rng), 0.25);
        if (k % 5 == 0) {  // shared edge
          b[0] = a[1];
          b[1] = a[2];
        }
        break;
    }
    if (CGAL::collinear(EP(a[0]), EP(a[1]), EP(a[2])) || CGAL::collinear(EP(b[0]), EP(b[1]), EP(b[2]))) continue;
    const Hit got = cross(a, b);
    const std::vector<_vtx> want = exactCross(a, b);
    if (nearDegeneracy(a, b, want) < 1e-5) continue;  // inside or near the tolerance band
    ++compared;
    nonEmpty += !want.empty();
    EXPECT_TRUE(sameSet(got.pts, want, 1e-9)) << "case " << k;
    bool coplanar = true;
    for (const _vtx& p : b) coplanar = coplanar && CGAL::coplanar(EP(a[0]), EP(a[1]), EP(a[2]), EP(p));
    EXPECT_EQ(got.coplanar, coplanar) << "case " << k;
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(compared, count * 8 / 10);
  EXPECT_GT(nonEmpty, count / 10);
}

TEST(TriTriCrossExact, RandomFamiliesAgreeWithCGAL) {
  const std::pair<Kind, int> families[] = {{Kind::General, 4000},
                                           {Kind::SharedCorner, 2000},
                                           {Kind::SharedEdge, 2000},
                                           {Kind::CoplanarTilted, 2000},
                                           {Kind::CoplanarAxis, 2000}};
  for (const auto& [kind, count] : families) {
    SCOPED_TRACE(static_cast<int>(kind));
    randomAgainstExact(kind, 1 + static_cast<unsigned>(kind), count);
  }
}

}  // namespace
