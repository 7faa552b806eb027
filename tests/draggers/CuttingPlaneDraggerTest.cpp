// The cutting-plane dragger and manip driven through SoHandleEventAction:
// the square follows the cursor across its own plane (against the ray under
// the cursor, to a pixel), Shift keeps it on one local axis (also when
// pressed and released mid-drag), no drag scales it, and the manip's clip
// plane goes with it.
#include <gtest/gtest.h>

#include <Inventor/SbPlane.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include "draggers/CuttingPlaneManip.h"
#include "draggers/SoCuttingPlaneDragger.h"
#include "support/DraggerTestSupport.h"

namespace {

// The dragger under a tilted, scaled placement, seen by an oblique camera,
// so that a wrong projection or a wrong space shows.
struct Stage {
  SbViewportRegion viewport{400, 300};
  SoSeparator* root = new SoSeparator;
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  SoCuttingPlaneDragger* dragger = new SoCuttingPlaneDragger;
  SbMatrix toWorld;  // the dragger's parent space to world

  Stage() {
    root->ref();
    camera->position = SbVec3f(1.5f, -4.0f, 7.0f);
    camera->pointAt(SbVec3f(0.5f, 0.2f, 0.0f), SbVec3f(0, 1, 0));
    auto* placement = new SoTransform;
    toWorld.setTransform(SbVec3f(0.5f, 0.2f, 0), SbRotation(SbVec3f(1, 1, 0), 0.4f), SbVec3f(1.5f, 1.5f, 1.5f));
    placement->setMatrix(toWorld);
    root->addChild(camera);
    root->addChild(placement);
    root->addChild(dragger);
  }
  ~Stage() { root->unref(); }
  SbVec2s pixelOf(const SbVec3f& parentPoint) const {
    SbVec3f world;
    toWorld.multVecMatrix(parentPoint, world);
    return vxtest::Round(vxtest::PixelOf(vxtest::ViewVolume(camera, viewport), viewport, world));
  }
  // The parent-space motion of the point under the cursor from one pixel to
  // another on the plane the drag started on, and one pixel's length there.
  SbVec3f cursorMotion(const SbPlane& plane, const SbVec2s& from, const SbVec2s& to, float* pixel) const {
    const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
    SbVec3f w0, w1, w2, motion, step;
    EXPECT_TRUE(plane.intersect(vxtest::RayUnder(volume, viewport, from), w0));
    EXPECT_TRUE(plane.intersect(vxtest::RayUnder(volume, viewport, to), w1));
    EXPECT_TRUE(plane.intersect(vxtest::RayUnder(volume, viewport, SbVec2s(to[0] + 1, to[1])), w2));
    toWorld.inverse().multDirMatrix(w1 - w0, motion);
    toWorld.inverse().multDirMatrix(w2 - w1, step);
    if (pixel) *pixel = step.length();
    return motion;
  }
  SbPlane worldPlane() const {
    SbVec3f origin, normal;
    toWorld.multVecMatrix(dragger->translation.getValue(), origin);
    toWorld.multDirMatrix(SbVec3f(0, 0, 1), normal);
    normal.normalize();
    return SbPlane(normal, origin);
  }
};

TEST(CuttingPlaneDragger, FollowsTheCursorAcrossItsOwnPlaneAndNeverScales) {
  const struct {
    SbVec3f grab;     // local point pressed on
    SbVec2s path[3];  // pixel offsets from the press, in order
  } cases[] = {
      {SbVec3f(0.2f, 0.1f, 0), {{40, 0}, {40, 60}, {-30, 25}}},
      {SbVec3f(-0.7f, 0.6f, 0), {{0, -50}, {-80, -50}, {5, 3}}},
      {SbVec3f(0.9f, -0.9f, 0), {{120, 90}, {-100, -20}, {0, 0}}},
  };
  for (const auto& c : cases) {
    Stage stage;
    const SbVec2s press = stage.pixelOf(c.grab);
    vxtest::Pointer pointer(stage.root, stage.viewport);
    pointer.press(press);
    ASSERT_TRUE(pointer.handled()) << "the press did not reach the dragger";
    const SbPlane plane = stage.worldPlane();
    for (const SbVec2s& offset : c.path) {
      const SbVec2s to(press[0] + offset[0], press[1] + offset[1]);
      pointer.move(to);
      float pixel = 0;
      const SbVec3f want = stage.cursorMotion(plane, press, to, &pixel);
      EXPECT_LT((stage.dragger->translation.getValue() - want).length(), pixel);
      EXPECT_EQ(stage.dragger->scaleFactor.getValue(), SbVec3f(1, 1, 1));
    }
    pointer.release(press);
  }
}

TEST(CuttingPlaneDragger, ShiftKeepsTheMotionOnTheDominantLocalAxis) {
  // Local offsets (the dragger's axes are its parent's here) of two motions
  // under Shift: the first picks the axis, the second leaves it.
  const struct {
    SbVec3f first, second;
    int axis;
  } cases[] = {
      {SbVec3f(0.6f, 0.2f, 0), SbVec3f(0.3f, 0.7f, 0), 0},
      {SbVec3f(-0.1f, -0.5f, 0), SbVec3f(0.8f, -0.2f, 0), 1},
      {SbVec3f(-0.5f, 0.45f, 0), SbVec3f(-0.2f, -0.6f, 0), 0},
  };
  const SbVec3f grab(0.1f, 0.1f, 0);
  for (const auto& c : cases) {
    Stage stage;
    const SbVec2s press = stage.pixelOf(grab);
    vxtest::Pointer pointer(stage.root, stage.viewport);
    pointer.press(press, true);
    ASSERT_TRUE(pointer.handled());
    const SbPlane plane = stage.worldPlane();
    for (const SbVec3f& offset : {c.first, c.second}) {
      const SbVec2s to = stage.pixelOf(grab + offset);
      pointer.move(to, true);
      SbVec3f want(0, 0, 0);
      want[c.axis] = stage.cursorMotion(plane, press, to, nullptr)[c.axis];
      EXPECT_LT((stage.dragger->translation.getValue() - want).length(), 0.02f);
    }
    EXPECT_EQ(stage.dragger->scaleFactor.getValue(), SbVec3f(1, 1, 1));
    pointer.release(press, true);
  }
  // Shift pressed mid-drag restarts there and holds one axis; released, the
  // dragger is free again from where it stands.
  Stage stage;
  const SbVec2s press = stage.pixelOf(SbVec3f(0, 0, 0));
  vxtest::Pointer pointer(stage.root, stage.viewport);
  pointer.press(press);
  const SbPlane plane = stage.worldPlane();
  const SbVec2s a(press[0] + 30, press[1] + 20), b(a[0] + 60, a[1] + 5), c(b[0] - 10, b[1] + 40),
      d(c[0] - 50, c[1] - 70);
  pointer.move(a);
  const SbVec3f atA = stage.dragger->translation.getValue();
  pointer.move(a, true);
  EXPECT_LT((stage.dragger->translation.getValue() - atA).length(), 1e-4f);
  pointer.move(b, true);
  const SbVec3f atB = stage.dragger->translation.getValue();
  EXPECT_GT(std::fabs(atB[0] - atA[0]), 0.1f);
  EXPECT_NEAR(atB[1], atA[1], 1e-4f) << "off the chosen axis";
  pointer.move(c, false);
  EXPECT_LT((stage.dragger->translation.getValue() - atB).length(), 1e-4f);
  pointer.move(d, false);
  EXPECT_LT((stage.dragger->translation.getValue() - atB - stage.cursorMotion(plane, c, d, nullptr)).length(), 0.02f);
  pointer.release(d);
}

TEST(CuttingPlaneManip, MovesItsClipPlaneWithTheDragger) {
  const SbViewportRegion viewport(400, 300);
  auto* root = new SoSeparator;
  root->ref();
  auto* camera = new SoPerspectiveCamera;
  camera->position = SbVec3f(3.0f, -5.0f, 4.0f);
  camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 0, 1));
  root->addChild(camera);
  auto* manip = new CuttingPlaneManip;
  root->addChild(manip);
  auto* dragger = static_cast<SoCuttingPlaneDragger*>(manip->getDragger());
  ASSERT_TRUE(dragger->isOfType(SoCuttingPlaneDragger::getClassTypeId()));

  SbVec3f grab;
  dragger->getMotionMatrix().multVecMatrix(SbVec3f(0.2f, 0.3f, 0), grab);
  const SbVec2s press = vxtest::Round(vxtest::PixelOf(vxtest::ViewVolume(camera, viewport), viewport, grab));
  vxtest::Pointer pointer(root, viewport);
  pointer.press(press);
  ASSERT_TRUE(pointer.handled());
  pointer.move(SbVec2s(press[0] + 25, press[1] + 40));
  pointer.release(SbVec2s(press[0] + 25, press[1] + 40));
  const SbVec3f moved = dragger->translation.getValue();
  ASSERT_GT(moved.length(), 0.1f) << "the drag did not move the dragger";
  // The clip plane now passes through the square's centre, not the origin.
  SbVec3f centre;
  dragger->getMotionMatrix().multVecMatrix(SbVec3f(0, 0, 0), centre);
  EXPECT_NEAR(manip->plane.getValue().getDistance(centre), 0.0f, 1e-4f);
  EXPECT_GT(std::fabs(manip->plane.getValue().getDistance(SbVec3f(0, 0, 0))), 0.05f);

  root->unref();
}

}  // namespace
