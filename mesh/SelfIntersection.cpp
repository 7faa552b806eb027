#include "mesh/SelfIntersection.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vxmesh {

namespace {

struct Box {
  Vec3 lo, hi;
};

bool Overlap(const Box& a, const Box& b) {
  return a.lo.x <= b.hi.x && b.lo.x <= a.hi.x && a.lo.y <= b.hi.y && b.lo.y <= a.hi.y && a.lo.z <= b.hi.z &&
         b.lo.z <= a.hi.z;
}

// Signed distances of q's corners from the plane of p; false when p is degenerate.
bool Distances(const Vec3 p[3], const Vec3 q[3], double d[3], Vec3& unitNormal) {
  const Vec3 n = Cross(p[1] - p[0], p[2] - p[0]);
  const double len = Norm(n);
  if (!(len > 0)) return false;
  unitNormal = n * (1.0 / len);
  for (int k = 0; k < 3; ++k) d[k] = Dot(unitNormal, q[k] - p[0]);
  return true;
}

// The interval along `dir` where triangle t meets the other plane, t's
// corners having signed distances d from it (corners within tol count as on it).
void Interval(const Vec3 t[3], const double d[3], double tol, const Vec3& dir, double& lo, double& hi) {
  lo = 1e300, hi = -1e300;
  auto add = [&](const Vec3& p) {
    const double s = Dot(dir, p);
    lo = std::min(lo, s), hi = std::max(hi, s);
  };
  for (int k = 0; k < 3; ++k) {
    const double a = d[k], b = d[(k + 1) % 3];
    if (std::fabs(a) <= tol) add(t[k]);
    if ((a < -tol && b > tol) || (a > tol && b < -tol)) add(t[k] + (t[(k + 1) % 3] - t[k]) * (a / (a - b)));
  }
}

bool Transversal(const Vec3 a[3], const Vec3 b[3], double tol) {
  double da[3], db[3];
  Vec3 na, nb;
  if (!Distances(b, a, da, nb) || !Distances(a, b, db, na)) return false;
  auto straddles = [tol](const double d[3]) {
    return std::min({d[0], d[1], d[2]}) < -tol && std::max({d[0], d[1], d[2]}) > tol;
  };
  if (!straddles(da) || !straddles(db)) return false;
  const Vec3 line = Cross(na, nb);
  const double len = Norm(line);
  if (!(len > 0)) return false;
  const Vec3 dir = line * (1.0 / len);
  double aLo, aHi, bLo, bHi;
  Interval(a, da, tol, dir, aLo, aHi);
  Interval(b, db, tol, dir, bLo, bHi);
  return std::min(aHi, bHi) - std::max(aLo, bLo) > tol;
}

// Whether segment p-q passes strictly through the interior of triangle t.
bool Pierces(const Vec3& p, const Vec3& q, const Vec3 t[3], double tol) {
  const Vec3 n = Cross(t[1] - t[0], t[2] - t[0]);
  const double len = Norm(n);
  if (!(len > 0)) return false;
  const Vec3 u = n * (1.0 / len);
  const double dp = Dot(u, p - t[0]), dq = Dot(u, q - t[0]);
  if (!((dp < -tol && dq > tol) || (dp > tol && dq < -tol))) return false;
  const Vec3 x = p + (q - p) * (dp / (dp - dq));
  // Inside every edge by more than the tolerance (distances in the plane).
  for (int k = 0; k < 3; ++k) {
    const Vec3 e = t[(k + 1) % 3] - t[k];
    const double el = Norm(e);
    if (!(el > 0)) return false;
    if (Dot(Cross(e, x - t[k]), u) / el <= tol) return false;
  }
  return true;
}

}  // namespace

