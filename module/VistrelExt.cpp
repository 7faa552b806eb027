// Module start-up.
//
// On Linux there is no application-object framework, so the module keeps no
// application object: loading the shared library needs no initialisation of
// its own, and nothing in the library depends on such an object.
//
// The picking aids (SnappingFilter, SoKRN_SelectManager, the trackers,
// PickObjectData) are plain classes with no Coin type: nothing to register.
#include "module/VistrelExt.h"

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
  // bad parent, and the manip and pack kits create the draggers. Slots whose
  // class is not part of the library yet are kept as comments so the order
  // stays visible:
  //   1. SoCenterballDragger2           (parent SoDragger)
  //   2. SoCenterballManip2             (parent SoTransformManip)
  //   3. SoIntersectionDetectionExtAction
  //   4. SoTranslate1DraggerExt         (parent SoTranslate1Dragger)
  //   5. SoRotateCylindricalDraggerExt  (parent SoRotateCylindricalDragger)
  //   6. SoTabPlaneDraggerExt           (parent SoTabPlaneDragger)
  //   7. SoTransformExt                 (parent SoTransform)
  //   8. SoDraggerPackKit               (parent SoBaseKit)
  //   9. SoPinDraggerPackKit            (parent SoBaseKit)
  // SoCuttingPlaneDragger and CuttingPlaneManip are registered by the host
  // itself, dragger first, before it creates either.
  initOnce<SoIntersectionDetectionExtAction>();  // 3
}
