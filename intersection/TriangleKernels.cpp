#include "intersection/TriangleKernels.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

namespace vx::tri {
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
  const SbVec3f& n1 = p1.getNormal();
  const SbVec3f& n2 = p2.getNormal();
  const float d1 = p1.getDistanceFromOrigin(), d2 = p2.getDistanceFromOrigin();
  if (!planeLineIntersection(n2, d2, t1[0], t1[1], q[0])) return false;
  if (!planeLineIntersection(n2, d2, t1[0], t1[2], q[1])) return false;
  if (!planeLineIntersection(n1, d1, t2[0], t2[1], q[2])) return false;
  if (!planeLineIntersection(n1, d1, t2[0], t2[2], q[3])) return false;

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

// Closest point by region: the three corner regions, the three edge regions
// and the face, told apart by the signs of dot products along the edges.
double pointTriangleSq(const V3& p, const V3& a, const V3& b, const V3& c) {
  const V3 ab = b - a, ac = c - a;
  const V3 n = cross(ab, ac);
  if (!(dot(n, n) > 0.0)) {
    // Zero area: the closest point is on one of the edges.
    return std::min({pointSegmentSq(p, a, b), pointSegmentSq(p, b, c), pointSegmentSq(p, c, a)});
  }
  auto sq = [&p](const V3& q) {
    const V3 d = q - p;
    return dot(d, d);
  };
  const V3 ap = p - a;
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0.0 && d2 <= 0.0) return dot(ap, ap);  // corner a
  const V3 bp = p - b;
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0.0 && d4 <= d3) return dot(bp, bp);  // corner b
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) return sq(a + (d1 / (d1 - d3)) * ab);  // edge ab
  const V3 cp = p - c;
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0.0 && d5 <= d6) return dot(cp, cp);  // corner c
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) return sq(a + (d2 / (d2 - d6)) * ac);  // edge ac
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0.0 && d4 - d3 >= 0.0 && d5 - d6 >= 0.0) {
    return sq(b + ((d4 - d3) / ((d4 - d3) + (d5 - d6))) * (c - b));  // edge bc
  }
  const double inv = 1.0 / (va + vb + vc);  // face
  return sq(a + (vb * inv) * ab + (vc * inv) * ac);
}

// Squared sine below which two segments count as parallel. Relative, so that
// it holds at any length unit; the interior solution's error grows as
// 1 / sin^2, about 1e-6 relative here.
constexpr double kParallelSin2 = 1e-10;

// Closest points of two segments: the minimiser over the unit square of a
// convex quadratic, found by clamping s, solving t for it, and when t
// clamps, solving s again. Segments within sin^2 = 1e-10 of parallel
// (a00 a11 - a01^2 <= 1e-10 a00 a11) are measured end point to segment.
double segmentSegmentSq(const V3& p0, const V3& p1, const V3& q0, const V3& q1) {
  const V3 d0 = p1 - p0, d1 = q1 - q0, r = p0 - q0;
  const double a00 = dot(d0, d0), a01 = dot(d0, d1), a11 = dot(d1, d1);
  const double det = a00 * a11 - a01 * a01;
  if (!(det > kParallelSin2 * a00 * a11) || !(a00 > 0.0) || !(a11 > 0.0)) {
    return std::min({pointSegmentSq(p0, q0, q1), pointSegmentSq(p1, q0, q1), pointSegmentSq(q0, p0, p1),
                     pointSegmentSq(q1, p0, p1)});
  }
  const double b0 = dot(d0, r), b1 = dot(d1, r);
  double s = std::clamp((a01 * b1 - a11 * b0) / det, 0.0, 1.0);
  double t = (a01 * s + b1) / a11;
  if (t < 0.0) {
    t = 0.0;
    s = std::clamp(-b0 / a00, 0.0, 1.0);
  } else if (t > 1.0) {
    t = 1.0;
    s = std::clamp((a01 - b0) / a00, 0.0, 1.0);
  }
  const V3 diff = r + s * d0 - t * d1;
  return dot(diff, diff);
}

// The terms of one triangle that its distance computations share: corner
// p0, edges e0 = p1 - p0 and e1 = p2 - p0, normal n = e0 x e1, the Gram
// matrix of e0, e1 and its determinant, and the three border edges
// (p[k] to p[k+1]) with their squared lengths.
struct Frame {
  V3 p[3];
  V3 e0, e1, n;
  double a00, a01, a11, det, invDet, nn;
  V3 edge[3];
  double edgeSq[3], invEdgeSq[3];

