#include "draggers/SoCenterballManip2.h"

#include <Inventor/errors/SoDebugError.h>
#include <Inventor/nodes/SoSurroundScale.h>

#include "draggers/SoCenterballDragger2.h"

SO_NODE_SOURCE(SoCenterballManip2);

void SoCenterballManip2::initClass() { SO_NODE_INIT_CLASS(SoCenterballManip2, SoTransformManip, "SoTransformManip"); }

SoCenterballManip2::SoCenterballManip2() {
  SO_NODE_CONSTRUCTOR(SoCenterballManip2);
  if (SoCenterballDragger2::getClassTypeId().isBad()) {
    SoDebugError::post("SoCenterballManip2::SoCenterballManip2",
                       "SoCenterballDragger2 is not registered; call initVistrelExtClass first");
    return;
  }
  auto* dragger = new SoCenterballDragger2;
  setDragger(dragger);
  // The surround scale sizes the ball to what the manip transforms: the
  // container is four nodes up (manip's path), the reset point three.
  auto* scale = static_cast<SoSurroundScale*>(dragger->getPart("surroundScale", TRUE));
  if (scale) {
    scale->numNodesUpToContainer = 4;
    scale->numNodesUpToReset = 3;
  }
}

SoCenterballManip2::~SoCenterballManip2() = default;
