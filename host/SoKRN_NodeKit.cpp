#include "host/SoKRN_NodeKit.h"

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>

#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/TpxProductData.h"

SO_KIT_SOURCE(SoKRN_NodeKit);

void SoKRN_NodeKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_NodeKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_NodeKit::SoKRN_NodeKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_NodeKit);
  SO_KIT_ADD_CATALOG_ABSTRACT_ENTRY(entity, SoKRN_BaseKit, SoKRN_BaseKit, TRUE, this, feature, TRUE);
  SO_KIT_ADD_CATALOG_ABSTRACT_ENTRY(feature, SoKRN_BaseKit, SoKRN_BaseKit, TRUE, this, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(childList, SoSeparator, TRUE, this, \x0, FALSE);
  SO_KIT_ADD_FIELD(dataType, (0));
  SO_KIT_ADD_FIELD(featureType, (0));
  SO_KIT_ADD_FIELD(nodeId, (0));
  SO_KIT_ADD_FIELD(visible, (TRUE));
  SO_KIT_INIT_INSTANCE();
}

SoKRN_NodeKit::~SoKRN_NodeKit() = default;

void SoKRN_NodeKit::setVisibility(bool on, bool notify) {
  if (isVisible() == on) return;
  if (!notify) enableNotify(FALSE);
  visible.setValue(on);
  if (!notify) enableNotify(TRUE);
}

void SoKRN_NodeKit::GLRender(SoGLRenderAction* action) {
  if (isVisible()) SoKRN_BaseKit::GLRender(action);
}

void SoKRN_NodeKit::rayPick(SoRayPickAction* action) {
  if (isVisible()) SoKRN_BaseKit::rayPick(action);
}

int SoKRN_NodeKit::getNumChildren() const {
  auto* group = static_cast<SoGroup*>(childList.getValue());
  return group ? group->getNumChildren() : 0;
}

SoKRN_NodeKit* SoKRN_NodeKit::getChild(int i) const {
  auto* group = static_cast<SoGroup*>(childList.getValue());
  if (!group || i < 0 || i >= group->getNumChildren()) return nullptr;
  SoNode* n = group->getChild(i);
  return n->isOfType(SoKRN_NodeKit::getClassTypeId()) ? static_cast<SoKRN_NodeKit*>(n) : nullptr;
}

void SoKRN_NodeKit::addChild(SoKRN_NodeKit* child) {
  if (!child || child == this) return;
  SO_GET_ANY_PART(this, "childList", SoSeparator)->addChild(child);
  child->setKRNState(getKRNState());
  if (SoKRN_BaseKit* ent = child->getNodeEnt()) ent->setKRNState(getKRNState());
}

SoKRN_NodeKit* SoKRN_NodeKit::getChildNodeKitByID(uint32_t id) const {
  for (int i = 0; i < getNumChildren(); ++i) {
    SoKRN_NodeKit* c = getChild(i);
    if (c && c->getID() == id) return c;
  }
  return nullptr;
}

bool SoKRN_NodeKit::removeChildNodeKitByID(uint32_t id, SbBool notify) {
  auto* group = static_cast<SoGroup*>(childList.getValue());
  if (!group) return false;
  for (int i = 0; i < group->getNumChildren(); ++i) {
    SoKRN_NodeKit* c = getChild(i);
    if (c && c->getID() == id) {
      if (!notify) group->enableNotify(FALSE);
      group->removeChild(i);
      if (!notify) group->enableNotify(TRUE);
      return true;
    }
  }
  return false;
}

SoKRN_BaseKit* SoKRN_NodeKit::getNodeEnt() const { return static_cast<SoKRN_BaseKit*>(entity.getValue()); }

SoKRN_BaseKit* SoKRN_NodeKit::getNodeFeat() const { return static_cast<SoKRN_BaseKit*>(feature.getValue()); }

void SoKRN_NodeKit::setNodeFeat(SoKRN_BaseKit* feat) {
  setPart("feature", feat);
  if (feat) {
    feat->setKRNState(getKRNState());
    feat->setNodeKit(this);
  }
}

void SoKRN_NodeKit::createNodeConnector(uint32_t assocNodeId, SoType pointedType, const std::string& plcPath) {
  Connector c;
  c.assocNodeId = assocNodeId;
  c.pointedType = pointedType;
  c.plcPath = plcPath;
  m_connectors.push_back(c);
}

const SoKRN_NodeKit::Connector* SoKRN_NodeKit::getNodeConnector(int i) const {
  return i >= 0 && i < getNumNodeConnector() ? &m_connectors[static_cast<std::size_t>(i)] : nullptr;
}

void SoKRN_NodeKit::removeNodeConnector(int i) {
  if (i >= 0 && i < getNumNodeConnector()) m_connectors.erase(m_connectors.begin() + i);
}

void SoKRN_NodeKit::setNodeEnt(SoKRN_BaseKit* ent) {
  setPart("entity", ent);
  if (ent) {
    ent->setKRNState(getKRNState());
    ent->setNodeKit(this);
  }
}

SoKRN_NodeKit* SoKRN_NodeKit::createNode(int type, SoKRN_NodeKit* parent, Tpx_Node* node, int) {
  if (!parent) return nullptr;
  uint32_t freeId = 1;
  bool taken = false;
  const uint32_t wanted = node ? node->GetID() : 0;
  for (int i = 0; i < parent->getNumChildren(); ++i) {
    if (SoKRN_NodeKit* c = parent->getChild(i)) {
      freeId = std::max(freeId, c->getID() + 1);
      taken = taken || c->getID() == wanted;
    }
  }
  auto* kit = new SoKRN_NodeKit;
  kit->dataType = type;
  kit->nodeId = wanted != 0 && !taken ? wanted : freeId;
  SoKRN_BaseKit* ent = nullptr;
  if (type == MODEL_DISPLAY) ent = new SoKRN_ModelDisplay;
  if (type == ANNOTATION) ent = new SoKRN_FdtKit;
  if (ent) {
    kit->setNodeEnt(ent);
    if (node && node->GetOwner()) ent->setTpxObjCache(node->GetOwner());
  }
  parent->addChild(kit);
  return kit;
}
