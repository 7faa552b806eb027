// Life of a manager and of one interference run.
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetMatrixAction.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <string>
#include <unordered_map>

#include "collision/BoxPairFinder.h"

#include "collision/CCollisionManager.h"
#include "collision/CollisionBoxCache.h"
#include "collision/CollisionDocState.h"
#include "collision/PlacementIds.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_2dEntityKit.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_EdgeKit.h"
#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_ShellKit.h"
#include "host/SoKRN_State.h"
#include "host/SoKRN_TextKit.h"
#include "host/SoKRN_UserTransform.h"
#include "host/SoKRN_WireSet.h"
#include "platform/Platform.h"

namespace {

const wchar_t kMsgLowMemory[] = L"剩余内存过少，继续计算系统可能崩溃，计算被中止！";
const wchar_t kMsgException[] = L"计算异常，干涉计算被中止！";

// Triangles closer than this (model units) are in contact: the action's
// epsilon is the tolerance plus this, and a result whose smallest distance
// is below it is an interference or contact (type 0), below the tolerance
// plus it a clearance violation (type 1).
constexpr double kContactDistance = 0.001;
// With less free physical memory than this share at construction, the
// action keeps no shape data between pairs (its own cache gives up below
// 30 %, see intersection/MemoryGuard.h).
constexpr double kCacheMinFreeShare = 0.4;
// The run's memory guard stops it when free physical memory falls below
// this share of the total, but never waits for more than kGuardFloorMax.
constexpr double kGuardFloorShare = 0.05;
constexpr std::uint64_t kGuardFloorMax = 256ull << 20;

}  // namespace

SoKRN_MainDoc* CCollisionManager::Doc() const { return m_pDocState ? m_pDocState->GetDoc() : nullptr; }

SoNode* CCollisionManager::GetCollisionManagerNode(SoKRN_MainDoc* doc, const char* name) {
  if (!doc || !name) return nullptr;
  const SbName wanted(name);
  for (int i = 0; i < doc->getNumTempChildren(); ++i) {
    SoNode* child = doc->getTmpChildByIndex(i);
    if (child && child->getName() == wanted) return child;
  }
  return nullptr;
}

CCollisionManager::CCollisionManager(SoKRN_MainDoc* doc, const char* name) {
  // First: the state holds a reference on the document, which keeps it
  // alive while an earlier manager (that may hold the last one) goes.
  m_pDocState = new CollisionDocState(this, doc);
  for (const char* earlier : {"CollisionManager", "CollisionManagerSA"}) {
    if (!doc) break;
    SoNode* node = GetCollisionManagerNode(doc, earlier);
    if (node && node->getUserData()) delete static_cast<CCollisionManager*>(node->getUserData());
  }

  m_pAction = new SoIntersectionDetectionExtAction(1);
  m_pAction->addIntersectionCallback(&CCollisionManager::IntersectionCB, this);
  m_pAction->setFilterCallback(&CCollisionManager::IntersectionFilterCB, this);
  m_pAction->addVisitationCallback(SoKRN_ComponentKit::getClassTypeId(), &CCollisionManager::IntersectionVisitationCB,
                                   this);
  m_pAction->setShapeInternalsEnabled(FALSE);
  // Edges, annotations, 2D entities, wires, shells and texts never take part.
  m_pAction->setTypeEnabled(SoKRN_EdgeKit::getClassTypeId(), FALSE);
  m_pAction->setTypeEnabled(SoKRN_FdtKit::getClassTypeId(), FALSE);
  m_pAction->setTypeEnabled(SoKRN_2dEntityKit::getClassTypeId(), FALSE);
  m_pAction->setTypeEnabled(SoKRN_WireSet::getClassTypeId(), FALSE);
  m_pAction->setTypeEnabled(SoKRN_ShellKit::getClassTypeId(), FALSE);
  m_pAction->setTypeEnabled(SoKRN_TextKit::getClassTypeId(), FALSE);

  m_pRoot = new SoSeparator;
  m_pRoot->setName(name ? name : "");
  m_pRoot->setUserData(this);
  if (doc) {
    doc->addTmpChild(m_pRoot);
  } else {
    m_pRoot->ref();  // no document holds it: the manager does
  }

  const double total = static_cast<double>(vx::platform::TotalPhysicalMemory());
  const double avail = static_cast<double>(vx::platform::AvailablePhysicalMemory());
  if (total > 0 && avail / total < kCacheMinFreeShare) {
    m_pAction->setCacheShapeDataFlg(FALSE);
  }

  m_nMinFreeMemory = std::min(static_cast<std::uint64_t>(total * kGuardFloorShare), kGuardFloorMax);
}

