// Cut faces: after each tested pair both sides are welded, cut exactly along
// the cut lines (each crossed triangle re-triangulated in its own parameter
// plane), split into parts along the cut, and the parts lying inside the
// other side form the closed surface of the overlapping volume.
//
// Parameter plane of a triangle T = (T0, T1, T2): P = T0 + s (T2 - T0) + t (T1 - T0),
// so T0 -> (0, 0), T1 -> (0, 1), T2 -> (1, 0). Edge T0-T1 is s = 0 (key t),
// edge T0-T2 is t = 0 (key s), edge T1-T2 is s + t = 1 (key s).
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/lists/SbList.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>

#include "collision/CCollisionManager.h"
#include "host/CTriangleMesh.h"
#include "host/MeshTools.h"
#include "intersection/SbTri3f.h"
#include "mesh/CutFace.h"
#include "mesh/PenetrationDepth.h"
#include "mesh/SelfIntersection.h"
#include "mesh/SolidCheck.h"
#include "mesh/SolidLocator.h"

namespace {

constexpr double kSame = 1e-8;

double Sq(double v) { return v * v; }

bool sameWithin(const _vtx& a, const _vtx& b, double e) {
  return std::fabs(a.x - b.x) < e && std::fabs(a.y - b.y) < e && std::fabs(a.z - b.z) < e;
}

// Appends the corners of every triangle (widened to double) to `soup`.
void appendSoup(const SbList<SbTri3f*>& tris, std::vector<_vtx>& soup) {
  soup.reserve(soup.size() + 3 * static_cast<std::size_t>(tris.getLength()));
  for (int i = 0; i < tris.getLength(); ++i) {
    const SbTri3f* t = tris[i];
    for (int k = 0; k < 3; ++k) {
      const SbVec3f& p = t->getPoint(k);
      soup.push_back(_vtx{p[0], p[1], p[2]});
    }
  }
}

// Facets from consecutive index triples, then the enclosed volume.
float cutFaceMeasure(const std::vector<_vtx>& pts, const std::vector<int32_t>& tris) {
  std::vector<_fac> facets;
  for (std::size_t i = 0; i + 2 < tris.size(); i += 3) facets.push_back(_fac{tris[i], tris[i + 1], tris[i + 2]});
  double area = 0, volume = 0;
  MeshTools::Compacity(pts, facets, area, volume);
  return static_cast<float>(volume);
}

// The mesh tools' tolerance for points of size `scale`: a few float ulps.
double MeshTolerance(double scale) { return 4.0 * 1.1920929e-7 * std::max(scale, 1.0); }

double MaxAbs(const _vtx& p) { return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}); }

double Distance(const _vtx& a, const _vtx& b) { return std::sqrt(Sq(a.x - b.x) + Sq(a.y - b.y) + Sq(a.z - b.z)); }

double TwiceArea(const _vtx T[3]) {
  const double ux = T[1].x - T[0].x, uy = T[1].y - T[0].y, uz = T[1].z - T[0].z;
  const double vx = T[2].x - T[0].x, vy = T[2].y - T[0].y, vz = T[2].z - T[0].z;
  return std::sqrt(Sq(uy * vz - uz * vy) + Sq(uz * vx - ux * vz) + Sq(ux * vy - uy * vx));
}

// The corner of T within the mesh tolerance of P, or -1.
int CornerAt(const _vtx T[3], const _vtx& P) {
  const double tol = MeshTolerance(std::max({MaxAbs(P), MaxAbs(T[0]), MaxAbs(T[1]), MaxAbs(T[2])}));
  for (int k = 0; k < 3; ++k) {
    if (sameWithin(T[k], P, tol)) return k;
  }
  return -1;
}

