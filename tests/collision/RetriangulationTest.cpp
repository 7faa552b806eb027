// Re-triangulation of crossed triangles along their cut segments, and the
// inside test of the parts, driven directly on small hand-built meshes.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>

#include "collision/CCollisionManager.h"
#include "collision/CollisionTestUtil.h"
#include "host/MeshTools.h"
#include "host/SoKRN_MainDoc.h"

class CollisionTestAccess {
public:
  static int Retriangulate(CCollisionManager& m, const std::vector<_vtx>& verts, const std::vector<int>& idx,
                           const CCollisionManager::TriCrossLineMap& map, std::vector<_vtx>& nv,
                           std::vector<_tri>& nt, std::vector<int>& cut) {
    return m.ReTriangulationMesh(verts, idx, map, nv, nt, cut);
  }
  static std::vector<int> InsideFlags(CCollisionManager& m, const std::vector<int>& cut,
                                      const std::vector<std::vector<_tri>>& parts, std::vector<_vtx> thisV,
                                      std::vector<_vtx> otherV, std::vector<_tri> otherT) {
    std::vector<int> flags;
    m.isPartInTheOtherModel(cut, parts, thisV, otherV, otherT, flags);
    return flags;
  }
  static void SetStop(CCollisionManager& m, int v) { m.m_nStopFlg.store(v); }
  static _collisionResult& Result(CCollisionManager& m) {
    if (m.m_Result.empty()) m.AddResult();
    return m.m_Result.back();
  }
};

namespace {

using Access = CollisionTestAccess;

// One triangle T0 = (0,0,0), T1 = (0,4,0), T2 = (4,0,0) (normal -z) in a
// one-triangle mesh, and a manager whose current result holds `cutPoints`.
struct OneTriangle {
  std::unique_ptr<vxtest::FlatAssembly> a{vxtest::NewFlatAssembly({})};
  CCollisionManager* m = new CCollisionManager(a->doc, "CollisionManager");
  std::vector<_vtx> verts = {{0, 0, 0}, {0, 4, 0}, {4, 0, 0}};
  std::vector<int> idx = {0, 1, 2};
  CCollisionManager::TriCrossLineMap map;
  std::vector<_vtx> nv;
  std::vector<_tri> nt;
  std::vector<int> cut;

  ~OneTriangle() { delete m; }
  int Run(const std::vector<_vtx>& cutPoints, const std::vector<std::vector<int32_t>>& segments) {
    Access::Result(*m).cutLinePnts = cutPoints;
    _triVtx key;
    for (int k = 0; k < 3; ++k) key.v[k] = verts[static_cast<std::size_t>(k)];
    map[key] = segments;
    return Access::Retriangulate(*m, verts, idx, map, nv, nt, cut);
  }
  double Area() const {
    double area = 0;
    for (const _tri& t : nt) {
      const _vtx &p = nv[static_cast<std::size_t>(t.a)], &q = nv[static_cast<std::size_t>(t.b)],
                 &r = nv[static_cast<std::size_t>(t.c)];
      area += 0.5 * std::fabs((q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x));
    }
    return area;
  }
  bool HasEdge(int i, int j) const {
    for (const _tri& t : nt) {
      const int c[3] = {t.a, t.b, t.c};
      for (int k = 0; k < 3; ++k) {
        if ((c[k] == i && c[(k + 1) % 3] == j) || (c[k] == j && c[(k + 1) % 3] == i)) return true;
      }
    }
    return false;
  }
};

}  // namespace