CCollisionManager::~CCollisionManager() {
  if (m_pThread.load() && m_bRunning.load() == 1) StopCalculate();
  // The finish callback runs after m_bRunning went back to 0: wait for the
  // thread body to leave the manager altogether.
  while (m_workerAlive.load()) vx::platform::SleepMs(1);

  if (m_pAction) {
    m_pAction->removeIntersectionCallback(&CCollisionManager::IntersectionCB, this);
    m_pAction->removeVisitationCallback(SoKRN_ComponentKit::getClassTypeId(),
                                        &CCollisionManager::IntersectionVisitationCB, this);
    m_pAction->setFilterCallback(nullptr, nullptr);
    delete m_pAction;
    m_pAction = nullptr;
  }
  ClearColisionTempNode(true);
  // The expansion first: its references are not the last ones on the input
  // paths, so those die below in list order (the cheap order for Coin).
  DelAllInputIns();
  DelAllIns1();
  DelAllIns2();
  DelAllIgnoreIns();
  DelAllResult();
  ClearTempData();

  SoKRN_MainDoc* doc = Doc();
  if (m_pRoot && m_pRoot->getRefCount() > 0) {
    m_pRoot->setUserData(nullptr);
    if (doc) {
      doc->removeTempChild(m_pRoot);
    } else {
      m_pRoot->unref();
    }
  }
  SetStoppedPair(nullptr, nullptr);
  m_pRoot = nullptr;
  if (doc && doc->getKRNState()) {
    for (const auto& saved : m_pDocState->Saved()) {
      doc->getKRNState()->setDocEleVisible(saved.first, saved.second, TRUE);
    }
  }
  delete m_pDocState;
  m_pDocState = nullptr;
}

void CCollisionManager::SetStartCalculateCB(void (*cb)(void*), void* data) {
  m_pfnStartCalculateCB = cb;
  m_pStartCalculateCBData = data;
}
void CCollisionManager::SetCalculateCB(void (*cb)(void*), void* data) {
  m_pfnCalculateCB = cb;
  m_pCalculateCBData = data;
}
void CCollisionManager::SetCalculateFinshCB(void (*cb)(void*), void* data) {
  m_pfnCalculateFinshCB = cb;
  m_pCalculateFinshCBData = data;
}
void CCollisionManager::SetShowInsCB(void (*cb)(SbXfBox3f, void*), void* data) {
  m_pfnShowInsCB = cb;
  m_pShowInsCBData = data;
}

void CCollisionManager::StartCalculate() {
  // A run in progress (or one whose finish callback is calling us) keeps
  // its results, its expansion and its display: nothing happens.
  if (m_bRunning.load() == 1 || m_runThread.load() == std::this_thread::get_id()) return;
  if (!Doc()) return;
  ClearColisionTempNode(true);
  DelAllResult();
  m_nTotalPairs = 0;
  m_CurTopIns1.pPath = nullptr;
  m_CurTopIns2.pPath = nullptr;
  m_pCurPath1 = nullptr;
  m_pCurPath2 = nullptr;
  GetAllInputIns();
  m_expansionKept = true;  // until anything changes the lists, flags or expansion
  ShowIns(1);

  if (m_bRunning.load() == 1) return;
  // A worker that has finished its run may still be on its way out.
  while (m_workerAlive.load()) vx::platform::SleepMs(1);
  // The run counts as running from here on, so that a StopCalculate or a
  // destruction right after this call finds it and waits for it.
  m_bRunning.store(1);
  m_workerAlive.store(1);
  {
    std::lock_guard<std::mutex> publish(m_startMutex);
    // The worker may keep the expansion made above (see RunBody).
    m_expansionKept = m_expansionKept && ExpansionIgnoresVisibility();
    const vx::platform::ThreadHandle handle = vx::platform::StartThread(&CCollisionManager::WorkerMain, this);
    if (!handle) {
      m_expansionKept = false;
      m_ignoreIndexed = false;
      m_bRunning.store(0);
      m_workerAlive.store(0);
      return;
    }
    m_pThread.store(handle);
  }
  CallCB(m_pfnStartCalculateCB, m_pStartCalculateCBData);
}

void CCollisionManager::WorkerMain(void* self) {
  auto* mgr = static_cast<CCollisionManager*>(self);
  { std::lock_guard<std::mutex> wait(mgr->m_startMutex); }  // handle is published
  mgr->RunBody();
  mgr->m_pThread.store(0);
  mgr->m_bRunning.store(0);
  mgr->m_workerAlive.store(0);  // last touch of the manager
}

void CCollisionManager::StopCalculate() {
  // On the run's own thread (a per-pair or finish callback) waiting for the
  // run would wait for ourselves: ask, and let the run end on its own.
  if (m_runThread.load() == std::this_thread::get_id()) {
    if (m_bRunning.load() == 1) m_nStopFlg.store(1);
    return;
  }
  if (!m_pThread.load() || m_bRunning.load() != 1) return;
  m_nStopFlg.store(1);
  while (m_bRunning.load() == 1) {
    vx::platform::SleepMs(5);
    if (!m_pThread.load()) break;
  }
  m_pThread.store(0);
}

void CCollisionManager::Calculate() {
  if (!Doc()) return;
  int32_t idle = 0;
  if (!m_bRunning.compare_exchange_strong(idle, 1)) return;
  RunBody();
}

std::uint64_t CCollisionManager::GetUsedMemory() {
  const std::uint64_t total = vx::platform::TotalPhysicalMemory();
  const std::uint64_t avail = vx::platform::AvailablePhysicalMemory();
  return total > avail ? total - avail : 0;
}

