#include "host/SoKRN_PntMarkerKit.h"

#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoKRN_PntMarkerKit);

void SoKRN_PntMarkerKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_PntMarkerKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_PntMarkerKit::SoKRN_PntMarkerKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_PntMarkerKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, "", FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(contents, SoGroup, TRUE, topSeparator, "", TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_PntMarkerKit::~SoKRN_PntMarkerKit() = default;
