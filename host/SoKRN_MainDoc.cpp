#include "host/SoKRN_MainDoc.h"

#include <Inventor/actions/SoSearchAction.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSeparator.h>
#include <algorithm>
#include <unordered_set>
#include <vector>

#include "host/PathKey.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_InfoKit.h"
#include "host/SoKRN_State.h"

SO_KIT_SOURCE(SoKRN_MainDoc);

namespace {

// Calls fn on every host kit below `root` (root included), each node once.
// Walks child lists directly: no action, so no ref/unref of the nodes (safe
// from a destructor).
template <class Fn>
void ForEachKit(SoNode* root, Fn fn) {
  std::unordered_set<SoNode*> seen;
  std::vector<SoNode*> stack{root};
  while (!stack.empty()) {
    SoNode* n = stack.back();
    stack.pop_back();
    if (!n || !seen.insert(n).second) continue;
    if (n->isOfType(SoKRN_BaseKit::getClassTypeId())) fn(static_cast<SoKRN_BaseKit*>(n));
    if (SoChildList* children = n->getChildren()) {
      for (int i = 0; i < children->getLength(); ++i) stack.push_back((*children)[i]);
    }
  }
}

}  // namespace

void SoKRN_MainDoc::initClass() { SO_KIT_INIT_CLASS(SoKRN_MainDoc, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_MainDoc::SoKRN_MainDoc() {
  SO_KIT_CONSTRUCTOR(SoKRN_MainDoc);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, FALSE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(modelSeparator, SoSeparator, FALSE, topSeparator, tmpChildren, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(info, SoKRN_InfoKit, FALSE, modelSeparator, clipPlanes, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(clipPlanes, SoGroup, FALSE, modelSeparator, selection, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(selection, SoSelection, FALSE, modelSeparator, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(topPrototype, SoKRN_ComponentKit, FALSE, selection, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(tmpChildren, SoGroup, FALSE, topSeparator, \x0, FALSE);
  SO_KIT_INIT_INSTANCE();

  m_pOwnState = std::make_unique<SoKRN_State>(this);
  setKRNState(m_pOwnState.get());
  SoKRN_ComponentKit* root = getTopPrototype();
  root->componentType.setValue(SoKRN_ComponentKit::ASSEMBLY);
  root->setKRNName(L"Root");
  root->elementId.setValue(newElementId());
  adoptTree();
}

SoKRN_MainDoc::~SoKRN_MainDoc() {
  m_selection.truncate(0);
  m_pActiveComp.reset();
  // Kits may outlive the document (someone else holds them): they must not
  // keep a pointer to the state that dies here.
  SoKRN_State* state = m_pOwnState.get();
  ForEachKit(this, [state](SoKRN_BaseKit* k) {
    if (k->getKRNState() == state) k->setKRNState(nullptr);
  });
  m_pOwnState.reset();
}

SbBool SoKRN_MainDoc::readInstance(SoInput* in, unsigned short flags) {
  const SbBool ok = SoKRN_BaseKit::readInstance(in, flags);
  if (ok) adoptTree();
  return ok;
}

SoKRN_ComponentKit* SoKRN_MainDoc::getTopPrototype() const {
  SoNode* n = topPrototype.getValue();
  if (!n || !n->isOfType(SoKRN_ComponentKit::getClassTypeId())) return nullptr;
  return static_cast<SoKRN_ComponentKit*>(n);
}

void SoKRN_MainDoc::setTopPrototype(SoKRN_ComponentKit* proto) {
  if (!proto || proto->isInstance()) {
    SoDebugError::post("SoKRN_MainDoc::setTopPrototype", "the top component must be a prototype kit");
    return;
  }
  setActiveComp(nullptr);
  setAnyPart("topPrototype", proto);
  adoptTree();
}

SoKRN_ComponentKit* SoKRN_MainDoc::getActiveComp() const {
  return m_pActiveComp ? m_pActiveComp.get() : getTopPrototype();
}

void SoKRN_MainDoc::setActiveComp(SoKRN_ComponentKit* comp) { m_pActiveComp.reset(comp); }

void SoKRN_MainDoc::adoptTree() {
  SoKRN_State* state = m_pOwnState.get();
  uint32_t maxId = 0;
  ForEachKit(this, [state, &maxId](SoKRN_BaseKit* k) {
    k->setKRNState(state);
    if (k->isOfType(SoKRN_DocElementKit::getClassTypeId()))
      maxId = std::max(maxId, static_cast<SoKRN_DocElementKit*>(k)->getID());
  });
  if (maxId >= m_nextElementId) m_nextElementId = maxId + 1;
}

uint32_t SoKRN_MainDoc::newElementId() { return m_nextElementId++; }

void SoKRN_MainDoc::select(SoPath* path) {
  if (!path) return;
  m_selection.append(path);
  touch();
}

void SoKRN_MainDoc::selectNode(SoNode* node) {
  if (!node) return;
  SoSearchAction search;
  search.setNode(node);
  search.setInterest(SoSearchAction::FIRST);
  search.apply(this);
  if (SoPath* found = search.getPath()) select(found->copy());
}

void SoKRN_MainDoc::deselect(const SoPath* path) {
  for (int i = m_selection.getLength() - 1; i >= 0; --i) {
    if (vx::host::IsPathEqual(m_selection[i], path)) {
      m_selection.remove(i);
      touch();
      return;
    }
  }
}

void SoKRN_MainDoc::deselect(SoNode* tail) {
  bool changed = false;
  for (int i = m_selection.getLength() - 1; i >= 0; --i) {
    const auto* p = static_cast<const SoFullPath*>(m_selection[i]);
    if (p->getLength() > 0 && p->getTail() == tail) {
      m_selection.remove(i);
      changed = true;
    }
  }
  if (changed) touch();
}

void SoKRN_MainDoc::deselectAll(SbBool notify) {
  const bool had = m_selection.getLength() > 0;
  m_selection.truncate(0);
  if (had && notify) touch();
}

int SoKRN_MainDoc::getNumSelected() const { return m_selection.getLength(); }

SoPath* SoKRN_MainDoc::getPath(int i) const {
  if (i < 0 || i >= m_selection.getLength()) return nullptr;
  return m_selection[i];
}

const SoPathList& SoKRN_MainDoc::getList() const { return m_selection; }

void SoKRN_MainDoc::addTmpChild(SoNode* node) {
  if (!node) return;
  SO_GET_ANY_PART(this, "tmpChildren", SoGroup)->addChild(node);
}

void SoKRN_MainDoc::removeTempChild(SoNode* node) {
  auto* group = static_cast<SoGroup*>(tmpChildren.getValue());
  if (!group || !node) return;
  const int i = group->findChild(node);
  if (i >= 0) group->removeChild(i);
}

int SoKRN_MainDoc::getNumTempChildren() const {
  auto* group = static_cast<SoGroup*>(tmpChildren.getValue());
  return group ? group->getNumChildren() : 0;
}

SoNode* SoKRN_MainDoc::getTmpChildByIndex(int i) const {
  auto* group = static_cast<SoGroup*>(tmpChildren.getValue());
  if (!group || i < 0 || i >= group->getNumChildren()) return nullptr;
  return group->getChild(i);
}

SoGroup* SoKRN_MainDoc::getClipPlaneChildren() { return SO_GET_ANY_PART(this, "clipPlanes", SoGroup); }

SoKRN_InfoKit* SoKRN_MainDoc::getKRN_Info() { return SO_GET_ANY_PART(this, "info", SoKRN_InfoKit); }

SoSelection* SoKRN_MainDoc::getSelectionNode() { return SO_GET_ANY_PART(this, "selection", SoSelection); }

void SoKRN_MainDoc::appendPathToTopPrototype(SoPath& out) const {
  if (static_cast<SoFullPath&>(out).getLength() == 0) {
    out.setHead(const_cast<SoKRN_MainDoc*>(this));
  } else {
    out.append(const_cast<SoKRN_MainDoc*>(this));
  }
  // Each part is a child of the part before it; find indices directly.
  SoNode* chain[4] = {topSeparator.getValue(), modelSeparator.getValue(), selection.getValue(),
                      topPrototype.getValue()};
  SoNode* parent = const_cast<SoKRN_MainDoc*>(this);
  for (SoNode* n : chain) {
    SoChildList* children = parent->getChildren();
    const int i = (n && children) ? children->find(n) : -1;
    if (i < 0) {
      out.truncate(0);
      return;
    }
    out.append(i);
    parent = n;
  }
}
