#pragma once
// The feature of a node kit; here it may carry a magnetic line.
#include "host/SoKRN_BaseKit.h"

class SoKRN_MagneticLineKit;

class SoKRN_FeatureKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_FeatureKit);
  SO_KIT_CATALOG_ENTRY_HEADER(magneticLine);

public:
  static void initClass();
  SoKRN_FeatureKit();

  SoKRN_MagneticLineKit* getMagneticLineKit() const;
  void setMagneticLineKit(SoKRN_MagneticLineKit* line);

protected:
  ~SoKRN_FeatureKit() override;
};
