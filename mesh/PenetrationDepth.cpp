#include "mesh/PenetrationDepth.h"

#include <algorithm>
#include <vector>

namespace vx::mesh {

// Closest point by the triangle's Voronoi regions (corner, edge, face).
double PointTriangleDistance(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 ab = b - a, ac = c - a, ap = p - a;
  const double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return Norm(p - a);
  const Vec3 bp = p - b;
  const double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return Norm(p - b);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return Norm(p - (a + ab * (d1 / (d1 - d3))));
  const Vec3 cp = p - c;
  const double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return Norm(p - c);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return Norm(p - (a + ac * (d2 / (d2 - d6))));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
    return Norm(p - (b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)))));
  const double sum = va + vb + vc;
  if (!(sum != 0)) return Norm(p - a);
  return Norm(p - (a + ab * (vb / sum) + ac * (vc / sum)));
}

double PenetrationDepthLowerBound(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                                  std::size_t samples) {
  std::vector<std::size_t> valid;
  std::vector<double> area;
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    bool ok = true;
    for (int k = 0; k < 3 && ok; ++k) ok = c[k] >= 0 && static_cast<std::size_t>(c[k]) < nPoints;
    if (!ok) continue;
    valid.push_back(t);
    area.push_back(Norm(Cross(points[c[1]] - points[c[0]], points[c[2]] - points[c[0]])));
  }
  std::vector<std::size_t> order(valid.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  const std::size_t n = std::min(samples, order.size());
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n), order.end(),
                    [&](std::size_t x, std::size_t y) { return area[x] > area[y]; });
  auto corner = [&](std::size_t t, int k) -> const Vec3& { return points[tris[3 * t + static_cast<std::size_t>(k)]]; };
  double best = 0;
  for (std::size_t s = 0; s < n; ++s) {
    const std::size_t t = valid[order[s]];
    if (!(area[order[s]] > 0)) break;
    const Vec3 o = (corner(t, 0) + corner(t, 1) + corner(t, 2)) * (1.0 / 3.0);
    const Vec3 dir = Cross(corner(t, 1) - corner(t, 0), corner(t, 2) - corner(t, 0)) * (-1.0 / area[order[s]]);
    // First hit along the inward normal (Moller-Trumbore), other triangles only.
    double hit = 1e300;
    for (std::size_t u : valid) {
      if (u == t) continue;
      const Vec3 e1 = corner(u, 1) - corner(u, 0), e2 = corner(u, 2) - corner(u, 0);
      const Vec3 pv = Cross(dir, e2);
      const double det = Dot(e1, pv);
      if (det == 0) continue;
      const Vec3 tv = o - corner(u, 0);
      const double bu = Dot(tv, pv) / det;
      if (bu < 0 || bu > 1) continue;
      const Vec3 qv = Cross(tv, e1);
      const double bv = Dot(dir, qv) / det;
      if (bv < 0 || bu + bv > 1) continue;
      const double d = Dot(e2, qv) / det;
      if (d > 0) hit = std::min(hit, d);
    }
    if (!(hit < 1e300)) continue;
    const Vec3 mid = o + dir * (hit * 0.5);
    double r = hit * 0.5;
    for (std::size_t u : valid) r = std::min(r, PointTriangleDistance(mid, corner(u, 0), corner(u, 1), corner(u, 2)));
    best = std::max(best, r);
  }
  return 2 * best;
}

}  // namespace vx::mesh
