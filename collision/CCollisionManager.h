#pragma once
// Interference check between model instances of a document.
//
// The host adds instance paths to group 1 (and group 2 for a two-group
// check), sets the tolerance and options (public members), and calls
// StartCalculate(), which runs the check on one worker thread. Every pair of
// instances that touch, penetrate or come closer than the tolerance leaves a
// _collisionResult with its smallest distance, cut lines and (optionally) the
// cut face of the overlap. The host then steps through the results and shows
// them (boxes, clip plane, cut line, cut face).
//
// Threads: construction, destruction, the input and result operations and
// the presentation run on the host's thread; the run itself (Calculate and
// everything it calls, including the host's per-pair and finish callbacks)
// runs on the worker. The flags shared by the two threads are atomic. The
// host must not change the inputs, the results or the scene while a run is
// active.
//
// Broad phase: before the pairs are walked, every input instance's world box
// (grown by the run's epsilon) is computed once, and only pairs whose boxes
// meet (and pairs where one instance contains or equals the other) reach
// the intersection action. The boxes are the ones the action itself
// compares before testing any triangle, so the results, their order,
// numbering and records are those of testing every pair. m_nCurPair still
// counts the pairs of the all-pairs loop: pairs skipped by the broad phase
// advance it in bulk. The per-pair callback runs for every pair handed to
// the action and, when pairs were skipped at the end of an instance's row,
// once more for the row's last pair; every call sees the counter and the
// current paths the all-pairs loop would show at that pair.
#include <Inventor/SbBox3f.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/actions/SoCallbackAction.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "collision/CollisionOrders.h"
#include "collision/CollisionRecords.h"
#include "intersection/SoIntersectionDetectionExtAction.h"
#include "mesh/MeshVec.h"
#include "platform/Platform.h"

class CollisionDocState;
class SoFullPath;
class SoKRN_ComponentKit;
namespace vx::collide {
struct PlacementIdLists;
}
class SoKRN_MainDoc;
class SoKRN_NodeKit;
class SoNode;
class SoPath;
class SoPathList;
class SoSeparator;
struct SoIntersectingPrimitive;

class CCollisionManager {
public:
  using TriCrossLineMap = std::map<_triVtx, std::vector<std::vector<int32_t>>, TriVtxLess>;
  using InsList = std::vector<_collisionIns>;
  using ResultList = std::vector<_collisionResult>;

  // Destroys any earlier manager of this document named "CollisionManager"
  // or "CollisionManagerSA", then hangs its own separator, named `name`,
  // under the document's temporary children. Holds a reference on the
  // document until it is destroyed: a document is never freed under its
  // manager (hold your own reference if you use the document afterwards).
  CCollisionManager(SoKRN_MainDoc* doc, const char* name);
  // A null `doc` makes an inert manager: it takes inputs but its runs test
  // nothing and its displays show nothing.
  ~CCollisionManager();  // stops a running check first
  CCollisionManager(const CCollisionManager&) = delete;
  CCollisionManager& operator=(const CCollisionManager&) = delete;

  static SoNode* GetCollisionManagerNode(SoKRN_MainDoc* doc, const char* name);

  // ---- inputs --------------------------------------------------------------
  // Record forms: the list takes over one reference the caller holds on rec.pPath.
  void AddIns1(_collisionIns rec, int tag);
  void AddIns2(_collisionIns rec, int tag);
  // Path-list forms: each path is copied (and referenced) into a record. The
  // copies are temporary paths: they do not follow later edits of the scene
  // (re-add the inputs after changing it), and releasing them costs nothing.
  void AddIns1(SoPathList* paths, int tag);
  void AddIns2(SoPathList* paths, int tag);
  void AddIgnoreIns(SoPathList* paths, int tag);
  // Index at or above the size: no-op; negative: std::invalid_argument.
  void DelIns1(int i);
  void DelIns2(int i);
  void DelIgnoreIns(int i);
  void DelAllIns1();
  void DelAllIns2();
  void DelAllIgnoreIns();
  void SetIns1SelfFlg(int i, bool self);
  bool GetIns1SelfFlg(int i);
  InsList& GetIns() { return m_Ins; }
  InsList& GetIns2() { return m_Ins2; }
  InsList& GetIgnoreIns() { return m_IgnoreIns; }
  _collisionIns GetCurTopIns1() const { return m_CurTopIns1; }
  _collisionIns GetCurTopIns2() const { return m_CurTopIns2; }
  int GetStopFlg() const { return m_nStopFlg.load(); }
  int CheckInput();
  int CheckInputChild(SoKRN_ComponentKit* kit);

