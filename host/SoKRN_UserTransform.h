#pragma once
// Internal part of an instance kit, placed right after its placement
// transform. During traversal it applies the user matrix that the document
// state holds for the occurrence being traversed (looked up by the instance
// chain of the action's current path), in every action that accumulates
// matrices; in a matrix action only when it is an SoKRN_GetMatrixAction with
// its user-matrix flag set.
//
// Known limit: the key is built from the current path, so an action applied
// below the document (at an inner instance) sees a shorter chain and only
// finds entries stored under that shorter chain.
#include <Inventor/SbMatrix.h>
#include <Inventor/nodes/SoNode.h>
#include <Inventor/nodes/SoSubNode.h>

class SoKRN_ComponentKit;
class SoPath;

class SoKRN_UserTransform : public SoNode {
  SO_NODE_HEADER(SoKRN_UserTransform);

public:
  static void initClass();
  SoKRN_UserTransform();

  // The user matrix of the occurrence of instance `kit` reached by `path`
  // (a full path that passes through or ends at `kit`); false when the
  // kit's state holds none.
  static bool lookUp(const SoPath* path, const SoKRN_ComponentKit* kit, SbMatrix& u);

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;
  void getBoundingBox(SoGetBoundingBoxAction* action) override;
  void getMatrix(SoGetMatrixAction* action) override;
  void pick(SoPickAction* action) override;

protected:
  ~SoKRN_UserTransform() override;

private:
  void applyToModel(SoAction* action);
};
