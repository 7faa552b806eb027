#pragma once
// A model edge (line sets whose user data is the edge's geometry attribute).
// Only a frame here: the type id exists so that traversals can tell these
// kits apart (the interference check never tests what lies below them).
#include "host/SoKRN_BaseKit.h"

class SoKRN_EdgeKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_EdgeKit);

public:
  static void initClass();
  SoKRN_EdgeKit();

protected:
  ~SoKRN_EdgeKit() override;
};
