// Result boxes: the box of one result (where the two instances interfere),
// the box of a result's two instances, and the box of all inputs.
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/lists/SoPathList.h>

#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cmath>

#include "collision/CCollisionManager.h"
#include "collision/CollisionBoxCache.h"
#include "host/SoKRN_ClipLineKit.h"

SbXfBox3f CCollisionManager::PathListBox(const SoPathList& paths) {
  SoGetBoundingBoxAction action{SbViewportRegion()};
  action.apply(paths, FALSE);
  return action.getXfBoundingBox();
}

SbXfBox3f CCollisionManager::GetResultInsPairBoundingBox(_collisionResult* r) {
  SoPathList paths;
  if (r && r->pPath1) paths.append(r->pPath1);
  if (r && r->pPath2) paths.append(r->pPath2);
  return PathListBox(paths);
}

SbXfBox3f CCollisionManager::GetResultInsPairBoundingBox(int i) {
  if (i < 0 || i >= GetResultCount()) {
    SbXfBox3f empty;
    empty.makeEmpty();
    return empty;
  }
  return GetResultInsPairBoundingBox(&m_Result[static_cast<std::size_t>(i)]);
}

SbXfBox3f CCollisionManager::GetResultBoundingBox(int i) {
  if (i < 0 || i >= GetResultCount()) {
    SbXfBox3f empty;
    empty.makeEmpty();
    return empty;
  }
  return GetResultBoundingBox(&m_Result[static_cast<std::size_t>(i)]);
}

SbXfBox3f CCollisionManager::GetResultBoundingBox(_collisionResult* r) {
  SbXfBox3f box(SbVec3f(r->fBox[0], r->fBox[1], r->fBox[2]), SbVec3f(r->fBox[3], r->fBox[4], r->fBox[5]));
  const SbVec3f size(r->fBox[3] - r->fBox[0], r->fBox[4] - r->fBox[1], r->fBox[5] - r->fBox[2]);
  if (!size.equals(SbVec3f(0, 0, 0), 0.001f)) return box;

  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  if (m_bCalcCrossMesh != 0) {
    bool first = true;
    auto extend = [&](const std::vector<_vtx>& pts) {
      for (const _vtx& p : pts) {
        const double c[3] = {p.x, p.y, p.z};
        for (int k = 0; k < 3; ++k) {
          if (first || c[k] < lo[k]) lo[k] = c[k];
          if (first || c[k] > hi[k]) hi[k] = c[k];
        }
        first = false;
      }
    };
    extend(r->cutFacePnts);
    extend(r->cutLinePnts);
  } else {
    // Each instance's box placed by its parent's matrix where that is sound
    // (a box action on the path visits every sibling on the way: O(n) per
    // result in a flat assembly of n), else through the path.
    if (!m_pResultBoxCache) m_pResultBoxCache.reset(new BoxCache);
    BoxCache& cache = *m_pResultBoxCache;
    cache.userMatrices = -1;  // the user may have moved parts since
    cache.ForgetParents();
    auto worldBox = [this, &cache](SoFullPath* path) {
      SbBox3f box;
      if (!path) return box;
      SbMatrix parent;
      if (ParentMatrix(path, cache, parent)) {
        const SbXfBox3f xf = PlacedBox(path, cache, parent);
        if (!xf.isEmpty()) box = xf.project();
        return box;
      }
      cache.bbox.apply(path);
      return cache.bbox.getBoundingBox();
    };
    const SbBox3f b1 = worldBox(r->pPath1);
    const SbBox3f b2 = worldBox(r->pPath2);
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::max(b1.getMin()[k], b2.getMin()[k]);
      hi[k] = std::min(b1.getMax()[k], b2.getMax()[k]);
    }
  }
  for (int k = 0; k < 3; ++k) {
    r->fBox[k] = static_cast<float>(lo[k]);
    r->fBox[3 + k] = static_cast<float>(hi[k]);
  }
  // Set the corners directly: an inverted box (instances apart on an axis)
  // is kept as it is.
  SbXfBox3f out;
  out.setBounds(r->fBox[0], r->fBox[1], r->fBox[2], r->fBox[3], r->fBox[4], r->fBox[5]);
  return out;
}

void CCollisionManager::ShowResultBoundingBox(_collisionResult* r, SoSeparator* parent) {
  CreateBoundingBox(GetResultBoundingBox(r), parent);
}

void CCollisionManager::CreateBoundingBox(SbXfBox3f box, SoSeparator* parent) {
  if (!Doc()) return;
  auto* sep = new SoSeparator;
  if (parent) parent->addChild(sep);
  sep->renderCaching = SoSeparator::OFF;
  sep->boundingBoxCaching = SoSeparator::OFF;
  sep->setName("BoundingBox");
  SbVec3f lo, hi;
  box.getBounds(lo, hi);
  if (hi[0] < lo[0]) return;

  const double x0 = lo[0], y0 = lo[1], z0 = lo[2], x1 = hi[0], y1 = hi[1], z1 = hi[2];
  const std::vector<_vtx> corners = {{x0, y0, z0}, {x1, y0, z0}, {x0, y1, z0}, {x0, y0, z1},
                                     {x1, y1, z1}, {x0, y1, z1}, {x1, y0, z1}, {x1, y1, z0}};
  std::vector<int32_t> line;
  auto edge = [&line](int i, int j) {
    line.push_back(i);
    line.push_back(j);
    line.push_back(-1);
  };
  static const int kFixed[6][2] = {{0, 1}, {0, 2}, {0, 3}, {4, 5}, {4, 6}, {4, 7}};
  for (const auto& e : kFixed) edge(e[0], e[1]);
  // Corners 1-3 are one step from corner 0, corners 5-7 one step from corner
  // 4: an edge joins i and j when they share two coordinates.
  for (int i = 1; i <= 3; ++i) {
    for (int j = 5; j <= 7; ++j) {
      const _vtx& a = corners[static_cast<std::size_t>(i)];
      const _vtx& b = corners[static_cast<std::size_t>(j)];
      const int agree =
          (std::fabs(a.x - b.x) < 0.001) + (std::fabs(a.y - b.y) < 0.001) + (std::fabs(a.z - b.z) < 0.001);
      if (agree >= 2) edge(i, j);
    }
  }
  auto* kit = new SoKRN_ClipLineKit(nullptr);
  sep->addChild(kit);
  kit->serializeFromTools_ClipLine(corners, {line}, FALSE);
  kit->setBaseColor(SbColor(1, 0, 0));
  if (SoDrawStyle* style = kit->getDrawStyle()) style->lineWidth = 1;
}
