// Snapping driven as a viewer drives it: a mouse click at a pixel through
// SoHandleEventAction on an SoSelection whose pick filter is the snapping
// filter, on a document built from tessellated parts (their edges found by
// the host). Checked: the snapped point in the document's pick data against
// the parts' designed geometry, the path the selection takes, the active
// kinds (a brute-force nearest-candidate reference over random picks and
// kind sets), the de-highlight callback, and a part imported from STL.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <Inventor/SoFullPath.h>
#include <Inventor/SoPickedPoint.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSwitch.h>

#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_EdgeKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "host/TpxGeometryAttribute.h"
#include "picking/SnappingFilter.h"
#include "picking/SoKRN_PointTracker.h"
#include "support/PickScene.h"
#ifdef VX_PICKING_WITH_TOOLS
#include "tools/AssemblyImporter.h"
#endif

namespace {

constexpr double kPi = 3.141592653589793;
using Kinds = std::vector<std::string>;

// The hole's top rim as its attribute has it (prototype coordinates).
struct Rim {
  SbVec3f centre, start, z;
};

Rim TopRim(SoKRN_ComponentKit* plateInstance) {
  SoGroup* bodies = plateInstance->getPrototype()->getBodiesIfAny();
  for (int i = 0; bodies && i < bodies->getNumChildren(); ++i) {
    if (!bodies->getChild(i)->isOfType(SoKRN_EdgeKit::getClassTypeId())) continue;
    auto* kit = static_cast<SoKRN_EdgeKit*>(bodies->getChild(i));
    for (int e = 0; e < kit->getNumEdges(); ++e) {
      auto* ell = dynamic_cast<Tpx_EllipseAttribute*>(kit->getEdgeAttribute(e));
      TPX_PNT32 c, s;
      TPX_DIR32 x, y, z;
      if (!ell) continue;
      ell->GetCenterPoint(c);
      if (c.z < 5) continue;
      ell->GetStartPoint(s);
      ell->GetXYZDir(x, y, z);
      return {SbVec3f(c.x, c.y, c.z), SbVec3f(s.x, s.y, s.z), SbVec3f(z.x, z.y, z.z)};
    }
  }
  ADD_FAILURE() << "the plate has no top rim circle";
  return {};
}

class Snapping : public ::testing::Test {
protected:
  void SetUp() override {
    scene.root->setPickFilterCallback(SnappingFilter::SnappingPickCB, &filter);
    rim = TopRim(scene.plate);
  }

  // Clicks at the world point `at` with the point kinds `kinds` active.
  // True when the pick left pick data.
  bool snapAt(const SbVec3f& at, const Kinds& kinds) {
    SnappingFilter::DeHighlightPathCB(&filter, nullptr);
    state()->setSnappingFilterType({"PNT"}, kinds, {});
    scene.root->deselectAll();
    scene.clickAt(at);
    return state()->hasPickData();
  }
  SbVec3f snapped() const { return state()->getPickData().snappedPoint; }
  SbVec3f picked() const { return state()->getPickData().pickedPoint; }
  SoKRN_State* state() const { return scene.doc->getKRNState(); }

  // The rim point at angle `deg` from the start point (as the probes turn),
  // at radius `r`, in world coordinates.
  SbVec3f rimAt(double deg, double r) const {
    const SbVec3f s = rim.start - rim.centre, w = s.cross(rim.z);
    const double t = deg * kPi / 180.0;
    SbVec3f p = rim.centre + (s * float(std::cos(t)) + w * float(std::sin(t))) * float(r / 6.0), out;
    scene.plateMatrix.multVecMatrix(p, out);
    return out;
  }

