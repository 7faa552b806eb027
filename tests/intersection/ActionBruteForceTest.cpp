// The action's octree-accelerated runs must report exactly the triangle pairs
// that a plain loop over all pairs reports: with epsilon 0 the pairs the exact
// test accepts (in the argument order the action uses), with epsilon > 0 the
// pairs whose distance is at most epsilon. Meshes are chosen where the
// octrees matter: thousands of small triangles, partial overlap, several
// shapes.
#include <Inventor/lists/SoPathList.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "IsectTestScene.h"
#include "intersection/TriangleKernels.h"

using namespace isect_test;
using Action = SoIntersectionDetectionExtAction;

namespace {

using PairSet = std::set<std::pair<int, int>>;

bool exactTest(const SbTri3f* a, const SbTri3f* b) { return vxtri::intersectExact(a->getPoints(), b->getPoints()); }

double boxGap(const SbBox3f& p, const SbBox3f& q) {
  double gap = 0.0;
  for (int k = 0; k < 3; ++k) {
    gap = std::max(
        {gap, static_cast<double>(p.getMin()[k]) - q.getMax()[k], static_cast<double>(q.getMin()[k]) - p.getMax()[k]});
  }
  return gap;
}

// Brute force for one pair of shapes, triangles `a` (the shape the action
// iterates over at shape level) against `b` (the shape found in the shape
// octree). The exact test's first argument comes from the smaller set (b on
// ties), as in the action.
PairSet bruteForce(const std::vector<const SbTri3f*>& a, const std::vector<const SbTri3f*>& b, float eps) {
  PairSet out;
  const bool iterateA = a.size() < b.size();
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = 0; j < b.size(); ++j) {
      bool hit;
      if (eps > 0.0f) {
        // Boxes farther apart than eps bound the distance from below.
        hit = boxGap(a[i]->getBoundingBox(), b[j]->getBoundingBox()) <= eps + 1e-6 && a[i]->getDistance(*b[j]) <= eps;
      } else {
        hit = iterateA ? exactTest(a[i], b[j]) : exactTest(b[j], a[i]);
      }
      if (hit) out.insert({static_cast<int>(i), static_cast<int>(j)});
    }
  }
  return out;
}

std::vector<const SbTri3f*> slice(const SbList<SbTri3f*>& list, int from, int count) {
  std::vector<const SbTri3f*> out;
  for (int i = from; i < from + count; ++i) out.push_back(list[i]);
  return out;
}

// Two instances, apply1 on the first and apply2 on the second.
void checkTwoGroups(const Mesh& m1, const SbVec3f& t1, const Mesh& m2, const SbVec3f& t2, float eps, size_t minPairs,
                    const SbRotation& r2 = SbRotation::identity(), float s2 = 1.0f) {
  initAction();
  auto* root = new SoSeparator;
  root->ref();
  SoSeparator* inst1 = instance(m1, t1);
  SoSeparator* inst2 = instance(m2, t2, r2, s2);
  root->addChild(inst1);
  root->addChild(inst2);
  SoPath* p1 = pathTo(root, inst1);
  SoPath* p2 = pathTo(root, inst2);

  Action action;
  action.setIntersectionDetectionEpsilon(eps);
  Recorder rec;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.apply1(p1);
  action.apply2(p2);

  SbList<SbTri3f*> g1, g2;
  action.GetIns1Triangles(g1);
  action.GetIns2Triangles(g2);
  ASSERT_EQ(g1.getLength(), m1.numTriangles());
  ASSERT_EQ(g2.getLength(), m2.numTriangles());
  const auto idx1 = indexOf(g1), idx2 = indexOf(g2);

  PairSet got;
  for (const Hit& h : rec.hits) {
    // Group 1's triangle always comes first.
    const auto a = idx1.find(h.first);
    const auto b = idx2.find(h.second);
    ASSERT_TRUE(a != idx1.end() && b != idx2.end()) << "a reported triangle is not in its group";
    EXPECT_TRUE(got.insert({b->second, a->second}).second) << "pair reported twice";
    const float d = g1[a->second]->getDistance(*g2[b->second]);
    EXPECT_EQ(h.distance, eps > 0.0f ? d : 0.0f);
  }
  // At shape level group 2 is iterated and group 1 sits in the octree.
  const PairSet want = bruteForce(slice(g2, 0, g2.getLength()), slice(g1, 0, g1.getLength()), eps);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
  EXPECT_GE(want.size(), minPairs) << "the case should produce pairs";

  p1->unref();
  p2->unref();
  root->unref();
}

}  // namespace

