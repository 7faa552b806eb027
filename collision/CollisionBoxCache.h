#pragma once
// Internal to the collision manager's sources: what placing instance boxes
// by their parents' matrices keeps (see CCollisionManager::ParentMatrix).
// Valid while the scene does not change: one run, or one call.
#include <Inventor/SbMatrix.h>
#include <Inventor/SbViewportRegion.h>
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
  // Group -> (its node id when scanned, no child changes the traversal
  // state): a changed id (a child added, anything below edited) rescans.
  std::unordered_map<SoNode*, std::pair<SbUniqueId, bool>> plainGroups;
  int userMatrices = -1;                              // unknown yet
};
