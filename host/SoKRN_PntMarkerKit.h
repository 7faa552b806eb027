#pragma once
// A point marker of a body.
// Only a frame here: a type id that pick filters tell apart, and a group
// ("contents") for what it holds.
#include "host/SoKRN_BaseKit.h"

class SoKRN_PntMarkerKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_PntMarkerKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(contents);

public:
  static void initClass();
  SoKRN_PntMarkerKit();

protected:
  ~SoKRN_PntMarkerKit() override;
};
