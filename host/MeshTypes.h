#pragma once
// Plain mesh records shared by the mesh tools and the collision code.
#include <cstdint>
#include <vector>

struct _vtx {
  double x = 0, y = 0, z = 0;
};

// A triangle by value: corners 0, 1, 2 in order.
struct _triVtx {
  _vtx v[3];
};

// A triangle by three vertex indices; equal when a, b, c are equal in order.
struct _tri {
  int32_t a = 0, b = 0, c = 0;
  bool operator==(const _tri& o) const { return a == o.a && b == o.b && c == o.c; }
  bool operator!=(const _tri& o) const { return !(*this == o); }
};

struct _fac {
  int32_t a = 0, b = 0, c = 0;
};

// Indexed triangle mesh: vertices, then three indices per triangle.
struct _stlMesh {
  std::vector<_vtx> vtx;
  std::vector<int32_t> idx;
};
