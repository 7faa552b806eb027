#pragma once
// What the collision manager changed in its document: the visibility each
// instance had before the manager first changed it.
#include <set>
#include <utility>
#include <vector>

class CCollisionManager;
class SoKRN_MainDoc;
class SoPath;

class CollisionDocState {
public:
  CollisionDocState(CCollisionManager* manager, SoKRN_MainDoc* doc);
  ~CollisionDocState();  // releases the saved paths
  CollisionDocState(const CollisionDocState&) = delete;
  CollisionDocState& operator=(const CollisionDocState&) = delete;

  CCollisionManager* GetManager() const { return m_pManager; }
  SoKRN_MainDoc* GetDoc() const { return m_pDoc; }

  // True when a visibility is saved for a path equal to `path` (same nodes).
  bool HasSaved(const SoPath* path) const;
  // Saves a referenced copy of `path` with `visible`; the first save wins.
  void Save(const SoPath* path, int visible);
  // Entries in the order they were saved (path, visibility before the change).
  const std::vector<std::pair<SoPath*, int>>& Saved() const { return m_saved; }

private:
  // The nodes of a path: two paths are equal when they hold the same nodes.
  static std::vector<const void*> NodesOf(const SoPath* path);

  CCollisionManager* m_pManager;
  SoKRN_MainDoc* m_pDoc;
  std::vector<std::pair<SoPath*, int>> m_saved;
  std::set<std::vector<const void*>> m_index;  // NodesOf every saved path
};
