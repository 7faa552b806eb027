// The framing against Coin's own projection: for seeded random boxes and
// view directions, the camera placed as the viewer places it must show
// every corner inside the view less the margin, and one corner on that
// border (the fit is tight), for wide, square and tall viewports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include <Inventor/SbViewVolume.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>

#include "tools/viewer/ViewFit.h"

namespace {

// The largest corner offset from the view's centre, as a fraction of the
// allowed one (0.5 - margin in normalised screen units).
float WorstCorner(SoCamera* camera, const SbBox3f& box, float aspect, float margin) {
  SbViewVolume volume = camera->getViewVolume(aspect);
  if (aspect < 1.0f) volume.scale(1.0f / aspect);  // a camera adjusted to a tall viewport
  float worst = 0;
  for (int k = 0; k < 8; ++k) {
    const SbVec3f& lo = box.getMin();
    const SbVec3f& hi = box.getMax();
    SbVec3f ndc;
    volume.projectToScreen(SbVec3f(k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2]), ndc);
    worst = std::max({worst, std::fabs(ndc[0] - 0.5f) / (0.5f - margin), std::fabs(ndc[1] - 0.5f) / (0.5f - margin)});
  }
  return worst;
}

TEST(ViewFit, EveryCornerInsideTheMarginOneOnIt) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  const float margin = 0.08f;
  for (float aspect : {1.7f, 1.0f, 0.6f}) {
    for (bool perspective : {true, false}) {
      for (int round = 0; round < 25; ++round) {
        const SbVec3f lo(100 * unit(rng), 100 * unit(rng), 100 * unit(rng));
        const SbBox3f box(lo, lo + SbVec3f(1 + 40 * std::fabs(unit(rng)), 1 + 5 * std::fabs(unit(rng)),
                                           1 + 20 * std::fabs(unit(rng))));
        SbVec3f axis(unit(rng), unit(rng), unit(rng));
        if (axis.length() < 1e-3f) axis.setValue(0, 0, 1);
        const SbRotation orientation(axis, 3.14159f * unit(rng));
        SbVec3f dir;
        orientation.multVec(SbVec3f(0, 0, -1), dir);
        SoCamera* camera = nullptr;
        float distance = 0;
        if (perspective) {
          auto* p = new SoPerspectiveCamera;
          const ViewHalfExtent half = ViewHalfExtentOf(true, p->heightAngle.getValue(), aspect, margin);
          distance = FitPerspectiveDistance(box, orientation, half, 1e-3f);
          camera = p;
        } else {
          auto* o = new SoOrthographicCamera;
          o->height = FitOrthographicHeight(box, orientation, ViewHalfExtentOf(false, 0, aspect, margin));
          distance = 500;
          camera = o;
        }
        camera->ref();
        camera->orientation = orientation;
        camera->position = box.getCenter() - dir * distance;
        const float worst = WorstCorner(camera, box, aspect, margin);
        EXPECT_LE(worst, 1.0f + 1e-3f) << "aspect " << aspect << (perspective ? " perspective" : " orthographic");
        EXPECT_GE(worst, 1.0f - 1e-3f) << "aspect " << aspect << (perspective ? " perspective" : " orthographic");
        camera->unref();
      }
    }
  }
}

}  // namespace
