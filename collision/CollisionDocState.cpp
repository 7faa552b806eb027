#include "collision/CollisionDocState.h"

#include <Inventor/SoFullPath.h>
#include <Inventor/misc/SoTempPath.h>

#include <algorithm>

#include "host/OmbrelTools.h"
#include "host/SoKRN_MainDoc.h"

CollisionDocState::CollisionDocState(CCollisionManager* manager, SoKRN_MainDoc* doc)
    : m_pManager(manager), m_pDoc(doc) {}

// The document's reference goes last: it may be the last one.
CollisionDocState::~CollisionDocState() = default;

bool CollisionDocState::HasSaved(const SoPath* path) const {
  return path && m_index.count(OmbrelTools::InstanceChainKey(path)) != 0;
}

void CollisionDocState::Save(const SoPath* path, int visible) {
  if (!path) return;
  Save(path, OmbrelTools::InstanceChainKey(path), visible);
}

void CollisionDocState::Save(const SoPath* path, const std::string& key, int visible, bool share) {
  if (!path) return;
  if (!m_index.insert(key).second) return;
  const int depth = key.empty() ? 0 : 1 + static_cast<int>(std::count(key.begin(), key.end(), '|'));
  // After the last entry no deeper than this one: ancestors stay first.
  const auto at = std::upper_bound(m_depth.begin(), m_depth.end(), depth);
  const auto offset = at - m_depth.begin();
  // A temporary (non-auditing) copy: it is only read back for its nodes, and
  // registering thousands of paths with the groups they pass makes each
  // one's release a search among all of them.
  vx::host::SoRef<SoPath> copy;
  if (share) {
    copy.reset(const_cast<SoPath*>(path));
  } else {
    const auto* full = static_cast<const SoFullPath*>(path);
    copy.reset(new SoTempPath(full->getLength()));
    if (full->getLength() > 0) copy->setHead(full->getHead());
    for (int i = 1; i < full->getLength(); ++i) copy->append(full->getIndex(i));
  }
  m_depth.insert(at, depth);
  m_saved.insert(m_saved.begin() + offset, std::make_pair(std::move(copy), visible));
}
