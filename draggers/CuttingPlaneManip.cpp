#include "draggers/CuttingPlaneManip.h"

#include <Inventor/errors/SoDebugError.h>

#include "draggers/SoCuttingPlaneDragger.h"

SO_NODE_SOURCE(CuttingPlaneManip);

void CuttingPlaneManip::initClass() {
  if (SoCuttingPlaneDragger::getClassTypeId().isBad()) {
    SoDebugError::post("CuttingPlaneManip::initClass",
                       "SoCuttingPlaneDragger is not registered: call SoCuttingPlaneDragger::initClass first");
  }
  SO_NODE_INIT_CLASS(CuttingPlaneManip, SoClipPlaneManip, "SoClipPlaneManip");
}

CuttingPlaneManip::CuttingPlaneManip() {
  SO_NODE_CONSTRUCTOR(CuttingPlaneManip);
  // Replaces (and releases) the stock dragger the base constructor made.
  // Without the dragger's type the stock dragger stays, and we say why.
  if (SoCuttingPlaneDragger::getClassTypeId().isBad()) {
    SoDebugError::post("CuttingPlaneManip::CuttingPlaneManip",
                       "SoCuttingPlaneDragger is not registered; keeping the stock dragger");
    return;
  }
  setDragger(new SoCuttingPlaneDragger);
}

CuttingPlaneManip::~CuttingPlaneManip() = default;
