#pragma once
// The stock cylindrical rotate dragger, drawn and picked on top of the scene (see
// OnTopDrawing.h); parts, geometry, fields and motion are the stock class's.
// Registered by initVistrelExtClass.
#include <Inventor/draggers/SoRotateCylindricalDragger.h>

class SoRotateCylindricalDraggerExt : public SoRotateCylindricalDragger {
  SO_KIT_HEADER(SoRotateCylindricalDraggerExt);

public:
  static void initClass();
  SoRotateCylindricalDraggerExt();

  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;

protected:
  ~SoRotateCylindricalDraggerExt() override;
};
