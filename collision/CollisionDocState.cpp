#include "collision/CollisionDocState.h"

#include <Inventor/SoPath.h>

#include "host/OmbrelTools.h"

CollisionDocState::CollisionDocState(CCollisionManager* manager, SoKRN_MainDoc* doc)
    : m_pManager(manager), m_pDoc(doc) {}

CollisionDocState::~CollisionDocState() {
  for (auto& entry : m_saved) entry.first->unref();
}

bool CollisionDocState::HasSaved(const SoPath* path) const {
  for (const auto& entry : m_saved) {
    if (OmbrelTools::IsPathEqual(entry.first, path)) return true;
  }
  return false;
}

void CollisionDocState::Save(const SoPath* path, int visible) {
  if (!path || HasSaved(path)) return;
  SoPath* copy = path->copy();
  copy->ref();
  m_saved.emplace_back(copy, visible);
}
