#pragma once
// A curve of a body (picked through its line sets).
// Only a frame here: a type id that pick filters tell apart, and a group
// ("contents") for what it holds.
#include "host/SoKRN_BaseKit.h"

class SoKRN_CurveKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_CurveKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(contents);

public:
  static void initClass();
  SoKRN_CurveKit();

protected:
  ~SoKRN_CurveKit() override;
};
