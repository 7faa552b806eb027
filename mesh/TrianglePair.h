#pragma once
// How two triangles of two different closed surfaces meet, for telling a
// penetration from a touch without building any cut face.
//
//   Cross      the triangles cross transversally: each has corners strictly
//              on both sides of the other's plane (beyond the mesh tolerance)
//              and their crossing segment is longer than the tolerance. Two
//              closed surfaces crossing like this have overlapping interiors.
//   Overlap    coplanar (every corner of each within the tolerance of the
//              other's plane), overlapping in a region of positive area, and
//              facing the same way: both solids lie on the same side of the
//              shared face, so their interiors overlap there.
//   Touch      anything else that meets within the tolerance: coplanar faces
//              facing opposite ways, an edge or a corner resting on a face.
//   Apart      no common point.
#include "mesh/MeshVec.h"

namespace vx::mesh {

enum class PairKind { Apart, Touch, Cross, Overlap };

// a, b: three corners each. `segmentLength` and `overlapArea` are the length
// of the crossing segment (non-coplanar) and the area of the coplanar overlap
// region, as the caller computed them; the kernel only classifies.
PairKind ClassifyPair(const Vec3 a[3], const Vec3 b[3], bool coplanar, double segmentLength, double overlapArea);

}  // namespace vx::mesh
