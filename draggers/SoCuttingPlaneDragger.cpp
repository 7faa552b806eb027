// Square plane dragger: translation in its own plane, Shift for one axis.
//
// Notation: "local" is the dragger's space after its motion matrix (the
// square lies in local z = 0), "world" the scene's. P is the local point where
// the current drag (or its last restart) began, Q the local point now under
// the cursor on the plane z = P.z, R the local point where the Shift
// constraint began. Motion matrices use Coin's row-vector convention.
#include "draggers/SoCuttingPlaneDragger.h"

#include <cmath>

#include <Inventor/SbRotation.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/events/SoEvent.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoMaterialBinding.h>
#include <Inventor/nodes/SoNormal.h>
#include <Inventor/nodes/SoNormalBinding.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/projectors/SbPlaneProjector.h>
#include <Inventor/sensors/SoFieldSensor.h>

#include "draggers/DraggerResources.h"

SO_KIT_SOURCE(SoCuttingPlaneDragger);

namespace {
const float kDefaultTabSize = 0.08f;  // tab size before the first render
const float kTabPixels = 10.0f;       // tab size on screen
const float kTabLift = 0.01f;         // tabs lie this far above the plane
}  // namespace

void SoCuttingPlaneDragger::initClass() { SO_KIT_INIT_CLASS(SoCuttingPlaneDragger, SoDragger, "SoDragger"); }

