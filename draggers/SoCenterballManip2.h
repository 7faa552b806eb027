#pragma once
// A transform manip whose dragger is an SoCenterballDragger2: the node acts
// as an SoTransform that the user rotates about a movable centre.
// Registered by initVistrelExtClass, after SoCenterballDragger2.
#include <Inventor/manips/SoTransformManip.h>

class SoCenterballManip2 : public SoTransformManip {
  SO_NODE_HEADER(SoCenterballManip2);

public:
  static void initClass();
  SoCenterballManip2();

protected:
  ~SoCenterballManip2() override;
};
