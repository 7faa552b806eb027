#pragma once
// Constrained 2D triangulation of a planar straight-line graph.
// Points are read in the x/y plane; `segments` holds index pairs that must
// appear as edges. The output points start with the input points, in input
// order; points the triangulator adds (at crossing constraints) follow.
#include <memory>
#include <string>
#include <vector>
#include "host/MeshTypes.h"

class CTriangleMesh {
public:
  // `switches` uses the classic Triangle program syntax ("pzAevnQ"); it is
  // accepted and kept, the triangulation is always a constrained Delaunay one.
  CTriangleMesh(const std::string& switches, const std::vector<_vtx>& points, const std::vector<int>& segments);
  ~CTriangleMesh();
  CTriangleMesh(const CTriangleMesh&) = delete;
  CTriangleMesh& operator=(const CTriangleMesh&) = delete;

  // Status bits returned by DoTriangulate (0 = success).
  enum Status {
    kBadPoint = 1,    // a point is not finite, or repeats an earlier point
                      // exactly (the earlier index gets the vertex; the later
                      // one stays in the output points, used by no triangle)
    kBadSegment = 2,  // a segment has an index out of range, joins a point to
                      // itself (or to its duplicate), or the list is odd; it is
                      // skipped
    kNoArea = 4,      // fewer than three distinct points not on one line: no
                      // triangles
    kFailed = 8       // the triangulator gave up: no triangles
  };

  // Triangulates; returns 0 on success, else an OR of Status bits. Whatever
  // it returns, GetData gives a consistent result: output points start with
  // every input point in input order, and triangles only use points that the
  // triangulation holds. On success the triangles (counter-clockwise) cover
  // exactly the convex hull of the usable points and every usable segment is
  // a union of triangle edges (split where other segments cross it or where
  // input points lie on it).
  int DoTriangulate();
  // a, b: unused outputs kept for the caller's signature (cleared).
  // tris: index triples into `points`; points: the output points (z = 0).
  void GetData(std::vector<int>& a, std::vector<int>& b, std::vector<_tri>& tris, std::vector<_vtx>& points) const;
  // Forgets the input and the result.
  void ClearAll();

private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
