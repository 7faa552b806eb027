#include "tools/SceneCamera.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoShape.h>

#include <algorithm>
#include <cmath>
#include <vector>

// Notation for fit(): c is the centre of the points' bounding box and v, r, u
// the unit view, right and up directions. A point p has offsets x = (p-c).r,
// y = (p-c).u and z = (p-c).v. The camera sits at c + a r + b u - d v, so the
// point's depth is D = d + z and it shows inside the picture (margin included)
// when
//   |x - a| <= T D   with T = tH (1 - 2 margin), tH the tangent of half the
// horizontal opening, and likewise for y, b and tV. Per axis that asks
//   a >= x_i - T z_i - T d   and   a <= x_j + T z_j + T d   for all points,
// feasible when 2 T d >= max_i (x_i - T z_i) - min_j (x_j + T z_j). The least d
// over both axes is the tight fit. With d fixed, the offset a that centres the
// picture (largest (x_i - a) / D_i equal to minus the smallest) also minimises
// the largest |x_i - a| / D_i, so it keeps every point inside; the axis that
// set d then touches the margin on both sides.

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Vec {
  double x, y, z;
};
Vec vec(const SbVec3f& v) { return {v[0], v[1], v[2]}; }
double dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double length(const Vec& a) { return std::sqrt(dot(a, a)); }
Vec scaled(const Vec& a, double s) { return {a.x * s, a.y * s, a.z * s}; }

// The offset a that centres offset[i] / depth[i] about zero: the root of
// max_i (o_i - a) / D_i + min_i (o_i - a) / D_i, which falls as a grows and
// changes sign between the smallest and the largest offset.
double centringOffset(const std::vector<double>& offset, const std::vector<double>& depth) {
  double lo = *std::min_element(offset.begin(), offset.end());
  double hi = *std::max_element(offset.begin(), offset.end());
  for (int iteration = 0; iteration < 100 && lo < hi; ++iteration) {
    const double a = 0.5 * (lo + hi);
    double most = -HUGE_VAL, least = HUGE_VAL;
    for (std::size_t i = 0; i < offset.size(); ++i) {
      most = std::max(most, (offset[i] - a) / depth[i]);
      least = std::min(least, (offset[i] - a) / depth[i]);
    }
    (most + least > 0.0 ? lo : hi) = a;
  }
  return 0.5 * (lo + hi);
}

