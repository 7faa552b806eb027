#include "mesh/TrianglePair.h"

namespace vx::mesh {

namespace {

Vec3 Normal(const Vec3 t[3]) { return Cross(t[1] - t[0], t[2] - t[0]); }

// Signed distances of the corners of `t` from the plane of `ref`; false for
// a degenerate `ref`.
bool Distances(const Vec3 ref[3], const Vec3 t[3], double d[3]) {
  const Vec3 n = Normal(ref);
  const double len = Norm(n);
  if (!(len > 0)) return false;
  for (int k = 0; k < 3; ++k) d[k] = Dot(n, t[k] - ref[0]) / len;
  return true;
}

}  // namespace

PairKind ClassifyPair(const Vec3 a[3], const Vec3 b[3], bool coplanar, double segmentLength, double overlapArea) {
  double scale = 0;
  for (int k = 0; k < 3; ++k) scale = std::max({scale, MaxAbs(a[k]), MaxAbs(b[k])});
  const double tol = MeshTolerance(scale);
  if (coplanar) {
    // An overlap thinner than the tolerance everywhere is a touch along a line.
    double edge = 0;
    for (int k = 0; k < 3; ++k) edge = std::max({edge, Norm(a[(k + 1) % 3] - a[k]), Norm(b[(k + 1) % 3] - b[k])});
    return overlapArea > tol * edge && Dot(Normal(a), Normal(b)) > 0 ? PairKind::Overlap : PairKind::Touch;
  }
  double da[3], db[3];
  if (!Distances(b, a, da) || !Distances(a, b, db)) return PairKind::Touch;
  const double aLo = std::min({da[0], da[1], da[2]}), aHi = std::max({da[0], da[1], da[2]});
  const double bLo = std::min({db[0], db[1], db[2]}), bHi = std::max({db[0], db[1], db[2]});
  const bool cross = aLo < -tol && aHi > tol && bLo < -tol && bHi > tol && segmentLength > tol;
  return cross ? PairKind::Cross : PairKind::Touch;
}

}  // namespace vx::mesh
