#include "host/SoKRN_FdtKit.h"

SO_KIT_SOURCE(SoKRN_FdtKit);

void SoKRN_FdtKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_FdtKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_FdtKit::SoKRN_FdtKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_FdtKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_FdtKit::~SoKRN_FdtKit() = default;
