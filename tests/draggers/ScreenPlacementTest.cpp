// What the kits do at render time, from real renders: the pack kit keeps
// its dragger at 15 % of the smaller window side at two camera distances and
// two window sizes; the pin kit and a pinned tab-plane dragger keep their
// normalised screen position (and depth) after the camera moves; the
// screen-facing transform keeps a square square-on to a turned camera; the
// extended tab-plane dragger puts its tabs outside the square.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include <Inventor/SbRotation.h>
#include <Inventor/draggers/SoRotateCylindricalDragger.h>
#include <Inventor/draggers/SoTabPlaneDragger.h>
#include <Inventor/draggers/SoTranslate1Dragger.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include "DraggerTestSupport.h"
#include "draggers/SoDraggerPackKit.h"
#include "draggers/SoPinDraggerPackKit.h"
#include "draggers/SoRotateCylindricalDraggerExt.h"
#include "draggers/SoTabPlaneDraggerExt.h"
#include "draggers/SoTransformExt.h"
#include "draggers/SoTranslate1DraggerExt.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

#define REQUIRE_RENDERER(r)                                      \
  std::string whyNoGl;                                           \
  OffscreenRenderer* r = vxtest::SharedRenderer(&whyNoGl);       \
  if (!r) GTEST_SKIP() << "no headless OpenGL here: " << whyNoGl

// The camera's right direction in world space.
SbVec3f CameraRight(SoCamera* camera) {
  SbVec3f right;
  camera->orientation.getValue().multVec(SbVec3f(1, 0, 0), right);
  return right;
}

TEST(DraggerPackKit, KeepsItsDraggerAtFifteenPercentOfTheSmallerWindowSide) {
  REQUIRE_RENDERER(square);
  OffscreenRenderer wide(320, 200, 0);
  ASSERT_TRUE(wide.isValid()) << wide.errorMessage();
  const SbVec3f at(1.0f, 0.5f, -2.0f);  // the kit's origin, off the view axis
  for (OffscreenRenderer* renderer : {square, &wide}) {
    for (float distance : {6.0f, 15.0f}) {
      auto* root = new SoSeparator;
      root->ref();
      auto* camera = new SoPerspectiveCamera;
      camera->position = at + SbVec3f(0.3f, 0.4f, 1.0f) * distance / SbVec3f(0.3f, 0.4f, 1.0f).length();
      camera->pointAt(at, SbVec3f(0, 1, 0));
      root->addChild(camera);
      auto* move = new SoTranslation;
      move->translation = at;
      root->addChild(move);
      auto* kit = new SoDraggerPackKit;
      kit->setDragger(new SoTranslate1DraggerExt);
      root->addChild(kit);
      PngImage picture;
      ASSERT_TRUE(renderer->render(root, camera, picture)) << renderer->errorMessage();

      const SbViewportRegion viewport = renderer->viewport();
      const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
      // One unit of the dragger, across the view at the kit's origin.
      const float unit = kit->getScale();
      const SbVec2f a = vxtest::PixelOf(volume, viewport, at);
      const SbVec2f b = vxtest::PixelOf(volume, viewport, at + CameraRight(camera) * unit);
      const float want = 0.15f * std::min(renderer->width(), renderer->height());
      EXPECT_NEAR((b - a).length(), want, 0.02f * want)
          << renderer->width() << "x" << renderer->height() << " at distance " << distance;
      root->unref();
    }
  }
}

TEST(SoPinDraggerPackKit, KeepsItsScreenPositionFacingAndSizeWhenTheCameraMoves) {
  REQUIRE_RENDERER(renderer);
  const SbVec2f pin(0.25f, 0.75f);
  const SbVec2f size(0.3f, 0.5f);
  auto* root = new SoSeparator;
  root->ref();
  auto* camera = new SoPerspectiveCamera;
  root->addChild(camera);
  auto* kit = new SoPinDraggerPackKit;
  kit->setDragger(new SoTranslate1DraggerExt);
  kit->setLocalPnt(pin);
  kit->setLocalSize(size);
  root->addChild(kit);
  root->addChild(new SoCube);  // something for the renderer's clipping planes to frame
  const SbViewportRegion viewport = renderer->viewport();
  for (const SbVec3f& eye : {SbVec3f(0, 0, 8), SbVec3f(5, 3, 4), SbVec3f(-2, 6, -5)}) {
    camera->position = eye;
    camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    PngImage picture;
    ASSERT_TRUE(renderer->render(root, camera, picture)) << renderer->errorMessage();
    const SbMatrix& trans = kit->getTrans();
    SbVec3f origin, xAxis, zAxis;
    trans.multVecMatrix(SbVec3f(0, 0, 0), origin);
    trans.multDirMatrix(SbVec3f(1, 0, 0), xAxis);
    trans.multDirMatrix(SbVec3f(0, 0, 1), zAxis);
    const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
    const SbVec2f at = vxtest::PixelOf(volume, viewport, origin);
    EXPECT_NEAR(at[0] / viewport.getViewportSizePixels()[0], pin[0], 1e-3f);
    EXPECT_NEAR(at[1] / viewport.getViewportSizePixels()[1], pin[1], 1e-3f);
    // At the depth of the kit's origin.
    EXPECT_NEAR(volume.getPlane(0.0f).getDistance(origin), volume.getPlane(0.0f).getDistance(SbVec3f(0, 0, 0)), 1e-4f);
    // Facing the viewer: its Z axis is the camera's backward direction.
    SbVec3f back;
    camera->orientation.getValue().multVec(SbVec3f(0, 0, 1), back);
    zAxis.normalize();
    EXPECT_GT(zAxis.dot(back), 0.9999f);
    // Its X unit spans size.x * size.y * 1.02 half window heights.
    const SbVec2f end = vxtest::PixelOf(volume, viewport, origin + xAxis);
    const float want = 0.5f * renderer->height() * size[0] * size[1] * 1.02f;
    EXPECT_NEAR((end - at).length(), want, 0.02f * want);
  }
  root->unref();
}

