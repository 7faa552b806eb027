// Life of a manager and of one interference run.
#include <Inventor/SoFullPath.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cmath>
#include <string>

#include "collision/CCollisionManager.h"
#include "collision/CollisionDocState.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/SoKRN_2dEntityKit.h"
#include "host/SoKRN_EdgeKit.h"
#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_ShellKit.h"
#include "host/SoKRN_TextKit.h"
#include "host/SoKRN_WireSet.h"
#include "module/Platform.h"

namespace {

const wchar_t kMsgLowMemory[] = L"剩余内存过少，继续计算系统可能崩溃，计算被中止！";
const wchar_t kMsgException[] = L"计算异常，干涉计算被中止！";

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
  for (const char* earlier : {"CollisionManager", "CollisionManagerSA"}) {
    SoNode* node = GetCollisionManagerNode(doc, earlier);
    if (node && node->getUserData()) delete static_cast<CCollisionManager*>(node->getUserData());
  }

  m_pDocState = new CollisionDocState(this, doc);

  m_pAction = new SoIntersectionDetectionExtAction(1);
  m_pAction->addIntersectionCallback(&CCollisionManager::IntersectionCB, this);
  m_pAction->setFilterCallback(&CCollisionManager::IntersectionFilterCB, this);
  m_pAction->addVisitationCallback(SoKRN_ComponentKit::getClassTypeId(),
                                   &CCollisionManager::IntersectionVisitationCB, this);
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
  doc->addTmpChild(m_pRoot);

  const double total = static_cast<double>(vxplatform::TotalPhysicalMemory());
  const double avail = static_cast<double>(vxplatform::AvailablePhysicalMemory());
  if (total > 0 && static_cast<float>(avail) / static_cast<float>(total) < 0.4f) {
    m_pAction->setCacheShapeDataFlg(FALSE);
  }

  // Memory guard floor: 5 % of physical memory, at most 256 MiB.
  const std::uint64_t fivePercent = static_cast<std::uint64_t>(total * 0.05);
  m_nMinFreeMemory = std::min<std::uint64_t>(fivePercent, 256ull << 20);
}

