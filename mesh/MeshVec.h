#pragma once
// The small vector type and the one tolerance of the mesh kernels.
//
// Points come from single-precision world coordinates: a vertex carries a few
// float ulps of rounding relative to its magnitude. Two points, or a point
// and a plane, closer than MeshTolerance(S) count as coincident, S being the
// largest absolute coordinate of the data compared (at least 1). Every kernel
// of this folder uses this one definition.
#include <algorithm>
#include <cmath>

namespace vx::mesh {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Norm(const Vec3& a) { return std::sqrt(Dot(a, a)); }
inline double MaxAbs(const Vec3& p) { return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}); }
inline bool Finite(const Vec3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
// Coordinate k (0 x, 1 y, 2 z).
inline double At(const Vec3& p, int k) { return k == 0 ? p.x : (k == 1 ? p.y : p.z); }

// An axis-aligned box grown point by point; lo = hi = (0, 0, 0) while empty.
struct Box3 {
  Vec3 lo, hi;
  bool empty = true;
  void Extend(const Vec3& p) {
    if (empty) lo = hi = p;
    empty = false;
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
};
inline Box3 BoxOf(const Vec3* points, std::size_t n) {
  Box3 box;
  for (std::size_t i = 0; i < n; ++i) box.Extend(points[i]);
  return box;
}

// Four float ulps (4 FLT_EPSILON) relative to a coordinate's size.
constexpr double kMeshRelTolerance = 4.0 * 1.1920928955078125e-07;

// The tolerance for coordinates of size `scale` (scale below 1 counts as 1).
inline double MeshTolerance(double scale) { return kMeshRelTolerance * std::max(scale, 1.0); }

}  // namespace vx::mesh
