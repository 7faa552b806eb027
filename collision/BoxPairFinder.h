#pragma once
// Broad phase of the interference run: which axis-aligned boxes of one set
// meet which boxes of another. Plain arrays in, plain index lists out; no
// scene-graph code.
//
// Boxes are closed (touching boxes meet), given as lo[3], hi[3] in one
// length unit. An empty box (lo > hi on some axis) meets nothing.
//
// The targets go into a bounding-volume hierarchy built top-down by a
// median split along the longest axis of the box centres (leaves of at most
// 4 boxes), so a query costs O(log n + k) for k hits on well-spread boxes,
// and building costs O(n log n). A hand-written tree rather than a library:
// the run needs nothing but closed-box overlap, and this stays a few dozen
// lines with no dependency.
#include <cstdint>
#include <vector>

namespace vx::collide {

struct Box {
  float lo[3];
  float hi[3];
  bool Empty() const { return lo[0] > hi[0] || lo[1] > hi[1] || lo[2] > hi[2]; }
  bool Meets(const Box& o) const {
    return lo[0] <= o.hi[0] && o.lo[0] <= hi[0] && lo[1] <= o.hi[1] && o.lo[1] <= hi[1] && lo[2] <= o.hi[2] &&
           o.lo[2] <= hi[2];
  }
};

class BoxPairFinder {
public:
  // Builds the hierarchy over `targets` (copied).
  explicit BoxPairFinder(const std::vector<Box>& targets);

  // Appends to `out` the index of every target that meets `query`, in
  // ascending order. An empty query finds nothing.
  void Find(const Box& query, std::vector<int32_t>& out) const;

private:
  struct Node {
    Box box;
    int32_t first;  // leaf: first slot in m_order; inner: index of the left child
    int32_t count;  // leaf: number of boxes; inner: 0 (right child is first + 1)
  };
  // Fills node 0 and its subtree for m_order[begin, end).
  void Build(int32_t begin, int32_t end);

  std::vector<Box> m_boxes;
  std::vector<int32_t> m_order;  // target indices, leaves point into ranges of it
  std::vector<Node> m_nodes;
};

}  // namespace vx::collide