bool CCollisionManager::MemoryGuardFires() {
  // Asking the system costs a file read: do it at most every 100 ms (the
  // clock itself is read every 64th pair).
  if ((m_guardCalls++ & 63u) != 0) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now < m_nextMemoryCheck) return false;
  m_nextMemoryCheck = now + std::chrono::milliseconds(100);
  if (vx::platform::TotalPhysicalMemory() == 0) return false;  // unknown: never stop for it
  if (vx::platform::AvailablePhysicalMemory() >= m_nMinFreeMemory) return false;
  vx::platform::ShowMessage(kMsgLowMemory, vx::platform::MessageKind::Exclamation);
  m_nStopFlg.store(1);
  m_bAborted.store(1);
  return true;
}

void CCollisionManager::LockScene() {
  m_sceneWaiters.fetch_add(1);
  m_sceneMutex.lock();
  m_sceneWaiters.fetch_sub(1);
}

void CCollisionManager::PairDone() {
  if (Stopped()) return;
  std::unique_lock<std::mutex>* lock = m_pSceneLock;
  if (!lock || (!m_pfnCalculateCB && m_sceneWaiters.load() == 0)) {
    CallCB(m_pfnCalculateCB, m_pCalculateCBData);
    return;
  }
  lock->unlock();
  CallCB(m_pfnCalculateCB, m_pCalculateCBData);
  // A waiting viewer takes the lock before the run takes it back.
  while (m_sceneWaiters.load() > 0 && !Stopped()) std::this_thread::yield();
  lock->lock();
}

