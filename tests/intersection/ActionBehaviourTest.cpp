// Behaviour of the intersection action on small hand-built scenes: settings,
// what is collected, callback semantics, the two-group box prefilter, the
// shape-data cache and its memory guard, epsilon and size rules.
#include <Inventor/SbMatrix.h>
#include <Inventor/nodes/SoAnnotation.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <gtest/gtest.h>

#include <set>

#include "intersection/MemoryGuard.h"
#include "intersection/TriangleKernels.h"
#include "support/IsectTestScene.h"

using namespace isect_test;
using Action = SoIntersectionDetectionExtAction;

namespace {

// The flat triangle z = 0 (normal +z), moved by `m`, and a triangle standing
// through the unmoved one.
Mesh flat(const SbVec3f& m = SbVec3f(0, 0, 0)) {
  Mesh mesh;
  mesh.add(SbVec3f(0, 0, 0) + m, SbVec3f(4, 0, 0) + m, SbVec3f(0, 4, 0) + m);
  return mesh;
}
const SbVec3f kStanding[3] = {SbVec3f(1, 1, -1), SbVec3f(1, 1, 1), SbVec3f(3, 0.5f, 0.5f)};
Mesh standing() {
  Mesh m;
  m.add(kStanding[0], kStanding[1], kStanding[2]);
  return m;
}

// A referenced root; add() makes a child and a path to it.
struct Scene {
  SoSeparator* root = new SoSeparator;
  std::vector<SoPath*> paths;
  Scene() {
    initAction();
    root->ref();
  }
  ~Scene() {
    for (SoPath* p : paths) p->unref();
    root->unref();
  }
  SoPath* add(SoNode* child) {
    root->addChild(child);
    return fresh(root->getNumChildren() - 1);
  }
  SoPath* fresh(int child) {  // a new path object to an existing child
    paths.push_back(pathTo(root, root->getChild(child)));
    return paths.back();
  }
};

// An action with a recorder and a counter of collected face sets.
struct Probe {
  struct Init {
    Init() { initAction(); }
  } init;  // before the action
  Action action;
  Recorder rec;
  VisitCounter shapes;
  explicit Probe(int cache = 1) : action(cache) {
    action.addIntersectionCallback(&Recorder::cb, &rec);
    action.addVisitationCallback(SoBrepFaceSet::getClassTypeId(), &VisitCounter::cb, &shapes);
  }
  size_t hits() const { return rec.hits.size(); }
  void pair(SoPath* a, SoPath* b) {
    action.apply1(a);
    action.apply2(b);
  }
};

// Free memory as the guard sees it, while alive.
struct FreeMemory {
  explicit FreeMemory(double fraction) {
    static double value;
    value = fraction;
    vx::isect::setFreeMemoryProbe([] { return value; });
  }
  ~FreeMemory() { vx::isect::setFreeMemoryProbe(nullptr); }
};

}  // namespace

TEST(ActionSettings, EpsilonsAndPrunedTypes) {
  initAction();
  EXPECT_EQ(Action::getIntersectionEpsilon(), 0.0f);
  {
    Action a, b;
    Action::setIntersectionEpsilon(0.5f);
    a.setIntersectionDetectionEpsilon(0.0f);  // set, even to 0, wins over the class value
    EXPECT_EQ(a.getIntersectionDetectionEpsilon(), 0.0f);
    EXPECT_EQ(b.getIntersectionDetectionEpsilon(), 0.5f);
    Action::setIntersectionEpsilon(0.0f);
  }
  Scene s;
  s.add(instance(flat()));
  auto* wrapper = new SoAnnotation;
  wrapper->addChild(instance(standing()));
  s.add(wrapper);
  Probe p;
  const SoType type = SoAnnotation::getClassTypeId();
  p.action.setTypeEnabled(type, FALSE);
  p.action.setTypeEnabled(type, FALSE);
  EXPECT_FALSE(p.action.isTypeEnabled(type));
  EXPECT_TRUE(p.action.isTypeEnabled(SoSeparator::getClassTypeId()));  // exact type only
  p.action.apply(s.root);
  EXPECT_EQ(p.hits(), 0u);
  p.action.setTypeEnabled(type, TRUE);  // one enable undoes both disables
  p.action.apply(s.root);
  EXPECT_EQ(p.hits(), 1u);
}