SoCuttingPlaneDragger::SoCuttingPlaneDragger() {
  SO_KIT_CONSTRUCTOR(SoCuttingPlaneDragger);
  SO_KIT_ADD_CATALOG_ENTRY(planeSwitch, SoSwitch, TRUE, geomSeparator, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(translator, SoSeparator, TRUE, planeSwitch, scaleTabs, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(scaleTabs, SoSeparator, TRUE, planeSwitch, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(scaleTabMaterial, SoMaterial, TRUE, scaleTabs, scaleTabHints, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(scaleTabHints, SoShapeHints, TRUE, scaleTabs, scaleTabMaterialBinding, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(scaleTabMaterialBinding, SoMaterialBinding, TRUE, scaleTabs, scaleTabNormalBinding, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(scaleTabNormalBinding, SoNormalBinding, TRUE, scaleTabs, scaleTabNormal, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(scaleTabNormal, SoNormal, TRUE, scaleTabs, edgeScaleCoords, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(edgeScaleCoords, SoCoordinate3, TRUE, scaleTabs, edgeScaleTab0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(edgeScaleTab0, SoIndexedFaceSet, TRUE, scaleTabs, edgeScaleTab1, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(edgeScaleTab1, SoIndexedFaceSet, TRUE, scaleTabs, edgeScaleTab2, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(edgeScaleTab2, SoIndexedFaceSet, TRUE, scaleTabs, edgeScaleTab3, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(edgeScaleTab3, SoIndexedFaceSet, TRUE, scaleTabs, cornerScaleCoords, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(cornerScaleCoords, SoCoordinate3, TRUE, scaleTabs, cornerScaleTab0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(cornerScaleTab0, SoIndexedFaceSet, TRUE, scaleTabs, cornerScaleTab1, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(cornerScaleTab1, SoIndexedFaceSet, TRUE, scaleTabs, cornerScaleTab2, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(cornerScaleTab2, SoIndexedFaceSet, TRUE, scaleTabs, cornerScaleTab3, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(cornerScaleTab3, SoIndexedFaceSet, TRUE, scaleTabs, \x0, FALSE);

  if (SO_KIT_IS_FIRST_INSTANCE()) {
    int size = 0;
    const char* text = VxDraggerResource("CuttingPlaneDragger.iv", &size);
    readDefaultParts("CuttingPlaneDragger.iv", text, size);
  }

  SO_KIT_ADD_FIELD(translation, (0.0f, 0.0f, 0.0f));
  SO_KIT_ADD_FIELD(scaleFactor, (1.0f, 1.0f, 1.0f));
  SO_KIT_INIT_INSTANCE();

  setPartAsDefault("translator", "CuttingPlaneTranslator");
  setPartAsDefault("scaleTabMaterial", "CuttingPlaneScaleTabMaterial");
  setPartAsDefault("scaleTabHints", "CuttingPlaneScaleTabHints");

  static_cast<SoSwitch*>(getAnyPart("planeSwitch", TRUE))->whichChild = SO_SWITCH_ALL;

  prevSizeX = prevSizeY = 0.0f;
  reallyAdjustScaleTabSize(nullptr);
  constraintState = 0;

  addStartCallback(&SoCuttingPlaneDragger::startCB);
  addMotionCallback(&SoCuttingPlaneDragger::motionCB);
  addFinishCallback(&SoCuttingPlaneDragger::finishCB);
  addValueChangedCallback(&SoCuttingPlaneDragger::valueChangedCB);
  addOtherEventCallback(&SoCuttingPlaneDragger::metaKeyChangeCB);

  planeProj = std::make_unique<SbPlaneProjector>(FALSE);
  translFieldSensor = std::make_unique<SoFieldSensor>(&SoCuttingPlaneDragger::fieldSensorCB, this);
  translFieldSensor->setPriority(0);
  scaleFieldSensor = std::make_unique<SoFieldSensor>(&SoCuttingPlaneDragger::fieldSensorCB, this);
  scaleFieldSensor->setPriority(0);

  setUpConnections(TRUE, TRUE);
}

SoCuttingPlaneDragger::~SoCuttingPlaneDragger() = default;

void SoCuttingPlaneDragger::adjustScaleTabSize() {}

SbBool SoCuttingPlaneDragger::setUpConnections(SbBool onoff, SbBool doitalways) {
  if (!doitalways && connectionsSetUp == onoff) return onoff;
  if (onoff) {
    SoDragger::setUpConnections(onoff, doitalways);
    fieldSensorCB(this, nullptr);
    if (translFieldSensor->getAttachedField() != &translation) translFieldSensor->attach(&translation);
    if (scaleFieldSensor->getAttachedField() != &scaleFactor) scaleFieldSensor->attach(&scaleFactor);
  } else {
    if (translFieldSensor->getAttachedField()) translFieldSensor->detach();
    if (scaleFieldSensor->getAttachedField()) scaleFieldSensor->detach();
    SoDragger::setUpConnections(onoff, doitalways);
  }
  connectionsSetUp = onoff;
  return !onoff;
}

void SoCuttingPlaneDragger::setDefaultOnNonWritingFields() {
  edgeScaleCoords.setDefault(TRUE);
  cornerScaleCoords.setDefault(TRUE);
  SoDragger::setDefaultOnNonWritingFields();
}

void SoCuttingPlaneDragger::fieldSensorCB(void* data, SoSensor*) {
  auto* self = static_cast<SoCuttingPlaneDragger*>(data);
  SbMatrix motion = self->getMotionMatrix();
  self->workFieldsIntoTransform(motion);
  self->setMotionMatrix(motion);
}

void SoCuttingPlaneDragger::valueChangedCB(void*, SoDragger* dragger) {
  auto* self = static_cast<SoCuttingPlaneDragger*>(dragger);
  SbVec3f t, s;
  SbRotation r, so;
  self->getMotionMatrix().getTransform(t, r, s, so);

  self->translFieldSensor->detach();
  if (self->translation.getValue() != t) self->translation = t;
  self->translFieldSensor->attach(&self->translation);

  self->scaleFieldSensor->detach();
  if (self->scaleFactor.getValue() != s) self->scaleFactor = s;
  self->scaleFieldSensor->attach(&self->scaleFactor);
}

void SoCuttingPlaneDragger::GLRender(SoGLRenderAction* action) {
  const SbBool notify = enableNotify(FALSE);
  SoCacheElement::invalidate(action->getState());
  reallyAdjustScaleTabSize(action);
  enableNotify(notify);
  SoDragger::GLRender(action);
}

void SoCuttingPlaneDragger::reallyAdjustScaleTabSize(SoGLRenderAction* action) {
  float sizeX = kDefaultTabSize;
  float sizeY = kDefaultTabSize;
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
    // A degenerate viewport or a flattened matrix keeps the default size.
    if (width > 0.0f && s[0] != 0.0f && s[1] != 0.0f) {
      const float scale = SoViewVolumeElement::get(state).getWorldToScreenScale(center, kTabPixels / width);
      sizeX = std::fabs(scale / s[0]);
      sizeY = std::fabs(scale / s[1]);
    }
  }
  if (sizeX == prevSizeX && sizeY == prevSizeY) return;
  prevSizeX = sizeX;
  prevSizeY = sizeY;

  const float hx = sizeX / 2.0f, hy = sizeY / 2.0f, sx = sizeX, sy = sizeY, z = kTabLift;
  // One tab of four points per edge: top, right, bottom, left.
  const SbVec3f edge[16] = {{hx, 1, z},   {-hx, 1, z},  {-hx, 1 - sy, z}, {hx, 1 - sy, z},
                            {1, -hy, z},  {1, hy, z},   {1 - sx, hy, z},  {1 - sx, -hy, z},
                            {-hx, -1, z}, {hx, -1, z},  {hx, sy - 1, z},  {-hx, sy - 1, z},
                            {-1, hy, z},  {-1, -hy, z}, {sx - 1, -hy, z}, {sx - 1, hy, z}};
  // One per corner: upper right, lower right, lower left, upper left.
  const SbVec3f corner[16] = {{1, 1, z},   {1 - sx, 1, z},  {1 - sx, 1 - sy, z}, {1, 1 - sy, z},
                              {1, -1, z},  {1, sy - 1, z},  {1 - sx, sy - 1, z}, {1 - sx, -1, z},
                              {-1, -1, z}, {sx - 1, -1, z}, {sx - 1, sy - 1, z}, {-1, sy - 1, z},
                              {-1, 1, z},  {-1, 1 - sy, z}, {sx - 1, 1 - sy, z}, {sx - 1, 1, z}};
  static_cast<SoCoordinate3*>(getAnyPart("edgeScaleCoords", TRUE))->point.setValues(0, 16, edge);
  static_cast<SoCoordinate3*>(getAnyPart("cornerScaleCoords", TRUE))->point.setValues(0, 16, corner);
}

void SoCuttingPlaneDragger::startCB(void*, SoDragger* dragger) {
  static_cast<SoCuttingPlaneDragger*>(dragger)->dragStart();
}

void SoCuttingPlaneDragger::motionCB(void*, SoDragger* dragger) {
  static_cast<SoCuttingPlaneDragger*>(dragger)->drag();
}

void SoCuttingPlaneDragger::finishCB(void*, SoDragger* dragger) {
  static_cast<SoCuttingPlaneDragger*>(dragger)->dragFinish();
}

// A Shift press or release takes effect at the next mouse motion.
void SoCuttingPlaneDragger::metaKeyChangeCB(void*, SoDragger*) {}

void SoCuttingPlaneDragger::dragStart() {
  const SoEvent* event = getEvent();
  const SbVec3f start = getLocalStartingPoint();
  constraintState = 0;
  planeProj->setPlane(SbPlane(SbVec3f(0.0f, 0.0f, 1.0f), start));
  if (event && event->wasShiftDown()) {
    getLocalToWorldMatrix().multVecMatrix(start, worldRestartPt);
    constraintState = 1;
  }
}

void SoCuttingPlaneDragger::drag() {
  SbVec3f start = getLocalStartingPoint();
  planeProj->setViewVolume(getViewVolume());
  const SbMatrix localToWorld = getLocalToWorldMatrix();
  planeProj->setWorkingSpace(localToWorld);
  const SbVec3f now = planeProj->project(getNormalizedLocaterPosition());

  const SoEvent* event = getEvent();
  const bool shift = event && event->wasShiftDown();
  bool restart = false;
  if (shift && constraintState == 0) {
    constraintState = 1;
    setStartLocaterPosition(event->getPosition());
    localToWorld.multVecMatrix(now, worldRestartPt);
    restart = true;
  } else if (!shift && constraintState != 0) {
    constraintState = 0;
    restart = true;
  }
  if (restart) {
    saveStartParameters();
    SbVec3f worldNow;
    localToWorld.multVecMatrix(now, worldNow);
    setStartingPoint(worldNow);
    start = now;
  }

  SbVec3f motion = now - start;
  SbVec3f restartPt;
  if (constraintState != 0) {
    getWorldToLocalMatrix().multVecMatrix(worldRestartPt, restartPt);
    motion = restartPt - start;
  }
  switch (constraintState) {
    case 1: {
      if (!isAdequateConstraintMotion()) return;
      const SbVec3f d = now - restartPt;
      const int axis = std::fabs(d[1]) > std::fabs(d[0]) ? 1 : 0;
      motion[axis] += d[axis];
      constraintState = axis == 0 ? 2 : 3;
      break;
    }
    case 2:
      motion[0] += now[0] - restartPt[0];
      break;
    case 3:
      motion[1] += now[1] - restartPt[1];
      break;
    default:
      break;
  }
  setMotionMatrix(appendTranslation(getStartMotionMatrix(), motion));
}

void SoCuttingPlaneDragger::dragFinish() {}
