#pragma once
// Whether an indexed triangle mesh bounds a volume, and which way it faces.
//
// A welded mesh bounds a volume when every edge is used as often in one
// direction as in the other (each shell closed and consistently wound; edges
// shared by four faces are accepted when they balance). Only then is the
// enclosed volume a number: for any other mesh the divergence sum depends on
// where it is taken from. Triangles with a repeated corner carry no area and
// are ignored. Self-intersections are not detected here.
#include <cstddef>
#include <cstdint>

#include "mesh/MeshVec.h"

namespace vx::mesh {

struct SolidCheck {
  bool closed = false;
  std::size_t unmatchedEdges = 0;  // directed edges without a partner the other way
  double volume = 0;               // signed enclosed volume (positive: outward wound); 0 when open
};

// points, three indices per triangle (an index out of range makes the mesh open).
SolidCheck CheckSolid(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris);

// The signed divergence sum of the triangles, taken from `origin`: the enclosed
// volume for a closed mesh (independent of the origin up to rounding).
double SignedVolume(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                    const Vec3& origin);

}  // namespace vx::mesh