// Everything of a run after it has been marked running.
void CCollisionManager::RunBody() {
  std::unique_lock<std::mutex> sceneLock(m_sceneMutex);
  m_pSceneLock = &sceneLock;
  struct Forget {  // however the body is left, no pointer to the lock outlives it
    std::unique_lock<std::mutex>*& lock;
    ~Forget() { lock = nullptr; }
  } forget{m_pSceneLock};
  m_runThread.store(std::this_thread::get_id());
  m_bAborted.store(0);
  SetStoppedPair(nullptr, nullptr);
  // A run started by StartCalculate finds the inputs expanded a moment ago,
  // on the caller's thread, from the same lists, flags and scene; showing
  // the inputs since then changed visibility only, which that expansion
  // did not ask for (no input takes the hidden-instance rule). Then it is
  // kept rather than made again.
  const bool keep = m_expansionKept && m_ignoreIndexed;
  m_expansionKept = false;
  if (keep) {
    m_Result.clear();
    m_nCurResult = 0;
    m_nCurSide = 0;
  } else {
    DelAllResult();
    GetAllInputIns();
  }

  const double tol = (m_nCalcType == 0 || m_nCalcType == 1) ? m_fTolerance : m_fTolerance2;
  m_pAction->setIntersectionDetectionEpsilon(static_cast<float>(tol + kContactDistance));
  m_pAction->setSearchThreads(m_nSearchThreads);
  // The search polls the stop request, so a stop (or a guard) is seen inside
  // a large pair too.
  m_pAction->setStopFlag(&m_nStopFlg);

  m_bShowClipPlane = 0;
  m_nCurPair = 0;
  m_guardCalls = 0;
  m_nextMemoryCheck = std::chrono::steady_clock::time_point{};  // the first pair checks
  m_CurTopIns1.pPath = nullptr;
  m_CurTopIns2.pPath = nullptr;
  m_pCurPath1 = nullptr;
  m_pCurPath2 = nullptr;

  try {
    m_pAction->clearInsShapeData();
    m_pBoxCache.reset(new BoxCache);
    if (m_b2Group == 1) {
      Calculate2Group();
    } else {
      RunOneGroup();
    }
    m_pAction->clearInsShapeData();
    m_pBoxCache.reset();
  } catch (...) {
    m_pBoxCache.reset();
    m_ignoreIndexed = false;
    vx::platform::ShowMessage(kMsgException, vx::platform::MessageKind::Exclamation);
    ClearTempData();
    DelAllResult();
    m_bRunning.store(0);
    m_nStopFlg.store(0);
    m_bAborted.store(1);
    m_runThread.store(std::thread::id());
    return;
  }
  m_ignoreIndexed = false;

  const double typeTol = static_cast<double>(m_fTolerance) + kContactDistance;
  for (std::size_t i = 0; i < m_Result.size();) {
    _collisionResult& r = m_Result[i];
    if (m_nCalcType == 0 && m_bCalcCrossMesh == 1 && typeTol > std::fabs(static_cast<double>(r.fCompacity))) {
      m_Result.erase(m_Result.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    r.nID = static_cast<int32_t>(i) + 1;
    const double d = r.fMinDist;
    r.nType = kContactDistance > d ? 0 : (typeTol > d ? 1 : 2);
    ++i;
  }

  m_pSceneLock = nullptr;
  sceneLock.unlock();
  m_bRunning.store(0);
  CallCB(m_pfnCalculateFinshCB, m_pCalculateFinshCBData);
  m_nStopFlg.store(0);
  m_runThread.store(std::thread::id());
}

void CCollisionManager::SetStoppedPair(SoFullPath* path1, SoFullPath* path2) {
  if (path1) path1->ref();
  if (path2) path2->ref();
  if (m_pStoppedPath1) m_pStoppedPath1->unref();
  if (m_pStoppedPath2) m_pStoppedPath2->unref();
  m_pStoppedPath1 = path1;
  m_pStoppedPath2 = path2;
}

void CCollisionManager::EndPair(SoFullPath* path1, SoFullPath* path2) {
  // A stop seen at the end of the pair may have cut its triangle search or
  // its cut face short: the pair counts as unfinished, its result goes.
  if (!Stopped()) return;
  if (m_Result.size() > m_nPairResults) {
    m_Result.erase(m_Result.begin() + static_cast<std::ptrdiff_t>(m_nPairResults), m_Result.end());
  }
  if (!m_pStoppedPath1 && !m_pStoppedPath2) SetStoppedPair(path1, path2);
}

// ---- the broad phase -------------------------------------------------------------

// Why not the action's own boxes for every instance: a Coin action applied to
// a path visits, at every level, the siblings before the path's child, so
// one path below a group of n instances costs O(n), and n of them O(n^2).
// The fast route applies the box action to the instance node itself and
// puts it in place with the matrix of its parent path, computed once per
// parent. That box holds every triangle the action can collect for the
// instance (they are vertices of shapes below the node); grown by the
// epsilon in world units and by a pad for the rounding of two different
// matrix products, it is a box the broad phase can trust: two instances
// whose grown boxes do not meet have no triangle pair within the epsilon,
// so the action would report nothing for them.

bool CCollisionManager::ParentMatrix(SoFullPath* path, BoxCache& cache, SbMatrix& parentMatrix) {
  if (cache.userMatrices < 0) {
    SoKRN_MainDoc* doc = Doc();
    cache.userMatrices = doc && doc->getKRNState() && doc->getKRNState()->hasUserMatrices() ? 1 : 0;
  }
  const int len = path->getLength();
  SoNode* group = len >= 2 ? path->getNodeFromTail(1) : nullptr;
  // Per-path user matrices depend on the path the action walks: only the
  // action's own path traversal sees them.
  bool fast = cache.userMatrices == 0 && group && group->isOfType(SoGroup::getClassTypeId());
  if (fast) {
    auto plain = cache.plainGroups.find(group);
    if (plain != cache.plainGroups.end() && plain->second.first != group->getNodeId()) {
      cache.plainGroups.erase(plain);
      plain = cache.plainGroups.end();
    }
    if (plain == cache.plainGroups.end()) {
      auto* g = static_cast<SoGroup*>(group);
      bool clean = true;
      for (int k = 0; k < g->getNumChildren() && clean; ++k) clean = !g->getChild(k)->affectsState();
      plain = cache.plainGroups.emplace(group, std::make_pair(group->getNodeId(), clean)).first;
    }
    fast = plain->second.second;
  }
  if (!fast) return false;
  // Siblings usually come one after the other: the last parent first,
  // without building a key.
  std::vector<SoNode*>& parentNodes = cache.lastParent;
  bool same = parentNodes.size() == static_cast<std::size_t>(len - 1);
  for (int k = 0; same && k + 1 < len; ++k) same = parentNodes[static_cast<std::size_t>(k)] == path->getNode(k);
  if (same) {
    parentMatrix = cache.lastParentMatrix;
    return true;
  }
  parentNodes.resize(static_cast<std::size_t>(len - 1));
  for (int k = 0; k + 1 < len; ++k) parentNodes[static_cast<std::size_t>(k)] = path->getNode(k);
  auto parent = cache.parents.find(parentNodes);
  if (parent == cache.parents.end()) {
    SoPath* prefix = path->copy(0, len - 1);
    prefix->ref();
    cache.matrix.apply(prefix);
    prefix->unref();
    parent = cache.parents.emplace(parentNodes, cache.matrix.getMatrix()).first;
  }
  cache.lastParentMatrix = parent->second;
  parentMatrix = parent->second;
  return true;
}

void CCollisionManager::ApplySide(int side, SoFullPath* path) {
  SbMatrix parent;
  const bool placed = m_bBroadPhase != 0 && m_pBoxCache && ParentMatrix(path, *m_pBoxCache, parent);
  if (placed) {
    // The containment check after a pair without triangle pairs wants both
    // world boxes; its per-run cache would otherwise get them through the
    // whole path. Assigned every time: a path object of an earlier run may
    // have the same address.
    m_insBoxes[path] = PlacedBox(path, *m_pBoxCache, parent).project();
  }
  if (side == 1) {
    if (placed) {
      m_pAction->apply1(path, parent);
    } else {
      m_pAction->apply1(path);
    }
  } else if (placed) {
    m_pAction->apply2(path, parent);
  } else {
    m_pAction->apply2(path);
  }
}

namespace {

// The matrix an SoTransform multiplies into the model matrix; false when a
// field is ignored (the node then stands in defaults, not modelled here).
bool TransformMatrix(const SoTransform* t, SbMatrix& m) {
  if (t->translation.isIgnored() || t->rotation.isIgnored() || t->scaleFactor.isIgnored() ||
      t->scaleOrientation.isIgnored() || t->center.isIgnored()) {
    return false;
  }
  m.setTransform(t->translation.getValue(), t->rotation.getValue(), t->scaleFactor.getValue(),
                 t->scaleOrientation.getValue(), t->center.getValue());
  return true;
}

}  // namespace

// Why: a box action applied to each of n instances traverses each kit anew
// (its separator cannot keep a box cache, the user-matrix node forbids it),
// while the box of a prototype's subtree in its own frame does not depend on
// where it is placed. The placed prototype box is the one the action forms
// (the prototype's box carried through the same matrices), so the broad
// phase's pad covers any rounding between the two.
bool CCollisionManager::BoxCache::PlacedInstanceBox(SoNode* tail, const SbMatrix& parent, SbBox3f& world) {
  if (userMatrices != 0 || !tail || !tail->isOfType(SoKRN_ComponentKit::getClassTypeId())) return false;
  if (!static_cast<SoKRN_ComponentKit*>(tail)->isInstance()) return false;
  // The kit's only child is its top separator (no callback list or other
  // top-level part); below it, in traversal order, only the parts listed.
  const SoChildList* parts = tail->getChildren();
  if (!parts || parts->getLength() != 1) return false;
  SoNode* top = (*parts)[0];
  if (top->getTypeId() != SoSeparator::getClassTypeId()) return false;
  const SoChildList* inside = top->getChildren();
  SbMatrix local = SbMatrix::identity();
  SbBox3f out;
  for (int k = 0; inside && k < inside->getLength(); ++k) {
    SoNode* node = (*inside)[k];
    const SoType type = node->getTypeId();
    if (type == SoTransform::getClassTypeId()) {
      SbMatrix m;
      if (!TransformMatrix(static_cast<SoTransform*>(node), m)) return false;
      local.multLeft(m);  // as a traversal does: the new matrix applies first
    } else if (type == SoKRN_UserTransform::getClassTypeId()) {
      // No per-path user matrices in the document: it applies nothing.
    } else if (type == SoGroup::getClassTypeId()) {
      const SoChildList* protos = node->getChildren();
      for (int p = 0; protos && p < protos->getLength(); ++p) {
        SoNode* proto = (*protos)[p];
        if (!proto->isOfType(SoKRN_ComponentKit::getClassTypeId()) ||
            static_cast<SoKRN_ComponentKit*>(proto)->isInstance()) {
          return false;
        }
        auto known = protoBoxes.find(proto);
        if (known == protoBoxes.end() || known->second.first != proto->getNodeId()) {
          bbox.apply(proto);
          known = protoBoxes.insert_or_assign(proto, std::make_pair(proto->getNodeId(), bbox.getXfBoundingBox())).first;
        }
        // The box's own matrix, then the instance's, then the parent's:
        // what transforming the box twice and projecting it computes.
        const SbXfBox3f& xf = known->second.second;
        if (xf.isEmpty()) continue;
        SbMatrix toWorld = xf.getTransform();
        toWorld.multRight(local);
        toWorld.multRight(parent);
        SbBox3f placed = static_cast<const SbBox3f&>(xf);  // the box in its own frame
        placed.transform(toWorld);
        out.extendBy(placed);
      }
    } else {
      return false;
    }
  }
  world = out;
  return true;
}

SbXfBox3f CCollisionManager::PlacedBox(SoFullPath* path, BoxCache& cache, const SbMatrix& parent) {
  cache.bbox.apply(path->getTail());
  SbXfBox3f xf = cache.bbox.getXfBoundingBox();
  if (!xf.isEmpty()) xf.transform(parent);
  return xf;
}

SbXfBox3f CCollisionManager::GetAllInputInsBoundingBox() {
  // A box action over a list of paths that share their head costs O(n) per
  // path below a group of n instances: place each instance's own box with
  // its parent's matrix instead (the broad phase's route), unless one of
  // them needs its whole path.
  SbBox3f world;
  BoxCache cache;
  SbMatrix parent;
  bool placed = true;
  for (const auto& entry : m_InsChildren) {
    if (!entry.first || !ParentMatrix(entry.first, cache, parent)) {
      placed = false;
      break;
    }
    const SbXfBox3f box = PlacedBox(entry.first, cache, parent);
    if (!box.isEmpty()) world.extendBy(box.project());
  }
  if (placed) {
    SbXfBox3f out;
    if (world.isEmpty()) {
      out.makeEmpty();
    } else {
      out = SbXfBox3f(world);
    }
    return out;
  }
  SoPathList paths;
  for (const auto& entry : m_InsChildren) paths.append(entry.first);
  return PathListBox(paths);
}

void CCollisionManager::PairBoxes(SoFullPath* path, BoxCache& cache, SbBox3f& side1, SbBox3f& side2) {
  const float eps = m_pAction->getIntersectionDetectionEpsilon();
  SbMatrix parent;
  if (!ParentMatrix(path, cache, parent)) {
    m_pAction->getPairBoxes(path, side1, side2);
    return;
  }
  side1.makeEmpty();
  side2.makeEmpty();
  SbBox3f world;
  if (!cache.PlacedInstanceBox(path->getTail(), parent, world)) {
    const SbXfBox3f xf = PlacedBox(path, cache, parent);
    if (xf.isEmpty()) return;
    world = xf.project();
  }
  if (world.isEmpty()) return;
  const SbVec3f& lo = world.getMin();
  const SbVec3f& hi = world.getMax();
  float size = 1e-3f, reach = 0.0f;
  for (int k = 0; k < 3; ++k) {
    size = std::max(size, hi[k] - lo[k]);
    reach = std::max({reach, std::fabs(lo[k]), std::fabs(hi[k])});
  }
  const float pad = 1e-4f * size + 1e-5f * reach;
  world.extendBy(lo - SbVec3f(pad, pad, pad));
  world.extendBy(hi + SbVec3f(pad, pad, pad));
  side2 = world;
  const float grow = eps * 1.0001f;
  world.extendBy(world.getMin() - SbVec3f(grow, grow, grow));
  world.extendBy(world.getMax() + SbVec3f(grow, grow, grow));
  side1 = world;
}

std::vector<std::vector<int32_t>> CCollisionManager::PlanPairs(const std::vector<SoFullPath*>& rows,
                                                               const std::vector<SoFullPath*>& cols, bool triangle,
                                                               const std::vector<char>& rowUsable,
                                                               const std::vector<char>& colUsable) {
  std::vector<std::vector<int32_t>> plan(rows.size());
  if (m_bBroadPhase == 0) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      for (std::size_t j = triangle ? i + 1 : 0; j < cols.size(); ++j) plan[i].push_back(static_cast<int32_t>(j));
    }
    return plan;
  }
  auto toBox = [](const SbBox3f& b) {
    vx::collide::Box out{{1, 1, 1}, {0, 0, 0}};
    if (b.isEmpty()) return out;
    for (int k = 0; k < 3; ++k) {
      out.lo[k] = b.getMin()[k];
      out.hi[k] = b.getMax()[k];
    }
    return out;
  };
  // One pass over the inputs: boxes that hold every triangle the action can
  // collect for an instance, side 1 grown by the epsilon.
  std::vector<vx::collide::Box> side1(rows.size()), side2(cols.size());
  SbBox3f s1, s2;
  if (!m_pBoxCache) m_pBoxCache.reset(new BoxCache);
  BoxCache& boxes = *m_pBoxCache;
  // The placement ids of each path are read in the same pass, while its
  // nodes are at hand (in a large assembly they would not be later).
  vx::collide::PlacementIdLists rowIds, colIdsOwn;
  for (std::size_t i = 0; i < rows.size() && !Stopped(); ++i) {
    rowIds.Add(rows[i]);
    side1[i] = vx::collide::Box{{1, 1, 1}, {0, 0, 0}};
    if (!rowUsable[i] || !rows[i]) continue;
    PairBoxes(rows[i], boxes, s1, s2);
    side1[i] = toBox(s1);
    if (triangle) side2[i] = toBox(s2);
  }
  for (std::size_t i = rowIds.start.size() - 1; i < rows.size(); ++i) rowIds.Add(rows[i]);  // after a stop
  if (!triangle) {
    for (std::size_t j = 0; j < cols.size() && !Stopped(); ++j) {
      colIdsOwn.Add(cols[j]);
      side2[j] = vx::collide::Box{{1, 1, 1}, {0, 0, 0}};
      if (!colUsable[j] || !cols[j]) continue;
      PairBoxes(cols[j], boxes, s1, s2);
      side2[j] = toBox(s2);
    }
    for (std::size_t j = colIdsOwn.start.size() - 1; j < cols.size(); ++j) colIdsOwn.Add(cols[j]);
  } else {
    for (std::size_t j = 0; j < cols.size(); ++j) {
      if (!colUsable[j]) side2[j] = vx::collide::Box{{1, 1, 1}, {0, 0, 0}};
    }
  }
  const vx::collide::BoxPairFinder finder(side2);
  for (std::size_t i = 0; i < rows.size() && !Stopped(); ++i) {
    std::vector<int32_t>& row = plan[i];
    finder.Find(side1[i], row);
    if (triangle) row.erase(row.begin(), std::upper_bound(row.begin(), row.end(), static_cast<int32_t>(i)));
  }

  // Pairs the loops test as one instance (same nodes, hence the same
  // placement path) or as one containing the other (one placement path
  // continues the other) are tested whatever their boxes say.
  AddNestedPairs(rows, cols, triangle, rowIds, triangle ? rowIds : colIdsOwn, plan);
  return plan;
}

