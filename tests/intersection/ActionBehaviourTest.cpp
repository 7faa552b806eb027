// Behaviour of the intersection action on small hand-built scenes:
// registration and settings, what is collected, callback semantics, the
// two-group box prefilter, the shape-data cache and its memory guard,
// epsilon and size rules, and the debug channel.
#include <Inventor/SbMatrix.h>
#include <Inventor/nodes/SoAnnotation.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "IsectTestScene.h"
#include "intersection/MemoryGuard.h"
#include "intersection/TriangleKernels.h"

using namespace isect_test;
using Action = SoIntersectionDetectionExtAction;

namespace {

// The flat triangle z = 0 (normal +z) and a triangle standing through it.
Mesh flat() {
  Mesh m;
  m.add(SbVec3f(0, 0, 0), SbVec3f(4, 0, 0), SbVec3f(0, 4, 0));
  return m;
}
Mesh standing() {
  Mesh m;
  m.add(SbVec3f(1, 1, -1), SbVec3f(1, 1, 1), SbVec3f(3, 0.5f, 0.5f));
  return m;
}

// A scene root with the given instances as children; referenced.
struct Scene {
  SoSeparator* root = new SoSeparator;
  std::vector<SoPath*> paths;
  Scene() { root->ref(); }
  ~Scene() {
    for (SoPath* p : paths) p->unref();
    root->unref();
  }
  SoPath* add(SoSeparator* inst) {
    root->addChild(inst);
    paths.push_back(pathTo(root, inst));
    return paths.back();
  }
  // A new path object to an existing child (same instance, new identity).
  SoPath* freshPath(int child) {
    paths.push_back(pathTo(root, root->getChild(child)));
    return paths.back();
  }
};

// Plenty of free memory while alive, so that cache tests do not depend on
// the machine.
struct PlentyOfMemory {
  PlentyOfMemory() {
    vxisect::setFreeMemoryProbe(+[] { return 0.9; });
  }
  ~PlentyOfMemory() { vxisect::setFreeMemoryProbe(nullptr); }
};

// Three mutually overlapping spheres: every pair crosses in many triangles.
void addThreeSpheres(Scene& s) {
  const Mesh sphere = uvSphere(1.0f, 24, 12);
  s.add(instance(sphere, SbVec3f(0, 0, 0)));
  s.add(instance(sphere, SbVec3f(1.1f, 0.1f, 0.05f)));
  s.add(instance(sphere, SbVec3f(0.5f, 0.9f, -0.1f)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Registration and settings.

TEST(ActionSettings, RegisteredAsAnAction) {
  initAction();
  const SoType t = Action::getClassTypeId();
  ASSERT_FALSE(t.isBad());
  EXPECT_STREQ(t.getName().getString(), "SoIntersectionDetectionExtAction");
  EXPECT_EQ(t.getParent(), SoAction::getClassTypeId());
  EXPECT_EQ(SoType::fromName("SoIntersectionDetectionExtAction"), t);
  Action action;
  EXPECT_EQ(action.getTypeId(), t);
  EXPECT_TRUE(action.isOfType(SoAction::getClassTypeId()));
}

TEST(ActionSettings, InstanceEpsilonOverridesTheClassEpsilonOnceSet) {
  initAction();
  EXPECT_EQ(Action::getIntersectionEpsilon(), 0.0f);  // initClass sets 0
  Action action;
  Action::setIntersectionEpsilon(0.5f);
  EXPECT_EQ(action.getIntersectionDetectionEpsilon(), 0.5f);
  action.setIntersectionDetectionEpsilon(0.0f);  // set, even to 0, wins
  EXPECT_EQ(action.getIntersectionDetectionEpsilon(), 0.0f);
  Action other;
  EXPECT_EQ(other.getIntersectionDetectionEpsilon(), 0.5f);
  Action::setIntersectionEpsilon(0.0f);
}

TEST(ActionSettings, FlagsAndPrunedTypes) {
  initAction();
  Action action;
  EXPECT_TRUE(action.isManipsEnabled());
  EXPECT_TRUE(action.isDraggersEnabled());
  EXPECT_FALSE(action.isShapeInternalsEnabled());
  action.setManipsEnabled(FALSE);
  action.setDraggersEnabled(FALSE);
  action.setShapeInternalsEnabled(TRUE);
  EXPECT_FALSE(action.isManipsEnabled());
  EXPECT_FALSE(action.isDraggersEnabled());
  EXPECT_TRUE(action.isShapeInternalsEnabled());

  const SoType sep = SoSeparator::getClassTypeId();
  EXPECT_TRUE(action.isTypeEnabled(sep));
  action.setTypeEnabled(sep, FALSE);
  action.setTypeEnabled(sep, FALSE);  // stored once
  EXPECT_FALSE(action.isTypeEnabled(sep));
  EXPECT_TRUE(action.isTypeEnabled(SoAnnotation::getClassTypeId()));  // exact type only
  action.setTypeEnabled(sep, TRUE);
  EXPECT_TRUE(action.isTypeEnabled(sep));
}

// ---------------------------------------------------------------------------
// Collection.

TEST(ActionCollect, PrunedTypeHidesItsSubgraph) {
  initAction();
  Scene s;
  s.add(instance(flat()));
  auto* wrapper = new SoAnnotation;
  wrapper->addChild(instance(standing()));
  s.root->addChild(wrapper);

  Action action;
  Recorder rec;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.setTypeEnabled(SoAnnotation::getClassTypeId(), FALSE);
  action.apply(s.root);
  EXPECT_EQ(rec.hits.size(), 0u);
  action.setTypeEnabled(SoAnnotation::getClassTypeId(), TRUE);
  action.apply(s.root);
  EXPECT_EQ(rec.hits.size(), 1u);
}

TEST(ActionCollect, OnlyBrepFaceSetsAreCollected) {
  initAction();
  Scene s;
  s.add(instance(flat()));
  // The standing triangle as a plain indexed face set: ignored.
  auto* plain = new SoSeparator;
  auto* coords = new SoCoordinate3;
  const Mesh m = standing();
  coords->point.setValues(0, 3, m.points.data());
  auto* ifs = new SoIndexedFaceSet;
  const int32_t idx[] = {0, 1, 2, -1};
  ifs->coordIndex.setValues(0, 4, idx);
  plain->addChild(coords);
  plain->addChild(ifs);
  s.root->addChild(plain);

  Action action;
  Recorder rec;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.apply(s.root);
  EXPECT_TRUE(rec.hits.empty());
  SbList<SbTri3f*> tris;
  action.GetIns1Triangles(tris);
  EXPECT_EQ(tris.getLength(), 1);
}

TEST(ActionCollect, TrianglesAreWorldPointsAndRecordsCarryLocalOnes) {
  initAction();
  const SbVec3f move(10, -3, 2);
  const SbRotation turn(SbVec3f(0.3f, 1, 0.2f), 1.1f);
  const float scale = 2.0f;
  // The standing triangle, moved so that it still crosses the flat one in
  // world space: invert the placement on its points.
  SbMatrix place;
  place.setTransform(move, turn, SbVec3f(scale, scale, scale));
  const SbMatrix unplace = place.inverse();
  Mesh local;
  {
    const Mesh w = standing();
    SbVec3f p[3];
    for (int k = 0; k < 3; ++k) unplace.multVecMatrix(w.points[static_cast<size_t>(k)], p[k]);
    local.add(p[0], p[1], p[2]);
  }
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* p2 = s.add(instance(local, move, turn, scale));

  Action action;
  Recorder rec;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.apply1(p1);
  action.apply2(p2);
  ASSERT_EQ(rec.hits.size(), 1u);

  SbList<SbTri3f*> tris;
  tris.append(nullptr);  // the getters replace the list's contents
  action.GetIns2Triangles(tris);
  ASSERT_EQ(tris.getLength(), 1);
  const Mesh world = standing();
  for (int k = 0; k < 3; ++k) {
    const SbVec3f d = tris[0]->getPoint(k) - world.points[static_cast<size_t>(k)];
    EXPECT_LT(d.length(), 1e-4f) << "corner " << k;
  }

  // Records: group 1 first; world points as stored, local points through the
  // inverse placement.
  struct Check {
    static Action::Resp cb(void* data, const SoIntersectingPrimitive* a, const SoIntersectingPrimitive* b, float d) {
      auto* local = static_cast<Mesh*>(data);
      EXPECT_EQ(a->type, SoIntersectingPrimitive::TRIANGLE);
      EXPECT_EQ(b->type, SoIntersectingPrimitive::TRIANGLE);
      EXPECT_TRUE(a->path->getTail()->isOfType(SoBrepFaceSet::getClassTypeId()));
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a->vertex[k], a->xf_vertex[k]);  // identity placement
        EXPECT_LT((b->vertex[k] - local->points[static_cast<size_t>(k)]).length(), 1e-4f);
      }
      EXPECT_EQ(d, 0.0f);
      return Action::NEXT_PRIMITIVE;
    }
  };
  Action check;
  check.addIntersectionCallback(&Check::cb, &local);
  check.apply1(p1);
  check.apply2(p2);
}

TEST(ActionCollect, VisitationCallbacksSeeNodesAndCanPrune) {
  initAction();
  Scene s;
  s.add(instance(flat()));
  s.add(instance(standing()));

  Action action;
  Recorder rec;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  VisitCounter shapes, seps;
  action.addVisitationCallback(SoBrepFaceSet::getClassTypeId(), &VisitCounter::cb, &shapes);
  action.addVisitationCallback(SoSeparator::getClassTypeId(), &VisitCounter::cb, &seps);
  action.apply(s.root);
  EXPECT_EQ(shapes.visits, 2);
  EXPECT_EQ(seps.visits, 3);  // root and two instances
  EXPECT_EQ(rec.hits.size(), 1u);

  // PRUNE at every separator: nothing below the root is collected.
  seps.answer = SoCallbackAction::PRUNE;
  action.apply(s.root);
  EXPECT_EQ(shapes.visits, 2);
  EXPECT_EQ(rec.hits.size(), 1u);

  action.removeVisitationCallback(SoSeparator::getClassTypeId(), &VisitCounter::cb, &seps);
  action.apply(s.root);
  EXPECT_EQ(seps.visits, 4);
  EXPECT_EQ(shapes.visits, 4);
  EXPECT_EQ(rec.hits.size(), 2u);
}

TEST(ActionCollect, InvalidTrianglesAreDroppedWithOneWarning) {
  // The only test that soups degenerate triangles: the warning is once per
  // process.
  initAction();
  Mesh bad = flat();
  bad.add(SbVec3f(0, 0, 1), SbVec3f(1, 1, 1), SbVec3f(2, 2, 1));  // collinear
  Scene s;
  s.add(instance(bad));
  s.add(instance(bad, SbVec3f(0, 0, 5)));
  DebugCatcher catcher;
  Action action;
  action.setCacheShapeDataFlg(FALSE);
  SbList<SbTri3f*> tris;
  action.apply1(s.paths[0]);
  action.GetIns1Triangles(tris);
  EXPECT_EQ(tris.getLength(), 1);
  action.apply1(s.paths[1]);
  action.GetIns1Triangles(tris);
  EXPECT_EQ(tris.getLength(), 1);
  EXPECT_EQ(catcher.count("Found an invalid triangle while souping up triangle primitives"), 1);
}

// ---------------------------------------------------------------------------
// Callbacks.

TEST(ActionCallbacks, RunInOrderWithDuplicatesAndAreRemovedTogether) {
  initAction();
  Scene s;
  s.add(instance(flat()));
  s.add(instance(standing()));
  Action action;
  std::vector<int> log;
  Recorder a, b;
  a.log = b.log = &log;
  a.id = 1;
  b.id = 2;
  action.addIntersectionCallback(&Recorder::cb, &a);
  action.addIntersectionCallback(&Recorder::cb, &b);
  action.addIntersectionCallback(&Recorder::cb, &a);
  action.apply(s.root);
  EXPECT_EQ(log, (std::vector<int>{1, 2, 1}));
  action.removeIntersectionCallback(&Recorder::cb, &a);
  log.clear();
  action.apply(s.root);
  EXPECT_EQ(log, (std::vector<int>{2}));
}

TEST(ActionCallbacks, NextShapeEndsOnlyTheCurrentShapePair) {
  initAction();
  Scene s;
  addThreeSpheres(s);
  Action action;
  Recorder all;
  action.addIntersectionCallback(&Recorder::cb, &all);
  action.apply(s.root);
  std::map<std::pair<SoNode*, SoNode*>, int> perPair;
  for (const Hit& h : all.hits) ++perPair[{h.firstShape, h.secondShape}];
  ASSERT_EQ(perPair.size(), 3u);
  for (const auto& e : perPair) ASSERT_GT(e.second, 1);

  Action stopper;
  Recorder first, second;
  first.answer = Action::NEXT_SHAPE;
  stopper.addIntersectionCallback(&Recorder::cb, &first);
  stopper.addIntersectionCallback(&Recorder::cb, &second);
  stopper.apply(s.root);
  ASSERT_EQ(first.hits.size(), 3u);  // one per pair of shapes
  EXPECT_TRUE(second.hits.empty());  // later callbacks are skipped too
  std::set<std::pair<SoNode*, SoNode*>> pairs;
  for (const Hit& h : first.hits) pairs.insert({h.firstShape, h.secondShape});
  EXPECT_EQ(pairs.size(), 3u);
}

TEST(ActionCallbacks, AbortEndsTheRun) {
  initAction();
  Scene s;
  addThreeSpheres(s);
  Action action;
  Recorder first, second;
  first.answer = Action::ABORT;
  action.addIntersectionCallback(&Recorder::cb, &first);
  action.addIntersectionCallback(&Recorder::cb, &second);
  action.apply(s.root);
  EXPECT_EQ(first.hits.size(), 1u);
  EXPECT_TRUE(second.hits.empty());
}

TEST(ActionCallbacks, NoCallbackMeansAWarningAndNoTest) {
  initAction();
  Scene s;
  s.add(instance(flat()));
  s.add(instance(standing()));
  DebugCatcher catcher;
  Action action;
  action.apply(s.root);
  EXPECT_EQ(catcher.count("intersection testing invoked, but no callbacks set up"), 1);
}

namespace {
struct FilterLog {
  std::vector<std::pair<SoNode*, SoNode*>> calls;
  SbBool answer = TRUE;
  static SbBool cb(void* data, const SoPath* p1, const SoPath* p2) {
    auto* self = static_cast<FilterLog*>(data);
    self->calls.push_back({p1->getTail(), p2->getTail()});
    return self->answer;
  }
};
}  // namespace

TEST(ActionCallbacks, FilterSeesShapePairsAndCanSkipThem) {
  initAction();
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* p2 = s.add(instance(standing()));
  SoNode* shape1 = static_cast<SoGroup*>(s.root->getChild(0))->getChild(2);
  SoNode* shape2 = static_cast<SoGroup*>(s.root->getChild(1))->getChild(2);

  Action action;
  Recorder rec;
  FilterLog filter;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.setFilterCallback(&FilterLog::cb, &filter);
  // Two groups: group 2's path first.
  action.apply1(p1);
  action.apply2(p2);
  ASSERT_EQ(filter.calls.size(), 1u);
  EXPECT_EQ(filter.calls[0], std::make_pair(shape2, shape1));
  EXPECT_EQ(rec.hits.size(), 1u);
  // One group: the earlier shape first.
  action.apply(s.root);
  ASSERT_EQ(filter.calls.size(), 2u);
  EXPECT_EQ(filter.calls[1], std::make_pair(shape1, shape2));
  // A zero answer skips the pair.
  filter.answer = FALSE;
  action.apply(s.root);
  action.apply2(p2);
  EXPECT_EQ(rec.hits.size(), 2u);
  action.setFilterCallback(nullptr, nullptr);
  action.apply(s.root);
  EXPECT_EQ(rec.hits.size(), 3u);
}

TEST(ActionCallbacks, ShapeInternalsReportSelfCrossingsOfTheIteratedGroupOnly) {
  initAction();
  Mesh selfCrossing = flat();
  const Mesh st = standing();
  selfCrossing.add(st.points[0], st.points[1], st.points[2]);
  Scene s;
  SoPath* crossing = s.add(instance(selfCrossing));
  SoPath* other = s.add(instance(flat(), SbVec3f(0, 0, 3)));  // parallel, apart

  Action action;
  Recorder rec;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.apply(s.root);
  EXPECT_TRUE(rec.hits.empty());
  action.setShapeInternalsEnabled(TRUE);
  action.apply(s.root);
  ASSERT_EQ(rec.hits.size(), 1u);
  EXPECT_EQ(rec.hits[0].firstShape, rec.hits[0].secondShape);
  EXPECT_EQ(rec.hits[0].first, key(flat().points.data()));  // lower index first
  EXPECT_EQ(rec.hits[0].distance, 0.0f);

  // Two groups: only group 2 is self-tested.
  action.setIntersectionDetectionEpsilon(5.0f);  // boxes meet; internals ignore eps
  action.apply1(crossing);
  action.apply2(other);
  const size_t afterGroup1 = rec.hits.size();
  for (size_t i = 1; i < afterGroup1; ++i) EXPECT_NE(rec.hits[i].firstShape, rec.hits[i].secondShape);
  action.apply1(other);
  action.apply2(crossing);
  size_t self = 0;
  for (size_t i = afterGroup1; i < rec.hits.size(); ++i) self += rec.hits[i].firstShape == rec.hits[i].secondShape;
  EXPECT_EQ(self, 1u);
}

// ---------------------------------------------------------------------------
// Epsilon and size rules.

TEST(ActionEpsilon, PairsWithinEpsilonAreReportedWithTheirDistance) {
  initAction();
  const float eps = 0.2f;
  for (float gap : {0.5f * eps, 2.0f * eps}) {
    Scene s;
    SoPath* p1 = s.add(instance(flat()));
    SoPath* p2 = s.add(instance(flat(), SbVec3f(0.5f, 0.5f, gap)));
    Action action;
    action.setIntersectionDetectionEpsilon(eps);
    Recorder rec;
    action.addIntersectionCallback(&Recorder::cb, &rec);
    action.apply1(p1);
    action.apply2(p2);
    if (gap < eps) {
      ASSERT_EQ(rec.hits.size(), 1u);
      EXPECT_NEAR(rec.hits[0].distance, gap, 1e-6f);
    } else {
      EXPECT_TRUE(rec.hits.empty());
    }
  }
}

TEST(ActionEpsilon, TinyShapesAreNeverReported) {
  initAction();
  // A triangle 0.00004 across crossing the flat triangle, in either group
  // and in one-group mode.
  Mesh tiny;
  tiny.add(SbVec3f(0.5f, 0.5f, -0.00002f), SbVec3f(0.50004f, 0.5f, 0.00002f), SbVec3f(0.5f, 0.50004f, 0.00002f));
  ASSERT_TRUE(vxtri::intersectExact(tiny.points.data(), flat().points.data()));
  Scene s;
  SoPath* big = s.add(instance(flat()));
  SoPath* small = s.add(instance(tiny));
  Action action;
  Recorder rec;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.apply1(big);
  action.apply2(small);
  action.apply1(small);
  action.apply2(big);
  action.apply(s.root);
  EXPECT_TRUE(rec.hits.empty());
  // With an epsilon the tiny set still never enters a triangle octree, so
  // where it is the octree side (group 2 here: equal counts) it stays silent.
  action.setIntersectionDetectionEpsilon(0.01f);
  action.apply1(big);
  action.apply2(small);
  EXPECT_TRUE(rec.hits.empty());
}

// ---------------------------------------------------------------------------
// Two-group prefilter and the shape-data cache.

TEST(ActionTwoGroups, BoxPrefilterSkipsDistantInstancesWithoutCollecting) {
  initAction();
  PlentyOfMemory memory;
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* near = s.add(instance(standing()));
  SoPath* far = s.add(instance(flat(), SbVec3f(4.05f, 0, 0)));  // boxes 0.05 apart
  SoPath* empty = s.add(new SoSeparator);

  Action action;
  Recorder rec;
  VisitCounter shapes;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.addVisitationCallback(SoBrepFaceSet::getClassTypeId(), &VisitCounter::cb, &shapes);
  action.apply1(p1);
  action.apply2(near);
  EXPECT_EQ(rec.hits.size(), 1u);
  EXPECT_EQ(shapes.visits, 2);
  SbList<SbTri3f*> before, after;
  action.GetIns2Triangles(before);

  action.apply2(far);
  EXPECT_EQ(shapes.visits, 2);  // not even collected
  action.GetIns2Triangles(after);
  EXPECT_EQ(after.getLength(), 1);
  EXPECT_EQ(after[0], before[0]);  // group 2 left as it was

  // The epsilon grows instance 1's box: now the pair passes and is tested.
  action.setIntersectionDetectionEpsilon(0.1f);
  action.apply1(p1);
  action.apply2(far);
  EXPECT_EQ(shapes.visits, 3);
  EXPECT_EQ(rec.hits.size(), 2u);  // the two triangles are 0.05 apart

  // An empty instance 1 disables apply2.
  action.apply1(empty);
  action.apply2(near);
  EXPECT_EQ(shapes.visits, 3);
  EXPECT_EQ(rec.hits.size(), 2u);
}

TEST(ActionTwoGroups, CacheKeepsShapeDataPerPathObject) {
  initAction();
  PlentyOfMemory memory;
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* p2 = s.add(instance(standing()));

  Action action;  // cache on by default
  Recorder rec;
  VisitCounter shapes;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.addVisitationCallback(SoBrepFaceSet::getClassTypeId(), &VisitCounter::cb, &shapes);
  action.apply1(p1);
  action.apply2(p2);
  EXPECT_EQ(shapes.visits, 2);
  SbList<SbTri3f*> first, again;
  action.GetIns1Triangles(first);

  action.apply1(p1);  // same path object: nothing traversed
  action.apply2(p2);
  EXPECT_EQ(shapes.visits, 2);
  EXPECT_EQ(rec.hits.size(), 2u);
  action.GetIns1Triangles(again);
  EXPECT_EQ(again[0], first[0]);  // the very same triangle data

  action.apply1(s.freshPath(0));  // same instance, new path object
  EXPECT_EQ(shapes.visits, 3);

  action.clearInsShapeData();
  action.GetIns1Triangles(again);
  EXPECT_EQ(again.getLength(), 0);  // groups emptied too
  action.apply1(p1);
  action.apply2(p2);
  EXPECT_EQ(shapes.visits, 5);
  EXPECT_EQ(rec.hits.size(), 3u);
}

TEST(ActionTwoGroups, CacheOffCollectsEveryTime) {
  initAction();
  PlentyOfMemory memory;
  Scene s;
  SoPath* p1 = s.add(instance(flat()));
  SoPath* p2 = s.add(instance(standing()));
  Action action(0);
  Recorder rec;
  VisitCounter shapes;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.addVisitationCallback(SoBrepFaceSet::getClassTypeId(), &VisitCounter::cb, &shapes);
  for (int i = 0; i < 3; ++i) {
    action.apply1(p1);
    action.apply2(p2);
  }
  EXPECT_EQ(shapes.visits, 6);
  EXPECT_EQ(rec.hits.size(), 3u);
  action.setCacheShapeDataFlg(TRUE);
  action.apply1(p1);
  action.apply1(p1);
  EXPECT_EQ(shapes.visits, 7);
}

TEST(ActionTwoGroups, LowMemoryDropsTheCache) {
  initAction();
  Scene s;
  SoPath* a = s.add(instance(flat()));
  SoPath* b = s.add(instance(flat(), SbVec3f(0, 0, 1)));
  SoPath* c = s.add(instance(standing()));
  Action action;
  Recorder rec;
  VisitCounter shapes;
  action.addIntersectionCallback(&Recorder::cb, &rec);
  action.addVisitationCallback(SoBrepFaceSet::getClassTypeId(), &VisitCounter::cb, &shapes);

  vxisect::setFreeMemoryProbe(+[] { return 0.1; });
  action.apply1(a);
  action.apply1(a);  // group 1 is still cached after the guard cleared
  EXPECT_EQ(shapes.visits, 1);
  action.apply1(b);  // the guard clears the cache before collecting b
  action.apply1(a);
  EXPECT_EQ(shapes.visits, 3);
  action.apply2(c);  // group 2 stays out of the cache
  action.apply2(c);
  EXPECT_EQ(shapes.visits, 5);
  EXPECT_EQ(rec.hits.size(), 2u);

  vxisect::setFreeMemoryProbe(+[] { return 0.5; });
  action.apply1(b);  // dropped by the guard earlier: collected again
  action.apply1(b);
  action.apply1(a);
  action.apply2(c);
  action.apply2(c);
  EXPECT_EQ(shapes.visits, 7);  // b and c once each, a cached
  vxisect::setFreeMemoryProbe(nullptr);
}

// ---------------------------------------------------------------------------
// Debug channel: the switch is read once per process, so this runs in a
// child process of its own.

namespace {
void runWithDebugging() {
  setenv("COIN_DEBUG_INTERSECTIONDETECTIONACTION", "1", 1);
  initAction();
  DebugCatcher catcher;
  {
    Scene s;
    s.add(instance(flat()));
    s.add(instance(standing()));
    Action action;
    Recorder rec;
    action.addIntersectionCallback(&Recorder::cb, &rec);
    action.apply(s.root);
  }
  for (const auto& m : catcher.messages) std::fprintf(stderr, "%s\n", m.c_str());
  std::exit(0);
}
}  // namespace

TEST(ActionDebug, MessagesWhenTheVariableIsSet) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runWithDebugging(), ::testing::ExitedWithCode(0),
              "number of triangle primitives in scene: 2.*calling doIntersectionTesting.*total number of shapedata "
              "items == 2.*shape 0 intersects 1 other shapes.*primitives1.*= 1 tris.*made new octtree.*intersection "
              "checks = 1 \\(pr primitive: 0.500000\\).*hits = 1 \\(chks pr hit: 1.000000\\).*shape 1 intersects 0 "
              "other shapes.*shape-shape intersections: 1, shape self-intersections: 0.*doIntersectionTesting\\(\\) "
              "done after");
}
