#pragma once
// A body of a node-kit tree: here the entity of a saved clip line (a node
// kit of feature type 30000). A frame without geometry of its own.
#include "host/SoKRN_BaseKit.h"

class SoKRN_BodyKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_BodyKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);

public:
  static void initClass();
  SoKRN_BodyKit();

protected:
  ~SoKRN_BodyKit() override;
};
