#include "intersection/SoIntersectionDetectionExtAction.h"

#include <Inventor/SbOctTree.h>
#include <Inventor/SbPlane.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbTime.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/SoPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetPrimitiveCountAction.h>
#include <Inventor/caches/SoBoundingBoxCache.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoShape.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "host/SoBrepFaceSet.h"
#include "intersection/IntersectionDebug.h"
#include "intersection/MemoryGuard.h"
#include "intersection/PairSearch.h"
#include "intersection/PrimitiveData.h"
#include "intersection/SearchPool.h"
#include "intersection/ShapeData.h"
#include "intersection/TriangleKernels.h"

SO_ACTION_SOURCE(SoIntersectionDetectionExtAction);

using vx::isect::PairSearch;
using vx::isect::PrimitiveData;
using vx::isect::ShapeData;
using vx::isect::TriangleHit;

namespace {

float s_classEpsilon = 0.0f;

// A pair's search is split among the search threads when it iterates at
// least this many triangles, in parts of at least kParallelPart (enough work
// per part to pay for handing it over; small enough for a stop to be seen
// within a few milliseconds).
constexpr std::size_t kParallelMin = 2048;
constexpr std::size_t kParallelPart = 1024;

// The local min/max of a transformed box (SbXfBox3f hides them).
SbVec3f& boxMin(SbXfBox3f& box) { return static_cast<SbBox3f&>(box).getMin(); }
SbVec3f& boxMax(SbXfBox3f& box) { return static_cast<SbBox3f&>(box).getMax(); }

// `box` scaled by 1.01 about its center (octree roots get this margin).
SbBox3f enlargedByOnePercent(SbBox3f box) {
  if (box.isEmpty()) return box;
  SbMatrix grow;
  grow.setTransform(SbVec3f(0, 0, 0), SbRotation::identity(), SbVec3f(1.01f, 1.01f, 1.01f), SbRotation::identity(),
                    box.getCenter());
  box.transform(grow);
  return box;
}

// `box` grown by `eps` in local units measured through the box's transform:
// the length of the transformed direction (eps, eps, eps) is added on every
// side. A prefilter only; with a transform that shrinks by more than 1/sqrt(3)
// it can be smaller than a true eps margin.
SbXfBox3f expandedBy(const SbXfBox3f& box, float eps) {
  SbXfBox3f out = box;
  SbVec3f dir;
  box.getTransform().multDirMatrix(SbVec3f(eps, eps, eps), dir);
  const float l = dir.length();
  boxMin(out) -= SbVec3f(l, l, l);
  boxMax(out) += SbVec3f(l, l, l);
  return out;
}

SbBool shapeItemInBox(void* const item, const SbBox3f& box) {
  return static_cast<const ShapeData*>(item)->getBox().intersect(box);
}

SoCallbackAction::Response pruneCB(void*, SoCallbackAction*, const SoNode*) { return SoCallbackAction::PRUNE; }

vx::isect::PlacedSet placedSet(const ShapeData& s) {
  return vx::isect::PlacedSet{s.getPrimitives(), s.getTransform(), s.getInverse()};
}

}  // namespace

// ---------------------------------------------------------------------------

// Hidden like the records it holds (see ShapeData.h).
class __attribute__((visibility("hidden"))) SoIntersectionDetectionExtAction::PImpl {
public:
  using ShapeList = std::vector<ShapeData*>;
  using Action = SoIntersectionDetectionExtAction;

  explicit PImpl(bool cache) : cacheFlag(cache) {}

  ~PImpl() {
    clearInsShapeData();
    delete traverser;
  }

  // The search threads' pool, made on first use with searchThreads threads.
  vx::isect::SearchPool& pool() {
    if (!searchPool) searchPool.reset(new vx::isect::SearchPool(searchThreads));
    return *searchPool;
  }

  float effectiveEpsilon() const { return epsilonSet ? epsilon : s_classEpsilon; }

  // --- groups and cache -----------------------------------------------------

  static void release(ShapeList& list) {
    for (ShapeData* s : list) s->unref();
    list.clear();
  }

  static void assign(ShapeList& to, const ShapeList& from) {
    for (ShapeData* s : from) s->ref();
    release(to);
    to = from;
  }

