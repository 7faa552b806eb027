// Cut lines: those of crossing closed meshes are closed polylines on both
// surfaces, and points closer than the tolerance are one point. (The sample
// assembly's results: tests/tools/CheckCommandTest.cpp.)
#include <gtest/gtest.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/lists/SoPathList.h>

#include <cmath>
#include <memory>

#include <Inventor/collision/SoIntersectionDetectionAction.h>
#include "collision/CCollisionManager.h"
#include "collision/CollisionTestUtil.h"
#include "host/SoKRN_MainDoc.h"
#include "intersection/TriangleKernels.h"

using namespace vxtest;

TEST(CutLines, CrossingSpheresGiveClosedLoopsOnBothSurfaces) {
  std::unique_ptr<FlatAssembly> a(NewFlatAssembly({Sphere(SbVec3f(0, 0, 0), 1.0f, 48, 24)}));
  a->Place(0, SbVec3f(0, 0, 0));
  a->Place(0, SbVec3f(1.2f, 0.3f, 0.1f), SbRotation(SbVec3f(1, 1, 0), 0.7f));
  SoPathList paths;
  a->Paths(0, 2, paths);
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  RunAndWait(*m);
  ASSERT_EQ(m->GetResultCount(), 1);
  const _collisionResult& r = m->Results()[0];
  ASSERT_GT(r.cutLines.size(), 20u);

  // Closed: every cut point ends exactly two segments.
  std::vector<int> degree(r.cutLinePnts.size(), 0);
  for (const auto& seg : r.cutLines) {
    ASSERT_EQ(seg.size(), 2u);
    ++degree[static_cast<std::size_t>(seg[0])];
    ++degree[static_cast<std::size_t>(seg[1])];
  }
  for (std::size_t i = 0; i < degree.size(); ++i) EXPECT_EQ(degree[i], 2) << "cut point " << i;

  // On both surfaces: every cut point within a small distance of each mesh.
  for (int side = 0; side < 2; ++side) {
    const std::vector<float> w = WorldTriangles(static_cast<SoFullPath*>(paths[side]));
    for (const _vtx& p : r.cutLinePnts) {
      double best = 1e30;
      const SbVec3f q(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
      for (std::size_t k = 0; k + 8 < w.size(); k += 9) {
        const SbVec3f t[3] = {SbVec3f(&w[k]), SbVec3f(&w[k + 3]), SbVec3f(&w[k + 6])};
        best = std::min(best, vx::tri::pointTriangleDistanceSq(q, t));
      }
      EXPECT_LT(std::sqrt(best), 1e-4) << "side " << side;
    }
  }
  delete m;
}

TEST(CutLines, PointsCloserThanTheToleranceAreMerged) {
  std::unique_ptr<FlatAssembly> a(NewFlatAssembly({Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1))}));
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  // Two triangle pairs whose crossing segments share an end point up to 5e-8.
  auto prim = [](SbVec3f a, SbVec3f b, SbVec3f c) {
    SoIntersectingPrimitive p{};
    p.type = SoIntersectingPrimitive::TRIANGLE;
    p.xf_vertex[0] = p.vertex[0] = a;
    p.xf_vertex[1] = p.vertex[1] = b;
    p.xf_vertex[2] = p.vertex[2] = c;
    return p;
  };
  // A horizontal triangle in z = 0 crossed by two upright ones in y = 0.5:
  // the first crossing runs x = -0.5 .. 0, the second x = 2.5e-8 .. 0.5.
  const SoIntersectingPrimitive flat = prim(SbVec3f(-1, -1, 0), SbVec3f(3, -1, 0), SbVec3f(-1, 3, 0));
  const SoIntersectingPrimitive wall1 = prim(SbVec3f(-1, 0.5f, -1), SbVec3f(0, 0.5f, -1), SbVec3f(0, 0.5f, 1));
  const SoIntersectingPrimitive wall2 = prim(SbVec3f(5e-8f, 0.5f, -1), SbVec3f(1, 0.5f, -1), SbVec3f(0, 0.5f, 1));
  m->m_bNewPair = 1;
  EXPECT_EQ(CCollisionManager::IntersectionCB(m, &flat, &wall1, 0.0f),
            SoIntersectionDetectionExtAction::NEXT_PRIMITIVE);
  EXPECT_EQ(CCollisionManager::IntersectionCB(m, &flat, &wall2, 0.0f),
            SoIntersectionDetectionExtAction::NEXT_PRIMITIVE);
  ASSERT_EQ(m->GetResultCount(), 1);
  const _collisionResult& r = m->Results()[0];
  EXPECT_EQ(r.cutLines.size(), 2u);
  EXPECT_EQ(r.cutLinePnts.size(), 3u) << "the shared end point is one cut point";
  EXPECT_TRUE(m->m_TriCrossLines1.empty()) << "no per-triangle data without cut faces";
  delete m;
}
