// Camera fitting, checked against Coin's own view volume: every corner of the
// box projects inside the picture less its margin, at least one touches that
// boundary (the fit is tight), the box lies between the near and far planes,
// and the picture keeps the world's up direction.
#include <gtest/gtest.h>

#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tools/SceneCamera.h"

namespace {

struct FitCheck {
  double lo[2] = {1e9, 1e9}, hi[2] = {-1e9, -1e9};  // screen extent of the corners, x and y
  bool allBetweenPlanes = true;
  // Largest distance of a corner from the picture centre over the usable half
  // size: 1 = on the margin.
  double outermost(float margin) const { return std::max(reach(0, margin), reach(1, margin)); }
  double reach(int axis, float margin) const {
    return std::max(0.5 - lo[axis], hi[axis] - 0.5) / (0.5 - margin);
  }
  // Both extremes of an axis on the margin.
  bool tightOn(int axis, float margin) const {
    return std::fabs((0.5 - lo[axis]) / (0.5 - margin) - 1.0) < 1e-3 &&
           std::fabs((hi[axis] - 0.5) / (0.5 - margin) - 1.0) < 1e-3;
  }
};

// The view volume Coin renders with in a picture of this aspect ratio: with
// the ADJUST_CAMERA mapping a picture taller than wide keeps heightAngle across
// its width. (The rendering test frames a tall picture to confirm this on
// real pixels.)
SbViewVolume renderedVolume(SoPerspectiveCamera& camera, float aspect) {
  SbViewVolume volume = camera.getViewVolume(aspect);
  if (aspect < 1.0f) volume.scale(1.0f / aspect);
  return volume;
}

// Projects the corners of `box` as a picture of the given aspect ratio shows them.
FitCheck check(SoPerspectiveCamera& camera, const SbBox3f& box, float aspect, float margin) {
  FitCheck result;
  const SbViewVolume volume = renderedVolume(camera, aspect);
  const SbVec3f lo = box.getMin(), hi = box.getMax();
  SbVec3f view;
  camera.orientation.getValue().multVec(SbVec3f(0, 0, -1), view);
  for (int i = 0; i < 8; ++i) {
    const SbVec3f p((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
    SbVec3f screen;
    volume.projectToScreen(p, screen);
    for (int axis = 0; axis < 2; ++axis) {
      result.lo[axis] = std::min<double>(result.lo[axis], screen[axis]);
      result.hi[axis] = std::max<double>(result.hi[axis], screen[axis]);
    }
    const float depth = (p - camera.position.getValue()).dot(view);
    if (!(depth > camera.nearDistance.getValue() && depth < camera.farDistance.getValue()))
      result.allBetweenPlanes = false;
  }
  return result;
}

}  // namespace

TEST(RenderSceneCamera, FitIsTightAndInsideForManyBoxesAspectsAndViews) {
  std::mt19937 rng(20240611u);
  std::uniform_real_distribution<float> coord(-50.0f, 50.0f), size(0.01f, 30.0f), dir(-1.0f, 1.0f);
  for (int round = 0; round < 60; ++round) {
    const SbVec3f lo(coord(rng), coord(rng), coord(rng));
    // Every fourth box is flat in one axis, as a single face would be.
    SbVec3f extent(size(rng), size(rng), size(rng));
    if (round % 4 == 0) extent[round % 3] = 0.0f;
    const SbBox3f box(lo, lo + extent);
    SceneCamera placer;
    if (round % 2) placer.setViewDirection(SbVec3f(dir(rng), dir(rng), dir(rng)));
    placer.setMargin(round % 3 == 0 ? 0.0f : 0.1f);
    for (float aspect : {0.5f, 1.0f, 1.6f}) {
      SoPerspectiveCamera* camera = new SoPerspectiveCamera;
      camera->ref();
      ASSERT_TRUE(placer.fit(*camera, box, aspect));
      const float m = placer.margin();
      const FitCheck c = check(*camera, box, aspect, m);
      EXPECT_LE(c.outermost(m), 1.0 + 1e-3) << "round " << round << " aspect " << aspect;
      EXPECT_TRUE(c.tightOn(0, m) || c.tightOn(1, m)) << "not tight, round " << round << " aspect " << aspect;
      EXPECT_TRUE(c.allBetweenPlanes) << "round " << round;
      // Both axes centred: equal free space on either side.
      for (int axis = 0; axis < 2; ++axis)
        EXPECT_NEAR(c.lo[axis], 1.0 - c.hi[axis], 1e-3) << "axis " << axis << " round " << round;
      camera->unref();
    }
  }
}

TEST(RenderSceneCamera, DefaultViewIsFromFrontRightAboveWithZUp) {
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  camera->ref();
  const SbBox3f box(SbVec3f(-1, -1, -1), SbVec3f(1, 1, 1));
  ASSERT_TRUE(SceneCamera().fit(*camera, box, 4.0f / 3.0f));
  const SbVec3f eye = camera->position.getValue();
  EXPECT_GT(eye[0], 1.0f);   // right
  EXPECT_LT(eye[1], -1.0f);  // front
  EXPECT_GT(eye[2], 1.0f);   // above
  // World +Z points up in the picture, +X to the right.
  const SbViewVolume volume = renderedVolume(*camera, 4.0f / 3.0f);
  SbVec3f origin, top, right;
  volume.projectToScreen(SbVec3f(0, 0, 0), origin);
  volume.projectToScreen(SbVec3f(0, 0, 1), top);
  volume.projectToScreen(SbVec3f(1, 0, 0), right);
  EXPECT_GT(top[1], origin[1] + 0.05f);
  EXPECT_NEAR(top[0], origin[0], 0.02f);
  EXPECT_GT(right[0], origin[0] + 0.05f);
  camera->unref();
}

TEST(RenderSceneCamera, DegenerateInputs) {
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  camera->ref();
  const SbVec3f before = camera->position.getValue();
  SceneCamera placer;
  EXPECT_FALSE(placer.fit(*camera, SbBox3f(), 1.0f));
  EXPECT_FALSE(placer.fit(*camera, SbBox3f(0, 0, 0, 1, 1, 1), 0.0f));
  EXPECT_FALSE(placer.fit(*camera, SbBox3f(0, 0, 0, 1, 1, 1), std::nanf("")));
  EXPECT_EQ(camera->position.getValue(), before);

  // A single point gets a unit cube around it.
  const SbBox3f point(SbVec3f(5, 5, 5), SbVec3f(5, 5, 5));
  ASSERT_TRUE(placer.fit(*camera, point, 1.0f));
  const SbBox3f unit(SbVec3f(4.5f, 4.5f, 4.5f), SbVec3f(5.5f, 5.5f, 5.5f));
  EXPECT_NEAR(check(*camera, unit, 1.0f, placer.margin()).outermost(placer.margin()), 1.0, 1e-3);

  // Looking straight down the up vector still gives a usable camera.
  placer.setViewDirection(SbVec3f(0, 0, -1));
  const SbBox3f box(SbVec3f(0, 0, 0), SbVec3f(4, 2, 1));
  ASSERT_TRUE(placer.fit(*camera, box, 1.0f));
  const FitCheck c = check(*camera, box, 1.0f, placer.margin());
  EXPECT_NEAR(c.outermost(placer.margin()), 1.0, 1e-3);
  EXPECT_TRUE(c.allBetweenPlanes);

  // Out-of-range settings are clamped, not taken.
  placer.setMargin(3.0f);
  EXPECT_FLOAT_EQ(placer.margin(), 0.45f);
  placer.setViewDirection(SbVec3f(0, 0, 0));
  EXPECT_EQ(placer.viewDirection(), SbVec3f(0, 0, -1));
  camera->unref();
}

TEST(RenderSceneCamera, ViewAllUsesTheSceneBoundingBox) {
  SoSeparator* scene = new SoSeparator;
  scene->ref();
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  camera->ref();
  const SbViewportRegion viewport(300, 200);
  SceneCamera placer;
  EXPECT_FALSE(placer.viewAll(*camera, scene, viewport)) << "empty scene";
  EXPECT_FALSE(placer.viewAll(*camera, nullptr, viewport));

  SoTranslation* move = new SoTranslation;
  move->translation.setValue(10, 20, 30);
  scene->addChild(move);
  scene->addChild(new SoCube);  // 2 x 2 x 2 around (10, 20, 30)
  ASSERT_TRUE(placer.viewAll(*camera, scene, viewport));
  const SbBox3f box(SbVec3f(9, 19, 29), SbVec3f(11, 21, 31));
  EXPECT_NEAR(check(*camera, box, 1.5f, placer.margin()).outermost(placer.margin()), 1.0, 1e-3);
  camera->unref();
  scene->unref();
}
