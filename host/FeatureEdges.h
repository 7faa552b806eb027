#pragma once
// Feature edges of a triangle mesh, fitted as lines, circular arcs and
// circles: what a viewer snaps to on a tessellated part.
//
// Input: `xyz` holds 3 floats per vertex, `tris` 3 vertex indices per
// triangle. The mesh may be a soup (every triangle with vertices of its own,
// as STL gives): vertices are welded on equal coordinates first. Triangles
// with an index out of range, a non-finite corner or no area are skipped.
// Winding may be inconsistent between neighbours: a neighbour that runs the
// shared edge the same way is taken flipped.
//
// An edge is sharp when it bounds one triangle, or more than two, or when the
// normals of its two triangles differ by more than `sharpAngleDeg`. Sharp
// edges are joined into chains through vertices where exactly two of them
// meet, chains are split where they turn by more than `cornerAngleDeg`, and
// each piece is fitted: a line when every point lies within the tolerance of
// the segment between its ends (in order), else a circular arc (at least three
// segments, every point within the tolerance of one circle and its plane,
// turning one way), else it is halved and each half fitted again. A smooth
// closed chain that fits one circle all round is a circle. The tolerance is
// `relTolerance` times the diagonal of the mesh's bounding box.
//
// Cost: linear in triangles for finding and chaining the edges (an
// open-addressing weld, the triangles around each vertex), O(n log n) in the
// points of a chain for fitting.
//
// Fitted values are computed from the tessellation's vertices: a circle's
// centre and radius are exact for a regular polygon inscribed in the circle
// (up to float input), end points are the chain's end vertices.
#include <vector>

namespace vx::host {

struct FeatureEdgeOptions {
  double sharpAngleDeg = 30.0;
  double cornerAngleDeg = 45.0;
  double relTolerance = 1e-4;
};

struct FeatureCurve {
  enum Kind { LINE, ARC, CIRCLE };
  Kind kind = LINE;
  // Vertex indices (into the input) along the curve, start to end; a circle
  // lists each of its vertices once (its first point closes it).
  std::vector<int> points;
  // ARC and CIRCLE: centre, unit axis (the curve runs counter-clockwise
  // about it from its first point), radius.
  double centre[3] = {0, 0, 0};
  double axis[3] = {0, 0, 1};
  double radius = 0;
};

std::vector<FeatureCurve> FindFeatureCurves(const std::vector<float>& xyz, const std::vector<int>& tris,
                                            const FeatureEdgeOptions& options = FeatureEdgeOptions());

}  // namespace vx::host
