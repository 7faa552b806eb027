#include "draggers/SoRotateCylindricalDraggerExt.h"

#include "draggers/OnTopDrawing.h"

SO_KIT_SOURCE(SoRotateCylindricalDraggerExt);

void SoRotateCylindricalDraggerExt::initClass() {
  SO_KIT_INIT_CLASS(SoRotateCylindricalDraggerExt, SoRotateCylindricalDragger, "SoRotateCylindricalDragger");
}

SoRotateCylindricalDraggerExt::SoRotateCylindricalDraggerExt() {
  SO_KIT_CONSTRUCTOR(SoRotateCylindricalDraggerExt);
  SO_KIT_INIT_INSTANCE();
}

SoRotateCylindricalDraggerExt::~SoRotateCylindricalDraggerExt() = default;

void SoRotateCylindricalDraggerExt::GLRender(SoGLRenderAction* action) { VxRenderDraggerOnTop(this, action); }

void SoRotateCylindricalDraggerExt::rayPick(SoRayPickAction* action) { VxPickDraggerOnTop(this, action); }
