// The box hierarchy must return exactly the items whose boxes meet a query
// within the slack (checked against a loop over all boxes), in ascending
// order: the search relies on it to find every candidate and to report them
// in the set's order.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "intersection/TriangleBoxTree.h"

namespace {

// Random boxes in [0, 1]^3 with sizes over three orders of magnitude; every
// tenth box is tiny (below the 0.0001 slack on every axis).
std::vector<SbBox3f> randomBoxes(std::mt19937& rng, int n, float shift = 0.0f) {
  std::uniform_real_distribution<float> u(0.0f, 1.0f), e(-3.0f, -1.0f);
  std::vector<SbBox3f> boxes;
  for (int i = 0; i < n; ++i) {
    const SbVec3f lo(u(rng) + shift, u(rng), u(rng));
    SbVec3f size(std::pow(10.0f, e(rng)), std::pow(10.0f, e(rng)), std::pow(10.0f, e(rng)));
    if (i % 10 == 0) size = SbVec3f(5e-5f, 2e-5f, 8e-5f);
    boxes.emplace_back(lo, lo + size);
  }
  return boxes;
}

}  // namespace

TEST(TriangleBoxTree, CollectsExactlyTheBoxesMeetingTheQueryInOrder) {
  std::mt19937 rng(21);
  const std::vector<SbBox3f> items = randomBoxes(rng, 3000);
  const TriangleBoxTree tree(items);
  int found = 0;
  for (SbBox3f q : randomBoxes(rng, 300, 0.5f)) {                          // partial overlap
    if (q.getMin()[0] < 1.3f) q.getMax() += SbVec3f(0.05f, 0.05f, 0.05f);  // the rest keep their size, tiny or not
    std::vector<int> got{-1}, want{-1};                                    // what was there before stays
    tree.collect(q, got);
    for (size_t i = 0; i < items.size(); ++i) {
      if (TriangleBoxTree::mayMeet(q, items[i])) want.push_back(static_cast<int>(i));
    }
    ASSERT_EQ(got, want);
    found += static_cast<int>(want.size()) - 1;
  }
  EXPECT_GT(found, 300);
}

TEST(TriangleBoxTree, ItemTestFollowsTheSlackAndSizeRules) {
  const SbBox3f unit(0, 0, 0, 1, 1, 1);
  EXPECT_TRUE(TriangleBoxTree::itemOverlap(unit, SbBox3f(1.00005f, 0, 0, 2, 1, 1)));  // gap within slack
  EXPECT_FALSE(TriangleBoxTree::itemOverlap(unit, SbBox3f(1.0002f, 0, 0, 2, 1, 1)));  // gap beyond it
  EXPECT_FALSE(TriangleBoxTree::itemOverlap(unit, SbBox3f(0.5f, 0.5f, 0.5f, 0.50005f, 0.50005f, 0.50005f)));
  EXPECT_TRUE(TriangleBoxTree::itemOverlap(unit, SbBox3f(0.5f, 0.5f, 0.5f, 0.50005f, 0.50005f, 0.6f)));
}
