#pragma once
// Point-to-triangle closeness and the generalized winding number, shared by
// the solid locator's last resort and the host's point-in-solid test (inline
// and standard-library only for that reason).
//
// Generalized winding number (Jacobson, Kavan, Sorkine-Hornung 2013): the sum
// of the signed solid angles of a surface's triangles seen from p, over 4 pi;
// each angle from the Van Oosterom-Strackee formula. Exact (an integer) for
// closed, consistently oriented shells; it degrades gracefully across small
// cracks, and counts nested or overlapping shells (2 inside both).
#include <algorithm>
#include <cmath>

#include "mesh/MeshVec.h"

namespace vx::mesh {

// Closest point of triangle abc to p (Voronoi regions of the corners, edges
// and face, as in Ericson's "Real-Time Collision Detection", 5.1.5). A
// degenerate triangle gives the nearest point of its three edges.
inline Vec3 ClosestOnTriangle(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c) {
  const Vec3 ab = b - a, ac = c - a, ap = p - a;
  const double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Vec3 bp = p - b;
  const double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return a + ab * (d1 / (d1 - d3));
  const Vec3 cp = p - c;
  const double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return a + ac * (d2 / (d2 - d6));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  const double den = va + vb + vc;
  if (!(den > 0)) {
    Vec3 best = a;
    double bestDist = Norm(p - a);
    const Vec3 ends[3][2] = {{a, b}, {b, c}, {c, a}};
    for (const auto& e : ends) {
      const Vec3 d = e[1] - e[0];
      const double l2 = Dot(d, d);
      const double t = l2 > 0 ? std::clamp(Dot(p - e[0], d) / l2, 0.0, 1.0) : 0.0;
      const Vec3 x = e[0] + d * t;
      if (Norm(p - x) < bestDist) {
        bestDist = Norm(p - x);
        best = x;
      }
    }
    return best;
  }
  return a + ab * (vb / den) + ac * (vc / den);
}

// The parameters (s, t) of p on triangle t0 t1 t2 (p ~ t0 + s (t2 - t0) +
// t (t1 - t0), least squares), for a p the caller has already found near the
// triangle's plane. A p whose projection falls outside the triangle gets the
// parameters of the triangle's nearest point when that lies within `accept`
// of the projection, so s, t >= 0 and s + t <= 1 hold on success; false
// beyond `accept` or for a degenerate triangle (no positive Gram determinant).
inline bool TriangleParams(const Vec3& t0, const Vec3& t1, const Vec3& t2, const Vec3& p, double accept, double& s,
                           double& t) {
  const Vec3 e2 = t2 - t0, e1 = t1 - t0, w = p - t0;
  const double a = Dot(e2, e2), b = Dot(e2, e1), c = Dot(e1, e1);
  const double det = a * c - b * b;
  if (!(det > 0)) return false;
  double ss = (c * Dot(w, e2) - b * Dot(w, e1)) / det;
  double tt = (a * Dot(w, e1) - b * Dot(w, e2)) / det;
  if (ss < 0 || tt < 0 || ss + tt > 1) {
    const Vec3 q = t0 + e2 * ss + e1 * tt;  // the projection onto the plane
    const Vec3 x = ClosestOnTriangle(q, t0, t1, t2);
    if (Norm(q - x) > accept) return false;
    const Vec3 wx = x - t0;
    ss = std::max(0.0, (c * Dot(wx, e2) - b * Dot(wx, e1)) / det);
    tt = std::max(0.0, (a * Dot(wx, e1) - b * Dot(wx, e2)) / det);
    if (ss + tt > 1) {
      const double sum = ss + tt;
      ss /= sum;
      tt /= sum;
    }
  }
  s = ss;
  t = tt;
  return true;
}

// Half the signed solid angle of triangle abc seen from p, in radians:
// positive when abc winds counter-clockwise seen from p.
inline double HalfSolidAngle(const Vec3& p, const Vec3& A, const Vec3& B, const Vec3& C) {
  const Vec3 a = A - p, b = B - p, c = C - p;
  const double la = Norm(a), lb = Norm(b), lc = Norm(c);
  const double det = Dot(a, Cross(b, c));
  const double den = la * lb * lc + Dot(a, b) * lc + Dot(a, c) * lb + Dot(b, c) * la;
  return std::atan2(det, den);
}

// The winding number from a sum of HalfSolidAngle terms.
inline double WindingFromHalfAngles(double sum) { return sum / (2.0 * 3.14159265358979323846); }

}  // namespace vx::mesh
