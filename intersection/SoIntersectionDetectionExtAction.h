#pragma once
// SoIntersectionDetectionExtAction: finds intersecting (or, with an epsilon,
// near) triangle pairs between face-set shapes (SoBrepFaceSet) of a scene and
// reports every pair to callbacks.
//
// One-group mode: apply(node | path | path list) collects every face set
// below the argument and tests each pair of shapes once.
// Two-group mode: apply1(path1) collects the shapes of one instance,
// apply2(path2) those of a second one and tests only pairs made of one shape
// of each, after checking that the epsilon-grown box of instance 1 meets the
// box of instance 2. Intersection callbacks then get the group-1 triangle
// first and the group-2 triangle second.
//
// Shape-data cache (on unless constructed with 0): the shapes gathered for
// a path are kept between calls, keyed by the address of the SoPath object,
// and the local triangles of a shape are kept once for every instance that
// reaches the same face-set node with the same coordinates (a prototype's
// instances), so that collecting a known instance generates no triangles.
// Contract: pass the same path object for the same instance only as long as
// its geometry and placement are unchanged, keep that object alive while it
// may be looked up (a new path at a freed one's address would hit the old
// entry), and call clearInsShapeData() when the scene changes. The cache is
// dropped when free physical memory falls below 30 % of the total.
//
// Triangles are tested on world points (each local point through the
// shape's model matrix), with the exact test of
// intersection/TriangleKernels.h (epsilon 0) or the triangle distance
// (epsilon > 0: a pair is reported when its distance is at most epsilon).
// Per pair of shapes, the larger triangle set is searched and the smaller
// one iterated, through a hierarchy over the searched set's local boxes
// with the query mapped into its frame (intersection/PairSearch.h). The
// triangles of one iterated triangle are reported in their set's order.
// Triangles smaller than 0.0001 on every axis are never found, and with
// epsilon 0 never find one either, so with epsilon 0 they take no part;
// with epsilon > 0 one on the iterated side can still be reported.
//
// Diagnostics go to SoDebugError when the environment variable
// COIN_DEBUG_INTERSECTIONDETECTIONACTION is set to a number above 0.
//
// An action object is used by one thread at a time; the class epsilon is
// process-wide and unguarded.
#include <Inventor/actions/SoAction.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoSubAction.h>
#include <Inventor/collision/SoIntersectionDetectionAction.h>  // SoIntersectingPrimitive
#include <Inventor/lists/SbList.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

class SbBox3f;
class SbMatrix;
class SbTri3f;
class SoPath;
class SoPathList;

class SoIntersectionDetectionExtAction : public SoAction {
  typedef SoAction inherited;
  SO_ACTION_HEADER(SoIntersectionDetectionExtAction);

public:
  // Registers the type and sets the class epsilon to 0. Call once, after
  // Coin's own initialisation.
  static void initClass();

  // cacheShapeData != 0 turns the shape-data cache on.
  explicit SoIntersectionDetectionExtAction(int cacheShapeData = 1);
  ~SoIntersectionDetectionExtAction() override;

  // What an intersection callback asks for next.
  enum Resp {
    NEXT_PRIMITIVE = 0,  // go on with the next callback and triangle pair
    NEXT_SHAPE = 1,      // stop testing the current pair of shapes
    ABORT = 2            // stop the whole test run
  };

  // Called for each node derived from a registered type during collection;
  // anything but CONTINUE is handed to the traversal (PRUNE skips the node's
  // subgraph, ABORT ends the collection).
  typedef SoCallbackAction::Response SoIntersectionVisitationCB(void* closure, const SoPath* where);
  // Called for each pair of shapes whose boxes meet; 0 skips the pair.
  typedef SbBool SoIntersectionFilterCB(void* closure, const SoPath* p1, const SoPath* p2);
  // Called for each reported triangle pair. `distance` is the triangle
  // distance when an epsilon above 0 is in force, else 0. The records and
  // their paths belong to the action and are valid during the call only.
  // Callbacks must not apply this action or change its shape data.
  typedef Resp SoIntersectionCB(void* closure, const SoIntersectingPrimitive* p1, const SoIntersectingPrimitive* p2,
                                float distance);

  // Class epsilon: used by every action whose own epsilon was never set.
  static void setIntersectionEpsilon(float epsilon);
  static float getIntersectionEpsilon();

  // Instance epsilon; the getter returns the effective one (instance if set,
  // else class). Read at the start of each test run.
  void setIntersectionDetectionEpsilon(float epsilon);
  float getIntersectionDetectionEpsilon() const;

  // Disabling a type prunes the subgraphs of nodes of exactly that type.
  void setTypeEnabled(SoType type, SbBool enable);
  SbBool isTypeEnabled(SoType type, SbBool checkgroups = FALSE) const;