CCollisionManager::~CCollisionManager() {
  if (m_pThread.load() && m_bRunning.load() == 1) StopCalculate();
  // The finish callback runs after m_bRunning went back to 0: wait for the
  // thread body to leave the manager altogether.
  while (m_workerAlive.load()) vxplatform::SleepMs(1);

  if (m_pAction) {
    m_pAction->removeIntersectionCallback(&CCollisionManager::IntersectionCB, this);
    m_pAction->removeVisitationCallback(SoKRN_ComponentKit::getClassTypeId(),
                                        &CCollisionManager::IntersectionVisitationCB, this);
    m_pAction->setFilterCallback(nullptr, nullptr);
    delete m_pAction;
    m_pAction = nullptr;
  }
  ClearColisionTempNode(true);
  DelAllIns1();
  DelAllIns2();
  DelAllIgnoreIns();
  DelAllResult();
  ClearTempData();

  SoKRN_MainDoc* doc = Doc();
  if (m_pRoot && m_pRoot->getRefCount() > 0) {
    m_pRoot->setUserData(nullptr);
    if (doc) doc->removeTempChild(m_pRoot);
  }
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
  ClearColisionTempNode(true);
  DelAllResult();
  m_nTotalPairs = 0;
  m_CurTopIns1.pPath = nullptr;
  m_CurTopIns2.pPath = nullptr;
  m_pCurPath1 = nullptr;
  m_pCurPath2 = nullptr;
  GetAllInputIns();
  ShowIns(1);

  if (m_bRunning.load() == 1) return;
  // A worker that has finished its run may still be on its way out.
  while (m_workerAlive.load()) vxplatform::SleepMs(1);
  // The run counts as running from here on, so that a StopCalculate or a
  // destruction right after this call finds it and waits for it.
  m_bRunning.store(1);
  m_workerAlive.store(1);
  {
    std::lock_guard<std::mutex> publish(m_startMutex);
    const vxplatform::ThreadHandle handle = vxplatform::StartThread(&CCollisionManager::WorkerMain, this);
    if (!handle) {
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
  if (!m_pThread.load() || m_bRunning.load() != 1) return;
  m_nStopFlg.store(1);
  while (m_bRunning.load() == 1) {
    vxplatform::SleepMs(500);
    if (!m_pThread.load()) break;
  }
  m_pThread.store(0);
}

void CCollisionManager::Calculate() {
  int32_t idle = 0;
  if (!m_bRunning.compare_exchange_strong(idle, 1)) return;
  RunBody();
}

std::uint64_t CCollisionManager::GetUsedMemory() {
  const std::uint64_t total = vxplatform::TotalPhysicalMemory();
  const std::uint64_t avail = vxplatform::AvailablePhysicalMemory();
  return total > avail ? total - avail : 0;
}

bool CCollisionManager::MemoryGuardFires() {
  // Asking the system costs a file read: do it at most every 100 ms (the
  // clock itself is read every 64th pair).
  if ((m_guardCalls++ & 63u) != 0) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now < m_nextMemoryCheck) return false;
  m_nextMemoryCheck = now + std::chrono::milliseconds(100);
  if (vxplatform::TotalPhysicalMemory() == 0) return false;  // unknown: never stop for it
  if (vxplatform::AvailablePhysicalMemory() >= m_nMinFreeMemory) return false;
  vxplatform::ShowMessage(kMsgLowMemory, vxplatform::MessageKind::Exclamation);
  m_nStopFlg.store(1);
  m_bAborted.store(1);
  return true;
}

// Everything of a run after it has been marked running.
void CCollisionManager::RunBody() {
  m_bAborted.store(0);
  DelAllResult();
  GetAllInputIns();

  const double tol = (m_nCalcType == 0 || m_nCalcType == 1) ? m_fTolerance : m_fTolerance2;
  m_pAction->setIntersectionDetectionEpsilon(static_cast<float>(tol + 0.001));

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
    if (m_b2Group == 1) {
      Calculate2Group();
    } else {
      for (std::size_t i = 0; i < m_Ins.size() && !Stopped(); ++i) {
        m_CurTopIns1 = m_Ins[i];
        SoFullPath* path1 = m_Ins[i].pPath;
        if (IsIgnoreIns(path1) || !path1) continue;
        m_nCurSide = 0;
        m_pCurPath1 = path1;
        if (ObviateInvisible(path1) != SoCallbackAction::CONTINUE) continue;
        m_pAction->apply1(m_pCurPath1);

        for (std::size_t j = i + 1; j < m_Ins.size() && !Stopped(); ++j) {
          if (MemoryGuardFires()) break;
          m_CurTopIns2 = m_Ins[j];
          m_pCurPath2 = m_Ins[j].pPath;
          if (m_bSkipSameIns == 1 && IsSameIns(m_pCurPath1, m_pCurPath2)) continue;
          if (IsIgnoreIns(m_pCurPath2) || !m_pCurPath2) continue;
          m_nCurSide = 1;
          if (ObviateInvisible(m_pCurPath2) != SoCallbackAction::CONTINUE) continue;
          m_bNewPair = 1;
          ++m_nCurPair;
          if (!Stopped()) CallCB(m_pfnCalculateCB, m_pCalculateCBData);

          SoFullPath* deeper = nullptr;
          const bool same = IsSameIns(m_pCurPath1, m_pCurPath2) != 0;
          const bool nested = !same && IsChildIns(m_pCurPath1, m_pCurPath2, &deeper) != 0;
          if (!same && !nested) {
            m_pAction->apply2(m_pCurPath2);
            CalculateCrossMesh();
          } else {
            // One contains the other (or both are one instance): test all
            // shapes below the deeper path against each other.
            m_pAction->apply(same ? m_pCurPath1 : deeper);
            CalculateCrossMeshSelf();
          }
          ClearTempData();
        }
        if (m_CurTopIns1.bSelf) {
          m_CurTopIns2 = m_CurTopIns1;
          CalculateChild(m_CurTopIns1.pPath);
        }
      }
    }
    m_pAction->clearInsShapeData();
  } catch (...) {
    vxplatform::ShowMessage(kMsgException, vxplatform::MessageKind::Exclamation);
    ClearTempData();
    DelAllResult();
    m_bRunning.store(0);
    m_nStopFlg.store(0);
    m_bAborted.store(1);
    return;
  }

  const double typeTol = static_cast<double>(m_fTolerance) + 0.001;
  for (std::size_t i = 0; i < m_Result.size();) {
    _collisionResult& r = m_Result[i];
    if (m_nCalcType == 0 && m_bCalcCrossMesh == 1 && typeTol > std::fabs(static_cast<double>(r.fCompacity))) {
      m_Result.erase(m_Result.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    r.nID = static_cast<int32_t>(i) + 1;
    const double d = r.fMinDist;
    r.nType = 0.001 > d ? 0 : (typeTol > d ? 1 : 2);
    ++i;
  }

  m_bRunning.store(0);
  CallCB(m_pfnCalculateFinshCB, m_pCalculateFinshCBData);
  m_nStopFlg.store(0);
}

void CCollisionManager::CalculateChild(SoFullPath* path) {
  m_pCurPath1 = nullptr;
  m_pCurPath2 = nullptr;
  auto it = m_InsChildren.find(path);
  if (it == m_InsChildren.end()) return;
  // Copy: the list is not changed during the run, but a copy keeps the
  // iteration independent of the map.
  const std::vector<SoFullPath*> children = it->second;
  for (std::size_t i = 0; i < children.size() && !Stopped(); ++i) {
    SoFullPath* ci = children[i];
    m_pCurPath1 = ci;
    if (!ci || IsIgnoreIns(ci)) continue;
    m_nCurSide = 0;
    if (ObviateInvisible(ci) != SoCallbackAction::CONTINUE) continue;
    m_pAction->apply1(ci);
    for (std::size_t j = i + 1; j < children.size() && !Stopped(); ++j) {
      if (MemoryGuardFires()) break;
      SoFullPath* cj = children[j];
      m_pCurPath2 = cj;
      if (m_bSkipSameIns == 1 && OmbrelTools::IsPathEqual(ci, cj)) continue;
      if (!cj || IsIgnoreIns(cj)) continue;
      m_nCurSide = 1;
      if (ObviateInvisible(cj) != SoCallbackAction::CONTINUE) continue;
      ++m_nCurPair;
      m_bNewPair = 1;
      if (!Stopped()) CallCB(m_pfnCalculateCB, m_pCalculateCBData);
      m_pAction->apply2(cj);
      CalculateCrossMesh();
      ClearTempData();
    }
    CalculateChild(ci);
  }
}

void CCollisionManager::Calculate2Group() {
  if (m_Ins.empty()) return;
  for (std::size_t i = 0; i < m_Ins.size() && !Stopped(); ++i) {
    m_CurTopIns1 = m_Ins[i];
    SoFullPath* path1 = m_Ins[i].pPath;
    if (IsIgnoreIns(path1) || !path1 || path1->getLength() == 0 || !path1->getTail() ||
        !path1->getTail()->isOfType(SoKRN_ComponentKit::getClassTypeId())) {
      continue;
    }
    m_nCurSide = 0;
    m_pCurPath1 = path1;
    m_pAction->apply1(path1);
    for (std::size_t j = 0; j < m_Ins2.size() && !Stopped(); ++j) {
      if (MemoryGuardFires()) break;
      m_CurTopIns2 = m_Ins2[j];
      m_pCurPath2 = m_Ins2[j].pPath;
      if (m_bSkipSameIns == 1 && OmbrelTools::IsPathEqual(m_pCurPath1, m_pCurPath2)) continue;
      if (IsIgnoreIns(m_pCurPath2) || !m_pCurPath2) continue;
      ++m_nCurPair;
      m_nCurSide = 1;
      m_bNewPair = 1;
      if (!Stopped()) CallCB(m_pfnCalculateCB, m_pCalculateCBData);
      SoFullPath* deeper = nullptr;
      const bool equal = OmbrelTools::IsPathEqual(m_pCurPath1, m_pCurPath2);
      const bool nested = !equal && IsChildIns(m_pCurPath1, m_pCurPath2, &deeper) != 0;
      if (!equal && !nested) {
        m_pAction->apply2(m_CurTopIns2.pPath);
        CalculateCrossMesh();
        ClearTempData();
      } else if (m_bSkipSameIns == 0) {
        m_pAction->apply(equal ? m_pCurPath1 : deeper);
        CalculateCrossMeshSelf();
        ClearTempData();
      }
    }
  }
}
