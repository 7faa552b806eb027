// Centre-ball dragger: seven child draggers whose motion reaches this
// dragger's motion matrix through Coin's child-dragger registration; the
// value-changed callback reads `rotation` and `center` back out of it.
//
// Notation: M is the motion matrix (row vectors, as SbMatrix), c the centre
// last worked into M (savedCenter), T(v) a pure translation, R(r) a pure
// rotation. Working the fields in gives M = T(-c) R(rotation) T(c), a
// rotation about c; a centre changer appends a translation d, and
// T(c) M T(-c) = R T(d') then yields the new centre c + d'.
#include "draggers/SoCenterballDragger2.h"

#include <cstdio>
#include <initializer_list>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetMatrixAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/draggers/SoRotateCylindricalDragger.h>
#include <Inventor/draggers/SoRotateSphericalDragger.h>
#include <Inventor/draggers/SoTranslate1Dragger.h>
#include <Inventor/nodes/SoAntiSquish.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoRotation.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSurroundScale.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/sensors/SoFieldSensor.h>

#include "draggers/DraggerResources.h"
#include "draggers/OnTopDrawing.h"

SO_KIT_SOURCE(SoCenterballDragger2);

namespace {
const char* const kChildren[] = {"rotator",        "XRotator",       "YRotator",      "ZRotator",
                                 "XCenterChanger", "YCenterChanger", "ZCenterChanger"};
const char kAxes[] = {'X', 'Y', 'Z'};

SbMatrix Translation(const SbVec3f& v) {
  SbMatrix m;
  m.setTranslate(v);
  return m;
}
}  // namespace

void SoCenterballDragger2::initClass() { SO_KIT_INIT_CLASS(SoCenterballDragger2, SoDragger, "SoDragger"); }