namespace {

// (hash of the id list, index) of every non-null path, sorted: the paths
// whose list has a given hash are one binary search away.
std::vector<std::pair<uint64_t, int32_t>> ByIdsHash(const std::vector<SoFullPath*>& paths,
                                                    const vx::collide::PlacementIdLists& ids) {
  std::vector<std::pair<uint64_t, int32_t>> out;
  out.reserve(paths.size());
  for (std::size_t k = 0; k < paths.size(); ++k) {
    if (paths[k]) out.emplace_back(ids.Hash(k), static_cast<int32_t>(k));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Calls found(k) for every path k of `index` whose id list is the first n
// ids of `prefix`, given the hash h of those n ids.
template <typename Found>
void ForEachWithIds(const std::vector<std::pair<uint64_t, int32_t>>& index, const vx::collide::PlacementIdLists& ids,
                    uint64_t h, const uint32_t* prefix, std::size_t n, Found found) {
  auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(h, INT32_MIN));
  for (; it != index.end() && it->first == h; ++it) {
    if (ids.Equals(static_cast<std::size_t>(it->second), prefix, n)) found(it->second);
  }
}

}  // namespace

void CCollisionManager::AddNestedPairs(const std::vector<SoFullPath*>& rows, const std::vector<SoFullPath*>& cols,
                                       bool triangle, const vx::collide::PlacementIdLists& rowIds,
                                       const vx::collide::PlacementIdLists& colIds,
                                       std::vector<std::vector<int32_t>>& plan) {
  const auto colsByIds = ByIdsHash(cols, colIds);

  bool extra = false;
  auto addPair = [&](std::size_t i, int32_t j) {
    if (triangle && static_cast<std::size_t>(j) == i) return;
    if (triangle && static_cast<std::size_t>(j) < i) {
      plan[static_cast<std::size_t>(j)].push_back(static_cast<int32_t>(i));
    } else {
      plan[i].push_back(j);
    }
    extra = true;
  };
  // Columns whose list is a prefix of the row's, the whole list included:
  // ancestors and equals.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i]) continue;
    const uint32_t* ids = rowIds.Begin(i);
    const std::size_t n = rowIds.Size(i);
    uint64_t h = vx::collide::kIdsHashSeed;
    for (std::size_t len = 0;; ++len) {
      ForEachWithIds(colsByIds, colIds, h, ids, len, [&](int32_t j) { addPair(i, j); });
      if (len == n) break;
      h = vx::collide::ExtendIdsHash(h, ids[len]);
    }
  }
  if (!triangle) {
    // Descendants of a row among the columns: rows whose list is a proper
    // prefix of the column's.
    const auto rowsByIds = ByIdsHash(rows, rowIds);
    for (std::size_t j = 0; j < cols.size(); ++j) {
      if (!cols[j]) continue;
      const uint32_t* ids = colIds.Begin(j);
      const std::size_t n = colIds.Size(j);
      uint64_t h = vx::collide::kIdsHashSeed;
      for (std::size_t len = 0; len < n; ++len) {
        ForEachWithIds(rowsByIds, rowIds, h, ids, len, [&](int32_t i) {
          plan[static_cast<std::size_t>(i)].push_back(static_cast<int32_t>(j));
          extra = true;
        });
        h = vx::collide::ExtendIdsHash(h, ids[len]);
      }
    }
  }
  // Rows stay ascending and free of repeats, as the box search left them.
  if (extra) {
    for (std::vector<int32_t>& row : plan) {
      std::sort(row.begin(), row.end());
      row.erase(std::unique(row.begin(), row.end()), row.end());
    }
  }
}

