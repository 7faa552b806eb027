#pragma once
// A component of the assembly tree: a prototype (part or sub-assembly
// definition holding instance children and bodies) or an instance (a
// placement of a prototype inside its parent prototype).
//
// Traversal: an instance applies its placement transform and then, when the
// document state holds one for the current path, the user matrix, in every
// action that accumulates matrices (render, pick, bounding box, callback; the
// matrix action only when asked). Per-path visibility hides an instance from
// rendering and picking only.
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFUInt32.h>
#include "host/SoKRN_DocElementKit.h"

class SoKRN_NodeKit;
class SoGroup;

class SoKRN_ComponentKit : public SoKRN_DocElementKit {
  SO_KIT_HEADER(SoKRN_ComponentKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(transform);
  SO_KIT_CATALOG_ENTRY_HEADER(userMatrix);
  SO_KIT_CATALOG_ENTRY_HEADER(protoGroup);
  SO_KIT_CATALOG_ENTRY_HEADER(bodies);
  SO_KIT_CATALOG_ENTRY_HEADER(childList);
  SO_KIT_CATALOG_ENTRY_HEADER(rootNode);

public:
  enum ComponentType { INSTANCE = 0, PART = 1, ASSEMBLY = 2 };

  static void initClass();
  SoKRN_ComponentKit();

  SoSFEnum componentType;  // 0 = instance, else prototype
  SoSFUInt32 plcId;        // placement id of an instance

  bool isInstance() const { return componentType.getValue() == INSTANCE; }
  uint32_t getPLCID() const { return plcId.getValue(); }

  // Instance: the placed prototype (null for a prototype kit).
  SoKRN_ComponentKit* getPrototype() const;
  void setPrototype(SoKRN_ComponentKit* proto);

  // Prototype: instance children.
  int getNumEleChildren() const override;
  SoKRN_DocElementKit* getEleChild(int i) const override;
  void addEleChild(SoKRN_ComponentKit* instance);
  // Removes the instance child with the given placement id; true when found.
  bool removeInsChildViaPLCID(uint32_t plcid);
  // Largest placement id among the children, plus one (0 for none).
  uint32_t nextPlcId() const;

  // Prototype: body shapes (SoBrepFaceSet with its coordinates and so on).
  SoGroup* getBodies();

  SoKRN_NodeKit* getRootNode();
  SoTransform* getTrans(bool create) override;

protected:
  ~SoKRN_ComponentKit() override;
  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;
};
