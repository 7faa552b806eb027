#pragma once
// Triangle kernels of the intersection action: an exact intersection test
// and closest distances between points, segments and triangles.
//
// Notation
//   A triangle is three points t[0], t[1], t[2] (any consistent length unit;
//   the action passes world coordinates). Its plane P = SbPlane(t0, t1, t2)
//   has the unit normal n = (t1 - t0) x (t2 - t0) / |...| and the offset
//   d = n . t0, so that P's positive half space is { x : n . x >= d }.
//   A segment is s0 + r (s1 - s0), r in [0, 1].
//   A triangle's points are B + s E0 + t E1 with B = t0, E0 = t1 - t0,
//   E1 = t2 - t0, s >= 0, t >= 0, s + t <= 1.
//
// The exact test works in single precision with no tolerance other than
// exact float comparison, so its answer for touching, coplanar or nearly
// degenerate pairs depends on rounding; for pairs that cross or miss each
// other clearly it is the geometric answer. Coplanar triangles count as
// coplanar only when their planes compare exactly equal (same orientation
// included); the test then lifts one vertex of each triangle by the unit
// normal and decides on the lifted pair.
//
// The distances are computed in double precision from the float input and
// are exact closest distances up to rounding, with two documented shortcuts:
// a segment nearly parallel to a triangle ((d.n)^2 < 1e-6 |d|^2 |n|^2) is
// measured against the triangle's edges and its own end points only, and two
// segments within sin^2 = 1e-10 of parallel are measured end point to
// segment only. Both rules are relative: they hold at any length unit.
//
// Nothing here knows about scenes: points in, numbers out.
#include <Inventor/SbPlane.h>
#include <Inventor/SbVec3f.h>

namespace vx::tri {

// Side of `p` against a plane given by unit normal `n` and offset `d`, with
// exactly the arithmetic of SbPlane::isInHalfSpace: the dot product is summed
// in double precision, rounded to float, and compared with `d`. True on the
// plane and on the side the normal points to.
inline bool inHalfSpace(const SbVec3f& n, float d, const SbVec3f& p) {
  const float dot = static_cast<float>(static_cast<double>(n[0]) * p[0] + static_cast<double>(n[1]) * p[1] +
                                       static_cast<double>(n[2]) * p[2]);
  return dot - d >= 0.0f;
}

// Where the line through `from` and `to` meets the plane (unit normal `n`,
// offset `d`), with exactly the arithmetic of Coin's SbLine(from, to) and
// SbPlane::intersect: single precision, direction normalised, false when
// |n . direction| < FLT_EPSILON.
bool planeLineIntersection(const SbVec3f& n, float d, const SbVec3f& from, const SbVec3f& to, SbVec3f& at);

// Exact intersection test of t1 and t2 (see the notation block). The answer
// may differ when the arguments are swapped, for rounding reasons.
bool intersectExact(const SbVec3f t1[3], const SbVec3f t2[3]);

// Same test with the two planes given; `p1` and `p2` must equal
// SbPlane(t1[0], t1[1], t1[2]) and SbPlane(t2[0], t2[1], t2[2]). Lets callers
// that test one triangle many times compute its plane once.
bool intersectExact(const SbVec3f t1[3], const SbPlane& p1, const SbVec3f t2[3], const SbPlane& p2);

// Squared distance from `p` to the segment [s0, s1] (a point when s0 == s1).
double pointSegmentDistanceSq(const SbVec3f& p, const SbVec3f& s0, const SbVec3f& s1);

// Squared distance from `p` to the triangle t (the closest edge for a
// zero-area triangle).
double pointTriangleDistanceSq(const SbVec3f& p, const SbVec3f t[3]);

// Squared distance between the segments [p0, p1] and [q0, q1].
double segmentSegmentDistanceSq(const SbVec3f& p0, const SbVec3f& p1, const SbVec3f& q0, const SbVec3f& q1);

// Squared distance between the segment [s0, s1] and the triangle t; 0 when
// the segment pierces the triangle.
double segmentTriangleDistanceSq(const SbVec3f& s0, const SbVec3f& s1, const SbVec3f t[3]);

// Distance between the triangles t1 and t2: the square root of the smallest
// of the six squared edge-triangle distances (edges of t2 against t1, then
// edges of t1 against t2), starting from the largest float. 0 when the
// triangles cross.
float triangleDistance(const SbVec3f t1[3], const SbVec3f t2[3]);

// A cheap, conservative test for the epsilon search: true only when one
// triangle lies wholly on one side of the other's plane, farther than `eps`
// from it (with a margin for rounding), so that triangleDistance(t1, t2)
// would exceed `eps`. False says nothing.
bool separatedBeyond(const SbVec3f t1[3], const SbVec3f t2[3], float eps);

// The epsilon search's pair test: true when triangleDistance(t1, t2) <= eps,
// with that distance in `distance` (left alone when separatedBeyond already
// rules the pair out). Shares the work of the two calls.
bool distanceWithin(const SbVec3f t1[3], const SbVec3f t2[3], float eps, float& distance);

}  // namespace vx::tri
