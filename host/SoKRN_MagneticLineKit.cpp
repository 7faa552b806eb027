#include "host/SoKRN_MagneticLineKit.h"

SO_KIT_SOURCE(SoKRN_MagneticLineKit);

void SoKRN_MagneticLineKit::initClass() {
  SO_KIT_INIT_CLASS(SoKRN_MagneticLineKit, SoKRN_BaseKit, "SoKRN_BaseKit");
}

SoKRN_MagneticLineKit::SoKRN_MagneticLineKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_MagneticLineKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_MagneticLineKit::~SoKRN_MagneticLineKit() = default;
