// Display attributes of instances and their annotations: visibility per
// occurrence (document state), colour and transparency overrides (component
// kits, annotation materials), deletion and isolation of the selection.
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoMaterial.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "graphops/CGraphOperation.h"
#include "graphops/GraphPathUtil.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/SoRef.h"
#include "platform/Platform.h"

using namespace vx::graph;

namespace {

// What a type selector asks for.
enum class Target { Instance, Annotation, Nothing };

Target ParseSelector(const char* typeName, unsigned int& id) {
  id = 0;
  if (!typeName || !*typeName) return Target::Instance;
  if (!std::strstr(typeName, "PMI")) return Target::Nothing;
  // The fourth character separates; the id starts at the fifth.
  if (std::strlen(typeName) > 4) id = static_cast<unsigned int>(std::strtoul(typeName + 4, nullptr, 16));
  return Target::Annotation;
}

using vx::host::SoRef;

SoFullPath* Full(SoPath* path) { return static_cast<SoFullPath*>(path); }

// The default material of an annotation that has none.
SoMaterial* DefaultAnnotationMaterial() {
  auto* m = new SoMaterial;
  m->ambientColor.setValue(0.1f, 0.1f, 0.1f);
  m->specularColor.setValue(0.7f, 0.7f, 0.7f);
  m->emissiveColor.setValue(0.1f, 0.1f, 0.1f);
  m->shininess.setValue(0.2f);
  m->transparency.setValue(0.0f);
  return m;
}

void ColorAnnotation(SoKRN_FdtKit* fdt, const SbVec3f& color) {
  SoRef<SoMaterial> m(fdt->getMaterial());
  if (!m) m.reset(DefaultAnnotationMaterial());
  m->diffuseColor.setValue(color);
  m->setOverride(TRUE);
  fdt->setMaterial(m);
}

// The overrides of one occurrence (kept by the document state).
void ColorInstance(SoKRN_MainDoc* doc, const SoPath* path, const SbVec3f& color) {
  SoKRN_State* state = doc->getKRNState();
  if (!state) return;
  if (color[0] >= 0 && color[1] >= 0 && color[2] >= 0) {
    state->setInsColor(path, SbColor(color[0], color[1], color[2]), TRUE);
  } else {
    state->removeColor(path, TRUE);
  }
}

void TransparentInstance(SoKRN_MainDoc* doc, const SoPath* path, float transparency) {
  SoKRN_State* state = doc->getKRNState();
  if (!state) return;
  if (transparency >= 0) {
    state->setInsTransparency(path, transparency, TRUE);
  } else {
    state->removeInsTransparency(path, TRUE);
  }
}

// The path a relative placement path names from the document, or null when
// it does not end on a component kit.
SoRef<SoPath> ComponentPath(SoKRN_MainDoc* doc, const std::string& relativePlcPath) {
  SoRef<SoPath> path(new SoPath(8));
  OmbrelTools::StrPathToSoPath(doc, relativePlcPath, *path);
  return AsComponentKit(FullTail(path)) ? path : SoRef<SoPath>();
}

// What the colour and transparency setters share: a type selector picks an
// annotation of the kit at the path's tail (of the active component without
// a path: onAnnotation(kit, id)), or the occurrence itself when the tail is a
// component kit.
template <class OnAnnotation, class OnInstance>
void ApplyToSelector(SoKRN_MainDoc* doc, const SoFullPath* path, const char* typeName, OnAnnotation onAnnotation,
                     OnInstance onInstance) {
  unsigned int id = 0;
  const Target target = ParseSelector(typeName, id);
  if (target == Target::Annotation) {
    SoKRN_ComponentKit* kit = path ? AsComponentKit(FullTail(path)) : doc->getActiveComp();
    onAnnotation(kit, id);
  } else if (target == Target::Instance && AsComponentKit(FullTail(path))) {
    onInstance();
  }
}

}  // namespace

void CGraphOperation::StoreVisibility(SoKRN_State* state, const SoPath* path, int visible) {
  const int v = state->getDocEleVisible(path);
  if (visible != (v == -1 ? 1 : 0)) state->setDocEleVisible(path, visible == 1 ? -1 : 0, TRUE);
}