// One cut point is often computed along several triangle pairs: a touch
// snapped into the tolerance band, the ends of a contact seen from either
// side. The copies differ by up to the mesh tolerance, more than the point
// map merges, and a triangle holding two copies would get nearly collinear
// constraints that cross. The segments are rewritten onto the first point of
// each cluster within the mesh tolerance; segments that collapse are dropped.
CCollisionManager::TriCrossLineMap WeldedSegments(const CCollisionManager::TriCrossLineMap& map,
                                                  const std::vector<_vtx>& points) {
  double scale = 0;
  for (const _vtx& p : points) scale = std::max(scale, MaxAbs(p));
  std::vector<_vtx> unique;
  std::vector<int> cluster;
  MeshTools::WeldPoints(points.data(), points.size(), MeshTolerance(scale), unique, cluster);
  std::vector<int> first(unique.size(), -1);
  for (std::size_t i = 0; i < cluster.size(); ++i) {
    int& f = first[static_cast<std::size_t>(cluster[i])];
    if (f < 0) f = static_cast<int>(i);
  }
  auto rep = [&](int32_t g) {
    if (g < 0 || static_cast<std::size_t>(g) >= cluster.size()) return g;
    return first[static_cast<std::size_t>(cluster[static_cast<std::size_t>(g)])];
  };
  CCollisionManager::TriCrossLineMap out;
  for (const auto& entry : map) {
    std::vector<std::vector<int32_t>> segments;
    for (const std::vector<int32_t>& seg : entry.second) {
      if (seg.size() != 2) continue;
      const int32_t a = rep(seg[0]), b = rep(seg[1]);
      if (a != b) segments.push_back({a, b});
    }
    if (!segments.empty()) out.emplace(entry.first, std::move(segments));
  }
  return out;
}

// The first vertex of a growing list within 1e-8 of a point in x, y and z,
// found through a grid of cells much larger than 1e-8 (a query looks at no
// more than two cells per axis) instead of a scan from the start.
class FirstVertexWithin {
public:
  explicit FirstVertexWithin(std::vector<_vtx>& verts) : m_verts(verts) {
    for (std::size_t i = 0; i < verts.size(); ++i) file(i);
  }
  // The index of the first vertex within 1e-8 of p; p is appended when there is none.
  int findOrAppend(const _vtx& p) {
    int found = -1;
    const int64_t lo[3] = {cell(p.x - kSame), cell(p.y - kSame), cell(p.z - kSame)};
    const int64_t hi[3] = {cell(p.x + kSame), cell(p.y + kSame), cell(p.z + kSame)};
    for (int64_t i = lo[0]; i <= hi[0]; ++i)
      for (int64_t j = lo[1]; j <= hi[1]; ++j)
        for (int64_t k = lo[2]; k <= hi[2]; ++k) {
          auto it = m_cells.find(key(i, j, k));
          if (it == m_cells.end()) continue;
          for (int v : it->second) {
            if ((found < 0 || v < found) && sameWithin(m_verts[static_cast<std::size_t>(v)], p, kSame)) found = v;
          }
        }
    if (found >= 0) return found;
    m_verts.push_back(p);
    file(m_verts.size() - 1);
    return static_cast<int>(m_verts.size() - 1);
  }

private:
  static constexpr double kCell = 1e-5;
  static int64_t cell(double x) {
    const double c = x / kCell;
    return c == c ? static_cast<int64_t>(std::floor(std::clamp(c, -1e15, 1e15))) : 0;  // NaN: cell 0
  }
  static uint64_t key(int64_t i, int64_t j, int64_t k) {
    return static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(j) * 0xC2B2AE3D27D4EB4Full ^
           static_cast<uint64_t>(k) * 0x165667B19E3779F9ull;
  }
  void file(std::size_t v) {
    const _vtx& p = m_verts[v];
    m_cells[key(cell(p.x), cell(p.y), cell(p.z))].push_back(static_cast<int>(v));
  }
  std::vector<_vtx>& m_verts;
  std::unordered_map<uint64_t, std::vector<int>> m_cells;
};

