#include "host/SoKRN_MeshFaceKit.h"

#include <Inventor/nodekits/SoAppearanceKit.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoSeparator.h>

SO_KIT_SOURCE(SoKRN_MeshFaceKit);

void SoKRN_MeshFaceKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_MeshFaceKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_MeshFaceKit::SoKRN_MeshFaceKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_MeshFaceKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, FALSE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(information, SoAppearanceKit, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(coords, SoCoordinate3, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(faces, SoIndexedFaceSet, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_MeshFaceKit::~SoKRN_MeshFaceKit() = default;
