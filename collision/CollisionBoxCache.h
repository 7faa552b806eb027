#pragma once
// Internal to the collision manager's sources: what placing instance boxes
// by their parents' matrices keeps (see CCollisionManager::ParentMatrix).
// Valid while the scene does not change: one run, or one call.
#include <Inventor/SbBox3f.h>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetMatrixAction.h>

#include <map>
#include <unordered_map>
#include <utility>
#include <vector>

#include "collision/CCollisionManager.h"

// Reused actions and per-parent answers of ParentMatrix and PlacedBox.
struct CCollisionManager::BoxCache {
  SoGetBoundingBoxAction bbox{SbViewportRegion()};
  SoGetMatrixAction matrix{SbViewportRegion()};
  std::map<std::vector<SoNode*>, SbMatrix> parents;  // parent path nodes -> its matrix
  std::vector<SoNode*> lastParent;                   // the last one asked for, and its matrix
  SbMatrix lastParentMatrix;
  // Drops the parents' matrices (the user may have moved parts since).
  void ForgetParents() {
    parents.clear();
    lastParent.clear();
  }
  // Group -> (its node id when scanned, no child changes the traversal
  // state): a changed id (a child added, anything below edited) rescans.
  std::unordered_map<SoNode*, std::pair<SbUniqueId, bool>> plainGroups;
  int userMatrices = -1;  // unknown yet
  // Prototype kit -> (its node id when measured, its box in its own frame).
  std::unordered_map<SoNode*, std::pair<SbUniqueId, SbXfBox3f>> protoBoxes;

  // The box, in the frame `parent` maps to the world, of an instance kit
  // whose subtree is nothing but its placement transform, a user-matrix node
  // and the group that holds its prototypes: each prototype's box (measured
  // once per prototype) placed by the transform's matrix and `parent`.
  // False (nothing written) for any other node or structure: the caller
  // measures that node with the action. Only where the document has no
  // per-path user matrices (ParentMatrix's fast route).
  bool PlacedInstanceBox(SoNode* tail, const SbMatrix& parent, SbBox3f& world);
};
