#include "mesh/SolidLocator.h"

#include <algorithm>
#include <cmath>

#include "mesh/Winding.h"

namespace vx::mesh {

namespace {

// The two coordinates across a ray along `axis`, in cyclic order, so that the
// 2D orientation of a projected triangle is its normal's `axis` component.
inline int AxisU(int axis) { return (axis + 1) % 3; }
inline int AxisV(int axis) { return (axis + 2) % 3; }

inline double Orient(double au, double av, double bu, double bv, double pu, double pv) {
  return (bu - au) * (pv - av) - (bv - av) * (pu - au);
}

}  // namespace

// Triangles bucketed by their projected boxes; cells in compressed rows.
struct SolidLocator::Grid {
  int axis = 2;
  int n = 1;  // n x n cells
  double lo[2] = {0, 0}, size[2] = {1, 1};
  std::vector<uint32_t> start;  // n*n + 1 offsets into ids
  std::vector<uint32_t> ids;

  int cell(double x, int k) const {
    const double c = (x - lo[k]) / size[k];
    if (!(c > 0)) return 0;
    return static_cast<int>(std::min(c, static_cast<double>(n - 1)));
  }
};

SolidLocator::SolidLocator(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                           double scale, const Vec3* queryLo, const Vec3* queryHi) {
  Box3 used;
  for (std::size_t t = 0; t < 3 * nTris; ++t) {
    if (tris[t] >= 0 && static_cast<std::size_t>(tris[t]) < nPoints) used.Extend(points[tris[t]]);
  }
  const Vec3 &lo = used.lo, &hi = used.hi;
  m_tol = 2.0 * MeshTolerance(std::max({scale, MaxAbs(lo), MaxAbs(hi)}));
  const Vec3 widen{m_tol, m_tol, m_tol};
  m_qlo = lo - widen;
  m_qhi = hi + widen;
  if (queryLo && queryHi) {
    m_qlo = {std::max(m_qlo.x, queryLo->x - m_tol), std::max(m_qlo.y, queryLo->y - m_tol),
             std::max(m_qlo.z, queryLo->z - m_tol)};
    m_qhi = {std::min(m_qhi.x, queryHi->x + m_tol), std::min(m_qhi.y, queryHi->y + m_tol),
             std::min(m_qhi.z, queryHi->z + m_tol)};
  }
  // A ray along an axis from the query box meets only triangles that overlap
  // the box in the two other coordinates (and reach past its low end along
  // the ray, which the grids check): keep those overlapping it in at least two.
  m_tri.reserve(3 * nTris);
  Box3 kept;
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    bool ok = true;
    for (int k = 0; k < 3; ++k) ok = ok && c[k] >= 0 && static_cast<std::size_t>(c[k]) < nPoints;
    if (!ok) continue;
    const Vec3 &a = points[c[0]], &b = points[c[1]], &d = points[c[2]];
    int overlapping = 0;
    for (int k = 0; k < 3; ++k) {
      const double tlo = std::min({At(a, k), At(b, k), At(d, k)}), thi = std::max({At(a, k), At(b, k), At(d, k)});
      overlapping += (thi >= At(m_qlo, k) && tlo <= At(m_qhi, k)) ? 1 : 0;
    }
    if (overlapping < 2) continue;
    for (const Vec3* p : {&a, &b, &d}) {
      m_tri.push_back(*p);
      kept.Extend(*p);
    }
  }
  m_lo = kept.lo;
  m_hi = kept.hi;
}

SolidLocator::~SolidLocator() = default;