// The triangle list of a re-triangulation: removing the first triangle equal
// to a given one and appending replacements, without the linear search and
// the shifting of an erase from a long list. Removed triangles are marked and
// dropped at the end, which leaves the survivors in the order that erasing
// them one by one would have. The initial triangles are found by binary
// search in a sorted copy; appended ones (always after them) through a hash.
class TriangleList {
public:
  explicit TriangleList(std::vector<_tri>& tris) : m_tris(tris), m_removed(tris.size(), 0) {
    m_sorted.reserve(tris.size());
    for (std::size_t i = 0; i < tris.size(); ++i) m_sorted.push_back({tris[i].a, tris[i].b, tris[i].c, i});
    std::sort(m_sorted.begin(), m_sorted.end());
  }
  void removeFirst(const _tri& t) {
    auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), Entry{t.a, t.b, t.c, 0});
    for (; it != m_sorted.end() && it->a == t.a && it->b == t.b && it->c == t.c; ++it) {
      if (!m_removed[it->pos]) {
        m_removed[it->pos] = 1;
        return;
      }
    }
    auto app = m_appended.find(t);
    if (app == m_appended.end()) return;
    for (std::size_t pos : app->second) {
      if (!m_removed[pos]) {
        m_removed[pos] = 1;
        return;
      }
    }
  }
  void append(const _tri& t) {
    m_appended[t].push_back(m_tris.size());
    m_tris.push_back(t);
    m_removed.push_back(0);
  }
  // Drops the removed triangles.
  void compact() {
    std::size_t out = 0;
    for (std::size_t i = 0; i < m_tris.size(); ++i) {
      if (!m_removed[i]) m_tris[out++] = m_tris[i];
    }
    m_tris.resize(out);
  }

private:
  struct Entry {
    int32_t a, b, c;
    std::size_t pos;
    bool operator<(const Entry& o) const {
      if (a != o.a) return a < o.a;
      if (b != o.b) return b < o.b;
      if (c != o.c) return c < o.c;
      return pos < o.pos;
    }
  };
  struct Hash {
    std::size_t operator()(const _tri& t) const {
      return static_cast<std::size_t>((static_cast<uint64_t>(static_cast<uint32_t>(t.a)) * 0x9E3779B97F4A7C15ull) ^
                                      (static_cast<uint64_t>(static_cast<uint32_t>(t.b)) * 0xC2B2AE3D27D4EB4Full) ^
                                      (static_cast<uint64_t>(static_cast<uint32_t>(t.c)) * 0x165667B19E3779F9ull));
    }
  };
  std::vector<_tri>& m_tris;
  std::vector<char> m_removed;
  std::vector<Entry> m_sorted;
  std::unordered_map<_tri, std::vector<std::size_t>, Hash> m_appended;
};

std::vector<vxmesh::Vec3> toVecs(const std::vector<_vtx>& pts) {
  std::vector<vxmesh::Vec3> out;
  out.reserve(pts.size());
  for (const _vtx& p : pts) out.push_back({p.x, p.y, p.z});
  return out;
}

