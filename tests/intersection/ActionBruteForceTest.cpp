// The action's octree-accelerated runs must report exactly the triangle pairs
// a loop over all pairs reports: with epsilon 0 the pairs the exact test
// accepts (in the argument order the action uses), with epsilon > 0 the pairs
// at most epsilon apart. Meshes are chosen where the octrees matter.
#include <Inventor/lists/SoPathList.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "intersection/TriangleKernels.h"
#include "support/IsectTestScene.h"

using namespace isect_test;
using Action = SoIntersectionDetectionExtAction;

namespace {

using PairSet = std::set<std::pair<int, int>>;
using Tris = std::vector<const SbTri3f*>;

double boxGap(const SbBox3f& p, const SbBox3f& q) {
  double gap = 0.0;
  for (int k = 0; k < 3; ++k)
    gap = std::max({gap, double(p.getMin()[k]) - q.getMax()[k], double(q.getMin()[k]) - p.getMax()[k]});
  return gap;
}

// All pairs of `a` (iterated at shape level) against `b` (in the shape
// octree). The exact test's first argument comes from the smaller set (b on
// ties), as in the action.
PairSet bruteForce(const Tris& a, const Tris& b, float eps) {
  PairSet out;
  for (size_t i = 0; i < a.size(); ++i) {
    for (size_t j = 0; j < b.size(); ++j) {
      const SbTri3f *x = a[i], *y = b[j];
      if (eps > 0.0f) {  // boxes farther apart than eps bound the distance from below
        if (boxGap(x->getBoundingBox(), y->getBoundingBox()) <= eps + 1e-6 && x->getDistance(*y) <= eps)
          out.insert({int(i), int(j)});
        continue;
      }
      if (a.size() >= b.size()) std::swap(x, y);
      const bool hit = vx::tri::intersectExact(x->getPoints(), y->getPoints());
      if (hit) out.insert({int(i), int(j)});
    }
  }
  return out;
}

Tris slice(const SbList<SbTri3f*>& list, int from, int count) {
  Tris out;
  for (int i = from; i < from + count; ++i) out.push_back(list[i]);
  return out;
}

// How the second instance gets its shape: its own nodes, the first one's
// coordinates and face set (one prototype: one shared triangle record), or
// the first one's face set under coordinates of its own (m2, with m1's
// topology: a record of its own).
enum class Share { None, Prototype, FaceSetOnly };

// Two instances, apply1 on the first and apply2 on the second.
void checkTwoGroups(const Mesh& m1, const Mesh& m2, const SbVec3f& t2, float eps, size_t minPairs,
                    const SbRotation& r2 = SbRotation::identity(), float s2 = 1.0f, Share share = Share::None) {
  initAction();
  auto* root = new SoSeparator;
  root->ref();
  root->addChild(instance(m1));
  root->addChild(instance(m2, t2, r2, s2));
  auto* first = static_cast<SoSeparator*>(root->getChild(0));
  auto* second = static_cast<SoSeparator*>(root->getChild(1));
  if (share == Share::Prototype) second->replaceChild(1, first->getChild(1));
  if (share != Share::None) second->replaceChild(2, first->getChild(2));
  SoPath* p1 = pathTo(root, root->getChild(0));
  SoPath* p2 = pathTo(root, root->getChild(1));
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
  for (const Hit& h : rec.hits) {  // group 1's triangle comes first
    const auto a = idx1.find(h.first), b = idx2.find(h.second);
    ASSERT_TRUE(a != idx1.end() && b != idx2.end()) << "a reported triangle is not in its group";
    EXPECT_TRUE(got.insert({b->second, a->second}).second) << "pair reported twice";
    EXPECT_EQ(h.distance, eps > 0.0f ? g1[a->second]->getDistance(*g2[b->second]) : 0.0f);
  }
  // At shape level group 2 is iterated and group 1 sits in the octree.
  const PairSet want = bruteForce(slice(g2, 0, g2.getLength()), slice(g1, 0, g1.getLength()), eps);
  EXPECT_TRUE(got == want) << got.size() << " pairs reported, " << want.size() << " expected";
  EXPECT_GE(want.size(), minPairs) << "the case should produce pairs";
  int records = 0, triangles = 0;
  action.getSharedTriangleBytes(records, triangles);
  EXPECT_EQ(records, share == Share::Prototype ? 1 : 2);
  EXPECT_EQ(triangles, share == Share::Prototype ? m1.numTriangles() : m1.numTriangles() + m2.numTriangles());
  p1->unref();
  p2->unref();
  root->unref();
}

}  // namespace