  // Group lists also count their members' group uses: world triangles
  // (GetIns1Triangles) live only while a group holds the shape.
  void addToGroup(int g, ShapeData* s) {
    s->ref();
    ++s->groupUses;
    group[g].push_back(s);
  }
  static void leave(ShapeList& list) {
    for (ShapeData* s : list) {
      if (--s->groupUses == 0) s->releaseWorld();
      s->unref();
    }
    list.clear();
  }
  void releaseGroup(int g) { leave(group[g]); }
  void setGroup(int g, const ShapeList& from) {
    ShapeList old;
    old.swap(group[g]);
    for (ShapeData* s : from) addToGroup(g, s);
    leave(old);
  }

  void resetGroup(int g) {
    releaseGroup(g);
    prepareTraverser(g);
  }

  void clearInsShapeData() {
    releaseGroup(0);
    releaseGroup(1);
    for (auto& entry : cache) release(entry.second);
    cache.clear();
    for (auto& entry : protos) entry.second->unref();
    protos.clear();
    extents.clear();
  }

  // The extent of a path, and its world box grown by a hair (so that a
  // rounding in the projection can never turn touching into apart). With
  // the cache on, kept per path object like the shape data: an interference
  // run asks for the extent of the same instances over and over.
  struct Extent {
    SbXfBox3f box;
    SbBox3f world;
  };
  // With `parent`, the box of the path's tail placed by that matrix.
  Extent extentOf(SoPath* path, const SbMatrix* parent = nullptr) {
    if (cacheFlag) {
      const auto hit = extents.find(path);
      if (hit != extents.end()) return hit->second;
    }
    if (parent) {
      bbox.apply(static_cast<SoFullPath*>(path)->getTail());
    } else {
      bbox.apply(path);
    }
    Extent e{bbox.getXfBoundingBox(), SbBox3f()};
    if (parent && !e.box.isEmpty()) e.box.transform(*parent);
    if (!e.box.isEmpty()) {
      e.world = e.box.project();
      const SbVec3f size = e.world.getSize();
      const float pad = 1e-5f * std::max({size[0], size[1], size[2], 1e-3f});
      e.world.extendBy(e.world.getMin() - SbVec3f(pad, pad, pad));
      e.world.extendBy(e.world.getMax() + SbVec3f(pad, pad, pad));
    }
    if (cacheFlag && !vx::isect::physicalMemoryLow()) extents.emplace(path, e);
    return e;
  }

  // The box apply1 keeps for extent `e`: the transformed box grown by the
  // effective epsilon in its local units, and its projection grown by a hair.
  // False (both empty) when the extent is empty.
  bool side1Box(const Extent& e, SbXfBox3f& box, SbBox3f& world) {
    box = e.box;
    if (box.isEmpty()) {
      box.makeEmpty();
      world.makeEmpty();
      return false;
    }
    const float eps = effectiveEpsilon();
    boxMin(box) -= SbVec3f(eps, eps, eps);
    boxMax(box) += SbVec3f(eps, eps, eps);
    world = box.project();
    const SbVec3f size = world.getSize();
    const float pad = 1e-5f * std::max({size[0], size[1], size[2], 1e-3f});
    world.extendBy(world.getMin() - SbVec3f(pad, pad, pad));
    world.extendBy(world.getMax() + SbVec3f(pad, pad, pad));
    return true;
  }

  // Runs the collecting traversal over `path`, or with `parent` over its
  // tail placed by that matrix (see placeRoot below).
  void traverse(SoPath* path, const SbMatrix* parent) {
    if (!parent) {
      traverser->apply(path);
    } else {
      placedPath = static_cast<SoFullPath*>(path);
      placedMatrix = *parent;
      traverser->apply(placedPath->getTail());
      placedPath = nullptr;
    }
    finishCollection();
  }

  // After a collecting traversal: the new records are complete, so their
  // hierarchies are built now, on this thread, before any search reads them.
  void finishCollection() {
    souping = nullptr;
    for (ShapeData* s : group[collectGroup]) s->getPrimitives()->prepare();
  }

  // Collects the shapes under `path` into group g, through the cache when it
  // is on.
  void collect(int g, SoPath* path, const SbMatrix* parent = nullptr) {
    if (!cacheFlag) {
      resetGroup(g);
      traverse(path, parent);
      return;
    }
    const auto hit = cache.find(path);
    if (hit != cache.end()) {
      setGroup(g, hit->second);
      return;
    }
    prepareTraverser(g);
    if (g == 0 && vx::isect::physicalMemoryLow()) clearInsShapeData();
    releaseGroup(g);
    traverse(path, parent);
    if (g == 1 && vx::isect::physicalMemoryLow()) return;  // group 2 stays out of the cache
    ShapeList& entry = cache[path];
    assign(entry, group[g]);
  }

