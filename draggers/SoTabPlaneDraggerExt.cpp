#include "draggers/SoTabPlaneDraggerExt.h"

#include <cmath>

#include <Inventor/SbPlane.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoMatrixTransform.h>

#include "draggers/OnTopDrawing.h"

SO_KIT_SOURCE(SoTabPlaneDraggerExt);

void SoTabPlaneDraggerExt::initClass() {
  SO_KIT_INIT_CLASS(SoTabPlaneDraggerExt, SoTabPlaneDragger, "SoTabPlaneDragger");
}

SoTabPlaneDraggerExt::SoTabPlaneDraggerExt() {
  SO_KIT_CONSTRUCTOR(SoTabPlaneDraggerExt);
  SO_KIT_ADD_CATALOG_ENTRY(plcMatrix, SoMatrixTransform, FALSE, topSeparator, geomSeparator, FALSE);
  SO_KIT_ADD_FIELD(localPnt, (0.0f, 0.0f));
  SO_KIT_ADD_FIELD(bPinFlg, (FALSE));
  SO_KIT_INIT_INSTANCE();
}

SoTabPlaneDraggerExt::~SoTabPlaneDraggerExt() = default;

void SoTabPlaneDraggerExt::setPlcMatrix(const SbMatrix& m) {
  auto* part = static_cast<SoMatrixTransform*>(getAnyPart("plcMatrix", TRUE));
  if (part->matrix.getValue() == m) return;
  part->matrix = m;
  valueChanged();
}

const SbMatrix& SoTabPlaneDraggerExt::getPlcMatrix() {
  return static_cast<SoMatrixTransform*>(getAnyPart("plcMatrix", TRUE))->matrix.getValue();
}

void SoTabPlaneDraggerExt::setLocal(const SbVec2f& p) {
  localPnt = p;
  bPinFlg = TRUE;
}

void SoTabPlaneDraggerExt::reallyAdjustScaleTabPos(SoGLRenderAction* action) {
  float sizeX = 0.08f, sizeY = 0.08f;
  if (action) {
    SoState* state = action->getState();
    SbMatrix m = SoModelMatrixElement::get(state);
    m.multLeft(getMotionMatrix());
    SbVec3f center;
    m.multVecMatrix(SbVec3f(0.0f, 0.0f, 0.0f), center);
    const float width = SoViewportRegionElement::get(state).getViewportSizePixels()[0];
    SbVec3f t, s;
    SbRotation r, so;
    m.getTransform(t, r, s, so);
    if (width > 0.0f && s[0] != 0.0f && s[1] != 0.0f) {
      const float scale = SoViewVolumeElement::get(state).getWorldToScreenScale(center, 10.0f / width);
      sizeX = std::fabs(scale / s[0]);
      sizeY = std::fabs(scale / s[1]);
    }
  }
  const float sx = sizeX, sy = sizeY, hx = sx / 2.0f, hy = sy / 2.0f, z = 0.01f;
  // Edge tabs: top, right, bottom, left; each outside its edge.
  const SbVec3f edge[16] = {{-hx, 1, z},       {hx, 1, z},        {hx, 1 + sy, z}, {-hx, 1 + sy, z},
                            {1 + sx, -hy, z},  {1 + sx, hy, z},   {1, hy, z},      {1, -hy, z},
                            {-hx, -1 - sy, z}, {hx, -1 - sy, z},  {hx, -1, z},     {-hx, -1, z},
                            {-1 - sx, hy, z},  {-1 - sx, -hy, z}, {-1, -hy, z},    {-1, hy, z}};
  // Corner tabs: upper right, lower right, lower left, upper left; each
  // diagonally outside its corner.
  const SbVec3f corner[16] = {{1 + sx, 1 + sy, z},   {1, 1 + sy, z},   {1, 1, z},   {1 + sx, 1, z},
                              {1 + sx, -1 - sy, z},  {1 + sx, -1, z},  {1, -1, z},  {1, -1 - sy, z},
                              {-1 - sx, -1 - sy, z}, {-1, -1 - sy, z}, {-1, -1, z}, {-1 - sx, -1, z},
                              {-1 - sx, 1 + sy, z},  {-1 - sx, 1, z},  {-1, 1, z},  {-1, 1 + sy, z}};
  static_cast<SoCoordinate3*>(getAnyPart("edgeScaleCoords", TRUE))->point.setValues(0, 16, edge);
  static_cast<SoCoordinate3*>(getAnyPart("cornerScaleCoords", TRUE))->point.setValues(0, 16, corner);
}

void SoTabPlaneDraggerExt::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  state->push();
  const bool pinned = bPinFlg.getValue();
  if (pinned) {
    const SbMatrix& model = SoModelMatrixElement::get(state);
    SbVec3f origin;
    model.multVecMatrix(SbVec3f(0.0f, 0.0f, 0.0f), origin);
    const SbViewVolume& volume = SoViewVolumeElement::get(state);
    const float depth = volume.getPlane(0.0f).getDistance(origin);
    const SbVec3f onScreen = volume.getPlanePoint(-depth, localPnt.getValue());
    SbVec3f local;
    model.inverse().multVecMatrix(onScreen, local);
    enableNotify(FALSE);
    translation = local;
    enableNotify(TRUE);
  }

  {
    VxOnTopDepth onTop;
    const SbBool notify = enableNotify(FALSE);
    reallyAdjustScaleTabPos(action);
    enableNotify(notify);
    // The stock tab-plane render would put the tabs back inside the square.
    SoDragger::GLRender(action);
  }
  if (pinned) SoCacheElement::invalidate(state);
  state->pop();
}

void SoTabPlaneDraggerExt::rayPick(SoRayPickAction* action) { VxPickDraggerOnTop(this, action); }