std::vector<int> toIndices(const std::vector<_tri>& tris) {
  std::vector<int> out;
  out.reserve(3 * tris.size());
  for (const _tri& t : tris) {
    out.push_back(t.a);
    out.push_back(t.b);
    out.push_back(t.c);
  }
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

  std::vector<_vtx> soup;
  std::vector<_vtx> verts1, verts2;
  std::vector<int> idx1, idx2;
  SbList<SbTri3f*> tris;
  if (!Stopped()) {
    m_pAction->GetIns1Triangles(tris);
    if (tris.getLength() == 0) return;
    appendSoup(tris, soup);
    MeshTools::STLToMesh(soup, verts1, idx1);
    soup.clear();
  }
  if (!Stopped()) {
    m_pAction->GetIns2Triangles(tris);
    if (tris.getLength() == 0) return;
    appendSoup(tris, soup);
    MeshTools::STLToMesh(soup, verts2, idx2);
    soup.clear();
  }

  std::vector<_vtx> newVerts1, newVerts2;
  std::vector<_tri> newTris1, newTris2;
  std::vector<int> cut1, cut2;
  const std::vector<_vtx>& cutPoints = m_Result.back().cutLinePnts;
  if (!Stopped()) {
    ReTriangulationMesh(verts1, idx1, WeldedSegments(m_TriCrossLines1, cutPoints), newVerts1, newTris1, cut1);
  }
  if (!Stopped()) {
    ReTriangulationMesh(verts2, idx2, WeldedSegments(m_TriCrossLines2, cutPoints), newVerts2, newTris2, cut2);
  }
  if (Stopped()) {
    unfinished();
    return;
  }

  vxmesh::CutFaceSide side1{toVecs(verts1), idx1, toVecs(newVerts1), toIndices(newTris1), cut1};
  vxmesh::CutFaceSide side2{toVecs(verts2), idx2, toVecs(newVerts2), toIndices(newTris2), cut2};
  const vxmesh::CutFace face = vxmesh::BuildCutFace(side1, side2, [this] { return Stopped(); });
  if (Stopped()) {
    unfinished();
    return;
  }

  _collisionResult& r = m_Result.back();
  r.cutFacePnts.clear();
  r.cutFacePnts.reserve(face.points.size());
  for (const vxmesh::Vec3& p : face.points) r.cutFacePnts.push_back(_vtx{p.x, p.y, p.z});
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

  auto welded = [this](bool first, std::vector<_vtx>& verts, std::vector<int>& idx) {
    SbList<SbTri3f*> tris;
    if (first) {
      m_pAction->GetIns1Triangles(tris);
    } else {
      m_pAction->GetIns2Triangles(tris);
    }
    std::vector<_vtx> soup;
    appendSoup(tris, soup);
    MeshTools::STLToMesh(soup, verts, idx);
  };
  // The outer surface, welded and checked; kept while side 1 stays the outer
  // one, as it does across the inner loop of a run.
  const bool outerIsOne = twoInOne;
  const SoFullPath* outerPath = outerIsOne ? m_pCurPath1 : m_pCurPath2;
  if (!outerIsOne || m_containPath != outerPath) {
    m_containPath = outerIsOne ? outerPath : nullptr;
    std::vector<_vtx> v;
    welded(outerIsOne, v, m_containIdx);
    m_containPts = toVecs(v);
    m_containClosed = vxmesh::CheckSolid(m_containPts.data(), m_containPts.size(),
                                         reinterpret_cast<const int32_t*>(m_containIdx.data()), m_containIdx.size() / 3)
                          .closed;
  }
  if (!m_containClosed) return;
  std::vector<_vtx> innerV;
  std::vector<int> innerI;
  welded(!outerIsOne, innerV, innerI);
  if (innerI.size() < 3) return;
  double scale = 0;
  for (const vxmesh::Vec3& p : m_containPts) scale = std::max(scale, vxmesh::MaxAbs(p));
  const SbBox3f& innerBox = outerIsOne ? b2 : b1;
  const vxmesh::Vec3 qlo{innerBox.getMin()[0], innerBox.getMin()[1], innerBox.getMin()[2]};
  const vxmesh::Vec3 qhi{innerBox.getMax()[0], innerBox.getMax()[1], innerBox.getMax()[2]};
  const vxmesh::SolidLocator locator(m_containPts.data(), m_containPts.size(),
                                     reinterpret_cast<const int32_t*>(m_containIdx.data()), m_containIdx.size() / 3,
                                     scale, &qlo, &qhi);
  const _vtx& probe = innerV[static_cast<std::size_t>(innerI[0])];
  if (locator.locate({probe.x, probe.y, probe.z}, vxmesh::Vec3{0, 0, 1}) != vxmesh::Where::Inside) return;

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
  result->cutFacePnts = innerV;
  result->cutFaceTris.assign(innerI.begin(), innerI.end());
  const std::vector<vxmesh::Vec3> innerPts = toVecs(innerV);
  const vxmesh::SolidCheck innerCheck = vxmesh::CheckSolid(
      innerPts.data(), innerPts.size(), reinterpret_cast<const int32_t*>(innerI.data()), innerI.size() / 3);
  double innerScale = 0;
  for (const vxmesh::Vec3& p : innerPts) innerScale = std::max(innerScale, vxmesh::MaxAbs(p));
  const bool crossing =
      innerCheck.closed &&
      vxmesh::SelfIntersects(innerPts.data(), innerPts.size(), reinterpret_cast<const int32_t*>(innerI.data()),
                             innerI.size() / 3, innerScale, qlo, qhi, [this] { return Stopped(); });
  if (innerCheck.closed && (crossing || Stopped())) {
    result->fCompacity = std::numeric_limits<float>::quiet_NaN();
    result->volumeNote = crossing ? "the inner part's surface intersects itself: it bounds no single volume"
                                  : "the run was stopped before this pair's cut face was complete";
  } else if (innerCheck.closed) {
    result->fCompacity = static_cast<float>(std::fabs(innerCheck.volume));
    std::vector<int32_t> outward(innerI.begin(), innerI.end());
    if (innerCheck.volume < 0) {
      for (std::size_t i = 0; i + 2 < outward.size(); i += 3) std::swap(outward[i + 1], outward[i + 2]);
    }
    result->penetrationDepth =
        vxmesh::PenetrationDepthLowerBound(innerPts.data(), innerPts.size(), outward.data(), outward.size() / 3);
  } else {
    result->fCompacity = std::numeric_limits<float>::quiet_NaN();
    result->volumeNote = "the inner part's surface is not closed: it bounds no volume";
  }
}

