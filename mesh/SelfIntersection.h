#pragma once
// Whether a welded triangle mesh crosses itself inside a box.
//
// A closed surface that crosses itself bounds regions counted twice (or
// turned inside out): its divergence sum, and any volume built on it, is not
// the volume of a solid. The cut face therefore asks this about each side,
// over the whole surface: a crossing far from the overlap still doubles (or
// turns over) regions that can reach into it, so a box smaller than the
// surface's own is only for callers that know where to look.
//
// What counts as crossing (tolerance: the mesh tolerance of `scale`):
//   - two triangles without a common corner index cross transversally: each
//     has corners strictly on both sides of the other's plane and their
//     crossing intervals along the planes' common line overlap by more than
//     the tolerance;
//   - two triangles with exactly one common corner: the edge of one opposite
//     that corner passes strictly through the interior of the other.
// Not looked for: coplanar overlaps (faces lying on faces of the same mesh,
// folds across a shared edge), crossings outside the box. Triangles are
// bucketed in a uniform grid over the box; each candidate pair is tested once.
//
// Contract: points and three indices per triangle (triangles with an index
// out of range or a repeated corner are skipped); `stop` (optional) is polled
// between grid cells, and a stopped search answers false.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "mesh/MeshVec.h"

namespace vx::mesh {

bool SelfIntersects(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris, double scale,
                    const Vec3& boxLo, const Vec3& boxHi, const std::function<bool()>& stop = {});

// A linear-time proof that a closed mesh does not cross itself, for the
// common case of a surface star-shaped about `center`: every triangle is seen
// from `center` turning the same way, by a clear margin, and the triangles'
// solid angles sum to one turn (4 pi, either sign). Then the projection from
// `center` onto a sphere around it is orientation-keeping everywhere and of
// degree one, so every ray from `center` meets the surface exactly once and
// no two triangles can cross (a crossing would show as a ray meeting both).
// False only means "not proven": the caller then searches (SelfIntersects).
//
// Contract: meaningful only for a closed mesh (every edge used as often in
// one direction as in the other, as CheckSolid decides); for an open one the
// answer proves nothing. Triangles with a repeated corner index are skipped;
// an index out of range, a non-finite point or a triangle seen edge-on from
// `center` gives false.
bool EmbeddedAroundPoint(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                         const Vec3& center);

}  // namespace vx::mesh
