#include "intersection/SoIntersectionDetectionExtAction.h"

#include <Inventor/SbOctTree.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbTime.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/SoPath.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetPrimitiveCountAction.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/caches/SoBoundingBoxCache.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoShape.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "host/SoBrepFaceSet.h"
#include "intersection/IntersectionDebug.h"
#include "intersection/MemoryGuard.h"
#include "intersection/PrimitiveData.h"
#include "intersection/ShapeData.h"
#include "intersection/TriangleKernels.h"

SO_ACTION_SOURCE(SoIntersectionDetectionExtAction);

using vxisect::PrimitiveData;
using vxisect::ShapeData;

namespace {

float s_classEpsilon = 0.0f;

// Iterated sets up to this many triangles are prefiltered triangle by
// triangle (TriangleBoxTree::anyCandidate); larger ones with a hierarchy of
// their own (markCandidates).
constexpr int kPerTriangleLimit = 1024;
constexpr int kRun = 8;  // triangles per run in the per-triangle prefilter

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

  void resetGroup(int g) {
    release(group[g]);
    prepareTraverser(g);
  }

  void clearInsShapeData() {
    release(group[0]);
    release(group[1]);
    for (auto& entry : cache) release(entry.second);
    cache.clear();
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
    if (cacheFlag && !vxisect::physicalMemoryLow()) extents.emplace(path, e);
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
      return;
    }
    placedPath = static_cast<SoFullPath*>(path);
    placedMatrix = *parent;
    traverser->apply(placedPath->getTail());
    placedPath = nullptr;
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
      assign(group[g], hit->second);
      return;
    }
    prepareTraverser(g);
    if (g == 0 && vxisect::physicalMemoryLow()) clearInsShapeData();
    release(group[g]);
    traverse(path, parent);
    if (g == 1 && vxisect::physicalMemoryLow()) return;  // group 2 stays out of the cache
    ShapeList& entry = cache[path];
    assign(entry, group[g]);
  }

  // --- traverser --------------------------------------------------------------

  // The collecting traversal: pre-callbacks, in this order, for every node
  // (visitation dispatch), for each pruned type (PRUNE) and for SoBrepFaceSet
  // (collect into group `collectGroup`). The callback list depends only on
  // the pruned types, so the action is rebuilt when they change and reused
  // otherwise: creating one (and its traversal state) costs more than
  // collecting a small instance.
  void prepareTraverser(int g) {
    collectGroup = g;
    if (traverser && !traverserDirty) return;
    delete traverser;
    traverser = new SoCallbackAction;
    traverser->addPreCallback(SoNode::getClassTypeId(), &PImpl::visitationDispatch, this);
    for (const SoType& t : prunedTypes) traverser->addPreCallback(t, &pruneCB, nullptr);
    traverser->addPreCallback(SoBrepFaceSet::getClassTypeId(), &PImpl::collectCB, this);
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

  static SoCallbackAction::Response collectCB(void* data, SoCallbackAction* action, const SoNode* node) {
    auto* self = static_cast<PImpl*>(data);
    self->collectShape(self->collectGroup, action, node);
    return SoCallbackAction::CONTINUE;
  }

  void collectShape(int g, SoCallbackAction* action, const SoNode* node) {
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
    auto* data = placedPath ? new ShapeData(reportedPath(action->getCurPath()), xfBox, action->getCurPath()->copy())
                            : new ShapeData(reportedPath(action->getCurPath()), xfBox);
    data->ref();
    group[g].push_back(data);
  }

  // --- testing ----------------------------------------------------------------

  // Shape-level loop. One-group mode iterates group 1 against itself,
  // two-group mode group 2 against group 1; the octree always holds group 1.
  void doIntersectionTesting(bool twoGroups) {
    const bool debug = vxisect::debugOn();
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
        if (doInternalPrimitiveIntersectionTesting(s->getPrimitives(souper))) break;
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
        if (doPrimitiveIntersectionTesting(s->getPrimitives(souper), c->getPrimitives(souper), eps)) {
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

  static void fillPrimitive(SoIntersectingPrimitive& out, const PrimitiveData& set, const PrimitiveData::Triangle& t) {
    out.path = const_cast<SoPath*>(set.getPath());
    out.type = SoIntersectingPrimitive::TRIANGLE;
    for (int k = 0; k < 3; ++k) {
      out.xf_vertex[k] = t.tri.getPoint(k);
      set.getInverse().multVecMatrix(out.xf_vertex[k], out.vertex[k]);
    }
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

  // Tests the triangles of `a` against those of `b`. The octree holds the
  // larger set (a on ties), the smaller one is iterated; callbacks always get
  // b's triangle first. Returns true when a callback asked to abort.
  bool doPrimitiveIntersectionTesting(PrimitiveData* a, PrimitiveData* b, float eps) {
    const bool debug = vxisect::debugOn();
    const char* const where = "SoIntersectionDetectionExtAction::PImpl::doPrimitiveIntersectionTesting";
    if (debug) {
      SoDebugError::postInfo(where, "primitives1 (%p) = %d tris, primitives2 (%p) = %d tris", static_cast<void*>(a),
                             a->getNumTriangles(), static_cast<void*>(b), b->getNumTriangles());
    }
    const bool swapped = a->getNumTriangles() < b->getNumTriangles();
    PrimitiveData* treeSet = swapped ? b : a;
    PrimitiveData* iterSet = swapped ? a : b;
    SbOctTree* tree = treeSet->getOctTree();
    const bool distanceMode = eps > 0.0f;
    const SbVec3f grow(eps, eps, eps);

    int checks = 0, hits = 0;
    bool stop = false, done = false;
    SoIntersectingPrimitive p, q;
    // The octree returns only triangles that pass its item test against the
    // query box. Both sets' box hierarchies tell at once which iterated
    // triangles have no such partner at all; their octree search would come
    // back empty and is skipped. The others are searched as usual, so the
    // candidates and their order are the octree's.
    // A small iterated set asks the octree set's hierarchy instead of getting
    // a hierarchy of its own: first for runs of consecutive triangles (mesh
    // order keeps them close; a run's box holds each member's query box, so
    // no partner for the run means none for its members), then per triangle.
    const int n = iterSet->getNumTriangles();
    const bool useHierarchy = n > kPerTriangleLimit;
    if (useHierarchy) iterSet->getBoxTree().markCandidates(treeSet->getBoxTree(), distanceMode ? eps : 0.0f, mayHit);
    const TriangleBoxTree& targets = treeSet->getBoxTree();
    auto queryOf = [&](int i) {
      SbBox3f query = iterSet->getTriangle(i).box;
      if (distanceMode) {
        query.getMin() -= grow;
        query.getMax() += grow;
      }
      return query;
    };
    for (int i = 0; i < n && !done; ++i) {
      if (useHierarchy && !mayHit[static_cast<size_t>(i)]) continue;
      if (!useHierarchy && i % kRun == 0) {
        SbBox3f run;
        for (int k = i; k < std::min(n, i + kRun); ++k) run.extendBy(queryOf(k));
        if (!targets.anyCandidate(run)) {
          i += kRun - 1;
          continue;
        }
      }
      const PrimitiveData::Triangle& t = iterSet->getTriangle(i);
      const SbBox3f query = queryOf(i);
      if (!useHierarchy && !targets.anyCandidate(query)) continue;
      candidates.truncate(0);
      tree->findItems(query, candidates, TRUE);
      for (int j = 0; j < candidates.getLength(); ++j) {
        const auto& u = *static_cast<const PrimitiveData::Triangle*>(candidates[j]);
        ++checks;
        float distance = 0.0f;
        if (distanceMode) {
          if (!vxtri::distanceWithin(t.tri.getPoints(), u.tri.getPoints(), eps, distance)) continue;
        } else if (!vxtri::intersectExact(t.tri.getPoints(), t.getPlane(), u.tri.getPoints(), u.getPlane())) {
          continue;
        }
        ++hits;
        fillPrimitive(p, *iterSet, t);
        fillPrimitive(q, *treeSet, u);
        const Resp r = swapped ? report(q, p, distance) : report(p, q, distance);
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
    if (debug) {
      const int total = a->getNumTriangles() + b->getNumTriangles();
      SoDebugError::postInfo(where, "intersection checks = %d (pr primitive: %f)", checks,
                             total > 0 ? static_cast<double>(checks) / total : 0.0);
      char ratio[64] = "-";
      if (hits > 0) std::snprintf(ratio, sizeof(ratio), "%f", static_cast<double>(checks) / hits);
      SoDebugError::postInfo(where, "hits = %d (chks pr hit: %s)", hits, ratio);
    }
    return stop;
  }

  // Every pair of one shape's own triangles, exact test only. Returns true
  // when a callback asked to abort.
  bool doInternalPrimitiveIntersectionTesting(PrimitiveData* prims) {
    const bool debug = vxisect::debugOn();
    const char* const where = "SoIntersectionDetectionExtAction::PImpl::doInternalPrimitiveIntersectionTesting";
    const int n = prims->getNumTriangles();
    if (debug) SoDebugError::postInfo(where, "triangles shape = %d", n);
    int checks = 0;
    bool stop = false, done = false;
    SoIntersectingPrimitive p, q;
    for (int i = 0; i < n && !done; ++i) {
      const PrimitiveData::Triangle& ti = prims->getTriangle(i);
      for (int j = i + 1; j < n; ++j) {
        const PrimitiveData::Triangle& tj = prims->getTriangle(j);
        ++checks;
        if (!vxtri::intersectExact(ti.tri.getPoints(), ti.getPlane(), tj.tri.getPoints(), tj.getPlane())) continue;
        fillPrimitive(p, *prims, ti);
        fillPrimitive(q, *prims, tj);
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
  bool traverserDirty = true;  // pruned types changed since it was built
  int collectGroup = 0;        // group the traverser collects into
  PrimitiveData::Souper souper;
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
  // Reused for every extent: an action's traversal state is costly to make.
  SoGetBoundingBoxAction bbox{SbViewportRegion()};
  SoFullPath* placedPath = nullptr;  // during a placed traversal (see placeRoot)
  SbMatrix placedMatrix;
  SbList<void*> candidates;  // scratch of the triangle loop
  std::vector<char> mayHit;  // same
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
  for (ShapeData* s : m_pImpl->group[0]) s->getPrimitives(m_pImpl->souper)->appendTriangles(triangles);
}

void SoIntersectionDetectionExtAction::GetIns2Triangles(SbList<SbTri3f*>& triangles) {
  triangles.truncate(0);
  for (ShapeData* s : m_pImpl->group[1]) s->getPrimitives(m_pImpl->souper)->appendTriangles(triangles);
}

// --- applying -------------------------------------------------------------------

void SoIntersectionDetectionExtAction::apply(SoNode* root) {
  PImpl& p = *m_pImpl;
  const bool debug = vxisect::debugOn();
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
