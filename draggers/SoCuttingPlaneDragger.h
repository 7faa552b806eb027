#pragma once
// A square plane dragger for cutting planes.
//
// A wire-frame square of side 2 in the dragger's local XY plane (from
// (-1,-1,0) to (1,1,0)). Every drag translates it across its own plane, by
// the amount under the cursor; holding Shift restricts the motion to the local
// X or Y axis, whichever the first large enough motion after Shift follows
// (ties choose X). Pressing or releasing Shift mid-drag restarts the drag
// from the current point. No gesture scales it: `scaleFactor` changes only
// when the application sets it.
//
// It keeps a tab-plane dragger's part layout (edge and corner scale tabs
// under "scaleTabs"). The tab coordinates are sized at every render to 10
// pixels at the dragger's centre; the tab face sets are left to the
// application (the dragger creates none), and the coordinate parts are not
// written to files.
//
// Registration: not done by initVistrelExtClass. The host calls initClass
// (before CuttingPlaneManip::initClass) before it creates one.
#include <memory>

#include <Inventor/draggers/SoDragger.h>
#include <Inventor/fields/SoSFVec3f.h>

class SbPlaneProjector;
class SoFieldSensor;
class SoGLRenderAction;
class SoSensor;

class SoCuttingPlaneDragger : public SoDragger {
  SO_KIT_HEADER(SoCuttingPlaneDragger);
  SO_KIT_CATALOG_ENTRY_HEADER(planeSwitch);
  SO_KIT_CATALOG_ENTRY_HEADER(translator);
  SO_KIT_CATALOG_ENTRY_HEADER(scaleTabs);
  SO_KIT_CATALOG_ENTRY_HEADER(scaleTabMaterial);
  SO_KIT_CATALOG_ENTRY_HEADER(scaleTabHints);
  SO_KIT_CATALOG_ENTRY_HEADER(scaleTabMaterialBinding);
  SO_KIT_CATALOG_ENTRY_HEADER(scaleTabNormalBinding);
  SO_KIT_CATALOG_ENTRY_HEADER(scaleTabNormal);
  SO_KIT_CATALOG_ENTRY_HEADER(edgeScaleCoords);
  SO_KIT_CATALOG_ENTRY_HEADER(edgeScaleTab0);
  SO_KIT_CATALOG_ENTRY_HEADER(edgeScaleTab1);
  SO_KIT_CATALOG_ENTRY_HEADER(edgeScaleTab2);
  SO_KIT_CATALOG_ENTRY_HEADER(edgeScaleTab3);
  SO_KIT_CATALOG_ENTRY_HEADER(cornerScaleCoords);
  SO_KIT_CATALOG_ENTRY_HEADER(cornerScaleTab0);
  SO_KIT_CATALOG_ENTRY_HEADER(cornerScaleTab1);
  SO_KIT_CATALOG_ENTRY_HEADER(cornerScaleTab2);
  SO_KIT_CATALOG_ENTRY_HEADER(cornerScaleTab3);

public:
  static void initClass();
  SoCuttingPlaneDragger();

  SoSFVec3f translation;  // (0,0,0)
  SoSFVec3f scaleFactor;  // (1,1,1)

  // A request to re-size the tabs; they are re-sized at every render anyway.
  void adjustScaleTabSize();

protected:
  ~SoCuttingPlaneDragger() override;
  void GLRender(SoGLRenderAction* action) override;
  SbBool setUpConnections(SbBool onoff, SbBool doitalways = FALSE) override;
  void setDefaultOnNonWritingFields() override;

  static void startCB(void* data, SoDragger* dragger);
  static void motionCB(void* data, SoDragger* dragger);
  static void finishCB(void* data, SoDragger* dragger);
  static void fieldSensorCB(void* data, SoSensor* sensor);
  static void valueChangedCB(void* data, SoDragger* dragger);
  static void metaKeyChangeCB(void* data, SoDragger* dragger);

  void dragStart();
  void drag();
  void dragFinish();

  std::unique_ptr<SoFieldSensor> translFieldSensor;
  std::unique_ptr<SoFieldSensor> scaleFieldSensor;

private:
  // Sizes the tab coordinates to 10 pixels at the dragger's centre (0.08 with
  // no action) and rewrites them when the size changed since the last call.
  void reallyAdjustScaleTabSize(SoGLRenderAction* action);

  std::unique_ptr<SbPlaneProjector> planeProj;
  // 0 free, 1 Shift held and no axis chosen yet, 2 local X, 3 local Y.
  int constraintState = 0;
  float prevSizeX = 0.0f;
  float prevSizeY = 0.0f;
  SbVec3f worldRestartPt{0.0f, 0.0f, 0.0f};
};
