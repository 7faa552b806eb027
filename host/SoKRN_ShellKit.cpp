#include "host/SoKRN_ShellKit.h"

SO_KIT_SOURCE(SoKRN_ShellKit);

void SoKRN_ShellKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_ShellKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_ShellKit::SoKRN_ShellKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_ShellKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_ShellKit::~SoKRN_ShellKit() = default;