  // ---- results -------------------------------------------------------------
  _collisionResult* AddResult();
  void DelResult(int i);  // out of range: std::invalid_argument
  void DelAllResult();
  void GetResult(ResultList& out);
  int GetResultCount() const { return static_cast<int>(m_Result.size()); }
  // Direct read access for hosts that do not want copies (valid until the
  // next run or result change).
  const ResultList& Results() const { return m_Result; }
  void ClearData();

  // ---- the run -------------------------------------------------------------
  void SetStartCalculateCB(void (*cb)(void*), void* data);
  void SetCalculateCB(void (*cb)(void*), void* data);
  void SetCalculateFinshCB(void (*cb)(void*), void* data);
  void SetShowInsCB(void (*cb)(SbXfBox3f, void*), void* data);
  // Does nothing at all (results, expansion and display untouched) while a
  // run is active.
  void StartCalculate();
  // Blocks until the worker has ended. Called on the run's own thread (from
  // the per-pair or finish callback) it only sets the stop flag and returns.
  void StopCalculate();
  void Calculate();
  // The scene lock. Coin's traversals are not thread-safe, and a run reads
  // the document on its own thread: a viewer that draws the same scene, or
  // hands it events, while a run is active takes this lock around each
  // redraw or event (LockScene/UnlockScene, UI thread only). The run holds
  // it from its start to just before the finish callback and lets it go
  // around every per-pair callback, and between pairs when a viewer waits,
  // so a redraw waits one pair at most. Never call StopCalculate, or wait
  // for the run in any way, while holding it.
  void LockScene();
  void UnlockScene() { m_sceneMutex.unlock(); }
  void CalculateChild(SoFullPath* path);
  void Calculate2Group();

  // ---- presentation ----------------------------------------------------------
  void ClearColisionTempNode(bool restore);
  void ShowAll();
  void ShowAllWithoutClear();
  void ShowCurrent();
  void ShowPre();
  void ShowNext();
  void ShowEdge(int show);
  void ShowCutLine(int show);
  void ShowCutFace(int show);
  void ShowClipPlane(int show);
  // Nothing of the document stays visible but the inputs (mode nonzero) or
  // the shown results' pairs with their subtrees (mode 0); their ancestors
  // are drawn only as the way down to them.
  void ShowIns(int mode);
  // Makes one instance visible (with `steps` its expanded descendants too).
  void ShowIns(SoFullPath* path, bool steps);

  // ---- boxes -----------------------------------------------------------------
  SbXfBox3f GetAllInputInsBoundingBox();
  SbXfBox3f GetResultInsPairBoundingBox(_collisionResult* r);
  SbXfBox3f GetResultInsPairBoundingBox(int i);
  // The result box of result i (cached in its fBox), identity transform; an
  // empty box when i is out of range.
  SbXfBox3f GetResultBoundingBox(int i);

  // ---- action callbacks ------------------------------------------------------
  static SoCallbackAction::Response IntersectionVisitationCB(void* data, const SoPath* path);
  static int IntersectionFilterCB(void* data, const SoPath* p1, const SoPath* p2);
  static SoIntersectionDetectionExtAction::Resp IntersectionCB(void* data, const SoIntersectingPrimitive* p1,
                                                               const SoIntersectingPrimitive* p2, float distance);