SoKRN_NodeKit* CGraphOperation::RootNodeKitOf(SoKRN_ComponentKit* comp) {
  if (!comp) return nullptr;
  if (comp->isInstance()) comp = comp->getPrototype();
  return comp ? comp->getRootNode() : nullptr;
}

SoKRN_FdtKit* CGraphOperation::AnnotationOf(SoKRN_ComponentKit* comp, unsigned int id) {
  SoKRN_NodeKit* root = RootNodeKitOf(comp);
  SoKRN_NodeKit* kit = root ? root->getChildNodeKitByID(id) : nullptr;
  SoKRN_BaseKit* ent = kit ? kit->getNodeEnt() : nullptr;
  return ent && ent->isOfType(SoKRN_FdtKit::getClassTypeId()) ? static_cast<SoKRN_FdtKit*>(ent) : nullptr;
}

void CGraphOperation::SetVisibilityByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const char* typeName,
                                             int visible) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  unsigned int id = 0;
  switch (ParseSelector(typeName, id)) {
    case Target::Nothing:
      return;
    case Target::Annotation:
      SetPMIVisibility(doc, plcPath, id, visible);
      return;
    case Target::Instance:
      break;
  }
  SoRef<SoPath> path(new SoPath(8));
  OmbrelTools::StrPathToSoPath(doc->getTopPrototype(), ToRelativePlcPath(plcPath), *path);
  if (Full(path)->getLength() > 0 && doc->getKRNState())
    doc->getKRNState()->setDocEleVisible(path, visible != 0 ? -1 : 0, TRUE);
}

void CGraphOperation::SetVisibilityBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const char* typeName,
                                            int visible) {
  doc = ResolveDoc(doc);
  if (!doc || !path) return;
  unsigned int id = 0;
  switch (ParseSelector(typeName, id)) {
    case Target::Nothing:
      return;
    case Target::Annotation:
      SetPMIVisibility(doc, path, id, visible);
      return;
    case Target::Instance:
      break;
  }
  if (doc->getKRNState()) doc->getKRNState()->setDocEleVisible(path, visible != 0 ? -1 : 0, TRUE);
}

void CGraphOperation::SetTransparencyByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const char* typeName,
                                               float transparency) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  if (SoRef<SoPath> path = ComponentPath(doc, ToRelativePlcPath(plcPath)))
    SetTransparencyBySoPath(doc, Full(path), typeName, transparency);
}

void CGraphOperation::SetTransparencyBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const char* typeName,
                                              float transparency) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  ApplyToSelector(
      doc, path, typeName,
      [&](SoKRN_ComponentKit* kit, unsigned int id) {
        if (SoKRN_FdtKit* fdt = AnnotationOf(kit, id)) fdt->setTransparency(transparency);
      },
      [&] { TransparentInstance(doc, path, transparency); });
}

void CGraphOperation::SetColorByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const char* typeName, SbVec3f color) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  if (SoRef<SoPath> path = ComponentPath(doc, ToRelativePlcPath(plcPath)))
    SetColorBySoPath(doc, Full(path), typeName, color);
}

void CGraphOperation::SetColorBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const char* typeName,
                                       SbVec3f color) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  ApplyToSelector(
      doc, path, typeName,
      [&](SoKRN_ComponentKit* kit, unsigned int id) {
        if (SoKRN_FdtKit* fdt = AnnotationOf(kit, id)) ColorAnnotation(fdt, color);
      },
      [&] { ColorInstance(doc, path, color); });
}

void CGraphOperation::SetColorBySoPath(SoKRN_MainDoc* doc, SoFullPath* path, SbColor color) {
  doc = ResolveDoc(doc);
  if (doc && AsComponentKit(FullTail(path))) ColorInstance(doc, path, color);
}

void CGraphOperation::SetTransBySoPath(SoKRN_MainDoc* doc, SoFullPath* path, float transparency) {
  doc = ResolveDoc(doc);
  SoNode* tail = FullTail(path);
  if (!doc || !tail) return;
  if (tail->isOfType(SoKRN_FdtKit::getClassTypeId())) {
    static_cast<SoKRN_FdtKit*>(tail)->setTransparency(transparency);
  } else if (AsComponentKit(tail)) {
    TransparentInstance(doc, path, transparency);
  }
}

