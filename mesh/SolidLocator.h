#pragma once
// Where a point lies with respect to a closed triangle mesh: inside, outside,
// or on its surface (and then whether the surface there faces the same way as
// a given normal). The cut face keeps a piece of one side's surface by asking
// this about a point inside the piece.
//
// Method: a ray from the point along a coordinate axis, counting signed
// crossings (+1 where the ray leaves through a face, -1 where it enters):
// the winding number, exact for closed, consistently oriented shells and
// right for nested or overlapping shells too (>= 1 inside). The triangles are
// bucketed in a 2D grid over the two other coordinates, one grid per axis,
// built on first use, so a query looks at the few triangles of one column.
// The axis tried first is the one closest to the given normal, so a face lying
// on the point's own face is never seen edge-on. A ray that passes within the
// tolerance of a triangle's edge is ambiguous and the next axis is tried;
// when all three are, the generalized winding number (solid angles of all
// triangles, linear time) decides.
//
// A point within the mesh tolerance of a triangle (measured along that
// triangle's normal, inside its projection) is on the surface.
//
// Contract: points and three indices per triangle (indices out of range are
// skipped); the data are copied. Orientation: outward or inward, consistent;
// Inside means |winding| >= 1. Not thread-safe (grids are built lazily).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "mesh/MeshVec.h"

namespace vxmesh {

enum class Where { Outside, Inside, OnSameFacing, OnOppositeFacing };

class SolidLocator {
public:
  // `scale`: the coordinate size that sets the tolerance (at least the mesh's own).
  SolidLocator(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris, double scale);
  ~SolidLocator();
  SolidLocator(const SolidLocator&) = delete;
  SolidLocator& operator=(const SolidLocator&) = delete;

  // Where p lies; `normal` is the facing of the query piece (any length).
  Where locate(const Vec3& p, const Vec3& normal) const;

  double tolerance() const { return m_tol; }

private:
  struct Grid;
  // -1: ambiguous along this axis.
  int rayAlong(int axis, const Vec3& p, const Vec3& normal, Where& on) const;
  Where bruteForce(const Vec3& p, const Vec3& normal) const;
  const Grid& grid(int axis) const;

  std::vector<Vec3> m_tri;  // three corners per triangle
  Vec3 m_lo, m_hi;
  double m_tol = 0;
  mutable std::unique_ptr<Grid> m_grid[3];
};

}  // namespace vxmesh
