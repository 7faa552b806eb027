#pragma once
// Geometry tools on plain meshes (double precision). No scene-graph code.
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
  //    2 when they share only a segment, 1 for a single point).
  static void GetTowTrisCrossLine(const _vtx a[3], const _vtx b[3],
                                  std::vector<_vtx>& points, bool& coplanar);

  // Welds a triangle soup (three points per triangle) into unique vertices and
  // three indices per soup triangle, in soup order. Points equal within 1e-7 in
  // every coordinate become one vertex. Returns the number of vertices.
  static int STLToMesh(const std::vector<_vtx>& soup, std::vector<_vtx>& verts,
                       std::vector<int>& indices);

  // Splits `tris` into connected groups; two triangles are connected when they
  // share an edge that is not a cut edge. `edges` holds consecutive index pairs
  // (either direction). `parts` is cleared, then receives the groups, each in
  // ascending order of first triangle, with unchanged vertex indices.
  static void DivideMeshWithCrossLine(std::vector<int> edges, std::vector<_tri> tris,
                                      std::vector<std::vector<_tri>>& parts);

  // m1 = surface area, m2 = enclosed volume (signed, divergence theorem;
  // positive for a closed outward-wound mesh). Returns m2 / m1 (0 when m1 is 0).
  static double Compacity(const std::vector<_vtx>& verts, const std::vector<_fac>& facets,
                          double& m1, double& m2);

  // True when P lies on triangle T (within a small tolerance); then
  // P = T0 + s (T2 - T0) + t (T1 - T0).
  static bool PointInTriangle3dTo2d(const _vtx T[3], const _vtx& P, double& s, double& t);

  // True when the normals of the two triangles point the same way
  // (positive dot product).
  static bool CheckTriNormal(const _vtx ref[3], const _vtx cand[3]);

  // True when p lies strictly inside the closed mesh (verts, tris).
  static bool PointInPolyhedron(const std::vector<_vtx>& verts, const std::vector<_tri>& tris,
                                const _vtx& p);
};
