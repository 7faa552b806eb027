// Input lists, result list and the expansion of inputs into child instances.
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/misc/SoTempPath.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "collision/CCollisionManager.h"
#include "collision/PlacementIds.h"
#include "graphops/CGraphOperation.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ComponentKit.h"

namespace {

std::string fullPlcPath(const SoPath* path) {
  std::string s;
  CGraphOperation::GetNodePlcPath(path, s, true);
  return s;
}

SoKRN_ComponentKit* tailKit(const SoPath* path) {
  if (!path || path->getLength() == 0) return nullptr;
  SoNode* tail = static_cast<const SoFullPath*>(path)->getTail();
  if (!tail || !tail->isOfType(SoKRN_ComponentKit::getClassTypeId())) return nullptr;
  return static_cast<SoKRN_ComponentKit*>(tail);
}

// The kit whose element children are the instance's children: a prototype
// itself, or the prototype an instance places.
SoKRN_ComponentKit* childOwner(SoKRN_ComponentKit* kit) {
  if (!kit) return nullptr;
  return kit->componentType.getValue() != 0 ? kit : kit->getPrototype();
}

// The list's own copy of a path: a temporary path, which does not register
// with the scene's groups (thousands of registered paths through one group
// make each release a search among all of them).
SoFullPath* TempCopy(const SoPath* path) {
  const auto* full = static_cast<const SoFullPath*>(path);
  auto* copy = new SoTempPath(full->getLength() > 0 ? full->getLength() : 1);
  if (full->getLength() > 0) copy->setHead(full->getHead());
  for (int i = 1; i < full->getLength(); ++i) copy->append(full->getIndex(i));
  return copy;
}

void checkIndex(int i, std::size_t size) {
  if (i < 0 || static_cast<std::size_t>(i) >= size) throw std::invalid_argument("index out of range");
}

}  // namespace

// ---- input lists ---------------------------------------------------------------

int CCollisionManager::GetMaxInsID(const InsList& list) const {
  int best = 0;
  for (const _collisionIns& r : list) best = std::max(best, static_cast<int>(r.nID));
  return best;
}

const std::vector<uint32_t>& CCollisionManager::PlacementIdsOf(const SoPath* path) {
  auto it = m_placementIds.find(path);
  if (it != m_placementIds.end()) return it->second;
  std::vector<uint32_t> ids;
  vx::collide::AppendPlacementIds(path, ids);
  return m_placementIds.emplace(path, std::move(ids)).first->second;
}

int CCollisionManager::CheckInsExist(const _collisionIns& rec, const InsList& list) const {
  std::string key;
  bool haveKey = false;
  for (const _collisionIns& r : list) {
    if (r.nTag != rec.nTag) continue;
    if (!haveKey) {
      key = fullPlcPath(rec.pPath);
      haveKey = true;
    }
    if (fullPlcPath(r.pPath) == key) return 1;
  }
  return 0;
}

void CCollisionManager::AddIns(_collisionIns rec, InsList& list, int tag) {
  m_ignoreIndexed = false;  // the lists change: ask the list itself again
  rec.nID = GetMaxInsID(list) + 1;
  rec.bSelf = true;
  rec.nTag = tag;
  if (CheckInsExist(rec, list)) return;
  list.push_back(rec);
}

