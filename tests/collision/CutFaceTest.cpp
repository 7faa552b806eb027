// Cut faces: the closed surface of the overlap of two instances, and its
// volume, against an independent reference (CGAL's corefinement).
#include <gtest/gtest.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/lists/SoPathList.h>

#include <cmath>
#include <map>
#include <memory>

#include "collision/CCollisionManager.h"
#include "collision/CollisionTestUtil.h"
#include "host/DocumentBuilder.h"
#include "host/SampleAssembly.h"
#include "host/SoKRN_MainDoc.h"
#include "mesh/CutFace.h"
#include "mesh/PointGrid.h"

using namespace vxtest;

namespace {

struct CutFace {
  int results = 0;
  double volume = 0;
  std::vector<_vtx> points;
  std::vector<int32_t> tris;
};

CutFace RunCutFace(SoKRN_MainDoc* doc, SoPathList& paths, int calcType, float tolerance) {
  auto* m = new CCollisionManager(doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  m->m_bCalcCrossMesh = 1;
  m->m_nCalcType = calcType;
  m->m_fTolerance = tolerance;
  RunAndWait(*m);
  CutFace out;
  out.results = m->GetResultCount();
  if (out.results > 0) {
    const _collisionResult& r = m->Results()[0];
    out.volume = r.fCompacity;
    out.points = r.cutFacePnts;
    out.tris = r.cutFaceTris;
  }
  delete m;
  return out;
}

CutFace RunCutFace(FlatAssembly& a, int calcType, float tolerance) {
  SoPathList paths;
  a.Paths(0, a.count, paths);
  return RunCutFace(a.doc, paths, calcType, tolerance);
}

// Every edge of a closed, consistently wound surface is used once in each
// direction. Edges with both ends in `skip` are not looked at.
void ExpectClosedAndWound(const CutFace& f, bool (*skip)(const _vtx&) = nullptr) {
  std::map<std::pair<int, int>, int> directed;
  for (std::size_t i = 0; i + 2 < f.tris.size(); i += 3) {
    for (int k = 0; k < 3; ++k) ++directed[{f.tris[i + k], f.tris[i + (k + 1) % 3]}];
  }
  int open = 0, misWound = 0;
  for (const auto& e : directed) {
    if (skip && skip(f.points[static_cast<std::size_t>(e.first.first)]) &&
        skip(f.points[static_cast<std::size_t>(e.first.second)]))
      continue;
    if (e.second != 1) ++misWound;
    if (!directed.count({e.first.second, e.first.first})) ++open;
  }
  EXPECT_EQ(open, 0) << "edges without a partner";
  EXPECT_EQ(misWound, 0) << "edges used twice in one direction";
}

}  // namespace

// Curved pairs against CGAL's corefinement: two turned spheres, and a sphere
// through a face of a finely split box, off every grid line.
TEST(CutFace, CurvedPairsMatchTheCorefinedReference) {
  const struct {
    std::vector<Mesh> protos;
    int second;
    SbVec3f at;
    SbRotation turn;
  } cases[] = {
      {{Sphere(SbVec3f(0, 0, 0), 1.0f, 64, 32)},
       0,
       SbVec3f(1.1f, 0.2f, 0.15f),
       SbRotation(SbVec3f(0.3f, 1, 0.2f), 0.9f)},
      {{Box(SbVec3f(0, 0, 0), SbVec3f(2, 2, 2), 6), Sphere(SbVec3f(0, 0, 0), 0.8f, 64, 32)},
       1,
       SbVec3f(1.9f, 1.1f, 0.7f),
       SbRotation::identity()},
  };
  for (const auto& c : cases) {
    std::unique_ptr<FlatAssembly> a(NewFlatAssembly(c.protos));
    a->Place(0, SbVec3f(0, 0, 0));
    a->Place(c.second, c.at, c.turn);
    SoPathList paths;
    a->Paths(0, 2, paths);
    const double reference = CorefinedVolume(static_cast<SoFullPath*>(paths[0]), static_cast<SoFullPath*>(paths[1]));
    ASSERT_GT(reference, 0);
    const CutFace f = RunCutFace(*a, 1, 0.0f);
    ASSERT_EQ(f.results, 1);
    EXPECT_NEAR(f.volume, reference, 0.01 * reference);
    ExpectClosedAndWound(f);
  }
}

TEST(CutFace, TouchingOnlyIsDroppedUnderCalcTypeZero) {
  std::unique_ptr<FlatAssembly> a(NewFlatAssembly({Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1), 2)}));
  a->Place(0, SbVec3f(0, 0, 0));
  a->Place(0, SbVec3f(1, 0.25f, 0.25f));  // flush faces: no volume
  EXPECT_EQ(RunCutFace(*a, 0, 0.0f).results, 0);
  const CutFace kept = RunCutFace(*a, 1, 0.0f);
  EXPECT_EQ(kept.results, 1) << "calc type 1 keeps every result";
  EXPECT_NEAR(kept.volume, 0.0, 1e-6);
}

