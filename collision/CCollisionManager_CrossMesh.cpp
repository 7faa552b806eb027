// Cut faces: the thin adapter between a run and the mesh kernels. After each
// tested pair both sides' triangles are welded, cut along the cut lines the
// pair search recorded (mesh/CutAlong), and the pieces of each side inside
// the other form the closed surface of the overlapping volume (mesh/CutFace).
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/lists/SbList.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "collision/CCollisionManager.h"
#include "intersection/SbTri3f.h"
#include "mesh/CutAlong.h"
#include "mesh/CutFace.h"
#include "mesh/PenetrationDepth.h"
#include "mesh/PointGrid.h"
#include "mesh/SelfIntersection.h"
#include "mesh/SolidCheck.h"
#include "mesh/SolidLocator.h"

namespace {

// Appends the corners of every triangle (widened to double) to `soup`.
void appendSoup(const SbList<SbTri3f*>& tris, std::vector<vx::mesh::Vec3>& soup) {
  soup.reserve(soup.size() + 3 * static_cast<std::size_t>(tris.getLength()));
  for (int i = 0; i < tris.getLength(); ++i) {
    const SbTri3f* t = tris[i];
    for (int k = 0; k < 3; ++k) {
      const SbVec3f& p = t->getPoint(k);
      soup.push_back(vx::mesh::Vec3{p[0], p[1], p[2]});
    }
  }
}

// A side's triangles welded within the mesh tolerance of their coordinates:
// points, and three indices per triangle in the order of the list.
void WeldedSide(const SbList<SbTri3f*>& tris, std::vector<vx::mesh::Vec3>& points, std::vector<int>& idx) {
  std::vector<vx::mesh::Vec3> soup;
  appendSoup(tris, soup);
  double scale = 0;
  for (const vx::mesh::Vec3& p : soup) scale = std::max(scale, vx::mesh::MaxAbs(p));
  vx::mesh::WeldPoints(soup.data(), soup.size(), vx::mesh::MeshTolerance(scale), points, idx);
}

// The crossed triangles of one side, in the map's order.
std::vector<vx::mesh::CrossedTriangle> Crossed(const CCollisionManager::TriCrossLineMap& map) {
  std::vector<vx::mesh::CrossedTriangle> out;
  out.reserve(map.size());
  for (const auto& entry : map) {
    vx::mesh::CrossedTriangle c;
    for (int k = 0; k < 3; ++k) c.corners[k] = {entry.first.v[k].x, entry.first.v[k].y, entry.first.v[k].z};
    for (const std::vector<int32_t>& seg : entry.second) {
      if (seg.size() == 2) c.segments.insert(c.segments.end(), {seg[0], seg[1]});
    }
    out.push_back(std::move(c));
  }
  return out;
}

// The signed volume enclosed by points and three indices per triangle, into
// r.fCompacity; unknown (NaN, with the reason in r.volumeNote) when some edge
// has no partner the other way: an open surface encloses no volume.
void CutFaceMeasure(_collisionResult& r) {
  std::vector<vx::mesh::Vec3> v;
  v.reserve(r.cutFacePnts.size());
  for (const _vtx& p : r.cutFacePnts) v.push_back({p.x, p.y, p.z});
  const vx::mesh::SolidCheck check =
      vx::mesh::CheckSolid(v.data(), v.size(), r.cutFaceTris.data(), r.cutFaceTris.size() / 3);
  if (check.unmatchedEdges > 0) {
    r.fCompacity = std::numeric_limits<float>::quiet_NaN();
    r.volumeNote =
        "the cut face is not closed (" + std::to_string(check.unmatchedEdges) + " open edges): its volume is unknown";
    return;
  }
  r.fCompacity = static_cast<float>(check.volume);
  r.volumeNote.clear();
}

std::vector<_vtx> toVtx(const std::vector<vx::mesh::Vec3>& pts) {
  std::vector<_vtx> out;
  out.reserve(pts.size());
  for (const vx::mesh::Vec3& p : pts) out.push_back(_vtx{p.x, p.y, p.z});
  return out;
}

}  // namespace

// Every tested pair ends here or in CalculateCrossMeshSelf, and the pair
// count restarts with each run: a count not above the last one seen starts a
// new run, whose geometry the per-run caches must not outlive.
void CCollisionManager::NotePair() {
  const int32_t pair = m_nCurPair.load();
  if (pair <= m_lastPairSeen) {
    m_insBoxes.clear();
    m_containPath = nullptr;
  }
  m_lastPairSeen = pair;
}

