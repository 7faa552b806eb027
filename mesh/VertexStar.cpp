#include "mesh/VertexStar.h"

namespace vx::mesh {

VertexStar::VertexStar(const int32_t* tris, std::size_t nTris, std::size_t nPoints)
    : m_tris(tris), m_start(nPoints + 1, 0), m_valid(nTris, 0) {
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    bool ok = true;
    for (int k = 0; k < 3; ++k) ok = ok && c[k] >= 0 && static_cast<std::size_t>(c[k]) < nPoints;
    if (!ok || c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) continue;
    m_valid[t] = 1;
    for (int k = 0; k < 3; ++k) ++m_start[static_cast<std::size_t>(c[k]) + 1];
  }
  for (std::size_t v = 0; v < nPoints; ++v) m_start[v + 1] += m_start[v];
  m_around.resize(m_start[nPoints]);
  std::vector<uint32_t> fill(m_start.begin(), m_start.end() - 1);
  for (std::size_t t = 0; t < nTris; ++t) {
    if (!m_valid[t]) continue;
    for (int k = 0; k < 3; ++k) m_around[fill[static_cast<std::size_t>(tris[3 * t + k])]++] = static_cast<int32_t>(t);
  }
}

bool VertexStar::hasEdge(std::size_t t, int32_t a, int32_t b) const {
  const int32_t* c = m_tris + 3 * t;
  return (c[0] == a && c[1] == b) || (c[1] == a && c[2] == b) || (c[2] == a && c[0] == b);
}

int VertexStar::uses(int32_t a, int32_t b) const {
  if (a < 0 || static_cast<std::size_t>(a) + 1 >= m_start.size()) return 0;
  int n = 0;
  for (uint32_t i = m_start[static_cast<std::size_t>(a)]; i < m_start[static_cast<std::size_t>(a) + 1]; ++i) {
    n += hasEdge(static_cast<std::size_t>(m_around[i]), a, b) ? 1 : 0;
  }
  return n;
}

int32_t VertexStar::triangleWith(int32_t a, int32_t b, int32_t self) const {
  if (a < 0 || static_cast<std::size_t>(a) + 1 >= m_start.size()) return -1;
  for (uint32_t i = m_start[static_cast<std::size_t>(a)]; i < m_start[static_cast<std::size_t>(a) + 1]; ++i) {
    const int32_t t = m_around[i];
    if (t != self && hasEdge(static_cast<std::size_t>(t), a, b)) return t;
  }
  return -1;
}

}  // namespace vx::mesh
