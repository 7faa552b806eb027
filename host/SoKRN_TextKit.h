#pragma once
// A text shown in the model.
// Only a frame here: the type id exists so that traversals can tell these
// kits apart (the interference check never tests what lies below them).
#include "host/SoKRN_BaseKit.h"

class SoKRN_TextKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_TextKit);

public:
  static void initClass();
  SoKRN_TextKit();

protected:
  ~SoKRN_TextKit() override;
};