void CCollisionManager::TestPair(PairLoop loop) {
  SoFullPath* path1 = m_pCurPath1;
  SoFullPath* path2 = m_pCurPath2;
  const bool same = OmbrelTools::IsPathEqual(path1, path2);
  if (m_bSkipSameIns == 1 && same) return;
  if (!path2 || IsIgnoreIns(path2)) return;
  m_nCurSide = 1;
  // The two-group loop leaves side 2's visibility to the collection (the
  // visitation callback prunes hidden components).
  if (loop != PairLoop::TwoGroups && ObviateInvisible(path2) != SoCallbackAction::CONTINUE) return;
  ++m_nCurPair;
  m_bNewPair = 1;
  PairDone();

  // One path containing the other (or both one instance): all shapes below
  // the deeper path are tested against each other. Children of one input
  // never contain each other; in two-group mode such pairs count but are
  // tested only when equal instances are.
  SoFullPath* deeper = nullptr;
  const bool nested = loop != PairLoop::Children && !same && IsChildIns(path1, path2, &deeper) != 0;
  const bool inside = loop != PairLoop::Children && (same || nested);
  if (inside && loop == PairLoop::TwoGroups && m_bSkipSameIns != 0) return;
  BeginPair();
  if (inside) {
    m_pAction->apply(same ? path1 : deeper);
    CalculateCrossMeshSelf();
  } else {
    ApplySide(2, path2);
    CalculateCrossMesh();
  }
  EndPair(path1, path2);
  ClearTempData();
}

