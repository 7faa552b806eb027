#include "tools/viewer/ActionFilterGroup.h"

SO_NODE_SOURCE(ActionFilterGroup);

void ActionFilterGroup::initClass() {
  if (getClassTypeId().isBad()) SO_NODE_INIT_CLASS(ActionFilterGroup, SoGroup, "Group");
}

ActionFilterGroup::ActionFilterGroup() { SO_NODE_CONSTRUCTOR(ActionFilterGroup); }

ActionFilterGroup::~ActionFilterGroup() = default;

void ActionFilterGroup::GLRender(SoGLRenderAction* action) {
  if (mode_ == Mode::RenderOnly) SoGroup::GLRender(action);
}

void ActionFilterGroup::handleEvent(SoHandleEventAction* action) {
  if (mode_ == Mode::AllButRender) SoGroup::handleEvent(action);
}

void ActionFilterGroup::rayPick(SoRayPickAction* action) {
  if (mode_ == Mode::AllButRender) SoGroup::rayPick(action);
}

void ActionFilterGroup::getBoundingBox(SoGetBoundingBoxAction* action) {
  if (mode_ == Mode::AllButRender) SoGroup::getBoundingBox(action);
}
