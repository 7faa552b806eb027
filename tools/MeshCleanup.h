#pragma once
// Clean-up of imported triangle meshes: plain arrays in, plain arrays out.
//
// Notation: `xyz` holds 3 floats per vertex (x, y, z of vertex v at 3v..3v+2);
// `tris` holds 3 vertex indices per triangle (a, b, c), every index in
// [0, vertex count) -- the caller checks that before calling.
//
// A triangle (a, b, c) is degenerate when two of its indices are equal or
// its area is zero to float precision: with e = longest edge,
//   |(B - A) x (C - A)| <= kFlatness * |e|^2,
// i.e. its height over the longest edge is at most kFlatness * |e|. The
// products are taken in double, so a flat triangle of float corners is
// recognised whatever its size; slivers thinner than about one float ulp
// of their own length carry no direction and break normals and cut lines.
// Known limit: the rule is relative to the triangle, not to where it lies;
// a small, nearly flat triangle far from the origin (its flatness lost in
// float rounding of its coordinates) is kept.
#include <cstddef>
#include <vector>

namespace meshcleanup {

constexpr double kFlatness = 1e-7;

// Index of the first vertex with a NaN or infinite coordinate, or -1.
long FirstNonFiniteVertex(const float* xyz, std::size_t vertexCount);

// True when triangle (a, b, c) is degenerate (see above).
bool IsDegenerate(const float* xyz, int a, int b, int c);

// Removes the degenerate triangles from `tris`, keeping the order of the
// others; returns how many were removed.
std::size_t DropDegenerateTriangles(const std::vector<float>& xyz, std::vector<int>& tris);

// Drops the vertices no triangle uses and renumbers `tris` accordingly;
// the kept vertices stay in their order.
void CompactVertices(std::vector<float>& xyz, std::vector<int>& tris);

}  // namespace meshcleanup
