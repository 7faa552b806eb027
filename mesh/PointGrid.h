#pragma once
// Welding points that lie within a tolerance of each other: the one welding
// code of the mesh kernels, also behind the host's soup welding (which is why
// the grid is inline and standard-library only).
//
// A point joins the earliest representative within `tol` in every
// coordinate; otherwise it becomes a representative itself (keeping its own
// coordinates). The result depends only on the input order. Non-finite
// points are never joined (each stays a representative of its own).
//
// Method: a hash grid of cubic cells 16 tol wide, so the cells a query looks
// at (its point +- 1.5 tol) are usually one, at most two per axis. The table
// is open-addressed (linear probing, at most half full, 16-byte slots keyed
// by a fingerprint of the cell) and holds the newest representative of each
// cell; earlier ones are chained through `m_next`.
// Cell borders are shifted off the multiples of the cell size, where round
// model coordinates would put many points next to a border.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mesh/MeshVec.h"

namespace vx::mesh {

class PointGrid {
public:
  // `tol` <= 0 or not finite welds only equal points (a tiny positive tolerance).
  explicit PointGrid(double tol, std::size_t expected = 0)
      : m_tol(tol > 0 && std::isfinite(tol) ? tol : 1e-300), m_cell(16.0 * m_tol) {
    std::size_t cap = 16;
    while (cap < 2 * expected) cap *= 2;
    m_slots.assign(cap, Slot{});
    m_points.reserve(expected);
    m_next.reserve(expected);
  }

  // The index (into points()) of the representative p joins, or of p itself as a new one.
  template <class P>
  int insert(const P& p) {
    const Vec3 q{p.x, p.y, p.z};
    const int found = find(q);
    return found >= 0 ? found : add(q);
  }

  // Appends p as a representative of its own, whatever lies near it.
  template <class P>
  int add(const P& p) {
    const Vec3 q{p.x, p.y, p.z};
    const int v = static_cast<int>(m_points.size());
    m_points.push_back(q);
    m_next.push_back(Finite(q) ? push(cellOf(q.x), cellOf(q.y), cellOf(q.z), v) : -1);
    return v;
  }

  // The earliest representative within the tolerance of p, or -1.
  int find(const Vec3& p) const {
    if (!Finite(p)) return -1;
    const double r = 1.5 * m_tol;
    const int64_t lo[3] = {cellOf(p.x - r), cellOf(p.y - r), cellOf(p.z - r)};
    const int64_t hi[3] = {cellOf(p.x + r), cellOf(p.y + r), cellOf(p.z + r)};
    int found = -1;
    for (int64_t i = lo[0]; i <= hi[0]; ++i)
      for (int64_t j = lo[1]; j <= hi[1]; ++j)
        for (int64_t k = lo[2]; k <= hi[2]; ++k)
          for (int v = m_slots[probe(i, j, k)].value; v >= 0; v = m_next[static_cast<std::size_t>(v)]) {
            const Vec3& q = m_points[static_cast<std::size_t>(v)];
            if (std::fabs(p.x - q.x) <= m_tol && std::fabs(p.y - q.y) <= m_tol && std::fabs(p.z - q.z) <= m_tol &&
                (found < 0 || v < found))
              found = v;
          }
    return found;
  }

