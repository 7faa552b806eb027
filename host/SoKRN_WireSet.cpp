#include "host/SoKRN_WireSet.h"

SO_KIT_SOURCE(SoKRN_WireSet);

void SoKRN_WireSet::initClass() { SO_KIT_INIT_CLASS(SoKRN_WireSet, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_WireSet::SoKRN_WireSet() {
  SO_KIT_CONSTRUCTOR(SoKRN_WireSet);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_WireSet::~SoKRN_WireSet() = default;
