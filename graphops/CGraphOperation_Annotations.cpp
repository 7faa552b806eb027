// Annotations (PMI), views, magnetic lines, welds, serial numbers and
// picture annotations of a component's node-kit tree.
#include <Inventor/SbImage.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoSelection.h>

#include <algorithm>
#include <cwctype>
#include <string>

#include "graphops/CGraphOperation.h"
#include "graphops/GraphPathUtil.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_FeatureKit.h"
#include "host/SoKRN_MagneticLineKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_WeldKit.h"
#include "host/TpxProductData.h"
#include "platform/Platform.h"

using namespace vx::graph;

namespace {

const int kSuffixUsage = 7;
const int kAnnotationEntity = 900;  // the annotation kind in view relations
const int kPictureAnnotation = 33;

template <class T>
T* EntityOf(const SoKRN_NodeKit* kit) {
  SoKRN_BaseKit* ent = kit ? kit->getNodeEnt() : nullptr;
  return ent && ent->isOfType(T::getClassTypeId()) ? static_cast<T*>(ent) : nullptr;
}

bool IsView(const SoKRN_NodeKit* kit) {
  auto* display = EntityOf<SoKRN_ModelDisplay>(kit);
  return kit->dataType.getValue() == SoKRN_NodeKit::MODEL_DISPLAY && display && !display->isClipPLane();
}

bool IsAnnotation(const SoKRN_NodeKit* kit) {
  return kit->dataType.getValue() == SoKRN_NodeKit::ANNOTATION && EntityOf<SoKRN_FdtKit>(kit);
}

// Depth first in child order; folders (type 12) are searched.
template <class Keep>
void CollectTree(SoKRN_NodeKit* start, const Keep& keep, std::vector<SoKRN_NodeKit*>& out) {
  if (!start) return;
  for (int i = 0; i < start->getNumChildren(); ++i) {
    SoKRN_NodeKit* kit = start->getChild(i);
    if (!kit) continue;
    if (keep(kit)) out.push_back(kit);
    if (kit->dataType.getValue() == SoKRN_NodeKit::GROUP) CollectTree(kit, keep, out);
  }
}

SoKRN_NodeKit* ActiveRootNodeKit(SoKRN_MainDoc* doc) {
  SoKRN_ComponentKit* comp = doc ? doc->getActiveComp() : nullptr;
  if (comp && comp->isInstance()) comp = comp->getPrototype();
  return comp ? comp->getRootNode() : nullptr;
}

// The only composite text of a serial-number annotation, or null.
Tpx_ComText* SerialText(Tpx_PMI* pmi) { return pmi && pmi->GetComText().size() == 1 ? &pmi->GetComText()[0] : nullptr; }

// Cuts `value` at the last "-" + suffix (dropping what follows).
void CutSuffix(std::wstring& value, const std::wstring& suffix) {
  const std::size_t at = value.rfind(L"-" + suffix);
  if (at != std::wstring::npos) value.erase(at);
}

// Leading decimal integer, 0 when there is none (white space and a sign
// allowed first).
long LeadingInt(const std::wstring& s) {
  std::size_t i = 0;
  while (i < s.size() && std::iswspace(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
  long v = 0;
  for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9' && v < 100000000L; ++i) v = v * 10 + (s[i] - L'0');
  return negative ? -v : v;
}

void RemoveViewRelations(SoKRN_NodeKit* view, unsigned int entityId, SoType type) {
  auto* data = dynamic_cast<Tpx_View*>(view->getNodeEnt()->getTpxObjCache());
  for (int i = 0; i < view->getNumNodeConnector();) {
    const SoKRN_NodeKit::Connector* c = view->getNodeConnector(i);
    if (c->getAssocNodeID() == entityId && c->getPointedType() == type) {
      view->removeNodeConnector(i);  // the next connector moved to index i
      if (data) data->DelNodeConnector(entityId, kAnnotationEntity);
    } else {
      ++i;
    }
  }
}

}  // namespace

// ---- lookup -------------------------------------------------------------------------

SoKRN_NodeKit* CGraphOperation::GetRootNodeKit(SoKRN_MainDoc* doc, const char* plcPath) {
  doc = ResolveDoc(doc);
  return doc ? RootNodeKitOf(GetChildByPath(doc, ToRelativePlcPath(plcPath))) : nullptr;
}

SoKRN_NodeKit* CGraphOperation::GetNodeKitById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id) {
  SoKRN_NodeKit* root = GetRootNodeKit(doc, plcPath);
  return root ? root->getChildNodeKitByID(id) : nullptr;
}

void CGraphOperation::DelNodeKitById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id) {
  if (SoKRN_NodeKit* root = GetRootNodeKit(doc, plcPath)) root->removeChildNodeKitByID(id, TRUE);
}

