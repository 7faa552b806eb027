#include "host/SoKRN_ComponentKit.h"

#include "host/TpxProductData.h"

#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetMatrixAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>
#include <algorithm>

#include "host/PathKey.h"
#include "host/SoKRN_GetMatrixAction.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/SoKRN_UserTransform.h"
#include "host/SoKRN_WeldKit.h"
#include "host/SoRef.h"

SO_KIT_SOURCE(SoKRN_ComponentKit);

void SoKRN_ComponentKit::initClass() {
  SO_KIT_INIT_CLASS(SoKRN_ComponentKit, SoKRN_DocElementKit, "SoKRN_DocElementKit");
  // The path key counts the instance kits on a path.
  vx::host::SetInstanceIdReader([](const SoNode* node, uint32_t& id) {
    if (!node->isOfType(getClassTypeId())) return false;
    const auto* kit = static_cast<const SoKRN_ComponentKit*>(node);
    if (!kit->isInstance()) return false;
    id = kit->getPLCID();
    return true;
  });
}

SoKRN_ComponentKit::SoKRN_ComponentKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_ComponentKit);

  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, FALSE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(transform, SoTransform, TRUE, topSeparator, userMatrix, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(userMatrix, SoKRN_UserTransform, TRUE, topSeparator, protoGroup, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(protoGroup, SoGroup, TRUE, topSeparator, bodies, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(bodies, SoSeparator, TRUE, topSeparator, childList, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(childList, SoGroup, TRUE, topSeparator, rootNode, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(rootNode, SoKRN_NodeKit, TRUE, topSeparator, welds, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(welds, SoSeparator, TRUE, topSeparator, \x0, FALSE);

  SO_KIT_ADD_FIELD(componentType, (INSTANCE));
  SO_KIT_ADD_FIELD(plcId, (0));
  SO_KIT_DEFINE_ENUM_VALUE(ComponentType, INSTANCE);
  SO_KIT_DEFINE_ENUM_VALUE(ComponentType, PART);
  SO_KIT_DEFINE_ENUM_VALUE(ComponentType, ASSEMBLY);
  SO_KIT_SET_SF_ENUM_TYPE(componentType, ComponentType);

  SO_KIT_INIT_INSTANCE();
}

SoKRN_ComponentKit::~SoKRN_ComponentKit() = default;

Tpx_Object* SoKRN_ComponentKit::getTpxObjCache() const {
  Tpx_Object* held = SoKRN_BaseKit::getTpxObjCache();
  if (held || isInstance()) return held;
  std::wstring name;
  getKRNName(name);
  auto* self = const_cast<SoKRN_ComponentKit*>(this);
  self->setTpxObjCache(new Tpx_ProtoType(name));
  return SoKRN_BaseKit::getTpxObjCache();
}

SoKRN_ComponentKit* SoKRN_ComponentKit::getPrototype() const {
  if (!isInstance()) return nullptr;
  auto* group = static_cast<SoGroup*>(protoGroup.getValue());
  if (!group || group->getNumChildren() < 1) return nullptr;
  SoNode* n = group->getChild(0);
  if (!n->isOfType(SoKRN_ComponentKit::getClassTypeId())) return nullptr;
  return static_cast<SoKRN_ComponentKit*>(n);
}

void SoKRN_ComponentKit::setPrototype(SoKRN_ComponentKit* proto) {
  if (!isInstance()) {
    SoDebugError::post("SoKRN_ComponentKit::setPrototype", "only an instance places a prototype");
    return;
  }
  if (proto && proto->isInstance()) {
    SoDebugError::post("SoKRN_ComponentKit::setPrototype", "an instance cannot be placed");
    return;
  }
  SO_GET_ANY_PART(this, "transform", SoTransform);
  SO_GET_ANY_PART(this, "userMatrix", SoKRN_UserTransform);
  SoGroup* group = SO_GET_ANY_PART(this, "protoGroup", SoGroup);
  const vx::host::SoRef<SoKRN_ComponentKit> keep(proto);  // it may be our only holder already
  group->removeAllChildren();
  if (proto) group->addChild(proto);
}

SoGroup* SoKRN_ComponentKit::getChildGroup(bool create) {
  if (create) return SO_GET_ANY_PART(this, "childList", SoGroup);
  return static_cast<SoGroup*>(childList.getValue());
}

int SoKRN_ComponentKit::getNumEleChildren() const {
  if (isInstance()) {
    const SoKRN_ComponentKit* p = getPrototype();
    return p ? p->getNumEleChildren() : 0;
  }
  auto* group = static_cast<SoGroup*>(childList.getValue());
  return group ? group->getNumChildren() : 0;
}

SoKRN_DocElementKit* SoKRN_ComponentKit::getEleChild(int i) const {
  if (isInstance()) {
    const SoKRN_ComponentKit* p = getPrototype();
    return p ? p->getEleChild(i) : nullptr;
  }
  auto* group = static_cast<SoGroup*>(childList.getValue());
  if (!group || i < 0 || i >= group->getNumChildren()) return nullptr;
  SoNode* n = group->getChild(i);
  if (!n->isOfType(SoKRN_DocElementKit::getClassTypeId())) return nullptr;
  return static_cast<SoKRN_DocElementKit*>(n);
}

void SoKRN_ComponentKit::addEleChild(SoKRN_ComponentKit* instance) {
  if (!instance) return;
  if (isInstance()) {
    SoDebugError::post("SoKRN_ComponentKit::addEleChild", "children go under a prototype");
    return;
  }
  if (!instance->isInstance()) {
    SoDebugError::post("SoKRN_ComponentKit::addEleChild", "only instance kits can be children");
    return;
  }
  SoGroup* group = getChildGroup(true);
  const int before = group->getNumChildren();
  const bool indexed =
      m_plcIndexCount == before && m_plcIndexLast == (before > 0 ? group->getChild(before - 1) : nullptr);
  group->addChild(instance);
  if (indexed) {  // keep the index whole: one more child at the end
    m_plcIndex.emplace(instance->getPLCID(), before);
    m_plcIndexCount = before + 1;
    m_plcIndexLast = instance;
  }
}

int SoKRN_ComponentKit::findChildIndex(uint32_t plcid) const {
  auto* group = static_cast<SoGroup*>(childList.getValue());
  if (!group) return -1;
  const int n = group->getNumChildren();
  auto check = [group, n, plcid](int i) {
    if (i < 0 || i >= n) return false;
    SoNode* c = group->getChild(i);
    return c->isOfType(SoKRN_ComponentKit::getClassTypeId()) && static_cast<SoKRN_ComponentKit*>(c)->isInstance() &&
           static_cast<SoKRN_ComponentKit*>(c)->getPLCID() == plcid;
  };
  auto it = m_plcIndex.find(plcid);
  if (it != m_plcIndex.end() && check(it->second)) return it->second;
  // An index that covers the same children (count and last child) and has
  // no entry for the id: absent. A document build asks this for every new
  // id, so a rebuild per miss would be quadratic in the child count.
  const SoNode* last = n > 0 ? group->getChild(n - 1) : nullptr;
  if (it == m_plcIndex.end() && m_plcIndexCount == n && m_plcIndexLast == last) return -1;
  // Cache stale or missing: rebuild it (children changed since).
  m_plcIndex.clear();
  m_plcIndexCount = n;
  m_plcIndexLast = last;
  int found = -1;
  for (int i = 0; i < n; ++i) {
    SoNode* c = group->getChild(i);
    if (!c->isOfType(SoKRN_ComponentKit::getClassTypeId())) continue;
    auto* k = static_cast<SoKRN_ComponentKit*>(c);
    if (!k->isInstance()) continue;
    m_plcIndex.emplace(k->getPLCID(), i);  // first occurrence wins
    if (found < 0 && k->getPLCID() == plcid) found = i;
  }
  return found;
}

SoKRN_ComponentKit* SoKRN_ComponentKit::findEleChildByPLCID(uint32_t plcid) const {
  if (isInstance()) {
    const SoKRN_ComponentKit* p = getPrototype();
    return p ? p->findEleChildByPLCID(plcid) : nullptr;
  }
  const int i = findChildIndex(plcid);
  if (i < 0) return nullptr;
  return static_cast<SoKRN_ComponentKit*>(static_cast<SoGroup*>(childList.getValue())->getChild(i));
}

bool SoKRN_ComponentKit::removeInsChildViaPLCID(uint32_t plcid) {
  if (isInstance()) return false;
  const int i = findChildIndex(plcid);
  if (i < 0) return false;
  static_cast<SoGroup*>(childList.getValue())->removeChild(i);
  m_plcIndex.clear();
  m_plcIndexCount = -1;
  return true;
}

uint32_t SoKRN_ComponentKit::nextPlcId() const {
  if (isInstance()) {
    const SoKRN_ComponentKit* p = getPrototype();
    return p ? p->nextPlcId() : 0;
  }
  auto* group = static_cast<SoGroup*>(childList.getValue());
  const int n = group ? group->getNumChildren() : 0;
  auto idOf = [group](int i) -> uint32_t {
    SoNode* c = group->getChild(i);
    return c->isOfType(SoKRN_ComponentKit::getClassTypeId()) ? static_cast<SoKRN_ComponentKit*>(c)->getPLCID() + 1 : 0;
  };
  // Children are appended one at a time while a document is built: the
  // answer of the last call stays good while its children are still there
  // (same count, same last child), and one appended child only adds its id.
  const SoNode* last = n > 0 ? group->getChild(n - 1) : nullptr;
  if (m_nextCount == n && m_nextLast == last) return m_next;
  if (n > 0 && m_nextCount == n - 1 && m_nextLast == (n > 1 ? group->getChild(n - 2) : nullptr)) {
    m_next = std::max(m_next, idOf(n - 1));
  } else {
    m_next = 0;
    for (int i = 0; i < n; ++i) m_next = std::max(m_next, idOf(i));
  }
  m_nextCount = n;
  m_nextLast = last;
  return m_next;
}

SoGroup* SoKRN_ComponentKit::getBodies() { return SO_GET_ANY_PART(this, "bodies", SoSeparator); }

SoGroup* SoKRN_ComponentKit::getBodiesIfAny() const { return static_cast<SoGroup*>(bodies.getValue()); }

namespace {

// Appends the kit-internal chain parent -> a -> b -> c (each a child of the
// one before, in the getChildren sense) to `path`.
bool AppendChain(SoPath& path, SoNode* parent, SoNode* const* chain, int n) {
  int indices[3];
  for (int k = 0; k < n; ++k) {
    SoChildList* children = parent ? parent->getChildren() : nullptr;
    const int i = (children && chain[k]) ? children->find(chain[k]) : -1;
    if (i < 0) return false;
    indices[k] = i;
    parent = chain[k];
  }
  for (int k = 0; k < n; ++k) path.append(indices[k]);
  return true;
}

}  // namespace

bool SoKRN_ComponentKit::appendPrototypeToPath(SoPath& path) const {
  SoNode* chain[3] = {topSeparator.getValue(), protoGroup.getValue(), getPrototype()};
  return isInstance() && AppendChain(path, const_cast<SoKRN_ComponentKit*>(this), chain, 3);
}

bool SoKRN_ComponentKit::appendChildToPath(SoPath& path, const SoKRN_ComponentKit* child) const {
  SoNode* chain[3] = {topSeparator.getValue(), childList.getValue(), const_cast<SoKRN_ComponentKit*>(child)};
  return !isInstance() && AppendChain(path, const_cast<SoKRN_ComponentKit*>(this), chain, 3);
}

SoKRN_NodeKit* SoKRN_ComponentKit::getRootNode() {
  auto* root = SO_GET_ANY_PART(this, "rootNode", SoKRN_NodeKit);
  // The node tree belongs to the component's document.
  if (root && !root->getKRNState()) root->setKRNState(getKRNState());
  return root;
}

int SoKRN_ComponentKit::getNumWeld() const {
  auto* group = static_cast<SoGroup*>(welds.getValue());
  return group ? group->getNumChildren() : 0;
}

SoKRN_WeldKit* SoKRN_ComponentKit::getWeldByIndex(int i) const {
  auto* group = static_cast<SoGroup*>(welds.getValue());
  if (!group || i < 0 || i >= group->getNumChildren()) return nullptr;
  SoNode* n = group->getChild(i);
  return n->isOfType(SoKRN_WeldKit::getClassTypeId()) ? static_cast<SoKRN_WeldKit*>(n) : nullptr;
}

void SoKRN_ComponentKit::addWeld(SoKRN_WeldKit* weld) {
  if (!weld || isInstance()) return;
  SO_GET_ANY_PART(this, "welds", SoSeparator)->addChild(weld);
  weld->setKRNState(getKRNState());
}

SoTransform* SoKRN_ComponentKit::getTrans(bool create) {
  if (create) return SO_GET_ANY_PART(this, "transform", SoTransform);
  return static_cast<SoTransform*>(transform.getValue());
}

SoKRN_ComponentKit::Visibility SoKRN_ComponentKit::visibilityOn(const SoPath* path) const {
  const SoKRN_State* state = getKRNState();
  if (!state || !state->hasHiddenPaths()) return Visibility::Shown;
  const std::string key = vx::host::InstanceChainKey(path);
  if (state->getVisibleByKey(key) != 0) return Visibility::Shown;
  return state->hasVisibleBelow(key) ? Visibility::HiddenButChildrenShown : Visibility::Hidden;
}

// A hidden prototype whose children are shown again traverses its child
// instances only: its own bodies stay hidden. (A prototype carries no
// transform, so nothing else of its state is missed.)
template <class Action>
static void traverseChildListOnly(SoKRN_ComponentKit* kit, SoNode* top, SoNode* children, Action* action,
                                  void (SoNode::*method)(Action*)) {
  auto* sep = static_cast<SoGroup*>(top);
  const int index = sep ? sep->findChild(children) : -1;
  if (index < 0) return;
  action->getState()->push();
  action->pushCurPath(kit->getChildren()->find(top), top);
  action->pushCurPath(index, children);
  (children->*method)(action);
  action->popCurPath();
  action->popCurPath();
  action->getState()->pop();
}

void SoKRN_ComponentKit::GLRender(SoGLRenderAction* action) {
  // Visibility lives in the document state, which no render cache tracks:
  // no separator above a component may cache.
  SoCacheElement::invalidate(action->getState());
  switch (visibilityOn(action->getCurPath())) {
    case Visibility::Hidden:
      return;
    case Visibility::HiddenButChildrenShown:
      if (!isInstance()) {
        traverseChildListOnly<SoGLRenderAction>(this, topSeparator.getValue(), childList.getValue(), action,
                                                &SoNode::GLRender);
        return;
      }
      break;
    case Visibility::Shown:
      break;
  }
  SoKRN_State* state = getKRNState();
  SoKRN_State::InsLook look;
  if (!isInstance() || !state || !state->hasInsLooks() || !state->getInsLook(action->getCurPath(), look)) {
    SoKRN_DocElementKit::GLRender(action);
    return;
  }
  // A material made for this traversal: Coin's lazy elements tell materials
  // apart by node id, so one node shared by occurrences of different looks
  // could leave the previous colour in place.
  const vx::host::SoRef<SoMaterial> material(new SoMaterial);
  for (SoField* f : {static_cast<SoField*>(&material->ambientColor), static_cast<SoField*>(&material->diffuseColor),
                     static_cast<SoField*>(&material->specularColor), static_cast<SoField*>(&material->emissiveColor),
                     static_cast<SoField*>(&material->shininess), static_cast<SoField*>(&material->transparency)})
    f->setIgnored(TRUE);
  if (look.hasColor) {
    material->diffuseColor.setValue(look.color);
    material->diffuseColor.setIgnored(FALSE);
  }
  if (look.hasTransparency) {
    material->transparency.setValue(look.transparency);
    material->transparency.setIgnored(FALSE);
  }
  material->setOverride(TRUE);
  action->getState()->push();
  material->GLRender(action);
  SoKRN_DocElementKit::GLRender(action);
  action->getState()->pop();
}

void SoKRN_ComponentKit::rayPick(SoRayPickAction* action) {
  switch (visibilityOn(action->getCurPath())) {
    case Visibility::Hidden:
      return;
    case Visibility::HiddenButChildrenShown:
      if (!isInstance()) {
        traverseChildListOnly<SoRayPickAction>(this, topSeparator.getValue(), childList.getValue(), action,
                                               &SoNode::rayPick);
        return;
      }
      break;
    case Visibility::Shown:
      break;
  }
  SoKRN_DocElementKit::rayPick(action);
}

void SoKRN_ComponentKit::getMatrix(SoGetMatrixAction* action) {
  int numIndices = 0;
  const int* indices = nullptr;
  const SoAction::PathCode code = action->getPathCode(numIndices, indices);
  if (code == SoAction::IN_PATH) {
    SoKRN_DocElementKit::getMatrix(action);
    return;
  }
  if (code != SoAction::BELOW_PATH || !isInstance()) return;
  // The path ends at this instance: its own placement counts, then the user
  // matrix when the action asks for it.
  if (auto* t = static_cast<SoTransform*>(transform.getValue())) t->getMatrix(action);
  if (!action->isOfType(SoKRN_GetMatrixAction::getClassTypeId()) ||
      !static_cast<SoKRN_GetMatrixAction*>(action)->getWithUserMatrixFlg())
    return;
  SbMatrix u;
  if (!SoKRN_UserTransform::lookUp(action->getCurPath(), this, u)) return;
  action->getMatrix().multLeft(u);
  action->getInverse().multRight(u.inverse());
}

SbBool SoKRN_ComponentKit::readInstance(SoInput* in, unsigned short flags) {
  const SbBool ok = SoKRN_DocElementKit::readInstance(in, flags);
  // The user-matrix part is never written; instances get it back here.
  if (ok && isInstance() && !userMatrix.getValue()) SO_GET_ANY_PART(this, "userMatrix", SoKRN_UserTransform);
  m_plcIndex.clear();
  m_plcIndexCount = -1;
  return ok;
}

void SoKRN_ComponentKit::setDefaultOnNonWritingFields() {
  SoKRN_DocElementKit::setDefaultOnNonWritingFields();
  userMatrix.setDefault(TRUE);
}
