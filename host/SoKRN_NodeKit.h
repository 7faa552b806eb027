#pragma once
// Annotation and feature tree of a component (only a frame for now).
#include <Inventor/fields/SoSFInt32.h>
#include <Inventor/fields/SoSFUInt32.h>
#include "host/SoKRN_BaseKit.h"

class SoKRN_NodeKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_NodeKit);
  SO_KIT_CATALOG_ENTRY_HEADER(childList);

public:
  static void initClass();
  SoKRN_NodeKit();

  SoSFInt32 dataType;
  SoSFUInt32 nodeId;

  uint32_t getID() const { return nodeId.getValue(); }
  int getNumChildren() const;
  SoKRN_NodeKit* getChild(int i) const;
  void addChild(SoKRN_NodeKit* child);
  // Removes the direct child with the given id; true when found.
  bool removeChildNodeKitByID(uint32_t id, SbBool notify);

protected:
  ~SoKRN_NodeKit() override;
};
