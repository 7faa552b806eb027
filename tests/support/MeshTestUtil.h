#pragma once
// Vector arithmetic on the plain mesh records, for the mesh tool tests.
#include <cmath>

#include "host/MeshTypes.h"

namespace meshtest {

inline _vtx V(double x, double y, double z) { return {x, y, z}; }
inline _tri T(int a, int b, int c) { return {a, b, c}; }
inline _vtx operator+(const _vtx& a, const _vtx& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline _vtx operator-(const _vtx& a, const _vtx& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline _vtx operator*(double s, const _vtx& a) { return {s * a.x, s * a.y, s * a.z}; }
inline double Dot(const _vtx& a, const _vtx& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline _vtx Cross(const _vtx& a, const _vtx& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Norm(const _vtx& a) { return std::sqrt(Dot(a, a)); }
inline double Dist(const _vtx& a, const _vtx& b) { return Norm(a - b); }

}  // namespace meshtest
