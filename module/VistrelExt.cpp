// Module start-up.
//
// On Linux there is no application-object framework, so the module keeps no
// application object: loading the shared library needs no initialisation of
// its own, and nothing in the library depends on such an object.
//
// The picking aids (SnappingFilter, SoKRN_SelectManager, the trackers,
// PickObjectData) are plain classes with no Coin type: nothing to register.
#include "module/VistrelExt.h"

#include "draggers/SoCenterballDragger2.h"
#include "draggers/SoCenterballManip2.h"
#include "draggers/SoDraggerPackKit.h"
#include "draggers/SoPinDraggerPackKit.h"
#include "draggers/SoRotateCylindricalDraggerExt.h"
#include "draggers/SoTabPlaneDraggerExt.h"
#include "draggers/SoTransformExt.h"
#include "draggers/SoTranslate1DraggerExt.h"
#include "intersection/SoIntersectionDetectionExtAction.h"

namespace {

// Registers a class unless its type is already known, so a repeated start-up
// (or one after Coin's cleanup has reset the types) does no harm.
template <class T>
void initOnce() {
  if (T::getClassTypeId().isBad()) T::initClass();
}

}  // namespace

void initVistrelExtClass() {
  // Registration order matters: a type registered before its parent gets a
  // bad parent, and the manips create the draggers. SoCuttingPlaneDragger
  // and CuttingPlaneManip are registered by the host itself, dragger first,
  // before it creates either.
  initOnce<SoCenterballDragger2>();              // 1
  initOnce<SoCenterballManip2>();                // 2
  initOnce<SoIntersectionDetectionExtAction>();  // 3
  initOnce<SoTranslate1DraggerExt>();            // 4
  initOnce<SoRotateCylindricalDraggerExt>();     // 5
  initOnce<SoTabPlaneDraggerExt>();              // 6
  initOnce<SoTransformExt>();                    // 7
  initOnce<SoDraggerPackKit>();                  // 8
  initOnce<SoPinDraggerPackKit>();               // 9
}