const SolidLocator::Grid& SolidLocator::grid(int axis) const {
  if (m_grid[axis]) return *m_grid[axis];
  auto g = std::make_unique<Grid>();
  g->axis = axis;
  const std::size_t nt = m_tri.size() / 3;
  g->n = static_cast<int>(std::clamp(std::sqrt(static_cast<double>(nt)), 1.0, 1024.0));
  const int ku[2] = {AxisU(axis), AxisV(axis)};
  for (int k = 0; k < 2; ++k) {
    g->lo[k] = std::max(At(m_lo, ku[k]) - m_tol, At(m_qlo, ku[k]));
    const double extent = std::min(At(m_hi, ku[k]) + m_tol, At(m_qhi, ku[k])) - g->lo[k];
    g->size[k] = extent > 0 ? extent / g->n : 1.0;
  }
  // Triangles a ray from the query box can meet: overlapping it across the
  // ray, and reaching its low end along the ray. Each triangle's cell range
  // (its projected box widened by the tolerance) is found once.
  struct CellBox {
    int i0, i1, j0, j1;
  };
  std::vector<CellBox> boxes(nt);
  std::vector<char> used(nt, 0);
  const double qu0 = At(m_qlo, ku[0]), qu1 = At(m_qhi, ku[0]), qv0 = At(m_qlo, ku[1]), qv1 = At(m_qhi, ku[1]);
  const double qa0 = At(m_qlo, axis);
  const std::size_t cells = static_cast<std::size_t>(g->n) * static_cast<std::size_t>(g->n);
  g->start.assign(cells + 1, 0);
  for (std::size_t t = 0; t < nt; ++t) {
    const Vec3* T = &m_tri[3 * t];
    const double u0 = At(T[0], ku[0]), u1 = At(T[1], ku[0]), u2 = At(T[2], ku[0]);
    const double v0 = At(T[0], ku[1]), v1 = At(T[1], ku[1]), v2 = At(T[2], ku[1]);
    const double ulo = std::min({u0, u1, u2}), uhi = std::max({u0, u1, u2});
    const double vlo = std::min({v0, v1, v2}), vhi = std::max({v0, v1, v2});
    if (uhi < qu0 || ulo > qu1 || vhi < qv0 || vlo > qv1) continue;
    if (std::max({At(T[0], axis), At(T[1], axis), At(T[2], axis)}) < qa0) continue;
    used[t] = 1;
    CellBox& c = boxes[t];
    c = {g->cell(ulo - m_tol, 0), g->cell(uhi + m_tol, 0), g->cell(vlo - m_tol, 1), g->cell(vhi + m_tol, 1)};
    for (int i = c.i0; i <= c.i1; ++i)
      for (int j = c.j0; j <= c.j1; ++j) ++g->start[static_cast<std::size_t>(i) * g->n + j + 1];
  }
  for (std::size_t c = 0; c < cells; ++c) g->start[c + 1] += g->start[c];
  g->ids.resize(g->start[cells]);
  std::vector<uint32_t> fill(g->start.begin(), g->start.end() - 1);
  for (std::size_t t = 0; t < nt; ++t) {
    if (!used[t]) continue;
    const CellBox& c = boxes[t];
    for (int i = c.i0; i <= c.i1; ++i)
      for (int j = c.j0; j <= c.j1; ++j)
        g->ids[fill[static_cast<std::size_t>(i) * g->n + j]++] = static_cast<uint32_t>(t);
  }
  m_grid[axis] = std::move(g);
  return *m_grid[axis];
}