void CGraphOperation::SetSelectedInsTrans(SoKRN_MainDoc* doc, float transparency) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  for (int i = 0; i < doc->getNumSelected(); ++i)
    SetTransBySoPath(doc, static_cast<SoFullPath*>(doc->getPath(i)), transparency);
}

void CGraphOperation::SetSelectedInsColor(SoKRN_MainDoc* doc, unsigned long* color) {
  doc = ResolveDoc(doc);
  if (!doc || !color || doc->getNumSelected() == 0) return;
  const unsigned long c = *color;
  const SbColor rgb((c & 0xff) / 255.0f, ((c >> 8) & 0xff) / 255.0f, ((c >> 16) & 0xff) / 255.0f);
  for (int i = 0; i < doc->getNumSelected(); ++i) {
    if (AsComponentKit(FullTail(doc->getPath(i)))) ColorInstance(doc, doc->getPath(i), rgb);
  }
}

void CGraphOperation::DelSelectedIns(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  if (!doc || doc->getNumSelected() == 0) return;
  const std::wstring question = L"\u662f\u5426\u8981\u5220\u9664\u9009\u4e2d\u88c5\u914d?";
  if (vx::platform::ShowMessage(question, vx::platform::MessageKind::YesNoQuestion) != vx::platform::MessageAnswer::Yes)
    return;
  // Deleting an instance does not take its path out of the selection, so
  // the count is read again each time but the index still moves on.
  for (int i = 0; i < doc->getNumSelected(); ++i) {
    SoPath* path = doc->getPath(i);
    if (!AsComponentKit(FullTail(path))) continue;
    std::string text;
    GetNodePlcPath(path, text, false);
    DelInsByPlcPath(doc, &text[0]);
  }
}

void CGraphOperation::DelInsByPlcPath(SoKRN_MainDoc* doc, char* plcPath) {
  doc = ResolveDoc(doc);
  if (!doc || !plcPath) return;
  const std::string text(plcPath);
  const std::size_t bar = text.rfind('|');
  SoKRN_ComponentKit* parent = nullptr;
  unsigned long id = 0;
  if (bar != std::string::npos && bar > 0) {
    parent = GetChildByPath(doc, text.substr(0, bar));
    id = std::strtoul(text.c_str() + bar + 1, nullptr, 16);
  } else {
    parent = doc->getActiveComp();
    id = std::strtoul(text.c_str(), nullptr, 16);
  }
  if (parent && parent->isInstance()) parent = parent->getPrototype();
  if (parent) parent->removeInsChildViaPLCID(static_cast<uint32_t>(id));
}

void CGraphOperation::SetVisibilityBySoPath(SoKRN_MainDoc* doc, SoFullPath* path, int visible) {
  doc = ResolveDoc(doc);
  if (!doc || !path || !doc->getKRNState()) return;
  StoreVisibility(doc->getKRNState(), path, visible);
  SoKRN_ComponentKit* tail = AsComponentKit(FullTail(path));
  if (!tail) return;
  SoKRN_ComponentKit* proto = tail->isInstance() ? tail->getPrototype() : tail;
  if (!proto) return;
  for (int i = 0; i < proto->getNumEleChildren(); ++i) {
    SoNode* child = proto->getEleChild(i);
    if (!child) continue;
    SoSearchAction search;
    search.setNode(child);
    search.setType(SoKRN_ComponentKit::getClassTypeId(), TRUE);
    search.setInterest(SoSearchAction::FIRST);
    search.apply(tail);
    const auto* found = static_cast<const SoFullPath*>(search.getPath());
    if (!found) continue;
    SoRef<SoPath> sub(new SoPath(path->getLength() + found->getLength()));
    sub->append(path);
    sub->append(found);
    SetVisibilityBySoPath(doc, Full(sub), visible);
  }
}