  Frame(const V3& a, const V3& b, const V3& c) : p{a, b, c} {
    e0 = b - a;
    e1 = c - a;
    n = cross(e0, e1);
    a00 = dot(e0, e0);
    a01 = dot(e0, e1);
    a11 = dot(e1, e1);
    det = a00 * a11 - a01 * a01;
    invDet = det > 0.0 ? 1.0 / det : 0.0;
    nn = dot(n, n);
    for (int k = 0; k < 3; ++k) {
      edge[k] = p[(k + 1) % 3] - p[k];
      edgeSq[k] = dot(edge[k], edge[k]);
      invEdgeSq[k] = edgeSq[k] > 0.0 ? 1.0 / edgeSq[k] : 0.0;
    }
  }
  explicit Frame(const SbVec3f t[3]) : Frame(toV3(t[0]), toV3(t[1]), toV3(t[2])) {}

  // Does q project into the triangle (border included)? (s, t) are its
  // coordinates along e0, e1. Never for a zero-area triangle.
  bool projectsInside(const V3& q, double& s, double& t) const {
    if (!(det > 0.0)) return false;
    const V3 w = q - p[0];
    const double w0 = dot(w, e0), w1 = dot(w, e1);
    s = (a11 * w0 - a01 * w1) * invDet;
    t = (a00 * w1 - a01 * w0) * invDet;
    return s >= 0.0 && t >= 0.0 && s + t <= 1.0;
  }

  // Does the segment from s0 along d (|d|^2 = dd) cross the triangle at one
  // point? Segments (nearly) parallel to it, (d.n)^2 < 1e-6 |d|^2 |n|^2,
  // never count: their distance comes from the border terms alone.
  bool pierced(const V3& s0, const V3& d, double dd) const {
    const double dn = dot(d, n);
    if (!(dd > 0.0 && nn > 0.0) || dn * dn < 1e-6 * dd * nn) return false;
    const double num = dot(n, p[0] - s0);  // the crossing is at s0 + (num / dn) d
    if (dn > 0.0 ? (num < 0.0 || num > dn) : (num > 0.0 || num < dn)) return false;
    double s, t;
    return projectsInside(s0 + (num / dn) * d, s, t);
  }

  // Squared distance from q to the plane when q projects inside, else
  // infinity.
  double face(const V3& q) const {
    double s, t;
    if (!projectsInside(q, s, t)) return std::numeric_limits<double>::infinity();
    const V3 diff = p[0] + s * e0 + t * e1 - q;
    return dot(diff, diff);
  }

  // Squared distance from q to border edge k.
  double toEdge(const V3& q, int k) const {
    const double r = std::clamp(dot(q - p[k], edge[k]) * invEdgeSq[k], 0.0, 1.0);
    const V3 diff = p[k] + r * edge[k] - q;
    return dot(diff, diff);
  }

  // Are all corners of `o` farther than `lim` from this triangle's plane, on
  // one side? Compared against lim |n| to spare a square root.
  bool allBeyond(const Frame& o, double lim) const {
    if (!(nn > 0.0)) return false;
    const double l = lim * std::sqrt(nn);
    const double s0 = dot(n, o.p[0] - p[0]), s1 = dot(n, o.p[1] - p[0]), s2 = dot(n, o.p[2] - p[0]);
    return (s0 > l && s1 > l && s2 > l) || (s0 < -l && s1 < -l && s2 < -l);
  }
};

bool segmentPierces(const V3& s0, const V3& s1, const V3& b, const V3& v1, const V3& v2) {
  const V3 d = s1 - s0;
  return Frame(b, v1, v2).pierced(s0, d, dot(d, d));
}

double segmentTriangleSq(const V3& s0, const V3& s1, const V3& b, const V3& v1, const V3& v2) {
  // A piercing segment is at distance 0. Otherwise the minimum of the convex
  // distance over segment x triangle is on the border of that region: an end
  // point against the triangle, or the segment against an edge.
  if (segmentPierces(s0, s1, b, v1, v2)) return 0.0;
  return std::min({segmentSegmentSq(s0, s1, b, v1), segmentSegmentSq(s0, s1, v1, v2), segmentSegmentSq(s0, s1, v2, b),
                   pointTriangleSq(s0, b, v1, v2), pointTriangleSq(s1, b, v1, v2)});
}