  // ---- members (the host reads and sets the settings directly) -----------------
  CollisionDocState* m_pDocState = nullptr;
  SoIntersectionDetectionExtAction* m_pAction = nullptr;
  SoSeparator* m_pRoot = nullptr;
  int32_t m_nCrossPntCount = 0;
  _collisionIns m_CurTopIns1;
  _collisionIns m_CurTopIns2;
  SoFullPath* m_pCurPath1 = nullptr;
  SoFullPath* m_pCurPath2 = nullptr;
  int32_t m_bNewPair = 1;
  InsList m_Ins;
  InsList m_Ins2;
  InsList m_IgnoreIns;
  std::map<SoFullPath*, std::vector<SoFullPath*>> m_InsChildren;
  int32_t m_nCurSide = 0;
  std::map<_vtx, int32_t, VtxLess> m_CrossPntMap;
  TriCrossLineMap m_TriCrossLines1;
  TriCrossLineMap m_TriCrossLines2;
  void (*m_pfnCalculateCB)(void*) = nullptr;
  void* m_pCalculateCBData = nullptr;
  void (*m_pfnStartCalculateCB)(void*) = nullptr;
  void* m_pStartCalculateCBData = nullptr;
  void (*m_pfnCalculateFinshCB)(void*) = nullptr;
  void* m_pCalculateFinshCBData = nullptr;
  void (*m_pfnShowInsCB)(SbXfBox3f, void*) = nullptr;
  void* m_pShowInsCBData = nullptr;
  std::atomic<int32_t> m_nStopFlg{0};
  int32_t m_bCalcCrossMesh = 0;
  int32_t m_b2Group = 0;
  int32_t m_bSkipSameIns = 1;
  // 1: the broad phase (see the top of this file), and the action is handed
  // instances placed by their parents' matrices where that is sound; 0:
  // every pair reaches the action, always through the instance's whole
  // path, as a reference for tests and measurements.
  int32_t m_bBroadPhase = 1;
  // Threads that share the triangle search of one large pair of shapes
  // (0: the hardware concurrency; 1: the run's thread alone). The run's
  // thread still makes every callback, in the same order: results do not
  // depend on it.
  int32_t m_nSearchThreads = 0;
  int32_t m_nCalcType = 0;
  float m_fTolerance = 0.0f;
  float m_fTolerance2 = 0.0f;
  ResultList m_Result;
  int32_t m_bShowAll = 0;
  int32_t m_nCurResult = 0;
  int32_t m_bShowEdge = 1;
  int32_t m_bShowCutLine = 0;
  int32_t m_bShowCutFace = 0;
  int32_t m_bShowClipPlane = 0;
  int32_t m_nShowInsMode = 1;
  std::atomic<int64_t> m_nTotalPairs{0};
  std::atomic<int64_t> m_nCurPair{0};
  std::atomic<int32_t> m_bRunning{0};
  std::atomic<vx::platform::ThreadHandle> m_pThread{0};
  std::atomic<int32_t> m_bAborted{0};
  SoKRN_NodeKit* m_pClipViewNode = nullptr;
  // The pair the run was testing when a stop request or a guard ended it
  // (null paths when it ended between pairs, or finished). Such a pair's
  // partial result is dropped, never listed as finished. Set on the worker
  // before the finish callback; read by the host after it.
  SoFullPath* m_pStoppedPath1 = nullptr;
  SoFullPath* m_pStoppedPath2 = nullptr;

  // Memory guard: the run stops when available physical memory falls below
  // this many bytes (default: the smaller of 256 MiB and 5 % of physical
  // memory). Tests may raise it to make the guard fire.
  std::uint64_t m_nMinFreeMemory = 0;

private:
  friend class CollisionTestAccess;  // tests drive the geometric steps directly

  // inputs
  void AddIns(_collisionIns rec, InsList& list, int tag);
  void AddIns(SoPathList* paths, InsList& list, int tag);
  void DelIns(int i, InsList& list);
  void DelAllIns(InsList& list);
  void SetInsSelfFlg(InsList& list, int i, bool self);
  bool GetInsSelfFlg(InsList& list, int i);
  int GetMaxInsID(const InsList& list) const;
  int CheckInsExist(const _collisionIns& rec, const InsList& list) const;
  void ClearTempData();
  void GetAllInputIns();
  void GetAllInputInsChild(SoFullPath* path, std::vector<SoFullPath*>& out);
  void DelAllInputIns();
  int IsSameIns(SoFullPath* a, SoFullPath* b);
  int IsIgnoreIns(const SoPath* p);
  // Indexes the ignore list for IsIgnoreIns until the run ends (the host
  // does not change the lists while a run is active).
  void IndexIgnoreList();
  static std::size_t NodesHash(const SoPath* p);
  int IsChildIns(SoFullPath* a, SoFullPath* b, SoFullPath** deeper);
  SoCallbackAction::Response ObviateInvisible(const SoPath* path);

