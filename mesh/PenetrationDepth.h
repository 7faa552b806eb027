#pragma once
// A lower bound of the translational penetration depth of two solids, from
// the closed surface of their common volume (the cut face).
//
// Definition: twice the radius of a ball found inside the common volume.
// Moving one solid by less than 2r in any direction leaves the ball and its
// moved copy overlapping, and their overlap lies in both solids: no
// translation shorter than 2r separates them, so 2r <= the penetration depth.
// For a slab-shaped overlap (a box pushed into a box by d, a pin in a hole
// smaller by d in radius) the bound is d itself.
//
// Method: from the centroids of the largest triangles (at most `samples`), a
// ray along the inward normal to the first other triangle it meets; the
// midpoint of that chord lies inside, and its exact distance to the surface
// is r. The largest r found is kept. Cost: 2 x samples x triangles.
//
// Contract: `points`, `tris` an outward-wound closed surface (volume known);
// answers 0 when no chord is found.
#include <cstddef>
#include <cstdint>

#include "mesh/MeshVec.h"

namespace vx::mesh {

double PenetrationDepthLowerBound(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                                  std::size_t samples = 16);

// Distance from p to triangle (a, b, c).
double PointTriangleDistance(const Vec3& p, const Vec3& a, const Vec3& b, const Vec3& c);

}  // namespace vx::mesh
