#pragma once
// Cutting a welded surface along cut lines: every triangle the other surface
// crosses is re-triangulated in its own parameter plane so that its cut
// segments become edges of the surface. The cut face (CutFace.h) then keeps
// or drops whole pieces on either side of those edges.
//
// Parameter plane of a triangle T = (T0, T1, T2): P = T0 + s (T2 - T0) + t (T1 - T0),
// so T0 -> (0, 0), T1 -> (0, 1), T2 -> (1, 0).
//
// Tolerance: the mesh tolerance tau of the largest coordinate of the surface
// and the cut points (MeshVec.h), used for every "same point" decision:
//   - cut points within tau of each other (every coordinate) are one point,
//     the first of them in the cut point list; a segment that collapses is dropped;
//   - a cut point within tau of a corner of its triangle is that corner;
//   - a point within tau of an existing surface point is that point (the
//     earliest one), otherwise it is appended to the surface;
//   - a cut point within tau of an edge of its triangle (as a distance) is put
//     exactly on the edge, so that the neighbour sharing the edge is split at
//     the same point and no sliver forms.
// Cut points that fall on one parameter-plane point (within 1e-8 in s and t)
// are joined. The pieces are a constrained Delaunay triangulation (CGAL, exact
// predicates) of the corners, the cut points and the cut segments, wound as T.
//
// A crossed triangle is left whole, and only it, when a cut point lies
// farther than 2 tau from it, or when the triangulation needs a point of its
// own (cut segments crossing each other inside it).
#include <functional>
#include <vector>

#include "mesh/MeshVec.h"

namespace vx::mesh {

struct CrossedTriangle {
  Vec3 corners[3];            // the triangle as the pair search saw it
  std::vector<int> segments;  // index pairs into the cut points
};

struct CutSurface {
  // The surface's points unchanged and in order, then the new cut points.
  std::vector<Vec3> points;
  std::vector<int> tris;      // three indices per triangle
  std::vector<int> cutEdges;  // index pairs into points, one per cut segment kept
  int leftWhole = 0;          // crossed triangles that could not be cut
};

// `points`/`tris`: the welded surface; `crossed` in the order to process them
// (it decides which of several close points is first). A triangle is matched
// to a crossed one by its corner indices, in order. `stop` (optional) is
// polled between triangles; a stopped cut returns what it has.
CutSurface CutAlongSegments(const std::vector<Vec3>& points, const std::vector<int>& tris,
                            const std::vector<Vec3>& cutPoints, const std::vector<CrossedTriangle>& crossed,
                            const std::function<bool()>& stop = {});

}  // namespace vx::mesh
