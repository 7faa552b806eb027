// Drawing and picking on top, checked on rendered pixels and ray picks: each
// of the library's on-top draggers placed behind an opaque box (drawn before
// or after it) still shows, and its stock counterpart in the same place does
// not, so losing the on-top drawing fails here. A ray through the box picks
// the on-top dragger first, and the box first for the stock one.
// VX_RENDER_TEST_DUMP=<dir> keeps the pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include <Inventor/SoPickedPoint.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/draggers/SoCenterballDragger.h>
#include <Inventor/draggers/SoRotateCylindricalDragger.h>
#include <Inventor/draggers/SoTabPlaneDragger.h>
#include <Inventor/draggers/SoTranslate1Dragger.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include "DraggerTestSupport.h"
#include "draggers/SoCenterballDragger2.h"
#include "draggers/SoRotateCylindricalDraggerExt.h"
#include "draggers/SoTabPlaneDraggerExt.h"
#include "draggers/SoTranslate1DraggerExt.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

struct Case {
  const char* name;
  std::function<SoNode*()> onTop;
  std::function<SoNode*()> stock;
  SbVec3f pickAt;  // a world point on the dragger, seen through the box
};

// Camera looking down -Z; the box spans z = 1..2, between it and the dragger
// at z = 0, and covers the whole dragger.
SoSeparator* Scene(SoNode* dragger, bool boxFirst, SoOrthographicCamera** camera) {
  auto* root = new SoSeparator;
  *camera = new SoOrthographicCamera;
  (*camera)->position = SbVec3f(0.3f, -0.2f, 10.0f);
  (*camera)->height = 8.0f;
  root->addChild(*camera);
  auto* box = new SoSeparator;
  auto* material = new SoMaterial;
  material->diffuseColor = SbColor(0.6f, 0.6f, 0.6f);
  box->addChild(material);
  auto* lift = new SoTranslation;
  lift->translation = SbVec3f(0, 0, 1.5f);
  box->addChild(lift);
  auto* cube = new SoCube;
  cube->width = 7.5f;
  cube->height = 7.5f;
  cube->depth = 1.0f;
  box->addChild(cube);
  if (boxFirst) root->addChild(box);
  if (dragger) root->addChild(dragger);
  if (!boxFirst) root->addChild(box);
  return root;
}

int DifferingPixels(const PngImage& a, const PngImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  }
  return n;
}

void Dump(const PngImage& picture, const std::string& name) {
  const char* dir = std::getenv("VX_RENDER_TEST_DUMP");
  std::string error;
  if (dir) picture.writeFile(std::string(dir) + "/" + name + ".png", error);
}

const Case kCases[] = {
    {"translate1", [] { return static_cast<SoNode*>(new SoTranslate1DraggerExt); },
     [] { return static_cast<SoNode*>(new SoTranslate1Dragger); }, SbVec3f(0.6f, 0, 0)},
    {"rotateCylindrical", [] { return static_cast<SoNode*>(new SoRotateCylindricalDraggerExt); },
     [] { return static_cast<SoNode*>(new SoRotateCylindricalDragger); }, SbVec3f(0, 0.6f, 0)},
    {"tabPlane", [] { return static_cast<SoNode*>(new SoTabPlaneDraggerExt); },
     [] { return static_cast<SoNode*>(new SoTabPlaneDragger); }, SbVec3f(0.3f, 0.4f, 0)},
    {"centerball2", [] { return static_cast<SoNode*>(new SoCenterballDragger2); },
     [] { return static_cast<SoNode*>(new SoCenterballDragger); }, SbVec3f(0, 0, 0)},
};

TEST(DrawnOnTop, DraggersBehindAnOpaqueBoxStillShowAndStockOnesDoNot) {
  std::string why;
  OffscreenRenderer* renderer = vxtest::SharedRenderer(&why);
  if (!renderer) GTEST_SKIP() << "no headless OpenGL here: " << why;
  for (const Case& c : kCases) {
    for (bool boxFirst : {true, false}) {
      SoOrthographicCamera* camera = nullptr;
      PngImage boxOnly, onTop, stock;
      SoSeparator* empty = Scene(nullptr, boxFirst, &camera);
      empty->ref();
      ASSERT_TRUE(renderer->render(empty, camera, boxOnly)) << renderer->errorMessage();
      empty->unref();
      SoSeparator* withOnTop = Scene(c.onTop(), boxFirst, &camera);
      withOnTop->ref();
      ASSERT_TRUE(renderer->render(withOnTop, camera, onTop));
      withOnTop->unref();
      SoSeparator* withStock = Scene(c.stock(), boxFirst, &camera);
      withStock->ref();
      ASSERT_TRUE(renderer->render(withStock, camera, stock));
      withStock->unref();
      Dump(onTop, std::string("ontop-") + c.name + (boxFirst ? "-boxfirst" : "-boxlast"));
      EXPECT_GT(DifferingPixels(onTop, boxOnly), 100) << c.name << ": hidden by the box";
      EXPECT_EQ(DifferingPixels(stock, boxOnly), 0) << c.name << ": the box does not hide the stock dragger";
    }
  }
}

TEST(DrawnOnTop, ARayThroughTheBoxPicksTheDraggerFirst) {
  const SbViewportRegion viewport(200, 200);
  for (const Case& c : kCases) {
    for (bool onTop : {true, false}) {
      SoOrthographicCamera* camera = nullptr;
      SoNode* dragger = onTop ? c.onTop() : c.stock();
      SoSeparator* root = Scene(dragger, true, &camera);
      root->ref();
      SoRayPickAction pick(viewport);
      pick.setPoint(vxtest::Round(vxtest::PixelOf(vxtest::ViewVolume(camera, viewport), viewport, c.pickAt)));
      pick.apply(root);
      SoPickedPoint* picked = pick.getPickedPoint();
      ASSERT_NE(picked, nullptr) << c.name;
      EXPECT_EQ(picked->getPath()->containsNode(dragger), onTop) << c.name << (onTop ? " on top" : " stock");
      root->unref();
    }
  }
}

}  // namespace
