#pragma once
// A group that passes only some actions to its children: either only the
// GL render action (drawn, never picked, never handling events, no bounding
// box), or every action but that one (picked and handling events, never
// drawn). The same subgraph under one group of each kind is handled at one
// place of the traversal and drawn at another: a dragger can take the mouse
// before the document's selection node (which would take the press) and
// still be drawn after the document (so that its see-through parts blend
// over the scene instead of hiding it).
//
// The mode is set once after construction and is not a field: the node is
// the viewer's own and is never written to a file. Registered by
// ActionFilterGroup::initClass() (after Coin's init).
#include <Inventor/nodes/SoGroup.h>

class ActionFilterGroup : public SoGroup {
  SO_NODE_HEADER(ActionFilterGroup);

public:
  enum class Mode { RenderOnly, AllButRender };
  static void initClass();
  ActionFilterGroup();
  void setMode(Mode mode) { mode_ = mode; }

  void GLRender(SoGLRenderAction* action) override;
  void handleEvent(SoHandleEventAction* action) override;
  void rayPick(SoRayPickAction* action) override;
  void getBoundingBox(SoGetBoundingBoxAction* action) override;

protected:
  ~ActionFilterGroup() override;

private:
  Mode mode_ = Mode::AllButRender;
};