void CCollisionManager::CalculateCrossMeshSelf() {
  NotePair();
  if (m_bCalcCrossMesh != 1 || Stopped() || m_Result.empty()) return;
  _collisionResult& r = m_Result.back();
  SbList<SbTri3f*> tris;
  m_pAction->GetIns1Triangles(tris);
  if (tris.getLength() == 0) return;
  std::vector<_vtx> soup, verts;
  std::vector<int> idx;
  appendSoup(tris, soup);
  MeshTools::STLToMesh(soup, verts, idx);
  r.cutFacePnts.insert(r.cutFacePnts.end(), verts.begin(), verts.end());
  r.cutFaceTris.insert(r.cutFaceTris.end(), idx.begin(), idx.end());
  r.fCompacity = cutFaceMeasure(r.cutFacePnts, r.cutFaceTris);
}

int CCollisionManager::ReTriangulationMesh(const std::vector<_vtx>& vertices, const std::vector<int>& indices,
                                           const TriCrossLineMap& map, std::vector<_vtx>& newVertices,
                                           std::vector<_tri>& newTriangles, std::vector<int>& cutEdges) {
  int state = 0;
  newTriangles.clear();
  for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
    newTriangles.push_back(_tri{indices[i], indices[i + 1], indices[i + 2]});
  }
  newVertices = vertices;
  if (m_Result.empty()) return state;
  FirstVertexWithin vertexIndex(newVertices);
  TriangleList triangleList(newTriangles);
  const std::vector<_vtx>& cutPoints = m_Result.back().cutLinePnts;

  for (const auto& entry : map) {
    if (Stopped()) break;
    const _vtx* T = entry.first.v;

    // 1-2: local points (the corners, then new cut points) and constraints.
    std::vector<_vtx> local(T, T + 3);
    std::map<_vtx, int, VtxLess> localIndex;
    for (int k = 0; k < 3; ++k) localIndex.emplace(T[k], k);
    int last = 2;
    std::vector<int> constraints;
    for (const std::vector<int32_t>& seg : entry.second) {
      for (int32_t g : seg) {
        if (g < 0 || static_cast<std::size_t>(g) >= cutPoints.size()) continue;
        const _vtx& P = cutPoints[static_cast<std::size_t>(g)];
        // A cut point on a corner of T is that corner. The coordinates come
        // from single-precision world points of two meshes, so "on" means
        // within a few float ulps of the coordinates' size, not within the
        // tolerant order's fixed 1e-7: a corner of the other mesh that was
        // placed on this corner lies 1e-5 away at a coordinate of 100.
        const int corner = CornerAt(T, P);
        if (corner >= 0) {
          constraints.push_back(corner);
          continue;
        }
        auto found = localIndex.find(P);
        if (found != localIndex.end()) {
          constraints.push_back(found->second);
        } else {
          localIndex.emplace(P, ++last);
          local.push_back(P);
          constraints.push_back(last);
        }
      }
    }

    // 3: local index -> index in newVertices (first vertex within 1e-8).
    std::vector<int> global(local.size());
    for (std::size_t k = 0; k < local.size(); ++k) global[k] = vertexIndex.findOrAppend(local[k]);

    // 4: the cut segments of this triangle, as global index pairs.
    for (int k : constraints) cutEdges.push_back(global[static_cast<std::size_t>(k)]);

    // 5: a cut along the triangle's own corners changes nothing.
    if (local.size() == 3) continue;

    // 6: parameter plane, and cut points on the triangle's edges. A point
    // counts as on an edge within the mesh tolerance (as a distance, here
    // converted into each parameter) and is then put exactly on it, so that
    // the neighbour sharing the edge is split at the same point and no sliver
    // forms between the edge and the point. Points that fall on one plane
    // point (within 1e-8) are one point: their constraints join there. A
    // point off the triangle leaves this triangle whole (state -1); the other
    // crossed triangles are still cut.
    const double twiceArea = TwiceArea(T);
    const double tau = MeshTolerance(std::max({MaxAbs(T[0]), MaxAbs(T[1]), MaxAbs(T[2])}));
    auto paramTol = [&](const _vtx& a, const _vtx& b) {
      return twiceArea > 0 ? std::max(kSame, tau * Distance(a, b) / twiceArea) : kSame;
    };
    const double tolS = paramTol(T[0], T[1]), tolT = paramTol(T[0], T[2]), tolST = paramTol(T[1], T[2]);
    std::vector<_vtx> plane;       // unique plane points
    std::vector<int> planeLocal;   // unique plane point -> local index
    std::vector<int> toPlane(local.size(), -1);
    std::map<double, int> edge01, edge02, edge12;
    bool rejected = false;
    for (std::size_t k = 0; k < local.size() && !rejected; ++k) {
      double s = 0, t = 0;
      if (!MeshTools::PointInTriangle3dTo2d(T, local[k], s, t)) {
        rejected = true;
        break;
      }
      std::map<double, int>* onEdge = nullptr;
      double key = 0;
      if (k >= 3) {
        if (std::fabs(s) < tolS) {
          s = 0;
          onEdge = &edge01;
          key = t;
        } else if (std::fabs(t) < tolT) {
          t = 0;
          onEdge = &edge02;
          key = s;
        } else if (std::fabs(s + t - 1.0) < tolST) {
          t = 1.0 - s;
          onEdge = &edge12;
          key = s;
        }
      }
      const _vtx q{s, t, 0.0};
      for (std::size_t j = 0; j < plane.size(); ++j) {
        if (sameWithin(plane[j], q, kSame)) {
          toPlane[k] = static_cast<int>(j);
          break;
        }
      }
      if (toPlane[k] >= 0) continue;
      toPlane[k] = static_cast<int>(plane.size());
      plane.push_back(q);
      planeLocal.push_back(static_cast<int>(k));
      if (onEdge) onEdge->emplace(key, toPlane[k]);
    }
    if (rejected || plane.size() < 3) {
      state = -1;
      continue;
    }
    if (plane.size() == 3) continue;  // every cut point fell on a corner

    std::vector<int> planeConstraints;
    planeConstraints.reserve(constraints.size() + 16);
    for (std::size_t i = 0; i + 1 < constraints.size(); i += 2) {
      const int a = toPlane[static_cast<std::size_t>(constraints[i])];
      const int b = toPlane[static_cast<std::size_t>(constraints[i + 1])];
      if (a == b) continue;
      planeConstraints.push_back(a);
      planeConstraints.push_back(b);
    }

    // 7: boundary chains along the three edges (corners are plane points 0, 1, 2).
    auto chain = [&planeConstraints](int from, int to, const std::map<double, int>& onEdge) {
      int prev = from;
      for (const auto& e : onEdge) {
        planeConstraints.push_back(prev);
        planeConstraints.push_back(e.second);
        prev = e.second;
      }
      planeConstraints.push_back(prev);
      planeConstraints.push_back(to);
    };
    chain(0, 1, edge01);
    chain(0, 2, edge02);
    chain(1, 2, edge12);

    // 8: triangulate and replace. An output point that is no plane point
    // (the triangulator had to add one where constraints cross) leaves the
    // triangle whole (state -2).
    CTriangleMesh mesher("pzAevnQ", plane, planeConstraints);
    mesher.DoTriangulate();
    std::vector<int> unusedA, unusedB;
    std::vector<_tri> outTris;
    std::vector<_vtx> outPts;
    mesher.GetData(unusedA, unusedB, outTris, outPts);
    for (_vtx& p : outPts) p.z = 0.0;

    auto planeOf = [&](int i) -> int {
      if (i < 0 || static_cast<std::size_t>(i) >= outPts.size()) return -1;
      const _vtx& p = outPts[static_cast<std::size_t>(i)];
      if (static_cast<std::size_t>(i) < plane.size() && sameWithin(p, plane[static_cast<std::size_t>(i)], kSame)) return i;
      for (std::size_t k = 0; k < plane.size(); ++k) {
        if (sameWithin(p, plane[k], kSame)) return static_cast<int>(k);
      }
      return -1;
    };

    std::vector<_tri> replacement;
    bool unmatched = false;
    for (const _tri& ot : outTris) {
      const _vtx& a = outPts[static_cast<std::size_t>(ot.a)];
      const _vtx& b = outPts[static_cast<std::size_t>(ot.b)];
      const _vtx& c = outPts[static_cast<std::size_t>(ot.c)];
      const double e1x = b.x - a.x, e1y = b.y - a.y, e2x = c.x - a.x, e2y = c.y - a.y;
      const double cross = e1x * e2y - e1y * e2x;
      const double l1 = e1x * e1x + e1y * e1y, l2 = e2x * e2x + e2y * e2y;
      if (l1 * l2 == 0.0 || cross * cross / (l1 * l2) < 1e-10) continue;

      const int pa = planeOf(ot.a), pb = planeOf(ot.b), pc = planeOf(ot.c);
      if (pa < 0 || pb < 0 || pc < 0) {
        unmatched = true;
        break;
      }
      auto g = [&](int pk) { return global[static_cast<std::size_t>(planeLocal[static_cast<std::size_t>(pk)])]; };
      _tri t{g(pa), g(pb), g(pc)};
      const _vtx cand[3] = {newVertices[static_cast<std::size_t>(t.a)], newVertices[static_cast<std::size_t>(t.b)],
                            newVertices[static_cast<std::size_t>(t.c)]};
      if (!MeshTools::CheckTriNormal(T, cand)) std::swap(t.a, t.b);
      if (t.a != t.b && t.b != t.c && t.a != t.c) replacement.push_back(t);
    }
    if (unmatched || replacement.empty()) {
      state = -2;
      continue;
    }

    triangleList.removeFirst(_tri{global[0], global[1], global[2]});
    for (const _tri& t : replacement) triangleList.append(t);
  }
  triangleList.compact();
  return state;
}