SoKRN_NodeKit* CGraphOperation::GetPMINodeKitById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id) {
  return GetNodeKitById(doc, plcPath, id);
}

SoKRN_FdtKit* CGraphOperation::GetPMIById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id) {
  return EntityOf<SoKRN_FdtKit>(GetNodeKitById(doc, plcPath, id));
}

SoNode* CGraphOperation::GetRefLineById(SoKRN_MainDoc*, const char*, unsigned int) { return nullptr; }

void CGraphOperation::DelRefLin(SoKRN_MainDoc*, const char*, int, unsigned int) {}

void CGraphOperation::HeightLightRefLine(SoSelection*, SoKRN_MainDoc*, const char*, unsigned int, int) {}

void CGraphOperation::SetRefLineVisibility(SoKRN_MainDoc*, const char*, unsigned int, int) {}

void CGraphOperation::GetAllViewNodeKit(SoKRN_NodeKit* start, std::vector<SoKRN_NodeKit*>& out) {
  CollectTree(start, &IsView, out);
}

void CGraphOperation::GetAllPMINodeKit(SoKRN_NodeKit* start, std::vector<SoKRN_NodeKit*>& out) {
  CollectTree(start, &IsAnnotation, out);
}

void CGraphOperation::GetPMINodeKitByType(SoKRN_NodeKit* start, int type, std::vector<SoKRN_NodeKit*>& out) {
  CollectTree(
      start,
      [type](const SoKRN_NodeKit* kit) {
        if (!IsAnnotation(kit)) return false;
        Tpx_PMI* pmi = EntityOf<SoKRN_FdtKit>(kit)->getAttchTpxPMI();
        return pmi && pmi->GetType() == type;
      },
      out);
}

void CGraphOperation::GetPMIPlcPathByNode(SoKRN_MainDoc* doc, SoKRN_FdtKit* annotation, std::wstring& out) {
  doc = ResolveDoc(doc);
  std::string text;
  if (doc && annotation) {
    SoSearchAction search;
    search.setNode(annotation);
    search.setType(SoKRN_FdtKit::getClassTypeId(), TRUE);
    search.setInterest(SoSearchAction::FIRST);
    search.setSearchingAll(TRUE);
    search.apply(doc);
    if (search.getPath()) GetNodePlcPath(search.getPath(), text, true);
  }
  out = StringToWString(text.empty() ? std::string("PATH|0") : text);
}

// ---- visibility and highlight ---------------------------------------------------------

void CGraphOperation::HeightLightPMI(SoSelection*, SoKRN_MainDoc* doc, const char* plcPath, unsigned int id, int mode) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  if (mode == 1) doc->deselectAll(1);
  if (id == 0) return;
  if (SoKRN_FdtKit* fdt = GetPMIById(doc, plcPath, id)) doc->selectNode(fdt);
}

void CGraphOperation::SetAllWeldsVisibity(SoKRN_MainDoc* doc, int visible) {
  doc = ResolveDoc(doc);
  SoKRN_ComponentKit* top = doc ? doc->getTopPrototype() : nullptr;
  for (int i = 0; top && i < top->getNumWeld(); ++i) {
    if (SoKRN_WeldKit* weld = top->getWeldByIndex(i)) weld->setVisibility(visible != 0, true);
  }
}

