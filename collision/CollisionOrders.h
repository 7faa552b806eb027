#pragma once
// Tolerant orders for maps keyed by points and by triangles.
//
// Points: a < b when, with e = 1e-7, a.x < b.x - e; else (unless a.x > b.x + e)
// a.y < b.y - e; else (unless a.y > b.y + e) a.z < b.z - e. So two points are
// one key when every coordinate differs by at most e.
//
// Triangles: corner 0 is ordered with e; the later corners are consulted only
// when the earlier corners agree within f = 1e-8 (strictly). The same triangle
// with its corners in another order is another key.
#include <cmath>

#include "host/MeshTypes.h"

struct VtxLess {
  static constexpr double e = 1e-7;
  bool operator()(const _vtx& a, const _vtx& b) const {
    if (a.x < b.x - e) return true;
    if (a.x > b.x + e) return false;
    if (a.y < b.y - e) return true;
    if (a.y > b.y + e) return false;
    return a.z < b.z - e;
  }
};

struct TriVtxLess {
  static constexpr double e = 1e-7;
  static constexpr double f = 1e-8;
  static bool same(const _vtx& a, const _vtx& b) {
    return std::fabs(a.x - b.x) < f && std::fabs(a.y - b.y) < f && std::fabs(a.z - b.z) < f;
  }
  bool operator()(const _triVtx& A, const _triVtx& B) const {
    const _vtx& a0 = A.v[0];
    const _vtx& b0 = B.v[0];
    if (a0.x < b0.x - e) return true;
    if (a0.x <= b0.x + e && a0.y < b0.y - e) return true;
    if (a0.x <= b0.x + e && a0.y <= b0.y + e && a0.z < b0.z - e) return true;
    VtxLess less;
    if (same(a0, b0) && less(A.v[1], B.v[1])) return true;
    if (same(a0, b0) && same(A.v[1], B.v[1]) && less(A.v[2], B.v[2])) return true;
    return false;
  }
};