TEST(SoTabPlaneDraggerExt, APinnedDraggerKeepsItsScreenPositionAndDepth) {
  REQUIRE_RENDERER(renderer);
  auto* root = new SoSeparator;
  root->ref();
  auto* camera = new SoPerspectiveCamera;
  root->addChild(camera);
  auto* move = new SoTranslation;
  move->translation = SbVec3f(0.5f, -0.5f, -1.0f);  // the dragger's parent origin
  root->addChild(move);
  auto* dragger = new SoTabPlaneDraggerExt;
  dragger->setLocal(SbVec2f(0.7f, 0.3f));
  EXPECT_TRUE(dragger->bPinFlg.getValue());
  root->addChild(dragger);
  const SbViewportRegion viewport = renderer->viewport();
  for (const SbVec3f& eye : {SbVec3f(0, 0, 8), SbVec3f(4, 3, 6)}) {
    camera->position = eye;
    camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    PngImage picture;
    ASSERT_TRUE(renderer->render(root, camera, picture)) << renderer->errorMessage();
    vxtest::ProcessSensors();
    SbVec3f origin;
    (dragger->translation.getValue() + move->translation.getValue()).getValue(origin[0], origin[1], origin[2]);
    const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
    const SbVec2f at = vxtest::PixelOf(volume, viewport, origin);
    EXPECT_NEAR(at[0] / viewport.getViewportSizePixels()[0], 0.7f, 1e-3f);
    EXPECT_NEAR(at[1] / viewport.getViewportSizePixels()[1], 0.3f, 1e-3f);
    const SbPlane eyePlane = volume.getPlane(0.0f);
    EXPECT_NEAR(eyePlane.getDistance(origin), eyePlane.getDistance(move->translation.getValue()), 1e-3f);
  }
  root->unref();
}

TEST(SoTabPlaneDraggerExt, PutsItsTabsOutsideTheSquareAndSignalsOnlyNewPlacements) {
  REQUIRE_RENDERER(renderer);
  auto* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->position = SbVec3f(0, 0, 5);
  camera->height = 4;
  root->addChild(camera);
  auto* dragger = new SoTabPlaneDraggerExt;
  root->addChild(dragger);
  PngImage picture;
  ASSERT_TRUE(renderer->render(root, camera, picture));
  for (const char* part : {"edgeScaleCoords", "cornerScaleCoords"}) {
    auto* coords = static_cast<SoCoordinate3*>(static_cast<SoSFNode*>(dragger->getField(part))->getValue());
    ASSERT_NE(coords, nullptr);
    ASSERT_EQ(coords->point.getNum(), 16);
    // Ten pixels in a 200-pixel view of height 4 is 0.2; every tab point
    // lies on or outside the square, and each tab reaches 0.2 beyond it.
    for (int tab = 0; tab < 4; ++tab) {
      float reach = 0;
      for (int k = 0; k < 4; ++k) {
        const SbVec3f p = coords->point[4 * tab + k];
        const float out = std::max(std::fabs(p[0]), std::fabs(p[1]));
        EXPECT_GE(out, 1.0f - 1e-6f) << part << " tab " << tab;
        reach = std::max(reach, out - 1.0f);
      }
      EXPECT_NEAR(reach, 0.2f, 1e-3f) << part << " tab " << tab;
    }
  }

  int changes = 0;
  dragger->addValueChangedCallback([](void* n, SoDragger*) { ++*static_cast<int*>(n); }, &changes);
  SbMatrix placed;
  placed.setTranslate(SbVec3f(1, 2, 3));
  dragger->setPlcMatrix(placed);
  EXPECT_EQ(changes, 1);
  dragger->setPlcMatrix(placed);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dragger->getPlcMatrix(), placed);
  root->unref();
}