void CGraphOperation::SetWeldsVisibity(unsigned int id, SoKRN_MainDoc* doc, int visible) {
  doc = ResolveDoc(doc);
  SoKRN_ComponentKit* top = doc ? doc->getTopPrototype() : nullptr;
  for (int i = 0; top && i < top->getNumWeld(); ++i) {
    SoKRN_WeldKit* weld = top->getWeldByIndex(i);
    if (weld && weld->getID() == id) weld->setVisibility(visible != 0, true);
  }
}

void CGraphOperation::HeightLightHandOrder(SoSelection* selection, SoKRN_MainDoc* doc, const char*, unsigned int id,
                                           int mode) {
  doc = ResolveDoc(doc);
  if (!selection && m_pActiveSceneGraph && m_pActiveSceneGraph->isOfType(SoSelection::getClassTypeId()))
    selection = static_cast<SoSelection*>(m_pActiveSceneGraph);
  if (!selection || !doc) return;
  if (mode == 1) selection->deselectAll();
  SoKRN_ComponentKit* comp = doc->getActiveComp();
  if (comp && comp->isInstance()) comp = comp->getPrototype();
  for (int i = 0; comp && i < comp->getNumWeld(); ++i) {
    SoKRN_WeldKit* weld = comp->getWeldByIndex(i);
    if (!weld || (id != 0 && weld->getID() != id)) continue;
    selection->select(weld);
    if (id != 0) return;
  }
}

// ---- deletion and relations -----------------------------------------------------------

void CGraphOperation::DelPMI(SoKRN_MainDoc* doc, const SbViewportRegion&, SoCamera*, const char* plcPath,
                             unsigned int id) {
  doc = ResolveDoc(doc);
  SoKRN_NodeKit* root = doc ? GetRootNodeKit(doc, plcPath) : nullptr;
  SoKRN_FdtKit* fdt = root ? EntityOf<SoKRN_FdtKit>(root->getChildNodeKitByID(id)) : nullptr;
  if (!fdt) return;
  DelViewRelation(doc, plcPath, id, SoKRN_FdtKit::getClassTypeId());
  DelRelationInMagLine(doc, fdt, kAnnotationEntity);
  root->removeChildNodeKitByID(id, TRUE);
}

void CGraphOperation::DelViewRelation(SoKRN_MainDoc* doc, const char* plcPath, unsigned int entityId, SoType type) {
  std::vector<SoKRN_NodeKit*> views;
  GetAllViewNodeKit(GetRootNodeKit(doc, plcPath), views);
  for (SoKRN_NodeKit* view : views) RemoveViewRelations(view, entityId, type);
}

void CGraphOperation::DelViewRelationFromViewIDEntId(SoKRN_MainDoc* doc, const char* plcPath, unsigned int viewId,
                                                     unsigned int entityId, SoType type) {
  std::vector<SoKRN_NodeKit*> views;
  GetAllViewNodeKit(GetRootNodeKit(doc, plcPath), views);
  for (SoKRN_NodeKit* view : views) {
    if (view->getID() == viewId) RemoveViewRelations(view, entityId, type);
  }
}

void CGraphOperation::DelRelationInMagLine(SoKRN_MainDoc* doc, SoKRN_FdtKit* annotation, int) {
  doc = ResolveDoc(doc);
  if (!doc || !annotation) return;
  std::vector<SoKRN_MagneticLineKit*> lines;
  GetAllMagneticLineKit(ActiveRootNodeKit(doc), lines);
  std::wstring path;
  GetPMIPlcPathByNode(doc, annotation, path);
  for (SoKRN_MagneticLineKit* line : lines) {
    if (line->DelPMIRelation(annotation, path)) return;
  }
}

