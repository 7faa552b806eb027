#pragma once
// The faces of a mesh kit with their appearance.
#include "host/SoKRN_BaseKit.h"

class SoKRN_MeshFaceKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_MeshFaceKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(information);
  SO_KIT_CATALOG_ENTRY_HEADER(coords);
  SO_KIT_CATALOG_ENTRY_HEADER(faces);

public:
  static void initClass();
  SoKRN_MeshFaceKit();

protected:
  ~SoKRN_MeshFaceKit() override;
};
