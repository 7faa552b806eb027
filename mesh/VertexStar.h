#pragma once
// The triangles around each vertex of an indexed mesh (compressed rows), for
// edge questions in linear time: how often a directed edge is used, which
// triangles share an edge. Triangles with an index out of range or a repeated corner are left out.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx::mesh {

class VertexStar {
public:
  VertexStar(const int32_t* tris, std::size_t nTris, std::size_t nPoints);

  // Triangles using the directed edge a -> b (corners in cyclic order).
  int uses(int32_t a, int32_t b) const;
  // The first triangle other than `self` using a -> b, or -1.
  int32_t triangleWith(int32_t a, int32_t b, int32_t self) const;
  bool valid(std::size_t t) const { return m_valid[t] != 0; }
  // The triangles around point v: [first, last).
  const int32_t* begin(std::size_t v) const { return m_around.data() + m_start[v]; }
  const int32_t* end(std::size_t v) const { return m_around.data() + m_start[v + 1]; }

private:
  bool hasEdge(std::size_t t, int32_t a, int32_t b) const;
  const int32_t* m_tris;
  std::vector<uint32_t> m_start;  // nPoints + 1
  std::vector<int32_t> m_around;
  std::vector<char> m_valid;
};

}  // namespace vx::mesh
