#pragma once
// A clip-plane manip whose dragger is an SoCuttingPlaneDragger: the user
// drags the square and the clip plane follows it. Plane and dragger
// bookkeeping are SoClipPlaneManip's own.
//
// Registration: not done by initVistrelExtClass. The host calls
// SoCuttingPlaneDragger::initClass first, then this initClass.
#include <Inventor/manips/SoClipPlaneManip.h>

class CuttingPlaneManip : public SoClipPlaneManip {
  SO_NODE_HEADER(CuttingPlaneManip);

public:
  static void initClass();
  CuttingPlaneManip();

protected:
  ~CuttingPlaneManip() override;
};