// Squared triangle distance. The six edge-triangle distances share their
// parts: each is 0 when its edge pierces, else the least of its three
// edge-edge and two corner-triangle terms. So their minimum is 0 when any
// edge pierces, else the least of the nine edge pairs and the six corners
// against the other triangle; those terms in turn share the corner-to-edge
// distances (the borders of their regions), computed once here.
double distanceSq(const Frame& a, const Frame& b) {
  for (int k = 0; k < 3; ++k) {
    if (a.pierced(b.p[k], b.edge[k], b.edgeSq[k]) || b.pierced(a.p[k], a.edge[k], a.edgeSq[k])) return 0.0;
  }
  double pb[3][3], pa[3][3];  // pb[i][j]: corner i of b to edge j of a; pa likewise
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      pb[i][j] = a.toEdge(b.p[i], j);
      pa[i][j] = b.toEdge(a.p[i], j);
    }
  }
  double best = FLT_MAX;
  // Edge i of b against edge j of a: the interior minimum when it lies inside
  // both segments (non-parallel pairs only, as in segmentSegmentDistanceSq),
  // else an end point against the other edge.
  for (int i = 0; i < 3; ++i) {
    const int i1 = (i + 1) % 3;
    for (int j = 0; j < 3; ++j) {
      const int j1 = (j + 1) % 3;
      best = std::min({best, pb[i][j], pb[i1][j], pa[j][i], pa[j1][i]});
      const V3& d0 = b.edge[i];
      const V3& d1 = a.edge[j];
      const double a00 = b.edgeSq[i], a11 = a.edgeSq[j], a01 = dot(d0, d1);
      const double det = a00 * a11 - a01 * a01;  // >= 0 up to rounding
      if (!(det > kParallelSin2 * a00 * a11)) continue;
      const V3 r = b.p[i] - a.p[j];
      const double b0 = dot(d0, r), b1 = dot(d1, r);
      const double sn = a01 * b1 - a11 * b0, tn = a00 * b1 - a01 * b0;  // (s, t) times det
      if (sn < 0.0 || sn > det || tn < 0.0 || tn > det) continue;
      const double inv = 1.0 / det;
      const V3 diff = r + (sn * inv) * d0 - (tn * inv) * d1;
      best = std::min(best, dot(diff, diff));
    }
  }
  // Corners against the other triangle: the face distance when the corner
  // projects inside, else its distance to the nearest edge (already in best).
  for (int i = 0; i < 3; ++i) best = std::min({best, a.face(b.p[i]), b.face(a.p[i])});
  return best;
}

// Are the triangles provably farther apart than eps (one wholly beyond eps
// on one side of the other's plane)? The margin covers the rounding of this
// test and of distanceSq (double arithmetic on float input, then a float
// result): far more than either needs, far less than any useful epsilon.
bool separated(const Frame& a, const Frame& b, float eps) {
  double scale = 1.0;
  for (const Frame* f : {&a, &b}) {
    for (const V3& v : f->p) scale = std::max({scale, std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
  }
  const double lim = eps + 1e-6 * eps + 1e-9 * scale;
  return a.allBeyond(b, lim) || b.allBeyond(a, lim);
}

}  // namespace

bool separatedBeyond(const SbVec3f t1[3], const SbVec3f t2[3], float eps) {
  return separated(Frame(t1), Frame(t2), eps);
}

bool distanceWithin(const SbVec3f t1[3], const SbVec3f t2[3], float eps, float& distance) {
  const Frame a(t1), b(t2);
  if (separated(a, b, eps)) return false;
  distance = static_cast<float>(std::sqrt(distanceSq(a, b)));
  return distance <= eps;
}

bool planeLineIntersection(const SbVec3f& n, float d, const SbVec3f& from, const SbVec3f& to, SbVec3f& at) {
  // The line: position `from`, direction (to - from) normalised by one over
  // its float length, when that length is above 0.
  float dir[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
  const float len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
  if (len > 0.0f) {
    const float inv = 1.0f / len;
    for (float& c : dir) c *= inv;
  }
  const float denom = n[0] * dir[0] + n[1] * dir[1] + n[2] * dir[2];
  if (std::fabs(denom) < FLT_EPSILON) return false;
  const float t = (d - (n[0] * from[0] + n[1] * from[1] + n[2] * from[2])) / denom;
  at.setValue(dir[0] * t + from[0], dir[1] * t + from[1], dir[2] * t + from[2]);
  return true;
}

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
  return static_cast<float>(std::sqrt(distanceSq(Frame(t1), Frame(t2))));
}

}  // namespace vx::tri
