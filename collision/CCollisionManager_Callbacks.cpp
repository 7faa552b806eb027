// The intersection action's callbacks: which subgraphs take part, and how
// every reported triangle pair becomes cut points and cut segments of the
// pair's result.
#include <Inventor/SoFullPath.h>
#include <Inventor/collision/SoIntersectionDetectionAction.h>
#include <Inventor/nodekits/SoBaseKit.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoLineSet.h>

#include "collision/CCollisionManager.h"
#include "host/MeshTools.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_InfoKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "mesh/TrianglePair.h"

int CCollisionManager::IntersectionFilterCB(void*, const SoPath*, const SoPath*) { return 1; }

SoCallbackAction::Response CCollisionManager::IntersectionVisitationCB(void* data, const SoPath* path) {
  if (!path || path->getLength() == 0) return SoCallbackAction::CONTINUE;
  SoNode* tail = static_cast<const SoFullPath*>(path)->getTail();
  if (!tail) return SoCallbackAction::CONTINUE;
  auto* mgr = static_cast<CCollisionManager*>(data);
  if (tail->isOfType(SoKRN_ComponentKit::getClassTypeId())) {
    const SoCallbackAction::Response r = mgr->ObviateInvisible(path);
    if (r != SoCallbackAction::CONTINUE) return r;
    return mgr->IsIgnoreIns(path) ? SoCallbackAction::PRUNE : SoCallbackAction::CONTINUE;
  }
  // Lines never take part in the interference check.
  if (tail->isOfType(SoIndexedLineSet::getClassTypeId()) || tail->isOfType(SoLineSet::getClassTypeId())) {
    return SoCallbackAction::PRUNE;
  }
  return SoCallbackAction::CONTINUE;
}

SoCallbackAction::Response CCollisionManager::ObviateInvisible(const SoPath* path) {
  const bool ruleActive = (m_nCurSide == 0 && m_CurTopIns1.nTag == 2) || (m_nCurSide == 1 && m_CurTopIns2.nTag == 2);
  // Without the rule nothing below can prune: spare the walk up the path
  // (it is asked once per instance, and for every shape collected).
  if (!ruleActive) return SoCallbackAction::CONTINUE;
  const auto* full = static_cast<const SoFullPath*>(path);
  if (!full || full->getLength() <= 1) return SoCallbackAction::CONTINUE;
  for (int k = full->getLength() - 1; k >= 1; --k) {
    SoNode* node = full->getNode(k);
    if (!node) continue;
    if (node->isOfType(SoKRN_MainDoc::getClassTypeId())) {
      SoKRN_InfoKit* info = static_cast<SoKRN_MainDoc*>(node)->getKRN_Info();
      if (info) {
        auto* style = static_cast<SoDrawStyle*>(info->getPart("drawStyle", FALSE));
        if (style && style->style.getValue() == SoDrawStyle::INVISIBLE) return SoCallbackAction::PRUNE;
      }
      continue;
    }
    if (node->isOfType(SoKRN_ComponentKit::getClassTypeId()) &&
        static_cast<SoKRN_ComponentKit*>(node)->componentType.getValue() == 0) {
      auto* kit = static_cast<SoKRN_ComponentKit*>(node);
      const bool visible = !kit->getKRNState() || kit->getKRNState()->getDocEleVisible(path) != 0;
      return visible ? SoCallbackAction::CONTINUE : SoCallbackAction::PRUNE;
    }
  }
  return SoCallbackAction::CONTINUE;
}

namespace {

void toDouble(const SoIntersectingPrimitive* p, _vtx out[3]) {
  for (int k = 0; k < 3; ++k) {
    out[k].x = p->xf_vertex[k][0];
    out[k].y = p->xf_vertex[k][1];
    out[k].z = p->xf_vertex[k][2];
  }
}

vx::mesh::Vec3 toVec(const _vtx& p) { return {p.x, p.y, p.z}; }

// Length of a crossing segment (two points), or area of a coplanar overlap
// polygon (three or more, in order around it).
double segmentLength(const std::vector<_vtx>& pts) {
  return pts.size() == 2 ? vx::mesh::Norm(toVec(pts[1]) - toVec(pts[0])) : 0.0;
}
double polygonArea(const std::vector<_vtx>& pts) {
  vx::mesh::Vec3 sum;
  for (std::size_t i = 1; i + 1 < pts.size(); ++i) {
    sum = sum + vx::mesh::Cross(toVec(pts[i]) - toVec(pts[0]), toVec(pts[i + 1]) - toVec(pts[0]));
  }
  return 0.5 * vx::mesh::Norm(sum);
}

}  // namespace

