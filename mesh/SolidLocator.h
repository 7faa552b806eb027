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
// Rays go along z; one that passes within the tolerance of a triangle's edge
// or corner is ambiguous and x, then y are tried; when all three are, the
// generalized winding number (solid angles of all triangles, linear time)
// decides. Usually only the z grid is ever built.
//
// A point within the mesh tolerance of a triangle of the column (measured
// along the triangle's normal inside its projection, or as the true distance
// for a triangle seen edge-on) is on the surface.
//
// Contract: points and three indices per triangle (indices out of range are
// skipped); the data are copied. Orientation: outward or inward, consistent;
// Inside means |winding| >= 1. Not thread-safe (grids are built lazily).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "mesh/MeshVec.h"

namespace vx::mesh {

enum class Where { Outside, Inside, OnSameFacing, OnOppositeFacing };

class SolidLocator {
public:
  // `scale`: the coordinate size that sets the tolerance (at least the mesh's own).
  // `queryLo`/`queryHi` (optional): every query point lies in this box or is
  // answered Outside; the triangles no ray from the box can meet are dropped.
  SolidLocator(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris, double scale,
               const Vec3* queryLo = nullptr, const Vec3* queryHi = nullptr);
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
  Vec3 m_lo, m_hi;          // box of the kept triangles
  Vec3 m_qlo, m_qhi;        // query box (the mesh's box when none is given), widened by the tolerance
  double m_tol = 0;
  mutable std::unique_ptr<Grid> m_grid[3];
};

}  // namespace vx::mesh
