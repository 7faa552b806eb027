#include "host/SoKRN_EdgeKit.h"

SO_KIT_SOURCE(SoKRN_EdgeKit);

void SoKRN_EdgeKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_EdgeKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_EdgeKit::SoKRN_EdgeKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_EdgeKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_EdgeKit::~SoKRN_EdgeKit() = default;