bool CCollisionManager::WalkRow(const std::vector<int32_t>& cand, std::size_t first,
                                const std::vector<int64_t>& counted, int32_t lastCounted,
                                const std::function<void(int32_t)>& side2, PairLoop loop) {
  std::size_t next = first;  // first column not yet accounted for
  for (int32_t j : cand) {
    if (Stopped()) return false;
    if (MemoryGuardFires()) return false;
    const std::size_t col = static_cast<std::size_t>(j);
    m_nCurPair += counted[col] - counted[next];
    next = col + 1;
    side2(j);
    TestPair(loop);
  }
  if (Stopped()) return false;
  const int64_t rest = counted.back() - counted[next];
  if (rest > 0) {
    m_nCurPair += rest;
    // The all-pairs loop's last call of this row saw its last counted pair.
    side2(lastCounted);
    m_nCurSide = 1;
    m_bNewPair = 1;
    PairDone();
  }
  return true;
}

namespace {

// Prefix sums of flags: out[k] = number of set flags before k.
std::vector<int64_t> PrefixCounts(const std::vector<char>& flags, int32_t& last) {
  std::vector<int64_t> out(flags.size() + 1, 0);
  last = -1;
  for (std::size_t k = 0; k < flags.size(); ++k) {
    out[k + 1] = out[k] + (flags[k] ? 1 : 0);
    if (flags[k]) last = static_cast<int32_t>(k);
  }
  return out;
}

}  // namespace

