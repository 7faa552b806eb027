#pragma once
// Matrix action of the document: includes user matrices only when asked.
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