// Boxes split into different quads overlapping with flush faces, as two CAD
// tessellations would: the flush faces are kept from the first box, the wall
// inside it from the second, so their seams carry points of one side only
// (T-junctions) and close only once those are split.
TEST(CutFace, FlushBoxesOfDifferentSplitsClose) {
  std::unique_ptr<FlatAssembly> a(
      NewFlatAssembly({Box(SbVec3f(0, 0, 0), SbVec3f(10, 10, 10), 2), Box(SbVec3f(0, 0, 0), SbVec3f(10, 10, 10), 3)}));
  a->Place(0, SbVec3f(0, 0, 0));
  a->Place(1, SbVec3f(4, 0, 0));
  const CutFace f = RunCutFace(*a, 1, 0.0f);
  ASSERT_EQ(f.results, 1);
  EXPECT_NEAR(f.volume, 600, 1e-3);
  ExpectClosedAndWound(f);
}

// Flush faces of boxes split differently, some turned: each cut point of a
// seam must become one point of the cut face, which then closes with the
// exact volume. Left uncut, pieces straddling the other side are judged
// whole and the cut face stays open: no volume then, and the note says why.
TEST(CutFace, FlushFacesCloseWithTheExactVolumeOrHaveNone) {
  const struct {
    int na, nb;
    SbVec3f lo, hi, at;
    float turn;
    double exact;
  } cases[] = {{3, 1, {0, 0, 0}, {4, 14, 6}, {3, -2, 4}, 0, 240},
               {3, 2, {0, 0, 0}, {4, 14, 6}, {3, -2, 4}, 0, 240},
               {3, 1, {0, 0, 0}, {10, 10, 10}, {3.3f, 2.7f, 0}, 0, 6.7 * 7.3 * 10},
               {1, 1, {-3, -3, 0}, {3, 3, 10}, {9, 5, 0}, 0.5f, 248.3696356},  // square clipped by hand
               {2, 2, {-3, -3, 0}, {3, 3, 10}, {9, 5, 0}, 0.5f, 248.3696356},
               {3, 1, {-3, -3, 0}, {3, 3, 10}, {9, 5, 0}, 0.5f, 248.3696356}};
  auto uncut = [](const Mesh& m, const SbVec3f& at) {
    std::vector<vx::mesh::Vec3> corners;
    for (int i : m.tris) corners.push_back({m.xyz[3 * i] + at[0], m.xyz[3 * i + 1] + at[1], m.xyz[3 * i + 2] + at[2]});
    vx::mesh::CutFaceSide s;
    vx::mesh::WeldTriangles(corners, 1e-9, s.points, s.tris);
    s.cutPoints = s.points, s.cutTris = s.tris;
    for (int i = 0; i < static_cast<int>(s.points.size()); ++i) s.cutEdges.insert(s.cutEdges.end(), {i, i});
    return s;
  };
  for (const auto& c : cases) {
    const Mesh a = Box(SbVec3f(0, 0, 0), SbVec3f(10, 10, 10), c.na), b = Box(c.lo, c.hi, c.nb);
    std::unique_ptr<FlatAssembly> fa(NewFlatAssembly({a, b}));
    fa->Place(0, SbVec3f(0, 0, 0));
    fa->Place(1, c.at, SbRotation(SbVec3f(0, 0, 1), c.turn));
    const CutFace f = RunCutFace(*fa, 1, 0.0f);
    ASSERT_EQ(f.results, 1);
    EXPECT_NEAR(f.volume, c.exact, 1e-4 * c.exact) << c.na << " " << c.nb << " at " << c.at[0];
    ExpectClosedAndWound(f);
    if (c.turn != 0) continue;
    const vx::mesh::CutFace open = vx::mesh::BuildCutFace(uncut(a, {0, 0, 0}), uncut(b, c.at), [] { return false; });
    EXPECT_FALSE(open.volumeKnown);
    EXPECT_NE(open.volumeNote.find("the cut face is not closed"), std::string::npos) << open.volumeNote;
  }
}

// A bolt in an undersized hole with its head seated on the plate: the shank
// cuts the plate's faces and hole wall, and the head's underside lies flat on
// the plate top, where one cut point is reached along many triangle pairs.
// The flat contact enters the cut face from both sides as a layer without
// volume (its parts have no vertex off the cut lines, so they count as
// inside); the two layers are triangulated separately and do not close up
// with each other, so the contact plane is left out of the closedness check.
TEST(CutFace, BoltInUndersizedHoleWithSeatedHead) {
  SoKRN_MainDoc* doc = vx::host::BuildSampleAssembly();
  PathHolder plate(PathTo(doc, "2|0")), bolt(PathTo(doc, "2|2"));
  SoPathList paths;
  paths.append(plate.get());
  paths.append(bolt.get());
  const double reference = CorefinedVolume(plate.get(), bolt.get());
  // Two 32-gons, radius 4 in radius 3.5, through a plate 5 thick.
  EXPECT_NEAR(reference, 16 * std::sin(M_PI / 16) * (16 - 12.25) * 5, 1e-3);
  const CutFace f = RunCutFace(doc, paths, 1, 0.0f);
  ASSERT_EQ(f.results, 1);
  EXPECT_NEAR(f.volume, reference, 0.01 * reference);
  ExpectClosedAndWound(f);
  doc->unref();
}

