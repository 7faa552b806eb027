#pragma once
// Welding points that lie within a tolerance of each other, through a hash
// grid of cells a few tolerances wide (a query looks at the 27 cells around
// its point, never at the whole list).
//
// A point joins the first earlier representative within `tol` in every
// coordinate; otherwise it becomes a representative itself (keeping its own
// coordinates). Non-finite points are never joined.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "mesh/MeshVec.h"

namespace vxmesh {

class PointGrid {
public:
  explicit PointGrid(double tol);
  // The index (into points()) of the representative p joins, or of p itself as a new one.
  int insert(const Vec3& p);
  const std::vector<Vec3>& points() const { return m_points; }

private:
  int64_t cell(double x) const;
  static uint64_t key(int64_t i, int64_t j, int64_t k);
  double m_tol, m_cell;
  std::vector<Vec3> m_points;
  std::unordered_map<uint64_t, std::vector<int>> m_cells;
};

// Welds `corners` (three per triangle) within `tol` into points and three
// indices per triangle; triangles that lose a corner to welding are dropped.
void WeldTriangles(const std::vector<Vec3>& corners, double tol, std::vector<Vec3>& points, std::vector<int>& tris);

// Closes T-junctions of a welded surface: where an edge used in one direction
// only has a point of another such edge on it (within `tol`, strictly between
// its ends), the triangle of that edge is split at the point, so that both
// sides of the seam end up with the same vertices. Bounded work: nothing is
// done when more than `maxOpenEdges` edges are unmatched.
void CloseTJunctions(const std::vector<Vec3>& points, std::vector<int>& tris, double tol,
                     std::size_t maxOpenEdges = 20000);

}  // namespace vxmesh