TEST(ActionBruteForce, TwoGroupsSmallTrianglesPartialOverlap) {
  std::mt19937 rng(11);
  // Both above 1024 triangles: the searching side gets a box hierarchy of
  // its own (below that it asks triangle by triangle, as in the other cases).
  const Mesh a = randomSoup(rng, 2000, SbVec3f(0, 0, 0), SbVec3f(1, 1, 1), 0.05f);
  const Mesh b = randomSoup(rng, 1500, SbVec3f(0.6f, 0, 0), SbVec3f(1.6f, 1, 1), 0.05f);
  checkTwoGroups(a, SbVec3f(0, 0, 0), b, SbVec3f(0, 0, 0), 0.0f, 100);
  // The smaller set on the other side: the octree moves to the other shape.
  checkTwoGroups(b, SbVec3f(0, 0, 0), a, SbVec3f(0, 0, 0), 0.0f, 100);
}

TEST(ActionBruteForce, TwoGroupsSmallTrianglesWithEpsilon) {
  std::mt19937 rng(12);
  const Mesh a = randomSoup(rng, 1200, SbVec3f(0, 0, 0), SbVec3f(1, 1, 1), 0.04f);
  const Mesh b = randomSoup(rng, 1000, SbVec3f(0.7f, 0, 0), SbVec3f(1.7f, 1, 1), 0.04f);
  checkTwoGroups(a, SbVec3f(0, 0, 0), b, SbVec3f(0, 0, 0), 0.02f, 50);
}

TEST(ActionBruteForce, TwoGroupsSpheres) {
  const Mesh big = uvSphere(1.0f, 48, 24);
  const Mesh small = uvSphere(0.8f, 32, 16);
  checkTwoGroups(big, SbVec3f(0, 0, 0), small, SbVec3f(1.3f, 0.11f, 0.07f), 0.0f, 50);
  checkTwoGroups(big, SbVec3f(0, 0, 0), small, SbVec3f(1.3f, 0.11f, 0.07f), 0.02f, 100);
  // Rotated and scaled second instance: the test runs in world coordinates.
  checkTwoGroups(big, SbVec3f(0, 0, 0), small, SbVec3f(1.1f, -0.2f, 0.3f), 0.0f, 50, SbRotation(SbVec3f(1, 2, 3), 0.7f),
                 1.25f);
}

TEST(ActionBruteForce, TwoGroupsEpsilonReachesAcrossAGap) {
  // 0.05 apart along the diagonal (the boxes overlap): nothing crosses, but
  // with epsilon 0.08 the facing triangles are reported.
  const Mesh a = uvSphere(1.0f, 48, 24);  // 2208 triangles: hierarchy on both sides
  const float d = 2.05f / std::sqrt(3.0f);
  checkTwoGroups(a, SbVec3f(0, 0, 0), a, SbVec3f(d, d, d), 0.0f, 0);
  checkTwoGroups(a, SbVec3f(0, 0, 0), a, SbVec3f(d, d, d), 0.08f, 4);
}

