// Each dragger as drawn, and drawing and picking on top, from rendered
// pixels and ray picks. Every kit draws something; each on-top dragger behind
// an opaque box (drawn before or after it) still shows, where its stock
// counterpart does not, so losing the on-top drawing fails here; a ray
// through the box picks the on-top dragger first, and the box for the stock
// one. VX_RENDER_TEST_DUMP=<dir> keeps the pictures (the README's).
#include <gtest/gtest.h>

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
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include "draggers/SoCenterballDragger2.h"
#include "draggers/SoCuttingPlaneDragger.h"
#include "draggers/SoRotateCylindricalDraggerExt.h"
#include "draggers/SoTabPlaneDraggerExt.h"
#include "draggers/SoTranslate1DraggerExt.h"
#include "support/DraggerTestSupport.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

using Make = std::function<SoNode*()>;
template <class T>
Make make() {
  return [] { return static_cast<SoNode*>(new T); };
}

const struct Case {
  const char* name;
  Make ours, stock;  // stock: null when ours is not drawn on top
  SbVec3f pickAt;    // a point of the dragger seen through the box
} kCases[] = {
    {"cutting-plane", make<SoCuttingPlaneDragger>(), nullptr, SbVec3f()},
    {"centerball2", make<SoCenterballDragger2>(), make<SoCenterballDragger>(), SbVec3f(0, 0, 0)},
    {"translate1-ext", make<SoTranslate1DraggerExt>(), make<SoTranslate1Dragger>(), SbVec3f(0.6f, 0, 0)},
    {"rotate-cylindrical-ext", make<SoRotateCylindricalDraggerExt>(), make<SoRotateCylindricalDragger>(),
     SbVec3f(0, 0.6f, 0.9f)},
    {"tab-plane-ext", make<SoTabPlaneDraggerExt>(), make<SoTabPlaneDragger>(), SbVec3f(0.3f, 0.4f, 0)},
};

// A camera looking at the dragger at the origin from the front, above and
// right; with `box`, an opaque box halfway that hides the whole dragger.
SoSeparator* Scene(SoNode* dragger, bool box, bool boxFirst, SoCamera** camera) {
  auto* root = new SoSeparator;
  auto* perspective = new SoPerspectiveCamera;
  perspective->position = SbVec3f(3.0f, 2.0f, 6.0f);
  perspective->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
  *camera = perspective;
  root->addChild(perspective);
  auto* boxGroup = new SoSeparator;
  auto* material = new SoMaterial;
  material->diffuseColor = SbColor(0.6f, 0.6f, 0.6f);
  auto* halfway = new SoTranslation;
  halfway->translation = SbVec3f(1.5f, 1.0f, 3.0f);
  auto* cube = new SoCube;
  cube->width = cube->height = 3.0f;
  cube->depth = 0.2f;
  boxGroup->addChild(material);
  boxGroup->addChild(halfway);
  boxGroup->addChild(cube);
  if (box && boxFirst) root->addChild(boxGroup);
  if (dragger) root->addChild(dragger);
  if (box && !boxFirst) root->addChild(boxGroup);
  root->ref();
  return root;
}

PngImage Render(OffscreenRenderer* renderer, SoNode* dragger, bool box, bool boxFirst) {
  SoCamera* camera = nullptr;
  SoSeparator* root = Scene(dragger, box, boxFirst, &camera);
  PngImage picture;
  EXPECT_TRUE(renderer->render(root, camera, picture)) << renderer->errorMessage();
  root->unref();
  return picture;
}

int DifferingPixels(const PngImage& a, const PngImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  }
  return n;
}

TEST(DrawnOnTop, EveryDraggerDrawsAndOnTopOnesShowThroughAnOpaqueBox) {
  REQUIRE_RENDERER(renderer);
  const PngImage nothing = Render(renderer, nullptr, false, false);
  for (const Case& c : kCases) {
    const PngImage alone = Render(renderer, c.ours(), false, false);
    vxtest::Dump(alone, std::string("dragger-") + c.name);
    EXPECT_GT(DifferingPixels(alone, nothing), 200) << c.name << " draws nothing";
    if (!c.stock) continue;
    for (bool boxFirst : {true, false}) {
      const PngImage boxOnly = Render(renderer, nullptr, true, boxFirst);
      const PngImage ours = Render(renderer, c.ours(), true, boxFirst);
      if (boxFirst) vxtest::Dump(ours, std::string("on-top-") + c.name);
      EXPECT_GT(DifferingPixels(ours, boxOnly), 100) << c.name << ": hidden by the box";
      EXPECT_EQ(DifferingPixels(Render(renderer, c.stock(), true, boxFirst), boxOnly), 0)
          << c.name << ": the box does not hide the stock dragger";
    }
  }
}

TEST(DrawnOnTop, ARayThroughTheBoxPicksTheDraggerFirst) {
  const SbViewportRegion viewport(200, 200);
  for (const Case& c : kCases) {
    if (!c.stock) continue;
    for (bool ours : {true, false}) {
      SoCamera* camera = nullptr;
      SoNode* dragger = ours ? c.ours() : c.stock();
      SoSeparator* root = Scene(dragger, true, true, &camera);
      SoRayPickAction pick(viewport);
      pick.setPoint(vxtest::Round(vxtest::PixelOf(vxtest::ViewVolume(camera, viewport), viewport, c.pickAt)));
      pick.apply(root);
      ASSERT_NE(pick.getPickedPoint(), nullptr) << c.name;
      EXPECT_EQ(pick.getPickedPoint()->getPath()->containsNode(dragger), ours) << c.name;
      root->unref();
    }
  }
}

}  // namespace
