#pragma once
// A body of a part (solid, sheet or wire body) in its node-kit tree.
// Only a frame here: a type id that pick filters tell apart, and a group
// ("contents") for what it holds.
#include "host/SoKRN_BaseKit.h"

class SoKRN_BodyKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_BodyKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(contents);

public:
  static void initClass();
  SoKRN_BodyKit();

protected:
  ~SoKRN_BodyKit() override;
};
