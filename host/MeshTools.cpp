// Geometry tools on plain meshes, double precision, no scene-graph code.
//
// Notation used throughout this file
//   A, B      triangles a[0..2], b[0..2], corners in the caller's order.
//   n_T       unit normal of T, taken from the two edges at the corner opposite
//             T's longest edge (the best-conditioned cross product).
//   d_T(p)    n_T . (p - T_k): signed distance of p from the plane of T, T_k
//             being that corner.
//   S         scale of one query: the largest absolute coordinate of the
//             points involved, at least their longest edge.
//   tau       kRelTol * S, the geometric tolerance of the query. A distance
//             |d| <= tau counts as zero: the point lies on the plane, line or
//             point it is compared with.
//
// Why a tolerance band rather than exact orientation predicates: world
// coordinates reach the collision code from single precision, so a vertex
// carries a few float ulps of rounding relative to its magnitude. Faces that
// are coplanar in the model, or a corner that rests on a face, must be seen as
// such, otherwise a face-to-face contact turns into a random sliver cut line.
// kRelTol is four float ulps. Double rounding in the distances is around
// 1e-15 S, far below tau, so every sign outside the band is the exact sign and
// every decision inside the band is "zero": the classification is consistent
// without exact arithmetic. A triangle whose height is at most tau is treated
// as the segment of its longest edge, which keeps n_T accurate (its error is
// below 1e-9 rad for any triangle that is kept as a triangle).
//
// GetTowTrisCrossLine in outline: classify the corners of each triangle
// against the other's plane (+, -, or 0 within tau). All of one triangle's
// corners at 0: coplanar, clip one by the other in that plane. Otherwise A
// meets B's plane in its section (corners at 0, edge crossings), and
// A n B = section n B, found by clipping the section by B in B's plane.
// Clipping runs with exact signs first; only a result that lost a dimension
// (a touch) is redone with the tau band, so that touches within tolerance are
// found without moving the corners of proper overlaps.
//
// Known limit: tau grows with the distance from the origin; a model far from
// the origin gets a proportionally coarser tolerance, just as its single
// precision coordinates do. Near an acute corner of a clipping triangle a
// touching point may be reported up to about 1.5 tau outside it.
#include "host/MeshTools.h"

#include "mesh/MeshVec.h"
#include "mesh/PointGrid.h"
#include "mesh/Winding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

constexpr double kRelTol = vx::mesh::kMeshRelTolerance;  // 4 * FLT_EPSILON, as the mesh kernels
constexpr double kOnTriangleFloor = 2e-7;

// The mesh kernels' vector type (and its + - * operators).
using V3 = vx::mesh::Vec3;