void CCollisionManager::AddIns(SoPathList* paths, InsList& list, int tag) {
  m_ignoreIndexed = false;  // the lists change: ask the list itself again
  if (!paths) return;
  const int firstId = GetMaxInsID(list) + 1;  // numbers advance for duplicates too
  // CheckInsExist's rule for many paths at once: a path is left out when
  // one already in the list with this tag, or an earlier one of `paths`,
  // has its placement path. Compared as id lists grouped by their hashes,
  // so the test costs O(log n) per path and builds no strings.
  vx::collide::PlacementIdLists ids;
  for (const _collisionIns& r : list) {
    if (r.nTag == tag) ids.Add(r.pPath);
  }
  const std::size_t present = ids.start.size() - 1;
  const int n = paths->getLength();
  for (int k = 0; k < n; ++k) ids.Add((*paths)[k]);  // a copy has the same nodes, hence the same ids
  const std::size_t total = present + static_cast<std::size_t>(n);
  std::vector<std::pair<uint64_t, std::size_t>> byHash(total);
  for (std::size_t e = 0; e < total; ++e) byHash[e] = std::make_pair(ids.Hash(e), e);
  std::sort(byHash.begin(), byHash.end());
  std::vector<char> repeated(total, 0);
  for (std::size_t g = 0; g < total;) {
    std::size_t end = g + 1;
    while (end < total && byHash[end].first == byHash[g].first) ++end;
    // Within a group of one hash, in list order: repeated when an earlier
    // kept one has the same ids.
    for (std::size_t m = g + 1; m < end; ++m) {
      const std::size_t e = byHash[m].second;
      for (std::size_t f = g; f < m && !repeated[e]; ++f) {
        const std::size_t earlier = byHash[f].second;
        if (!repeated[earlier] && ids.Equals(earlier, ids.Begin(e), ids.Size(e))) repeated[e] = 1;
      }
    }
    g = end;
  }
  list.reserve(list.size() + static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    if (repeated[present + static_cast<std::size_t>(k)]) continue;
    _collisionIns rec;
    rec.nID = firstId + k;
    rec.bSelf = true;
    rec.nTag = tag;
    rec.pPath = TempCopy((*paths)[k]);
    rec.pPath->ref();
    list.push_back(rec);
  }
}

void CCollisionManager::DelIns(int i, InsList& list) {
  m_ignoreIndexed = false;  // the lists change: ask the list itself again
  if (i >= 0 && static_cast<std::size_t>(i) >= list.size()) return;
  checkIndex(i, list.size());
  if (list[i].pPath) list[i].pPath->unref();
  list.erase(list.begin() + i);
}

void CCollisionManager::DelAllIns(InsList& list) {
  m_ignoreIndexed = false;  // the lists change: ask the list itself again
  // In list order, which is the order the paths were made in: Coin finds a
  // dying path among a node's path auditors from the oldest one on.
  for (_collisionIns& r : list) {
    if (r.pPath) r.pPath->unref();
  }
  list.clear();
}

void CCollisionManager::SetInsSelfFlg(InsList& list, int i, bool self) {
  m_expansionKept = false;  // the flag decides which children count
  if (i >= 0 && static_cast<std::size_t>(i) >= list.size()) return;
  checkIndex(i, list.size());
  list[i].bSelf = self;
}

bool CCollisionManager::GetInsSelfFlg(InsList& list, int i) {
  if (i >= 0 && static_cast<std::size_t>(i) >= list.size()) return false;
  checkIndex(i, list.size());
  return list[i].bSelf;
}

void CCollisionManager::AddIns1(_collisionIns rec, int tag) { AddIns(rec, m_Ins, tag); }
void CCollisionManager::AddIns2(_collisionIns rec, int tag) { AddIns(rec, m_Ins2, tag); }
void CCollisionManager::AddIns1(SoPathList* paths, int tag) { AddIns(paths, m_Ins, tag); }
void CCollisionManager::AddIns2(SoPathList* paths, int tag) { AddIns(paths, m_Ins2, tag); }
void CCollisionManager::AddIgnoreIns(SoPathList* paths, int tag) { AddIns(paths, m_IgnoreIns, tag); }
void CCollisionManager::DelIns1(int i) { DelIns(i, m_Ins); }
void CCollisionManager::DelIns2(int i) { DelIns(i, m_Ins2); }
void CCollisionManager::DelIgnoreIns(int i) { DelIns(i, m_IgnoreIns); }
void CCollisionManager::DelAllIns1() { DelAllIns(m_Ins); }
void CCollisionManager::DelAllIns2() { DelAllIns(m_Ins2); }
void CCollisionManager::DelAllIgnoreIns() { DelAllIns(m_IgnoreIns); }
void CCollisionManager::SetIns1SelfFlg(int i, bool self) { SetInsSelfFlg(m_Ins, i, self); }
bool CCollisionManager::GetIns1SelfFlg(int i) { return GetInsSelfFlg(m_Ins, i); }

