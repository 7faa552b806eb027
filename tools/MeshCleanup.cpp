#include "tools/MeshCleanup.h"

#include <algorithm>
#include <cmath>

namespace meshcleanup {

long FirstNonFiniteVertex(const float* xyz, std::size_t vertexCount) {
  for (std::size_t v = 0; v < vertexCount; ++v)
    for (int k = 0; k < 3; ++k)
      if (!std::isfinite(xyz[3 * v + k])) return static_cast<long>(v);
  return -1;
}

bool IsDegenerate(const float* xyz, int a, int b, int c) {
  if (a == b || b == c || a == c) return true;
  const float* A = xyz + 3 * static_cast<std::size_t>(a);
  const float* B = xyz + 3 * static_cast<std::size_t>(b);
  const float* C = xyz + 3 * static_cast<std::size_t>(c);
  double ab[3], ac[3], bc[3];
  for (int k = 0; k < 3; ++k) {
    ab[k] = double(B[k]) - A[k];
    ac[k] = double(C[k]) - A[k];
    bc[k] = double(C[k]) - B[k];
  }
  const double n[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2], ab[0] * ac[1] - ab[1] * ac[0]};
  const double area2 = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  auto len2 = [](const double* d) { return d[0] * d[0] + d[1] * d[1] + d[2] * d[2]; };
  const double longest2 = std::max({len2(ab), len2(ac), len2(bc)});
  // Equal positions under different indices give longest2 == 0: degenerate.
  return area2 <= kFlatness * longest2;
}

std::size_t DropDegenerateTriangles(const std::vector<float>& xyz, std::vector<int>& tris) {
  std::size_t kept = 0;
  const std::size_t count = tris.size() / 3;
  for (std::size_t t = 0; t < count; ++t) {
    const int a = tris[3 * t], b = tris[3 * t + 1], c = tris[3 * t + 2];
    if (IsDegenerate(xyz.data(), a, b, c)) continue;
    tris[3 * kept] = a;
    tris[3 * kept + 1] = b;
    tris[3 * kept + 2] = c;
    ++kept;
  }
  tris.resize(3 * kept);
  return count - kept;
}

void CompactVertices(std::vector<float>& xyz, std::vector<int>& tris) {
  const std::size_t vertexCount = xyz.size() / 3;
  std::vector<int> newIndex(vertexCount, -1);
  for (int v : tris) newIndex[static_cast<std::size_t>(v)] = 0;
  int next = 0;
  for (std::size_t v = 0; v < vertexCount; ++v) {
    if (newIndex[v] < 0) continue;
    newIndex[v] = next;
    for (int k = 0; k < 3; ++k) xyz[3 * static_cast<std::size_t>(next) + k] = xyz[3 * v + k];
    ++next;
  }
  xyz.resize(3 * static_cast<std::size_t>(next));
  for (int& v : tris) v = newIndex[static_cast<std::size_t>(v)];
}

}  // namespace meshcleanup
