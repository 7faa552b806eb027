#pragma once
// Geometry tools on plain meshes (double precision). No scene-graph code.
//
// Tolerance: the geometric tests below use tau = 4 * FLT_EPSILON * S (about
// 4.8e-7 S), S being the largest absolute coordinate of the points of the
// query (at least their longest edge). Distances at or below tau count as
// zero. The inputs come from single-precision world coordinates, so this is
// a few float ulps of the data; a far-from-origin model gets a coarser tau.
// Non-finite coordinates never crash anything: they give "no result".
#include <vector>
#include "host/MeshTypes.h"

class MeshTools {
public:
  // Crossing of triangles a and b. Clears `points`, then fills it with:
  //  - two points (the segment where the triangles cross) when they cross
  //    or touch along a segment,
  //  - one point when they touch in a single point, none when apart;
  //  - for coplanar triangles, `coplanar` is set true and `points` holds the
  //    corners of their overlap region (3 or more points for an area overlap,
  //    in order around it, counter-clockwise about a's normal; 2 when they
  //    share only a segment, 1 for a single point, none when apart).
  // Coplanar means: every corner of one triangle lies within tau of the
  // other's plane. A corner within tau of the other plane counts as lying on
  // it (so triangles sharing a corner or an edge touch exactly there). A
  // triangle whose height is at most tau is handled as its longest edge; if
  // that edge lies in the other triangle's plane, `coplanar` is true.
  // Crossing points on an edge are computed from the edge's corners in a
  // fixed order, so two triangles sharing that edge report the same point.
  static void GetTowTrisCrossLine(const _vtx a[3], const _vtx b[3], std::vector<_vtx>& points, bool& coplanar);

  // Welds a triangle soup (three points per triangle) into unique vertices and
  // three indices per soup triangle, in soup order. A soup point joins the
  // earliest vertex that equals it within 1e-7 in every coordinate (a vertex
  // keeps the coordinates of its first point); otherwise it starts a new one.
  // Non-finite points are never joined. A trailing incomplete triangle is
  // ignored. Returns the number of vertices. Expected time linear (grid hash).
  static int STLToMesh(const std::vector<_vtx>& soup, std::vector<_vtx>& verts, std::vector<int>& indices);
  // The welding of STLToMesh for any n points with tolerance `tol` (> 0):
  // verts gets the unique points, indices one entry per input point.
  static void WeldPoints(const _vtx* points, std::size_t n, double tol, std::vector<_vtx>& verts,
                         std::vector<int>& indices);

  // Splits `tris` into connected groups; two triangles are connected when they
  // share an edge that is not a cut edge. `edges` holds consecutive index pairs
  // (either direction). `parts` is cleared, then receives the groups, each in
  // ascending order of first triangle, with unchanged vertex indices.
  // Triangles sharing only a corner are not connected; an edge shared by
  // three or more triangles connects them all.
  static void DivideMeshWithCrossLine(std::vector<int> edges, std::vector<_tri> tris,
                                      std::vector<std::vector<_tri>>& parts);

  // m1 = surface area, m2 = enclosed volume (signed, divergence theorem;
  // positive for a closed outward-wound mesh). Returns m2 / m1 (0 when m1 is 0).
  // Facets with an index out of range are skipped.
  static double Compacity(const std::vector<_vtx>& verts, const std::vector<_fac>& facets, double& m1, double& m2);

  // True when P lies on triangle T: within max(tau, 2e-7) of its plane and of
  // the triangle itself (the floor covers cut points that callers merged
  // within 1e-7 per coordinate); then P = T0 + s (T2 - T0) + t (T1 - T0), so T0 maps to
  // (0, 0), T1 to (0, 1) and T2 to (1, 0) exactly. A point just outside the
  // triangle (within tau) gets the parameters of the nearest point of T, so
  // s >= 0, t >= 0 and s + t <= 1 always hold on success. False (s = t = 0)
  // for a degenerate T (height at most tau).
  static bool PointInTriangle3dTo2d(const _vtx T[3], const _vtx& P, double& s, double& t);

  // True when the normals of the two triangles point the same way
  // (positive dot product; false when either is degenerate).
  static bool CheckTriNormal(const _vtx ref[3], const _vtx cand[3]);

  // True when p lies strictly inside the closed mesh (verts, tris): its
  // generalized winding number has magnitude at least 1/2 and p is farther
  // than tau (S from the mesh's box and p) from every triangle. Each closed
  // shell must be consistently oriented (either way); overlapping or nested
  // shells and small cracks are tolerated. Triangles with an index out of
  // range are skipped. Time linear in the number of triangles.
  static bool PointInPolyhedron(const std::vector<_vtx>& verts, const std::vector<_tri>& tris, const _vtx& p);
};