int CCollisionManager::CheckInputChild(SoKRN_ComponentKit* kit) {
  if (!kit || !kit->isOfType(SoKRN_ComponentKit::getClassTypeId())) return 0;
  SoKRN_ComponentKit* owner = childOwner(kit);
  if (!owner) return 0;
  int n = owner->getNumEleChildren();
  return n == 1 ? 0 : n;
}

int CCollisionManager::CheckInput() {
  if (m_b2Group == 0) {
    if (m_Ins.size() >= 2) return 1;
    if (m_Ins.size() == 1 && m_Ins[0].pPath && m_Ins[0].bSelf) {
      if (SoKRN_ComponentKit* kit = tailKit(m_Ins[0].pPath)) return CheckInputChild(kit);
    }
    return 0;
  }
  if (m_b2Group == 1) return !m_Ins.empty() && !m_Ins2.empty() ? 1 : 0;
  return 0;
}

// ---- results ---------------------------------------------------------------------

_collisionResult* CCollisionManager::AddResult() {
  _collisionResult r;
  r.nID = static_cast<int32_t>(m_Result.size()) + 1;
  r.nTag1 = m_CurTopIns1.nTag;
  m_Result.push_back(std::move(r));
  return &m_Result.back();
}

void CCollisionManager::DelResult(int i) {
  checkIndex(i, m_Result.size());
  m_Result.erase(m_Result.begin() + i);
}

void CCollisionManager::DelAllResult() {
  DelAllInputIns();
  m_Result.clear();
  m_nCurResult = 0;
}

void CCollisionManager::GetResult(ResultList& out) {
  out.clear();
  out.insert(out.end(), m_Result.begin(), m_Result.end());
}

void CCollisionManager::ClearData() {
  DelAllIns1();
  DelAllIns2();
  DelAllIgnoreIns();
  DelAllResult();
  ClearTempData();
}

void CCollisionManager::ClearTempData() {
  m_nCrossPntCount = 0;
  m_CrossPntMap.clear();
  m_TriCrossLines1.clear();
  m_TriCrossLines2.clear();
}

// ---- instance tests ---------------------------------------------------------------

int CCollisionManager::IsSameIns(SoFullPath* a, SoFullPath* b) { return OmbrelTools::IsPathEqual(a, b) ? 1 : 0; }

std::size_t CCollisionManager::NodesHash(const SoPath* p) {
  std::size_t h = 1469598103934665603ull;
  if (!p) return h;
  const auto* full = static_cast<const SoFullPath*>(p);
  for (int i = 0; i < full->getLength(); ++i) {
    h ^= reinterpret_cast<std::uintptr_t>(full->getNode(i));
    h *= 1099511628211ull;
  }
  return h;
}

void CCollisionManager::IndexIgnoreList() {
  m_ignoreIndex.clear();
  for (const _collisionIns& r : m_IgnoreIns) {
    if (r.pPath) m_ignoreIndex.emplace(NodesHash(r.pPath), r.pPath);
  }
  m_ignoreIndexed = true;
}

int CCollisionManager::IsIgnoreIns(const SoPath* p) {
  if (m_ignoreIndexed) {
    if (!p || m_ignoreIndex.empty()) return 0;
    const auto range = m_ignoreIndex.equal_range(NodesHash(p));
    for (auto it = range.first; it != range.second; ++it) {
      if (OmbrelTools::IsPathEqual(p, it->second)) return 1;
    }
    return 0;
  }
  for (const _collisionIns& r : m_IgnoreIns) {
    if (OmbrelTools::IsPathEqual(p, r.pPath)) return 1;
  }
  return 0;
}

