// The centre-ball dragger and manip driven by synthetic mouse events: the
// centre changers move `center` along their own axis by the amount under the
// cursor, the axis rotators turn `rotation` about their axis while the centre
// stays put, the axis lines switch with the child being dragged, and the
// manip's transform follows its dragger.
#include <gtest/gtest.h>

#include <cmath>

#include <Inventor/SbLine.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>

#include "DraggerTestSupport.h"
#include "draggers/SoCenterballDragger2.h"
#include "draggers/SoCenterballManip2.h"

namespace {

using vxtest::Pointer;

// The anti-squish part (longest-diagonal sizing) draws the unit dragger
// sqrt(3) times larger; the geometry positions below are in unit sizes.
const float kSize = std::sqrt(3.0f);

struct Stage {
  SbViewportRegion viewport{400, 400};
  SoSeparator* root = new SoSeparator;
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  SoCenterballDragger2* dragger = new SoCenterballDragger2;

  explicit Stage(const SbVec3f& center = SbVec3f(0, 0, 0), const SbRotation& rotation = SbRotation::identity()) {
    root->ref();
    dragger->center = center;
    dragger->rotation = rotation;
    camera->position = center + SbVec3f(4.5f, 3.8f, 6.0f);
    camera->pointAt(center, SbVec3f(0, 1, 0));
    root->addChild(camera);
    root->addChild(dragger);
    vxtest::ProcessSensors();
  }
  ~Stage() { root->unref(); }
  SbViewVolume volume() const { return vxtest::ViewVolume(camera, viewport); }
  SbVec2s pixelOf(const SbVec3f& world) const { return vxtest::Round(vxtest::PixelOf(volume(), viewport, world)); }
  SbLine rayUnder(const SbVec2s& pixel) const {
    SbLine line;
    volume().projectPointToLine(SbVec2f(float(pixel[0]) / 400.0f, float(pixel[1]) / 400.0f), line);
    return line;
  }
  int axisSwitch(const char* name) const {
    auto* sw = static_cast<SoSwitch*>(static_cast<SoSFNode*>(dragger->getField(name))->getValue());
    return sw ? sw->whichChild.getValue() : -1;
  }
};

// The point of `axis` nearest to the ray under a pixel.
SbVec3f OnAxisUnder(const Stage& stage, const SbLine& axis, const SbVec2s& pixel) {
  SbVec3f onAxis, onRay;
  axis.getClosestPoints(stage.rayUnder(pixel), onAxis, onRay);
  return onAxis;
}

TEST(CenterballDragger2, CenterChangersMoveTheCentreAlongTheirAxisByTheAmountUnderTheCursor) {
  const SbRotation turned(SbVec3f(0, 0, 1), float(M_PI / 2));  // X arrow along world Y
  struct Case {
    SbVec3f center;
    SbRotation rotation;
    SbVec3f arrow;  // local direction of the centre changer pressed
    SbVec2s move;   // pixels
  };
  const Case cases[] = {
      {SbVec3f(0, 0, 0), SbRotation::identity(), SbVec3f(1, 0, 0), SbVec2s(60, 10)},
      {SbVec3f(0.5f, -0.2f, 0.3f), SbRotation::identity(), SbVec3f(0, 1, 0), SbVec2s(-5, 70)},
      {SbVec3f(0.5f, -0.2f, 0.3f), SbRotation::identity(), SbVec3f(0, 0, 1), SbVec2s(-40, -30)},
      {SbVec3f(-0.4f, 0.1f, 0.0f), turned, SbVec3f(1, 0, 0), SbVec2s(10, 60)},
  };
  for (const Case& c : cases) {
    Stage stage(c.center, c.rotation);
    SbVec3f direction;
    c.rotation.multVec(c.arrow, direction);
    const SbLine axis(c.center, c.center + direction);
    const SbVec2s press = stage.pixelOf(c.center + direction * (1.15f * kSize));  // on the arrow head
    const SbVec2s to(press[0] + c.move[0], press[1] + c.move[1]);
    Pointer pointer(stage.root, stage.viewport);
    pointer.press(press);
    ASSERT_TRUE(pointer.handled());
    pointer.move(to);
    pointer.release(to);
    const SbVec3f want = c.center + (OnAxisUnder(stage, axis, to) - OnAxisUnder(stage, axis, press));
    const SbVec3f got = stage.dragger->center.getValue();
    EXPECT_LT((got - want).length(), 0.02f) << "centre (" << got[0] << ", " << got[1] << ", " << got[2]
                                            << "), want (" << want[0] << ", " << want[1] << ", " << want[2] << ")";
    EXPECT_GT((got - c.center).length(), 0.2f);
    EXPECT_TRUE(stage.dragger->rotation.getValue().equals(c.rotation, 1e-5f)) << "a centre changer turned it";
  }
}

TEST(CenterballDragger2, AxisRotatorsTurnAboutTheirAxisAndTheCurrentCentre) {
  const float r = 0.42f;  // a point on each quarter-disc stripe (radius 0.816)
  struct Case {
    const char* name;
    SbVec3f onStripe;  // world offset from the centre of a point on the stripe
    SbVec3f toward;    // where to drag it (offset from the centre)
    SbVec3f axis;
    const char* shownSwitch;
  };
  const Case cases[] = {
      {"XRotator", SbVec3f(0, r, r), SbVec3f(0, -0.1f, 0.6f), SbVec3f(1, 0, 0), "XAxisSwitch"},
      {"YRotator", SbVec3f(r, 0, r), SbVec3f(0.6f, 0, -0.1f), SbVec3f(0, 1, 0), "YAxisSwitch"},
      {"ZRotator", SbVec3f(r, r, 0), SbVec3f(-0.1f, 0.6f, 0), SbVec3f(0, 0, 1), "ZAxisSwitch"},
  };
  const SbVec3f centre(0.5f, -0.2f, 0.3f);
  for (const Case& c : cases) {
    Stage stage(centre);
    Pointer pointer(stage.root, stage.viewport);
    const SbVec2s press = stage.pixelOf(centre + c.onStripe * kSize);
    pointer.press(press);
    ASSERT_TRUE(pointer.handled()) << c.name;
    // Only the dragged rotator's axis line shows.
    for (const char* sw : {"XAxisSwitch", "YAxisSwitch", "ZAxisSwitch"}) {
      EXPECT_EQ(stage.axisSwitch(sw), std::string(sw) == c.shownSwitch ? 0 : -1) << c.name << " " << sw;
    }
    const SbVec2s to = stage.pixelOf(centre + c.toward * kSize);
    pointer.move(to);
    pointer.release(to);
    for (const char* sw : {"XAxisSwitch", "YAxisSwitch", "ZAxisSwitch"}) EXPECT_EQ(stage.axisSwitch(sw), -1);

    SbVec3f axis;
    float angle = 0;
    stage.dragger->rotation.getValue().getValue(axis, angle);
    EXPECT_GT(angle, 0.3f) << c.name;
    EXPECT_GT(std::fabs(axis.dot(c.axis)), 0.9999f) << c.name;
    EXPECT_LT((stage.dragger->center.getValue() - centre).length(), 1e-4f) << c.name << ": the centre moved";
    // The ball, at the centre, stays where it was: the turn is about it.
    SbVec3f ball;
    stage.dragger->getMotionMatrix().multVecMatrix(centre, ball);
    EXPECT_LT((ball - centre).length(), 1e-4f) << c.name;
  }
}

TEST(CenterballDragger2, DraggingTheBallShowsAllAxesAndTheActiveChildParts) {
  Stage stage;
  Pointer pointer(stage.root, stage.viewport);
  const SbVec2s press = stage.pixelOf(SbVec3f(0, 0, 0));
  pointer.press(press);
  ASSERT_TRUE(pointer.handled());
  for (const char* sw : {"XAxisSwitch", "YAxisSwitch", "ZAxisSwitch"}) EXPECT_EQ(stage.axisSwitch(sw), 0);
  pointer.release(press);
  for (const char* sw : {"XAxisSwitch", "YAxisSwitch", "ZAxisSwitch"}) EXPECT_EQ(stage.axisSwitch(sw), -1);
}

TEST(CenterballManip2, ItsTransformFollowsTheDrag) {
  SbViewportRegion viewport(400, 400);
  auto* root = new SoSeparator;
  root->ref();
  auto* camera = new SoPerspectiveCamera;
  camera->position = SbVec3f(4.5f, 3.8f, 6.0f);
  camera->pointAt(SbVec3f(0, 0, 0), SbVec3f(0, 1, 0));
  root->addChild(camera);
  auto* manip = new SoCenterballManip2;
  root->addChild(manip);
  root->addChild(new SoCube);  // 2 x 2 x 2: the surround scale leaves the ball at unit size
  ASSERT_TRUE(manip->getDragger()->isOfType(SoCenterballDragger2::getClassTypeId()));

  const SbViewVolume volume = vxtest::ViewVolume(camera, viewport);
  Pointer pointer(root, viewport);
  const SbVec2s press = vxtest::Round(vxtest::PixelOf(volume, viewport, SbVec3f(0.42f, 0.42f, 0) * kSize));
  pointer.press(press);
  ASSERT_TRUE(pointer.handled());
  const SbVec2s to = vxtest::Round(vxtest::PixelOf(volume, viewport, SbVec3f(-0.1f, 0.6f, 0) * kSize));
  pointer.move(to);
  pointer.release(to);
  SbVec3f axis;
  float angle = 0;
  manip->rotation.getValue().getValue(axis, angle);
  EXPECT_GT(angle, 0.3f);
  EXPECT_GT(std::fabs(axis[2]), 0.9999f);
  EXPECT_TRUE(manip->rotation.getValue().equals(
      static_cast<SoCenterballDragger2*>(manip->getDragger())->rotation.getValue(), 1e-6f));
  root->unref();
}

}  // namespace