void CCollisionManager::CalculateCrossMesh() {
  NotePair();
  if (m_bNewPair == 1) {  // no triangle pair came near: one part may hold the other whole
    DetectContainment();
    return;
  }
  // Only a pair that reported cut segments on both sides has a cut face; the
  // last result is then this pair's.
  if (m_bCalcCrossMesh != 1 || m_TriCrossLines1.empty() || m_TriCrossLines2.empty() || m_Result.empty()) return;
  // A stop leaves this pair's cut face (and maybe its triangle pairs)
  // incomplete: its volume is unknown, not the part computed so far.
  auto unfinished = [this] {
    _collisionResult& r = m_Result.back();
    r.fCompacity = std::numeric_limits<float>::quiet_NaN();
    r.volumeNote = "the run was stopped before this pair's cut face was complete";
  };
  if (Stopped()) {
    unfinished();
    return;
  }

  vx::mesh::CutFaceSide side1, side2;
  const std::vector<_vtx>& cutLine = m_Result.back().cutLinePnts;
  std::vector<vx::mesh::Vec3> cutPoints;
  cutPoints.reserve(cutLine.size());
  for (const _vtx& p : cutLine) cutPoints.push_back({p.x, p.y, p.z});
  auto prepare = [&](bool first, vx::mesh::CutFaceSide& side) {
    if (Stopped()) return true;
    SbList<SbTri3f*> tris;
    if (first) {
      m_pAction->GetIns1Triangles(tris);
    } else {
      m_pAction->GetIns2Triangles(tris);
    }
    if (tris.getLength() == 0) return false;
    WeldedSide(tris, side.points, side.tris);
    vx::mesh::CutSurface cut =
        vx::mesh::CutAlongSegments(side.points, side.tris, cutPoints,
                                   Crossed(first ? m_TriCrossLines1 : m_TriCrossLines2), [this] { return Stopped(); });
    side.cutPoints.swap(cut.points);
    side.cutTris.swap(cut.tris);
    side.cutEdges.swap(cut.cutEdges);
    return true;
  };
  if (!prepare(true, side1) || !prepare(false, side2)) return;
  if (Stopped()) {
    unfinished();
    return;
  }

  const vx::mesh::CutFace face = vx::mesh::BuildCutFace(side1, side2, [this] { return Stopped(); });
  if (Stopped()) {
    unfinished();
    return;
  }

  _collisionResult& r = m_Result.back();
  r.cutFacePnts.clear();
  r.cutFacePnts.reserve(face.points.size());
  for (const vx::mesh::Vec3& p : face.points) r.cutFacePnts.push_back(_vtx{p.x, p.y, p.z});
  r.cutFaceTris.assign(face.tris.begin(), face.tris.end());
  if (face.volumeKnown) {
    r.fCompacity = static_cast<float>(face.volume);
    r.volumeNote.clear();
    r.penetrationDepth = face.penetrationDepth;
  } else {
    r.fCompacity = std::numeric_limits<float>::quiet_NaN();
    r.volumeNote = face.volumeNote;
  }
}

// A pair whose surfaces never come near is still an interference when one
// part lies wholly inside the other. Necessary: the inner world box lies in
// the outer one (boxes cached per instance path for the run, so a pair costs
// two look-ups); then a vertex of the inner surface is located in the outer
// surface, which must be closed. The result has distance 0 (the solids
// overlap); with cut faces its cut face is the inner surface.
namespace {

// A contained pair's cut face is the inner part's whole surface (welded
// points and triangles, inside the box qlo..qhi): its volume and a lower
// bound of the penetration depth when it is closed and does not cross
// itself, else unknown with the reason. `stopped` tells a stopped run.
template <class Stopped>
void SetInnerVolume(_collisionResult& result, const std::vector<vx::mesh::Vec3>& innerPts,
                    const std::vector<int>& innerI, const vx::mesh::Vec3& qlo, const vx::mesh::Vec3& qhi,
                    Stopped stopped) {
  result.cutFacePnts = toVtx(innerPts);
  result.cutFaceTris.assign(innerI.begin(), innerI.end());
  const vx::mesh::SolidCheck innerCheck = vx::mesh::CheckSolid(
      innerPts.data(), innerPts.size(), reinterpret_cast<const int32_t*>(innerI.data()), innerI.size() / 3);
  double innerScale = 0;
  for (const vx::mesh::Vec3& p : innerPts) innerScale = std::max(innerScale, vx::mesh::MaxAbs(p));
  const bool crossing = innerCheck.closed && vx::mesh::SelfIntersects(innerPts.data(), innerPts.size(),
                                                                      reinterpret_cast<const int32_t*>(innerI.data()),
                                                                      innerI.size() / 3, innerScale, qlo, qhi, stopped);
  if (innerCheck.closed && (crossing || stopped())) {
    result.fCompacity = std::numeric_limits<float>::quiet_NaN();
    result.volumeNote = crossing ? "the inner part's surface intersects itself: it bounds no single volume"
                                 : "the run was stopped before this pair's cut face was complete";
  } else if (innerCheck.closed) {
    result.fCompacity = static_cast<float>(std::fabs(innerCheck.volume));
    std::vector<int32_t> outward(innerI.begin(), innerI.end());
    if (innerCheck.volume < 0) {
      for (std::size_t i = 0; i + 2 < outward.size(); i += 3) std::swap(outward[i + 1], outward[i + 2]);
    }
    result.penetrationDepth =
        vx::mesh::PenetrationDepthLowerBound(innerPts.data(), innerPts.size(), outward.data(), outward.size() / 3);
  } else {
    result.fCompacity = std::numeric_limits<float>::quiet_NaN();
    result.volumeNote = "the inner part's surface is not closed: it bounds no volume";
  }
}

}  // namespace