  // --- traverser --------------------------------------------------------------

  // The collecting traversal: pre-callbacks, in this order, for every node
  // (visitation dispatch), for each pruned type (PRUNE) and for SoBrepFaceSet
  // (collect into group `collectGroup`), and a triangle callback for
  // SoBrepFaceSet that takes the local triangles of a shape whose record is
  // new. The callback list depends only on the pruned types, so the action
  // is rebuilt when they change and reused otherwise: creating one (and its
  // traversal state) costs more than collecting a small instance.
  void prepareTraverser(int g) {
    collectGroup = g;
    if (traverser && !traverserDirty) return;
    delete traverser;
    traverser = new SoCallbackAction;
    traverser->addPreCallback(SoNode::getClassTypeId(), &PImpl::visitationDispatch, this);
    for (const SoType& t : prunedTypes) traverser->addPreCallback(t, &pruneCB, nullptr);
    traverser->addPreCallback(SoBrepFaceSet::getClassTypeId(), &PImpl::collectCB, this);
    traverser->addTriangleCallback(SoBrepFaceSet::getClassTypeId(), &PImpl::triangleCB, this);
    traverserDirty = false;
  }

  // A traversal placed at an instance (traverse with a parent matrix) starts
  // at the tail of placedPath: the root's model matrix is set to the
  // parent's before the root is traversed, so every matrix below is the
  // product the path traversal forms, in the same order. Every other
  // traversal gets identity there, which is where a fresh state starts, so
  // no placed matrix can outlive its traversal in the reused state.
  static void placeRoot(PImpl* self, SoCallbackAction* action, const SoNode* node) {
    auto* root = const_cast<SoNode*>(node);
    if (self->placedPath) {
      SoModelMatrixElement::set(action->getState(), root, self->placedMatrix);
    } else {
      SoModelMatrixElement::makeIdentity(action->getState(), root);
    }
  }

  // The current path as callbacks see it: from the head of placedPath in a
  // placed traversal. A new path with no references yet.
  SoPath* reportedPath(const SoPath* current) const {
    const auto* rel = static_cast<const SoFullPath*>(current);
    if (!placedPath) return rel->copy();
    SoPath* out = placedPath->copy();
    for (int k = 1; k < rel->getLength(); ++k) out->append(rel->getIndex(k));
    return out;
  }

  static SoCallbackAction::Response visitationDispatch(void* data, SoCallbackAction* action, const SoNode* node) {
    auto* self = static_cast<PImpl*>(data);
    const SoPath* current = action->getCurPath();
    if (static_cast<const SoFullPath*>(current)->getLength() == 1) placeRoot(self, action, node);
    SoPath* joined = nullptr;
    SoCallbackAction::Response r = SoCallbackAction::CONTINUE;
    for (size_t i = 0; i < self->visitTypes.size() && r == SoCallbackAction::CONTINUE; ++i) {
      if (!node->isOfType(self->visitTypes[i])) continue;
      if (self->placedPath && !joined) {
        joined = self->reportedPath(current);
        joined->ref();
      }
      const auto& cb = self->visitCallbacks[i];
      r = cb.first(cb.second, joined ? joined : current);
    }
    if (joined) joined->unref();
    return r;
  }

  // A shape whose triangles are already known (same node, same coordinates
  // from the state) is pruned: Coin then skips generating its primitives,
  // which is most of the cost of collecting an instance. Otherwise the
  // traversal goes on into the shape and triangleCB fills its new record.
  static SoCallbackAction::Response collectCB(void* data, SoCallbackAction* action, const SoNode* node) {
    auto* self = static_cast<PImpl*>(data);
    return self->collectShape(self->collectGroup, action, node) ? SoCallbackAction::PRUNE : SoCallbackAction::CONTINUE;
  }

  static void triangleCB(void* data, SoCallbackAction*, const SoPrimitiveVertex* v1, const SoPrimitiveVertex* v2,
                         const SoPrimitiveVertex* v3) {
    auto* self = static_cast<PImpl*>(data);
    if (self->souping) self->souping->addTriangle(v1->getPoint(), v2->getPoint(), v3->getPoint());
  }