std::vector<SbVec3f> corners(const SbBox3f& box) {
  const SbVec3f lo = box.getMin(), hi = box.getMax();
  std::vector<SbVec3f> points;
  for (int i = 0; i < 8; ++i)
    points.emplace_back((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
  return points;
}

// Collects the world-space corners of every shape's own bounding box.
SoCallbackAction::Response addShapeCorners(void* data, SoCallbackAction* action, const SoNode* node) {
  auto* points = static_cast<std::vector<SbVec3f>*>(data);
  SbBox3f box;
  SbVec3f centre;
  // computeBBox reads the traversal state (coordinates, transforms) only.
  const_cast<SoShape*>(static_cast<const SoShape*>(node))->computeBBox(action, box, centre);
  if (box.isEmpty()) return SoCallbackAction::CONTINUE;
  const SbMatrix& model = action->getModelMatrix();
  for (const SbVec3f& corner : corners(box)) {
    SbVec3f world;
    model.multVecMatrix(corner, world);
    points->push_back(world);
  }
  return SoCallbackAction::CONTINUE;
}

}  // namespace

SceneCamera::SceneCamera()
    : viewDirection_(-1.0f, 1.5f, -1.0f),
      up_(0.0f, 0.0f, 1.0f),
      margin_(0.05f),
      heightAngle_(static_cast<float>(kPi / 4.0)) {}

void SceneCamera::setViewDirection(const SbVec3f& direction) {
  if (direction.length() > 0.0f) viewDirection_ = direction;
}

void SceneCamera::setUpVector(const SbVec3f& up) {
  if (up.length() > 0.0f) up_ = up;
}

void SceneCamera::setMargin(float fraction) {
  margin_ = std::isfinite(fraction) ? std::clamp(fraction, 0.0f, 0.45f) : 0.0f;
}

void SceneCamera::setHeightAngle(float radians) {
  const float lo = static_cast<float>(kPi / 180.0), hi = static_cast<float>(kPi * 2.0 / 3.0);
  heightAngle_ = std::isfinite(radians) ? std::clamp(radians, lo, hi) : static_cast<float>(kPi / 4.0);
}

bool SceneCamera::fit(SoPerspectiveCamera& camera, const SbBox3f& box, float aspect) const {
  if (box.isEmpty()) return false;
  return fit(camera, corners(box), aspect);
}

bool SceneCamera::fit(SoPerspectiveCamera& camera, const std::vector<SbVec3f>& pointsIn, float aspect) const {
  if (pointsIn.empty() || !(aspect > 0.0f) || !std::isfinite(aspect)) return false;
  SbBox3f bounds;
  for (const SbVec3f& p : pointsIn) {
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) return false;
    bounds.extendBy(p);
  }
  const SbVec3f lo = bounds.getMin(), hi = bounds.getMax();
  const Vec c = scaled(vec(lo + hi), 0.5);
  double size = length(vec(hi - lo));
  const std::vector<SbVec3f> unitCube =
      corners(SbBox3f(lo - SbVec3f(0.5f, 0.5f, 0.5f), hi + SbVec3f(0.5f, 0.5f, 0.5f)));
  const bool single = size <= 1e-6 * std::max(1.0, length(c));
  const std::vector<SbVec3f>& points = single ? unitCube : pointsIn;
  if (single) size = std::sqrt(3.0);

  Vec v = vec(viewDirection_);
  v = scaled(v, 1.0 / length(v));
  Vec r = cross(v, vec(up_));
  if (length(r) < 1e-6 * length(vec(up_))) {
    // Looking straight along "up": any perpendicular will do; take the world
    // axis least aligned with the view.
    const Vec axis = std::fabs(v.x) < 0.9 ? Vec{1, 0, 0} : Vec{0, 1, 0};
    r = cross(v, axis);
  }
  r = scaled(r, 1.0 / length(r));
  const Vec u = cross(r, v);

  // ADJUST_CAMERA: heightAngle spans the smaller side of the picture.
  const double t = std::tan(0.5 * heightAngle_);
  const double tV = aspect >= 1.0f ? t : t / aspect;
  const double tH = aspect >= 1.0f ? t * aspect : t;
  const double usable = 1.0 - 2.0 * margin_;
  const double TH = tH * usable, TV = tV * usable;

  const std::size_t n = points.size();
  std::vector<double> xs(n), ys(n), zs(n);
  double xHi = -HUGE_VAL, xLo = HUGE_VAL, yHi = -HUGE_VAL, yLo = HUGE_VAL;
  for (std::size_t i = 0; i < n; ++i) {
    const Vec q{points[i][0] - c.x, points[i][1] - c.y, points[i][2] - c.z};
    xs[i] = dot(q, r), ys[i] = dot(q, u), zs[i] = dot(q, v);
    xHi = std::max(xHi, xs[i] - TH * zs[i]);
    xLo = std::min(xLo, xs[i] + TH * zs[i]);
    yHi = std::max(yHi, ys[i] - TV * zs[i]);
    yLo = std::min(yLo, ys[i] + TV * zs[i]);
  }
  const double minAlong = *std::min_element(zs.begin(), zs.end());
  const double maxAlong = *std::max_element(zs.begin(), zs.end());
  double d = std::max((xHi - xLo) / (2.0 * TH), (yHi - yLo) / (2.0 * TV));
  // Keep the nearest point clearly in front of the camera, even for a flat
  // set seen exactly edge-on.
  d = std::max(d, -minAlong + 0.05 * size);
  std::vector<double> depth(n);
  for (std::size_t i = 0; i < n; ++i) depth[i] = d + zs[i];
  const double a = centringOffset(xs, depth), b = centringOffset(ys, depth);
  const Vec eye{c.x + a * r.x + b * u.x - d * v.x, c.y + a * r.y + b * u.y - d * v.y,
                c.z + a * r.z + b * u.z - d * v.z};

  const double nearDepth = d + minAlong, farDepth = d + maxAlong;
  SbMatrix basis(static_cast<float>(r.x), static_cast<float>(r.y), static_cast<float>(r.z), 0.0f,
                 static_cast<float>(u.x), static_cast<float>(u.y), static_cast<float>(u.z), 0.0f,
                 static_cast<float>(-v.x), static_cast<float>(-v.y), static_cast<float>(-v.z), 0.0f, 0.0f, 0.0f, 0.0f,
                 1.0f);
  camera.position.setValue(static_cast<float>(eye.x), static_cast<float>(eye.y), static_cast<float>(eye.z));
  camera.orientation.setValue(SbRotation(basis));
  camera.heightAngle.setValue(heightAngle_);
  camera.focalDistance.setValue(static_cast<float>(d));
  camera.nearDistance.setValue(static_cast<float>(nearDepth * 0.9));
  camera.farDistance.setValue(static_cast<float>(farDepth * 1.1));
  camera.viewportMapping.setValue(SoCamera::ADJUST_CAMERA);
  return true;
}

bool SceneCamera::viewAll(SoPerspectiveCamera& camera, SoNode* scene, const SbViewportRegion& viewport) const {
  if (!scene) return false;
  // The shapes' own boxes frame a scene more tightly than the box around all
  // of them, whose empty corners would otherwise take room in the picture.
  std::vector<SbVec3f> points;
  SoCallbackAction collect(viewport);
  collect.addPreCallback(SoShape::getClassTypeId(), &addShapeCorners, &points);
  collect.apply(scene);
  if (fit(camera, points, viewport.getViewportAspectRatio())) return true;
  // No shapes (or none with a box): whatever the bounding-box action sees.
  SoGetBoundingBoxAction bbox(viewport);
  bbox.apply(scene);
  return fit(camera, bbox.getBoundingBox(), viewport.getViewportAspectRatio());
}
