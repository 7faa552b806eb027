#include "mesh/PointGrid.h"

#include "mesh/VertexStar.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace vxmesh {

PointGrid::PointGrid(double tol) : m_tol(tol > 0 ? tol : 1e-12), m_cell(4.0 * (tol > 0 ? tol : 1e-12)) {}

int64_t PointGrid::cell(double x) const {
  const double c = x / m_cell;
  return c == c ? static_cast<int64_t>(std::floor(std::clamp(c, -1e15, 1e15))) : 0;  // NaN: cell 0
}

uint64_t PointGrid::key(int64_t i, int64_t j, int64_t k) {
  return static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(j) * 0xC2B2AE3D27D4EB4Full ^
         static_cast<uint64_t>(k) * 0x165667B19E3779F9ull;
}

int PointGrid::insert(const Vec3& p) {
  if (Finite(p)) {
    const int64_t ci = cell(p.x), cj = cell(p.y), ck = cell(p.z);
    int found = -1;
    for (int64_t i = ci - 1; i <= ci + 1; ++i)
      for (int64_t j = cj - 1; j <= cj + 1; ++j)
        for (int64_t k = ck - 1; k <= ck + 1; ++k) {
          auto it = m_cells.find(key(i, j, k));
          if (it == m_cells.end()) continue;
          for (int v : it->second) {
            const Vec3& q = m_points[static_cast<std::size_t>(v)];
            if ((found < 0 || v < found) && std::fabs(q.x - p.x) <= m_tol && std::fabs(q.y - p.y) <= m_tol &&
                std::fabs(q.z - p.z) <= m_tol)
              found = v;
          }
        }
    if (found >= 0) return found;
    m_cells[key(ci, cj, ck)].push_back(static_cast<int>(m_points.size()));
  }
  m_points.push_back(p);
  return static_cast<int>(m_points.size() - 1);
}

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

}  // namespace vxmesh
