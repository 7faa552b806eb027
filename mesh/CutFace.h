#pragma once
// The cut face of two closed surfaces: the surface of the volume they share,
// made of the pieces of each side's surface that lie inside the other.
//
// Input per side: its welded surface (for the inside test and the volume
// check), and the same surface cut along the cut lines (every triangle that
// crosses the other side replaced by triangles whose edges follow the cut
// lines), with the cut edges as index pairs into the cut surface's points.
//
// Which pieces are kept:
//   - a triangle with a corner on a cut edge is judged alone, by its centroid;
//   - the other triangles form connected regions (across shared edges), each
//     wholly inside or outside, judged by the centroid of its largest triangle;
//   - inside the other side: kept; on the other side's surface (a face lying
//     on a face): kept once, from the first side, where both face the same way
//     (the shared volume is bounded there), and from neither where they face
//     opposite ways (a contact: no layer, no volume).
// A judgement looks at one point, so a piece that straddles the other surface
// without a cut edge (a crossing the pair search missed) is judged as a whole.
//
// The volume is the divergence sum of the kept pieces, each side oriented
// outward. It is known only when both surfaces are closed (see SolidCheck);
// and neither crosses itself anywhere (see SelfIntersection);
// otherwise `volumeNote` says why there is none. With the volume comes a
// lower bound of the penetration depth (see PenetrationDepth).
#include <functional>
#include <string>
#include <vector>

#include "mesh/MeshVec.h"

namespace vx::mesh {

struct CutFaceSide {
  std::vector<Vec3> points;     // welded surface
  std::vector<int> tris;        // three indices per triangle
  std::vector<Vec3> cutPoints;  // the surface cut along the cut lines
  std::vector<int> cutTris;
  std::vector<int> cutEdges;  // pairs of indices into cutPoints
};

struct CutFace {
  // The kept pieces, welded within the mesh tolerance and with T-junctions
  // along the seams split (see PointGrid), outward wound.
  std::vector<Vec3> points;
  std::vector<int> tris;
  bool volumeKnown = false;
  double volume = 0;
  std::string volumeNote;        // empty when the volume is known
  double penetrationDepth = -1;  // lower bound, same units as the points; negative when unknown
};

// `stop` is polled between pieces, and by the self-crossing search, which
// runs on a second thread: it must be safe to call from two threads at once.
// A stopped build returns what it has, with the volume unknown.
CutFace BuildCutFace(const CutFaceSide& first, const CutFaceSide& second, const std::function<bool()>& stop);

}  // namespace vx::mesh