  picktest::Scene scene;
  SnappingFilter filter{scene.doc};
  Rim rim;
};

TEST_F(Snapping, SnapsToTheEdgePointsOfRealParts) {
  const SbVec3f holeCentre(2, 3, 10);  // designed: the plate's placement of (0, 0, 10)
  struct Case {
    const char* name;
    SbVec3f at;  // clicked world point, 0.1 off the edge (outside or into the hole)
    Kinds kinds;
    SbVec3f expect;
  };
  // The box's near top edge runs from (50, -10, 20) to (70, -10, 20).
  const Case cases[] = {
      {"end near the start", {54, -10.1f, 20}, {"END"}, {50, -10, 20}},
      {"end near the far end", {66, -10.1f, 20}, {"MID", "END"}, {70, -10, 20}},
      {"midpoint near the middle", {59, -10.1f, 20}, {"END", "MID"}, {60, -10, 20}},
      {"vertex", {54, -10.1f, 20}, {"VTX"}, {50, -10, 20}},
      {"midpoint however far", {51, -10.1f, 20}, {"MID"}, {60, -10, 20}},
      {"hole centre from a centre probe", rimAt(20, 5.9), {"CENT"}, holeCentre},
      {"hole centre near 15 degrees", rimAt(13, 5.9), {"ANG", "CENT"}, holeCentre},
      {"hole centre near 345 degrees", rimAt(347, 5.9), {"ANG", "CENT"}, holeCentre},
      {"hole quadrant at 45 degrees", rimAt(44, 5.9), {"CENT", "ANG"}, rimAt(45, 6)},
      {"hole quadrant at 270 degrees", rimAt(268, 5.9), {"ANG"}, rimAt(270, 6)},
      {"hole start point", rimAt(100, 5.9), {"END"}, rimAt(0, 6)},
      {"cylinder centre", {-55, 8.1f, 25}, {"CENT"}, {-55, 0, 25}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(snapAt(c.at, c.kinds));
    EXPECT_LT((snapped() - c.expect).length(), 1e-4f) << snapped()[0] << " " << snapped()[1] << " " << snapped()[2];
    // The selection takes the picked edge's path.
    ASSERT_EQ(scene.root->getNumSelected(), 1);
    auto* sel = static_cast<SoFullPath*>(scene.root->getPath(0));
    EXPECT_TRUE(sel->getTail()->isOfType(SoIndexedLineSet::getClassTypeId()));
    auto* held = static_cast<SoFullPath*>(state()->getPickData().path);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->getTail(), sel->getTail());
  }
  // The quadrant point is the circle's, not the 36-gon's (whose side there
  // lies 0.023 inside the circle).
  ASSERT_TRUE(snapAt(rimAt(44, 5.9), {"ANG"}));
  EXPECT_NEAR((snapped() - holeCentre).length(), 6.0f, 1e-4f);
}

TEST_F(Snapping, FreePointsFacesAndKindsThatDoNotApply) {
  // "ANY" on an edge: the picked point itself, and nothing else is tried.
  ASSERT_TRUE(snapAt({54, -10.1f, 20}, {"ANY", "END"}));
  EXPECT_EQ(snapped(), picked());
  EXPECT_NEAR(picked()[1], -10.0f, 1e-3f);
  // Press and release both ask the filter: one free candidate each.
  ASSERT_EQ(filter.getCandidates().size(), 2u);
  for (const auto& c : filter.getCandidates()) EXPECT_TRUE(c.free && c.kind == "ANY");
  // A face: no candidate, nothing selected, "ANY" or not.
  for (const Kinds& k : {Kinds{"END"}, Kinds{"ANY", "END"}}) {
    EXPECT_FALSE(snapAt({60, 0, 20}, k));
    EXPECT_EQ(scene.root->getNumSelected(), 0);
  }
  // Unknown kinds are ignored.
  EXPECT_FALSE(snapAt({59, -10.1f, 20}, {"XYZ"}));
  // Without the "PNT" object kind nothing is snapped.
  SnappingFilter::DeHighlightPathCB(&filter, nullptr);
  state()->setSnappingFilterType({"LINE"}, {"END"}, {});
  scene.clickAt(SbVec3f(54, -10.1f, 20));
  EXPECT_FALSE(state()->hasPickData());
  EXPECT_EQ(scene.root->getNumSelected(), 0);
}

// Random picks on the box edge and the hole rim with random sets of kinds:
// the snapped point is the target of the nearest probe among the active
// kinds only, computed here from the designed geometry.
TEST_F(Snapping, OnlyActiveKindsAreChosen) {
  std::mt19937 rng(16);
  std::uniform_real_distribution<double> u(0, 1);
  const char* all[] = {"MID", "CENT", "ANG", "VTX", "END"};
  const double cent[] = {15, 37.5, 52.5, 75, 105, 127.5, 142.5, 165, 195, 217.5, 232.5, 255, 285, 307.5, 322.5, 345};
  int snaps = 0;
  for (int trial = 0; trial < 40; ++trial) {
    Kinds kinds;
    for (const char* k : all)
      if (u(rng) < 0.4) kinds.push_back(k);
    const bool onBox = trial % 2 == 0;
    const double t = u(rng);
    const SbVec3f at = onBox ? SbVec3f(float(50.5 + 19 * t), -10.1f, 20) : rimAt(360 * t, 5.9);
    // Reference candidates: (probe, target) of every active kind.
    std::vector<std::pair<SbVec3f, SbVec3f>> ref;
    for (const std::string& k : kinds) {
      if (onBox && (k == "VTX" || k == "END")) {
        ref.push_back({{50, -10, 20}, {50, -10, 20}});
        ref.push_back({{70, -10, 20}, {70, -10, 20}});
      } else if (onBox && k == "MID") {
        ref.push_back({{60, -10, 20}, {60, -10, 20}});
      } else if (!onBox && (k == "VTX" || k == "END")) {
        ref.push_back({rimAt(0, 6), rimAt(0, 6)});
      } else if (!onBox && k == "CENT") {
        for (double a : cent) ref.push_back({rimAt(a, 6), SbVec3f(2, 3, 10)});
      } else if (!onBox && k == "ANG") {
        for (int a = 0; a < 360; a += 45) ref.push_back({rimAt(a, 6), rimAt(a, 6)});
      }
    }
    SCOPED_TRACE(trial);
    const bool hit = snapAt(at, kinds);
    ASSERT_EQ(hit, !ref.empty());
    if (!hit) continue;
    ++snaps;
    const std::pair<SbVec3f, SbVec3f>* best = &ref[0];
    for (const auto& r : ref)
      if ((r.first - picked()).length() < (best->first - picked()).length()) best = &r;
    EXPECT_LT((snapped() - best->second).length(), 1e-3f);
  }
  EXPECT_GT(snaps, 20);
}

TEST_F(Snapping, EventActionFormAndDeHighlight) {
  // The event-action form, called from the viewer's own event handling.
  scene.root->setPickFilterCallback(nullptr);
  auto* events = new SoEventCallback;
  events->addEventCallback(
      SoMouseButtonEvent::getClassTypeId(),
      [](void* f, SoEventCallback* cb) {
        if (SoMouseButtonEvent::isButtonPressEvent(cb->getEvent(), SoMouseButtonEvent::BUTTON1))
          SnappingFilter::SnappingFilterCB(f, cb->getAction());
      },
      &filter);
  scene.root->insertChild(events, 0);
  ASSERT_TRUE(snapAt({66, -10.1f, 20}, {"END"}));
  EXPECT_EQ(snapped(), SbVec3f(70, -10, 20));

  // The tracker marks the snapped point; candidates pile up until the
  // de-highlight, which clears them, the pick data and the marker.
  SoKRN_PointTracker* tracker = filter.getTracker();
  EXPECT_EQ(tracker->getSwitch()->whichChild.getValue(), 0);
  EXPECT_EQ(tracker->getCoordinates()->point[0], SbVec3f(70, -10, 20));
  state()->setSnappingFilterType({"PNT"}, {"END"}, {});
  scene.clickAt(SbVec3f(54, -10.1f, 20));
  EXPECT_EQ(filter.getCandidates().size(), 2u * 2);  // two presses, two ends each
  EXPECT_EQ(snapped(), SbVec3f(50, -10, 20));
  SnappingFilter::DeHighlightPathCB(&filter, nullptr);
  EXPECT_TRUE(filter.getCandidates().empty());
  EXPECT_FALSE(state()->hasPickData());
  EXPECT_EQ(tracker->getSwitch()->whichChild.getValue(), SO_SWITCH_NONE);
}

#ifdef VX_PICKING_WITH_TOOLS
// The plate once more, written as an ASCII STL soup (no shared vertices) and
// read by the importer.
TEST(ImportedEdges, SnapToTheHoleOfAnStlPlate) {
  const vxtest::Mesh plate = picktest::PlateWithHole(30, 10, 6, 36);
  const std::string file = ::testing::TempDir() + "vx_picking_plate.stl";
  {
    std::ofstream out(file);
    out << "solid plate\n";
    for (size_t t = 0; t < plate.tris.size() / 3; ++t) {
      out << "facet normal 0 0 0\nouter loop\n";
      for (int k = 0; k < 3; ++k) {
        const float* p = &plate.xyz[3 * plate.tris[3 * t + k]];
        out << "vertex " << p[0] << " " << p[1] << " " << p[2] << "\n";
      }
      out << "endloop\nendfacet\n";
    }
    out << "endsolid plate\n";
  }
  std::string error;
  SoKRN_MainDoc* doc = ImportAssembly(file, error);
  std::remove(file.c_str());
  ASSERT_NE(doc, nullptr) << error;

  picktest::Scene scene(doc);
  SnappingFilter filter(doc);
  scene.root->setPickFilterCallback(SnappingFilter::SnappingPickCB, &filter);
  doc->getKRNState()->setSnappingFilterType({"PNT"}, {"CENT"}, {});
  scene.clickAt(SbVec3f(5.9f, 0, 10));  // just inside the hole's top rim
  ASSERT_TRUE(doc->getKRNState()->hasPickData());
  EXPECT_LT((doc->getKRNState()->getPickData().snappedPoint - SbVec3f(0, 0, 10)).length(), 1e-4f);
}
#endif

}  // namespace
