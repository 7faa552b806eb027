// Showing the results: only the instances involved stay visible, and for the
// current result (or all of them) the manager hangs boxes, cut lines, cut
// faces and a clip plane under its own separator. Everything here is
// temporary: ClearColisionTempNode removes it and puts visibility back.
#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/misc/SoTempPath.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "collision/CCollisionManager.h"
#include "collision/CollisionDocState.h"
#include "graphops/CGraphOperation.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ClipLineKit.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_MeshKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/SoRef.h"
#include "host/TpxProductData.h"

namespace {

const char kBoxes[] = "CollisionBoundingBox";
const char kCutLine[] = "CollisionCutLine";
const char kCutFace[] = "CollisionCutFace";

// A new empty path, held.
vx::host::SoRef<SoFullPath> NewTempPath() {
  return vx::host::SoRef<SoFullPath>(static_cast<SoFullPath*>(new SoTempPath(8)));
}

}  // namespace

bool CCollisionManager::EnterBusy() {
  int32_t idle = 0;
  return m_bRunning.compare_exchange_strong(idle, 1);
}

bool CCollisionManager::IsShown(int i) const {
  if (m_bShowAll == 1) return true;
  if (m_bShowAll == 0) return i == m_nCurResult;
  return false;
}

void CCollisionManager::RemoveRootChildrenNamed(const char* name) {
  if (!m_pRoot) return;
  const SbName wanted(name);
  for (int i = 0; i < m_pRoot->getNumChildren();) {
    if (m_pRoot->getChild(i)->getName() == wanted) {
      m_pRoot->removeChild(i);
    } else {
      ++i;
    }
  }
}

void CCollisionManager::ClearColisionTempNode(bool restore) {
  SoKRN_MainDoc* doc = Doc();
  if (!doc) return;
  CGraphOperation::DeleteClipNodeFromSceneGraph(doc);
  if (SoKRN_ComponentKit* active = doc->getActiveComp()) active->removeAllClipLineSet(TRUE);

  if (m_pRoot && m_pRoot->getRefCount() > 0 && m_pRoot->getNumChildren() > 0) {
    for (int i = 0; i < m_pRoot->getNumChildren();) {
      const SbName name = m_pRoot->getChild(i)->getName();
      if (name == kBoxes || name == kCutLine || name == kCutFace) {
        m_pRoot->removeChild(i);
      } else {
        ++i;
      }
    }
  }

  if (m_pClipViewNode && m_pClipViewNode->getRefCount() > 0) {
    doc->deselect(m_pClipViewNode);
    CGraphOperation::DelClipLine(doc, m_pClipViewNode->getID());
    m_pClipViewNode = nullptr;
    doc->deselectAll(TRUE);
  }

  if (restore && doc->getKRNState()) {
    SoKRN_State* state = doc->getKRNState();
    // Notified once at the end, not once per instance (see ShowIns).
    for (const auto& saved : m_pDocState->Saved()) state->setDocEleVisible(saved.first, saved.second, FALSE);
    if (!m_pDocState->Saved().empty()) NotifyVisibility(doc);
    state->setClipPlane(nullptr);
  }
}

// The four display switches with their stored settings, in their fixed order.
void CCollisionManager::ShowDisplays() {
  ShowClipPlane(m_bShowClipPlane);
  ShowCutFace(m_bShowCutFace);
  ShowEdge(m_bShowEdge);
  ShowCutLine(m_bShowCutLine);
}

void CCollisionManager::ShowAll() {
  ClearColisionTempNode(false);
  m_bShowAll = 1;
  if (m_nCurResult < 0 || m_nCurResult >= GetResultCount()) return;
  ShowDisplays();
  ShowIns(1);
}

void CCollisionManager::ShowAllWithoutClear() {
  m_bShowAll = 1;
  if (m_nCurResult < 0 || m_nCurResult >= GetResultCount()) return;
  ShowDisplays();
}

void CCollisionManager::ShowCurrent() {
  ClearColisionTempNode(false);
  m_bShowAll = 0;
  ShowDisplays();
  ShowIns(m_nShowInsMode);
}

void CCollisionManager::ShowPre() {
  const int n = GetResultCount();
  m_nCurResult -= 1;
  if (m_nCurResult < 0) m_nCurResult = n - 1;
  ShowCurrent();
}

void CCollisionManager::ShowNext() {
  const int n = GetResultCount();
  m_nCurResult += 1;
  if (m_nCurResult >= n) m_nCurResult = 0;
  ShowCurrent();
}

