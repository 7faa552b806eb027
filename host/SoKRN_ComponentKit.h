#pragma once
// A component of the assembly tree: a prototype (part or sub-assembly
// definition holding instance children and bodies) or an instance (a
// placement of a prototype inside its parent prototype).
//
// Structure (parts under "topSeparator", in traversal order):
//   instance:  transform, userMatrix (internal), protoGroup -> the prototype
//   prototype: bodies (SoBrepFaceSet shapes with their coordinates),
//              childList (instance kits), rootNode (annotation tree)
// A prototype can be placed many times: the same prototype node then sits
// under several instances, so only a Coin path tells the occurrences apart.
//
// Traversal: an instance applies its placement transform and then, when the
// document state holds one for the current path, the user matrix, in every
// action that accumulates matrices (render, pick, bounding box, callback; the
// matrix action only when asked). Per-path visibility hides a component from
// rendering and picking only; callback, bounding-box and search actions still
// see it. A matrix action applied to a path that ends at an instance includes
// that instance's own placement (and user matrix when asked).
//
// Display overrides (colour, transparency) are kept per occurrence by the
// document state too (SoKRN_State::setInsColor); an instance applies the
// ones of its occurrence, as an overriding material, when it is drawn.
//
// Paths handed around are full paths: the nodes inside kits are part of them,
// so read them through SoFullPath (SoPath::getLength stops at the first kit).
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFUInt32.h>
#include <unordered_map>
#include "host/SoKRN_DocElementKit.h"

class SoKRN_NodeKit;
class SoKRN_WeldKit;
class SoGroup;
class SoPath;

class SoKRN_ComponentKit : public SoKRN_DocElementKit {
  SO_KIT_HEADER(SoKRN_ComponentKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(transform);
  SO_KIT_CATALOG_ENTRY_HEADER(userMatrix);
  SO_KIT_CATALOG_ENTRY_HEADER(protoGroup);
  SO_KIT_CATALOG_ENTRY_HEADER(bodies);
  SO_KIT_CATALOG_ENTRY_HEADER(childList);
  SO_KIT_CATALOG_ENTRY_HEADER(rootNode);
  SO_KIT_CATALOG_ENTRY_HEADER(welds);

public:
  enum ComponentType { INSTANCE = 0, PART = 1, ASSEMBLY = 2 };

  static void initClass();
  SoKRN_ComponentKit();

  SoSFEnum componentType;  // 0 = instance, else prototype (default INSTANCE)
  SoSFUInt32 plcId;        // placement id of an instance

  bool isInstance() const { return componentType.getValue() == INSTANCE; }
  // A prototype's product data: its Tpx_ProtoType, made on first use.
  // Instances have none of their own.
  Tpx_Object* getTpxObjCache() const override;
  uint32_t getPLCID() const { return plcId.getValue(); }

  // Instance: the placed prototype (null for a prototype kit).
  SoKRN_ComponentKit* getPrototype() const;
  // Instance: places `proto` (replacing an earlier one) and makes sure the
  // placement transform and user-matrix parts exist.
  void setPrototype(SoKRN_ComponentKit* proto);

  // Prototype: instance children. An instance answers with its prototype's
  // children (the same nodes).
  int getNumEleChildren() const override;
  SoKRN_DocElementKit* getEleChild(int i) const override;
  void addEleChild(SoKRN_ComponentKit* instance);
  // Removes the instance child with the given placement id; true when found.
  bool removeInsChildViaPLCID(uint32_t plcid);
  // Largest placement id among the children, plus one (0 for none).
  uint32_t nextPlcId() const;
  // Prototype (or an instance's prototype): the direct instance child with
  // placement id `plcid`, or null. Index lookups are cached and re-checked.
  SoKRN_ComponentKit* findEleChildByPLCID(uint32_t plcid) const;

  // Prototype: body shapes (SoBrepFaceSet with its coordinates and so on).
  SoGroup* getBodies();
  SoGroup* getBodiesIfAny() const;  // null when the prototype has no bodies
  // Prototype: the group holding the instance children (null when none and
  // `create` is false).
  SoGroup* getChildGroup(bool create);

  SoKRN_NodeKit* getRootNode();

  // Prototype: welds, in their welding order.
  int getNumWeld() const;
  SoKRN_WeldKit* getWeldByIndex(int i) const;
  void addWeld(SoKRN_WeldKit* weld);

  // Clip-line sets cut by the document's clip plane. This stand-in does not
  // create clip-line sets, so there is never one to remove.
  void removeAllClipLineSet(SbBool /*notify*/) {}
  SoTransform* getTrans(bool create) override;

  // Path building from the kits' known structure (no search). `path` is a
  // full path whose tail is this kit; false (path unchanged) when the
  // structure does not hold.
  // Instance: appends the nodes down to its prototype kit.
  bool appendPrototypeToPath(SoPath& path) const;
  // Prototype: appends the nodes down to `child`, one of its instance kits.
  bool appendChildToPath(SoPath& path, const SoKRN_ComponentKit* child) const;

  // What the document state says of the occurrence reached by `path` (a
  // full path ending at this kit): shown, hidden, or hidden with some
  // occurrence below it shown again.
  enum class Visibility { Shown, Hidden, HiddenButChildrenShown };
  Visibility visibilityOn(const SoPath* path) const;

protected:
  ~SoKRN_ComponentKit() override;
  // Everything of a component lies under its top separator, so it leaves
  // the traversal state as it found it. Saying so lets a path traversal
  // skip the components before the path's child instead of traversing each
  // one (a box or matrix of one instance among n siblings otherwise costs
  // the whole of its siblings).
  SbBool affectsState() const override { return FALSE; }
  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;
  void getMatrix(SoGetMatrixAction* action) override;
  SbBool readInstance(SoInput* in, unsigned short flags) override;
  void setDefaultOnNonWritingFields() override;

private:
  int findChildIndex(uint32_t plcid) const;
  mutable std::unordered_map<uint32_t, int> m_plcIndex;
  // The children the index covers: their count and the last one (-1: none).
  mutable int m_plcIndexCount = -1;
  mutable const SoNode* m_plcIndexLast = nullptr;
  // nextPlcId's last answer and the children it was computed for (count and
  // last child). Placement ids of existing children are never changed.
  mutable uint32_t m_next = 0;
  mutable int m_nextCount = -1;
  mutable const SoNode* m_nextLast = nullptr;
};
