#include "host/SoKRN_BodyKit.h"

#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoKRN_BodyKit);

void SoKRN_BodyKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_BodyKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_BodyKit::SoKRN_BodyKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_BodyKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_BodyKit::~SoKRN_BodyKit() = default;
