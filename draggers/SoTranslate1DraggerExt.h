#pragma once
// The stock one-axis translate dragger, drawn and picked on top of the scene (see
// OnTopDrawing.h); parts, geometry, fields and motion are the stock class's.
// Registered by initVistrelExtClass.
#include <Inventor/draggers/SoTranslate1Dragger.h>

class SoTranslate1DraggerExt : public SoTranslate1Dragger {
  SO_KIT_HEADER(SoTranslate1DraggerExt);

public:
  static void initClass();
  SoTranslate1DraggerExt();

  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;

protected:
  ~SoTranslate1DraggerExt() override;
};