TEST(ActionCollect, WorldTrianglesAndLocalRecordPoints) {
  // The standing triangle in local coordinates under a placement with
  // rotation and scale that brings it back to where it crosses the flat one.
  const SbRotation rot(SbVec3f(0.3f, 1, 0.2f), 1.1f);
  SbMatrix place;
  place.setTransform(SbVec3f(10, -3, 2), rot, SbVec3f(2, 2, 2));
  SbVec3f q[3];
  for (int k = 0; k < 3; ++k) place.inverse().multVecMatrix(kStanding[k], q[k]);
  Mesh local;
  local.add(q[0], q[1], q[2]);
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* p2 = s.add(instance(local, SbVec3f(10, -3, 2), rot, 2.0f));
  struct Check {
    static Action::Resp cb(void* data, const SoIntersectingPrimitive* a, const SoIntersectingPrimitive* b, float d) {
      const SbVec3f* localPts = static_cast<const SbVec3f*>(data);
      EXPECT_EQ(a->type, SoIntersectingPrimitive::TRIANGLE);
      EXPECT_TRUE(a->path->getTail()->isOfType(SoBrepFaceSet::getClassTypeId()));
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a->vertex[k], a->xf_vertex[k]);  // group 1 is unplaced
        EXPECT_LT((b->vertex[k] - localPts[k]).length(), 1e-4f);
        EXPECT_LT((b->xf_vertex[k] - kStanding[k]).length(), 1e-4f);
      }
      EXPECT_EQ(d, 0.0f);
      return Action::NEXT_PRIMITIVE;
    }
  };
  Probe p;
  p.action.addIntersectionCallback(&Check::cb, q);
  p.pair(p1, p2);
  EXPECT_EQ(p.hits(), 1u);
  SbList<SbTri3f*> tris;
  tris.append(nullptr);  // the getters replace the list's contents
  p.action.GetIns2Triangles(tris);
  ASSERT_EQ(tris.getLength(), 1);
  EXPECT_LT((tris[0]->getPoint(2) - kStanding[2]).length(), 1e-4f);
}

// Only SoBrepFaceSets are collected: the standing triangle also stands there
// as a plain SoIndexedFaceSet (under an SoGroup), which crosses nothing.
TEST(ActionCollect, OnlyBrepFaceSetsAndVisitationCallbacksSeeNodesInOrderAndCanPrune) {
  Scene s;
  s.add(instance(flat()));
  s.add(instance(standing()));
  auto* plain = new SoGroup;
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, 3, kStanding);
  auto* ifs = new SoIndexedFaceSet;
  const int32_t idx[] = {0, 1, 2, -1};
  ifs->coordIndex.setValues(0, 4, idx);
  plain->addChild(coords);
  plain->addChild(ifs);
  s.add(plain);
  Probe p;
  VisitCounter seps;
  p.action.addVisitationCallback(SoSeparator::getClassTypeId(), &VisitCounter::cb, &seps);
  p.action.apply(s.root);
  EXPECT_EQ(seps.visits, 3);  // root and two instances
  EXPECT_EQ(p.shapes.visits, 2);
  EXPECT_EQ(p.hits(), 1u);
  seps.answer = SoCallbackAction::PRUNE;  // prunes below the root
  p.action.apply(s.root);
  EXPECT_EQ(seps.visits, 4);
  EXPECT_EQ(p.shapes.visits, 2);
  p.action.removeVisitationCallback(SoSeparator::getClassTypeId(), &VisitCounter::cb, &seps);
  p.action.apply(s.root);
  EXPECT_EQ(seps.visits, 4);
  EXPECT_EQ(p.shapes.visits, 4);
  EXPECT_EQ(p.hits(), 2u);
}

TEST(ActionCollect, InvalidTrianglesAreDroppedWithOneWarning) {
  // The only test that soups degenerate triangles: the warning is once per process.
  Mesh bad = flat();
  bad.add(SbVec3f(0, 0, 1), SbVec3f(1, 1, 1), SbVec3f(2, 2, 1));  // collinear
  Scene s;
  s.add(instance(bad));
  s.add(instance(bad, SbVec3f(0, 0, 5)));
  DebugCatcher catcher;
  Probe p(0);
  SbList<SbTri3f*> tris;
  for (SoPath* path : s.paths) {
    p.action.apply1(path);
    p.action.GetIns1Triangles(tris);
    EXPECT_EQ(tris.getLength(), 1);
  }
  EXPECT_EQ(catcher.count("Found an invalid triangle while souping up triangle primitives"), 1);
}