void CCollisionManager::ShowDisplay(int show, int32_t& flag, const char* name,
                                    const std::function<void(_collisionResult&, SoSeparator*)>& addResult) {
  if (!EnterBusy()) return;
  flag = show;
  if (m_pRoot) {
    if (show == 0) {
      RemoveRootChildrenNamed(name);
    } else {
      // Earlier separators of this name stay: the callers clear first.
      auto* sep = new SoSeparator;
      sep->setName(name);
      m_pRoot->addChild(sep);
      for (int i = 0; i < GetResultCount(); ++i) {
        if (IsShown(i)) addResult(m_Result[static_cast<std::size_t>(i)], sep);
      }
    }
  }
  LeaveBusy();
}

void CCollisionManager::ShowEdge(int show) {
  ShowDisplay(show, m_bShowEdge, kBoxes,
              [this](_collisionResult& r, SoSeparator* sep) { ShowResultBoundingBox(&r, sep); });
}

void CCollisionManager::ShowCutLine(int show) {
  SoKRN_MainDoc* doc = Doc();
  ShowDisplay(show, m_bShowCutLine, kCutLine, [doc](_collisionResult& r, SoSeparator* sep) {
    auto* kit = new SoKRN_ClipLineKit(doc ? doc->getKRNState() : nullptr);
    kit->serializeFromTools_ClipLine(r.cutLinePnts, r.cutLines, FALSE);
    sep->addChild(kit);
    kit->setBaseColor(SbColor(1, 0, 0));
    if (SoDrawStyle* style = kit->getDrawStyle()) style->lineWidth = 3;
  });
}

void CCollisionManager::ShowCutFace(int show) {
  SoKRN_MainDoc* doc = Doc();
  ShowDisplay(show, m_bShowCutFace, kCutFace, [doc](_collisionResult& r, SoSeparator* sep) {
    auto* kit = new SoKRN_MeshKit(doc ? doc->getKRNState() : nullptr, nullptr, nullptr);
    kit->setMeshIsAlwaysShowFront(1);
    _stlMesh mesh;
    mesh.vtx = r.cutFacePnts;
    mesh.idx = r.cutFaceTris;
    kit->serializeFromSTL_Mesh(mesh);
    sep->addChild(kit);
    // Magenta, half transparent.
    if (SoBaseKit* face = kit->getMeshFace()) {
      if (auto* mat = static_cast<SoMaterial*>(face->getPart("information.material", FALSE))) {
        mat->diffuseColor = SbColor(1, 0, 1);
        mat->emissiveColor = SbColor(1, 0, 1);
        mat->transparency = 0.5f;
      }
    }
  });
}

void CCollisionManager::SetInsVisble(SoFullPath* path, int visible) {
  SoKRN_MainDoc* doc = Doc();
  if (!doc || !path || !doc->getKRNState()) return;
  // The key once, for the lookup and the save.
  SetKeyVisible(path, OmbrelTools::InstanceChainKey(path), visible, false);
}

void CCollisionManager::SetKeyVisible(SoFullPath* path, const std::string& key, int visible, bool saved) {
  SoKRN_MainDoc* doc = Doc();
  if (!doc || !path || !doc->getKRNState()) return;
  SoKRN_State* state = doc->getKRNState();
  const int cur = state->getVisibleByKey(key);
  if (!saved) m_pDocState->Save(path, key, cur);
  if ((cur != 0) == (visible != 0)) return;
  state->setVisibleByKey(key, visible > 0 ? -1 : 0, m_visibilityBatch ? FALSE : TRUE);
  m_visibilityChanged = true;
}

void CCollisionManager::NotifyVisibility(SoKRN_MainDoc* doc) {
  // What the document state's own notification touches: the model, so that
  // every separator between the document and it drops its caches too.
  if (SoKRN_ComponentKit* top = doc->getTopPrototype()) {
    top->touch();
  } else {
    doc->touch();
  }
}

void CCollisionManager::SetInsVisbleSteps(SoFullPath* path, int visible) {
  SetInsVisble(path, visible);
  for (const auto& entry : m_InsChildren) {
    if (!OmbrelTools::IsPathEqual(entry.first, path)) continue;
    for (SoFullPath* child : entry.second) {
      if (child) SetInsVisbleSteps(child, visible);
    }
    return;
  }
}