  // The shared record of the shape at the traversal's position: from the
  // cache, or new (and then souped by the traversal). True when it was known.
  bool sharedPrimitives(SoCallbackAction* action, const SoNode* node, PrimitiveData*& prims) {
    const PrimitiveData::Key key = PrimitiveData::Key::of(node, action->getState());
    if (cacheFlag) {
      const auto hit = protos.find(key);
      if (hit != protos.end()) {
        prims = hit->second;
        souping = nullptr;
        return true;
      }
    }
    prims = new PrimitiveData;
    souping = prims;
    if (cacheFlag && !vx::isect::physicalMemoryLow()) {
      prims->ref();
      protos.emplace(key, prims);
    }
    return false;
  }

  bool collectShape(int g, SoCallbackAction* action, const SoNode* node) {
    auto* shape = const_cast<SoShape*>(static_cast<const SoShape*>(node));
    SbBox3f box;
    SbVec3f center;
    const SoBoundingBoxCache* bboxCache = shape->getBoundingBoxCache();
    if (bboxCache && bboxCache->isValid(action->getState())) {
      box = bboxCache->getProjectedBox();
    } else {
      shape->computeBBox(action, box, center);
    }
    SbXfBox3f xfBox(box);
    xfBox.setTransform(action->getModelMatrix());
    PrimitiveData* prims = nullptr;
    const bool known = sharedPrimitives(action, node, prims);
    addToGroup(g, new ShapeData(reportedPath(action->getCurPath()), xfBox, prims));
    return known;
  }

  // --- testing ----------------------------------------------------------------

  // Shape-level loop. One-group mode iterates group 1 against itself,
  // two-group mode group 2 against group 1; the octree always holds group 1.
  void doIntersectionTesting(bool twoGroups) {
    const bool debug = vx::isect::debugOn();
    const char* const where = "SoIntersectionDetectionExtAction::PImpl::doIntersectionTesting";
    if (callbacks.empty()) {
      SoDebugError::postWarning(where, "intersection testing invoked, but no callbacks set up");
      return;
    }
    const float eps = effectiveEpsilon();
    if (debug) {
      SoDebugError::postInfo(where, "total number of shapedata items == %d", static_cast<int>(group[0].size()));
    }

    static const SbOctTreeFuncs funcs = {nullptr, &shapeItemInBox, nullptr, nullptr};
    SbOctTree shapeTree(enlargedByOnePercent(fullBox.project()), funcs, 64);
    for (ShapeData* s : group[0]) {
      if (!s->getBox().isEmpty()) shapeTree.addItem(s);
    }
    if (debug) shapeTree.debugTree(stderr);

    const ShapeList& iterated = twoGroups ? group[1] : group[0];
    int shapeTests = 0, selfTests = 0;
    SbList<void*> found;
    bool stop = false;
    for (size_t i = 0; i < iterated.size() && !stop; ++i) {
      ShapeData* s = iterated[i];
      if (s->getBox().isEmpty()) continue;
      if (!twoGroups) shapeTree.removeItem(s);

      if (shapeInternals) {
        ++selfTests;
        if (doInternalPrimitiveIntersectionTesting(*s)) break;
      }

      SbBox3f query = s->getBox().project();
      if (eps > 0.0f) {
        query.getMin() -= SbVec3f(eps, eps, eps);
        query.getMax() += SbVec3f(eps, eps, eps);
      }
      found.truncate(0);
      shapeTree.findItems(query, found, TRUE);
      if (debug) {
        SoDebugError::postInfo(where, "shape %d intersects %d other shapes", static_cast<int>(i), found.getLength());
      }

      const SbXfBox3f precise = eps > 0.0f ? expandedBy(s->getBox(), eps) : s->getBox();
      for (int j = 0; j < found.getLength(); ++j) {
        auto* c = static_cast<ShapeData*>(found[j]);
        if (!precise.intersect(c->getBox())) {
          if (debug) {
            SoDebugError::postInfo(where,
                                   "shape %d intersecting %d is a miss when tried with SbXfBox3f::intersect(SbXfBox3f)",
                                   static_cast<int>(i), j);
          }
          continue;
        }
        if (filterCB && !filterCB(filterClosure, s->getPath(), c->getPath())) continue;
        ++shapeTests;
        if (doPrimitiveIntersectionTesting(s, c, eps)) {
          stop = true;
          break;
        }
      }
    }
    if (debug) {
      SoDebugError::postInfo(where, "shape-shape intersections: %d, shape self-intersections: %d", shapeTests,
                             selfTests);
    }
  }