void CGraphOperation::DelMagneticLine(SoKRN_MainDoc* doc, unsigned int id) {
  if (!doc || id == 0) return;
  if (SoKRN_NodeKit* root = ActiveRootNodeKit(doc)) root->removeChildNodeKitByID(id, TRUE);
}

void CGraphOperation::GetAllMagneticLineKit(SoKRN_NodeKit* start, std::vector<SoKRN_MagneticLineKit*>& out) {
  for (int i = 0; start && i < start->getNumChildren(); ++i) {
    SoKRN_NodeKit* kit = start->getChild(i);
    SoKRN_BaseKit* feat = kit ? kit->getNodeFeat() : nullptr;
    if (!feat || !feat->isOfType(SoKRN_FeatureKit::getClassTypeId())) continue;
    if (SoKRN_MagneticLineKit* line = static_cast<SoKRN_FeatureKit*>(feat)->getMagneticLineKit()) out.push_back(line);
  }
}

SoKRN_MagneticLineKit* CGraphOperation::GetMagneticLineKit(SoFullPath* path) {
  for (int i = path ? path->getLength() - 1 : -1; i >= 0; --i) {
    if (path->getNode(i)->isOfType(SoKRN_MagneticLineKit::getClassTypeId()))
      return static_cast<SoKRN_MagneticLineKit*>(path->getNode(i));
  }
  return nullptr;
}