TEST(ActionCallbacks, NextShapeEndsTheShapePairAndAbortTheRun) {
  // Three mutually overlapping spheres: every pair crosses many times.
  Scene s;
  const Mesh sphere = uvSphere(1.0f, 24, 12);
  for (const SbVec3f& at : {SbVec3f(0, 0, 0), SbVec3f(1.1f, 0.1f, 0.05f), SbVec3f(0.5f, 0.9f, -0.1f)})
    s.add(instance(sphere, at));
  Probe all;
  all.action.apply(s.root);
  ASSERT_GT(all.hits(), 6u);
  for (auto answer : {Action::NEXT_SHAPE, Action::ABORT}) {
    Action action;
    Recorder first, second;
    first.answer = answer;
    action.addIntersectionCallback(&Recorder::cb, &first);
    action.addIntersectionCallback(&Recorder::cb, &second);
    action.apply(s.root);
    std::set<std::pair<SoNode*, SoNode*>> pairs;
    for (const Hit& h : first.hits) pairs.insert({h.firstShape, h.secondShape});
    EXPECT_EQ(first.hits.size(), answer == Action::ABORT ? 1u : 3u);  // once per shape pair, or once
    EXPECT_EQ(pairs.size(), first.hits.size());
    EXPECT_TRUE(second.hits.empty());  // later callbacks are skipped too
  }
}

TEST(ActionCallbacks, FilterSeesShapePairsAndCanSkipThem) {
  struct FilterLog {
    std::vector<std::pair<SoNode*, SoNode*>> calls;
    SbBool answer = TRUE;
    static SbBool cb(void* data, const SoPath* p1, const SoPath* p2) {
      auto* self = static_cast<FilterLog*>(data);
      self->calls.push_back({p1->getTail(), p2->getTail()});
      return self->answer;
    }
  };
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* p2 = s.add(instance(standing()));
  SoNode* shape1 = static_cast<SoGroup*>(p1->getTail())->getChild(2);
  SoNode* shape2 = static_cast<SoGroup*>(p2->getTail())->getChild(2);
  Probe p;
  FilterLog filter;
  p.action.setFilterCallback(&FilterLog::cb, &filter);
  p.pair(p1, p2);
  p.action.apply(s.root);
  ASSERT_EQ(filter.calls.size(), 2u);
  EXPECT_EQ(filter.calls[0], std::make_pair(shape2, shape1));  // two groups: group 2 first
  EXPECT_EQ(filter.calls[1], std::make_pair(shape1, shape2));  // one group: the earlier shape first
  EXPECT_EQ(p.hits(), 2u);
  filter.answer = FALSE;
  p.action.apply(s.root);
  EXPECT_EQ(p.hits(), 2u);
}

TEST(ActionCallbacks, ShapeInternalsSelfTestTheIteratedGroupOnly) {
  Mesh selfCrossing = flat();
  selfCrossing.add(kStanding[0], kStanding[1], kStanding[2]);
  Scene s;
  SoPath* crossing = s.add(instance(selfCrossing));
  SoPath* other = s.add(instance(flat(SbVec3f(0, 0, 3))));
  Probe p;
  p.action.apply(s.root);
  EXPECT_EQ(p.hits(), 0u);
  p.action.setShapeInternalsEnabled(TRUE);
  p.action.apply(s.root);
  ASSERT_EQ(p.hits(), 1u);
  EXPECT_EQ(p.rec.hits[0].firstShape, p.rec.hits[0].secondShape);
  EXPECT_EQ(p.rec.hits[0].first, key(flat().points.data()));  // the lower index first
  auto selfHits = [&] {
    size_t n = 0;
    for (const Hit& h : p.rec.hits) n += h.firstShape == h.secondShape;
    return n;
  };
  p.action.setIntersectionDetectionEpsilon(5.0f);  // the boxes meet; self tests ignore eps
  p.pair(crossing, other);
  EXPECT_EQ(selfHits(), 1u);
  p.pair(other, crossing);
  EXPECT_EQ(selfHits(), 2u);
}

// Pairs within epsilon are reported with their distance; tiny shapes never.
TEST(ActionEpsilon, PairsWithinEpsilonAndTinyShapes) {
  const float eps = 0.2f;
  for (float gap : {0.5f * eps, 2.0f * eps}) {
    Scene s;
    Probe p;
    p.action.setIntersectionDetectionEpsilon(eps);
    p.pair(s.add(instance(flat())), s.add(instance(flat(), SbVec3f(0.5f, 0.5f, gap))));
    ASSERT_EQ(p.hits(), gap < eps ? 1u : 0u);
    if (gap < eps) {
      EXPECT_NEAR(p.rec.hits[0].distance, gap, 1e-6f);
    }
  }
  // 0.00004 across, crossing the flat triangle: in either group and in
  // one-group mode. With an epsilon it stays out of triangle octrees, so on
  // the octree side (group 2 here, equal counts) it stays silent too.
  Mesh tiny;
  tiny.add(SbVec3f(0.5f, 0.5f, -0.00002f), SbVec3f(0.50004f, 0.5f, 0.00002f), SbVec3f(0.5f, 0.50004f, 0.00002f));
  ASSERT_TRUE(vx::tri::intersectExact(tiny.points.data(), flat().points.data()));
  Scene s;
  SoPath* big = s.add(instance(flat()));
  SoPath* small = s.add(instance(tiny));
  Probe p;
  p.pair(big, small);
  p.pair(small, big);
  p.action.apply(s.root);
  p.action.setIntersectionDetectionEpsilon(0.01f);
  p.pair(big, small);
  EXPECT_EQ(p.hits(), 0u);
}