  // The record of local triangle i of `set` as callbacks get it: world
  // points, and the local points as the inverse gives them back.
  static void fillPrimitive(SoIntersectingPrimitive& out, const ShapeData& set, int i) {
    out.path = set.getPath();
    out.type = SoIntersectingPrimitive::TRIANGLE;
    set.worldPoints(i, out.xf_vertex);
    for (int k = 0; k < 3; ++k) set.getInverse().multVecMatrix(out.xf_vertex[k], out.vertex[k]);
  }

  // Calls the intersection callbacks in order; returns the first answer
  // other than NEXT_PRIMITIVE, or NEXT_PRIMITIVE.
  Resp report(const SoIntersectingPrimitive& p, const SoIntersectingPrimitive& q, float distance) {
    for (size_t k = 0; k < callbacks.size(); ++k) {
      const auto cb = callbacks[k];
      const Resp r = cb.first(cb.second, &p, &q, distance);
      if (r == Action::NEXT_SHAPE || r == Action::ABORT) return r;
    }
    return Action::NEXT_PRIMITIVE;
  }

  // Runs `search` over all its iterated triangles into `hits`, split among
  // the search threads when it is large. False when the stop flag ended it.
  bool runSearch(const PairSearch& search, std::vector<TriangleHit>& hits) {
    const std::size_t n = search.iterated().size();
    if (searchThreads == 1 || n < kParallelMin || pool().threads() == 1) return search.run(0, n, hits, stopFlag);
    const std::size_t part = std::max(kParallelPart, n / (4 * static_cast<std::size_t>(pool().threads())));
    const int parts = static_cast<int>((n + part - 1) / part);
    std::vector<std::vector<TriangleHit>> found(static_cast<std::size_t>(parts));
    std::atomic<bool> stopped{false};
    pool().run(parts, [&](int k) {
      const std::size_t from = static_cast<std::size_t>(k) * part;
      if (!search.run(from, from + part, found[static_cast<std::size_t>(k)], stopFlag)) stopped.store(true);
    });
    for (const auto& f : found) hits.insert(hits.end(), f.begin(), f.end());
    return !stopped.load();
  }

  // Tests the triangles of `a` against those of `b`: the search over the
  // shared local triangles first (PairSearch, possibly on several threads),
  // then every hit in order through the callbacks on this thread. The larger
  // set (a on ties) is searched, the smaller one iterated; callbacks always
  // get b's triangle first. Returns true when a callback asked to abort or
  // the stop flag ended the search.
  bool doPrimitiveIntersectionTesting(ShapeData* a, ShapeData* b, float eps) {
    const bool debug = vx::isect::debugOn();
    const char* const where = "SoIntersectionDetectionExtAction::PImpl::doPrimitiveIntersectionTesting";
    PrimitiveData* pa = a->getPrimitives();
    PrimitiveData* pb = b->getPrimitives();
    if (debug) {
      SoDebugError::postInfo(where, "primitives1 (%p) = %d tris, primitives2 (%p) = %d tris", static_cast<void*>(pa),
                             pa->getNumTriangles(), static_cast<void*>(pb), pb->getNumTriangles());
    }
    const bool swapped = pa->getNumValid() < pb->getNumValid();
    const ShapeData& treeSet = swapped ? *b : *a;
    const ShapeData& iterSet = swapped ? *a : *b;
    const PairSearch search(placedSet(iterSet), placedSet(treeSet), eps);
    hits.clear();
    bool stop = !runSearch(search, hits);

    SoIntersectingPrimitive p, q;
    for (const TriangleHit& h : hits) {
      fillPrimitive(p, iterSet, h.iter);
      fillPrimitive(q, treeSet, h.tree);
      const Resp r = swapped ? report(q, p, h.distance) : report(p, q, h.distance);
      if (r == Action::NEXT_SHAPE) break;
      if (r == Action::ABORT) {
        stop = true;
        break;
      }
    }
    if (debug) {
      SoDebugError::postInfo(where, "iterated triangles = %d, hits = %d", static_cast<int>(search.iterated().size()),
                             static_cast<int>(hits.size()));
    }
    return stop;
  }