void CCollisionManager::RunOneGroup() {
  const std::size_t n = m_Ins.size();
  std::vector<SoFullPath*> paths(n);
  std::vector<char> usable(n, 0);
  for (std::size_t k = 0; k < n; ++k) {
    paths[k] = m_Ins[k].pPath;
    if (!paths[k] || IsIgnoreIns(paths[k])) continue;
    // Side 0 with its own record is the rule side 1 applies with its own.
    const _collisionIns keep = m_CurTopIns1;
    m_CurTopIns1 = m_Ins[k];
    m_nCurSide = 0;
    usable[k] = ObviateInvisible(paths[k]) == SoCallbackAction::CONTINUE ? 1 : 0;
    m_CurTopIns1 = keep;
  }
  int32_t lastCounted = -1;
  const std::vector<int64_t> counted = PrefixCounts(usable, lastCounted);
  const std::vector<std::vector<int32_t>> plan = PlanPairs(paths, paths, true, usable, usable);

  for (std::size_t i = 0; i < n && !Stopped(); ++i) {
    m_CurTopIns1 = m_Ins[i];
    SoFullPath* path1 = m_Ins[i].pPath;
    if (!usable[i]) continue;
    m_nCurSide = 0;
    m_pCurPath1 = path1;
    if (!plan[i].empty()) ApplySide(1, m_pCurPath1);

    auto side2 = [this](int32_t j) {
      m_CurTopIns2 = m_Ins[static_cast<std::size_t>(j)];
      m_pCurPath2 = m_CurTopIns2.pPath;
    };
    if (WalkRow(plan[i], i + 1, counted, lastCounted, side2, PairLoop::OneGroup) && i + 1 < n) {
      m_CurTopIns2 = m_Ins[n - 1];  // where the all-pairs loop leaves it
      m_pCurPath2 = m_CurTopIns2.pPath;
    }
    if (m_CurTopIns1.bSelf) {
      m_CurTopIns2 = m_CurTopIns1;
      CalculateChild(m_CurTopIns1.pPath);
    }
  }
}

void CCollisionManager::CalculateChild(SoFullPath* path) {
  m_pCurPath1 = nullptr;
  m_pCurPath2 = nullptr;
  auto it = m_InsChildren.find(path);
  // Most instances have no children: nothing to plan, count or call.
  if (it == m_InsChildren.end() || it->second.empty()) return;
  // Copy: the list is not changed during the run, but a copy keeps the
  // iteration independent of the map.
  const std::vector<SoFullPath*> children = it->second;
  const std::size_t n = children.size();
  std::vector<char> usable(n, 0);
  for (std::size_t k = 0; k < n; ++k) {
    if (!children[k] || IsIgnoreIns(children[k])) continue;
    m_nCurSide = 0;  // both sides carry this input's record here
    usable[k] = ObviateInvisible(children[k]) == SoCallbackAction::CONTINUE ? 1 : 0;
  }
  int32_t lastCounted = -1;
  const std::vector<int64_t> counted = PrefixCounts(usable, lastCounted);
  const std::vector<std::vector<int32_t>> plan = PlanPairs(children, children, true, usable, usable);

  for (std::size_t i = 0; i < n && !Stopped(); ++i) {
    SoFullPath* ci = children[i];
    m_pCurPath1 = ci;
    if (!usable[i]) continue;
    m_nCurSide = 0;
    if (!plan[i].empty()) ApplySide(1, ci);
    auto side2 = [this, &children](int32_t j) { m_pCurPath2 = children[static_cast<std::size_t>(j)]; };
    if (WalkRow(plan[i], i + 1, counted, lastCounted, side2, PairLoop::Children) && i + 1 < n) {
      m_pCurPath2 = children[n - 1];
    }
    CalculateChild(ci);
  }
}

void CCollisionManager::Calculate2Group() {
  if (m_Ins.empty()) return;
  const std::size_t n = m_Ins.size(), m = m_Ins2.size();
  std::vector<SoFullPath*> rows(n), cols(m);
  std::vector<char> rowUsable(n, 0), colUsable(m, 0);
  for (std::size_t i = 0; i < n; ++i) {
    SoFullPath* p = rows[i] = m_Ins[i].pPath;
    rowUsable[i] = !IsIgnoreIns(p) && p && p->getLength() != 0 && p->getTail() &&
                   p->getTail()->isOfType(SoKRN_ComponentKit::getClassTypeId());
  }
  for (std::size_t j = 0; j < m; ++j) {
    cols[j] = m_Ins2[j].pPath;
    colUsable[j] = cols[j] && !IsIgnoreIns(cols[j]);
  }
  int32_t lastCounted = -1;
  const std::vector<int64_t> counted = PrefixCounts(colUsable, lastCounted);
  const std::vector<std::vector<int32_t>> plan = PlanPairs(rows, cols, false, rowUsable, colUsable);

  for (std::size_t i = 0; i < n && !Stopped(); ++i) {
    m_CurTopIns1 = m_Ins[i];
    SoFullPath* path1 = m_Ins[i].pPath;
    if (!rowUsable[i]) continue;
    m_nCurSide = 0;
    m_pCurPath1 = path1;
    if (!plan[i].empty()) ApplySide(1, path1);
    auto side2 = [this](int32_t j) {
      m_CurTopIns2 = m_Ins2[static_cast<std::size_t>(j)];
      m_pCurPath2 = m_CurTopIns2.pPath;
    };
    if (WalkRow(plan[i], 0, counted, lastCounted, side2, PairLoop::TwoGroups) && m > 0) {
      m_CurTopIns2 = m_Ins2[m - 1];
      m_pCurPath2 = m_CurTopIns2.pPath;
    }
  }
}
