// What the kits do at render time, from real renders: the pack kit keeps its
// dragger at 15 % of the smaller window side at two camera distances and two
// window sizes; the pin kit and a pinned tab-plane dragger keep their
// normalised screen position and depth as the camera moves; the
// screen-facing transform keeps a square square-on to a turned camera; the
// extended tab-plane dragger puts its tabs outside the square; the extended
// draggers move and turn as their stock parents do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

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

#include "draggers/SoDraggerPackKit.h"
#include "draggers/SoPinDraggerPackKit.h"
#include "draggers/SoRotateCylindricalDraggerExt.h"
#include "draggers/SoTabPlaneDraggerExt.h"
#include "draggers/SoTransformExt.h"
#include "draggers/SoTranslate1DraggerExt.h"
#include "support/DraggerTestSupport.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

// camera, then an optional translation, then `node`; referenced.
SoSeparator* Scene(SoCamera* camera, const SbVec3f& at, SoNode* node) {
  auto* root = new SoSeparator;
  root->ref();
  root->addChild(camera);
  auto* move = new SoTranslation;
  move->translation = at;
  root->addChild(move);
  root->addChild(node);
  root->addChild(new SoCube);  // gives the renderer's clipping planes something to frame
  return root;
}

void Look(SoCamera* camera, const SbVec3f& eye, const SbVec3f& at) {
  camera->position = eye;
  camera->pointAt(at, SbVec3f(0, 1, 0));
}

bool Render(OffscreenRenderer* renderer, SoNode* root, SoCamera* camera) {
  PngImage picture;
  const bool ok = renderer->render(root, camera, picture);
  vxtest::ProcessSensors();
  return ok;
}

// `world` lands at the normalised screen point `pin`, at the depth of `depthOf`.
void ExpectPinned(SoCamera* camera, const SbViewportRegion& viewport, const SbVec3f& world, const SbVec2f& pin,
                  const SbVec3f& depthOf, float depthTolerance) {
  const SbVec2f pixel = vxtest::PixelOf(vxtest::ViewVolume(camera, viewport), viewport, world);
  EXPECT_NEAR(pixel[0] / viewport.getViewportSizePixels()[0], pin[0], 1e-3f);
  EXPECT_NEAR(pixel[1] / viewport.getViewportSizePixels()[1], pin[1], 1e-3f);
  const SbPlane eyePlane = vxtest::ViewVolume(camera, viewport).getPlane(0.0f);
  EXPECT_NEAR(eyePlane.getDistance(world), eyePlane.getDistance(depthOf), depthTolerance) << "depth";
}

// Pixel length of a world vector placed at `at`.
float PixelLength(SoCamera* camera, const SbViewportRegion& viewport, const SbVec3f& at, const SbVec3f& v) {
  const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
  return (vxtest::PixelOf(volume, viewport, at + v) - vxtest::PixelOf(volume, viewport, at)).length();
}

TEST(DraggerPackKit, KeepsItsDraggerAtFifteenPercentOfTheSmallerWindowSide) {
  REQUIRE_RENDERER(square);
  OffscreenRenderer wide(320, 200, 0);
  ASSERT_TRUE(wide.isValid()) << wide.errorMessage();
  const SbVec3f at(1.0f, 0.5f, -2.0f);  // the kit's origin, off the view axis
  for (OffscreenRenderer* renderer : {square, &wide}) {
    for (float distance : {6.0f, 15.0f}) {
      auto* camera = new SoPerspectiveCamera;
      Look(camera, at + SbVec3f(0.3f, 0.4f, 1.0f) * (distance / SbVec3f(0.3f, 0.4f, 1.0f).length()), at);
      auto* kit = new SoDraggerPackKit;
      kit->setDragger(new SoTranslate1DraggerExt);
      SoSeparator* root = Scene(camera, at, kit);
      ASSERT_TRUE(Render(renderer, root, camera)) << renderer->errorMessage();
      // One unit of the dragger, across the view at the kit's origin.
      SbVec3f across;
      camera->orientation.getValue().multVec(SbVec3f(kit->getScale(), 0, 0), across);
      const float want = 0.15f * std::min(renderer->width(), renderer->height());
      EXPECT_NEAR(PixelLength(camera, renderer->viewport(), at, across), want, 0.02f * want)
          << renderer->width() << "x" << renderer->height() << " at distance " << distance;
      root->unref();
    }
  }
}

