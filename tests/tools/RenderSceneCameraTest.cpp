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
#include <vector>

#include "tools/SceneCamera.h"

namespace {

struct FitCheck {
  double lo[2] = {1e9, 1e9}, hi[2] = {-1e9, -1e9};  // screen extent of the corners, x and y
  bool allBetweenPlanes = true;
  // Largest distance of a corner from the picture centre over the usable half
  // size: 1 = on the margin.
  double outermost(float margin) const { return std::max(reach(0, margin), reach(1, margin)); }
  double reach(int axis, float margin) const { return std::max(0.5 - lo[axis], hi[axis] - 0.5) / (0.5 - margin); }
  // Both extremes of an axis on the margin.
  bool tightOn(int axis, float margin) const {
    return std::fabs((0.5 - lo[axis]) / (0.5 - margin) - 1.0) < 1e-3 &&
           std::fabs((hi[axis] - 0.5) / (0.5 - margin) - 1.0) < 1e-3;
  }
};

// The view volume Coin renders with at this aspect ratio: with ADJUST_CAMERA a
// picture taller than wide keeps heightAngle across its width (the rendering
// test frames a tall picture to confirm this on real pixels).
SbViewVolume renderedVolume(SoPerspectiveCamera& camera, float aspect) {
  SbViewVolume volume = camera.getViewVolume(aspect);
  if (aspect < 1.0f) volume.scale(1.0f / aspect);
  return volume;
}

std::vector<SbVec3f> corners(const SbBox3f& box) {
  const SbVec3f lo = box.getMin(), hi = box.getMax();
  std::vector<SbVec3f> points;
  for (int i = 0; i < 8; ++i)
    points.emplace_back((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
  return points;
}

// Projects the points as a picture of the given aspect ratio shows them.
FitCheck check(SoPerspectiveCamera& camera, const std::vector<SbVec3f>& points, float aspect) {
  FitCheck result;
  const SbViewVolume volume = renderedVolume(camera, aspect);
  SbVec3f view;
  camera.orientation.getValue().multVec(SbVec3f(0, 0, -1), view);
  for (const SbVec3f& p : points) {
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

FitCheck check(SoPerspectiveCamera& camera, const SbBox3f& box, float aspect) {
  return check(camera, corners(box), aspect);
}

}  // namespace

// Inside the margin, tight (unless `heldBack`), between the planes, centred.
void expectGoodFit(SoPerspectiveCamera& camera, const std::vector<SbVec3f>& points, float aspect, float m,
                   bool heldBack, int round) {
  const FitCheck c = check(camera, points, aspect);
  EXPECT_LE(c.outermost(m), 1.0 + 1e-3) << "round " << round << " aspect " << aspect;
  EXPECT_TRUE(c.tightOn(0, m) || c.tightOn(1, m) || heldBack) << "not tight, round " << round << " aspect " << aspect;
  EXPECT_TRUE(c.allBetweenPlanes) << "round " << round;
  for (int axis = 0; axis < 2; ++axis)
    EXPECT_NEAR(c.lo[axis], 1.0 - c.hi[axis], 1e-3) << "axis " << axis << " round " << round;
}

TEST(RenderSceneCamera, FitIsTightInsideAndCentredForBoxesAndPointClouds) {
  std::mt19937 rng(20240611u);
  std::uniform_real_distribution<float> coord(-50.0f, 50.0f), size(0.01f, 30.0f), dir(-1.0f, 1.0f);
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  camera->ref();
  for (int round = 0; round < 60; ++round) {
    const SbVec3f lo(coord(rng), coord(rng), coord(rng));
    SbVec3f extent(size(rng), size(rng), size(rng));
    if (round % 4 == 0) extent[round % 3] = 0.0f;  // flat, as a single face would be
    const SbBox3f box(lo, lo + extent);
    SceneCamera placer;
    if (round % 2) placer.setViewDirection(SbVec3f(dir(rng), dir(rng), dir(rng)));
    placer.setMargin(round % 3 == 0 ? 0.0f : 0.1f);
    for (float aspect : {0.5f, 1.0f, 1.6f}) {
      ASSERT_TRUE(placer.fit(*camera, box, aspect));
      expectGoodFit(*camera, corners(box), aspect, placer.margin(), false, round);
    }
  }
  rng.seed(77u);
  coord = std::uniform_real_distribution<float>(-20.0f, 20.0f);
  for (int round = 0; round < 40; ++round) {
    std::vector<SbVec3f> points(1 + round % 17);
    for (SbVec3f& p : points) p.setValue(coord(rng), coord(rng), coord(rng) * (round % 5 == 0 ? 0.0f : 1.0f));
    if (points.size() == 1) points.push_back(points[0] + SbVec3f(0.5f, 0, 0));  // one segment
    SceneCamera placer;
    if (round % 2) placer.setViewDirection(SbVec3f(dir(rng), dir(rng), dir(rng)));
    for (float aspect : {0.75f, 2.0f}) {
      ASSERT_TRUE(placer.fit(*camera, points, aspect));
      // Tight, unless a point far out towards the camera holds it back: the
      // camera keeps 5% of the set's size in front of the nearest point.
      SbBox3f bounds;
      float nearest = HUGE_VALF;
      SbVec3f view;
      camera->orientation.getValue().multVec(SbVec3f(0, 0, -1), view);
      for (const SbVec3f& p : points) {
        bounds.extendBy(p);
        nearest = std::min(nearest, (p - camera->position.getValue()).dot(view));
      }
      const float extent = (bounds.getMax() - bounds.getMin()).length();
      const bool heldBack = std::fabs(nearest - 0.05f * extent) < 1e-3f * extent;
      expectGoodFit(*camera, points, aspect, placer.margin(), heldBack, round);
    }
  }
  EXPECT_FALSE(SceneCamera().fit(*camera, std::vector<SbVec3f>(), 1.0f));
  EXPECT_FALSE(SceneCamera().fit(*camera, std::vector<SbVec3f>{SbVec3f(0, 0, 0), SbVec3f(HUGE_VALF, 0, 0)}, 1.0f));
  camera->unref();
}

// The default view looks from front right above, world +Z up; bad input is
// refused and leaves the camera alone; a point and a view down the up vector work.
TEST(RenderSceneCamera, DefaultViewAndDegenerateInputs) {
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  camera->ref();
  ASSERT_TRUE(SceneCamera().fit(*camera, SbBox3f(-1, -1, -1, 1, 1, 1), 4.0f / 3.0f));
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

  const SbVec3f before = camera->position.getValue();
  SceneCamera placer;
  EXPECT_FALSE(placer.fit(*camera, SbBox3f(), 1.0f));
  EXPECT_FALSE(placer.fit(*camera, SbBox3f(0, 0, 0, 1, 1, 1), 0.0f));
  EXPECT_FALSE(placer.fit(*camera, SbBox3f(0, 0, 0, 1, 1, 1), std::nanf("")));
  EXPECT_EQ(camera->position.getValue(), before);

  // A single point gets a unit cube around it.
  ASSERT_TRUE(placer.fit(*camera, SbBox3f(5, 5, 5, 5, 5, 5), 1.0f));
  EXPECT_NEAR(check(*camera, SbBox3f(4.5f, 4.5f, 4.5f, 5.5f, 5.5f, 5.5f), 1.0f).outermost(placer.margin()), 1.0, 1e-3);
  // Looking straight down the up vector still gives a usable camera.
  placer.setViewDirection(SbVec3f(0, 0, -1));
  const SbBox3f box(SbVec3f(0, 0, 0), SbVec3f(4, 2, 1));
  ASSERT_TRUE(placer.fit(*camera, box, 1.0f));
  const FitCheck c = check(*camera, box, 1.0f);
  EXPECT_NEAR(c.outermost(placer.margin()), 1.0, 1e-3);
  EXPECT_TRUE(c.allBetweenPlanes);
  camera->unref();
}

TEST(RenderSceneCamera, ViewAllFramesTheShapesNotTheEmptyCornersAroundThem) {
  // Three cubes in a row along the default view direction: in the picture
  // they cover one another, while the box around them all spreads wide.
  SoSeparator* scene = new SoSeparator;
  scene->ref();
  std::vector<SbVec3f> cubeCorners;
  for (const SbVec3f& at : {SbVec3f(0, 0, 0), SbVec3f(-10, 15, -10), SbVec3f(-4, 6, -4)}) {
    SoSeparator* part = new SoSeparator;
    SoTranslation* move = new SoTranslation;
    move->translation = at;
    part->addChild(move);
    part->addChild(new SoCube);
    scene->addChild(part);
    for (const SbVec3f& c : corners(SbBox3f(at - SbVec3f(1, 1, 1), at + SbVec3f(1, 1, 1)))) cubeCorners.push_back(c);
  }
  const SbViewportRegion viewport(400, 300);
  const float m = SceneCamera().margin();
  SoPerspectiveCamera* shapes = new SoPerspectiveCamera;
  shapes->ref();
  EXPECT_FALSE(SceneCamera().viewAll(*shapes, nullptr, viewport));
  ASSERT_TRUE(SceneCamera().viewAll(*shapes, scene, viewport));
  const FitCheck tight = check(*shapes, cubeCorners, 4.0f / 3.0f);
  EXPECT_TRUE(tight.tightOn(0, m) || tight.tightOn(1, m));
  SoPerspectiveCamera* wholeBox = new SoPerspectiveCamera;
  wholeBox->ref();
  ASSERT_TRUE(SceneCamera().fit(*wholeBox, SbBox3f(-11, -1, -11, 1, 16, 1), 4.0f / 3.0f));
  EXPECT_LT(check(*wholeBox, cubeCorners, 4.0f / 3.0f).outermost(m), 0.9)
      << "the test scene does not tell the two apart";
  wholeBox->unref();
  shapes->unref();
  scene->unref();
}
