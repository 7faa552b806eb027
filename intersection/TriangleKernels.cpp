#include "intersection/TriangleKernels.h"

#include <Inventor/SbLine.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace vxtri {
namespace {

// ---------------------------------------------------------------------------
// Exact test helpers (single precision, Coin's plane and line arithmetic).

// out = t rotated so that t[k] comes first; the cyclic order is kept.
inline void rotated(const SbVec3f t[3], int k, SbVec3f out[3]) {
  out[0] = t[k];
  out[1] = t[(k + 1) % 3];
  out[2] = t[(k + 2) % 3];
}

// Index of the vertex that is alone on its side, given the three sides of a
// triangle that does not lie wholly on one side: 0 when b and c agree.
inline int loneVertex(bool sa, bool sb, bool sc) {
  if (sa == sb) return 2;
  if (sa == sc) return 1;
  return 0;
}

// Coplanar pair: lifts one vertex of each triangle off the common plane so
// that the general test can decide. t1/t2 and p1/p2 are replaced by the
// lifted triangles (possibly swapped) and their planes.
void liftCoplanar(SbVec3f t1[3], SbVec3f t2[3], SbPlane& p1, SbPlane& p2) {
  const SbVec3f* all[6] = {&t1[0], &t1[1], &t1[2], &t2[0], &t2[1], &t2[2]};
  int far = 0;
  float farLen = all[0]->sqrLength();
  for (int k = 1; k < 6; ++k) {
    const float len = all[k]->sqrLength();
    if (len > farLen) {
      far = k;
      farLen = len;
    }
  }

  SbVec3f first[3], second[3];
  if (far < 3) {
    rotated(t1, far, first);
    rotated(t2, 0, second);
  } else {
    // The farthest vertex belongs to t2: t2 leads, and t1 starts at the
    // vertex whose position mirrors it ((3 - k) mod 3).
    const int k = far - 3;
    rotated(t2, k, first);
    rotated(t1, (3 - k) % 3, second);
  }

  // The second triangle starts at its vertex farthest from first[0],
  // preferring b over c and a over both on ties.
  const float d0 = (second[0] - first[0]).sqrLength();
  int pick = 0;
  if ((second[1] - first[0]).sqrLength() > d0) {
    pick = 1;
  } else if ((second[2] - first[0]).sqrLength() > d0) {
    pick = 2;
  }
  SbVec3f secondRot[3];
  rotated(second, pick, secondRot);

  const SbVec3f n = p1.getNormal();
  first[0] += n;
  secondRot[0] += n;
  for (int i = 0; i < 3; ++i) {
    t1[i] = first[i];
    t2[i] = secondRot[i];
  }
  p1 = SbPlane(t1[0], t1[1], t1[2]);
  p2 = SbPlane(t2[0], t2[1], t2[2]);
}

// The general (non-coplanar) test on triangles whose vertices have already
// been classified: s1[i] is the side of t1[i] against p2, s2[i] of t2[i]
// against p1; neither triangle lies wholly on one side.
bool crossingSpansOverlap(const SbVec3f t1in[3], const bool s1[3], const SbPlane& p1, const SbVec3f t2in[3],
                          const bool s2[3], const SbPlane& p2) {
  SbVec3f t1[3], t2[3];
  rotated(t1in, loneVertex(s1[0], s1[1], s1[2]), t1);
  rotated(t2in, loneVertex(s2[0], s2[1], s2[2]), t2);

  // The four points where the edges from each lone vertex meet the other
  // plane all lie on the line where the planes meet.
  SbVec3f q[4];
  if (!p2.intersect(SbLine(t1[0], t1[1]), q[0])) return false;
  if (!p2.intersect(SbLine(t1[0], t1[2]), q[1])) return false;
  if (!p1.intersect(SbLine(t2[0], t2[1]), q[2])) return false;
  if (!p1.intersect(SbLine(t2[0], t2[2]), q[3])) return false;

  // The point farthest from the origin ends the span of all four, because
  // the distance from the origin along a line is convex.
  int q0 = 0;
  float far = q[0].sqrLength();
  for (int k = 1; k < 4; ++k) {
    const float len = q[k].sqrLength();
    if (len > far) {
      q0 = k;
      far = len;
    }
  }
  const SbVec3f& Q0 = q[q0];
  const SbVec3f& Q1 = q[q0 ^ 1];
  const SbVec3f& Q2 = q[q0 < 2 ? 2 : 0];
  const SbVec3f& Q3 = q[q0 < 2 ? 3 : 1];
  const float own = (Q1 - Q0).sqrLength();
  return own > (Q2 - Q0).sqrLength() || own > (Q3 - Q0).sqrLength();
}

// ---------------------------------------------------------------------------
// Distance helpers (double precision).

struct V3 {
  double x, y, z;
};

inline V3 toV3(const SbVec3f& p) { return V3{p[0], p[1], p[2]}; }
inline V3 operator-(const V3& a, const V3& b) { return V3{a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator+(const V3& a, const V3& b) { return V3{a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator*(double s, const V3& a) { return V3{s * a.x, s * a.y, s * a.z}; }
inline double dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(const V3& a, const V3& b) {
  return V3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double pointSegmentSq(const V3& p, const V3& s0, const V3& s1) {
  const V3 d = s1 - s0;
  const double dd = dot(d, d);
  double r = 0.0;
  if (dd > 0.0) r = std::clamp(dot(p - s0, d) / dd, 0.0, 1.0);
  const V3 diff = s0 + r * d - p;
  return dot(diff, diff);
}

double pointTriangleSq(const V3& p, const V3& b, const V3& v1, const V3& v2) {
  const V3 e0 = v1 - b, e1 = v2 - b, dp = b - p;
  const double a00 = dot(e0, e0), a01 = dot(e0, e1), a11 = dot(e1, e1);
  const double b0 = dot(e0, dp), b1 = dot(e1, dp);
  const double det = a00 * a11 - a01 * a01;
  if (det > 0.0) {
    // Minimiser of |b + s e0 + t e1 - p|^2 over the plane; inside the
    // triangle it is the answer, otherwise the closest point is on an edge.
    const double s = (a01 * b1 - a11 * b0) / det;
    const double t = (a01 * b0 - a00 * b1) / det;
    if (s >= 0.0 && t >= 0.0 && s + t <= 1.0) {
      const V3 diff = dp + s * e0 + t * e1;
      return dot(diff, diff);
    }
  }
  return std::min({pointSegmentSq(p, b, v1), pointSegmentSq(p, v1, v2), pointSegmentSq(p, v2, b)});
}

double segmentSegmentSq(const V3& p0, const V3& p1, const V3& q0, const V3& q1) {
  const V3 d0 = p1 - p0, d1 = q1 - q0, r = p0 - q0;
  const double a00 = dot(d0, d0), a01 = dot(d0, d1), a11 = dot(d1, d1);
  const double det = a00 * a11 - a01 * a01;
  if (std::fabs(det) >= 1e-6) {
    const double b0 = dot(d0, r), b1 = dot(d1, r);
    const double s = (a01 * b1 - a11 * b0) / det;
    const double t = (a00 * b1 - a01 * b0) / det;
    if (s >= 0.0 && s <= 1.0 && t >= 0.0 && t <= 1.0) {
      const V3 diff = r + s * d0 - t * d1;
      return dot(diff, diff);
    }
  }
  // Parallel, or the unconstrained closest pair lies outside the unit square:
  // the constrained minimum is on the square's border, i.e. an end point of
  // one segment against the other segment.
  return std::min({pointSegmentSq(p0, q0, q1), pointSegmentSq(p1, q0, q1), pointSegmentSq(q0, p0, p1),
                   pointSegmentSq(q1, p0, p1)});
}

double segmentTriangleSq(const V3& s0, const V3& s1, const V3& b, const V3& v1, const V3& v2) {
  const V3 d = s1 - s0;
  const V3 e0 = v1 - b, e1 = v2 - b;
  const V3 n = cross(e0, e1);
  const double dn = dot(d, n);
  const double dd = dot(d, d), nn = dot(n, n);
  if (dd > 0.0 && nn > 0.0 && !(dn * dn < 1e-6 * dd * nn)) {
    // The segment's line crosses the plane at one point; when that point is
    // on the segment and inside the triangle the distance is zero.
    const double r = dot(n, b - s0) / dn;
    if (r >= 0.0 && r <= 1.0) {
      const V3 w = s0 + r * d - b;
      const double a00 = dot(e0, e0), a01 = dot(e0, e1), a11 = dot(e1, e1);
      const double w0 = dot(w, e0), w1 = dot(w, e1);
      const double det = a00 * a11 - a01 * a01;
      const double s = (a11 * w0 - a01 * w1) / det;
      const double t = (a00 * w1 - a01 * w0) / det;
      if (s >= 0.0 && t >= 0.0 && s + t <= 1.0) return 0.0;
    }
  }
  // Otherwise the minimum is on the border of the feasible region: an end
  // point against the triangle, or the segment against an edge.
  return std::min({segmentSegmentSq(s0, s1, b, v1), segmentSegmentSq(s0, s1, v1, v2),
                   segmentSegmentSq(s0, s1, v2, b), pointTriangleSq(s0, b, v1, v2),
                   pointTriangleSq(s1, b, v1, v2)});
}

}  // namespace

bool intersectExact(const SbVec3f t1[3], const SbVec3f t2[3]) {
  return intersectExact(t1, SbPlane(t1[0], t1[1], t1[2]), t2, SbPlane(t2[0], t2[1], t2[2]));
}

bool intersectExact(const SbVec3f t1[3], const SbPlane& p1, const SbVec3f t2[3], const SbPlane& p2) {
  const SbVec3f& n1 = p1.getNormal();
  const SbVec3f& n2 = p2.getNormal();
  const float d1 = p1.getDistanceFromOrigin();
  const float d2 = p2.getDistanceFromOrigin();

  if (n1 == n2 && d1 == d2) {
    SbVec3f a[3] = {t1[0], t1[1], t1[2]};
    SbVec3f b[3] = {t2[0], t2[1], t2[2]};
    SbPlane pa = p1, pb = p2;
    liftCoplanar(a, b, pa, pb);
    bool sa[3], sb[3];
    for (int i = 0; i < 3; ++i) sa[i] = inHalfSpace(pb.getNormal(), pb.getDistanceFromOrigin(), a[i]);
    if (sa[0] == sa[1] && sa[1] == sa[2]) return false;
    for (int i = 0; i < 3; ++i) sb[i] = inHalfSpace(pa.getNormal(), pa.getDistanceFromOrigin(), b[i]);
    if (sb[0] == sb[1] && sb[1] == sb[2]) return false;
    return crossingSpansOverlap(a, sa, pa, b, sb, pb);
  }

  // Most pairs end here: one triangle lies wholly on one side of the other's
  // plane.
  const bool s1[3] = {inHalfSpace(n2, d2, t1[0]), inHalfSpace(n2, d2, t1[1]), inHalfSpace(n2, d2, t1[2])};
  if (s1[0] == s1[1] && s1[1] == s1[2]) return false;
  const bool s2[3] = {inHalfSpace(n1, d1, t2[0]), inHalfSpace(n1, d1, t2[1]), inHalfSpace(n1, d1, t2[2])};
  if (s2[0] == s2[1] && s2[1] == s2[2]) return false;
  return crossingSpansOverlap(t1, s1, p1, t2, s2, p2);
}

double pointSegmentDistanceSq(const SbVec3f& p, const SbVec3f& s0, const SbVec3f& s1) {
  return pointSegmentSq(toV3(p), toV3(s0), toV3(s1));
}

double pointTriangleDistanceSq(const SbVec3f& p, const SbVec3f t[3]) {
  return pointTriangleSq(toV3(p), toV3(t[0]), toV3(t[1]), toV3(t[2]));
}

double segmentSegmentDistanceSq(const SbVec3f& p0, const SbVec3f& p1, const SbVec3f& q0, const SbVec3f& q1) {
  return segmentSegmentSq(toV3(p0), toV3(p1), toV3(q0), toV3(q1));
}

double segmentTriangleDistanceSq(const SbVec3f& s0, const SbVec3f& s1, const SbVec3f t[3]) {
  return segmentTriangleSq(toV3(s0), toV3(s1), toV3(t[0]), toV3(t[1]), toV3(t[2]));
}

float triangleDistance(const SbVec3f t1[3], const SbVec3f t2[3]) {
  const V3 a[3] = {toV3(t1[0]), toV3(t1[1]), toV3(t1[2])};
  const V3 b[3] = {toV3(t2[0]), toV3(t2[1]), toV3(t2[2])};
  double best = FLT_MAX;
  for (int i = 0; i < 3 && best > 0.0; ++i) best = std::min(best, segmentTriangleSq(b[i], b[(i + 1) % 3], a[0], a[1], a[2]));
  for (int i = 0; i < 3 && best > 0.0; ++i) best = std::min(best, segmentTriangleSq(a[i], a[(i + 1) % 3], b[0], b[1], b[2]));
  return static_cast<float>(std::sqrt(best));
}

}  // namespace vxtri