// An instance checked against itself (two groups, same path, same instances
// not skipped): the cut face is the welded surface of every triangle the
// action gathered below it, and its measure the volume that surface bounds;
// none when a face is missing.
TEST(CutFace, InstanceAgainstItselfGivesItsWholeSurface) {
  for (bool open : {false, true}) {
    Mesh box = Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
    if (open) box.tris.resize(box.tris.size() - 6);
    std::unique_ptr<FlatAssembly> a(NewFlatAssembly({box}));
    SoKRN_ComponentKit* sub = vx::host::MakeAssemblyPrototype(a->doc, L"Sub");
    vx::host::PlaceInstance(a->doc, sub, a->protos[0], SbMatrix::identity());
    SbMatrix shifted;
    shifted.setTranslate(SbVec3f(0.5f, 0.25f, 0));
    vx::host::PlaceInstance(a->doc, sub, a->protos[0], shifted);
    vx::host::PlaceInstance(a->doc, a->doc->getTopPrototype(), sub, SbMatrix::identity(), L"Sub", 1);
    SoPathList paths;
    a->Paths(0, 1, paths);
    auto* m = new CCollisionManager(a->doc, "CollisionManager");
    m->m_b2Group = 1;
    m->m_bSkipSameIns = 0;
    m->m_bCalcCrossMesh = 1;
    m->m_nCalcType = 1;
    m->AddIns1(&paths, 0);
    m->AddIns2(&paths, 0);
    RunAndWait(*m);
    ASSERT_EQ(m->GetResultCount(), 1);
    const _collisionResult& r = m->Results()[0];
    if (open) {
      EXPECT_TRUE(std::isnan(r.fCompacity));
      EXPECT_NE(r.volumeNote.find("not closed"), std::string::npos) << r.volumeNote;
    } else {
      EXPECT_EQ(r.cutFaceTris.size(), 2u * 12 * 3) << "both boxes, whole";
      EXPECT_EQ(r.cutFacePnts.size(), 16u);
      EXPECT_NEAR(r.fCompacity, 2.0, 1e-5) << "two unit boxes; the overlap counts twice";
    }
    delete m;
  }
}

// A part wholly inside another: no triangle pair comes near, yet the solids
// overlap. Found with and without cut faces, in either order of the pair;
// a part in the other's box but outside its solid (in a notch) is not.
TEST(CutFace, PartWhollyInsideIsAnInterference) {
  for (bool innerFirst : {false, true}) {
    for (int cut : {0, 1}) {
      const Mesh outer = Box(SbVec3f(0, 0, 0), SbVec3f(4, 4, 4), 2), inner = Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
      std::unique_ptr<FlatAssembly> a(
          NewFlatAssembly(innerFirst ? std::vector<Mesh>{inner, outer} : std::vector<Mesh>{outer, inner}));
      a->Place(0, SbVec3f(innerFirst ? 1.5f : 0, innerFirst ? 1.25f : 0, innerFirst ? 1 : 0));
      a->Place(1, SbVec3f(innerFirst ? 0 : 1.5f, innerFirst ? 0 : 1.25f, innerFirst ? 0 : 1));
      SoPathList paths;
      a->Paths(0, 2, paths);
      auto* m = new CCollisionManager(a->doc, "CollisionManager");
      m->AddIns1(&paths, 0);
      m->m_bCalcCrossMesh = cut;
      m->m_nCalcType = 1;
      RunAndWait(*m);
      ASSERT_EQ(m->GetResultCount(), 1);
      const _collisionResult& r = m->Results()[0];
      EXPECT_TRUE(r.bInside && r.Penetrates());
      EXPECT_EQ(r.nType, 0);
      if (cut) {
        EXPECT_NEAR(r.fCompacity, 1.0, 1e-5) << "the inner part's volume";
      }
      delete m;
    }
  }
  // A small box in a sphere's box, near its corner: outside the sphere.
  std::unique_ptr<FlatAssembly> a(
      NewFlatAssembly({Sphere(SbVec3f(0, 0, 0), 2.0f, 32, 16), Box(SbVec3f(0, 0, 0), SbVec3f(0.2f, 0.2f, 0.2f))}));
  a->Place(0, SbVec3f(0, 0, 0));
  a->Place(1, SbVec3f(1.7f, 1.7f, 1.7f));  // in the sphere's box, outside the sphere
  SoPathList paths;
  a->Paths(0, 2, paths);
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  m->m_nCalcType = 1;
  RunAndWait(*m);
  EXPECT_EQ(m->GetResultCount(), 0);
  delete m;
}