SoIntersectionDetectionExtAction::Resp CCollisionManager::IntersectionCB(void* data, const SoIntersectingPrimitive* p1,
                                                                         const SoIntersectingPrimitive* p2,
                                                                         float distance) {
  auto* mgr = static_cast<CCollisionManager*>(data);
  if (mgr->Stopped()) return SoIntersectionDetectionExtAction::ABORT;

  _collisionResult* result = nullptr;
  if (mgr->m_bNewPair) {
    mgr->m_bNewPair = 0;
    result = mgr->AddResult();
    if (!result) return SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;
    result->pPath1 = mgr->m_pCurPath1;
    result->pTopPath1 = mgr->m_CurTopIns1.pPath;
    result->pPath2 = mgr->m_pCurPath2;
    result->pTopPath2 = mgr->m_CurTopIns2.pPath;
    result->nTag2 = mgr->m_CurTopIns2.nTag;
    result->fMinDist = distance;
  } else {
    if (mgr->m_Result.empty()) return SoIntersectionDetectionExtAction::ABORT;
    result = &mgr->m_Result.back();
    if (distance < result->fMinDist) result->fMinDist = distance;
  }

  _triVtx A, B;
  toDouble(p1, A.v);
  toDouble(p2, B.v);

  std::vector<_vtx> points;
  bool coplanar = false;
  MeshTools::GetTowTrisCrossLine(A.v, B.v, points, coplanar);
  if (points.empty()) return SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;
  {
    const vx::mesh::Vec3 a[3] = {toVec(A.v[0]), toVec(A.v[1]), toVec(A.v[2])};
    const vx::mesh::Vec3 b[3] = {toVec(B.v[0]), toVec(B.v[1]), toVec(B.v[2])};
    const vx::mesh::PairKind kind = vx::mesh::ClassifyPair(a, b, coplanar && points.size() >= 3, segmentLength(points),
                                                           points.size() >= 3 ? polygonArea(points) : 0.0);
    if (kind == vx::mesh::PairKind::Cross) ++result->nCrossPairs;
    if (kind == vx::mesh::PairKind::Overlap) ++result->nOverlapPairs;
  }
  if (points.size() < 2) return SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;
  // The outline of a coplanar overlap only serves the cut face.
  if (coplanar && points.size() >= 3 && mgr->m_bCalcCrossMesh != 1)
    return SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;

  std::vector<int32_t> indices;
  indices.reserve(points.size());
  for (const _vtx& p : points) {
    auto found = mgr->m_CrossPntMap.find(p);
    if (found != mgr->m_CrossPntMap.end()) {
      indices.push_back(found->second);
      continue;
    }
    result->cutLinePnts.push_back(p);
    mgr->m_CrossPntMap.emplace(p, mgr->m_nCrossPntCount);
    indices.push_back(mgr->m_nCrossPntCount);
    ++mgr->m_nCrossPntCount;
  }

  if (coplanar && points.size() >= 3) {
    // Faces lying on each other: no cut line, but the cut face needs both
    // triangles cut along the outline of their common region, so that the
    // region can be kept once (facing the same way) or dropped (facing
    // opposite ways, a contact).
    for (std::size_t i = 0; i < indices.size(); ++i) {
      const int32_t p = indices[i], q = indices[(i + 1) % indices.size()];
      if (p == q) continue;
      mgr->m_TriCrossLines1[A].push_back({p, q});
      mgr->m_TriCrossLines2[B].push_back({p, q});
    }
    return SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;
  }

  if (indices.size() == 2 && indices[0] != indices[1]) {
    result->cutLines.push_back(indices);
    if (mgr->m_bCalcCrossMesh == 1) {
      mgr->m_TriCrossLines1[A].push_back(indices);
      mgr->m_TriCrossLines2[B].push_back(indices);
    }
  }
  return SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;
}
