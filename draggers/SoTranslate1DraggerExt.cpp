#include "draggers/SoTranslate1DraggerExt.h"

#include "draggers/OnTopDrawing.h"

SO_KIT_SOURCE(SoTranslate1DraggerExt);

void SoTranslate1DraggerExt::initClass() {
  SO_KIT_INIT_CLASS(SoTranslate1DraggerExt, SoTranslate1Dragger, "SoTranslate1Dragger");
}

SoTranslate1DraggerExt::SoTranslate1DraggerExt() {
  SO_KIT_CONSTRUCTOR(SoTranslate1DraggerExt);
  SO_KIT_INIT_INSTANCE();
}

SoTranslate1DraggerExt::~SoTranslate1DraggerExt() = default;

void SoTranslate1DraggerExt::GLRender(SoGLRenderAction* action) { VxRenderDraggerOnTop(this, action); }

void SoTranslate1DraggerExt::rayPick(SoRayPickAction* action) { VxPickDraggerOnTop(this, action); }
