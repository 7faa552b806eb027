// Cut faces, volumes and kinds on tessellated CAD solids built here with Open
// CASCADE: bolts in nuts with flush ends, a shaft in a bore of its own
// radius, plates stacked on plates, a ball pressed into a race (a part in an
// open floor: tests/tools/CheckVolumesTest.cpp). Two references per volume:
// CGAL's corefinement of the very meshes we check (must agree within 1 %),
// and the exact B-rep common volume (agrees up to the tessellation error:
// within 1 % here).
#include <gtest/gtest.h>

#include <BRepAlgoAPI_Common.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepGProp.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>

#include <Inventor/lists/SoPathList.h>

#include <cmath>
#include <map>
#include <memory>

#include "collision/CCollisionManager.h"
#include "collision/CollisionTestUtil.h"
#include "host/SoKRN_MainDoc.h"

using namespace vxtest;

namespace {

// The shape's faces tessellated (linear deflection `deflection`, angular
// 0.1 rad: fine enough that the meshes' own volumes lie within 1 % of the
// exact solids'), outward wound, in world coordinates.
Mesh Tessellate(const TopoDS_Shape& shape, double deflection) {
  BRepMesh_IncrementalMesh mesher(shape, deflection, false, 0.1);
  Mesh out;
  for (TopExp_Explorer ex(shape, TopAbs_FACE); ex.More(); ex.Next()) {
    const TopoDS_Face& face = TopoDS::Face(ex.Current());
    TopLoc_Location loc;
    const Handle(Poly_Triangulation) tri = BRep_Tool::Triangulation(face, loc);
    if (tri.IsNull()) continue;
    const int base = static_cast<int>(out.xyz.size() / 3);
    for (int i = 1; i <= tri->NbNodes(); ++i) {
      const gp_Pnt p = tri->Node(i).Transformed(loc.Transformation());
      out.xyz.insert(out.xyz.end(), {static_cast<float>(p.X()), static_cast<float>(p.Y()), static_cast<float>(p.Z())});
    }
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    for (int i = 1; i <= tri->NbTriangles(); ++i) {
      int a, b, c;
      tri->Triangle(i).Get(a, b, c);
      if (reversed) std::swap(b, c);
      out.tris.insert(out.tris.end(), {base + a - 1, base + b - 1, base + c - 1});
    }
  }
  return out;
}

double ExactCommon(const TopoDS_Shape& a, const TopoDS_Shape& b) {
  BRepAlgoAPI_Common common(a, b);
  GProp_GProps props;
  BRepGProp::VolumeProperties(common.Shape(), props);
  return props.Mass();
}

struct Outcome {
  int results = 0;
  bool penetrates = false;
  float volume = 0;
  double depth = -1;
  std::string note;
  int openEdges = 0, misWound = 0, triangles = 0;
};

Outcome Check(FlatAssembly& a, bool cutFaces) {
  SoPathList paths;
  a.Paths(0, 2, paths);
  auto* m = new CCollisionManager(a.doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  m->m_bCalcCrossMesh = cutFaces ? 1 : 0;
  m->m_nCalcType = 1;
  RunAndWait(*m);
  Outcome o;
  o.results = m->GetResultCount();
  if (o.results == 1) {
    const _collisionResult& r = m->Results()[0];
    o.penetrates = r.Penetrates();
    o.volume = r.fCompacity;
    o.note = r.volumeNote;
    o.depth = r.penetrationDepth;
    std::map<std::pair<int, int>, int> directed;
    for (std::size_t i = 0; i + 2 < r.cutFaceTris.size(); i += 3)
      for (int k = 0; k < 3; ++k) ++directed[{r.cutFaceTris[i + k], r.cutFaceTris[i + (k + 1) % 3]}];
    for (const auto& e : directed) {
      o.misWound += e.second != 1;
      o.openEdges += !directed.count({e.first.second, e.first.first});
    }
    o.triangles = static_cast<int>(r.cutFaceTris.size() / 3);
  }
  delete m;
  return o;
}

TopoDS_Shape Cylinder(double r, double h, double z0 = 0, double x = 0, double y = 0) {
  return BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x, y, z0), gp_Dir(0, 0, 1)), r, h).Shape();
}

TopoDS_Shape BoxAt(double x0, double y0, double z0, double dx, double dy, double dz) {
  return BRepPrimAPI_MakeBox(gp_Pnt(x0, y0, z0), dx, dy, dz).Shape();
}

}  // namespace