int CCollisionManager::IsChildIns(SoFullPath* a, SoFullPath* b, SoFullPath** deeper) {
  const std::vector<uint32_t>& sa = PlacementIdsOf(a);
  const std::vector<uint32_t>& sb = PlacementIdsOf(b);
  // One placement path continues the other id by id (whole ids: instance 1
  // is no ancestor of instance 0x10).
  auto continues = [](const std::vector<uint32_t>& longer, const std::vector<uint32_t>& shorter) {
    return longer.size() >= shorter.size() && std::equal(shorter.begin(), shorter.end(), longer.begin());
  };
  if (continues(sa, sb)) {
    if (deeper) *deeper = a;
    return 1;
  }
  if (continues(sb, sa)) {
    if (deeper) *deeper = b;
    return 1;
  }
  return 0;
}

// ---- expansion of the inputs --------------------------------------------------------

bool CCollisionManager::ExpansionIgnoresVisibility() const {
  // ObviateInvisible consults visibility only for records tagged 2.
  for (const InsList* list : {&m_Ins, &m_Ins2}) {
    for (const _collisionIns& r : *list) {
      if (r.nTag == 2) return false;
    }
  }
  return true;
}

void CCollisionManager::DelAllInputIns() {
  m_expansionKept = false;
  for (auto& entry : m_InsChildren) entry.first->unref();
  m_InsChildren.clear();
  m_placementIds.clear();  // its keys may be released paths from here on
}

void CCollisionManager::GetAllInputInsChild(SoFullPath* path, std::vector<SoFullPath*>& out) {
  SoKRN_ComponentKit* tail = tailKit(path);
  SoKRN_ComponentKit* owner = childOwner(tail);
  if (!owner) return;
  int64_t counted = 0;
  const int n = owner->getNumEleChildren();
  for (int i = 0; i < n && !Stopped(); ++i) {
    SoNode* child = owner->getEleChild(i);
    if (!child) continue;
    SoSearchAction search;
    search.setNode(child);
    search.setType(SoKRN_ComponentKit::getClassTypeId(), TRUE);
    search.setInterest(SoSearchAction::FIRST);
    search.apply(tail);
    SoPath* found = search.getPath();
    if (!found) continue;
    // A full path is a path viewed with its hidden (kit-internal) nodes.
    auto* full = static_cast<SoFullPath*>(new SoPath(path->getLength() + found->getLength()));
    full->ref();
    full->append(path);
    full->append(found);
    if (ObviateInvisible(full) != SoCallbackAction::CONTINUE) {
      full->unref();
      continue;
    }
    std::vector<SoFullPath*> grandChildren;
    GetAllInputInsChild(full, grandChildren);
    ++counted;
    out.push_back(full);
    m_InsChildren.emplace(full, std::move(grandChildren));  // a new path: never a key yet
  }
  if (m_b2Group == 0 && counted >= 1 && m_CurTopIns1.bSelf) {
    m_nTotalPairs += counted * (counted - 1) / 2;
  }
}

void CCollisionManager::GetAllInputIns() {
  IndexIgnoreList();
  m_nTotalPairs = 0;
  DelAllInputIns();
  m_nCurSide = 0;

  auto walk = [this](InsList& list) {
    int64_t counted = 0;
    for (std::size_t i = 0; i < list.size() && !Stopped(); ++i) {
      m_CurTopIns1 = list[i];
      SoFullPath* path = list[i].pPath;
      SoKRN_ComponentKit* kit = tailKit(path);
      if (IsIgnoreIns(path) || !path || !kit) continue;
      if (ObviateInvisible(path) != SoCallbackAction::CONTINUE) continue;
      std::vector<SoFullPath*> children;
      SoKRN_ComponentKit* owner = childOwner(kit);
      if (owner && owner->getNumEleChildren() > 0) GetAllInputInsChild(path, children);
      ++counted;
      // The list's paths were made one after the other, so their addresses
      // mostly ascend: the end is the likely place of each new key.
      const std::size_t before = m_InsChildren.size();
      m_InsChildren.emplace_hint(m_InsChildren.end(), path, std::move(children));
      if (m_InsChildren.size() != before) path->ref();
    }
    return counted;
  };

  const int64_t n = walk(m_Ins);
  if (m_b2Group == 0) {
    m_nTotalPairs += n * (n - 1) / 2;
    return;
  }
  const int64_t m = walk(m_Ins2);
  m_nTotalPairs = n * m;
}
