#pragma once
// Drawing and picking a dragger on top of the scene, shared by the
// centre-ball dragger and the extended stock draggers.
//
// Drawing: the dragger is rendered (SoDragger::GLRender) with the depth test
// passing always and every fragment written at the nearest depth (depth range
// 0..0), so it shows in front of everything drawn before it and is not hidden
// by what is drawn after it. The depth function, depth write mask and depth
// range are restored afterwards, and the traversal state is pushed and popped
// around the call. Needs a current OpenGL context (inside a render action).
//
// Picking: the dragger is picked with the SHAPE_ON_TOP pick style, so its
// picked points come before the scene's whatever their depth.
class SoDragger;
class SoGLRenderAction;
class SoRayPickAction;

// The on-top depth state for the life of the object: depth test passing
// always, writes at the nearest depth; the previous depth function, write
// mask and range are put back on destruction. Needs a current context.
class VxOnTopDepth {
public:
  VxOnTopDepth();
  ~VxOnTopDepth();
  VxOnTopDepth(const VxOnTopDepth&) = delete;
  VxOnTopDepth& operator=(const VxOnTopDepth&) = delete;

private:
  float m_range[2] = {0.0f, 1.0f};
  int m_func = 0x0201;  // GL_LESS
  unsigned char m_mask = 1;
};

void VxRenderDraggerOnTop(SoDragger* dragger, SoGLRenderAction* action);
void VxPickDraggerOnTop(SoDragger* dragger, SoRayPickAction* action);
