#include "mesh/SolidCheck.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace vxmesh {

double SignedVolume(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                    const Vec3& origin) {
  double vol = 0;
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    if (c[0] < 0 || c[1] < 0 || c[2] < 0 || static_cast<std::size_t>(c[0]) >= nPoints ||
        static_cast<std::size_t>(c[1]) >= nPoints || static_cast<std::size_t>(c[2]) >= nPoints)
      continue;
    const Vec3 p = points[c[0]] - origin, q = points[c[1]] - origin, r = points[c[2]] - origin;
    vol += Dot(p, Cross(q, r)) / 6.0;
  }
  return vol;
}

SolidCheck CheckSolid(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris) {
  SolidCheck out;
  // Directed edges as (min, max, +1 / -1), sorted: each undirected edge must sum to 0.
  std::vector<std::pair<std::pair<int32_t, int32_t>, int>> edges;
  edges.reserve(3 * nTris);
  bool badIndex = false;
  Vec3 lo{0, 0, 0}, hi{0, 0, 0};
  for (std::size_t i = 0; i < nPoints; ++i) {
    const Vec3& p = points[i];
    if (i == 0) lo = hi = p;
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    bool ok = true;
    for (int k = 0; k < 3; ++k) ok = ok && c[k] >= 0 && static_cast<std::size_t>(c[k]) < nPoints;
    if (!ok) {
      badIndex = true;
      continue;
    }
    if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) continue;
    for (int k = 0; k < 3; ++k) {
      const int32_t a = c[k], b = c[(k + 1) % 3];
      edges.push_back(a < b ? std::make_pair(std::make_pair(a, b), 1) : std::make_pair(std::make_pair(b, a), -1));
    }
  }
  std::sort(edges.begin(), edges.end());
  for (std::size_t i = 0; i < edges.size();) {
    std::size_t j = i;
    int sum = 0;
    while (j < edges.size() && edges[j].first == edges[i].first) sum += edges[j++].second;
    out.unmatchedEdges += static_cast<std::size_t>(std::abs(sum));
    i = j;
  }
  out.closed = !badIndex && out.unmatchedEdges == 0 && !edges.empty();
  if (out.closed) out.volume = SignedVolume(points, nPoints, tris, nTris, (lo + hi) * 0.5);
  return out;
}

}  // namespace vxmesh