  // Every pair of one shape's own triangles, exact test only. Returns true
  // when a callback asked to abort.
  bool doInternalPrimitiveIntersectionTesting(const ShapeData& set) {
    const bool debug = vx::isect::debugOn();
    const char* const where = "SoIntersectionDetectionExtAction::PImpl::doInternalPrimitiveIntersectionTesting";
    const PrimitiveData& prims = *set.getPrimitives();
    struct World {
      int index;
      SbVec3f pts[3];
      SbPlane plane;
    };
    std::vector<World> tris;
    tris.reserve(static_cast<std::size_t>(prims.getNumTriangles()));
    for (int i = 0; i < prims.getNumTriangles(); ++i) {
      World w;
      w.index = i;
      if (!prims.worldTriangle(set.getTransform(), i, w.pts)) continue;
      w.plane = SbPlane(w.pts[0], w.pts[1], w.pts[2]);
      tris.push_back(w);
    }
    const std::size_t n = tris.size();
    if (debug) SoDebugError::postInfo(where, "triangles shape = %d", static_cast<int>(n));
    int checks = 0;
    bool stop = false, done = false;
    SoIntersectingPrimitive p, q;
    for (std::size_t i = 0; i < n && !done; ++i) {
      for (std::size_t j = i + 1; j < n; ++j) {
        ++checks;
        if (!vx::tri::intersectExact(tris[i].pts, tris[i].plane, tris[j].pts, tris[j].plane)) continue;
        fillPrimitive(p, set, tris[i].index);
        fillPrimitive(q, set, tris[j].index);
        const Resp r = report(p, q, 0.0f);
        if (r == Action::NEXT_SHAPE) {
          done = true;
          break;
        }
        if (r == Action::ABORT) {
          done = stop = true;
          break;
        }
      }
    }
    if (debug) SoDebugError::postInfo(where, "intersection checks = %d", checks);
    return stop;
  }

  // --- state ------------------------------------------------------------------

  float epsilon = 0.0f;
  bool epsilonSet = false;
  bool draggersEnabled = true;
  bool manipsEnabled = true;
  bool shapeInternals = false;
  SoIntersectionFilterCB* filterCB = nullptr;
  void* filterClosure = nullptr;
  std::vector<std::pair<SoIntersectionCB*, void*>> callbacks;
  SoCallbackAction* traverser = nullptr;
  bool traverserDirty = true;        // pruned types changed since it was built
  int collectGroup = 0;              // group the traverser collects into
  PrimitiveData* souping = nullptr;  // record the triangle callback fills
  std::vector<SoType> prunedTypes;
  std::vector<SoType> visitTypes;  // parallel to visitCallbacks
  std::vector<std::pair<SoIntersectionVisitationCB*, void*>> visitCallbacks;
  ShapeList group[2];
  SbXfBox3f fullBox;
  SbBox3f fullWorld;  // fullBox projected, grown by a hair
  bool cacheFlag;
  std::map<const SoPath*, Extent> extents;  // with the cache on
  // Keyed by the path object's address; the path itself is not referenced.
  std::map<const SoPath*, ShapeList> cache;
  // Local triangles shared by the instances of a prototype (with the cache
  // on); each entry holds a reference.
  std::map<PrimitiveData::Key, PrimitiveData*> protos;
  // Reused for every extent: an action's traversal state is costly to make.
  SoGetBoundingBoxAction bbox{SbViewportRegion()};
  SoFullPath* placedPath = nullptr;  // during a placed traversal (see placeRoot)
  SbMatrix placedMatrix;
  std::vector<TriangleHit> hits;  // scratch of the triangle loop
  const std::atomic<int32_t>* stopFlag = nullptr;
  int searchThreads = 0;  // 0: the hardware concurrency
  std::unique_ptr<vx::isect::SearchPool> searchPool;
};

// ---------------------------------------------------------------------------

void SoIntersectionDetectionExtAction::initClass() {
  SO_ACTION_INIT_CLASS(SoIntersectionDetectionExtAction, SoAction);
  s_classEpsilon = 0.0f;
}

SoIntersectionDetectionExtAction::SoIntersectionDetectionExtAction(int cacheShapeData)
    : m_pImpl(new PImpl(cacheShapeData != 0)) {
  SO_ACTION_CONSTRUCTOR(SoIntersectionDetectionExtAction);
}

SoIntersectionDetectionExtAction::~SoIntersectionDetectionExtAction() { delete m_pImpl; }

void SoIntersectionDetectionExtAction::setIntersectionEpsilon(float epsilon) { s_classEpsilon = epsilon; }

