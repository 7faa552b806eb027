#include "host/SoKRN_TextKit.h"

SO_KIT_SOURCE(SoKRN_TextKit);

void SoKRN_TextKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_TextKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_TextKit::SoKRN_TextKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_TextKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_TextKit::~SoKRN_TextKit() = default;
