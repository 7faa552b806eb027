// Snapping on an imported part: the plate with its hole written as an ASCII
// STL soup (no shared vertices), read by the importer, clicked on its hole.
#ifdef VX_PICKING_WITH_TOOLS
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/SbTime.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/events/SoMouseButtonEvent.h>

#include "PickScene.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "picking/SnappingFilter.h"
#include "tools/AssemblyImporter.h"

namespace {

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

  auto* root = new SoSelection;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position.setValue(5.9f, 0, 100);  // above the hole's rim
  camera->height = 10;
  camera->farDistance = 200;
  root->addChild(camera);
  root->addChild(doc);
  {
    SnappingFilter filter(doc);
    root->setPickFilterCallback(SnappingFilter::SnappingPickCB, &filter);
    doc->getKRNState()->setSnappingFilterType({"PNT"}, {"CENT"}, {});
    SoMouseButtonEvent ev;
    ev.setButton(SoMouseButtonEvent::BUTTON1);
    ev.setState(SoButtonEvent::DOWN);
    ev.setPosition(SbVec2s(200, 120));
    ev.setTime(SbTime::getTimeOfDay());
    SoHandleEventAction action(SbViewportRegion(400, 240));
    action.setEvent(&ev);
    action.apply(root);
    ASSERT_TRUE(doc->getKRNState()->hasPickData());
    EXPECT_LT((doc->getKRNState()->getPickData().snappedPoint - SbVec3f(0, 0, 10)).length(), 1e-4f);
  }
  root->unref();
  doc->unref();
}

}  // namespace
#endif