bool CGraphOperation::MagLineUnderRootNode(SoKRN_MainDoc* doc, SoKRN_MagneticLineKit* line) {
  SoKRN_ComponentKit* top = doc ? doc->getTopPrototype() : nullptr;
  if (!top || !line) return false;
  std::vector<SoKRN_MagneticLineKit*> lines;
  GetAllMagneticLineKit(top->getRootNode(), lines);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// ---- serial numbers ---------------------------------------------------------------------

int CGraphOperation::AllocateSNPMI(std::vector<SoKRN_NodeKit*>& kits, std::wstring suffix) {
  if (kits.empty()) return 1;
  long max = 0;
  for (SoKRN_NodeKit* kit : kits) {
    auto* fdt = EntityOf<SoKRN_FdtKit>(kit);
    Tpx_ComText* com = SerialText(fdt ? fdt->getAttchTpxPMI() : nullptr);
    if (!com) continue;
    const std::vector<Tpx_Text>& texts = com->GetTexts();
    const bool ours = std::any_of(texts.begin(), texts.end(),
                                  [&](const Tpx_Text& t) { return t.usageType == kSuffixUsage && t.text == suffix; });
    if (!ours) continue;
    auto value =
        std::find_if(texts.begin(), texts.end(), [](const Tpx_Text& t) { return t.usageType != kSuffixUsage; });
    if (value == texts.end()) continue;
    std::wstring number = value->text;
    if (suffix != L"*") CutSuffix(number, suffix);
    max = std::max(max, LeadingInt(number));
  }
  return static_cast<int>(max + 1);
}

void CGraphOperation::GetSNPMIValueAndSuffix(SoKRN_FdtKit* annotation, std::wstring& value, std::wstring& suffix) {
  Tpx_ComText* com = SerialText(annotation ? annotation->getAttchTpxPMI() : nullptr);
  if (!com) return;
  const std::vector<Tpx_Text>& texts = com->GetTexts();
  for (auto t = texts.rbegin(); t != texts.rend(); ++t) {
    if (t->usageType == kSuffixUsage) {
      suffix = t->text;
    } else {
      value += t->text;
      CutSuffix(value, suffix);
    }
  }
}

int CGraphOperation::AddSuffix(Tpx_PMI* pmi, std::wstring suffix, SoKRN_MainDoc* doc, bool keepSuffix) {
  SoKRN_NodeKit* root = ActiveRootNodeKit(doc);
  Tpx_ComText* com = SerialText(pmi);
  if (!pmi || !doc || !root || !com) return -1;
  std::vector<SoKRN_NodeKit*> kits;
  GetPMINodeKitByType(root, pmi->GetType(), kits);
  std::vector<Tpx_Text> texts = com->GetTexts();
  Tpx_Text remembered;
  bool seenSuffix = false;
  std::wstring number;
  for (auto t = texts.rbegin(); t != texts.rend(); ++t) {
    if (t->usageType == kSuffixUsage) {
      seenSuffix = true;
      if (t->text != L"*" && !keepSuffix) suffix = t->text + suffix;
      if (suffix.size() > 128) return -2;
      number = std::to_wstring(AllocateSNPMI(kits, suffix));
      t->text = suffix;
    } else {
      if (!seenSuffix) {
        remembered = *t;
        number = std::to_wstring(AllocateSNPMI(kits, suffix));
      }
      if (suffix != L"*") number += L"-" + suffix;
      t->text = number;
    }
  }
  if (!seenSuffix) {
    Tpx_Text added = remembered;
    added.text = suffix;
    added.charSpacing = 1.1f;
    added.usageType = kSuffixUsage;
    texts.push_back(added);
  }
  com->SetTexts(texts);
  return 0;
}

// ---- picture annotations ---------------------------------------------------------------------

SoKRN_NodeKit* CGraphOperation::CreateImageNode(SoKRN_MainDoc* doc, SbVec2f& location, const std::wstring& file,
                                                const std::wstring& name, int width, int height, double scale,
                                                bool embed) {
  Tpx_Picture picture;
  const std::size_t dot = file.rfind(L'.');
  std::wstring ext = dot == std::wstring::npos ? std::wstring() : file.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](wchar_t c) { return std::towupper(c); });
  picture.type = ext == L"PNG" ? 3 : 1;
  picture.savePath = file;
  picture.location = TPX_PNT32{location[0], location[1], 0};
  picture.displayWidth = static_cast<float>(width);
  picture.displayHeight = static_cast<float>(height);
  picture.scaleY = static_cast<float>(scale);
  if (embed) {
    const std::string narrow = vx::platform::WideToNarrow(file);
    SbImage image;
    if (narrow.size() < 260 && image.readFile(narrow.c_str())) {
      SbVec2s size;
      int components = 0;
      const unsigned char* bytes = image.getValue(size, components);
      const std::size_t count =
          static_cast<std::size_t>(size[0]) * static_cast<std::size_t>(size[1]) * static_cast<std::size_t>(components);
      picture.actualWidth = size[0];
      picture.actualHeight = size[1];
      picture.components = components;
      picture.data.assign(bytes, bytes + count);
      picture.data.resize((count + 3) / 4 * 4, 0);
    }
  }
  SoKRN_NodeKit* root = ActiveRootNodeKit(doc);
  auto* proto =
      doc && doc->getActiveComp() ? dynamic_cast<Tpx_ProtoType*>(doc->getActiveComp()->getTpxObjCache()) : nullptr;
  if (!root || !proto) return nullptr;
  auto* pmi = new Tpx_PMI(proto, kPictureAnnotation);
  pmi->SetParallelToScreen(true);
  pmi->SetFixed(true);
  pmi->SetName(name);
  picture.saveStyle = embed ? 1 : 0;
  pmi->AddPicture(picture);
  if (embed) {
    pmi->RegisterID(0);
    proto->AddPMI(pmi);
    return SoKRN_NodeKit::createNode(SoKRN_NodeKit::ANNOTATION, root, pmi->GetNode(), 10027);
  }
  // Linked: the kit alone shows the annotation, which the prototype does not
  // list. Here the kit holds the object itself, so it is detached from its
  // node but not deleted.
  SoKRN_NodeKit* kit = SoKRN_NodeKit::createNode(SoKRN_NodeKit::ANNOTATION, root, nullptr, 10027);
  if (auto* fdt = EntityOf<SoKRN_FdtKit>(kit)) {
    fdt->initData(pmi, false);
  }
  pmi->SetNode(nullptr);
  if (!EntityOf<SoKRN_FdtKit>(kit)) delete pmi;
  return kit;
}
