#pragma once
// Document-wide display information; part "drawStyle".
#include "host/SoKRN_BaseKit.h"

class SoKRN_InfoKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_InfoKit);
  SO_KIT_CATALOG_ENTRY_HEADER(drawStyle);

public:
  static void initClass();
  SoKRN_InfoKit();

protected:
  ~SoKRN_InfoKit() override;
};
