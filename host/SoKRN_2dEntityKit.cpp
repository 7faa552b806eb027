#include "host/SoKRN_2dEntityKit.h"

SO_KIT_SOURCE(SoKRN_2dEntityKit);

void SoKRN_2dEntityKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_2dEntityKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_2dEntityKit::SoKRN_2dEntityKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_2dEntityKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_2dEntityKit::~SoKRN_2dEntityKit() = default;