  // run
  // The candidate columns of each row of a pair walk, ascending: `rows`
  // paths against `cols` paths (the same list when `triangle`, then only
  // columns above the row). `usable` flags the paths that can take part.
  std::vector<std::vector<int32_t>> PlanPairs(const std::vector<SoFullPath*>& rows,
                                              const std::vector<SoFullPath*>& cols, bool triangle,
                                              const std::vector<char>& rowUsable, const std::vector<char>& colUsable);
  // Adds to `plan` the pairs the loops test as one instance or as one
  // containing the other (equal placement paths, or one continuing the
  // other), whatever their boxes say. The id lists are the paths' (see
  // collision/PlacementIds.h), one per path.
  void AddNestedPairs(const std::vector<SoFullPath*>& rows, const std::vector<SoFullPath*>& cols, bool triangle,
                      const vx::collide::PlacementIdLists& rowIds, const vx::collide::PlacementIdLists& colIds,
                      std::vector<std::vector<int32_t>>& plan);
  // Which loop a pair comes from: the top inputs of a one-group run, the
  // children of a self-flagged input, or a two-group run. They differ in
  // the visibility rule for side 2 and in what an equal or nested pair gets.
  enum class PairLoop { OneGroup, Children, TwoGroups };
  // One pair of the run, sides m_pCurPath1 and m_pCurPath2 (set by the
  // caller with their records): the checks that may skip it, the pair
  // counter and per-pair callback, the triangle test and the cut face, and
  // the pair's end.
  void TestPair(PairLoop loop);
  // Walks the candidates of one row from column `first`: for each candidate
  // `side2` sets side 2 and TestPair runs; the pairs in between advance
  // m_nCurPair by their count in `counted` (prefix sums of the counted
  // columns). `lastCounted` is the last counted column (the per-pair
  // callback sees it last, as in the all-pairs loop); false when the row
  // ended early (stop or guard).
  bool WalkRow(const std::vector<int32_t>& cand, std::size_t first, const std::vector<int64_t>& counted,
               int32_t lastCounted, const std::function<void(int32_t)>& side2, PairLoop loop);
  void RunOneGroup();
  // Broad-phase boxes of an instance (see the run's source for why they can
  // be trusted), side 1 grown by the epsilon; empty when it has no extent.
  struct BoxCache;
  void PairBoxes(SoFullPath* path, BoxCache& cache, SbBox3f& side1, SbBox3f& side2);
  // The model matrix of the path's parent, when the path's tail may be
  // traversed alone with it (no sibling on the way changes the state, no
  // per-path user matrices); false when only the whole path will do.
  bool ParentMatrix(SoFullPath* path, BoxCache& cache, SbMatrix& parent);
  // The box of the path's tail placed by `parent` (from ParentMatrix).
  SbXfBox3f PlacedBox(SoFullPath* path, BoxCache& cache, const SbMatrix& parent);
  // apply1 (side 1) or apply2 (side 2) of the action for one instance,
  // placed by its parent's matrix when ParentMatrix allows.
  void ApplySide(int side, SoFullPath* path);
  std::unique_ptr<BoxCache> m_pBoxCache;  // this run's, on the run's thread
  // Result boxes' (GetResultBoundingBox): only the group scans are kept
  // between calls, checked against the groups' node ids.
  std::unique_ptr<BoxCache> m_pResultBoxCache;
  // Brackets the test of one pair: a pair that a stop request or a guard
  // cut short loses the result it opened and is kept as the stopped pair.
  void BeginPair() { m_nPairResults = m_Result.size(); }
  void EndPair(SoFullPath* path1, SoFullPath* path2);
  void SetStoppedPair(SoFullPath* path1, SoFullPath* path2);
  static void WorkerMain(void* self);
  void RunBody();
  bool MemoryGuardFires();
  std::uint64_t GetUsedMemory();
  void CallCB(void (*cb)(void*), void* data) {
    if (cb) cb(data);
  }
  // The per-pair callback, with the scene lock let go around it; between
  // pairs without a callback the lock is let go only when a viewer waits.
  void PairDone();
  std::mutex m_sceneMutex;
  std::atomic<int> m_sceneWaiters{0};
  std::unique_lock<std::mutex>* m_pSceneLock = nullptr;  // the run's thread only
  bool Stopped() const { return m_nStopFlg.load(std::memory_order_relaxed) != 0; }