TEST(Retriangulation, CutSegmentsBecomeEdgesAndWindingIsKept) {
  OneTriangle t;
  // A segment from edge T0-T2 (s axis) into the interior, and on to edge T1-T2.
  const int state = t.Run({{1, 0, 0}, {1, 1, 0}, {2, 2, 0}}, {{0, 1}, {1, 2}});
  EXPECT_EQ(state, 0);
  ASSERT_EQ(t.cut.size(), 4u);
  for (std::size_t k = 0; k < t.cut.size(); k += 2) EXPECT_TRUE(t.HasEdge(t.cut[k], t.cut[k + 1]));
  EXPECT_NEAR(t.Area(), 8.0, 1e-9) << "the pieces cover the triangle";
  const _vtx original[3] = {t.verts[0], t.verts[1], t.verts[2]};
  for (const _tri& tri : t.nt) {
    const _vtx c[3] = {t.nv[static_cast<std::size_t>(tri.a)], t.nv[static_cast<std::size_t>(tri.b)],
                       t.nv[static_cast<std::size_t>(tri.c)]};
    EXPECT_TRUE(MeshTools::CheckTriNormal(original, c));
  }
  // The cut point on edge T0-T2 splits that edge: no triangle spans it whole.
  EXPECT_FALSE(t.HasEdge(0, 2));
}

TEST(Retriangulation, CutAlongTheTrianglesOwnEdgeChangesNothing) {
  OneTriangle t;
  const int state = t.Run({{0, 0, 0}, {4, 0, 0}}, {{0, 1}});
  EXPECT_EQ(state, 0);
  ASSERT_EQ(t.nt.size(), 1u);
  EXPECT_EQ(t.nt[0], (_tri{0, 1, 2}));
  EXPECT_EQ(t.cut, (std::vector<int>{0, 2})) << "the segment still counts as a cut edge";
}

TEST(Retriangulation, CutPointsMergingInTheParameterPlaneJoin) {
  OneTriangle t;
  // Two cut points 2e-7 apart along the normal: distinct points for the
  // tolerant point order (1e-7), one point in the parameter plane. Both
  // segments then run along one edge; a later crossed triangle is still cut.
  const int state = t.Run({{1, 1, 0}, {1, 1, 2e-7}, {2, 1, 0}}, {{0, 2}, {1, 2}});
  EXPECT_EQ(state, 0);
  EXPECT_GT(t.nt.size(), 1u) << "the triangle is cut";
  EXPECT_TRUE(t.HasEdge(t.cut[0], t.cut[1]));
  EXPECT_NEAR(t.Area(), 8.0, 1e-9);
  EXPECT_EQ(t.cut.size(), 4u) << "its cut edges are still reported";
}

TEST(PartInTheOtherModel, SampleIsTheFirstCornerOffTheCutAndOffTheOtherSide) {
  std::unique_ptr<vxtest::FlatAssembly> a(vxtest::NewFlatAssembly({}));
  CCollisionManager m(a->doc, "CollisionManager");
  // The other side: the unit cube.
  const vxtest::Mesh cube = vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  std::vector<_vtx> otherV;
  for (std::size_t i = 0; i < cube.xyz.size(); i += 3) otherV.push_back({cube.xyz[i], cube.xyz[i + 1], cube.xyz[i + 2]});
  std::vector<_tri> otherT;
  for (std::size_t i = 0; i < cube.tris.size(); i += 3) otherT.push_back({cube.tris[i], cube.tris[i + 1], cube.tris[i + 2]});
  // This side: 0 inside, 1 outside, 2 inside but on the cut, 3 a corner of the cube.
  const std::vector<_vtx> thisV = {{0.5, 0.5, 0.5}, {2, 2, 2}, {0.2, 0.2, 0.2}, {0, 0, 0}};
  const std::vector<int> cut = {2, 2};
  const std::vector<std::vector<_tri>> parts = {
      {{2, 0, 1}},  // the cut vertex is passed over: 0 decides, inside
      {{3, 1, 0}},  // the shared corner is passed over: 1 decides, outside
      {{2, 3, 2}},  // no usable corner: counts as inside
      {},           // empty: counts as inside
  };
  EXPECT_EQ(Access::InsideFlags(m, cut, parts, thisV, otherV, otherT), (std::vector<int>{1, 0, 1, 1}));
  Access::SetStop(m, 1);
  EXPECT_TRUE(Access::InsideFlags(m, cut, parts, thisV, otherV, otherT).empty()) << "a stop ends the tests";
  Access::SetStop(m, 0);
}