void CCollisionManager::DetectContainment() {
  if (Stopped() || !m_pCurPath1 || !m_pCurPath2) return;
  auto boxOf = [this](SoFullPath* path) {
    auto it = m_insBoxes.find(path);
    if (it != m_insBoxes.end()) return it->second;
    SoGetBoundingBoxAction bbox{SbViewportRegion()};
    bbox.apply(path);
    return m_insBoxes[path] = bbox.getXfBoundingBox().project();
  };
  const SbBox3f b1 = boxOf(m_pCurPath1), b2 = boxOf(m_pCurPath2);
  if (b1.isEmpty() || b2.isEmpty()) return;
  auto within = [](const SbBox3f& in, const SbBox3f& out) {
    return out.intersect(in.getMin()) && out.intersect(in.getMax());
  };
  const bool twoInOne = within(b2, b1), oneInTwo = within(b1, b2);
  if (!twoInOne && !oneInTwo) return;

  auto welded = [this](bool first, std::vector<vx::mesh::Vec3>& verts, std::vector<int>& idx) {
    SbList<SbTri3f*> tris;
    if (first) {
      m_pAction->GetIns1Triangles(tris);
    } else {
      m_pAction->GetIns2Triangles(tris);
    }
    WeldedSide(tris, verts, idx);
  };
  // The outer surface, welded and checked; kept while side 1 stays the outer
  // one, as it does across the inner loop of a run.
  const bool outerIsOne = twoInOne;
  const SoFullPath* outerPath = outerIsOne ? m_pCurPath1 : m_pCurPath2;
  if (!outerIsOne || m_containPath != outerPath) {
    m_containPath = outerIsOne ? outerPath : nullptr;
    welded(outerIsOne, m_containPts, m_containIdx);
    m_containClosed =
        vx::mesh::CheckSolid(m_containPts.data(), m_containPts.size(),
                             reinterpret_cast<const int32_t*>(m_containIdx.data()), m_containIdx.size() / 3)
            .closed;
  }
  if (!m_containClosed) return;
  std::vector<vx::mesh::Vec3> innerPts;
  std::vector<int> innerI;
  welded(!outerIsOne, innerPts, innerI);
  if (innerI.size() < 3) return;
  double scale = 0;
  for (const vx::mesh::Vec3& p : m_containPts) scale = std::max(scale, vx::mesh::MaxAbs(p));
  const SbBox3f& innerBox = outerIsOne ? b2 : b1;
  const vx::mesh::Vec3 qlo{innerBox.getMin()[0], innerBox.getMin()[1], innerBox.getMin()[2]};
  const vx::mesh::Vec3 qhi{innerBox.getMax()[0], innerBox.getMax()[1], innerBox.getMax()[2]};
  const vx::mesh::SolidLocator locator(m_containPts.data(), m_containPts.size(),
                                       reinterpret_cast<const int32_t*>(m_containIdx.data()), m_containIdx.size() / 3,
                                       scale, &qlo, &qhi);
  const vx::mesh::Vec3& probe = innerPts[static_cast<std::size_t>(innerI[0])];
  if (locator.locate(probe, vx::mesh::Vec3{0, 0, 1}) != vx::mesh::Where::Inside) return;

  _collisionResult* result = AddResult();
  if (!result) return;
  m_bNewPair = 0;
  result->pPath1 = m_pCurPath1;
  result->pTopPath1 = m_CurTopIns1.pPath;
  result->pPath2 = m_pCurPath2;
  result->pTopPath2 = m_CurTopIns2.pPath;
  result->nTag2 = m_CurTopIns2.nTag;
  result->fMinDist = 0.0f;
  result->bInside = true;
  if (m_bCalcCrossMesh != 1) return;
  SetInnerVolume(*result, innerPts, innerI, qlo, qhi, [this] { return Stopped(); });
}

void CCollisionManager::CalculateCrossMeshSelf() {
  NotePair();
  if (m_bCalcCrossMesh != 1 || Stopped() || m_Result.empty()) return;
  _collisionResult& r = m_Result.back();
  SbList<SbTri3f*> tris;
  m_pAction->GetIns1Triangles(tris);
  if (tris.getLength() == 0) return;
  std::vector<vx::mesh::Vec3> verts;
  std::vector<int> idx;
  WeldedSide(tris, verts, idx);
  const int32_t base = static_cast<int32_t>(r.cutFacePnts.size());
  for (const vx::mesh::Vec3& p : verts) r.cutFacePnts.push_back(_vtx{p.x, p.y, p.z});
  for (int i : idx) r.cutFaceTris.push_back(base + i);
  CutFaceMeasure(r);
}
