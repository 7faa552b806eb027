// Camera zoom relative to the initial camera height, camera matrix, and the
// point a camera looks at.
//
// Notation: H0 = m_InitCamHeight; p = camera position; v = view direction,
// the orientation applied to (0, 0, -1) (the negated third row of its
// rotation matrix). For a perspective camera with height angle a, H0 fills
// the view at the distance H0 / (2 tan(a / 2)); the zoom is that distance
// over the focal distance. An orthographic camera of an empty document looks
// at its focal point.
#include <Inventor/SbBox3f.h>
#include <Inventor/SbLine.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>

#include <cmath>

#include "graphops/CGraphOperation.h"
#include "host/SoKRN_MainDoc.h"

namespace {

bool IsOrthographic(const SoCamera* camera) { return camera->isOfType(SoOrthographicCamera::getClassTypeId()); }

float HeightAngle(const SoCamera* camera) {
  // Cameras that are neither kind answer like a perspective camera of 45°.
  return camera->isOfType(SoPerspectiveCamera::getClassTypeId())
             ? static_cast<const SoPerspectiveCamera*>(camera)->heightAngle.getValue()
             : float(M_PI / 4);
}

// Distance at which H0 fills the view.
float FillDistance(float h0, const SoCamera* camera) {
  return static_cast<float>(h0 / (2.0 * std::tan(HeightAngle(camera) / 2.0)));
}

SbVec3f ViewDirection(const SoCamera* camera) {
  SbVec3f v;
  camera->orientation.getValue().multVec(SbVec3f(0, 0, -1), v);
  return v;
}

}  // namespace

SbVec3f CGraphOperation::GetCameraScaleFactor(SoCamera* camera, float f) {
  const float h0 = m_InitCamHeight;
  if (!camera) return SbVec3f(0, 0, 0);
  const float x = IsOrthographic(camera) ? h0 / static_cast<SoOrthographicCamera*>(camera)->height.getValue()
                                         : FillDistance(h0, camera) / camera->focalDistance.getValue();
  return SbVec3f(x, f > 1e-5f ? h0 * f : h0, h0);
}

void CGraphOperation::SetCameraScaleFactor(SoKRN_MainDoc* doc, SoCamera* camera, float s) {
  if (!camera) return;
  const float h0 = m_InitCamHeight;
  if (IsOrthographic(camera)) {
    static_cast<SoOrthographicCamera*>(camera)->height = h0 / s;
    return;
  }
  const float d = FillDistance(h0, camera) / s;
  const SbVec3f target = GetCameraTargetPnt(camera, doc);
  camera->position = target - d * ViewDirection(camera);
  camera->focalDistance = d;
}

void CGraphOperation::GetCameraMatrix(SoCamera* camera, float (&m)[4][4]) {
  if (!camera) return;
  SbMatrix r;
  r.setRotate(camera->orientation.getValue());
  const SbVec3f p = camera->position.getValue();
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m[i][j] = r[i][j];
  m[3][0] = p[0];
  m[3][1] = p[1];
  m[3][2] = p[2];
  m[3][3] = 1;
}

void CGraphOperation::SetCameraMatrix(SoCamera* camera, const float m[4][4]) {
  if (!camera) return;
  camera->position.setValue(m[3][0], m[3][1], m[3][2]);
  SbMatrix r(m[0][0], m[0][1], m[0][2], 0, m[1][0], m[1][1], m[1][2], 0, m[2][0], m[2][1], m[2][2], 0, 0, 0, 0, 1);
  camera->orientation.setValue(SbRotation(r));
}

SbVec3f CGraphOperation::GetCameraTargetPnt(SoCamera* camera, SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  if (!camera || !doc) return SbVec3f(0, 0, 0);
  const SbVec3f p = camera->position.getValue();
  const SbVec3f v = ViewDirection(camera);
  if (!IsOrthographic(camera)) return p + camera->focalDistance.getValue() * v;
  SoGetBoundingBoxAction box(camera->getViewportBounds(SbViewportRegion()));
  box.apply(doc);
  if (box.getBoundingBox().isEmpty()) return p + camera->focalDistance.getValue() * v;
  const SbVec3f c = box.getBoundingBox().getCenter();
  SbVec3f hit;
  if (!SbPlane(v, c).intersect(SbLine(p, p + 100.0f * v), hit)) return p;
  return hit;
}
