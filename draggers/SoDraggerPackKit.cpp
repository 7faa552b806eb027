// Constant screen size. The world length of the wanted screen fraction is
// taken at the kit's origin in world space (the model matrix applied to the
// origin), so the size holds wherever the kit stands, not only near the
// world origin.
#include "draggers/SoDraggerPackKit.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/draggers/SoDragger.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoDraggerPackKit);

void SoDraggerPackKit::initClass() { SO_KIT_INIT_CLASS(SoDraggerPackKit, SoBaseKit, "SoBaseKit"); }

SoDraggerPackKit::SoDraggerPackKit() {
  SO_KIT_CONSTRUCTOR(SoDraggerPackKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(trans, SoMatrixTransform, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(dragger, SoDragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
  SoBaseKit::setUpConnections(TRUE, TRUE);
}

SoDraggerPackKit::~SoDraggerPackKit() = default;

void SoDraggerPackKit::setDragger(SoDragger* dragger) { setPart("dragger", dragger); }

SoDragger* SoDraggerPackKit::getDragger() { return static_cast<SoDragger*>(getAnyPart("dragger", TRUE, FALSE, FALSE)); }

void SoDraggerPackKit::setTrans(const SbMatrix& m) {
  auto* part = static_cast<SoMatrixTransform*>(getAnyPart("trans", TRUE));
  if (part->matrix.getValue() != m) part->matrix = m;
}

const SbMatrix& SoDraggerPackKit::getTrans() {
  return static_cast<SoMatrixTransform*>(getAnyPart("trans", TRUE))->matrix.getValue();
}

float SoDraggerPackKit::getScale() {
  SbVec3f t, s;
  SbRotation r, so;
  getTrans().getTransform(t, r, s, so);
  return s[0];
}

void SoDraggerPackKit::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  state->push();
  const SbVec2s window = SoViewportRegionElement::get(state).getWindowSize();
  // 15 % of the smaller window dimension, in pixels.
  const float pixels = static_cast<float>(0.15 * (window[0] > window[1] ? window[1] : window[0]));
  SbVec3f c;
  SoModelMatrixElement::get(state).multVecMatrix(SbVec3f(0.0f, 0.0f, 0.0f), c);
  const short vpWidth = SoViewportRegionElement::get(state).getViewportSizePixels()[0];
  auto* part = static_cast<SoMatrixTransform*>(getAnyPart("trans", TRUE));
  if (part && vpWidth > 0) {
    const float scale = SoViewVolumeElement::get(state).getWorldToScreenScale(c, pixels / vpWidth);
    SbVec3f t, s;
    SbRotation r, so;
    SbMatrix m = part->matrix.getValue();
    m.getTransform(t, r, s, so);
    m.setTransform(t, r, SbVec3f(scale, scale, scale));
    if (part->matrix.getValue() != m) part->matrix = m;
  }
  SoBaseKit::GLRender(action);
  state->pop();
}
