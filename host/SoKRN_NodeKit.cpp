#include "host/SoKRN_NodeKit.h"

#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoKRN_NodeKit);

void SoKRN_NodeKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_NodeKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_NodeKit::SoKRN_NodeKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_NodeKit);
  SO_KIT_ADD_CATALOG_ENTRY(childList, SoSeparator, TRUE, this, \x0, FALSE);
  SO_KIT_ADD_FIELD(dataType, (0));
  SO_KIT_ADD_FIELD(nodeId, (0));
  SO_KIT_INIT_INSTANCE();
}

SoKRN_NodeKit::~SoKRN_NodeKit() = default;

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