  // cut faces, and parts wholly inside others (found after a pair without triangle pairs)
  void CalculateCrossMesh();
  void DetectContainment();
  void NotePair();
  std::unordered_map<const SoFullPath*, SbBox3f> m_insBoxes;  // world boxes, this run
  int32_t m_lastPairSeen = 0;                                 // pair count of the last pair that ended (see NotePair)
  const SoFullPath* m_containPath = nullptr;                  // side-1 path whose welded surface is below
  std::vector<vx::mesh::Vec3> m_containPts;
  std::vector<int> m_containIdx;
  bool m_containClosed = false;
  void CalculateCrossMeshSelf();

  // presentation and boxes
  bool EnterBusy();
  void LeaveBusy() { m_bRunning.store(0); }
  void RemoveRootChildrenNamed(const char* name);
  void ShowDisplays();
  // One display switch: stores `show` in `flag`, then removes the separators
  // named `name` (show 0) or adds one with `addResult` run for every shown
  // result. Busy while it runs.
  void ShowDisplay(int show, int32_t& flag, const char* name,
                   const std::function<void(_collisionResult&, SoSeparator*)>& addResult);
  bool IsShown(int i) const;
  // Sets one instance's visibility (saving the one it had first). Inside a
  // batch it does not notify the document but notes that it changed it.
  void SetInsVisble(SoFullPath* path, int visible);
  // The same with the path's instance chain key given, and `saved` when its
  // visibility is saved already.
  void SetKeyVisible(SoFullPath* path, const std::string& key, int visible, bool saved);
  bool m_visibilityBatch = false;
  bool m_visibilityChanged = false;
  // The notification a visibility change gives the document.
  static void NotifyVisibility(SoKRN_MainDoc* doc);
  void SetInsVisbleSteps(SoFullPath* path, int visible);
  // Saves the current visibility of what ShowIns(path, steps) will show;
  // `key` gets the path's instance chain key. `input`: the path is a key of
  // m_InsChildren. False when nothing was saved (no path, document or state).
  bool SaveShown(SoFullPath* path, bool steps, std::string& key, bool input);
  // Hides the root instance and every occurrence set visible explicitly
  // (saving each first): nothing of the document is visible afterwards.
  void HideAllShown();
  SbXfBox3f GetResultBoundingBox(_collisionResult* r);
  void ShowResultBoundingBox(_collisionResult* r, SoSeparator* parent);
  void CreateBoundingBox(SbXfBox3f box, SoSeparator* parent);
  SbXfBox3f PathListBox(const SoPathList& paths);
  SoKRN_MainDoc* Doc() const;

  // The placement ids of a path (see collision/PlacementIds.h), computed
  // once per run: the paths do not change while a run is active.
  const std::vector<uint32_t>& PlacementIdsOf(const SoPath* path);
  std::unordered_map<const SoPath*, std::vector<uint32_t>> m_placementIds;
  // The memory guard asks the system at most every 100 ms.
  std::chrono::steady_clock::time_point m_nextMemoryCheck{};
  unsigned m_guardCalls = 0;

  // The worker is alive from StartCalculate until the last statement of its
  // thread body; the destructor waits for it, so the finish callback (which
  // runs after m_bRunning went back to 0) never outlives the manager.
  std::atomic<int32_t> m_workerAlive{0};
  std::mutex m_startMutex;  // held while the worker's handle is published
  // The thread running RunBody (a worker, or the caller of Calculate).
  std::atomic<std::thread::id> m_runThread{};
  std::size_t m_nPairResults = 0;  // worker only: result count when the pair began
  // During a run: the ignore list indexed by the nodes of its paths.
  std::unordered_multimap<std::size_t, const SoPath*> m_ignoreIndex;
  bool m_ignoreIndexed = false;
  // Set by StartCalculate for its worker: the expansion of the inputs it
  // made stays valid for the run. Cleared by any change of the lists, the
  // self flags or the expansion.
  bool m_expansionKept = false;
  bool ExpansionIgnoresVisibility() const;
};