TEST(ActionTwoGroups, BoxPrefilterSkipsDistantInstancesWithoutCollecting) {
  FreeMemory memory(0.9);
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* near = s.add(instance(standing()));
  SoPath* far = s.add(instance(flat(SbVec3f(4.05f, 0, 0))));  // boxes 0.05 apart
  SoPath* empty = s.add(new SoSeparator);
  Probe p;
  p.pair(p1, near);
  SbList<SbTri3f*> before, after;
  p.action.GetIns2Triangles(before);
  p.action.apply2(far);
  EXPECT_EQ(p.shapes.visits, 2);  // far was not even collected
  p.action.GetIns2Triangles(after);
  ASSERT_EQ(after.getLength(), 1);
  EXPECT_EQ(after[0], before[0]);  // group 2 left as it was
  EXPECT_EQ(p.hits(), 1u);
  p.action.setIntersectionDetectionEpsilon(0.1f);  // grows instance 1's box
  p.pair(p1, far);
  EXPECT_EQ(p.shapes.visits, 3);
  EXPECT_EQ(p.hits(), 2u);  // the triangles are 0.05 apart
  p.pair(empty, near);      // an empty instance 1 disables apply2
  EXPECT_EQ(p.shapes.visits, 3);
  EXPECT_EQ(p.hits(), 2u);
}

TEST(ActionTwoGroups, CacheKeepsShapeDataPerPathObject) {
  FreeMemory memory(0.9);
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* p2 = s.add(instance(standing()));
  Probe p;  // cache on by default
  SbList<SbTri3f*> first, again;
  for (int i = 0; i < 2; ++i) {
    p.pair(p1, p2);
    p.action.GetIns1Triangles(i == 0 ? first : again);
  }
  EXPECT_EQ(p.shapes.visits, 2);  // the second round traversed nothing
  EXPECT_EQ(again[0], first[0]);  // the very same triangle data
  EXPECT_EQ(p.hits(), 2u);
  p.action.apply1(s.fresh(0));  // same instance, new path object
  EXPECT_EQ(p.shapes.visits, 3);
  p.action.clearInsShapeData();
  p.action.GetIns1Triangles(again);
  EXPECT_EQ(again.getLength(), 0);  // groups emptied too
  p.pair(p1, p2);
  EXPECT_EQ(p.shapes.visits, 5);

  Probe off(0);
  for (int i = 0; i < 3; ++i) off.action.apply1(p1);
  EXPECT_EQ(off.shapes.visits, 3);
  off.action.setCacheShapeDataFlg(TRUE);
  for (int i = 0; i < 3; ++i) off.action.apply1(p1);
  EXPECT_EQ(off.shapes.visits, 4);
}

TEST(ActionTwoGroups, LowMemoryDropsTheCache) {
  Scene s;
  SoPath* a = s.add(instance(flat()));
  SoPath* b = s.add(instance(flat(SbVec3f(0, 0, 1))));
  SoPath* c = s.add(instance(standing()));
  Probe p;
  {
    FreeMemory memory(0.1);
    p.action.apply1(a);
    p.action.apply1(a);  // group 1 is still cached after the guard cleared
    EXPECT_EQ(p.shapes.visits, 1);
    p.action.apply1(b);  // the guard clears the cache before collecting b
    p.action.apply1(a);
    EXPECT_EQ(p.shapes.visits, 3);
    p.action.apply2(c);  // group 2 stays out of the cache
    p.action.apply2(c);
    EXPECT_EQ(p.shapes.visits, 5);
  }
  FreeMemory memory(0.9);
  p.action.apply1(b);  // dropped by the guard earlier: collected again
  p.action.apply1(b);
  p.action.apply1(a);
  p.action.apply2(c);
  p.action.apply2(c);
  EXPECT_EQ(p.shapes.visits, 7);  // b and c once each, a cached
}
