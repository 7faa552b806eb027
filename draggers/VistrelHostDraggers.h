#pragma once
// Host start-up for the cutting-plane dragger and manip, which the library's
// own initVistrelExtClass leaves to the host: call after VistrelHostInit and
// before creating either. The dragger goes first (the manip makes one).
// Header-only, so the host library itself does not depend on the draggers;
// the caller links VistrelExt.
#include "draggers/CuttingPlaneManip.h"
#include "draggers/SoCuttingPlaneDragger.h"

inline void VistrelHostInitCuttingPlane() {
  if (SoCuttingPlaneDragger::getClassTypeId().isBad()) SoCuttingPlaneDragger::initClass();
  if (CuttingPlaneManip::getClassTypeId().isBad()) CuttingPlaneManip::initClass();
}
