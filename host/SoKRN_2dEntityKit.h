#pragma once
// A two-dimensional entity (sketch geometry).
// Only a frame here: the type id exists so that traversals can tell these
// kits apart (the interference check never tests what lies below them).
#include "host/SoKRN_BaseKit.h"

class SoKRN_2dEntityKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_2dEntityKit);

public:
  static void initClass();
  SoKRN_2dEntityKit();

protected:
  ~SoKRN_2dEntityKit() override;
};
