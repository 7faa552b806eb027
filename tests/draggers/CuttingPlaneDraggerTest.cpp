// The cutting-plane dragger and manip driven by synthetic mouse events
// through SoHandleEventAction: the square follows the cursor across its own
// plane (checked against the ray under the cursor, to a pixel), Shift keeps
// it on one local axis, no drag scales it, and the manip's clip plane goes
// with it.
#include <gtest/gtest.h>

#include <cmath>

#include <Inventor/SbPlane.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include "DraggerTestSupport.h"
#include "draggers/CuttingPlaneManip.h"
#include "draggers/SoCuttingPlaneDragger.h"

namespace {

using vxtest::Pointer;

// A dragger under a tilted, scaled placement, seen by an oblique camera: the
// plane is not parallel to the screen, so a wrong projection shows.
struct Stage {
  SbViewportRegion viewport{400, 300};
  SoSeparator* root = new SoSeparator;
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  SoTransform* placement = new SoTransform;
  SoCuttingPlaneDragger* dragger = new SoCuttingPlaneDragger;
  SbMatrix parentToWorld;

  Stage() {
    root->ref();
    camera->position = SbVec3f(1.5f, -4.0f, 7.0f);
    camera->pointAt(SbVec3f(0.5f, 0.2f, 0.0f), SbVec3f(0, 1, 0));
    camera->nearDistance = 0.5f;
    camera->farDistance = 50.0f;
    placement->translation = SbVec3f(0.5f, 0.2f, 0.0f);
    placement->rotation = SbRotation(SbVec3f(1, 1, 0), 0.4f);
    placement->scaleFactor = SbVec3f(1.5f, 1.5f, 1.5f);
    root->addChild(camera);
    root->addChild(placement);
    root->addChild(dragger);
    parentToWorld.setTransform(placement->translation.getValue(), placement->rotation.getValue(),
                               placement->scaleFactor.getValue());
  }
  ~Stage() { root->unref(); }

