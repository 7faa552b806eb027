#pragma once
// A bounding-volume hierarchy over the boxes of one set of triangles, used
// before the octree search to find, for two sets at once, which triangles of
// one set can have a partner in the other at all.
//
// The partner rule is the triangle octree's item test (itemOverlap below):
// triangle b is a candidate for query box Q when their boxes meet within
// 0.0001 and neither box is below 0.0001 on every axis.
// A triangle left unmarked by markCandidates has no candidate, so the octree
// search for it would come back empty and can be skipped; a marked one may
// still have none. Boxes in, flags out; no scene code.
#include <Inventor/SbBox3f.h>

#include <utility>
#include <vector>

class TriangleBoxTree {
 public:
  // Builds over boxes[0..n-1] (one per triangle, in the set's order).
  explicit TriangleBoxTree(const std::vector<SbBox3f>& boxes);

  // For every item a of this tree, sets flags[a] to 1 when some item b of
  // `targets` that is not tiny passes the item test against a's query box:
  // a's box, grown by `grow` on every side when `grow` > 0 (computed in
  // float exactly as the search loop does). `flags` is resized to this
  // tree's item count and cleared first.
  void markCandidates(const TriangleBoxTree& targets, float grow, std::vector<char>& flags) const;

  // Does some item of this tree that is not tiny pass the item test against
  // `query`? The one-box form of markCandidates, for query sets too small to
  // be worth a tree of their own.
  bool anyCandidate(const SbBox3f& query) const;

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
    bool tiny;  // below 0.0001 on every axis: never a candidate
  };

  int build(int begin, int end);

  std::vector<Node> m_nodes;
  std::vector<Item> m_items;  // in leaf order
};
