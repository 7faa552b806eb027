// The centre-ball dragger and manip driven through SoHandleEventAction: the
// centre changers move `center` along their own axis by the amount under the
// cursor, the axis rotators turn `rotation` about their axis and the current
// centre, the axis lines switch with the child dragged, and the manip's
// transform follows. A centre set on the manip from outside stays as set.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>

#include "draggers/SoCenterballDragger2.h"
#include "draggers/SoCenterballManip2.h"
#include "support/DraggerTestSupport.h"

namespace {

// The anti-squish part (longest-diagonal sizing) draws the unit dragger
// sqrt(3) times larger; positions below are in unit sizes.
const float kSize = std::sqrt(3.0f);
const SbViewportRegion kViewport(400, 400);

struct Stage {
  SoSeparator* root = new SoSeparator;
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  SoNode* node;

  Stage(SoNode* n, const SbVec3f& center) : node(n) {
    root->ref();
    camera->position = center + SbVec3f(4.5f, 3.8f, 6.0f);
    camera->pointAt(center, SbVec3f(0, 1, 0));
    root->addChild(camera);
    root->addChild(node);
    vxtest::ProcessSensors();
  }
  ~Stage() { root->unref(); }
  // "1" or "0" for the X, Y and Z axis lines shown or not.
  std::string axisLines() const {
    std::string shown;
    for (const char* name : {"XAxisSwitch", "YAxisSwitch", "ZAxisSwitch"}) {
      auto* sw = static_cast<SoSwitch*>(static_cast<SoSFNode*>(node->getField(name))->getValue());
      shown += sw->whichChild.getValue() == 0 ? '1' : '0';
    }
    return shown;
  }
  SbVec2s pixelOf(const SbVec3f& world) const {
    return vxtest::Round(vxtest::PixelOf(vxtest::ViewVolume(camera, kViewport), kViewport, world));
  }
  void drag(const SbVec3f& from, const SbVec3f& to, std::string* switches = nullptr) {
    vxtest::Pointer pointer(root, kViewport);
    pointer.press(pixelOf(from));
    ASSERT_TRUE(pointer.handled());
    if (switches) *switches = axisLines();
    pointer.move(pixelOf(to));
    pointer.release(pixelOf(to));
  }
};

TEST(CenterballDragger2, CenterChangersMoveTheCentreAlongTheirAxisByTheAmountUnderTheCursor) {
  const struct {
    SbVec3f center;
    SbRotation rotation;
    SbVec3f arrow;  // local direction of the centre changer pressed
    SbVec2s move;   // pixels
  } cases[] = {
      {SbVec3f(0, 0, 0), SbRotation::identity(), SbVec3f(1, 0, 0), SbVec2s(60, 10)},
      {SbVec3f(0.5f, -0.2f, 0.3f), SbRotation::identity(), SbVec3f(0, 1, 0), SbVec2s(-5, 70)},
      {SbVec3f(0.5f, -0.2f, 0.3f), SbRotation::identity(), SbVec3f(0, 0, 1), SbVec2s(-40, -30)},
      {SbVec3f(-0.4f, 0.1f, 0.0f), SbRotation(SbVec3f(0, 0, 1), float(M_PI / 2)), SbVec3f(1, 0, 0), SbVec2s(10, 60)},
  };
  for (const auto& c : cases) {
    auto* dragger = new SoCenterballDragger2;
    dragger->center = c.center;
    dragger->rotation = c.rotation;
    Stage stage(dragger, c.center);
    SbVec3f direction;
    c.rotation.multVec(c.arrow, direction);
    const SbLine axis(c.center, c.center + direction);
    const SbVec2s press = stage.pixelOf(c.center + direction * (1.15f * kSize));  // on the arrow head
    const SbVec2s to(press[0] + c.move[0], press[1] + c.move[1]);
    vxtest::Pointer pointer(stage.root, kViewport);
    pointer.press(press);
    ASSERT_TRUE(pointer.handled());
    pointer.move(to);
    pointer.release(to);
    // The point of the axis nearest to the ray under the cursor, before and after.
    const SbViewVolume volume = vxtest::ViewVolume(stage.camera, kViewport);
    SbVec3f onAxis[2], onRay;
    axis.getClosestPoints(vxtest::RayUnder(volume, kViewport, press), onAxis[0], onRay);
    axis.getClosestPoints(vxtest::RayUnder(volume, kViewport, to), onAxis[1], onRay);
    const SbVec3f got = dragger->center.getValue();
    EXPECT_LT((got - (c.center + onAxis[1] - onAxis[0])).length(), 0.02f);
    EXPECT_GT((got - c.center).length(), 0.2f);
    EXPECT_TRUE(dragger->rotation.getValue().equals(c.rotation, 1e-5f)) << "a centre changer turned it";
  }
}

TEST(CenterballDragger2, AxisRotatorsTurnAboutTheirAxisAndTheCurrentCentre) {
  const float r = 0.42f;  // inside each quarter-disc stripe (radius 0.816)
  const struct {
    SbVec3f onStripe, toward, axis;  // offsets from the centre, unit sizes
    const char* switches;            // X, Y, Z axis lines shown while dragged
  } cases[] = {
      {SbVec3f(0, r, r), SbVec3f(0, -0.1f, 0.6f), SbVec3f(1, 0, 0), "100"},
      {SbVec3f(r, 0, r), SbVec3f(0.6f, 0, -0.1f), SbVec3f(0, 1, 0), "010"},
      {SbVec3f(r, r, 0), SbVec3f(-0.1f, 0.6f, 0), SbVec3f(0, 0, 1), "001"},
      {SbVec3f(0, 0, 0), SbVec3f(0.1f, 0.2f, 0.1f), SbVec3f(0, 0, 0), "111"},  // the ball
  };
  const SbVec3f centre(0.5f, -0.2f, 0.3f);
  for (const auto& c : cases) {
    auto* dragger = new SoCenterballDragger2;
    dragger->center = centre;
    Stage stage(dragger, centre);
    std::string shown;
    stage.drag(centre + c.onStripe * kSize, centre + c.toward * kSize, &shown);
    EXPECT_EQ(shown, c.switches);
    EXPECT_EQ(stage.axisLines(), "000");
    if (c.axis == SbVec3f(0, 0, 0)) continue;
    SbVec3f axis;
    float angle = 0;
    dragger->rotation.getValue().getValue(axis, angle);
    EXPECT_GT(angle, 0.3f);
    EXPECT_GT(std::fabs(axis.dot(c.axis)), 0.9999f);
    EXPECT_LT((dragger->center.getValue() - centre).length(), 1e-4f) << "the centre moved";
    // The ball, at the centre, stays where it was: the turn is about it.
    SbVec3f ball;
    dragger->getMotionMatrix().multVecMatrix(centre, ball);
    EXPECT_LT((ball - centre).length(), 1e-4f);
  }
}

TEST(CenterballManip2, ItsTransformFollowsTheDragAndKeepsACentreSetFromOutside) {
  auto* manip = new SoCenterballManip2;
  Stage stage(manip, SbVec3f(0, 0, 0));
  stage.root->addChild(new SoCube);  // 2 x 2 x 2: the surround scale keeps the unit size
  auto* dragger = static_cast<SoCenterballDragger2*>(manip->getDragger());
  ASSERT_TRUE(dragger->isOfType(SoCenterballDragger2::getClassTypeId()));
  stage.drag(SbVec3f(0.42f, 0.42f, 0) * kSize, SbVec3f(-0.1f, 0.6f, 0) * kSize);
  SbVec3f axis;
  float angle = 0;
  manip->rotation.getValue().getValue(axis, angle);
  EXPECT_GT(angle, 0.3f);
  EXPECT_GT(std::fabs(axis[2]), 0.9999f);
  EXPECT_TRUE(manip->rotation.getValue().equals(dragger->rotation.getValue(), 1e-6f));

  // As replacing a transform by the manip does: centre and rotation set at
  // once, the dragger's sensors running afterwards.
  manip->rotation = SbRotation(SbVec3f(0, 1, 0), 1.1f);
  manip->center = SbVec3f(1, 2, 3);
  vxtest::ProcessSensors();
  EXPECT_TRUE(manip->rotation.getValue().equals(SbRotation(SbVec3f(0, 1, 0), 1.1f), 1e-6f));
  EXPECT_LT((manip->center.getValue() - SbVec3f(1, 2, 3)).length(), 1e-5f);
  EXPECT_LT(manip->translation.getValue().length(), 1e-5f);
  EXPECT_LT((dragger->center.getValue() - SbVec3f(1, 2, 3)).length(), 1e-5f);
}

}  // namespace