TEST(SoTransformExt, KeepsASquareSquareOnToATurnedCamera) {
  REQUIRE_RENDERER(renderer);
  auto* root = new SoSeparator;
  root->ref();
  auto* camera = new SoOrthographicCamera;
  camera->height = 6;
  root->addChild(camera);
  auto* facing = new SoTransformExt;
  facing->translation = SbVec3f(0.5f, 0.2f, 0.0f);
  root->addChild(facing);
  auto* cube = new SoCube;  // its front face is the square that must face us
  cube->depth = 0.01f;
  root->addChild(cube);
  const SbViewportRegion viewport = renderer->viewport();
  for (const SbVec3f& eye : {SbVec3f(0, 0, 8), SbVec3f(6, 2, 3), SbVec3f(-3, 5, -4)}) {
    camera->position = eye;
    camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
    PngImage picture;
    ASSERT_TRUE(renderer->render(root, camera, picture)) << renderer->errorMessage();
    // The square's corners, placed by the transform, projected: an upright
    // square of the cube's size (2 units = 2 / 6 of the view).
    SbMatrix placement;
    placement.setTransform(facing->translation.getValue(), facing->rotation.getValue(),
                           facing->scaleFactor.getValue());
    const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
    SbVec2f corner[4];
    const SbVec3f local[4] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    for (int k = 0; k < 4; ++k) {
      SbVec3f world;
      placement.multVecMatrix(local[k], world);
      corner[k] = vxtest::PixelOf(volume, viewport, world);
    }
    const float side = 200.0f * 2.0f / 6.0f;
    EXPECT_NEAR(corner[1][0] - corner[0][0], side, 0.5f);
    EXPECT_NEAR(corner[1][1] - corner[0][1], 0.0f, 0.5f);
    EXPECT_NEAR(corner[2][1] - corner[1][1], side, 0.5f);
    EXPECT_NEAR(corner[3][0] - corner[2][0], -side, 0.5f);
  }
  root->unref();
}

TEST(ExtendedDraggers, MoveAndTurnAsTheirStockParentsDo) {
  struct Case {
    const char* name;
    SoDragger* (*make)(bool ext);
    SbVec3f grab;
    SbVec2s move;
    const char* field;
  };
  const Case cases[] = {
      {"translate1",
       [](bool ext) -> SoDragger* { return ext ? new SoTranslate1DraggerExt : new SoTranslate1Dragger; },
       SbVec3f(0.5f, 0, 0), SbVec2s(40, 15), "translation"},
      {"rotateCylindrical",
       [](bool ext) -> SoDragger* {
         return ext ? static_cast<SoDragger*>(new SoRotateCylindricalDraggerExt) : new SoRotateCylindricalDragger;
       },
       SbVec3f(0.7f, 0.2f, 0.7f), SbVec2s(-30, 10), "rotation"},
      {"tabPlane", [](bool ext) -> SoDragger* { return ext ? new SoTabPlaneDraggerExt : new SoTabPlaneDragger; },
       SbVec3f(0.3f, 0.2f, 0), SbVec2s(25, -35), "translation"},
  };
  const SbViewportRegion viewport(300, 300);
  for (const Case& c : cases) {
    SbString result[2];
    for (bool ext : {false, true}) {
      auto* root = new SoSeparator;
      root->ref();
      auto* camera = new SoPerspectiveCamera;
      camera->position = SbVec3f(2, 3, 6);
      camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
      root->addChild(camera);
      SoDragger* dragger = c.make(ext);
      root->addChild(dragger);
      const SbVec2s press = vxtest::Round(vxtest::PixelOf(vxtest::ViewVolume(camera, viewport), viewport, c.grab));
      vxtest::Pointer pointer(root, viewport);
      pointer.press(press);
      ASSERT_TRUE(pointer.handled()) << c.name;
      const SbVec2s to(press[0] + c.move[0], press[1] + c.move[1]);
      pointer.move(to);
      pointer.release(to);
      dragger->getField(c.field)->get(result[ext]);
      root->unref();
    }
    // The same up to a pixel (about 0.02 here): the on-top pick may start
    // the drag from another point under the same pixel.
    float a[4] = {0, 0, 0, 0}, b[4] = {0, 0, 0, 0};
    std::sscanf(result[0].getString(), "%f %f %f %f", &a[0], &a[1], &a[2], &a[3]);
    std::sscanf(result[1].getString(), "%f %f %f %f", &b[0], &b[1], &b[2], &b[3]);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(a[k], b[k], 0.02f) << c.name << ": " << result[0].getString() << " / " << result[1].getString();
    EXPECT_STRNE(result[1].getString(), c.field[0] == 't' ? "0 0 0" : "0 0 1  0") << c.name << " did not move";
  }
}

}  // namespace
