// The box hierarchy may skip an octree search only when the octree could not
// return anything: its marks must cover exactly the boxes with a partner under
// the item test (checked against a loop over all pairs), and Coin's octree
// must return exactly the items that pass its item test (checked on the
// octree itself, so that a change in Coin shows up here).
#include <Inventor/SbOctTree.h>
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

SbBool itemInBox(void* const item, const SbBox3f& box) {
  return TriangleBoxTree::itemOverlap(*static_cast<const SbBox3f*>(item), box);
}

}  // namespace

TEST(TriangleBoxTree, MarksExactlyTheBoxesWithAPartner) {
  std::mt19937 rng(21);
  const std::vector<SbBox3f> queries = randomBoxes(rng, 3000);
  const std::vector<SbBox3f> targets = randomBoxes(rng, 2000, 0.5f);  // partial overlap
  const TriangleBoxTree qt(queries), tt(targets);
  for (float grow : {0.0f, 0.004f}) {
    std::vector<char> flags;
    qt.markCandidates(tt, grow, flags);
    ASSERT_EQ(flags.size(), queries.size());
    int marked = 0;
    for (size_t i = 0; i < queries.size(); ++i) {
      SbBox3f q = queries[i];
      if (grow > 0.0f) {
        q.getMin() -= SbVec3f(grow, grow, grow);
        q.getMax() += SbVec3f(grow, grow, grow);
      }
      bool want = false;
      for (const SbBox3f& t : targets) want = want || TriangleBoxTree::itemOverlap(t, q);
      EXPECT_EQ(flags[i] != 0, want) << "box " << i << " grow " << grow;
      EXPECT_EQ(tt.anyCandidate(q), want) << "box " << i << " grow " << grow;
      marked += want;
    }
    EXPECT_GT(marked, 100);  // both answers occur
    EXPECT_LT(marked, 2900);
  }
}

TEST(TriangleBoxTree, ItemTestFollowsTheSlackAndSizeRules) {
  const SbBox3f unit(0, 0, 0, 1, 1, 1);
  EXPECT_TRUE(TriangleBoxTree::itemOverlap(unit, SbBox3f(1.00005f, 0, 0, 2, 1, 1)));  // gap within slack
  EXPECT_FALSE(TriangleBoxTree::itemOverlap(unit, SbBox3f(1.0002f, 0, 0, 2, 1, 1)));  // gap beyond it
  EXPECT_FALSE(TriangleBoxTree::itemOverlap(unit, SbBox3f(0.5f, 0.5f, 0.5f, 0.50005f, 0.50005f, 0.50005f)));
  EXPECT_TRUE(TriangleBoxTree::itemOverlap(unit, SbBox3f(0.5f, 0.5f, 0.5f, 0.50005f, 0.50005f, 0.6f)));
}

TEST(TriangleBoxTree, CoinsOctreeReturnsExactlyTheItemsPassingItsItemTest) {
  std::mt19937 rng(22);
  std::vector<SbBox3f> items = randomBoxes(rng, 4000);
  const SbOctTreeFuncs funcs = {nullptr, &itemInBox, nullptr, nullptr};
  SbOctTree tree(SbBox3f(-0.01f, -0.01f, -0.01f, 1.2f, 1.2f, 1.2f), funcs, 64);
  for (SbBox3f& b : items) {
    if (!TriangleBoxTree::isTiny(b)) tree.addItem(&b);
  }
  SbList<void*> found;
  int missing = 0;
  for (const SbBox3f& q : randomBoxes(rng, 2000, 0.1f)) {
    found.truncate(0);
    tree.findItems(q, found, TRUE);
    for (int i = 0; i < found.getLength(); ++i)
      ASSERT_TRUE(TriangleBoxTree::itemOverlap(*static_cast<const SbBox3f*>(found[i]), q));
    for (const SbBox3f& b : items) missing += !TriangleBoxTree::isTiny(b) && TriangleBoxTree::itemOverlap(b, q);
    missing -= found.getLength();
  }
  // Complete as well: what the accelerated runs rely on to equal the loops over all pairs.
  EXPECT_EQ(missing, 0);
}