bool SelfIntersects(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris, double scale,
                    const Vec3& boxLo, const Vec3& boxHi, const std::function<bool()>& stop) {
  const double tol = MeshTolerance(scale);
  const Box query{boxLo - Vec3{tol, tol, tol}, boxHi + Vec3{tol, tol, tol}};
  if (!(query.lo.x <= query.hi.x && query.lo.y <= query.hi.y && query.lo.z <= query.hi.z)) return false;
  std::vector<int32_t> kept;
  std::vector<Box> boxes;
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    bool ok = c[0] != c[1] && c[1] != c[2] && c[0] != c[2];
    for (int k = 0; k < 3 && ok; ++k) ok = c[k] >= 0 && static_cast<std::size_t>(c[k]) < nPoints;
    if (!ok) continue;
    const Vec3 &p = points[c[0]], &q = points[c[1]], &r = points[c[2]];
    Box b{{std::min({p.x, q.x, r.x}), std::min({p.y, q.y, r.y}), std::min({p.z, q.z, r.z})},
          {std::max({p.x, q.x, r.x}), std::max({p.y, q.y, r.y}), std::max({p.z, q.z, r.z})}};
    if (!Overlap(b, query) || !Finite(b.lo) || !Finite(b.hi)) continue;
    kept.push_back(static_cast<int32_t>(t));
    boxes.push_back(b);
  }
  if (kept.size() < 2) return false;

  // Cells about twice the mean triangle extent (a triangle meets few cells, a
  // cell holds few triangles), at most four cells a triangle in all.
  const Vec3 size = query.hi - query.lo;
  double mean = 0;
  for (const Box& b : boxes) mean += MaxAbs(b.hi - b.lo);
  double cell = std::max(2 * mean / static_cast<double>(boxes.size()), tol);
  const double limit = 4.0 * static_cast<double>(boxes.size());
  auto count = [&](double c, int k) { return std::max(1.0, std::ceil(At(size, k) / c)); };
  const double total = count(cell, 0) * count(cell, 1) * count(cell, 2);
  if (total > limit) cell *= std::cbrt(total / limit) * 1.01;
  int cells[3];
  for (int k = 0; k < 3; ++k) cells[k] = static_cast<int>(std::min(count(cell, k), 4096.0));
  auto cellOf = [&](double v, int k) {
    const double extent = At(size, k);
    const int c = extent > 0 ? static_cast<int>((v - At(query.lo, k)) / extent * cells[k]) : 0;
    return std::clamp(c, 0, cells[k] - 1);
  };
  struct Range {
    int lo[3], hi[3];
  };
  std::vector<Range> ranges(kept.size());
  std::vector<std::vector<int>> bucket(static_cast<std::size_t>(cells[0]) * cells[1] * cells[2]);
  auto index = [&](int i, int j, int k) { return (static_cast<std::size_t>(k) * cells[1] + j) * cells[0] + i; };
  for (std::size_t i = 0; i < kept.size(); ++i) {
    Range& r = ranges[i];
    for (int k = 0; k < 3; ++k) r.lo[k] = cellOf(At(boxes[i].lo, k), k), r.hi[k] = cellOf(At(boxes[i].hi, k), k);
    for (int z = r.lo[2]; z <= r.hi[2]; ++z)
      for (int y = r.lo[1]; y <= r.hi[1]; ++y)
        for (int x = r.lo[0]; x <= r.hi[0]; ++x) bucket[index(x, y, z)].push_back(static_cast<int>(i));
  }

  auto corners = [&](int i, Vec3 out[3]) {
    const int32_t* c = tris + 3 * static_cast<std::size_t>(kept[static_cast<std::size_t>(i)]);
    for (int k = 0; k < 3; ++k) out[k] = points[c[k]];
  };
  auto crosses = [&](int i, int j) {
    const int32_t* a = tris + 3 * static_cast<std::size_t>(kept[static_cast<std::size_t>(i)]);
    const int32_t* b = tris + 3 * static_cast<std::size_t>(kept[static_cast<std::size_t>(j)]);
    int shared = 0, ia = -1, ib = -1;
    for (int p = 0; p < 3; ++p)
      for (int q = 0; q < 3; ++q)
        if (a[p] == b[q]) ++shared, ia = p, ib = q;
    Vec3 A[3], B[3];
    corners(i, A);
    corners(j, B);
    if (shared == 0) return Transversal(A, B, tol);
    if (shared > 1) return false;
    return Pierces(A[(ia + 1) % 3], A[(ia + 2) % 3], B, tol) || Pierces(B[(ib + 1) % 3], B[(ib + 2) % 3], A, tol);
  };
  for (int z = 0; z < cells[2]; ++z)
    for (int y = 0; y < cells[1]; ++y)
      for (int x = 0; x < cells[0]; ++x) {
        if (stop && stop()) return false;
        const std::vector<int>& here = bucket[index(x, y, z)];
        for (std::size_t p = 0; p < here.size(); ++p)
          for (std::size_t q = p + 1; q < here.size(); ++q) {
            const int i = here[p], j = here[q];
            if (!Overlap(boxes[static_cast<std::size_t>(i)], boxes[static_cast<std::size_t>(j)])) continue;
            // Tested only in the first cell both share.
            const Range &ri = ranges[static_cast<std::size_t>(i)], &rj = ranges[static_cast<std::size_t>(j)];
            if (std::max(ri.lo[0], rj.lo[0]) != x || std::max(ri.lo[1], rj.lo[1]) != y ||
                std::max(ri.lo[2], rj.lo[2]) != z)
              continue;
            if (crosses(i, j)) return true;
          }
      }
  return false;
}

}  // namespace vxmesh
