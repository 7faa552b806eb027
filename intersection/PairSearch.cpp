#include "intersection/PairSearch.h"

#include <Inventor/SbPlane.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "intersection/TriangleKernels.h"

namespace vx::isect {
namespace {

// Relative margin for the rounding of mapping boxes between frames: the
// world points come from one float matrix product, the mapped boxes from
// another through the inverse; both stay within a few dozen ulps (1e-7
// relative each), far inside this.
constexpr float kRelMargin = 1e-5f;
constexpr int kStopPoll = 32;  // iterated triangles between looks at the stop flag

// An affine matrix with an invertible linear part: boxes map through it.
// Anything else (projective, singular) is searched without the hierarchy.
bool mappable(const SbMatrix& m) {
  if (m[0][3] != 0.0f || m[1][3] != 0.0f || m[2][3] != 0.0f || m[3][3] != 1.0f) return false;
  const double det = static_cast<double>(m.det3());
  double scale = 0.0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) scale = std::max(scale, std::fabs(static_cast<double>(m[i][j])));
  }
  return std::isfinite(det) && std::fabs(det) > 1e-12 * scale * scale * scale;
}

float maxAbs(const SbBox3f& b) {
  float r = 0.0f;
  for (int k = 0; k < 3; ++k) r = std::max({r, std::fabs(b.getMin()[k]), std::fabs(b.getMax()[k])});
  return r;
}

void grow(SbBox3f& b, float g) {
  b.getMin() -= SbVec3f(g, g, g);
  b.getMax() += SbVec3f(g, g, g);
}

// The box of the eight corners of `b` mapped by `m`, grown for rounding on
// both sides of the mapping.
SbBox3f mapBox(SbBox3f b, const SbMatrix& m) {
  grow(b, static_cast<float>(TriangleBoxTree::kSlack) + kRelMargin * maxAbs(b));
  SbBox3f out;
  const SbVec3f& lo = b.getMin();
  const SbVec3f& hi = b.getMax();
  for (int c = 0; c < 8; ++c) {
    const SbVec3f p(c & 1 ? hi[0] : lo[0], c & 2 ? hi[1] : lo[1], c & 4 ? hi[2] : lo[2]);
    SbVec3f q;
    m.multVecMatrix(p, q);
    out.extendBy(q);
  }
  grow(out, kRelMargin * maxAbs(out));
  return out;
}

SbBox3f boxOf(const SbVec3f p[3]) {
  SbBox3f box;
  box.extendBy(p[0]);
  box.extendBy(p[1]);
  box.extendBy(p[2]);
  return box;
}

}  // namespace

PairSearch::PairSearch(const PlacedSet& iterated, const PlacedSet& searched, float eps)
    : m_iter(iterated), m_tree(searched), m_eps(eps), m_treeMappable(mappable(searched.matrix)) {
  const int n = m_iter.prims->getNumTriangles();
  if (n == 0 || m_tree.prims->getNumTriangles() == 0) return;
  if (!m_treeMappable || !mappable(m_iter.matrix)) {
    m_iterated.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) m_iterated[static_cast<std::size_t>(i)] = i;
    return;
  }
  // Every candidate's world box lies in the searched set's world box; an
  // iterated triangle whose query cannot reach that box has none.
  SbBox3f reach = mapBox(m_tree.prims->getBox(), m_tree.matrix);
  if (m_eps > 0.0f) grow(reach, m_eps);
  m_iter.prims->getBoxTree().collect(mapBox(reach, m_iter.inverse), m_iterated);
}

bool PairSearch::run(std::size_t from, std::size_t to, std::vector<TriangleHit>& hits,
                     const std::atomic<int32_t>* stop) const {
  const bool distanceMode = m_eps > 0.0f;
  const SbVec3f epsGrow(m_eps, m_eps, m_eps);
  const TriangleBoxTree& tree = m_tree.prims->getBoxTree();
  const float inf = std::numeric_limits<float>::max();
  const SbBox3f everything(-inf, -inf, -inf, inf, inf, inf);
  std::vector<int> candidates;
  SbVec3f w[3], u[3];
  to = std::min(to, m_iterated.size());
  for (std::size_t k = from; k < to; ++k) {
    if (stop && (k - from) % kStopPoll == 0 && stop->load(std::memory_order_relaxed) != 0) return false;
    const int i = m_iterated[k];
    if (!m_iter.prims->worldTriangle(m_iter.matrix, i, w)) continue;
    SbBox3f query = boxOf(w);
    if (distanceMode) {
      query.getMin() -= epsGrow;
      query.getMax() += epsGrow;
    }
    if (TriangleBoxTree::isTiny(query)) continue;  // meets nothing under the item test
    candidates.clear();
    tree.collect(m_treeMappable ? mapBox(query, m_tree.inverse) : everything, candidates);
    bool hasPlane = false;
    SbPlane plane;
    for (const int j : candidates) {
      if (!m_tree.prims->worldTriangle(m_tree.matrix, j, u)) continue;
      if (!TriangleBoxTree::itemOverlap(boxOf(u), query)) continue;
      float distance = 0.0f;
      if (distanceMode) {
        if (!vx::tri::distanceWithin(w, u, m_eps, distance)) continue;
      } else {
        if (!hasPlane) {
          plane = SbPlane(w[0], w[1], w[2]);
          hasPlane = true;
        }
        if (!vx::tri::intersectExact(w, plane, u, SbPlane(u[0], u[1], u[2]))) continue;
      }
      hits.push_back(TriangleHit{i, j, distance});
    }
  }
  return true;
}

}  // namespace vx::isect
