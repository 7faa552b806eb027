#include "host/SoKRN_UserTransform.h"

#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoPickAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoModelMatrixElement.h>

#include "host/PathKey.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_GetMatrixAction.h"
#include "host/SoKRN_State.h"

SO_NODE_SOURCE(SoKRN_UserTransform);

void SoKRN_UserTransform::initClass() { SO_NODE_INIT_CLASS(SoKRN_UserTransform, SoNode, "Node"); }

SoKRN_UserTransform::SoKRN_UserTransform() { SO_NODE_CONSTRUCTOR(SoKRN_UserTransform); }

SoKRN_UserTransform::~SoKRN_UserTransform() = default;

bool SoKRN_UserTransform::lookUp(const SoPath* path, const SoKRN_ComponentKit* kit, SbMatrix& u) {
  if (!path || !kit || !kit->isInstance()) return false;
  const SoKRN_State* state = kit->getKRNState();
  if (!state || !state->hasUserMatrices()) return false;
  return state->getUserMatrixByKey(vx::host::InstanceChainKey(path), u);
}

void SoKRN_UserTransform::applyToModel(SoAction* action) {
  // Path: ... instance kit, its top separator, this node.
  const SoFullPath* path = static_cast<const SoFullPath*>(action->getCurPath());
  if (path->getLength() < 3) return;
  SoNode* owner = path->getNodeFromTail(2);
  if (!owner->isOfType(SoKRN_ComponentKit::getClassTypeId())) return;
  SbMatrix u;
  if (lookUp(path, static_cast<SoKRN_ComponentKit*>(owner), u)) SoModelMatrixElement::mult(action->getState(), this, u);
}

void SoKRN_UserTransform::doAction(SoAction* action) { applyToModel(action); }

void SoKRN_UserTransform::GLRender(SoGLRenderAction* action) {
  // The matrix depends on the document state, which no cache tracks.
  SoCacheElement::invalidate(action->getState());
  applyToModel(action);
}

void SoKRN_UserTransform::callback(SoCallbackAction* action) { applyToModel(action); }

void SoKRN_UserTransform::getBoundingBox(SoGetBoundingBoxAction* action) {
  SoCacheElement::invalidate(action->getState());
  applyToModel(action);
}

void SoKRN_UserTransform::pick(SoPickAction* action) { applyToModel(action); }

void SoKRN_UserTransform::getMatrix(SoGetMatrixAction* action) {
  if (!action->isOfType(SoKRN_GetMatrixAction::getClassTypeId())) return;
  if (!static_cast<SoKRN_GetMatrixAction*>(action)->getWithUserMatrixFlg()) return;
  const SoFullPath* path = static_cast<const SoFullPath*>(action->getCurPath());
  if (path->getLength() < 3) return;
  SoNode* owner = path->getNodeFromTail(2);
  if (!owner->isOfType(SoKRN_ComponentKit::getClassTypeId())) return;
  SbMatrix u;
  if (!lookUp(path, static_cast<SoKRN_ComponentKit*>(owner), u)) return;
  action->getMatrix().multLeft(u);
  action->getInverse().multRight(u.inverse());
}