  // Stored and returned only; collection does not consult them.
  void setManipsEnabled(SbBool enable);
  SbBool isManipsEnabled() const;
  void setDraggersEnabled(SbBool enable);
  SbBool isDraggersEnabled() const;

  // Also test each shape against itself (group 1 in one-group mode, group 2
  // in two-group mode); always with the exact test.
  void setShapeInternalsEnabled(SbBool enable);
  SbBool isShapeInternalsEnabled() const;

  void addVisitationCallback(SoType type, SoIntersectionVisitationCB* cb, void* closure);
  // Removes every entry matching all three arguments.
  void removeVisitationCallback(SoType type, SoIntersectionVisitationCB* cb, void* closure);

  void apply(SoNode* root) override;
  void apply(SoPath* path) override;
  void apply(const SoPathList& paths, SbBool obeysRules = FALSE) override;

  // Two-group mode; see the top of this file.
  virtual void apply1(SoPath* path1);
  virtual void apply2(SoPath* path2);

  // apply1 / apply2 for an instance whose path's traversal enters the tail
  // with the model matrix `parent`: the traversals start at the tail with
  // that matrix instead of walking the path from its head. A Coin traversal
  // of a path visits the siblings before the path's child at every level,
  // so under a group of n instances the path form costs O(n) per call and
  // this form O(size of the instance). Callbacks still get paths from the
  // head of the given path. Same triangles and boxes as the path form, up to
  // float rounding of the matrix products, provided that the model matrix is
  // the only state the tail inherits that matters (no sibling on the way
  // sets coordinates, say) and no node below the tail depends on the path
  // from the head. The collision run passes the matrix of the path without
  // its tail, and only where no child of the tail's parent changes the state
  // and the document has no per-path user matrices. `parent` is read during
  // the call only. Shares the caches of the path form: a path is one cache
  // entry whichever form collected it.
  void apply1(SoPath* path1, const SbMatrix& parent);
  void apply2(SoPath* path2, const SbMatrix& parent);

  // The world boxes the two-group mode compares for `path`, with the
  // effective epsilon now in force: `asSide1` is the box apply1(path) keeps
  // (grown by the epsilon), `asSide2` the box apply2(path) tests against it.
  // apply2(q) after apply1(p) tests no triangle and calls no callback unless
  // asSide1 of p meets asSide2 of q (closed boxes), so a broad phase over
  // these boxes skips exactly pairs that would have found nothing. Both are
  // empty when the path has no extent. Uses the extent cache like apply1.
  void getPairBoxes(SoPath* path, SbBox3f& asSide1, SbBox3f& asSide2);

  virtual void setFilterCallback(SoIntersectionFilterCB* cb, void* closure = nullptr);
  // Duplicates are allowed; callbacks run in the order they were added.
  virtual void addIntersectionCallback(SoIntersectionCB* cb, void* closure = nullptr);
  // Removes every (cb, closure) entry.
  virtual void removeIntersectionCallback(SoIntersectionCB* cb, void* closure = nullptr);

  // A flag the triangle search polls (set: stop). While it is set, a test
  // run ends as if a callback had answered ABORT, within a few milliseconds
  // even inside one large pair of shapes. Null (the default): none. The
  // flag must outlive its use.
  void setStopFlag(const std::atomic<int32_t>* flag);

  // Threads that share the triangle search of one large pair of shapes (the
  // calling thread included; 0, the default: the hardware concurrency; 1:
  // the caller alone). Callbacks always run on the calling thread, in the
  // same order whatever the count.
  void setSearchThreads(int threads);

  // Heap bytes of the local triangle records shared between instances
  // (triangles and hierarchies), their count and their triangle count.
  std::size_t getSharedTriangleBytes(int& records, int& triangles) const;

  void setCacheShapeDataFlg(SbBool on);
  // Releases every cached shape data; both groups become empty.
  void clearInsShapeData();

  // Replace the list's contents with the world-space triangles of group 1
  // (group 2), shape by shape, in collection order. Triangle data are built
  // on demand. The triangles belong to the action (or its cache) and stay
  // valid until the shape data are released: the next collection of that
  // group, clearInsShapeData(), or the action's destruction.
  void GetIns1Triangles(SbList<SbTri3f*>& triangles);
  void GetIns2Triangles(SbList<SbTri3f*>& triangles);

private:
  class PImpl;
  PImpl* m_pImpl;

  SoIntersectionDetectionExtAction(const SoIntersectionDetectionExtAction&) = delete;
  SoIntersectionDetectionExtAction& operator=(const SoIntersectionDetectionExtAction&) = delete;
};
