#include "picking/SoKRN_SelectManager.h"

#include <Inventor/SoFullPath.h>
#include <Inventor/SoPickedPoint.h>
#include <Inventor/actions/SoHandleEventAction.h>

#include "host/SoKRN_BodyKit.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_CurveKit.h"
#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_MagneticLineKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_MeshKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_PntMarkerKit.h"
#include "host/SoKRN_State.h"
#include "host/SoRef.h"

struct SoKRN_SelectManager::Record {
  vx::host::SoRef<SoKRN_MainDoc> doc;
};

SoKRN_SelectManager::SoKRN_SelectManager(SoKRN_MainDoc* doc) : m_pData(std::make_shared<Record>()) {
  m_pData->doc.reset(doc);
}

SoKRN_SelectManager::~SoKRN_SelectManager() = default;

SoPath* SoKRN_SelectManager::SelectionFilterCB(void* userData, SoHandleEventAction* action) {
  if (!userData || !action || !action->getEvent()) return nullptr;
  return static_cast<SoKRN_SelectManager*>(userData)->SelectionFilter(action->getPickedPoint());
}

SoPath* SoKRN_SelectManager::SelectionPickCB(void* userData, const SoPickedPoint* pick) {
  if (!userData) return nullptr;
  return static_cast<SoKRN_SelectManager*>(userData)->SelectionFilter(pick);
}

namespace {

// A copy of the picked path (all nodes, kit insides included) cut back to
// `test`'s first match from the tail, handed over without a reference; null
// (copy released) when nothing matches.
template <class Test>
SoPath* CutBack(const SoPath* path, Test test) {
  vx::host::SoRef<SoFullPath> copy(static_cast<SoFullPath*>(path->copy()));
  while (copy->getLength() > 0 && !test(copy->getTail())) copy->truncate(copy->getLength() - 1);
  return copy->getLength() > 0 ? copy.detach() : nullptr;
}

// Kinds 1 and 4: the body kit at or above the lowest `inner` kit.
SoPath* BodyAbove(const SoPath* path, SoType inner) {
  bool seen = false;
  return CutBack(path, [&](SoNode* n) {
    seen = seen || n->isOfType(inner);
    return seen && n->isOfType(SoKRN_BodyKit::getClassTypeId());
  });
}

SoPath* OfType(const SoPath* path, SoType type) {
  return CutBack(path, [&](SoNode* n) { return n->isOfType(type); });
}

}  // namespace

SoPath* SoKRN_SelectManager::SelectionFilter(const SoPickedPoint* pp) {
  if (!pp || !m_pData || !m_pData->doc) return nullptr;
  SoKRN_State* state = m_pData->doc->getKRNState();
  if (!state) return nullptr;
  const uint32_t mask = state->getSelectionFilterType();
  const SoPath* path = pp->getPath();
  if (mask == 0 || !path || static_cast<const SoFullPath*>(path)->getLength() == 0) return nullptr;

  SoPath* hit = nullptr;
  if (mask & 0x6) hit = BodyAbove(path, SoKRN_PntMarkerKit::getClassTypeId());
  if (!hit && (mask & 0x2000)) {
    hit = OfType(path, SoKRN_ModelDisplay::getClassTypeId());
    if (hit) static_cast<SoKRN_ModelDisplay*>(static_cast<SoFullPath*>(hit)->getTail())->setHighLight(true);
  }
  if (!hit && (mask & 0x80)) {
    hit = OfType(path, SoKRN_MagneticLineKit::getClassTypeId());
    if (hit) static_cast<SoKRN_MagneticLineKit*>(static_cast<SoFullPath*>(hit)->getTail())->setHighLight(true);
  }
  if (!hit && (mask & 0x8)) hit = BodyAbove(path, SoKRN_CurveKit::getClassTypeId());
  if (!hit && (mask & 0x200)) {
    hit = OfType(path, SoKRN_FdtKit::getClassTypeId());
    if (hit) static_cast<SoKRN_FdtKit*>(static_cast<SoFullPath*>(hit)->getTail())->setHighLight(true);
  }
  if (!hit && (mask & 0x400)) {
    hit = CutBack(path, [](SoNode* n) {
      return n->isOfType(SoKRN_MeshKit::getClassTypeId()) && static_cast<SoKRN_MeshKit*>(n)->kind.getValue() == 1;
    });
  }
  if (!hit && (mask & 0x1000)) hit = OfType(path, SoKRN_NodeKit::getClassTypeId());
  if (!hit && (mask & 0x1)) {
    hit = CutBack(path, [](SoNode* n) {
      return n->isOfType(SoKRN_ComponentKit::getClassTypeId()) &&
             static_cast<SoKRN_ComponentKit*>(n)->componentType.getValue() == 0;
    });
  }
  if (!hit && (mask & 0x800)) hit = OfType(path, SoKRN_BodyKit::getClassTypeId());
  return hit;
}
