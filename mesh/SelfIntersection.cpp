#include "mesh/SelfIntersection.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vx::mesh {

namespace {

struct Box {
  Vec3 lo, hi;
};

bool Overlap(const Box& a, const Box& b) {
  return a.lo.x <= b.hi.x && b.lo.x <= a.hi.x && a.lo.y <= b.hi.y && b.lo.y <= a.hi.y && a.lo.z <= b.hi.z &&
         b.lo.z <= a.hi.z;
}

// A triangle's corners and unit normal (zero for a degenerate triangle,
// which never crosses anything here).
struct Face {
  Vec3 c[3];
  Vec3 u;
  bool ok;
};

Face MakeFace(const Vec3& p, const Vec3& q, const Vec3& r) {
  Face f{{p, q, r}, {0, 0, 0}, false};
  const Vec3 n = Cross(q - p, r - p);
  const double len = Norm(n);
  if (len > 0) f.u = n * (1.0 / len), f.ok = true;
  return f;
}

// Signed distances of q's corners from the plane of p.
void Distances(const Face& p, const Face& q, double d[3]) {
  for (int k = 0; k < 3; ++k) d[k] = Dot(p.u, q.c[k] - p.c[0]);
}

bool Straddles(const double d[3], double tol) {
  return std::min({d[0], d[1], d[2]}) < -tol && std::max({d[0], d[1], d[2]}) > tol;
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

bool Transversal(const Face& a, const Face& b, double tol) {
  if (!a.ok || !b.ok) return false;
  double da[3], db[3];
  Distances(a, b, db);
  if (!Straddles(db, tol)) return false;
  Distances(b, a, da);
  if (!Straddles(da, tol)) return false;
  const Vec3 line = Cross(a.u, b.u);
  const double len = Norm(line);
  if (!(len > 0)) return false;
  const Vec3 dir = line * (1.0 / len);
  double aLo, aHi, bLo, bHi;
  Interval(a.c, da, tol, dir, aLo, aHi);
  Interval(b.c, db, tol, dir, bLo, bHi);
  return std::min(aHi, bHi) - std::max(aLo, bLo) > tol;
}

// Whether segment p-q passes strictly through the interior of face t.
bool Pierces(const Vec3& p, const Vec3& q, const Face& t, double tol) {
  if (!t.ok) return false;
  const Vec3& u = t.u;
  const double dp = Dot(u, p - t.c[0]), dq = Dot(u, q - t.c[0]);
  if (!((dp < -tol && dq > tol) || (dp > tol && dq < -tol))) return false;
  const Vec3 x = p + (q - p) * (dp / (dp - dq));
  // Inside every edge by more than the tolerance (distances in the plane).
  for (int k = 0; k < 3; ++k) {
    const Vec3 e = t.c[(k + 1) % 3] - t.c[k];
    const double el = Norm(e);
    if (!(el > 0)) return false;
    if (Dot(Cross(e, x - t.c[k]), u) / el <= tol) return false;
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
  // Buckets in compressed rows: a count pass, then a fill pass.
  const std::size_t nCells = static_cast<std::size_t>(cells[0]) * cells[1] * cells[2];
  std::vector<Range> ranges(kept.size());
  std::vector<uint32_t> start(nCells + 1, 0);
  auto index = [&](int i, int j, int k) { return (static_cast<std::size_t>(k) * cells[1] + j) * cells[0] + i; };
  auto eachCell = [&](const Range& r, auto&& f) {
    for (int z = r.lo[2]; z <= r.hi[2]; ++z)
      for (int y = r.lo[1]; y <= r.hi[1]; ++y)
        for (int x = r.lo[0]; x <= r.hi[0]; ++x) f(index(x, y, z));
  };
  for (std::size_t i = 0; i < kept.size(); ++i) {
    Range& r = ranges[i];
    for (int k = 0; k < 3; ++k) r.lo[k] = cellOf(At(boxes[i].lo, k), k), r.hi[k] = cellOf(At(boxes[i].hi, k), k);
    eachCell(r, [&](std::size_t c) { ++start[c + 1]; });
  }
  for (std::size_t c = 0; c < nCells; ++c) start[c + 1] += start[c];
  std::vector<int> bucket(start[nCells]);
  {
    std::vector<uint32_t> fill(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < kept.size(); ++i)
      eachCell(ranges[i], [&](std::size_t c) { bucket[fill[c]++] = static_cast<int>(i); });
  }
  std::vector<Face> faces;
  faces.reserve(kept.size());
  for (int32_t t : kept) {
    const int32_t* c = tris + 3 * static_cast<std::size_t>(t);
    faces.push_back(MakeFace(points[c[0]], points[c[1]], points[c[2]]));
  }

  auto crosses = [&](int i, int j) {
    const int32_t* a = tris + 3 * static_cast<std::size_t>(kept[static_cast<std::size_t>(i)]);
    const int32_t* b = tris + 3 * static_cast<std::size_t>(kept[static_cast<std::size_t>(j)]);
    int shared = 0, ia = -1, ib = -1;
    for (int p = 0; p < 3; ++p)
      for (int q = 0; q < 3; ++q)
        if (a[p] == b[q]) ++shared, ia = p, ib = q;
    const Face &A = faces[static_cast<std::size_t>(i)], &B = faces[static_cast<std::size_t>(j)];
    if (shared == 0) return Transversal(A, B, tol);
    if (shared > 1) return false;
    return Pierces(A.c[(ia + 1) % 3], A.c[(ia + 2) % 3], B, tol) ||
           Pierces(B.c[(ib + 1) % 3], B.c[(ib + 2) % 3], A, tol);
  };
  for (int z = 0; z < cells[2]; ++z)
    for (int y = 0; y < cells[1]; ++y)
      for (int x = 0; x < cells[0]; ++x) {
        if (x == 0 && stop && stop()) return false;
        const std::size_t c = index(x, y, z);
        const int* here = bucket.data() + start[c];
        const std::size_t count = start[c + 1] - start[c];
        for (std::size_t p = 0; p < count; ++p)
          for (std::size_t q = p + 1; q < count; ++q) {
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

bool EmbeddedAroundPoint(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                         const Vec3& center) {
  const double fourPi = 16 * std::atan(1.0);
  // The triple product's rounding error is about 1e-15 of the product of the
  // corner distances; a triangle within a million times that of edge-on
  // does not count as seen turning either way.
  const double margin = 1e-9;
  int sign = 0;
  double total = 0;
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    if (c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) continue;
    for (int k = 0; k < 3; ++k) {
      if (c[k] < 0 || static_cast<std::size_t>(c[k]) >= nPoints) return false;
    }
    const Vec3 a = points[c[0]] - center, b = points[c[1]] - center, d = points[c[2]] - center;
    const double det = Dot(a, Cross(b, d));
    const double la = Norm(a), lb = Norm(b), ld = Norm(d);
    if (!std::isfinite(det) || !(std::fabs(det) > margin * la * lb * ld)) return false;
    const int s = det > 0 ? 1 : -1;
    if (sign == 0) sign = s;
    if (s != sign) return false;
    // The triangle's solid angle (Van Oosterom and Strackee).
    total += 2 * std::atan2(det, la * lb * ld + Dot(a, b) * ld + Dot(a, d) * lb + Dot(b, d) * la);
  }
  // A closed mesh's sum is a whole number of turns; rounding moves it far
  // less than the half turn allowed here.
  return sign != 0 && std::fabs(std::fabs(total) - fourPi) < 0.5 * fourPi;
}

}  // namespace vx::mesh
