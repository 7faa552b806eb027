#include "host/SoKRN_FeatureKit.h"

#include "host/SoKRN_MagneticLineKit.h"

SO_KIT_SOURCE(SoKRN_FeatureKit);

void SoKRN_FeatureKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_FeatureKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_FeatureKit::SoKRN_FeatureKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_FeatureKit);
  SO_KIT_ADD_CATALOG_ENTRY(magneticLine, SoKRN_MagneticLineKit, TRUE, this, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_FeatureKit::~SoKRN_FeatureKit() = default;

SoKRN_MagneticLineKit* SoKRN_FeatureKit::getMagneticLineKit() const {
  return static_cast<SoKRN_MagneticLineKit*>(magneticLine.getValue());
}

void SoKRN_FeatureKit::setMagneticLineKit(SoKRN_MagneticLineKit* line) { setPart("magneticLine", line); }
