#pragma once
// A bounding-volume hierarchy over the boxes of one set of triangles: which
// triangles of the set may meet a query box. The intersection action keeps
// one per shape, over the triangles in the shape's own (local) coordinates,
// and asks it with world query boxes mapped into that frame.
//
// The partner rule the action applies afterwards, on world boxes, is the
// item test below (itemOverlap): triangle b is a candidate for query box Q
// when their boxes meet within 0.0001 and neither box is below 0.0001 on
// every axis. The hierarchy itself only answers the slack rule (collect), so
// that a caller whose query is conservative gets a superset of the
// candidates and filters it exactly. Boxes in, indices out; no scene code.
#include <Inventor/SbBox3f.h>

#include <utility>
#include <vector>

class TriangleBoxTree {
public:
  // Builds over boxes[0..n-1] (one per triangle, in the set's order).
  explicit TriangleBoxTree(const std::vector<SbBox3f>& boxes);

  // Appends to `out` the index (position in the set) of every item whose
  // box meets `query` within the slack (mayMeet), tiny or not, in
  // ascending order.
  void collect(const SbBox3f& query, std::vector<int>& out) const;

  int size() const { return static_cast<int>(m_items.size()); }
  // Heap bytes held (for measurements).
  size_t memoryBytes() const { return m_nodes.capacity() * sizeof(Node) + m_items.capacity() * sizeof(Item); }

  // Boxes closer than this count as meeting; below this on every axis a box
  // counts as a point.
  static constexpr double kSlack = 0.0001;

  // True when `box` is below 0.0001 on every axis (differences in single
  // precision, compared in double precision).
  static bool isTiny(const SbBox3f& box) {
    const SbVec3f& lo = box.getMin();
    const SbVec3f& hi = box.getMax();
    return hi[0] - lo[0] < kSlack && hi[1] - lo[1] < kSlack && hi[2] - lo[2] < kSlack;
  }

  // Could any box inside `target` pass the item test against any box inside
  // `query`? The test's inequalities without the size rule; for two boxes
  // themselves, whether they meet within the slack.
  static bool mayMeet(const SbBox3f& query, const SbBox3f& target) {
    for (int k = 0; k < 3; ++k) {
      if (query.getMax()[k] - target.getMin()[k] < -kSlack || query.getMin()[k] - target.getMax()[k] > kSlack) {
        return false;
      }
    }
    return true;
  }

  // The item test: do the boxes meet within the slack, neither being tiny?
  static bool itemOverlap(const SbBox3f& itemBox, const SbBox3f& box) {
    return mayMeet(box, itemBox) && !isTiny(box) && !isTiny(itemBox);
  }

private:
  struct Node {
    SbBox3f box;  // union of the items' boxes below
    int first;    // leaf: first item; inner: index of the second child
    int count;    // leaf: item count (> 0); inner: 0, first child follows
  };
  struct Item {
    SbBox3f box;
    int index;  // position in the set
  };

  int build(int begin, int end);

  std::vector<Node> m_nodes;
  std::vector<Item> m_items;  // in leaf order
};