void CGraphOperation::SetParentVisibility(SoKRN_MainDoc* doc, SoFullPath* path, int visible) {
  doc = ResolveDoc(doc);
  if (!doc || !path || !doc->getKRNState()) return;
  for (int i = path->getLength() - 2; i >= 1; --i) {
    if (!AsInstanceKit(path->getNode(i))) continue;
    SoRef<SoPath> prefix(path->copy(0, i + 1));
    StoreVisibility(doc->getKRNState(), prefix, 1);
    SetParentVisibility(doc, Full(prefix), visible);
  }
}

void CGraphOperation::SetInsVisibility(SoKRN_MainDoc* doc, int visible) {
  doc = ResolveDoc(doc);
  if (!doc || !doc->getKRNState()) return;
  SoKRN_State* state = doc->getKRNState();
  SoSearchAction search;
  search.setType(SoKRN_ComponentKit::getClassTypeId(), TRUE);
  search.setInterest(SoSearchAction::ALL);
  search.apply(doc);
  // An occurrence without an entry of its own inherits its parent's: hiding
  // goes children first, so that each of them is stored hidden before its
  // parent is (and stays hidden when the parent of a selected instance is
  // shown again); showing goes parents first, so that no child keeps a
  // visible entry that would survive hiding its parent later.
  const SoPathList& found = search.getPaths();
  const int n = found.getLength();
  for (int k = 0; k < n; ++k) {
    SoPath* path = found[visible == 0 ? n - 1 - k : k];
    if (AsInstanceKit(FullTail(path))) StoreVisibility(state, path, visible);
  }
  if (visible != 0) return;
  for (int i = 0; i < doc->getNumSelected(); ++i) {
    auto* path = static_cast<SoFullPath*>(doc->getPath(i));
    StoreVisibility(state, path, 1);
    SetParentVisibility(doc, path, 1);
    SetVisibilityBySoPath(doc, path, 1);
  }
}

void CGraphOperation::SetSelectedInsVisibility(SoKRN_MainDoc* doc, int visible) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  for (int i = 0; i < doc->getNumSelected(); ++i) {
    auto* path = static_cast<SoFullPath*>(doc->getPath(i));
    if (AsInstanceKit(FullTail(path))) SetVisibilityBySoPath(doc, path, visible);
  }
  doc->deselectAll(1);
}

void CGraphOperation::SetInsIsolate(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  if (!doc || doc->getNumSelected() == 0 || !doc->getActiveComp()) return;
  SetInsVisibility(doc, 0);
}

// ---- annotation visibility ----------------------------------------------------

void CGraphOperation::SetAllPMIVisibility(SoKRN_NodeKit* kit, int visible) {
  if (!kit) return;
  const int type = kit->dataType.getValue();
  SoKRN_BaseKit* ent = kit->getNodeEnt();
  if (type == SoKRN_NodeKit::ANNOTATION && ent && ent->isOfType(SoKRN_FdtKit::getClassTypeId())) {
    kit->setVisibility(visible != 0, true);
  } else if (type == SoKRN_NodeKit::GROUP || kit->getNumChildren() > 0) {
    // Folders, and the root node kit that holds them.
    for (int i = 0; i < kit->getNumChildren(); ++i) SetAllPMIVisibility(kit->getChild(i), visible);
  }
}

namespace {

void PMIVisibilityUnder(SoKRN_NodeKit* root, unsigned int id, int visible) {
  if (!root) return;
  if (id == 0) {
    CGraphOperation::SetAllPMIVisibility(root, visible);
    return;
  }
  SoKRN_NodeKit* kit = root->getChildNodeKitByID(id);
  SoKRN_BaseKit* ent = kit ? kit->getNodeEnt() : nullptr;
  if (ent && ent->isOfType(SoKRN_FdtKit::getClassTypeId())) kit->setVisibility(visible != 0, true);
}

}  // namespace

void CGraphOperation::SetPMIVisibility(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id, int visible) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  PMIVisibilityUnder(RootNodeKitOf(GetChildByPath(doc, ToRelativePlcPath(plcPath))), id, visible);
}

void CGraphOperation::SetPMIVisibility(SoKRN_MainDoc* doc, const SoFullPath* path, unsigned int id, int visible) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  SoKRN_ComponentKit* comp = path ? AsComponentKit(FullTail(path)) : doc->getActiveComp();
  PMIVisibilityUnder(RootNodeKitOf(comp), id, visible);
}
