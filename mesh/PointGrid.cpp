#include "mesh/PointGrid.h"

#include "mesh/VertexStar.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace vx::mesh {

void WeldTriangles(const std::vector<Vec3>& corners, double tol, std::vector<Vec3>& points, std::vector<int>& tris) {
  PointGrid grid(tol);
  tris.clear();
  for (std::size_t i = 0; i + 2 < corners.size(); i += 3) {
    const int a = grid.insert(corners[i]), b = grid.insert(corners[i + 1]), c = grid.insert(corners[i + 2]);
    if (a == b || b == c || a == c) continue;
    tris.insert(tris.end(), {a, b, c});
  }
  points = grid.points();
}

void CloseTJunctions(const std::vector<Vec3>& points, std::vector<int>& tris, double tol, std::size_t maxOpenEdges) {
  for (int round = 0; round < 4; ++round) {
    const std::size_t nt = tris.size() / 3;
    const int32_t* t32 = reinterpret_cast<const int32_t*>(tris.data());
    const VertexStar star(t32, nt, points.size());
    struct Open {
      int tri, k;  // edge k of triangle tri: corner k to corner k + 1
    };
    std::vector<Open> open;
    for (std::size_t t = 0; t < nt; ++t) {
      if (!star.valid(t)) continue;
      for (int k = 0; k < 3; ++k) {
        if (star.uses(t32[3 * t + (k + 1) % 3], t32[3 * t + k]) == 0) open.push_back({static_cast<int>(t), k});
      }
    }
    if (open.empty() || open.size() > maxOpenEdges) return;
    std::vector<int> candidates;
    for (const Open& e : open) {
      candidates.push_back(tris[3 * static_cast<std::size_t>(e.tri) + e.k]);
      candidates.push_back(tris[3 * static_cast<std::size_t>(e.tri) + (e.k + 1) % 3]);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    // Per triangle: one edge to split and the points on it, in order.
    std::map<int, std::pair<int, std::vector<std::pair<double, int>>>> splits;
    for (const Open& e : open) {
      if (splits.count(e.tri)) continue;  // one edge per triangle and round
      const int ia = tris[3 * static_cast<std::size_t>(e.tri) + e.k];
      const int ib = tris[3 * static_cast<std::size_t>(e.tri) + (e.k + 1) % 3];
      const Vec3 &A = points[static_cast<std::size_t>(ia)], &B = points[static_cast<std::size_t>(ib)];
      const Vec3 d = B - A;
      const double len2 = Dot(d, d);
      if (!(len2 > 0)) continue;
      std::vector<std::pair<double, int>> on;
      for (int v : candidates) {
        if (v == ia || v == ib) continue;
        const Vec3& P = points[static_cast<std::size_t>(v)];
        const double t = Dot(P - A, d) / len2;
        if (t <= 0 || t >= 1) continue;
        if (Norm(A + d * t - P) <= tol) on.emplace_back(t, v);
      }
      if (on.empty()) continue;
      std::sort(on.begin(), on.end());
      splits[e.tri] = {e.k, std::move(on)};
    }
    if (splits.empty()) return;
    std::vector<int> out;
    out.reserve(tris.size() + 16);
    for (std::size_t t = 0; 3 * t + 2 < tris.size(); ++t) {
      auto it = splits.find(static_cast<int>(t));
      if (it == splits.end()) {
        out.insert(out.end(), tris.begin() + 3 * t, tris.begin() + 3 * t + 3);
        continue;
      }
      // A fan from the corner opposite the split edge.
      const int k = it->second.first;
      const int a = tris[3 * t + k], b = tris[3 * t + (k + 1) % 3], c = tris[3 * t + (k + 2) % 3];
      int prev = a;
      for (const auto& p : it->second.second) {
        out.insert(out.end(), {prev, p.second, c});
        prev = p.second;
      }
      out.insert(out.end(), {prev, b, c});
    }
    tris.swap(out);
  }
}

}  // namespace vx::mesh
