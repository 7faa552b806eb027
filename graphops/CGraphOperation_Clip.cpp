// Temporary points, clip planes and saved clip planes and clip lines.
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cstring>

#include "graphops/CGraphOperation.h"
#include "host/SoKRN_BodyKit.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/TpxProductData.h"

namespace {

const int kClipLineFeature = 30000;
// Entity types of relation connectors: (10, 10) to a clip plane or view,
// (10, 4001) to a clip line.
const int kViewEntity = 10;
const int kClipLineEntity = 4001;

SoKRN_NodeKit* TopRootNodeKit(SoKRN_MainDoc* doc) {
  SoKRN_ComponentKit* top = doc ? doc->getTopPrototype() : nullptr;
  return top ? top->getRootNode() : nullptr;
}

bool IsClipPlaneKit(const SoKRN_NodeKit* kit) {
  SoKRN_BaseKit* ent = kit ? kit->getNodeEnt() : nullptr;
  return ent && ent->isOfType(SoKRN_ModelDisplay::getClassTypeId()) &&
         static_cast<SoKRN_ModelDisplay*>(ent)->isClipPLane();
}

bool IsClipLineKit(const SoKRN_NodeKit* kit) {
  SoKRN_BaseKit* ent = kit ? kit->getNodeEnt() : nullptr;
  return kit && kit->featureType.getValue() == kClipLineFeature && ent &&
         ent->isOfType(SoKRN_BodyKit::getClassTypeId());
}

void Collect(SoKRN_NodeKit* root, bool (*keep)(const SoKRN_NodeKit*), bool visibleOnly,
             std::vector<SoKRN_NodeKit*>& out) {
  if (!root) return;
  for (int i = 0; i < root->getNumChildren(); ++i) {
    SoKRN_NodeKit* kit = root->getChild(i);
    if (keep(kit) && (!visibleOnly || kit->isVisible())) out.push_back(kit);
  }
}

void SelectEntity(SoKRN_MainDoc* doc, unsigned int id, bool (*keep)(const SoKRN_NodeKit*)) {
  SoKRN_NodeKit* root = TopRootNodeKit(doc);
  SoKRN_NodeKit* kit = root ? root->getChildNodeKitByID(id) : nullptr;
  if (keep(kit)) doc->selectNode(kit->getNodeEnt());
}

// The last node of `type` on the path, searching from the tail.
SoNode* LastOfType(SoFullPath* path, SoType type) {
  for (int i = path ? path->getLength() - 1 : -1; i >= 0; --i) {
    if (path->getNode(i)->isOfType(type)) return path->getNode(i);
  }
  return nullptr;
}

}  // namespace

// ---- temporary points ------------------------------------------------------------

SoSeparator* CGraphOperation::CreateTmpPoint(SoKRN_MainDoc* doc, SbVec3f p) {
  doc = ResolveDoc(doc);
  if (!doc) return nullptr;
  auto* point = new SoSeparator;
  point->setName("Point");
  auto* coord = new SoCoordinate3;
  coord->point.setValue(p);
  point->addChild(coord);
  auto* style = new SoDrawStyle;
  style->pointSize = 5.0f;
  point->addChild(style);
  auto* colour = new SoBaseColor;
  colour->rgb.setValue(1, 0, 0);
  point->addChild(colour);
  point->addChild(new SoPointSet);
  doc->addTmpChild(point);
  return point;
}

SbVec3f CGraphOperation::GetTmpPointPosition(SoNode* node) {
  if (!node) return SbVec3f(0, 0, 0);
  SoSearchAction search;
  search.setType(SoCoordinate3::getClassTypeId(), TRUE);
  search.setInterest(SoSearchAction::FIRST);
  search.apply(node);
  const auto* found = static_cast<const SoFullPath*>(search.getPath());
  if (!found) return SbVec3f(0, 0, 0);
  const auto* coord = static_cast<const SoCoordinate3*>(found->getTail());
  return coord->point.getNum() > 0 ? coord->point[0] : SbVec3f(0, 0, 0);
}

void CGraphOperation::DelTmpPoint(SoKRN_MainDoc* doc, SoNode* node) {
  doc = ResolveDoc(doc);
  if (doc) doc->removeTempChild(node);
}