TEST(ActionBruteForce, TwoGroups) {
  std::mt19937 rng(11);
  const SbVec3f o(0, 0, 0);
  // Both above 1024 triangles: the searching side gets a box hierarchy of its
  // own (below that it asks triangle by triangle).
  const Mesh a = randomSoup(rng, 2000, o, SbVec3f(1, 1, 1), 0.05f);
  const Mesh b = randomSoup(rng, 1500, SbVec3f(0.6f, 0, 0), SbVec3f(1.6f, 1, 1), 0.05f);
  checkTwoGroups(a, b, o, 0.0f, 100);
  checkTwoGroups(b, a, o, 0.0f, 100);  // the octree moves to the other shape
  const Mesh c = randomSoup(rng, 1200, o, SbVec3f(1, 1, 1), 0.04f);
  const Mesh d = randomSoup(rng, 1000, SbVec3f(0.7f, 0, 0), SbVec3f(1.7f, 1, 1), 0.04f);
  checkTwoGroups(c, d, o, 0.02f, 50);

  const Mesh big = uvSphere(1.0f, 48, 24), small = uvSphere(0.8f, 32, 16);
  checkTwoGroups(big, small, SbVec3f(1.3f, 0.11f, 0.07f), 0.0f, 50);
  checkTwoGroups(big, small, SbVec3f(1.3f, 0.11f, 0.07f), 0.02f, 100);
  // Rotated and scaled second instance: the test runs in world coordinates,
  // also when both instances share their local triangles.
  const SbRotation turn(SbVec3f(1, 2, 3), 0.7f);
  checkTwoGroups(big, small, SbVec3f(1.1f, -0.2f, 0.3f), 0.0f, 50, turn, 1.25f);
  checkTwoGroups(big, big, SbVec3f(1.1f, -0.2f, 0.3f), 0.0f, 50, turn, 0.8f, Share::Prototype);
  checkTwoGroups(big, big, SbVec3f(1.1f, -0.2f, 0.3f), 0.03f, 50, turn, 0.8f, Share::Prototype);
  checkTwoGroups(big, uvSphere(0.8f, 48, 24), SbVec3f(1.3f, 0.11f, 0.07f), 0.0f, 50, SbRotation::identity(), 1.0f,
                 Share::FaceSetOnly);
  // 0.05 apart along the diagonal (the boxes overlap): nothing crosses, but
  // epsilon 0.08 reaches the facing triangles.
  const float gap = 2.05f / std::sqrt(3.0f);
  checkTwoGroups(big, big, SbVec3f(gap, gap, gap), 0.0f, 0);
  checkTwoGroups(big, big, SbVec3f(gap, gap, gap), 0.08f, 4);
}

// One group: every pair of shapes once, the later shape's triangle first;
// applied to a path and to a path list the action reports the same.
TEST(ActionBruteForce, OneGroupEveryShapePairOnce) {
  initAction();
  std::mt19937 rng(13);
  const Mesh m0 = randomSoup(rng, 1000, SbVec3f(0, 0, 0), SbVec3f(1, 1, 1), 0.05f);
  const Mesh m2 = randomSoup(rng, 800, SbVec3f(0.5f, 0.3f, 0), SbVec3f(1.5f, 1.3f, 1), 0.05f);
  const Mesh m3 = uvSphere(0.5f, 32, 16);
  const Mesh m1 = randomSoup(rng, 400, SbVec3f(0.2f, 0.2f, 0.2f), SbVec3f(0.9f, 0.9f, 0.9f), 0.04f);
  auto* root = new SoSeparator;
  root->ref();
  root->addChild(instance(m0));
  root->addChild(instance(m2));
  root->addChild(instance(m3, SbVec3f(0.9f, 0.6f, 0.5f)));
  // A second shape inside the first instance: shapes of one instance are
  // tested against each other too in this mode.
  auto* first = static_cast<SoSeparator*>(root->getChild(0));
  SoNode* extra = addFaceSet(first, m1);
  const std::vector<SoNode*> shapes = {first->getChild(2), extra, static_cast<SoGroup*>(root->getChild(1))->getChild(2),
                                       static_cast<SoGroup*>(root->getChild(2))->getChild(2)};
  const std::vector<int> counts = {m0.numTriangles(), m1.numTriangles(), m2.numTriangles(), m3.numTriangles()};
  std::vector<int> start = {0};
  for (int c : counts) start.push_back(start.back() + c);
  auto shapeOf = [&](int t) { return int(std::upper_bound(start.begin(), start.end(), t) - start.begin()) - 1; };

  auto run = [&](float eps, auto&& applyIt, Action& action) {
    Recorder rec;
    action.setIntersectionDetectionEpsilon(eps);
    action.addIntersectionCallback(&Recorder::cb, &rec);
    applyIt(action);
    return rec.hits;
  };
  auto pairsOf = [](const std::vector<Hit>& hits) {
    std::set<std::pair<TriKey, TriKey>> out;
    for (const Hit& h : hits) out.insert({h.first, h.second});
    return out;
  };
  auto* holder = new SoSeparator;  // the same scene one level down, for paths
  holder->ref();
  holder->addChild(root);
  SoPath* path = pathTo(holder, root);
  SoPathList list;
  for (int i = 0; i < 3; ++i) {
    list.append(pathTo(holder, root));
    list[i]->append(root->getChild(i));
    list[i]->unref();  // the list holds it
  }
  for (float eps : {0.0f, 0.015f}) {
    Action action;
    const std::vector<Hit> hits = run(
        eps, [&](Action& a) { a.apply(root); }, action);
    SbList<SbTri3f*> all;
    action.GetIns1Triangles(all);
    ASSERT_EQ(all.getLength(), start.back());
    const auto idx = indexOf(all);
    std::map<std::pair<int, int>, PairSet> got;
    for (const Hit& h : hits) {
      const int a = idx.at(h.first), b = idx.at(h.second), sa = shapeOf(a), sb = shapeOf(b);
      EXPECT_GT(sa, sb) << "the later shape's triangle comes first";
      EXPECT_EQ(h.firstShape, shapes[size_t(sa)]);
      EXPECT_EQ(h.secondShape, shapes[size_t(sb)]);
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
    EXPECT_EQ(hits.size(), total);
    EXPECT_GT(total, 300u);
    Action byPath, byList;
    EXPECT_TRUE(pairsOf(hits) == pairsOf(run(
                                     eps, [&](Action& a) { a.apply(path); }, byPath)));
    EXPECT_TRUE(pairsOf(hits) == pairsOf(run(
                                     eps, [&](Action& a) { a.apply(list); }, byList)));
  }
  path->unref();
  list.truncate(0);
  holder->unref();
  root->unref();
}
