#include "collision/CollisionDocState.h"

#include <Inventor/SoFullPath.h>
#include <Inventor/misc/SoTempPath.h>


CollisionDocState::CollisionDocState(CCollisionManager* manager, SoKRN_MainDoc* doc)
    : m_pManager(manager), m_pDoc(doc) {}

CollisionDocState::~CollisionDocState() {
  for (auto& entry : m_saved) entry.first->unref();
}

std::vector<const void*> CollisionDocState::NodesOf(const SoPath* path) {
  std::vector<const void*> nodes;
  const auto* full = static_cast<const SoFullPath*>(path);
  nodes.reserve(static_cast<std::size_t>(full->getLength()));
  for (int i = 0; i < full->getLength(); ++i) nodes.push_back(full->getNode(i));
  return nodes;
}

bool CollisionDocState::HasSaved(const SoPath* path) const { return path && m_index.count(NodesOf(path)) != 0; }

void CollisionDocState::Save(const SoPath* path, int visible) {
  if (!path || !m_index.insert(NodesOf(path)).second) return;
  // A temporary (non-auditing) copy: it is only read back for its nodes, and
  // registering thousands of paths with the groups they pass makes each
  // one's release a search among all of them.
  const auto* full = static_cast<const SoFullPath*>(path);
  auto* copy = new SoTempPath(full->getLength());
  copy->ref();
  if (full->getLength() > 0) copy->setHead(full->getHead());
  for (int i = 1; i < full->getLength(); ++i) copy->append(full->getIndex(i));
  m_saved.emplace_back(copy, visible);
}
