#pragma once
// What the collision manager changed in its document: the visibility each
// instance had before the manager first changed it.
//
// The document keeps visibility per occurrence (instance chain), and an
// occurrence without an entry of its own inherits from the one above it.
// So entries are kept per occurrence (two paths reaching the same one
// through different inner nodes share the first save) and in restoring
// order: ancestors before descendants. Written back in that order, a
// visible value under a visible ancestor leaves no entry behind and a
// hidden one is stored again, which gives the document back the entries it
// had, not only the same picture.
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/SoRef.h"

class CCollisionManager;
class SoKRN_MainDoc;
class SoPath;

class CollisionDocState {
public:
  // Holds a reference on `doc` (null: none) for its whole life, so a
  // manager may outlive the document's other owners.
  CollisionDocState(CCollisionManager* manager, SoKRN_MainDoc* doc);
  ~CollisionDocState();  // releases the saved paths, then the document (member order)
  CollisionDocState(const CollisionDocState&) = delete;
  CollisionDocState& operator=(const CollisionDocState&) = delete;

  CCollisionManager* GetManager() const { return m_pManager; }
  SoKRN_MainDoc* GetDoc() const { return m_pDoc; }

  // True when a visibility is saved for the occurrence `path` reaches.
  bool HasSaved(const SoPath* path) const;
  // Saves a referenced copy of `path` with `visible`; the first save of an
  // occurrence wins.
  void Save(const SoPath* path, int visible);
  // The same with the path's instance chain key (OmbrelTools::InstanceChainKey)
  // computed by the caller. With `share` the path itself is kept (and
  // referenced) rather than copied: only for a temporary path that nobody
  // changes afterwards.
  void Save(const SoPath* path, const std::string& key, int visible, bool share = false);
  // Entries in restoring order (path, visibility before the first change):
  // by depth of the occurrence, then in the order they were saved.
  const std::vector<std::pair<vx::host::SoRef<SoPath>, int>>& Saved() const { return m_saved; }

private:
  CCollisionManager* m_pManager;
  vx::host::SoRef<SoKRN_MainDoc> m_pDoc;
  std::vector<std::pair<vx::host::SoRef<SoPath>, int>> m_saved;
  std::vector<int> m_depth;       // instance kits on each saved path, parallel to m_saved
  std::set<std::string> m_index;  // instance chain of every saved path
};
