// Placement paths and instance addressing.
#include <cstdio>
#include <cstring>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/misc/SoTempPath.h>
#include <Inventor/nodes/SoSelection.h>

#include "graphops/CGraphOperation.h"
#include "graphops/GraphPathUtil.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"

using namespace vx::graph;

namespace {

const char kPlcPrefix[] = "PATH|0";
const std::size_t kPlcPrefixLen = sizeof(kPlcPrefix) - 1;  // 6
const std::size_t kPlcPathCapacity = 1024;                 // terminator included

// Resolves a relative placement path below `root` into a new referenced
// path; null (nothing held) when it does not resolve.
SoPath* ResolvePlcPath(SoNode* root, const std::string& relative) {
  if (!root) return nullptr;
  vx::host::SoRef<SoPath> path(new SoPath(8));
  OmbrelTools::StrPathToSoPath(root, relative, *path);
  if (FullLength(path) == 0) return nullptr;
  path->ref();  // the caller's
  return path;
}

// Path from `from` down to `child` (a component kit), owned by the
// search action; null when `child` is not below that tail.
const SoPath* FindChildBelow(SoSearchAction& search, SoNode* from, SoNode* child) {
  search.reset();
  search.setNode(child);
  search.setType(SoKRN_ComponentKit::getClassTypeId());
  search.setInterest(SoSearchAction::FIRST);
  search.apply(from);
  return search.getPath();
}

}  // namespace

std::string CGraphOperation::ToRelativePlcPath(const char* plcPath) {
  if (!plcPath) return std::string();
  const std::string text(plcPath);
  const bool hasPrefix = text.find(kPlcPrefix) != std::string::npos;
  // "PATH|0|..." drops the prefix and its separator. The text "0" and the
  // bare prefix both name the root.
  if (hasPrefix && text.size() > kPlcPrefixLen) return text.substr(kPlcPrefixLen + 1);
  if (hasPrefix || text == "0") return std::string();
  return text;
}

void CGraphOperation::PlcPathConvert(const char* plcPath, char* out) {
  if (!out) return;
  const std::string relative = ToRelativePlcPath(plcPath);
  const std::size_t n = relative.size() < kPlcPathCapacity ? relative.size() : kPlcPathCapacity - 1;
  std::memcpy(out, relative.data(), n);
  out[n] = '\0';
}

void CGraphOperation::GetNodePlcPath(const SoPath* path, std::string& plcPath, bool withPrefix) {
  plcPath.clear();
  if (!path) return;
  if (withPrefix) plcPath = kPlcPrefix;
  const SoFullPath* full = static_cast<const SoFullPath*>(path);
  const int length = full->getLength();
  for (int i = 0; i < length; ++i) {
    const SoKRN_ComponentKit* ins = AsInstanceKit(full->getNode(i));
    if (!ins) continue;
    char id[16];
    std::snprintf(id, sizeof(id), "%x", static_cast<unsigned>(ins->getPLCID()));
    if (!plcPath.empty()) plcPath += '|';
    plcPath += id;
  }
}

SoPath* CGraphOperation::GetNodeSoPathByPlcPath(SoNode* root, const char* plcPath) {
  if (!plcPath) return nullptr;
  return ResolvePlcPath(root, plcPath);
}

SoNode* CGraphOperation::GetNodeByPlcPath(SoKRN_MainDoc* doc, const char* plcPath) {
  const std::string relative = ToRelativePlcPath(plcPath);
  doc = ResolveDoc(doc);
  if (!doc) return nullptr;
  const auto path = vx::host::SoRef<SoPath>::adopt(ResolvePlcPath(doc, relative));
  return FullTail(path);  // owned by the scene, outlives the path
}

SoKRN_ComponentKit* CGraphOperation::GetChildByPath(SoKRN_MainDoc* doc, const std::string& plcPath) {
  if (!doc) return nullptr;
  if (plcPath.empty()) return doc->getActiveComp();
  const auto path = vx::host::SoRef<SoPath>::adopt(ResolvePlcPath(doc->getTopPrototype(), plcPath));
  return AsComponentKit(FullTail(path));
}

SoNode* CGraphOperation::GetRootInsNode(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  return doc ? doc->getTopPrototype() : nullptr;
}

SoSelection* CGraphOperation::GetSelection(SoNode* node) {
  if (!node || !node->isOfType(SoKRN_MainDoc::getClassTypeId())) return nullptr;
  SoSearchAction search;
  search.setType(SoSelection::getClassTypeId());
  search.setInterest(SoSearchAction::FIRST);
  search.apply(node);
  SoNode* found = FullTail(search.getPath());
  return found ? static_cast<SoSelection*>(found) : nullptr;
}

void CGraphOperation::GetInsName(const SoPath* path, std::wstring& name) {
  const SoFullPath* full = static_cast<const SoFullPath*>(path);
  for (int i = FullLength(path) - 1; i >= 0; --i) {
    if (SoKRN_ComponentKit* kit = AsComponentKit(full->getNode(i))) {
      kit->getKRNName(name);
      return;
    }
  }
}

