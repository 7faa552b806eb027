// CTriangleMesh: input points first and in order, every segment made of
// triangle edges, triangles tiling the convex hull (here: the input triangle)
// exactly, and consistent output on bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "host/CTriangleMesh.h"

namespace {

_vtx P(double x, double y, double z = 0) { return {x, y, z}; }

struct Result {
  int status = -1;
  std::vector<_tri> tris;
  std::vector<_vtx> pts;
};

Result run(const std::vector<_vtx>& pts, const std::vector<int>& segs, const std::string& sw = "pzAevnQ") {
  CTriangleMesh m(sw, pts, segs);
  Result r;
  r.status = m.DoTriangulate();
  std::vector<int> a = {1}, b = {2};
  m.GetData(a, b, r.tris, r.pts);
  EXPECT_TRUE(a.empty() && b.empty());
  return r;
}

using Edge = std::pair<int, int>;
Edge edge(int a, int b) { return a < b ? Edge(a, b) : Edge(b, a); }

double signedArea(const Result& r, const _tri& t) {
  const _vtx &a = r.pts[t.a], &b = r.pts[t.b], &c = r.pts[t.c];
  return 0.5 * ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x));
}

// Whole-result invariants: inputs first and unchanged, indices valid,
// triangles counter-clockwise and non-degenerate, their areas adding up to
// `hullArea`, no edge shared by more than two triangles, every
// segment a chain of edges through the output points lying on it.
void checkInvariants(const std::vector<_vtx>& in, const std::vector<int>& segs, const Result& r, double hullArea) {
  ASSERT_GE(r.pts.size(), in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(r.pts[i].x, in[i].x);
    EXPECT_EQ(r.pts[i].y, in[i].y);
    EXPECT_EQ(r.pts[i].z, 0.0);
  }
  double area = 0;
  std::multiset<Edge> edges;
  for (const _tri& t : r.tris) {
    for (int c : {t.a, t.b, t.c}) ASSERT_TRUE(c >= 0 && c < static_cast<int>(r.pts.size()));
    const double a = signedArea(r, t);
    EXPECT_GT(a, 0);
    area += a;
    edges.insert({edge(t.a, t.b), edge(t.b, t.c), edge(t.c, t.a)});
  }
  EXPECT_NEAR(area, hullArea, 1e-12);
  std::set<int> used;
  for (const _tri& t : r.tris) used.insert({t.a, t.b, t.c});
  for (const auto& e : edges) EXPECT_LE(edges.count(e), 2u);
  for (std::size_t k = 0; k + 1 < segs.size(); k += 2) {
    const _vtx &a = r.pts[segs[k]], &b = r.pts[segs[k + 1]];
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    std::vector<std::pair<double, int>> on;  // used output points on the segment, by position
    for (std::size_t i = 0; i < r.pts.size(); ++i) {
      if (!used.count(static_cast<int>(i))) continue;
      const _vtx& p = r.pts[i];
      const double along = ((p.x - a.x) * (b.x - a.x) + (p.y - a.y) * (b.y - a.y)) / (len * len);
      const double off = std::fabs((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / len;
      if (off < 1e-12 && along > -1e-12 && along < 1 + 1e-12) on.emplace_back(along, static_cast<int>(i));
    }
    std::sort(on.begin(), on.end());
    for (std::size_t i = 0; i + 1 < on.size(); ++i)
      EXPECT_GT(edges.count(edge(on[i].second, on[i + 1].second)), 0u)
          << "segment " << segs[k] << "-" << segs[k + 1] << " not covered between " << on[i].second << " and " << on[i + 1].second;
  }
}

// Seeded random inputs in the unit parameter triangle: polylines with points
// on a circle (pieces never cross, nothing is added), then many segments
// crossing each other (every crossing becomes a point after the inputs).
TEST(TriangleMesh, RandomPolylinesAndCrossingSegments) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<double> u(0, 1);
  for (int k = 0; k < 250; ++k) {
    const bool crossing = k >= 200;
    std::vector<_vtx> pts = {P(0, 0), P(0, 1), P(1, 0)};
    std::vector<int> segs = {0, 1, 0, 2, 1, 2};
    const double rad = 0.15 * u(rng) + 0.02;
    double ang = 6.283185307179586 * u(rng);
    for (int i = 0, n = crossing ? 24 : 2 + k % 9; i < n; ++i) {
      double s = u(rng), t = u(rng);
      if (s + t > 1) {
        s = 1 - s;
        t = 1 - t;
      }
      pts.push_back(crossing ? P(s, t) : P(0.3 + rad * std::cos(ang), 0.3 + rad * std::sin(ang)));
      ang += 0.6 * u(rng) + 0.05;
      if (crossing ? i % 2 == 1 : i > 0) segs.insert(segs.end(), {int(pts.size()) - 2, int(pts.size()) - 1});
    }
    const Result r = run(pts, segs);
    EXPECT_EQ(r.status, 0);
    checkInvariants(pts, segs, r, 0.5);
    if (crossing) {
      EXPECT_GT(r.pts.size(), pts.size());
    } else {
      EXPECT_EQ(r.pts.size(), pts.size());
      EXPECT_EQ(r.tris.size(), 2 * pts.size() - 3 - 2);  // 3 hull points
    }
    if (HasFailure()) return;
  }
}

TEST(TriangleMesh, BadInputAndIgnoredSwitches) {
  {  // Duplicate point: reported; the later copy is used by no triangle.
    const std::vector<_vtx> pts = {P(0, 0), P(0, 1), P(1, 0), P(0.2, 0.2), P(0.2, 0.2)};
    const Result r = run(pts, {3, 1, 4, 2});
    EXPECT_TRUE(r.status & CTriangleMesh::kBadPoint);
    ASSERT_EQ(r.pts.size(), pts.size());
    for (const _tri& t : r.tris) EXPECT_TRUE(t.a != 4 && t.b != 4 && t.c != 4);
    checkInvariants(pts, {3, 1}, r, 0.5);
  }
  {  // Non-finite point, bad segment indices, odd list: skipped and reported.
    const std::vector<_vtx> pts = {P(0, 0), P(0, 1), P(1, 0), P(NAN, 0.2)};
    const Result r = run(pts, {0, 1, 0, 3, 2, 9, -1, 0, 1, 1, 2});
    EXPECT_EQ(r.status, CTriangleMesh::kBadPoint | CTriangleMesh::kBadSegment);
    ASSERT_EQ(r.pts.size(), pts.size());
    EXPECT_EQ(r.tris.size(), 1u);
  }
  {  // All on one line: no triangles.
    const Result r = run({P(0, 0), P(1, 1), P(2, 2)}, {0, 2});
    EXPECT_TRUE(r.status & CTriangleMesh::kNoArea);
    EXPECT_TRUE(r.tris.empty());
    EXPECT_EQ(r.pts.size(), 3u);
  }
  {  // Nothing at all.
    const Result r = run({}, {});
    EXPECT_TRUE(r.status & CTriangleMesh::kNoArea);
    EXPECT_TRUE(r.tris.empty() && r.pts.empty());
  }
  // Switches are ignored; output lies in z = 0.
  const std::vector<_vtx> pts = {P(0, 0, 5), P(0, 1, 5), P(1, 0, 5), P(0.2, 0.3, 5)};
  const Result a = run(pts, {0, 3}), b = run(pts, {0, 3}, "q30a0.01");
  ASSERT_EQ(a.tris.size(), b.tris.size());
  for (std::size_t i = 0; i < a.tris.size(); ++i) EXPECT_EQ(a.tris[i], b.tris[i]);
  EXPECT_EQ(a.pts[3].z, 0.0);
}

}  // namespace