  const std::vector<Vec3>& points() const { return m_points; }
  double tolerance() const { return m_tol; }

private:
  struct Slot {
    uint64_t key = 0;
    int value = -1;  // newest representative in the cell; -1: empty slot
  };
  int64_t cellOf(double x) const {
    constexpr double kShift = 0.3819660112501051;
    constexpr double kLimit = 4.0e18;
    return static_cast<int64_t>(std::clamp(std::floor(x / m_cell + kShift), -kLimit, kLimit));
  }
  // A cell's 64-bit fingerprint. Two cells may share one: their points then
  // share a chain, which costs a few comparisons but never a wrong weld (the
  // coordinates decide).
  static uint64_t fingerprint(int64_t i, int64_t j, int64_t k) {
    uint64_t h = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull;
    h ^= (h >> 31) + static_cast<uint64_t>(j) * 0xC2B2AE3D27D4EB4Full;
    h ^= (h >> 29) + static_cast<uint64_t>(k) * 0x165667B19E3779F9ull;
    return h ^ (h >> 32);
  }
  std::size_t probe(uint64_t key) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = static_cast<std::size_t>(key) & mask;; at = (at + 1) & mask) {
      const Slot& s = m_slots[at];
      if (s.value < 0 || s.key == key) return at;
    }
  }
  std::size_t probe(int64_t i, int64_t j, int64_t k) const { return probe(fingerprint(i, j, k)); }
  // Makes v the cell's newest representative; returns the previous one (-1 if none).
  int push(int64_t i, int64_t j, int64_t k, int v) {
    if (2 * (m_used + 1) > m_slots.size()) grow();
    const uint64_t key = fingerprint(i, j, k);
    Slot& s = m_slots[probe(key)];
    const int old = s.value;
    if (old < 0) {
      s.key = key;
      ++m_used;
    }
    s.value = v;
    return old;
  }
  void grow() {
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.assign(2 * old.size(), Slot{});
    for (const Slot& s : old)
      if (s.value >= 0) m_slots[probe(s.key)] = s;
  }

  double m_tol, m_cell;
  std::vector<Vec3> m_points;
  std::vector<int> m_next;  // representative -> previous representative of its cell
  std::vector<Slot> m_slots;
  std::size_t m_used = 0;
};

// Welds n points: `index` gets, per input point, the index of its
// representative in `points`.
//
// A corner soup repeats each point a few times, usually a few triangles
// apart: a small table of recently seen points answers those repeats without
// the grid. It is exact: a point equal to an earlier one joins the same
// representative (any representative made since then is a later one).
template <class P>
void WeldPoints(const P* in, std::size_t n, double tol, std::vector<Vec3>& points, std::vector<int>& index) {
  PointGrid grid(tol, n / 6 + 16);  // a closed surface has about one point per six corners
  struct Seen {
    double x, y, z;
    int rep = -1;
  };
  constexpr std::size_t kRecent = 4096;
  std::vector<Seen> recent(kRecent);
  index.clear();
  index.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = in[i].x, y = in[i].y, z = in[i].z;
    uint64_t bits[3];
    std::memcpy(&bits[0], &x, 8);
    std::memcpy(&bits[1], &y, 8);
    std::memcpy(&bits[2], &z, 8);
    const uint64_t h =
        (bits[0] * 0x9E3779B97F4A7C15ull) ^ (bits[1] * 0xC2B2AE3D27D4EB4Full) ^ (bits[2] * 0x165667B19E3779F9ull);
    Seen& s = recent[static_cast<std::size_t>(h >> 52) & (kRecent - 1)];
    if (s.rep >= 0 && s.x == x && s.y == y && s.z == z) {
      index.push_back(s.rep);
      continue;
    }
    const int rep = grid.insert(Vec3{x, y, z});
    index.push_back(rep);
    s = Seen{x, y, z, rep};
  }
  points = grid.points();
}

// Welds `corners` (three per triangle) within `tol` into points and three
// indices per triangle; triangles that lose a corner to welding are dropped.
void WeldTriangles(const std::vector<Vec3>& corners, double tol, std::vector<Vec3>& points, std::vector<int>& tris);

// Closes T-junctions of a welded surface: where an edge used in one direction
// only has a point of another such edge on it (within `tol`, strictly between
// its ends), the triangle of that edge is split at the point, so that both
// sides of the seam end up with the same vertices. Bounded work: nothing is
// done when more than `maxOpenEdges` edges are unmatched.
void CloseTJunctions(const std::vector<Vec3>& points, std::vector<int>& tris, double tol,
                     std::size_t maxOpenEdges = 20000);

}  // namespace vx::mesh
