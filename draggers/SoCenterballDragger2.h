#pragma once
// A dragger that rotates about a movable centre, drawn and picked on top of
// the scene.
//
// Built from seven child draggers: a free (spherical) rotator, the small
// wire ball at the centre; three cylindrical rotators about the local X, Y
// and Z axes, drawn as quarter-disc stripes; and three one-axis centre
// changers, drawn as arrows, that move the rotation centre along their axis.
// `rotation` and `center` follow the interaction (both in the dragger's
// parent space) and, set from outside, move the dragger.
//
// An axis line shows while its rotator is dragged, all three while the ball
// or a centre changer is; the axis parts of the other children switch to
// their active form while the ball is dragged.
//
// Default geometry: the Inventor text "centerballDragger2.iv" compiled into
// the library. Registered by initVistrelExtClass (before SoCenterballManip2).
#include <memory>

#include <Inventor/draggers/SoDragger.h>
#include <Inventor/fields/SoSFRotation.h>
#include <Inventor/fields/SoSFVec3f.h>

class SoFieldSensor;
class SoSensor;

class SoCenterballDragger2 : public SoDragger {
  SO_KIT_HEADER(SoCenterballDragger2);
  SO_KIT_CATALOG_ENTRY_HEADER(XAxis);
  SO_KIT_CATALOG_ENTRY_HEADER(XAxisSwitch);
  SO_KIT_CATALOG_ENTRY_HEADER(XCenterChanger);
  SO_KIT_CATALOG_ENTRY_HEADER(XRotator);
  SO_KIT_CATALOG_ENTRY_HEADER(YAxis);
  SO_KIT_CATALOG_ENTRY_HEADER(YAxisSwitch);
  SO_KIT_CATALOG_ENTRY_HEADER(YCenterChanger);
  SO_KIT_CATALOG_ENTRY_HEADER(YRotator);
  SO_KIT_CATALOG_ENTRY_HEADER(ZAxis);
  SO_KIT_CATALOG_ENTRY_HEADER(ZAxisSwitch);
  SO_KIT_CATALOG_ENTRY_HEADER(ZCenterChanger);
  SO_KIT_CATALOG_ENTRY_HEADER(ZRotator);
  SO_KIT_CATALOG_ENTRY_HEADER(antiSquish);
  SO_KIT_CATALOG_ENTRY_HEADER(lightModel);
  SO_KIT_CATALOG_ENTRY_HEADER(rotY90);
  SO_KIT_CATALOG_ENTRY_HEADER(rotZ90);
  SO_KIT_CATALOG_ENTRY_HEADER(rot2Z90);
  SO_KIT_CATALOG_ENTRY_HEADER(rotX90);
  SO_KIT_CATALOG_ENTRY_HEADER(rotator);
  SO_KIT_CATALOG_ENTRY_HEADER(surroundScale);
  SO_KIT_CATALOG_ENTRY_HEADER(translateToCenter);

public:
  static void initClass();
  SoCenterballDragger2();

  SoSFRotation rotation;  // identity
  SoSFVec3f center;       // (0,0,0)

  void saveStartParameters() override;
  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;

  // Moves `center` by the translation the motion matrix gained since the
  // last saveStartParameters (taken back into the unrotated frame) and puts
  // that translation back, for a caller that lets a centre changer's motion
  // reach the motion matrix itself. Does nothing for any other child.
  void transferCenterDraggerMotion(SoDragger* child);

protected:
  ~SoCenterballDragger2() override;
  void getBoundingBox(SoGetBoundingBoxAction* action) override;
  void getMatrix(SoGetMatrixAction* action) override;
  SbBool setUpConnections(SbBool onoff, SbBool doitalways = FALSE) override;
  void setDefaultOnNonWritingFields() override;

  static void fieldSensorCB(void* data, SoSensor* sensor);
  static void valueChangedCB(void* data, SoDragger* dragger);
  static void kidStartCB(void* data, SoDragger* child);
  static void kidFinishCB(void* data, SoDragger* child);

  // Shows the axis lines and active parts that go with the child being
  // dragged (null: none is).
  void setSwitches(SoDragger* activeChild);
  void addChildDragger(SoDragger* child);
  void removeChildDragger(const char* partName);

  std::unique_ptr<SoFieldSensor> rotFieldSensor;
  std::unique_ptr<SoFieldSensor> centerFieldSensor;

private:
  SbVec3f savedTransl{0.0f, 0.0f, 0.0f};  // motion translation at saveStartParameters
  SbVec3f savedCenter{0.0f, 0.0f, 0.0f};  // the centre last worked into the dragger
};