float SoIntersectionDetectionExtAction::getIntersectionEpsilon() { return s_classEpsilon; }

void SoIntersectionDetectionExtAction::setIntersectionDetectionEpsilon(float epsilon) {
  m_pImpl->epsilon = epsilon;
  m_pImpl->epsilonSet = true;
}

float SoIntersectionDetectionExtAction::getIntersectionDetectionEpsilon() const { return m_pImpl->effectiveEpsilon(); }

void SoIntersectionDetectionExtAction::setTypeEnabled(SoType type, SbBool enable) {
  std::vector<SoType>& pruned = m_pImpl->prunedTypes;
  const auto it = std::find(pruned.begin(), pruned.end(), type);
  if (enable) {
    if (it == pruned.end()) return;
    pruned.erase(it);
  } else {
    if (it != pruned.end()) return;
    pruned.push_back(type);
  }
  m_pImpl->traverserDirty = true;
}

SbBool SoIntersectionDetectionExtAction::isTypeEnabled(SoType type, SbBool) const {
  const std::vector<SoType>& pruned = m_pImpl->prunedTypes;
  return std::find(pruned.begin(), pruned.end(), type) == pruned.end();
}

void SoIntersectionDetectionExtAction::setManipsEnabled(SbBool enable) { m_pImpl->manipsEnabled = enable != 0; }
SbBool SoIntersectionDetectionExtAction::isManipsEnabled() const { return m_pImpl->manipsEnabled; }
void SoIntersectionDetectionExtAction::setDraggersEnabled(SbBool enable) { m_pImpl->draggersEnabled = enable != 0; }
SbBool SoIntersectionDetectionExtAction::isDraggersEnabled() const { return m_pImpl->draggersEnabled; }
void SoIntersectionDetectionExtAction::setShapeInternalsEnabled(SbBool enable) {
  m_pImpl->shapeInternals = enable != 0;
}
SbBool SoIntersectionDetectionExtAction::isShapeInternalsEnabled() const { return m_pImpl->shapeInternals; }

void SoIntersectionDetectionExtAction::addVisitationCallback(SoType type, SoIntersectionVisitationCB* cb,
                                                             void* closure) {
  m_pImpl->visitTypes.push_back(type);
  m_pImpl->visitCallbacks.emplace_back(cb, closure);
}