inline double dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(const V3& a, const V3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double norm(const V3& a) { return std::sqrt(dot(a, a)); }
inline V3 toV3(const _vtx& p) { return {p.x, p.y, p.z}; }
inline _vtx toVtx(const V3& p) {
  _vtx v;
  v.x = p.x;
  v.y = p.y;
  v.z = p.z;
  return v;
}
inline bool finite(const V3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
inline double maxAbs(const V3& p) { return std::max(std::fabs(p.x), std::max(std::fabs(p.y), std::fabs(p.z))); }
inline bool lexLess(const V3& a, const V3& b) {
  if (a.x != b.x) return a.x < b.x;
  if (a.y != b.y) return a.y < b.y;
  return a.z < b.z;
}
inline int snapSign(double d, double tau) { return d > tau ? 1 : (d < -tau ? -1 : 0); }

// Parts of the scale S: the largest absolute coordinate, the longest edge.
double queryScale(const V3* p, int n) {
  double s = 0;
  for (int i = 0; i < n; ++i) s = std::max(s, maxAbs(p[i]));
  return s;
}
double longestEdge(const V3 t[3]) {
  return std::max(norm(t[1] - t[0]), std::max(norm(t[2] - t[1]), norm(t[0] - t[2])));
}

// A triangle as the cross-line code sees it: a proper triangle with its plane,
// or (height <= tau) the segment of its longest edge.
struct Flat {
  bool isTri = false;
  V3 n{0, 0, 0};              // unit normal, proper triangles only
  V3 origin{0, 0, 0};         // the corner the plane distances are measured from
  V3 p{0, 0, 0}, q{0, 0, 0};  // the segment, degenerate triangles only
  double area2 = 0;           // twice the area
};

Flat flatten(const V3 t[3], double tau) {
  Flat f;
  int longest = 0;  // edge i runs from corner i to corner i+1
  double len[3];
  for (int i = 0; i < 3; ++i) len[i] = norm(t[(i + 1) % 3] - t[i]);
  for (int i = 1; i < 3; ++i)
    if (len[i] > len[longest]) longest = i;
  const int k = (longest + 2) % 3;  // corner opposite the longest edge
  const V3 n = cross(t[(k + 1) % 3] - t[k], t[(k + 2) % 3] - t[k]);
  const double area2 = norm(n);
  f.area2 = area2;
  if (len[longest] <= tau || area2 <= tau * len[longest]) {
    f.p = t[longest];
    f.q = t[(longest + 1) % 3];
    return f;
  }
  f.isTri = true;
  f.n = n * (1.0 / area2);
  f.origin = t[k];
  return f;
}

// Point where the segment p-q crosses a plane, given the signed distances of
// its ends. The ends are put in lexicographic order first so that the two
// triangles sharing the edge get bit-identical crossing points.
V3 edgeCross(V3 p, V3 q, double dp, double dq) {
  if (lexLess(q, p)) {
    std::swap(p, q);
    std::swap(dp, dq);
  }
  const double t = dp / (dp - dq);
  return p + (q - p) * t;
}

// Orthonormal frame of a plane: 2D coordinates keep distances, so tau keeps
// its meaning after projection.
struct Frame {
  V3 o, u, v;
  void set(const V3& origin, const V3& n, const V3& along) {
    o = origin;
    const double l = norm(along);
    u = along * (1.0 / l);
    v = cross(n, u);
  }
  void to2d(const V3& p, double& x, double& y) const {
    const V3 w = p - o;
    x = dot(w, u);
    y = dot(w, v);
  }
};

struct P2 {
  double x, y;
  V3 w;  // the 3D point this 2D point stands for
};

inline double cross2(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Removes repeated points (within tau), then points that lie on the segment
// between their neighbours, and reduces a flat remainder to its two extremes.
void cleanPolygon(std::vector<P2>& poly, double tau) {
  std::vector<P2> uniq;
  for (const P2& p : poly) {
    bool dup = false;
    for (const P2& q : uniq)
      if (std::hypot(p.x - q.x, p.y - q.y) <= tau) {
        dup = true;
        break;
      }
    if (!dup) uniq.push_back(p);
  }
  poly.swap(uniq);
  if (poly.size() < 3) return;
  // Flat remainder: every point within tau of the line through the two
  // farthest points.
  std::size_t bi = 0, bj = 1;
  double best = -1;
  for (std::size_t i = 0; i < poly.size(); ++i)
    for (std::size_t j = i + 1; j < poly.size(); ++j) {
      const double d = std::hypot(poly[j].x - poly[i].x, poly[j].y - poly[i].y);
      if (d > best) {
        best = d;
        bi = i;
        bj = j;
      }
    }
  const double ex = poly[bj].x - poly[bi].x, ey = poly[bj].y - poly[bi].y;
  bool flat = true;
  for (const P2& p : poly)
    if (std::fabs(cross2(ex, ey, p.x - poly[bi].x, p.y - poly[bi].y)) / best > tau) {
      flat = false;
      break;
    }
  if (flat) {
    const P2 a = poly[bi], b = poly[bj];
    poly.assign({a, b});
    return;
  }
  // Drop corners that lie on the segment joining their neighbours.
  bool changed = true;
  while (changed && poly.size() > 3) {
    changed = false;
    for (std::size_t i = 0; i < poly.size(); ++i) {
      const P2& a = poly[(i + poly.size() - 1) % poly.size()];
      const P2& b = poly[i];
      const P2& c = poly[(i + 1) % poly.size()];
      const double l = std::hypot(c.x - a.x, c.y - a.y);
      if (l > 0 && std::fabs(cross2(c.x - a.x, c.y - a.y, b.x - a.x, b.y - a.y)) / l <= tau) {
        poly.erase(poly.begin() + static_cast<std::ptrdiff_t>(i));
        changed = true;
        break;
      }
    }
  }
}

// One pass of clipping the subject polygon (2 or 3 corners: a segment or a
// triangle) by the triangle `clip`, all in the plane of `frame`:
// Sutherland-Hodgman on signed distances to the clip lines, a distance within
// `band` counting as zero; points on a line count as inside. New points are
// interpolated in 3D along the clipped edge. The clip lines are the
// triangle's edges and, when band > 0, a bevel line through each corner,
// square to its bisector: without it the bands of the two edges of an acute
// corner would accept points far beyond the corner (tau / sin(angle / 2)).
std::vector<P2> clipPass(const V3* subject, int ns, const V3 clip[3], const Frame& frame, double band, double tau) {
  std::vector<P2> poly, next;
  for (int i = 0; i < ns; ++i) {
    P2 p;
    frame.to2d(subject[i], p.x, p.y);
    p.w = subject[i];
    poly.push_back(p);
  }
  double cx[3], cy[3];
  for (int i = 0; i < 3; ++i) frame.to2d(clip[i], cx[i], cy[i]);
  int order[3] = {0, 1, 2};
  if (cross2(cx[1] - cx[0], cy[1] - cy[0], cx[2] - cx[0], cy[2] - cy[0]) < 0) std::swap(order[1], order[2]);
  // Clip lines as a point (ox, oy) and a unit inward normal (nx, ny).
  struct Line {
    double ox, oy, nx, ny;
  };
  Line lines[6];
  int nl = 0;
  double ux[3], uy[3];  // unit direction of edge e (counter-clockwise)
  for (int e = 0; e < 3; ++e) {
    const int i0 = order[e], i1 = order[(e + 1) % 3];
    const double ex = cx[i1] - cx[i0], ey = cy[i1] - cy[i0];
    const double el = std::hypot(ex, ey);
    ux[e] = ex / el;
    uy[e] = ey / el;
    lines[nl++] = {cx[i0], cy[i0], -uy[e], ux[e]};
  }
  if (band > 0)
    for (int e = 0; e < 3; ++e) {
      // Corner order[e]: its edges leave along u[e] and arrive along u[e-1].
      const int prev = (e + 2) % 3;
      const double bx = ux[e] - ux[prev], by = uy[e] - uy[prev];
      const double bl = std::hypot(bx, by);
      if (bl > 0) lines[nl++] = {cx[order[e]], cy[order[e]], bx / bl, by / bl};
    }
  std::vector<double> f;
  for (int l = 0; l < nl && !poly.empty(); ++l) {
    const Line& ln = lines[l];
    f.resize(poly.size());
    for (std::size_t k = 0; k < poly.size(); ++k) {
      const double d = ln.nx * (poly[k].x - ln.ox) + ln.ny * (poly[k].y - ln.oy);
      f[k] = std::fabs(d) <= band ? 0.0 : d;
    }
    next.clear();
    const std::size_t m = poly.size();
    // A two-corner subject is a segment: walk it once, not as a closed loop.
    const std::size_t edges = m == 2 ? 1 : m;
    for (std::size_t k = 0; k < m; ++k) {
      const std::size_t k1 = (k + 1) % m;
      if (f[k] >= 0) next.push_back(poly[k]);
      if (k < edges && ((f[k] > 0 && f[k1] < 0) || (f[k] < 0 && f[k1] > 0))) {
        const double t = f[k] / (f[k] - f[k1]);
        P2 p;
        p.x = poly[k].x + (poly[k1].x - poly[k].x) * t;
        p.y = poly[k].y + (poly[k1].y - poly[k].y) * t;
        p.w = poly[k].w + (poly[k1].w - poly[k].w) * t;
        next.push_back(p);
      }
    }
    poly.swap(next);
  }
  cleanPolygon(poly, tau);
  return poly;
}

// Overlap of a coplanar subject (segment or triangle) and triangle `clip`.
// First an exact-sign pass: it gives the true corners of a proper overlap.
// Only when that overlap has lost a dimension (touching triangles, or a
// segment reduced to a point or nothing) is a tolerant pass run, with edge
// distances within tau counting as zero, so that contacts within the
// tolerance are found. The tolerant pass is not used for proper overlaps
// because near an acute corner of `clip` the tau bands of its two edges reach
// far beyond the corner and would move that corner.
void clipCoplanar(const V3* subject, int ns, const V3 clip[3], const Frame& frame, double tau, std::vector<V3>& out) {
  std::vector<P2> poly = clipPass(subject, ns, clip, frame, 0.0, tau);
  if (static_cast<int>(poly.size()) < ns) poly = clipPass(subject, ns, clip, frame, tau, tau);
  for (const P2& p : poly) out.push_back(p.w);
}

// Closest point of triangle (a, b, c) to p (Ericson, Real-Time Collision
// Detection, 5.1.5: Voronoi regions of the corners and edges).
V3 closestOnTriangle(const V3& p, const V3& a, const V3& b, const V3& c) {
  return vx::mesh::ClosestOnTriangle(p, a, b, c);
}

// Intersection of two points-or-segments lying on one line: the section of A
// (na = 1 or 2 points) and of B. Appends 0, 1 or 2 points.
void overlapOnLine(const V3* ca, int na, const V3* cb, int nb, double tau, std::vector<V3>& out) {
  const double la = na == 2 ? norm(ca[1] - ca[0]) : 0.0;
  const double lb = nb == 2 ? norm(cb[1] - cb[0]) : 0.0;
  if (std::max(la, lb) <= tau) {
    if (norm(ca[0] - cb[0]) <= tau) out.push_back(ca[0]);
    return;
  }
  const V3 dir = la >= lb ? ca[1] - ca[0] : cb[1] - cb[0];
  const V3 u = dir * (1.0 / norm(dir));
  struct End {
    double t;
    V3 p;
  };
  auto section = [&](const V3* c, int n, End& lo, End& hi) {
    lo = {dot(u, c[0]), c[0]};
    hi = n == 2 ? End{dot(u, c[1]), c[1]} : lo;
    if (hi.t < lo.t) std::swap(lo, hi);
  };
  End aLo, aHi, bLo, bHi;
  section(ca, na, aLo, aHi);
  section(cb, nb, bLo, bHi);
  const End lo = aLo.t >= bLo.t ? aLo : bLo;
  const End hi = aHi.t <= bHi.t ? aHi : bHi;
  if (hi.t < lo.t - tau) return;
  out.push_back(lo.p);
  if (hi.t - lo.t > tau) out.push_back(hi.p);
}

// Where the triangle t (with signed distances d, snapped signs s of its
// corners from the other plane) meets that plane: its corners on the plane
// first, then crossing points of its edges. Returns 1 or 2 points; the
// caller has excluded "all on one side" and "all on the plane".
int planeSection(const V3 t[3], const double d[3], const int s[3], V3 out[3]) {
  int n = 0;
  for (int i = 0; i < 3; ++i)
    if (s[i] == 0) out[n++] = t[i];
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    if (s[i] * s[j] < 0) out[n++] = edgeCross(t[i], t[j], d[i], d[j]);
  }
  return n;
}

// A segment (a flattened triangle) against a proper triangle.
void crossSegTri(const V3& p, const V3& q, const V3 t[3], const Flat& ft, double tau, std::vector<V3>& out,
                 bool& coplanar) {
  const double dp = dot(ft.n, p - ft.origin), dq = dot(ft.n, q - ft.origin);
  const int sp = snapSign(dp, tau), sq = snapSign(dq, tau);
  if (sp == sq && sp != 0) return;
  Frame frame;
  frame.set(ft.origin, ft.n, t[1] - t[0]);
  if (sp == 0 && sq == 0) {
    coplanar = true;
    const V3 seg[2] = {p, q};
    clipCoplanar(seg, 2, t, frame, tau, out);
    return;
  }
  const V3 x = sp == 0 ? p : (sq == 0 ? q : edgeCross(p, q, dp, dq));
  if (norm(closestOnTriangle(x, t[0], t[1], t[2]) - x) <= tau) out.push_back(x);
}

// Two segments (both triangles flattened).
void crossSegSeg(const V3& p1, const V3& q1, const V3& p2, const V3& q2, double tau, std::vector<V3>& out,
                 bool& coplanar) {
  const V3 d1 = q1 - p1, d2 = q2 - p2;
  const double l1 = norm(d1), l2 = norm(d2);
  if (std::max(l1, l2) <= tau) {
    if (norm(p1 - p2) <= tau) out.push_back(p1);
    return;
  }
  // Collinear: both ends of the shorter within tau of the longer's line.
  const V3& lp = l1 >= l2 ? p1 : p2;
  const V3 u = (l1 >= l2 ? d1 : d2) * (1.0 / std::max(l1, l2));
  const V3& sp = l1 >= l2 ? p2 : p1;
  const V3& sq = l1 >= l2 ? q2 : q1;
  if (norm(cross(sp - lp, u)) <= tau && norm(cross(sq - lp, u)) <= tau) {
    const V3 ca[2] = {p1, q1}, cb[2] = {p2, q2};
    const std::size_t before = out.size();
    overlapOnLine(ca, 2, cb, 2, tau, out);
    coplanar = out.size() > before;
    return;
  }
  // Closest points of the two segments (clamped line parameters).
  const V3 r = p1 - p2;
  const double a = dot(d1, d1), e = dot(d2, d2), f = dot(d2, r);
  double s = 0, t = 0;
  if (a <= tau * tau) {
    t = std::clamp(f / e, 0.0, 1.0);
  } else {
    const double c = dot(d1, r);
    if (e <= tau * tau) {
      s = std::clamp(-c / a, 0.0, 1.0);
    } else {
      const double b = dot(d1, d2);
      const double den = a * e - b * b;
      s = den > 0 ? std::clamp((b * f - c * e) / den, 0.0, 1.0) : 0.0;
      t = (b * s + f) / e;
      if (t < 0) {
        t = 0;
        s = std::clamp(-c / a, 0.0, 1.0);
      } else if (t > 1) {
        t = 1;
        s = std::clamp((b - c) / a, 0.0, 1.0);
      }
    }
  }
  const V3 c1 = p1 + d1 * s, c2 = p2 + d2 * t;
  if (norm(c1 - c2) <= tau) out.push_back(c1);
}

}  // namespace

namespace {

// Coplanar triangles (`aOnB`: every corner of A within tau of B's plane,
// `bOnA` likewise): their overlap region into `out`, counter-clockwise about
// A's normal.
void crossCoplanar(const V3 A[3], const V3 B[3], const Flat& fa, const Flat& fb, bool aOnB, bool bOnA, double tau,
                   std::vector<V3>& out) {
  // Clip A by B in the plane that the other one lies in (the larger
  // triangle's plane when both do).
  const bool refA = bOnA && (!aOnB || fa.area2 >= fb.area2);
  const Flat& fr = refA ? fa : fb;
  const V3* R = refA ? A : B;
  Frame frame;
  frame.set(fr.origin, fr.n, R[1] - R[0]);
  clipCoplanar(A, 3, B, frame, tau, out);
  if (out.size() >= 3) {
    V3 area{0, 0, 0};
    for (std::size_t i = 1; i + 1 < out.size(); ++i) area = area + cross(out[i] - out[0], out[i + 1] - out[0]);
    if (dot(area, fa.n) < 0) std::reverse(out.begin(), out.end());
  }
}

// Triangles on no common plane, each meeting the other's plane (dA, sA:
// A's corners' signed distances to B's plane and their snapped signs; dB,
// sB likewise): their crossing, a point or a segment, into `out`.
void crossTransversal(const V3 A[3], const V3 B[3], const double dA[3], const int sA[3], const double dB[3],
                      const int sB[3], const Flat& fb, double tau, std::vector<V3>& out) {
  // A meets B's plane in its section (a point or a segment), and
  // A n B = section n B: clip the section by B in B's plane. This does not
  // assume that A's and B's sections lie on one line, which fails for
  // nearly parallel planes once a corner within tau has been put on a
  // plane (it may then lie up to tau / sin(angle) off the true line).
  V3 secA[3], secB[3];
  const int na = planeSection(A, dA, sA, secA);
  const int nb = planeSection(B, dB, sB, secB);
  if (na == 1) {
    if (norm(closestOnTriangle(secA[0], B[0], B[1], B[2]) - secA[0]) <= tau) out.push_back(secA[0]);
  } else {
    Frame frame;
    frame.set(fb.origin, fb.n, B[1] - B[0]);
    clipCoplanar(secA, 2, B, frame, tau, out);
  }
  // A clipped end lies where B's boundary crosses A; B's own section has
  // that point computed from B's edge alone (the same bits for every
  // triangle sharing the edge), so take it when it is the same point.
  for (V3& x : out) {
    bool fromA = false;
    for (int i = 0; i < na; ++i) fromA = fromA || (x.x == secA[i].x && x.y == secA[i].y && x.z == secA[i].z);
    if (fromA) continue;
    int best = -1;
    for (int i = 0; i < nb; ++i)
      if (norm(x - secB[i]) <= 2 * tau && (best < 0 || norm(x - secB[i]) < norm(x - secB[best]))) best = i;
    if (best >= 0) x = secB[best];
  }
  if (out.size() == 2 && norm(out[1] - out[0]) <= tau) out.pop_back();
}

}  // namespace

void MeshTools::GetTowTrisCrossLine(const _vtx a[3], const _vtx b[3], std::vector<_vtx>& points, bool& coplanar) {
  points.clear();
  coplanar = false;
  V3 A[3], B[3], all[6];
  for (int i = 0; i < 3; ++i) {
    all[i] = A[i] = toV3(a[i]);
    all[i + 3] = B[i] = toV3(b[i]);
    if (!finite(A[i]) || !finite(B[i])) return;
  }
  const double S = std::max(queryScale(all, 6), std::max(longestEdge(A), longestEdge(B)));
  const double tau = kRelTol * S;

  std::vector<V3> out;
  const Flat fa = flatten(A, tau), fb = flatten(B, tau);
  if (!fa.isTri || !fb.isTri) {
    if (fa.isTri)
      crossSegTri(fb.p, fb.q, A, fa, tau, out, coplanar);
    else if (fb.isTri)
      crossSegTri(fa.p, fa.q, B, fb, tau, out, coplanar);
    else
      crossSegSeg(fa.p, fa.q, fb.p, fb.q, tau, out, coplanar);
  } else {
    double dA[3], dB[3];
    int sA[3], sB[3];
    for (int i = 0; i < 3; ++i) {
      dA[i] = dot(fb.n, A[i] - fb.origin);
      sA[i] = snapSign(dA[i], tau);
      dB[i] = dot(fa.n, B[i] - fa.origin);
      sB[i] = snapSign(dB[i], tau);
    }
    auto oneSide = [](const int s[3]) {
      return (s[0] > 0 && s[1] > 0 && s[2] > 0) || (s[0] < 0 && s[1] < 0 && s[2] < 0);
    };
    if (oneSide(sA) || oneSide(sB)) return;
    const bool aOnB = sA[0] == 0 && sA[1] == 0 && sA[2] == 0;
    const bool bOnA = sB[0] == 0 && sB[1] == 0 && sB[2] == 0;
    if (aOnB || bOnA) {
      coplanar = true;
      crossCoplanar(A, B, fa, fb, aOnB, bOnA, tau, out);
    } else {
      crossTransversal(A, B, dA, sA, dB, sB, fb, tau, out);
    }
  }
  points.reserve(out.size());
  for (const V3& p : out) points.push_back(toVtx(p));
}

int MeshTools::STLToMesh(const std::vector<_vtx>& soup, std::vector<_vtx>& verts, std::vector<int>& indices) {
  WeldPoints(soup.data(), soup.size() - soup.size() % 3, 1e-7, verts, indices);
  return static_cast<int>(verts.size());
}

void MeshTools::WeldPoints(const _vtx* points, std::size_t n, double tol, std::vector<_vtx>& verts,
                           std::vector<int>& indices) {
  std::vector<vx::mesh::Vec3> unique;
  vx::mesh::WeldPoints(points, n, tol, unique, indices);
  verts.clear();
  verts.reserve(unique.size());
  for (const vx::mesh::Vec3& p : unique) verts.push_back(toVtx(V3{p.x, p.y, p.z}));
}

void MeshTools::DivideMeshWithCrossLine(std::vector<int> edges, std::vector<_tri> tris,
                                        std::vector<std::vector<_tri>>& parts) {
  parts.clear();
  auto key = [](int32_t u, int32_t v) {
    if (v < u) std::swap(u, v);
    return (static_cast<uint64_t>(static_cast<uint32_t>(u)) << 32) | static_cast<uint32_t>(v);
  };
  std::vector<uint64_t> cut;
  cut.reserve(edges.size() / 2);
  for (std::size_t i = 0; i + 1 < edges.size(); i += 2) cut.push_back(key(edges[i], edges[i + 1]));
  std::sort(cut.begin(), cut.end());

  // Triangle edges sorted by key: triangles in one run share that edge.
  std::vector<std::pair<uint64_t, int>> te;
  te.reserve(tris.size() * 3);
  for (std::size_t t = 0; t < tris.size(); ++t) {
    const int32_t c[3] = {tris[t].a, tris[t].b, tris[t].c};
    for (int e = 0; e < 3; ++e)
      if (c[e] != c[(e + 1) % 3]) te.emplace_back(key(c[e], c[(e + 1) % 3]), static_cast<int>(t));
  }
  std::sort(te.begin(), te.end());

  std::vector<int> parent(tris.size());
  for (std::size_t i = 0; i < parent.size(); ++i) parent[i] = static_cast<int>(i);
  auto find = [&](int x) {
    while (parent[static_cast<std::size_t>(x)] != x) {
      int& px = parent[static_cast<std::size_t>(x)];
      px = parent[static_cast<std::size_t>(px)];
      x = px;
    }
    return x;
  };
  for (std::size_t i = 0; i < te.size();) {
    std::size_t j = i + 1;
    while (j < te.size() && te[j].first == te[i].first) ++j;
    if (!std::binary_search(cut.begin(), cut.end(), te[i].first)) {
      for (std::size_t k = i + 1; k < j; ++k) {
        const int r1 = find(te[i].second), r2 = find(te[k].second);
        if (r1 != r2) parent[static_cast<std::size_t>(std::max(r1, r2))] = std::min(r1, r2);
      }
    }
    i = j;
  }
  std::vector<int> group(tris.size(), -1);
  for (std::size_t t = 0; t < tris.size(); ++t) {
    const std::size_t r = static_cast<std::size_t>(find(static_cast<int>(t)));
    if (group[r] < 0) {
      group[r] = static_cast<int>(parts.size());
      parts.emplace_back();
    }
    parts[static_cast<std::size_t>(group[r])].push_back(tris[t]);
  }
}

double MeshTools::Compacity(const std::vector<_vtx>& verts, const std::vector<_fac>& facets, double& m1, double& m2) {
  m1 = 0;
  m2 = 0;
  if (verts.empty()) return 0;
  // Volumes are summed as tetrahedra from the centre of the vertices' box
  // rather than from the origin: the same total for a closed mesh, but no
  // cancellation of large terms for a mesh far from the origin. For an open
  // mesh the value depends on that centre.
  V3 lo = toV3(verts[0]), hi = lo;
  for (const _vtx& v : verts) {
    lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
    hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
  }
  const V3 o = (lo + hi) * 0.5;
  const int32_t nv = static_cast<int32_t>(verts.size());
  double area = 0, vol = 0;
  for (const _fac& f : facets) {
    if (f.a < 0 || f.b < 0 || f.c < 0 || f.a >= nv || f.b >= nv || f.c >= nv) continue;
    const V3 p = toV3(verts[static_cast<std::size_t>(f.a)]) - o;
    const V3 q = toV3(verts[static_cast<std::size_t>(f.b)]) - o;
    const V3 r = toV3(verts[static_cast<std::size_t>(f.c)]) - o;
    area += 0.5 * norm(cross(q - p, r - p));
    vol += dot(p, cross(q, r)) / 6.0;
  }
  m1 = area;
  m2 = vol;
  return area > 0 ? vol / area : 0.0;
}

bool MeshTools::PointInTriangle3dTo2d(const _vtx T[3], const _vtx& P, double& s, double& t) {
  s = 0;
  t = 0;
  const V3 t0 = toV3(T[0]), t1 = toV3(T[1]), t2 = toV3(T[2]), p = toV3(P);
  if (!finite(t0) || !finite(t1) || !finite(t2) || !finite(p)) return false;
  const V3 tri[3] = {t0, t1, t2};
  const double S = std::max(std::max(queryScale(tri, 3), maxAbs(p)), longestEdge(tri));
  const double tau = kRelTol * S;
  const Flat f = flatten(tri, tau);
  if (!f.isTri) return false;
  // Acceptance distance: tau, but at least kOnTriangleFloor, because callers
  // merge cut points within 1e-7 per coordinate (up to sqrt(3) * 1e-7 apart)
  // and the merged point must still count as lying on the triangle.
  const double accept = std::max(tau, kOnTriangleFloor);

  if (std::fabs(dot(f.n, p - f.origin)) > accept) return false;
  return vx::mesh::TriangleParams(t0, t1, t2, p, accept, s, t);
}

bool MeshTools::CheckTriNormal(const _vtx ref[3], const _vtx cand[3]) {
  const V3 r0 = toV3(ref[0]), c0 = toV3(cand[0]);
  const V3 nr = cross(toV3(ref[1]) - r0, toV3(ref[2]) - r0);
  const V3 nc = cross(toV3(cand[1]) - c0, toV3(cand[2]) - c0);
  return dot(nr, nc) > 0;
}

// Generalized winding number (Jacobson, Kavan, Sorkine-Hornung 2013): the sum
// of the signed solid angles of all triangles seen from p, over 4 pi, each
// from the Van Oosterom-Strackee formula. Chosen over ray parity because the
// meshes handed in are welded instance surfaces: they may hold several
// overlapping or nested shells (winding 2 inside both, where parity says
// "outside") and small cracks between separately tessellated faces (the
// winding number degrades gracefully; a ray through a crack flips parity).
// It needs each shell consistently oriented, outward or inward: |w| >= 1/2
// counts as inside.
//
// Points within tau of the surface are on it, hence not strictly inside; they
// are caught by an exact point-triangle distance before any solid angle is
// trusted. Beyond tau the sign of each determinant is exact in practice
// (its rounding is about 1e-16 L/h relative for a point at height h over a
// face of size L), so near-face points get the right answer.
bool MeshTools::PointInPolyhedron(const std::vector<_vtx>& verts, const std::vector<_tri>& tris, const _vtx& p) {
  const V3 P = toV3(p);
  if (tris.empty() || verts.empty() || !finite(P)) return false;
  const int32_t nv = static_cast<int32_t>(verts.size());
  V3 lo{0, 0, 0}, hi{0, 0, 0};
  bool any = false;
  for (const _tri& t : tris) {
    const int32_t c[3] = {t.a, t.b, t.c};
    for (int32_t i : c) {
      if (i < 0 || i >= nv) continue;
      const V3 v = toV3(verts[static_cast<std::size_t>(i)]);
      if (!any) {
        lo = hi = v;
        any = true;
      }
      lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
      hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
    }
  }
  if (!any || !finite(lo) || !finite(hi)) return false;
  const double S = std::max({maxAbs(lo), maxAbs(hi), maxAbs(P)});
  const double tau = kRelTol * S;
  if (P.x < lo.x - tau || P.y < lo.y - tau || P.z < lo.z - tau || P.x > hi.x + tau || P.y > hi.y + tau ||
      P.z > hi.z + tau)
    return false;

  double sum = 0;
  for (const _tri& t : tris) {
    if (t.a < 0 || t.b < 0 || t.c < 0 || t.a >= nv || t.b >= nv || t.c >= nv) continue;
    const V3 A = toV3(verts[static_cast<std::size_t>(t.a)]);
    const V3 B = toV3(verts[static_cast<std::size_t>(t.b)]);
    const V3 C = toV3(verts[static_cast<std::size_t>(t.c)]);
    const V3 a = A - P, b = B - P, c = C - P;
    // p within tau of this triangle's box: check the true distance.
    if (std::min({a.x, b.x, c.x}) <= tau && std::max({a.x, b.x, c.x}) >= -tau && std::min({a.y, b.y, c.y}) <= tau &&
        std::max({a.y, b.y, c.y}) >= -tau && std::min({a.z, b.z, c.z}) <= tau && std::max({a.z, b.z, c.z}) >= -tau) {
      if (norm(closestOnTriangle(P, A, B, C) - P) <= tau) return false;
    }
    sum += vx::mesh::HalfSolidAngle(P, A, B, C);
  }
  const double w = vx::mesh::WindingFromHalfAngles(sum);
  return std::fabs(w) >= 0.5;
}