TEST(SoPinDraggerPackKit, KeepsItsScreenPositionFacingAndSizeWhenTheCameraMoves) {
  REQUIRE_RENDERER(renderer);
  const SbVec2f pin(0.25f, 0.75f), size(0.3f, 0.5f);
  auto* camera = new SoPerspectiveCamera;
  auto* kit = new SoPinDraggerPackKit;
  kit->setDragger(new SoTranslate1DraggerExt);
  kit->setLocalPnt(pin);
  kit->setLocalSize(size);
  SoSeparator* root = Scene(camera, SbVec3f(0, 0, 0), kit);
  for (const SbVec3f& eye : {SbVec3f(0, 0, 8), SbVec3f(5, 3, 4), SbVec3f(-2, 6, -5)}) {
    Look(camera, eye, SbVec3f(0, 0, 0));
    ASSERT_TRUE(Render(renderer, root, camera));
    SbVec3f origin, xAxis, zAxis, back;
    kit->getTrans().multVecMatrix(SbVec3f(0, 0, 0), origin);
    kit->getTrans().multDirMatrix(SbVec3f(1, 0, 0), xAxis);
    kit->getTrans().multDirMatrix(SbVec3f(0, 0, 1), zAxis);
    ExpectPinned(camera, renderer->viewport(), origin, pin, SbVec3f(0, 0, 0), 1e-4f);
    camera->orientation.getValue().multVec(SbVec3f(0, 0, 1), back);
    zAxis.normalize();
    EXPECT_GT(zAxis.dot(back), 0.9999f) << "not facing the viewer";
    // Its X unit spans size.x * size.y * 1.02 half window heights.
    const float want = 0.5f * renderer->height() * size[0] * size[1] * 1.02f;
    EXPECT_NEAR(PixelLength(camera, renderer->viewport(), origin, xAxis), want, 0.02f * want);
  }
  // A copy keeps the pin, which is no field.
  auto* copy = static_cast<SoPinDraggerPackKit*>(kit->copy());
  copy->ref();
  EXPECT_EQ(copy->getLocalPnt(), pin);
  EXPECT_EQ(copy->getLocalSize(), size);
  copy->unref();
  root->unref();
}

TEST(SoTabPlaneDraggerExt, APinnedDraggerKeepsItsScreenPositionAndDepth) {
  REQUIRE_RENDERER(renderer);
  const SbVec3f parent(0.5f, -0.5f, -1.0f);  // the dragger's parent origin
  auto* camera = new SoPerspectiveCamera;
  auto* dragger = new SoTabPlaneDraggerExt;
  dragger->setLocal(SbVec2f(0.7f, 0.3f));
  EXPECT_TRUE(dragger->bPinFlg.getValue());
  SoSeparator* root = Scene(camera, parent, dragger);
  for (const SbVec3f& eye : {SbVec3f(0, 0, 8), SbVec3f(4, 3, 6)}) {
    Look(camera, eye, SbVec3f(0, 0, 0));
    ASSERT_TRUE(Render(renderer, root, camera));
    const SbVec3f origin = parent + dragger->translation.getValue();
    ExpectPinned(camera, renderer->viewport(), origin, SbVec2f(0.7f, 0.3f), parent, 1e-3f);
  }
  root->unref();
}

TEST(SoTabPlaneDraggerExt, PutsItsTabsOutsideTheSquareAndSignalsOnlyNewPlacements) {
  REQUIRE_RENDERER(renderer);
  auto* camera = new SoOrthographicCamera;
  camera->position = SbVec3f(0, 0, 5);
  camera->height = 4;
  auto* dragger = new SoTabPlaneDraggerExt;
  SoSeparator* root = Scene(camera, SbVec3f(0, 0, 0), dragger);
  ASSERT_TRUE(Render(renderer, root, camera));
  // Ten pixels of a 200-pixel view of height 4 is 0.2: each tab lies on or
  // outside the square and reaches 0.2 beyond it.
  for (const char* part : {"edgeScaleCoords", "cornerScaleCoords"}) {
    auto* coords = static_cast<SoCoordinate3*>(static_cast<SoSFNode*>(dragger->getField(part))->getValue());
    ASSERT_TRUE(coords && coords->point.getNum() == 16);
    for (int tab = 0; tab < 4; ++tab) {
      float inner = 2, outer = 0;
      for (int k = 0; k < 4; ++k) {
        const SbVec3f p = coords->point[4 * tab + k];
        inner = std::min(inner, std::max(std::fabs(p[0]), std::fabs(p[1])));
        outer = std::max(outer, std::max(std::fabs(p[0]), std::fabs(p[1])));
      }
      EXPECT_FLOAT_EQ(inner, 1.0f) << part << " tab " << tab;
      EXPECT_NEAR(outer, 1.2f, 1e-3f) << part << " tab " << tab;
    }
  }
  int changes = 0;
  dragger->addValueChangedCallback([](void* n, SoDragger*) { ++*static_cast<int*>(n); }, &changes);
  SbMatrix placed;
  placed.setTranslate(SbVec3f(1, 2, 3));
  dragger->setPlcMatrix(placed);
  dragger->setPlcMatrix(placed);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dragger->getPlcMatrix(), placed);
  root->unref();
}

