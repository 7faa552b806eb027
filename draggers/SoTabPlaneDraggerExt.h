#pragma once
// The stock tab-plane dragger, drawn and picked on top of the scene, with its
// scale tabs outside the plane square, a placement matrix part and an
// optional pin to a screen position.
//
// - Tabs: 10 pixels on screen, one per edge and one per corner, lying just
//   outside the square from (-1,-1) to (1,1) (the stock dragger puts them
//   inside), rewritten at every render.
// - "plcMatrix": an SoMatrixTransform applied to the dragger's geometry,
//   before its motion; setPlcMatrix/getPlcMatrix.
// - Pin: while `bPinFlg` is TRUE, every render moves `translation` so that
//   the dragger's origin shows at the normalised screen position `localPnt`
//   (0..1 per axis, lower-left origin) at the depth it already has; only the
//   screen position is fixed. setLocal() sets the point and switches the pin
//   on; only setting `bPinFlg` to FALSE switches it off.
// Registered by initVistrelExtClass.
#include <Inventor/draggers/SoTabPlaneDragger.h>
#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFVec2f.h>

class SoTabPlaneDraggerExt : public SoTabPlaneDragger {
  SO_KIT_HEADER(SoTabPlaneDraggerExt);
  SO_KIT_CATALOG_ENTRY_HEADER(plcMatrix);

public:
  static void initClass();
  SoTabPlaneDraggerExt();

  SoSFVec2f localPnt;  // (0,0)
  SoSFBool bPinFlg;    // FALSE

  // Sets the placement matrix; a different matrix also runs the value-changed
  // callbacks, the same one does nothing.
  void setPlcMatrix(const SbMatrix& m);
  const SbMatrix& getPlcMatrix();
  void setLocal(const SbVec2f& p);

  // Places the 16 edge and 16 corner tab points outside the square, sized to
  // 10 pixels at the dragger's centre (0.08 with no action).
  void reallyAdjustScaleTabPos(SoGLRenderAction* action);

  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;

protected:
  ~SoTabPlaneDraggerExt() override;
};
