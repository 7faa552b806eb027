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
  CTriangleMesh(const std::string& switches, const std::vector<_vtx>& points,
                const std::vector<int>& segments);
  ~CTriangleMesh();
  CTriangleMesh(const CTriangleMesh&) = delete;
  CTriangleMesh& operator=(const CTriangleMesh&) = delete;

  // Returns 0 on success, nonzero when the input could not be triangulated.
  int DoTriangulate();
  // a, b: unused outputs kept for the caller's signature (cleared).
  // tris: index triples into `points`; points: the output points (z = 0).
  void GetData(std::vector<int>& a, std::vector<int>& b, std::vector<_tri>& tris,
               std::vector<_vtx>& points) const;
  void ClearAll();

private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};