bool CCollisionManager::SaveShown(SoFullPath* path, bool steps, std::string& key, bool input) {
  SoKRN_MainDoc* doc = Doc();
  if (!doc || !path || !doc->getKRNState()) return false;
  key = OmbrelTools::InstanceChainKey(path);
  // The input lists' own paths are temporary copies the manager never
  // changes (a child found by the expansion is an ordinary path): shared.
  const bool share = input && dynamic_cast<SoTempPath*>(path) != nullptr;
  m_pDocState->Save(path, key, doc->getKRNState()->getVisibleByKey(key), share);
  if (!steps) return true;
  auto it = m_InsChildren.find(path);
  if (it == m_InsChildren.end()) return true;
  std::string childKey;
  for (SoFullPath* child : it->second) SaveShown(child, true, childKey, false);
  return true;
}

// The ancestors of a shown instance are not made visible here: the document
// draws a hidden ancestor with a shown occurrence below it as a way through
// (its own bodies stay hidden, its other children too), while an ancestor
// set visible would show its whole subtree, the siblings of the pair and,
// for the top prototype, whose occurrence is the root's, the whole model.
void CCollisionManager::ShowIns(SoFullPath* path, bool steps) {
  if (!Doc() || !path) return;
  if (steps) {
    SetInsVisbleSteps(path, 1);
  } else {
    SetInsVisble(path, 1);
  }
}

void CCollisionManager::HideAllShown() {
  SoKRN_MainDoc* doc = Doc();
  SoKRN_State* state = doc ? doc->getKRNState() : nullptr;
  if (!state) return;
  {
    vx::host::SoRef<SoFullPath> root = NewTempPath();
    OmbrelTools::StrPathToSoPath(doc->getTopPrototype(), "", *root);
    SetInsVisbleSteps(root, 0);
  }
  // Occurrences set visible explicitly (by the user under a hidden parent,
  // or by an earlier ShowIns) would stay visible under the hidden root.
  for (const std::string& key : state->getShownKeys()) {
    if (key.empty()) continue;
    vx::host::SoRef<SoFullPath> path = NewTempPath();
    OmbrelTools::StrPathToSoPath(doc->getTopPrototype(), key, *path);
    if (path->getLength() > 0) SetInsVisble(path, 0);
  }
}

void CCollisionManager::ShowIns(int mode) {
  SoKRN_MainDoc* doc = Doc();
  if (!doc) return;
  if (!EnterBusy()) return;
  m_nShowInsMode = mode;

  // What is about to be shown, with the paths whose subtrees go along.
  std::vector<std::pair<SoFullPath*, bool>> shown;
  if (mode != 0) {
    for (const auto& entry : m_InsChildren) shown.emplace_back(entry.first, false);
  } else if (m_bShowAll != 0) {
    for (_collisionResult& r : m_Result) {
      shown.emplace_back(r.pPath1, true);
      shown.emplace_back(r.pPath2, true);
    }
  } else if (m_nCurResult >= 0 && m_nCurResult < GetResultCount()) {
    _collisionResult& r = m_Result[static_cast<std::size_t>(m_nCurResult)];
    shown.emplace_back(r.pPath1, true);
    shown.emplace_back(r.pPath2, true);
  }
  // Their visibility now is what ClearColisionTempNode(true) gives back:
  // saved before hiding the root changes what they inherit.
  // Each one's key is kept for showing it below.
  std::vector<std::string> keys(shown.size());
  std::vector<char> saved(shown.size(), 0);
  for (std::size_t k = 0; k < shown.size(); ++k) {
    saved[k] = SaveShown(shown[k].first, shown[k].second, keys[k], mode != 0);
  }
  // One notification for the whole change rather than one per instance
  // (each touches the model and every viewer's caches above it).
  m_visibilityBatch = true;
  m_visibilityChanged = false;
  HideAllShown();
  for (std::size_t k = 0; k < shown.size(); ++k) {
    if (shown[k].second || !saved[k]) {
      ShowIns(shown[k].first, shown[k].second);
    } else {
      SetKeyVisible(shown[k].first, keys[k], 1, true);  // ShowIns(path, false) with what is known
    }
  }
  m_visibilityBatch = false;
  if (m_visibilityChanged) NotifyVisibility(doc);

  // The box only goes to the callback: without one, nothing to compute.
  if (m_pfnShowInsCB) {
    SbXfBox3f box;
    box.makeEmpty();
    if (mode != 0) {
      box = GetAllInputInsBoundingBox();
    } else if (m_bShowAll != 0) {
      SoPathList paths;
      for (const auto& s : shown) {
        if (s.first) paths.append(s.first);
      }
      box = PathListBox(paths);
    } else if (!shown.empty()) {
      box = GetResultInsPairBoundingBox(m_nCurResult);
    }
    SbVec3f lo, hi;
    box.getBounds(lo, hi);
    if (lo[0] <= hi[0]) m_pfnShowInsCB(box, m_pShowInsCBData);
  }
  LeaveBusy();
}