void CGraphOperation::DelAllTmpPoint(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  const SbName point("Point");
  for (int i = 0; i < doc->getNumTempChildren();) {
    SoNode* child = doc->getTmpChildByIndex(i);
    if (child && child->getName() == point) {
      doc->removeTempChild(child);  // the next child moved to index i
    } else {
      ++i;
    }
  }
}

// ---- clip planes in the scene ---------------------------------------------------

void CGraphOperation::DeleteClipNodeFromSceneGraph(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  SoGroup* planes = doc->getClipPlaneChildren();
  if (!planes) return;
  for (int i = 0; i < planes->getNumChildren();) {
    SoNode* child = planes->getChild(i);
    if (!child) break;
    if (child->isOfType(SoClipPlane::getClassTypeId())) {
      planes->removeChild(i);
    } else {
      ++i;
    }
  }
}

SoClipPlane* CGraphOperation::FindClipPlane(SoKRN_MainDoc* doc, const char* name) {
  doc = ResolveDoc(doc);
  SoGroup* planes = doc ? doc->getClipPlaneChildren() : nullptr;
  if (!planes) return nullptr;
  const bool any = !name || !*name;
  for (int i = 0; i < planes->getNumChildren(); ++i) {
    SoNode* child = planes->getChild(i);
    if (!child) return nullptr;
    if (!child->isOfType(SoClipPlane::getClassTypeId())) continue;
    if (any || std::strcmp(child->getName().getString(), name) == 0) return static_cast<SoClipPlane*>(child);
  }
  return nullptr;
}

SbPlane CGraphOperation::GetClipPlaneInfoFromSceneGraph(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  for (int i = 0; doc && i < doc->getNumTempChildren(); ++i) {
    SoNode* child = doc->getTmpChildByIndex(i);
    if (child && child->isOfType(SoClipPlane::getClassTypeId()))
      return static_cast<SoClipPlane*>(child)->plane.getValue();
  }
  return SbPlane(SbVec3f(1, 0, 0), 0.0f);
}

void CGraphOperation::ClearClipLineFromSceneGraph(SoKRN_MainDoc* doc) {
  if (SoKRN_ComponentKit* active = doc ? doc->getActiveComp() : nullptr) active->removeAllClipLineSet(TRUE);
}

// ---- saved clip planes and clip lines ----------------------------------------------

void CGraphOperation::DelClipLine(SoKRN_MainDoc* doc, unsigned int id) {
  if (!doc || id == 0) return;
  if (SoKRN_NodeKit* root = TopRootNodeKit(doc)) root->removeChildNodeKitByID(id, TRUE);
}

void CGraphOperation::DelClipPlane(SoKRN_MainDoc* doc, unsigned int id) { DelClipLine(doc, id); }

void CGraphOperation::GetAllClipPlaneKit(SoKRN_NodeKit* root, std::vector<SoKRN_NodeKit*>& out) {
  Collect(root, &IsClipPlaneKit, false, out);
}

void CGraphOperation::GetAllClipLineKit(SoKRN_NodeKit* root, std::vector<SoKRN_NodeKit*>& out) {
  Collect(root, &IsClipLineKit, false, out);
}

void CGraphOperation::GetAllVisibleClipP(SoKRN_MainDoc* doc, std::vector<SoKRN_NodeKit*>& out) {
  Collect(TopRootNodeKit(ResolveDoc(doc)), &IsClipPlaneKit, true, out);
}

void CGraphOperation::GetAllVisibleClipL(SoKRN_MainDoc* doc, std::vector<SoKRN_NodeKit*>& out) {
  Collect(TopRootNodeKit(ResolveDoc(doc)), &IsClipLineKit, true, out);
}

void CGraphOperation::HeightLightClipPlane(SoKRN_MainDoc* doc, unsigned int id) {
  doc = ResolveDoc(doc);
  if (doc) SelectEntity(doc, id, &IsClipPlaneKit);
}

void CGraphOperation::HeightLightClipLine(SoKRN_MainDoc* doc, unsigned int id) {
  doc = ResolveDoc(doc);
  if (doc) SelectEntity(doc, id, &IsClipLineKit);
}

SoKRN_ModelDisplay* CGraphOperation::GetClipPlaneKit(SoFullPath* path) {
  return static_cast<SoKRN_ModelDisplay*>(LastOfType(path, SoKRN_ModelDisplay::getClassTypeId()));
}

