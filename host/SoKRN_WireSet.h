#pragma once
// A set of free wires.
// Only a frame here: the type id exists so that traversals can tell these
// kits apart (the interference check never tests what lies below them).
#include "host/SoKRN_BaseKit.h"

class SoKRN_WireSet : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_WireSet);

public:
  static void initClass();
  SoKRN_WireSet();

protected:
  ~SoKRN_WireSet() override;
};