// Closed solids: the kind, the closed cut face and both volume references.
TEST(CadCorpus, ClosedSolidsMatchBothReferences) {
  const TopoDS_Shape nut = BRepAlgoAPI_Cut(BoxAt(-10, -10, 0, 20, 20, 8), Cylinder(3.8, 8)).Shape();
  const TopoDS_Shape bolt = BRepAlgoAPI_Fuse(Cylinder(4, 20, -12), Cylinder(7, 4, -16)).Shape();  // end flush at z = 8
  const TopoDS_Shape block = BRepAlgoAPI_Cut(BoxAt(-10, -10, 0, 20, 20, 10), Cylinder(5, 10)).Shape();
  const TopoDS_Shape shaft = Cylinder(5, 16, -3);  // the bore's own radius
  const TopoDS_Shape race =
      BRepAlgoAPI_Cut(BoxAt(-8, -8, 0, 16, 16, 6), BRepPrimAPI_MakeSphere(gp_Pnt(0, 0, 6), 5).Shape()).Shape();
  const TopoDS_Shape ball = BRepPrimAPI_MakeSphere(gp_Pnt(0.3, 0.2, 6.6), 5.2).Shape();
  const TopoDS_Shape s1 = BRepPrimAPI_MakeSphere(gp_Pnt(0, 0, 0), 3).Shape();
  const TopoDS_Shape s2 = BRepPrimAPI_MakeSphere(gp_Pnt(3.7, 1.1, 0.4), 2.5).Shape();
  const TopoDS_Shape plate1 = BoxAt(0, 0, 0, 30, 20, 4), plate2 = BoxAt(5, 3, 4, 10, 10, 4);
  const TopoDS_Shape sunk = BoxAt(5, 3, 2.5, 10, 10, 4);  // a plate sunk 1.5 into the other
  const struct {
    const char* name;
    TopoDS_Shape a, b;
    bool penetrates;
    double depth;  // by hand where the overlap is a slab or a ring; -1: only checked positive
  } cases[] = {
      {"bolt in undersized nut, end flush", nut, bolt, true, 0.2},
      {"shaft in a bore of its radius", block, shaft, false, 0},
      {"ball pressed into its race", race, ball, true, -1},
      {"two spheres", s1, s2, true, -1},
      {"plate resting on a plate", plate1, plate2, false, 0},
      {"plate sunk into a plate", plate1, sunk, true, 1.5},
      {"blocks touching along an edge", BoxAt(0, 0, 0, 10, 10, 10), BoxAt(10, 10, 2, 5, 5, 5), false, 0},
      {"identical blocks", plate2, plate2, true, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<FlatAssembly> a(NewFlatAssembly({Tessellate(c.a, 0.02), Tessellate(c.b, 0.02)}));
    a->Place(0, SbVec3f(0, 0, 0));
    a->Place(1, SbVec3f(0, 0, 0));
    SoPathList paths;
    a->Paths(0, 2, paths);
    const double corefined = CorefinedVolume(static_cast<SoFullPath*>(paths[0]), static_cast<SoFullPath*>(paths[1]));
    const double exact = ExactCommon(c.a, c.b);
    const Outcome plain = Check(*a, false);
    ASSERT_EQ(plain.results, 1);
    EXPECT_EQ(plain.penetrates, c.penetrates) << "the kind, without cut faces";
    const Outcome o = Check(*a, true);
    ASSERT_EQ(o.results, 1);
    EXPECT_EQ(o.penetrates, c.penetrates);
    ASSERT_TRUE(o.note.empty()) << o.note;
    ASSERT_GE(corefined, 0);
    // 1 % of the overlap, and for a near-zero overlap 1e-4 of the smaller part.
    const double floor = 1e-4 * std::min(4.0 * 6 * 6 * 6, 8.0 * 20 * 20);
    const double slack = std::max(0.01 * corefined, floor);
    EXPECT_NEAR(o.volume, corefined, slack) << "exact B-rep common volume " << exact;
    EXPECT_NEAR(o.volume, exact, std::max(0.01 * exact, floor)) << "against the B-rep";
    // The ball's cut line runs where the race's surface nearly grazes it:
    // slivers between cut points lie within the tolerance of the other
    // surface and must still join the piece they belong to.
    EXPECT_EQ(o.openEdges, 0) << "the cut face is closed";
    EXPECT_EQ(o.misWound, 0) << "and consistently wound";
    EXPECT_TRUE(c.penetrates || o.triangles == 0) << "a contact leaves no layer";
    // The depth is a lower bound: within the tessellation's sagitta (0.02) of
    // the hand value, and positive for every penetration.
    EXPECT_TRUE(c.depth >= 0 ? std::fabs(o.depth - c.depth) <= 0.05 : o.depth > 0) << "penetration depth " << o.depth;
  }
}
