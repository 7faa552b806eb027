#pragma once
// The triangle search of one pair of placed shapes: which triangles of the
// iterated set meet (epsilon 0: exact test) or come within the epsilon
// (epsilon > 0: triangle distance) of which triangles of the searched set.
//
// Notation
//   A set is a shape's local triangles (PrimitiveData) with its matrix M
//   (local to world, Coin's row-vector convention: w = v M, computed with
//   SbMatrix::multVecMatrix) and M's inverse. W(t) are the world points of
//   local triangle t, box(W) their box, Q(t) = box(W(t)) grown by the
//   epsilon on every side (with epsilon > 0).
//   A pair (t, u), t iterated and u searched, is a candidate when W(t) and
//   W(u) both span some area and TriangleBoxTree::itemOverlap(box(W(u)),
//   Q(t)) holds, and a hit when the kernel says so on W(t) (first) and W(u).
//
// The searched set's hierarchy is over local boxes: Q(t) is mapped into that
// set's frame with a margin for rounding (conservative), and each pair it
// returns is then decided on world points exactly as above, so the hits do
// not depend on where the instances stand, only on their world points. Hits
// come in order: iterated index, then searched index.
//
// Reads only its two sets (whose hierarchies must be built beforehand) and
// writes only its own output: several threads may run disjoint parts of one
// search. No scene code beyond Coin's math value types.
#include <Inventor/SbMatrix.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "intersection/PrimitiveData.h"

namespace vx::isect {

struct __attribute__((visibility("hidden"))) PlacedSet {
  const PrimitiveData* prims;
  SbMatrix matrix;   // local to world
  SbMatrix inverse;  // matrix.inverse(), as the shape data holds it
};

struct __attribute__((visibility("hidden"))) TriangleHit {
  int iter;        // local index in the iterated set
  int tree;        // local index in the searched set
  float distance;  // triangle distance with epsilon > 0, else 0
};

class __attribute__((visibility("hidden"))) PairSearch {
public:
  // Both sets prepared (PrimitiveData::prepare) and alive while the search
  // is used.
  PairSearch(const PlacedSet& iterated, const PlacedSet& searched, float eps);

  // The iterated triangles that can have a candidate at all (their local
  // boxes meet the searched set's box mapped into their frame), ascending.
  const std::vector<int>& iterated() const { return m_iterated; }

  // Searches iterated()[from, to) and appends its hits in order. Polls
  // `stop` (may be null) every few triangles; returns false when it saw it
  // set, with the hits found so far.
  bool run(std::size_t from, std::size_t to, std::vector<TriangleHit>& hits,
           const std::atomic<int32_t>* stop = nullptr) const;

private:
  PlacedSet m_iter;
  PlacedSet m_tree;
  float m_eps;
  bool m_treeMappable;
  std::vector<int> m_iterated;
};

}  // namespace vx::isect