SoKRN_BodyKit* CGraphOperation::GetClipLineKit(SoFullPath* path) {
  for (int i = path ? path->getLength() - 1 : -1; i >= 0; --i) {
    SoNode* n = path->getNode(i);
    if (!n->isOfType(SoKRN_BodyKit::getClassTypeId())) continue;
    // The body's node kit is the nearest node kit above it on the path.
    SoNode* owner = nullptr;
    for (int k = i - 1; k >= 0 && !owner; --k) {
      if (path->getNode(k)->isOfType(SoKRN_NodeKit::getClassTypeId())) owner = path->getNode(k);
    }
    if (owner && static_cast<SoKRN_NodeKit*>(owner)->featureType.getValue() == kClipLineFeature)
      return static_cast<SoKRN_BodyKit*>(n);
  }
  return nullptr;
}

// ---- relations of saved clip planes -----------------------------------------------

namespace {

void AddRelations(SoKRN_ModelDisplay* plane, std::vector<SoKRN_NodeKit*>& kits, int linkedType, SoType pointed) {
  auto* view = plane ? dynamic_cast<Tpx_View*>(plane->getTpxObjCache()) : nullptr;
  SoKRN_NodeKit* planeKit = plane ? plane->getNodeKit() : nullptr;
  if (!view || !planeKit) return;
  for (SoKRN_NodeKit* kit : kits) {
    SoKRN_BaseKit* ent = kit ? kit->getNodeEnt() : nullptr;
    Tpx_Object* data = ent ? ent->getTpxObjCache() : nullptr;
    if (!data) continue;
    auto* connector = new Tpx_NodeConnector(view->GetProtoType(), kViewEntity, linkedType);
    connector->SetLinkNode(data->GetID());
    view->AddNodeConnector(connector);
    planeKit->createNodeConnector(data->GetID(), pointed, "");
  }
}

}  // namespace

void CGraphOperation::AddClipPlaneRelation(SoKRN_ModelDisplay* plane, std::vector<SoKRN_NodeKit*>& kits) {
  AddRelations(plane, kits, kViewEntity, SoKRN_ModelDisplay::getClassTypeId());
}

void CGraphOperation::AddClipLineRelation(SoKRN_ModelDisplay* plane, std::vector<SoKRN_NodeKit*>& kits) {
  AddRelations(plane, kits, kClipLineEntity, SoKRN_BodyKit::getClassTypeId());
}

void CGraphOperation::DelClipPlaneRelation(SoKRN_ModelDisplay* plane) {
  SoKRN_NodeKit* planeKit = plane ? plane->getNodeKit() : nullptr;
  if (!planeKit) return;
  auto* view = dynamic_cast<Tpx_View*>(plane->getTpxObjCache());
  SoKRN_MainDoc* doc = m_pActiveMainDocKit;
  SoKRN_ComponentKit* active = doc ? doc->getActiveComp() : nullptr;
  if (active && active->isInstance()) active = active->getPrototype();
  SoKRN_NodeKit* activeRoot = active ? active->getRootNode() : nullptr;
  for (int i = 0; i < planeKit->getNumNodeConnector();) {
    const SoKRN_NodeKit::Connector* c = planeKit->getNodeConnector(i);
    const uint32_t id = c->getAssocNodeID();
    int linked = 0;
    if (c->getPointedType() == SoKRN_ModelDisplay::getClassTypeId()) {
      linked = kViewEntity;
    } else if (c->getPointedType() == SoKRN_BodyKit::getClassTypeId() && activeRoot) {
      SoKRN_NodeKit* line = activeRoot->getChildNodeKitByID(id);
      if (line && line->featureType.getValue() == kClipLineFeature) linked = kClipLineEntity;
    }
    if (linked == 0) {
      ++i;
      continue;
    }
    planeKit->removeNodeConnector(i);  // the next connector moved to index i
    if (view) view->DelNodeConnector(id, linked);
  }
}

void CGraphOperation::GetVisClipPlanesRelation(std::vector<std::string>& out) {
  std::vector<SoKRN_NodeKit*> planes;
  GetAllVisibleClipP(m_pActiveMainDocKit, planes);
  for (SoKRN_NodeKit* kit : planes) {
    for (int i = 0; i < kit->getNumNodeConnector(); ++i) {
      const std::string& path = kit->getNodeConnector(i)->getPlcPath();
      if (!path.empty() && std::find(out.begin(), out.end(), path) == out.end()) out.push_back(path);
    }
  }
}