void SoIntersectionDetectionExtAction::removeVisitationCallback(SoType type, SoIntersectionVisitationCB* cb,
                                                                void* closure) {
  PImpl& p = *m_pImpl;
  for (size_t i = p.visitTypes.size(); i-- > 0;) {
    if (p.visitTypes[i] == type && p.visitCallbacks[i].first == cb && p.visitCallbacks[i].second == closure) {
      p.visitTypes.erase(p.visitTypes.begin() + static_cast<std::ptrdiff_t>(i));
      p.visitCallbacks.erase(p.visitCallbacks.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

void SoIntersectionDetectionExtAction::setFilterCallback(SoIntersectionFilterCB* cb, void* closure) {
  m_pImpl->filterCB = cb;
  m_pImpl->filterClosure = closure;
}

void SoIntersectionDetectionExtAction::addIntersectionCallback(SoIntersectionCB* cb, void* closure) {
  m_pImpl->callbacks.emplace_back(cb, closure);
}

void SoIntersectionDetectionExtAction::removeIntersectionCallback(SoIntersectionCB* cb, void* closure) {
  auto& list = m_pImpl->callbacks;
  list.erase(std::remove(list.begin(), list.end(), std::make_pair(cb, closure)), list.end());
}

void SoIntersectionDetectionExtAction::setCacheShapeDataFlg(SbBool on) { m_pImpl->cacheFlag = on != 0; }

void SoIntersectionDetectionExtAction::clearInsShapeData() { m_pImpl->clearInsShapeData(); }

void SoIntersectionDetectionExtAction::GetIns1Triangles(SbList<SbTri3f*>& triangles) {
  triangles.truncate(0);
  for (ShapeData* s : m_pImpl->group[0]) s->appendWorldTriangles(triangles);
}

void SoIntersectionDetectionExtAction::GetIns2Triangles(SbList<SbTri3f*>& triangles) {
  triangles.truncate(0);
  for (ShapeData* s : m_pImpl->group[1]) s->appendWorldTriangles(triangles);
}

void SoIntersectionDetectionExtAction::setStopFlag(const std::atomic<int32_t>* flag) { m_pImpl->stopFlag = flag; }

void SoIntersectionDetectionExtAction::setSearchThreads(int threads) {
  if (threads == m_pImpl->searchThreads) return;
  m_pImpl->searchThreads = threads;
  m_pImpl->searchPool.reset();
}

std::size_t SoIntersectionDetectionExtAction::getSharedTriangleBytes(int& records, int& triangles) const {
  std::size_t bytes = 0;
  records = triangles = 0;
  for (const auto& entry : m_pImpl->protos) {
    bytes += entry.second->memoryBytes();
    ++records;
    triangles += entry.second->getNumTriangles();
  }
  return bytes;
}

// --- applying -------------------------------------------------------------------

void SoIntersectionDetectionExtAction::apply(SoNode* root) {
  PImpl& p = *m_pImpl;
  const bool debug = vx::isect::debugOn();
  const char* const where = "SoIntersectionDetectionExtAction::apply";
  p.resetGroup(0);
  p.bbox.apply(root);
  p.fullBox = p.bbox.getXfBoundingBox();
  if (debug) {
    SoGetPrimitiveCountAction count;
    count.apply(root);
    SoDebugError::postInfo(where, "number of triangle primitives in scene: %d", count.getTriangleCount());
  }
  p.traverser->apply(root);
  p.finishCollection();
  if (debug) SoDebugError::postInfo(where, "calling doIntersectionTesting()...");
  const SbTime start = SbTime::getTimeOfDay();
  p.doIntersectionTesting(false);
  if (debug) {
    SoDebugError::postInfo(where, "doIntersectionTesting() done after %f seconds.",
                           (SbTime::getTimeOfDay() - start).getValue());
  }
}

void SoIntersectionDetectionExtAction::apply(SoPath* path) {
  PImpl& p = *m_pImpl;
  p.bbox.apply(path);
  p.fullBox = p.bbox.getXfBoundingBox();
  p.collect(0, path);
  p.doIntersectionTesting(false);
}

void SoIntersectionDetectionExtAction::apply(const SoPathList& paths, SbBool obeysRules) {
  PImpl& p = *m_pImpl;
  p.resetGroup(0);
  p.bbox.apply(paths, obeysRules);
  p.fullBox = p.bbox.getXfBoundingBox();
  p.traverser->apply(paths, obeysRules);
  p.finishCollection();
  p.doIntersectionTesting(false);
}

void SoIntersectionDetectionExtAction::apply1(SoPath* path1) {
  PImpl& p = *m_pImpl;
  if (!p.side1Box(p.extentOf(path1), p.fullBox, p.fullWorld)) return;
  p.collect(0, path1);
}

void SoIntersectionDetectionExtAction::apply1(SoPath* path1, const SbMatrix& parent) {
  PImpl& p = *m_pImpl;
  if (!p.side1Box(p.extentOf(path1, &parent), p.fullBox, p.fullWorld)) return;
  p.collect(0, path1, &parent);
}

void SoIntersectionDetectionExtAction::getPairBoxes(SoPath* path, SbBox3f& asSide1, SbBox3f& asSide2) {
  PImpl& p = *m_pImpl;
  const PImpl::Extent e = p.extentOf(path);
  SbXfBox3f grown;
  asSide1.makeEmpty();
  asSide2.makeEmpty();
  if (!p.side1Box(e, grown, asSide1)) return;
  asSide2 = e.world;
}

void SoIntersectionDetectionExtAction::apply2(SoPath* path2) {
  PImpl& p = *m_pImpl;
  if (p.fullBox.isEmpty()) return;
  const PImpl::Extent e = p.extentOf(path2);
  // World boxes apart mean transformed boxes apart: the cheap test first.
  if (e.box.isEmpty() || !p.fullWorld.intersect(e.world) || !p.fullBox.intersect(e.box)) return;
  p.collect(1, path2);
  p.doIntersectionTesting(true);
}

void SoIntersectionDetectionExtAction::apply2(SoPath* path2, const SbMatrix& parent) {
  PImpl& p = *m_pImpl;
  if (p.fullBox.isEmpty()) return;
  const PImpl::Extent e = p.extentOf(path2, &parent);
  if (e.box.isEmpty() || !p.fullWorld.intersect(e.world) || !p.fullBox.intersect(e.box)) return;
  p.collect(1, path2, &parent);
  p.doIntersectionTesting(true);
}
