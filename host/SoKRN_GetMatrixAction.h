#pragma once
// Matrix action of the document: includes user matrices only when asked.
// Applied to a path that ends at an instance kit, the result includes that
// instance's own placement (and its user matrix when asked): it maps the
// instance's local coordinates to the coordinates of the path's head.
#include <Inventor/actions/SoGetMatrixAction.h>

class SoKRN_GetMatrixAction : public SoGetMatrixAction {
  SO_ACTION_HEADER(SoKRN_GetMatrixAction);

public:
  static void initClass();
  explicit SoKRN_GetMatrixAction(const SbViewportRegion& vp);
  ~SoKRN_GetMatrixAction() override;

  void setWithUserMatrixFlg(SbBool on) { m_withUser = on; }
  SbBool getWithUserMatrixFlg() const { return m_withUser; }

private:
  SbBool m_withUser = FALSE;
};
