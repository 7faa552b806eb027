#include "draggers/OnTopDrawing.h"

#include <GL/gl.h>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/draggers/SoDragger.h>
#include <Inventor/elements/SoPickStyleElement.h>
#include <Inventor/misc/SoState.h>

VxOnTopDepth::VxOnTopDepth() {
  GLfloat range[2] = {0.0f, 1.0f};
  GLint func = GL_LESS;
  GLboolean mask = GL_TRUE;
  glGetFloatv(GL_DEPTH_RANGE, range);
  glGetIntegerv(GL_DEPTH_FUNC, &func);
  glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  m_range[0] = range[0];
  m_range[1] = range[1];
  m_func = func;
  m_mask = mask;
  glDepthFunc(GL_ALWAYS);
  glDepthMask(GL_TRUE);
  glDepthRange(0.0, 0.0);
}

VxOnTopDepth::~VxOnTopDepth() {
  glDepthFunc(static_cast<GLenum>(m_func));
  glDepthMask(static_cast<GLboolean>(m_mask));
  glDepthRange(m_range[0], m_range[1]);
}

void VxRenderDraggerOnTop(SoDragger* dragger, SoGLRenderAction* action) {
  SoState* state = action->getState();
  state->push();
  {
    VxOnTopDepth onTop;
    dragger->SoDragger::GLRender(action);
  }
  state->pop();
}

void VxPickDraggerOnTop(SoDragger* dragger, SoRayPickAction* action) {
  SoState* state = action->getState();
  state->push();
  SoPickStyleElement::set(state, dragger, SoPickStyleElement::SHAPE_ON_TOP);
  dragger->SoDragger::rayPick(action);
  state->pop();
}