SoCenterballDragger2::SoCenterballDragger2() {
  SO_KIT_CONSTRUCTOR(SoCenterballDragger2);
  SO_KIT_ADD_CATALOG_ENTRY(XAxis, SoSeparator, TRUE, XAxisSwitch, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(XAxisSwitch, SoSwitch, TRUE, geomSeparator, YAxisSwitch, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(XCenterChanger, SoTranslate1Dragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(XRotator, SoRotateCylindricalDragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(YAxis, SoSeparator, TRUE, YAxisSwitch, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(YAxisSwitch, SoSwitch, TRUE, geomSeparator, ZAxisSwitch, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(YCenterChanger, SoTranslate1Dragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(YRotator, SoRotateCylindricalDragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(ZAxis, SoSeparator, TRUE, ZAxisSwitch, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(ZAxisSwitch, SoSwitch, TRUE, geomSeparator, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(ZCenterChanger, SoTranslate1Dragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(ZRotator, SoRotateCylindricalDragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(antiSquish, SoAntiSquish, FALSE, topSeparator, lightModel, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(lightModel, SoLightModel, TRUE, topSeparator, geomSeparator, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(rotY90, SoRotation, TRUE, topSeparator, ZCenterChanger, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(rotZ90, SoRotation, TRUE, topSeparator, XRotator, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(rot2Z90, SoRotation, TRUE, topSeparator, YRotator, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(rotX90, SoRotation, TRUE, topSeparator, ZRotator, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(rotator, SoRotateSphericalDragger, TRUE, topSeparator, YRotator, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(surroundScale, SoSurroundScale, TRUE, topSeparator, antiSquish, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(translateToCenter, SoMatrixTransform, TRUE, topSeparator, surroundScale, TRUE);

  if (SO_KIT_IS_FIRST_INSTANCE()) {
    int size = 0;
    const char* text = VxDraggerResource("centerballDragger2.iv", &size);
    readDefaultParts("centerballDragger2.iv", text, size);
  }

  SO_KIT_ADD_FIELD(rotation, (SbRotation(SbVec3f(0.0f, 0.0f, 1.0f), 0.0f)));
  SO_KIT_ADD_FIELD(center, (0.0f, 0.0f, 0.0f));
  SO_KIT_INIT_INSTANCE();

  for (const char* child : kChildren) getAnyPart(child, TRUE);

  setPartAsDefault("XAxis", "centerballXAxis");
  setPartAsDefault("YAxis", "centerballYAxis");
  setPartAsDefault("ZAxis", "centerballZAxis");

  const float quarter = 1.5707964f;
  static_cast<SoRotation*>(getAnyPart("rotZ90", TRUE))->rotation = SbRotation(SbVec3f(0, 0, 1), quarter);
  static_cast<SoRotation*>(getAnyPart("rot2Z90", TRUE))->rotation = SbRotation(SbVec3f(0, 0, 1), quarter);
  static_cast<SoRotation*>(getAnyPart("rotX90", TRUE))->rotation = SbRotation(SbVec3f(0, 0, 1), quarter);
  static_cast<SoRotation*>(getAnyPart("rotY90", TRUE))->rotation = SbRotation(SbVec3f(0, 1, 0), -quarter);
  rotZ90.setDefault(TRUE);
  rot2Z90.setDefault(TRUE);
  rotX90.setDefault(TRUE);
  rotY90.setDefault(TRUE);

  auto* squish = static_cast<SoAntiSquish*>(getAnyPart("antiSquish", TRUE));
  squish->sizing = SoAntiSquish::LONGEST_DIAGONAL;
  squish->recalcAlways = FALSE;

  static_cast<SoMatrixTransform*>(getAnyPart("translateToCenter", TRUE))->matrix = SbMatrix::identity();

  addValueChangedCallback(&SoCenterballDragger2::valueChangedCB);
  rotFieldSensor = std::make_unique<SoFieldSensor>(&SoCenterballDragger2::fieldSensorCB, this);
  centerFieldSensor = std::make_unique<SoFieldSensor>(&SoCenterballDragger2::fieldSensorCB, this);

  setUpConnections(TRUE, TRUE);
}

SoCenterballDragger2::~SoCenterballDragger2() = default;

SbBool SoCenterballDragger2::setUpConnections(SbBool onoff, SbBool doitalways) {
  if (!doitalways && connectionsSetUp == onoff) return onoff;
  if (onoff) {
    SoDragger::setUpConnections(onoff, doitalways);

    if (auto* ball = static_cast<SoDragger*>(getAnyPart("rotator", FALSE))) {
      ball->setPartAsDefault("rotator", "centerballRotator");
      ball->setPartAsDefault("rotatorActive", "centerballRotatorActive");
      ball->setPartAsDefault("feedback", new SoSeparator);
      ball->setPartAsDefault("feedbackActive", new SoSeparator);
      addChildDragger(ball);
    }
    char part[32], geometry[64];
    for (char axis : kAxes) {
      std::snprintf(part, sizeof part, "%cRotator", axis);
      auto* child = static_cast<SoDragger*>(getAnyPart(part, FALSE));
      if (!child) continue;
      std::snprintf(geometry, sizeof geometry, "centerballStripe%c", axis);
      child->setPartAsDefault("rotator", geometry);
      std::snprintf(geometry, sizeof geometry, "centerballStripeActive%c", axis);
      child->setPartAsDefault("rotatorActive", geometry);
      child->setPartAsDefault("feedback", new SoSeparator);
      child->setPartAsDefault("feedbackActive", new SoSeparator);
      addChildDragger(child);
    }
    for (char axis : kAxes) {
      std::snprintf(part, sizeof part, "%cCenterChanger", axis);
      auto* child = static_cast<SoDragger*>(getAnyPart(part, FALSE));
      if (!child) continue;
      std::snprintf(geometry, sizeof geometry, "centerballCenterChanger%c", axis);
      child->setPartAsDefault("translator", geometry);
      child->setPartAsDefault("translatorActive", "centerballCenterChangerActive");
      child->setPartAsDefault("feedback", geometry);
      child->setPartAsDefault("feedbackActive", "centerballCenterFeedbackActive");
      addChildDragger(child);
    }

    fieldSensorCB(this, nullptr);
    if (rotFieldSensor->getAttachedField() != &rotation) rotFieldSensor->attach(&rotation);
    if (centerFieldSensor->getAttachedField() != &center) centerFieldSensor->attach(&center);
  } else {
    for (const char* child : kChildren) removeChildDragger(child);
    if (rotFieldSensor->getAttachedField()) rotFieldSensor->detach();
    if (centerFieldSensor->getAttachedField()) centerFieldSensor->detach();
    SoDragger::setUpConnections(onoff, doitalways);
  }
  connectionsSetUp = onoff;
  return !onoff;
}

void SoCenterballDragger2::setDefaultOnNonWritingFields() {
  for (SoSFNode* part : {&rotator, &XCenterChanger, &YCenterChanger, &ZCenterChanger, &XRotator, &YRotator, &ZRotator,
                         &surroundScale, &antiSquish, &translateToCenter}) {
    part->setDefault(TRUE);
  }
  SoDragger::setDefaultOnNonWritingFields();
}

void SoCenterballDragger2::saveStartParameters() {
  SoDragger::saveStartParameters();
  const SbMatrix& m = getMotionMatrix();
  savedTransl.setValue(m[3][0], m[3][1], m[3][2]);
}

void SoCenterballDragger2::addChildDragger(SoDragger* child) {
  child->addStartCallback(&SoCenterballDragger2::kidStartCB, this);
  child->addFinishCallback(&SoCenterballDragger2::kidFinishCB, this);
  registerChildDragger(child);
}

void SoCenterballDragger2::removeChildDragger(const char* partName) {
  auto* child = static_cast<SoDragger*>(getAnyPart(partName, FALSE));
  if (!child) return;
  child->removeStartCallback(&SoCenterballDragger2::kidStartCB, this);
  child->removeFinishCallback(&SoCenterballDragger2::kidFinishCB, this);
  unregisterChildDragger(child);
}

void SoCenterballDragger2::fieldSensorCB(void* data, SoSensor*) {
  auto* self = static_cast<SoCenterballDragger2*>(data);
  self->savedCenter = self->center.getValue();
  static_cast<SoMatrixTransform*>(self->getAnyPart("translateToCenter", TRUE))->matrix = Translation(self->savedCenter);
  SbMatrix motion = self->getMotionMatrix();
  self->workFieldsIntoTransform(motion);
  self->setMotionMatrix(motion);
}

void SoCenterballDragger2::valueChangedCB(void*, SoDragger* dragger) {
  auto* self = static_cast<SoCenterballDragger2*>(dragger);
  // A centre set from outside whose sensor has not run yet (a manip sets the
  // field and then the motion matrix at once) is the centre the new motion
  // matrix was built about: take it now, or its rotation would be read as a
  // centre change.
  if (self->centerFieldSensor->isScheduled()) {
    self->savedCenter = self->center.getValue();
    static_cast<SoMatrixTransform*>(self->getAnyPart("translateToCenter", TRUE))->matrix =
        Translation(self->savedCenter);
  }
  SbMatrix m = self->getMotionMatrix();
  const SbVec3f c = self->savedCenter;
  if (c != SbVec3f(0.0f, 0.0f, 0.0f)) {
    m.multLeft(Translation(c));
    m.multRight(Translation(-c));
  }
  SbVec3f t, s;
  SbRotation r, so;
  m.getTransform(t, r, s, so);
  SbMatrix unrotate;
  r.inverse().getValue(unrotate);
  m.multLeft(unrotate);
  t.setValue(m[3][0], m[3][1], m[3][2]);

  if (t != SbVec3f(0.0f, 0.0f, 0.0f)) {
    self->centerFieldSensor->detach();
    self->center = c + t;
    self->centerFieldSensor->attach(&self->center);
  }
  self->rotFieldSensor->detach();
  if (self->rotation.getValue() != r) self->rotation = r;
  self->rotFieldSensor->attach(&self->rotation);
}

void SoCenterballDragger2::kidStartCB(void* data, SoDragger* child) {
  auto* self = static_cast<SoCenterballDragger2*>(data);
  self->setSwitches(child);
  if (auto* scale = static_cast<SoSurroundScale*>(self->getAnyPart("surroundScale", FALSE))) scale->invalidate();
}

void SoCenterballDragger2::kidFinishCB(void* data, SoDragger*) {
  auto* self = static_cast<SoCenterballDragger2*>(data);
  self->setSwitches(nullptr);
  if (auto* scale = static_cast<SoSurroundScale*>(self->getAnyPart("surroundScale", FALSE))) scale->invalidate();
}

void SoCenterballDragger2::setSwitches(SoDragger* activeChild) {
  SoNode* ball = getAnyPart("rotator", FALSE);
  if (!activeChild || activeChild == ball) {
    const int which = activeChild ? 1 : 0;
    for (const char* part :
         {"XCenterChanger.translatorSwitch", "YCenterChanger.translatorSwitch", "ZCenterChanger.translatorSwitch",
          "XRotator.rotatorSwitch", "YRotator.rotatorSwitch", "ZRotator.rotatorSwitch"}) {
      if (auto* sw = static_cast<SoSwitch*>(getAnyPart(part, TRUE))) sw->whichChild = which;
    }
  }
  int x = SO_SWITCH_NONE, y = SO_SWITCH_NONE, z = SO_SWITCH_NONE;
  if (activeChild) {
    if (activeChild == getAnyPart("XRotator", FALSE)) {
      x = 0;
    } else if (activeChild == getAnyPart("YRotator", FALSE)) {
      y = 0;
    } else if (activeChild == getAnyPart("ZRotator", FALSE)) {
      z = 0;
    } else {
      x = y = z = 0;
    }
  }
  static_cast<SoSwitch*>(getAnyPart("XAxisSwitch", TRUE))->whichChild = x;
  static_cast<SoSwitch*>(getAnyPart("YAxisSwitch", TRUE))->whichChild = y;
  static_cast<SoSwitch*>(getAnyPart("ZAxisSwitch", TRUE))->whichChild = z;
}

void SoCenterballDragger2::transferCenterDraggerMotion(SoDragger* child) {
  if (child != getAnyPart("XCenterChanger", FALSE) && child != getAnyPart("YCenterChanger", FALSE) &&
      child != getAnyPart("ZCenterChanger", FALSE)) {
    return;
  }
  SbMatrix m = getMotionMatrix();
  SbVec3f d = SbVec3f(m[3][0], m[3][1], m[3][2]) - savedTransl;
  rotation.getValue().inverse().multVec(d, d);

  centerFieldSensor->detach();
  center = d + savedCenter;
  centerFieldSensor->attach(&center);

  m[3][0] = savedTransl[0];
  m[3][1] = savedTransl[1];
  m[3][2] = savedTransl[2];
  const SbBool enabled = enableValueChangedCallbacks(FALSE);
  setMotionMatrix(m);
  enableValueChangedCallbacks(enabled);

  static_cast<SoMatrixTransform*>(getAnyPart("translateToCenter", TRUE))->matrix = Translation(center.getValue());
}

void SoCenterballDragger2::getBoundingBox(SoGetBoundingBoxAction* action) {
  auto* scale = static_cast<SoSurroundScale*>(getAnyPart("surroundScale", FALSE));
  if (!scale) {
    SoDragger::getBoundingBox(action);
    return;
  }
  const SbBool doing = scale->isDoingTranslations();
  scale->setDoingTranslations(FALSE);
  SoDragger::getBoundingBox(action);
  scale->setDoingTranslations(doing);
}

void SoCenterballDragger2::getMatrix(SoGetMatrixAction* action) {
  auto* scale = static_cast<SoSurroundScale*>(getAnyPart("surroundScale", FALSE));
  if (!scale) {
    SoDragger::getMatrix(action);
    return;
  }
  const SbBool doing = scale->isDoingTranslations();
  scale->setDoingTranslations(FALSE);
  SoDragger::getMatrix(action);
  scale->setDoingTranslations(doing);
}

void SoCenterballDragger2::GLRender(SoGLRenderAction* action) { VxRenderDraggerOnTop(this, action); }

void SoCenterballDragger2::rayPick(SoRayPickAction* action) { VxPickDraggerOnTop(this, action); }