// One group: every pair of shapes once, the later shape's triangle first.
TEST(ActionBruteForce, OneGroupEveryShapePairOnce) {
  initAction();
  std::mt19937 rng(13);
  std::vector<Mesh> meshes = {randomSoup(rng, 1000, SbVec3f(0, 0, 0), SbVec3f(1, 1, 1), 0.05f),
                              randomSoup(rng, 800, SbVec3f(0.5f, 0.3f, 0), SbVec3f(1.5f, 1.3f, 1), 0.05f),
                              uvSphere(0.5f, 32, 16),
                              randomSoup(rng, 400, SbVec3f(0.2f, 0.2f, 0.2f), SbVec3f(0.9f, 0.9f, 0.9f), 0.04f)};
  auto* root = new SoSeparator;
  root->ref();
  std::vector<SoNode*> shapes;
  for (size_t i = 0; i < 3; ++i) {
    SoSeparator* inst = instance(meshes[i], i == 2 ? SbVec3f(0.9f, 0.6f, 0.5f) : SbVec3f(0, 0, 0));
    root->addChild(inst);
    shapes.push_back(inst->getChild(2));
  }
  // A fourth shape inside the first instance: shapes of one instance are
  // tested against each other too in this mode.
  SoCoordinate3* extraCoords = nullptr;
  SoBrepFaceSet* extra = faceSet(meshes[3], &extraCoords);
  static_cast<SoSeparator*>(root->getChild(0))->addChild(extraCoords);
  static_cast<SoSeparator*>(root->getChild(0))->addChild(extra);
  shapes.insert(shapes.begin() + 1, extra);
  const std::vector<int> counts = {meshes[0].numTriangles(), meshes[3].numTriangles(), meshes[1].numTriangles(),
                                   meshes[2].numTriangles()};

  for (float eps : {0.0f, 0.015f}) {
    Action action;
    action.setIntersectionDetectionEpsilon(eps);
    Recorder rec;
    action.addIntersectionCallback(&Recorder::cb, &rec);
    action.apply(root);

    SbList<SbTri3f*> all;
    action.GetIns1Triangles(all);
    ASSERT_EQ(all.getLength(), counts[0] + counts[1] + counts[2] + counts[3]);
    const auto idx = indexOf(all);
    std::vector<int> start = {0};
    for (int c : counts) start.push_back(start.back() + c);
    auto shapeOf = [&](int global) {
      return static_cast<int>(std::upper_bound(start.begin(), start.end(), global) - start.begin()) - 1;
    };

    std::map<std::pair<int, int>, PairSet> got;
    for (const Hit& h : rec.hits) {
      const int a = idx.at(h.first), b = idx.at(h.second);
      const int sa = shapeOf(a), sb = shapeOf(b);
      EXPECT_GT(sa, sb) << "the later shape's triangle comes first";
      EXPECT_EQ(h.firstShape, shapes[static_cast<size_t>(sa)]);
      EXPECT_EQ(h.secondShape, shapes[static_cast<size_t>(sb)]);
      EXPECT_TRUE(got[std::make_pair(sb, sa)].insert(std::make_pair(b - start[sb], a - start[sa])).second)
          << "pair reported twice";
    }
    size_t total = 0;
    for (int s = 0; s < 4; ++s) {
      for (int c = s + 1; c < 4; ++c) {
        const PairSet want = bruteForce(slice(all, start[s], counts[s]), slice(all, start[c], counts[c]), eps);
        total += want.size();
        EXPECT_TRUE(got[std::make_pair(s, c)] == want) << "shapes " << s << " and " << c << " eps " << eps;
      }
    }
    EXPECT_EQ(rec.hits.size(), total);
    EXPECT_GT(total, 300u);
  }
  root->unref();
}

TEST(ActionBruteForce, OneGroupPathAndPathListAgreeWithNode) {
  initAction();
  std::mt19937 rng(14);
  const Mesh a = randomSoup(rng, 600, SbVec3f(0, 0, 0), SbVec3f(1, 1, 1), 0.05f);
  const Mesh b = randomSoup(rng, 600, SbVec3f(0.5f, 0, 0), SbVec3f(1.5f, 1, 1), 0.05f);
  auto* root = new SoSeparator;
  root->ref();
  auto* group = new SoSeparator;
  root->addChild(group);
  SoSeparator* ia = instance(a);
  SoSeparator* ib = instance(b);
  group->addChild(ia);
  group->addChild(ib);

  auto run = [&](auto&& applyIt) {
    Action action;
    Recorder rec;
    action.addIntersectionCallback(&Recorder::cb, &rec);
    applyIt(action);
    std::set<std::pair<TriKey, TriKey>> out;
    for (const Hit& h : rec.hits) out.insert({h.first, h.second});
    return out;
  };
  const auto byNode = run([&](Action& act) { act.apply(root); });
  SoPath* path = pathTo(root, group);
  const auto byPath = run([&](Action& act) { act.apply(path); });
  SoPathList list;
  SoPath* pa = pathTo(root, group);
  pa->append(ia);
  SoPath* pb = pathTo(root, group);
  pb->append(ib);
  list.append(pa);
  list.append(pb);
  const auto byList = run([&](Action& act) { act.apply(list); });
  EXPECT_GT(byNode.size(), 20u);
  EXPECT_TRUE(byNode == byPath);
  EXPECT_TRUE(byNode == byList);
  path->unref();
  pa->unref();
  pb->unref();
  root->unref();
}
