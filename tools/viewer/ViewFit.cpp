// Box framing (see the header): one pass over the eight corners.
#include "tools/viewer/ViewFit.h"

#include <algorithm>
#include <cmath>

namespace {

template <typename F>
void ForCorners(const SbBox3f& box, const SbRotation& orientation, F&& f) {
  SbVec3f right, up, dir;
  orientation.multVec(SbVec3f(1, 0, 0), right);
  orientation.multVec(SbVec3f(0, 1, 0), up);
  orientation.multVec(SbVec3f(0, 0, -1), dir);
  const SbVec3f centre = box.getCenter();
  const SbVec3f& lo = box.getMin();
  const SbVec3f& hi = box.getMax();
  for (int k = 0; k < 8; ++k) {
    const SbVec3f p = SbVec3f(k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2]) - centre;
    f(std::fabs(p.dot(right)), std::fabs(p.dot(up)), p.dot(dir));
  }
}

}  // namespace

ViewHalfExtent ViewHalfExtentOf(bool perspective, float heightAngle, float aspect, float margin) {
  if (!(aspect > 0)) aspect = 1;
  ViewHalfExtent half;
  const float h = perspective ? std::tan(0.5f * heightAngle) : 0.5f;
  half.width = aspect < 1.0f ? h : h * aspect;
  half.height = aspect < 1.0f ? h / aspect : h;
  half.width *= 1.0f - 2 * margin;
  half.height *= 1.0f - 2 * margin;
  return half;
}

float FitPerspectiveDistance(const SbBox3f& box, const SbRotation& orientation, const ViewHalfExtent& half,
                             float minimum) {
  float distance = minimum;
  if (box.isEmpty()) return distance;
  ForCorners(box, orientation, [&](float x, float y, float z) {
    distance = std::max({distance, x / half.width - z, y / half.height - z});
  });
  return distance;
}

float FitOrthographicHeight(const SbBox3f& box, const SbRotation& orientation, const ViewHalfExtent& half) {
  float height = 0;
  if (box.isEmpty()) return height;
  ForCorners(box, orientation, [&](float x, float y, float) {
    height = std::max({height, x / half.width, y / half.height});
  });
  return height;
}