// 1 inside, 0 outside, 2 on the surface (`on` set), -1 ambiguous.
int SolidLocator::rayAlong(int axis, const Vec3& p, const Vec3& normal, Where& on) const {
  const int u = AxisU(axis), v = AxisV(axis);
  const double pu = At(p, u), pv = At(p, v), pa = At(p, axis);
  if (pu < At(m_lo, u) - m_tol || pu > At(m_hi, u) + m_tol || pv < At(m_lo, v) - m_tol || pv > At(m_hi, v) + m_tol ||
      pa > At(m_hi, axis) + m_tol)
    return 0;
  const Grid& g = grid(axis);
  const std::size_t c = static_cast<std::size_t>(g.cell(pu, 0)) * g.n + g.cell(pv, 1);
  int wind = 0;
  for (uint32_t k = g.start[c]; k < g.start[c + 1]; ++k) {
    const Vec3* T = &m_tri[3 * static_cast<std::size_t>(g.ids[k])];
    const double au = At(T[0], u), av = At(T[0], v), bu = At(T[1], u), bv = At(T[1], v);
    const double cu = At(T[2], u), cv = At(T[2], v);
    const double d = Orient(au, av, bu, bv, cu, cv);
    // Plain square roots: hypot's care for overflow costs more than the whole test here.
    const double lab = std::sqrt((bu - au) * (bu - au) + (bv - av) * (bv - av));
    const double lbc = std::sqrt((cu - bu) * (cu - bu) + (cv - bv) * (cv - bv));
    const double lca = std::sqrt((au - cu) * (au - cu) + (av - cv) * (av - cv));
    const double longest = std::max({lab, lbc, lca});
    if (!(std::fabs(d) > m_tol * longest)) {
      // Seen edge-on: the ray cannot cross it, but the point may lie on it.
      if (Norm(ClosestOnTriangle(p, T[0], T[1], T[2]) - p) <= m_tol) {
        on = Dot(Cross(T[1] - T[0], T[2] - T[0]), normal) > 0 ? Where::OnSameFacing : Where::OnOppositeFacing;
        return 2;
      }
      continue;
    }
    const double sg = d > 0 ? 1.0 : -1.0;
    const double w0 = Orient(bu, bv, cu, cv, pu, pv) * sg, w1 = Orient(cu, cv, au, av, pu, pv) * sg,
                 w2 = Orient(au, av, bu, bv, pu, pv) * sg;
    // Distances of the projected point from the three projected edges.
    const double e0 = w0 / lbc, e1 = w1 / lca, e2 = w2 / lab;
    if (e0 < -m_tol || e1 < -m_tol || e2 < -m_tol) continue;
    const double h = (w0 * At(T[0], axis) + w1 * At(T[1], axis) + w2 * At(T[2], axis)) / std::fabs(d);
    const Vec3 n3 = Cross(T[1] - T[0], T[2] - T[0]);
    const double gap = (h - pa) * std::fabs(d) / Norm(n3);  // along the triangle's normal
    if (std::fabs(gap) <= m_tol) {
      on = Dot(n3, normal) > 0 ? Where::OnSameFacing : Where::OnOppositeFacing;
      return 2;
    }
    if (h < pa) continue;
    if (e0 <= m_tol || e1 <= m_tol || e2 <= m_tol) return -1;  // through an edge or a corner
    wind += d > 0 ? 1 : -1;
  }
  return wind != 0 ? 1 : 0;
}

Where SolidLocator::bruteForce(const Vec3& p, const Vec3& normal) const {
  double sum = 0;
  for (std::size_t t = 0; t + 2 < m_tri.size(); t += 3) {
    const Vec3 &A = m_tri[t], &B = m_tri[t + 1], &C = m_tri[t + 2];
    if (Norm(ClosestOnTriangle(p, A, B, C) - p) <= m_tol) {
      return Dot(Cross(B - A, C - A), normal) > 0 ? Where::OnSameFacing : Where::OnOppositeFacing;
    }
    sum += HalfSolidAngle(p, A, B, C);
  }
  return std::fabs(WindingFromHalfAngles(sum)) >= 0.5 ? Where::Inside : Where::Outside;
}

Where SolidLocator::locate(const Vec3& p, const Vec3& normal) const {
  if (m_tri.empty() || !Finite(p)) return Where::Outside;
  if (p.x < m_qlo.x || p.y < m_qlo.y || p.z < m_qlo.z || p.x > m_qhi.x || p.y > m_qhi.y || p.z > m_qhi.z)
    return Where::Outside;
  for (int axis : {2, 0, 1}) {
    Where on = Where::Outside;
    const int r = rayAlong(axis, p, normal, on);
    if (r == 2) return on;
    if (r >= 0) return r == 1 ? Where::Inside : Where::Outside;
  }
  return bruteForce(p, normal);
}

}  // namespace vx::mesh
