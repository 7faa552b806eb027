#include "draggers/SoTransformExt.h"

#include <GL/gl.h>

#include <Inventor/SbRotation.h>
#include <Inventor/actions/SoGLRenderAction.h>

SO_NODE_SOURCE(SoTransformExt);

void SoTransformExt::initClass() { SO_NODE_INIT_CLASS(SoTransformExt, SoTransform, "SoTransform"); }

SoTransformExt::SoTransformExt() { SO_NODE_CONSTRUCTOR(SoTransformExt); }

SoTransformExt::~SoTransformExt() = default;

void SoTransformExt::GLRender(SoGLRenderAction* action) {
  // OpenGL keeps the matrix column by column, which is SbMatrix's row-vector
  // layout read row by row: element 4i + j goes to row i, column j.
  GLfloat gl[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, gl);
  SbMatrix modelView;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) modelView[i][j] = gl[4 * i + j];
  }
  SbVec3f t, s;
  SbRotation r, so;
  modelView.inverse().getTransform(t, r, s, so, center.getValue());
  if (rotation.getValue() != r) rotation = r;
  SoTransform::doAction(action);
}