namespace {

// A view of the active component holding the clipping plane (through
// `origin`, facing `normal`, drawn over `extent`) makes the clip view's node
// kit under the top prototype's root node kit, which is returned; the view
// is only the vehicle and goes again once the kit shows the plane. Null
// when the document has no such place or the kit cannot be made.
SoKRN_NodeKit* MakeClipView(SoKRN_MainDoc* doc, const SbBox3f& extent, const SbVec3f& origin, const SbVec3f& normal) {
  SoKRN_ComponentKit* active = doc->getActiveComp();
  auto* proto = active ? dynamic_cast<Tpx_ProtoType*>(active->getTpxObjCache()) : nullptr;
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  SoKRN_NodeKit* rootNode = top ? top->getRootNode() : nullptr;
  if (!proto || !rootNode) return nullptr;
  auto* view = new Tpx_View(proto);
  proto->AddView(view);
  view->RegisterID(0);
  view->SetUsageType(9);
  Tpx_Node* viewNode = view->GetNode();
  const TPX_RGBA32 color{1, 0, 0, 0.5f};
  auto* plane = new Tpx_PlaneSurface;
  plane->SetNormal(TPX_DIR32{normal[0], normal[1], normal[2]});
  plane->SetOrigin(TPX_PNT32{origin[0], origin[1], origin[2]});
  plane->SetColor(color);
  view->AddClippingPlan(plane);

  SoKRN_NodeKit* node = SoKRN_NodeKit::createNode(10, rootNode, viewNode, 10027);
  proto->DeleteView(view->GetID());  // from here only the kit's display holds the view
  if (!node) return nullptr;
  if (auto* display = dynamic_cast<SoKRN_ModelDisplay*>(node->getNodeEnt())) {
    display->createClipPlane(extent, origin, normal, 0.0f, color);
    display->DelTpxObj();
  }
  return node;
}

}  // namespace

void CCollisionManager::ShowClipPlane(int show) {
  if (!EnterBusy()) return;
  m_bShowClipPlane = show;
  SoKRN_MainDoc* doc = Doc();
  auto removeView = [this, doc] {
    if (!m_pClipViewNode) return;
    doc->deselect(m_pClipViewNode);
    CGraphOperation::DelClipLine(doc, m_pClipViewNode->getID());
    m_pClipViewNode = nullptr;
    doc->deselectAll(TRUE);
  };
  if (!m_pRoot || !doc) {
    LeaveBusy();
    return;
  }
  if (show == 0) {
    removeView();
    LeaveBusy();
    return;
  }
  CGraphOperation::DeleteClipNodeFromSceneGraph(doc);
  if (SoKRN_ComponentKit* active = doc->getActiveComp()) active->removeAllClipLineSet(TRUE);
  if (SoKRN_State* state = doc->getKRNState()) {
    state->setCappingFlg(TRUE);
    state->setClipPlane(nullptr);
  }
  if (m_nCurResult < 0 || m_nCurResult >= GetResultCount()) {
    LeaveBusy();
    return;
  }
  _collisionResult& r = m_Result[static_cast<std::size_t>(m_nCurResult)];
  const SbXfBox3f pairBox = GetResultInsPairBoundingBox(m_nCurResult);
  SbVec3f lo, hi;
  pairBox.getBounds(lo, hi);
  if (lo[0] > hi[0]) {
    LeaveBusy();
    return;
  }
  removeView();

  // Extent: the pair box grown to twice its size about its centre (by the
  // box transform's scale, one for the boxes made here).
  SbVec3f translation, scale;
  SbRotation rotation, scaleOrientation;
  pairBox.getTransform().getTransform(translation, rotation, scale, scaleOrientation);
  const SbVec3f centre = pairBox.getCenter();
  const SbVec3f size = hi - lo;
  const SbBox3f extent(centre - size * scale[0], centre + size * scale[0]);

  // The plane: normal (0, -1, 0) through the centre of the result box.
  const SbVec3f normal(0, -1, 0);
  SbVec3f origin(0, 0, 0);
  SbVec3f rlo, rhi;
  GetResultBoundingBox(&r).getBounds(rlo, rhi);
  if (rlo[0] <= rhi[0]) origin = (rlo + rhi) * 0.5f;

  m_pClipViewNode = MakeClipView(doc, extent, origin, normal);
  LeaveBusy();
}
