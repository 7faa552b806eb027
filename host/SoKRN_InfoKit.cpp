#include "host/SoKRN_InfoKit.h"

#include <Inventor/nodes/SoDrawStyle.h>

SO_KIT_SOURCE(SoKRN_InfoKit);

void SoKRN_InfoKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_InfoKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_InfoKit::SoKRN_InfoKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_InfoKit);
  // Applies to the whole model: the document traverses this kit first.
  SO_KIT_ADD_CATALOG_ENTRY(drawStyle, SoDrawStyle, FALSE, this, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_InfoKit::~SoKRN_InfoKit() = default;
