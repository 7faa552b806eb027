#include "host/SoKRN_CurveKit.h"

#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoKRN_CurveKit);

void SoKRN_CurveKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_CurveKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_CurveKit::SoKRN_CurveKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_CurveKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, "", FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(contents, SoGroup, TRUE, topSeparator, "", TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_CurveKit::~SoKRN_CurveKit() = default;
