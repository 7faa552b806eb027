#include "host/SoKRN_GetMatrixAction.h"

SO_ACTION_SOURCE(SoKRN_GetMatrixAction);

void SoKRN_GetMatrixAction::initClass() { SO_ACTION_INIT_CLASS(SoKRN_GetMatrixAction, SoGetMatrixAction); }

SoKRN_GetMatrixAction::SoKRN_GetMatrixAction(const SbViewportRegion& vp) : SoGetMatrixAction(vp) {
  SO_ACTION_CONSTRUCTOR(SoKRN_GetMatrixAction);
}

SoKRN_GetMatrixAction::~SoKRN_GetMatrixAction() = default;