void CCollisionManager::isPartInTheOtherModel(const std::vector<int>& cutEdges,
                                              const std::vector<std::vector<_tri>>& parts,
                                              std::vector<_vtx>& thisVertices, std::vector<_vtx>& otherVertices,
                                              std::vector<_tri>& otherTriangles, std::vector<int>& insideFlags) {
  const std::set<int> cutVertices(cutEdges.begin(), cutEdges.end());
  // Vertices of the other side, for the coincidence test: sorted by x so the
  // search only looks at the slab |dx| < 1e-8.
  std::vector<std::pair<double, std::size_t>> byX;
  byX.reserve(otherVertices.size());
  for (std::size_t i = 0; i < otherVertices.size(); ++i) byX.emplace_back(otherVertices[i].x, i);
  std::sort(byX.begin(), byX.end());
  auto sharedWithOther = [&](const _vtx& p) {
    auto it = std::lower_bound(byX.begin(), byX.end(), std::make_pair(p.x - kSame, std::size_t(0)));
    for (; it != byX.end() && it->first < p.x + kSame; ++it) {
      if (sameWithin(otherVertices[it->second], p, kSame)) return true;
    }
    return false;
  };

  std::vector<int> samples;
  samples.reserve(parts.size());
  for (const std::vector<_tri>& part : parts) {
    int sample = -1;
    for (const _tri& t : part) {
      for (int v : {t.a, t.b, t.c}) {
        if (cutVertices.count(v)) continue;
        if (sharedWithOther(thisVertices[static_cast<std::size_t>(v)])) continue;
        sample = v;
        break;
      }
      if (sample >= 0) break;
    }
    samples.push_back(sample);
  }
  for (int sample : samples) {
    if (Stopped()) break;
    if (sample < 0) {
      insideFlags.push_back(1);
      continue;
    }
    const bool inside =
        MeshTools::PointInPolyhedron(otherVertices, otherTriangles, thisVertices[static_cast<std::size_t>(sample)]);
    insideFlags.push_back(inside ? 1 : 0);
  }
}