  SbViewVolume volume() const { return vxtest::ViewVolume(camera, viewport); }
  // The dragger's plane in world space, where it stands now.
  SbPlane worldPlane() const {
    SbVec3f origin, normal;
    parentToWorld.multVecMatrix(dragger->translation.getValue(), origin);
    parentToWorld.multDirMatrix(SbVec3f(0, 0, 1), normal);
    normal.normalize();
    return SbPlane(normal, origin);
  }
  SbVec2f pixelOfLocal(const SbVec3f& local) const {
    SbVec3f world;
    parentToWorld.multVecMatrix(local + dragger->translation.getValue(), world);
    return vxtest::PixelOf(volume(), viewport, world);
  }
  // The parent-space motion the cursor asks for between two pixels, and
  // the parent-space length of one pixel there.
  SbVec3f expectedMotion(const SbVec2s& from, const SbVec2s& to, float* pixel) const {
    SbVec3f w0, w1, w2;
    const SbPlane plane = worldPlane();
    EXPECT_TRUE(vxtest::PointUnder(volume(), viewport, SbVec2f(from[0], from[1]), plane, w0));
    EXPECT_TRUE(vxtest::PointUnder(volume(), viewport, SbVec2f(to[0], to[1]), plane, w1));
    EXPECT_TRUE(vxtest::PointUnder(volume(), viewport, SbVec2f(to[0] + 1, to[1]), plane, w2));
    const SbMatrix worldToParent = parentToWorld.inverse();
    SbVec3f motion, step;
    worldToParent.multDirMatrix(w1 - w0, motion);
    worldToParent.multDirMatrix(w2 - w1, step);
    *pixel = step.length();
    return motion;
  }
};

void ExpectNear(const SbVec3f& got, const SbVec3f& want, float tolerance, const char* what) {
  EXPECT_LT((got - want).length(), tolerance)
      << what << ": got (" << got[0] << ", " << got[1] << ", " << got[2] << "), want (" << want[0] << ", "
      << want[1] << ", " << want[2] << ")";
}

TEST(CuttingPlaneDragger, FollowsTheCursorAcrossItsOwnPlaneAndNeverScales) {
  struct Case {
    SbVec3f grab;  // local point pressed on
    SbVec2s path[3];  // pixel offsets from the press, in order
  };
  const Case cases[] = {
      {SbVec3f(0.2f, 0.1f, 0), {{40, 0}, {40, 60}, {-30, 25}}},
      {SbVec3f(-0.7f, 0.6f, 0), {{0, -50}, {-80, -50}, {5, 3}}},
      {SbVec3f(0.9f, -0.9f, 0), {{120, 90}, {-100, -20}, {0, 0}}},
  };
  for (const Case& c : cases) {
    Stage stage;
    const SbVec2s press = vxtest::Round(stage.pixelOfLocal(c.grab));
    Pointer pointer(stage.root, stage.viewport);
    pointer.press(press);
    ASSERT_TRUE(pointer.handled()) << "the press did not reach the dragger";
    const SbPlane planeAtStart = stage.worldPlane();
    for (const SbVec2s& offset : c.path) {
      const SbVec2s to(press[0] + offset[0], press[1] + offset[1]);
      pointer.move(to);
      float pixel = 0;
      // The plane the cursor slides on is the one the drag started on.
      SbVec3f w0, w1;
      ASSERT_TRUE(vxtest::PointUnder(stage.volume(), stage.viewport, SbVec2f(press[0], press[1]), planeAtStart, w0));
      ASSERT_TRUE(vxtest::PointUnder(stage.volume(), stage.viewport, SbVec2f(to[0], to[1]), planeAtStart, w1));
      stage.expectedMotion(press, to, &pixel);
      SbVec3f want;
      stage.parentToWorld.inverse().multDirMatrix(w1 - w0, want);
      ExpectNear(stage.dragger->translation.getValue(), want, pixel, "translation");
      EXPECT_EQ(stage.dragger->scaleFactor.getValue(), SbVec3f(1, 1, 1));
    }
    pointer.release(SbVec2s(press[0] + c.path[2][0], press[1] + c.path[2][1]));
    EXPECT_EQ(stage.dragger->scaleFactor.getValue(), SbVec3f(1, 1, 1));
  }
}

TEST(CuttingPlaneDragger, ShiftKeepsTheMotionOnTheDominantLocalAxis) {
  // Moves in the dragger's local plane, given as local offsets; with Shift
  // held from the press the first motion picks the axis.
  struct Case {
    SbVec3f firstMove;  // local offset of the first motion
    SbVec3f secondMove;  // local offset of a later motion, off the axis
    int axis;            // the axis the dragger must stay on
  };
  const Case cases[] = {
      {SbVec3f(0.6f, 0.2f, 0), SbVec3f(0.3f, 0.7f, 0), 0},
      {SbVec3f(-0.1f, -0.5f, 0), SbVec3f(0.8f, -0.2f, 0), 1},
      {SbVec3f(-0.5f, 0.45f, 0), SbVec3f(-0.2f, -0.6f, 0), 0},
  };
  for (const Case& c : cases) {
    Stage stage;
    const SbVec3f grab(0.1f, 0.1f, 0);
    const SbVec2s press = vxtest::Round(stage.pixelOfLocal(grab));
    Pointer pointer(stage.root, stage.viewport);
    pointer.press(press, true);
    ASSERT_TRUE(pointer.handled());
    const SbPlane plane = stage.worldPlane();
    for (const SbVec3f& local : {c.firstMove, c.secondMove}) {
      SbVec3f world;
      stage.parentToWorld.multVecMatrix(grab + local, world);
      const SbVec2s to = vxtest::Round(vxtest::PixelOf(stage.volume(), stage.viewport, world));
      pointer.move(to, true);
      SbVec3f w0, w1;
      ASSERT_TRUE(vxtest::PointUnder(stage.volume(), stage.viewport, SbVec2f(press[0], press[1]), plane, w0));
      ASSERT_TRUE(vxtest::PointUnder(stage.volume(), stage.viewport, SbVec2f(to[0], to[1]), plane, w1));
      SbVec3f free;
      stage.parentToWorld.inverse().multDirMatrix(w1 - w0, free);
      // The dragger's local axes are its parent's here (no rotation field).
      SbVec3f want(0, 0, 0);
      want[c.axis] = free[c.axis];
      ExpectNear(stage.dragger->translation.getValue(), want, 0.02f, "constrained translation");
    }
    EXPECT_EQ(stage.dragger->scaleFactor.getValue(), SbVec3f(1, 1, 1));
    pointer.release(press, true);
  }
}

TEST(CuttingPlaneDragger, ShiftPressedAndReleasedMidDragRestartsFromTheCurrentPoint) {
  Stage stage;
  const SbVec2s press = vxtest::Round(stage.pixelOfLocal(SbVec3f(0, 0, 0)));
  Pointer pointer(stage.root, stage.viewport);
  pointer.press(press);
  ASSERT_TRUE(pointer.handled());
  const SbPlane plane = stage.worldPlane();
  auto freeMotion = [&](const SbVec2s& from, const SbVec2s& to) {
    SbVec3f w0, w1, m;
    EXPECT_TRUE(vxtest::PointUnder(stage.volume(), stage.viewport, SbVec2f(from[0], from[1]), plane, w0));
    EXPECT_TRUE(vxtest::PointUnder(stage.volume(), stage.viewport, SbVec2f(to[0], to[1]), plane, w1));
    stage.parentToWorld.inverse().multDirMatrix(w1 - w0, m);
    return m;
  };
  // Free motion first.
  const SbVec2s a(press[0] + 30, press[1] + 20);
  pointer.move(a);
  const SbVec3f atA = stage.dragger->translation.getValue();
  ExpectNear(atA, freeMotion(press, a), 0.02f, "free");
  // Shift pressed at a: the motion from here keeps to one axis.
  pointer.move(a, true);
  ExpectNear(stage.dragger->translation.getValue(), atA, 1e-4f, "restart under Shift");
  const SbVec2s b(a[0] + 60, a[1] + 5);
  pointer.move(b, true);
  const SbVec3f atB = stage.dragger->translation.getValue();
  const SbVec3f moved = atB - atA;
  const int axis = std::fabs(moved[0]) > std::fabs(moved[1]) ? 0 : 1;
  EXPECT_GT(std::fabs(moved[axis]), 0.1f);
  EXPECT_NEAR(moved[1 - axis], 0.0f, 1e-4f) << "off the chosen axis";
  // Shift released at c: free again, from where the dragger stands.
  const SbVec2s c(b[0] - 10, b[1] + 40);
  pointer.move(c, false);
  ExpectNear(stage.dragger->translation.getValue(), atB, 1e-4f, "restart after Shift");
  const SbVec2s d(c[0] - 50, c[1] - 70);
  pointer.move(d, false);
  ExpectNear(stage.dragger->translation.getValue() - atB, freeMotion(c, d), 0.02f, "free after Shift");
  pointer.release(d);
}

TEST(CuttingPlaneManip, MovesItsClipPlaneWithTheDragger) {
  SbViewportRegion viewport(400, 300);
  SoSeparator* root = new SoSeparator;
  root->ref();
  auto* camera = new SoPerspectiveCamera;
  camera->position = SbVec3f(0.0f, -6.0f, 5.0f);
  camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 0, 1));
  root->addChild(camera);
  auto* manip = new CuttingPlaneManip;
  root->addChild(manip);
  SoDragger* dragger = manip->getDragger();
  ASSERT_NE(dragger, nullptr);
  ASSERT_TRUE(dragger->isOfType(SoCuttingPlaneDragger::getClassTypeId()));
  auto* cutting = static_cast<SoCuttingPlaneDragger*>(dragger);
  const SbVec3f before = cutting->translation.getValue();

  const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
  SbVec3f grabWorld;
  SbMatrix motion = dragger->getMotionMatrix();
  motion.multVecMatrix(SbVec3f(0.2f, 0.3f, 0), grabWorld);
  const SbVec2s press = vxtest::Round(vxtest::PixelOf(volume, viewport, grabWorld));
  Pointer pointer(root, viewport);
  pointer.press(press);
  ASSERT_TRUE(pointer.handled());
  pointer.move(SbVec2s(press[0] + 50, press[1] + 80));
  pointer.release(SbVec2s(press[0] + 50, press[1] + 80));
  const SbVec3f after = cutting->translation.getValue();
  ASSERT_GT((after - before).length(), 0.1f) << "the drag did not move the dragger";

  // The clip plane passes through where the dragger's square now is.
  SbVec3f centre;
  dragger->getMotionMatrix().multVecMatrix(SbVec3f(0, 0, 0), centre);
  const SbPlane plane = manip->plane.getValue();
  EXPECT_NEAR(plane.getDistance(centre), 0.0f, 1e-4f);
  EXPECT_GT(std::fabs(plane.getDistance(before)), 0.05f) << "the clip plane stayed where it was";
  root->unref();
}

}  // namespace