void CGraphOperation::GetInsPathName(SoPath* path, std::wstring& name) {
  name.clear();
  const SoFullPath* full = static_cast<const SoFullPath*>(path);
  const int length = FullLength(path);
  for (int i = 0; i < length; ++i) {
    SoKRN_ComponentKit* kit = AsComponentKit(full->getNode(i));
    if (!kit) continue;
    std::wstring part;
    kit->getKRNName(part);
    if (!name.empty()) name += L'/';
    name += part;
  }
}

SoNode* CGraphOperation::GetAssyNodeFromFullPath(SoFullPath* path) { return AsComponentKit(FullTail(path)); }

bool CGraphOperation::IsSameIns(SoFullPath* a, SoFullPath* b) {
  std::string plcA, plcB;
  GetNodePlcPath(a, plcA, true);
  GetNodePlcPath(b, plcB, true);
  return plcA == plcB;
}

void CGraphOperation::SelectParentIns(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  if (!doc || !doc->getKRNState()) return;
  const SoPathList& selection = doc->getList();
  if (selection.getLength() == 0) return;
  const SoFullPath* newest = static_cast<const SoFullPath*>(selection[selection.getLength() - 1]);

  // The nearest instance above the tail; the tail itself does not count, and
  // an instance at the head has nothing above it to select.
  int parent = -1;
  for (int i = newest->getLength() - 2; i >= 0; --i) {
    if (AsInstanceKit(newest->getNode(i))) {
      parent = i;
      break;
    }
  }
  if (parent <= 0) return;

  // Copy before deselecting: deselectAll may release the newest path.
  const vx::host::SoRef<SoPath> parentPath(CopyPathPrefix(newest, parent + 1, parent + 1));
  doc->deselectAll(TRUE);
  doc->select(parentPath);  // the selection takes its own reference
}

void CGraphOperation::GetAllChildIns(SoKRN_MainDoc* doc, SoFullPath* insPath, std::vector<SoFullPath*>& out,
                                     bool recursive, bool temporary) {
  if (!ResolveDoc(doc)) return;
  SoKRN_ComponentKit* ins = AsComponentKit(FullTail(insPath));
  if (!ins) return;
  SoKRN_ComponentKit* proto = ins->isInstance() ? ins->getPrototype() : ins;
  if (!proto) return;

  // The children sit in one group of the prototype, child i at index i.
  // One search finds the route from the instance down to that group (the
  // path to the first child without its tail); every child's path is that
  // route plus its index. A search per child would walk the siblings before
  // it each time: quadratic in the child count.
  const int numChildren = proto->getNumEleChildren();
  SoSearchAction search;
  // Temporary (non-auditing) paths: nothing registers with the groups.
  const vx::host::SoRef<SoTempPath> heldRoute(new SoTempPath(8));
  SoTempPath& route = *heldRoute;
  SoNode* childGroup = nullptr;
  for (int i = 0; i < numChildren && !childGroup; ++i) {
    SoKRN_DocElementKit* child = proto->getEleChild(i);
    if (!child) continue;
    const SoPath* first = FindChildBelow(search, ins, child);
    if (!first || FullLength(first) < 2) break;
    const SoFullPath* f = static_cast<const SoFullPath*>(first);
    childGroup = f->getNodeFromTail(1);
    route.setHead(f->getHead());
    for (int k = 1; k + 1 < f->getLength(); ++k) route.append(f->getIndex(k));
  }
  const vx::host::SoRef<SoTempPath> heldBelow(new SoTempPath(8));
  SoTempPath& below = *heldBelow;
  for (int i = 0; i < numChildren; ++i) {
    SoKRN_DocElementKit* child = proto->getEleChild(i);
    if (!child) continue;
    below.truncate(0);
    const bool inGroup = childGroup && childGroup->getChildren() && i < childGroup->getChildren()->getLength() &&
                         (*childGroup->getChildren())[i] == child;
    if (inGroup) {
      below.setHead(route.getHead());
      for (int k = 1; k < route.getLength(); ++k) below.append(route.getIndex(k));
      below.append(i);
    } else {
      const SoPath* found = FindChildBelow(search, ins, child);  // not where expected: look
      if (!found) continue;
      below.setHead(found->getHead());
      const SoFullPath* f = static_cast<const SoFullPath*>(found);
      for (int k = 1; k < f->getLength(); ++k) below.append(f->getIndex(k));
    }

    // insPath followed by the found path without its head (the same node as
    // insPath's tail).
    const int belowLength = below.getLength();
    SoPath* childPath = CopyPathPrefix(insPath, insPath->getLength(), insPath->getLength() + belowLength, temporary);
    childPath->ref();
    for (int k = 1; k < belowLength; ++k) childPath->append(below.getIndex(k));

    SoKRN_ComponentKit* childKit = AsComponentKit(child);
    SoKRN_DocElementKit* childProto = childKit && childKit->isInstance() ? childKit->getPrototype() : child;
    if (recursive && childProto && childProto->getNumEleChildren() > 0) {
      // Intermediate instances are not listed, only their leaves.
      GetAllChildIns(doc, static_cast<SoFullPath*>(childPath), out, true, temporary);
      childPath->unref();
    } else {
      out.push_back(static_cast<SoFullPath*>(childPath));  // keeps its reference
    }
  }
  if (numChildren == 0) out.push_back(insPath);  // borrowed: no reference taken
}
