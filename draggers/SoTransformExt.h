#pragma once
// A transform that turns what follows it to face the viewer.
//
// At every render its `rotation` is replaced by the inverse of the rotation
// of the current OpenGL model-view matrix (view and model together, taken
// about the node's own `center`), so the rotations accumulated so far cancel
// and the shapes after it keep facing the screen. Translation, scale and
// centre act as set. Other actions (bounding box, picking) use the rotation
// of the last render. Registered by initVistrelExtClass.
#include <Inventor/nodes/SoTransform.h>

class SoTransformExt : public SoTransform {
  SO_NODE_HEADER(SoTransformExt);

public:
  static void initClass();
  SoTransformExt();

  void GLRender(SoGLRenderAction* action) override;

protected:
  ~SoTransformExt() override;
};
