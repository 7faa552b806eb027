#include "host/SoKRN_BaseKit.h"

SO_KIT_SOURCE(SoKRN_BaseKit);

void SoKRN_BaseKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_BaseKit, SoBaseKit, "BaseKit"); }

SoKRN_BaseKit::SoKRN_BaseKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_BaseKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_BaseKit::~SoKRN_BaseKit() = default;
