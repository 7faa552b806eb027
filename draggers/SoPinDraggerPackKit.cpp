// Pinned to the screen: see the header. C is the kit's origin in world
// space; the depth and the world length of a screen fraction are taken there.
// The wanted placement is built in world space (facing rotation: the inverse
// of the view's; the projection holds no rotation and would only mirror it)
// and brought into the kit's space, so a kit under a transform pins as well.
#include "draggers/SoPinDraggerPackKit.h"

#include <Inventor/SbPlane.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/draggers/SoDragger.h>
#include <Inventor/elements/SoModelMatrixElement.h>
#include <Inventor/elements/SoViewVolumeElement.h>
#include <Inventor/elements/SoViewingMatrixElement.h>
#include <Inventor/elements/SoViewportRegionElement.h>
#include <Inventor/misc/SoState.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoPinDraggerPackKit);

void SoPinDraggerPackKit::initClass() { SO_KIT_INIT_CLASS(SoPinDraggerPackKit, SoBaseKit, "SoBaseKit"); }

SoPinDraggerPackKit::SoPinDraggerPackKit() {
  SO_KIT_CONSTRUCTOR(SoPinDraggerPackKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(trans, SoMatrixTransform, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(dragger, SoDragger, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
  m_localPnt.setValue(0.0f, 0.0f);
  m_localSize.setValue(0.0f, 0.0f);
  SoBaseKit::setUpConnections(TRUE, TRUE);
}

SoPinDraggerPackKit::~SoPinDraggerPackKit() = default;

void SoPinDraggerPackKit::setDragger(SoDragger* dragger) { setPart("dragger", dragger); }

SoDragger* SoPinDraggerPackKit::getDragger() {
  return static_cast<SoDragger*>(getAnyPart("dragger", TRUE, FALSE, FALSE));
}

void SoPinDraggerPackKit::setTrans(const SbMatrix& m) {
  auto* part = static_cast<SoMatrixTransform*>(getAnyPart("trans", TRUE));
  if (part->matrix.getValue() != m) part->matrix = m;
}

const SbMatrix& SoPinDraggerPackKit::getTrans() {
  return static_cast<SoMatrixTransform*>(getAnyPart("trans", TRUE))->matrix.getValue();
}

float SoPinDraggerPackKit::getScale() {
  SbVec3f t, s;
  SbRotation r, so;
  getTrans().getTransform(t, r, s, so);
  return s[0];
}

void SoPinDraggerPackKit::copyContents(const SoFieldContainer* from, SbBool copyConnections) {
  SoBaseKit::copyContents(from, copyConnections);
  const auto* other = static_cast<const SoPinDraggerPackKit*>(from);
  m_localPnt.setValue(other->m_localPnt.getValue());
  m_localSize.setValue(other->m_localSize.getValue());
}

void SoPinDraggerPackKit::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  state->push();
  const SbMatrix& model = SoModelMatrixElement::get(state);
  SbVec3f t, s;
  SbRotation facing, so;
  SoViewingMatrixElement::get(state).inverse().getTransform(t, facing, s, so);
  const SbVec2s window = SoViewportRegionElement::get(state).getWindowSize();
  SbVec3f c;
  model.multVecMatrix(SbVec3f(0.0f, 0.0f, 0.0f), c);
  const short vpWidth = SoViewportRegionElement::get(state).getViewportSizePixels()[0];
  auto* part = static_cast<SoMatrixTransform*>(getAnyPart("trans", TRUE));
  if (part && vpWidth > 0) {
    const SbViewVolume& volume = SoViewVolumeElement::get(state);
    const float scale = volume.getWorldToScreenScale(c, static_cast<float>((window[1] * 0.5) / vpWidth));
    const SbVec2f size = m_localSize.getValue();
    const SbVec3f scaled(static_cast<float>(scale * size[0] * size[1] * 1.02),
                         static_cast<float>(scale * size[0] * 1.02), scale);
    const float depth = volume.getPlane(0.0f).getDistance(c);
    const SbVec3f position = volume.getPlanePoint(-depth, m_localPnt.getValue());
    // The wanted placement in world space, brought into the kit's space.
    SbMatrix m;
    m.setTransform(position, facing, scaled);
    m.multRight(model.inverse());
    enableNotify(FALSE);
    part->enableNotify(FALSE);
    part->matrix = m;
    part->enableNotify(TRUE);
    enableNotify(TRUE);
  }
  SoBaseKit::GLRender(action);
  state->pop();
}

void SoPinDraggerPackKit::getBoundingBox(SoGetBoundingBoxAction* action) {
  SoState* state = action->getState();
  state->push();
  SoBaseKit::getBoundingBox(action);
  state->pop();
}