TEST(SoTransformExt, KeepsASquareSquareOnToATurnedCamera) {
  REQUIRE_RENDERER(renderer);
  auto* camera = new SoOrthographicCamera;
  camera->height = 6;
  auto* facing = new SoTransformExt;
  facing->translation = SbVec3f(0.5f, 0.2f, 0.0f);
  SoSeparator* root = Scene(camera, SbVec3f(0, 0, 0), facing);  // the cube's front face follows it
  for (const SbVec3f& eye : {SbVec3f(0, 0, 8), SbVec3f(6, 2, 3), SbVec3f(-3, 5, -4)}) {
    Look(camera, eye, SbVec3f(0, 0, 0));
    ASSERT_TRUE(Render(renderer, root, camera));
    // The front face's corners, projected: an upright square of 2 / 6 of the view.
    SbMatrix placement;
    placement.setTransform(facing->translation.getValue(), facing->rotation.getValue(), SbVec3f(1, 1, 1));
    const SbVec3f local[3] = {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}};
    SbVec2f corner[3];
    for (int k = 0; k < 3; ++k) {
      SbVec3f world;
      placement.multVecMatrix(local[k], world);
      corner[k] = vxtest::PixelOf(vxtest::ViewVolume(camera, renderer->viewport()), renderer->viewport(), world);
    }
    const float side = 200.0f * 2.0f / 6.0f;
    EXPECT_NEAR(corner[1][0] - corner[0][0], side, 0.5f);
    EXPECT_NEAR(corner[1][1] - corner[0][1], 0.0f, 0.5f);
    EXPECT_NEAR(corner[2][0] - corner[1][0], 0.0f, 0.5f);
    EXPECT_NEAR(corner[2][1] - corner[1][1], side, 0.5f);
  }
  root->unref();
}

template <class T>
SoDragger* New() {
  return new T;
}

TEST(ExtendedDraggers, MoveAndTurnAsTheirStockParentsDo) {
  const struct {
    const char* name;
    SoDragger* (*stock)();
    SoDragger* (*ours)();
    SbVec3f grab;
    SbVec2s move;
    const char* field;
  } cases[] = {
      {"translate1", New<SoTranslate1Dragger>, New<SoTranslate1DraggerExt>, SbVec3f(0.5f, 0, 0), SbVec2s(40, 15),
       "translation"},
      {"rotateCylindrical", New<SoRotateCylindricalDragger>, New<SoRotateCylindricalDraggerExt>,
       SbVec3f(0.7f, 0.2f, 0.7f), SbVec2s(-30, 10), "rotation"},
      {"tabPlane", New<SoTabPlaneDragger>, New<SoTabPlaneDraggerExt>, SbVec3f(0.3f, 0.2f, 0), SbVec2s(25, -35),
       "translation"},
  };
  const SbViewportRegion viewport(300, 300);
  for (const auto& c : cases) {
    float value[2][4] = {};
    for (int ours = 0; ours < 2; ++ours) {
      auto* camera = new SoPerspectiveCamera;
      Look(camera, SbVec3f(2, 3, 6), SbVec3f(0, 0, 0));
      SoDragger* dragger = ours ? c.ours() : c.stock();
      SoSeparator* root = Scene(camera, SbVec3f(0, 0, 0), dragger);
      root->removeChild(3);  // no cube in the way
      const SbVec2s press = vxtest::Round(vxtest::PixelOf(vxtest::ViewVolume(camera, viewport), viewport, c.grab));
      vxtest::Pointer pointer(root, viewport);
      pointer.press(press);
      ASSERT_TRUE(pointer.handled()) << c.name;
      pointer.move(SbVec2s(press[0] + c.move[0], press[1] + c.move[1]));
      pointer.release(SbVec2s(press[0] + c.move[0], press[1] + c.move[1]));
      SbString text;
      dragger->getField(c.field)->get(text);
      std::sscanf(text.getString(), "%f %f %f %f", &value[ours][0], &value[ours][1], &value[ours][2], &value[ours][3]);
      root->unref();
    }
    // The same up to a pixel (about 0.02 here): the on-top pick may start the
    // drag from another point under the same pixel.
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(value[0][k], value[1][k], 0.02f) << c.name;
    EXPECT_GT(std::fabs(value[1][c.field[0] == 't' ? 0 : 3]), 0.1f) << c.name << " did not move";
  }
}

}  // namespace
