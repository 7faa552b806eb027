#include "host/SoKRN_WeldKit.h"

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoKRN_WeldKit);

void SoKRN_WeldKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_WeldKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_WeldKit::SoKRN_WeldKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_WeldKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, \x0, TRUE);
  SO_KIT_ADD_FIELD(weldId, (0));
  SO_KIT_ADD_FIELD(visible, (TRUE));
  SO_KIT_INIT_INSTANCE();
}

SoKRN_WeldKit::~SoKRN_WeldKit() = default;

void SoKRN_WeldKit::setVisibility(bool on, bool notify) {
  if (isVisible() == on) return;
  if (!notify) enableNotify(FALSE);
  visible.setValue(on);
  if (!notify) enableNotify(TRUE);
}

void SoKRN_WeldKit::GLRender(SoGLRenderAction* action) {
  if (isVisible()) SoKRN_BaseKit::GLRender(action);
}

void SoKRN_WeldKit::rayPick(SoRayPickAction* action) {
  if (isVisible()) SoKRN_BaseKit::rayPick(action);
}
