#pragma once
// The document root: top prototype, active component, selection, temporary
// children, clip-plane children, info kit, and the document state.
//
// Structure: topSeparator { modelSeparator { info, clipPlanes, selection {
// topPrototype } }, tmpChildren }. The info kit's draw style and the clip
// planes act on the model only; temporary children are drawn after it and
// are not clipped.
#include <Inventor/lists/SoPathList.h>
#include <cstdint>
#include <memory>
#include "host/SoKRN_BaseKit.h"
#include "host/SoRef.h"

class SoKRN_ComponentKit;
class SoKRN_InfoKit;
class SoKRN_State;
class SoGroup;
class SoSelection;

class SoKRN_MainDoc : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_MainDoc);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(modelSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(clipPlanes);
  SO_KIT_CATALOG_ENTRY_HEADER(info);
  SO_KIT_CATALOG_ENTRY_HEADER(selection);
  SO_KIT_CATALOG_ENTRY_HEADER(topPrototype);
  SO_KIT_CATALOG_ENTRY_HEADER(tmpChildren);

public:
  static void initClass();
  // Creates the document with its state and an empty top prototype
  // (a prototype kit named "Root").
  SoKRN_MainDoc();

  SoKRN_ComponentKit* getTopPrototype() const;
  // Replaces the top prototype (used when reading a file); it must be a
  // prototype kit. Adopts the new tree.
  void setTopPrototype(SoKRN_ComponentKit* proto);
  SoKRN_ComponentKit* getActiveComp() const;     // the top prototype unless set
  void setActiveComp(SoKRN_ComponentKit* comp);  // null = the top prototype

  // Sets this document's state on every kit below it (after building or
  // reading a tree), and moves the element-id counter past every id found.
  void adoptTree();
  // A fresh element id (nonzero, unique within this document).
  uint32_t newElementId();

  // Selection: paths, newest last. select() takes a reference on the path.
  void select(SoPath* path);
  // Selects the first path from this document to `node`; nothing when the
  // node is not below the document.
  void selectNode(SoNode* node);
  void deselect(const SoPath* path);
  void deselect(SoNode* tail);  // every selected path ending at `tail`
  void deselectAll(SbBool notify);
  int getNumSelected() const;
  SoPath* getPath(int i) const;
  const SoPathList& getList() const;

  // Temporary children, held (referenced) by the document; never written to
  // a file.
  void addTmpChild(SoNode* node);
  void removeTempChild(SoNode* node);
  int getNumTempChildren() const;
  SoNode* getTmpChildByIndex(int i) const;

  // Clip-plane children: placed before the model, so they clip it.
  SoGroup* getClipPlaneChildren();

  SoKRN_InfoKit* getKRN_Info();
  SoSelection* getSelectionNode();

  // Full path from this document to its top prototype (appended to `out`,
  // which must be empty or end at this document's parent).
  void appendPathToTopPrototype(SoPath& out) const;

protected:
  ~SoKRN_MainDoc() override;
  SbBool readInstance(SoInput* in, unsigned short flags) override;

private:
  std::unique_ptr<SoKRN_State> m_pOwnState;
  vx::host::SoRef<SoKRN_ComponentKit> m_pActiveComp;
  SoPathList m_selection;
  uint32_t m_nextElementId = 1;
};
