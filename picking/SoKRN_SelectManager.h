#pragma once
// A pick filter for the viewer's SoSelection: reduces a picked path to the
// object of the first selectable kind, as the document state's selection
// mask (SoKRN_State::getSelectionFilterType) says. Kinds, tested in this
// order, each cutting a copy of the path back from its tail to the first
// node that is:
//
//   order  bits         object                                    side effect
//   1      0x2 | 0x4    the body kit at or above the lowest point marker
//   2      0x2000       a model display (view, clip plane)        highlighted
//   3      0x80         a magnetic line kit                       highlighted
//   4      0x8          the body kit at or above the lowest curve kit
//   5      0x200        an annotation (FDT) kit                   highlighted
//   6      0x400        a mesh kit of kind 1 (selectable)
//   7      0x1000       a node kit
//   8      0x1          an instance (component kit of kind 0)
//   9      0x800        a body kit
//
// Other bits select nothing; a mask of 0 selects nothing at all. The path
// returned carries no reference (the selection node takes one).
//
// Two ways in: SelectionFilterCB takes the event action (it asks the action
// for its picked point), as a viewer's own event handling calls it;
// SelectionPickCB has the signature of Coin's SoSelection pick filter:
//   sel->setPickFilterCallback(SoKRN_SelectManager::SelectionPickCB, &manager);
// The manager references its document for its life; copies share it.
#include <memory>

class SoHandleEventAction;
class SoKRN_MainDoc;
class SoPath;
class SoPickedPoint;

class SoKRN_SelectManager {
public:
  explicit SoKRN_SelectManager(SoKRN_MainDoc* doc);
  ~SoKRN_SelectManager();
  SoKRN_SelectManager(const SoKRN_SelectManager&) = default;
  SoKRN_SelectManager& operator=(const SoKRN_SelectManager&) = default;

  static SoPath* SelectionFilterCB(void* userData, SoHandleEventAction* action);
  static SoPath* SelectionPickCB(void* userData, const SoPickedPoint* pick);
  SoPath* SelectionFilter(const SoPickedPoint* pp);

  // Selection-node callbacks the viewer may register; they do nothing.
  static void SelectionPathCB(void*, SoPath*) {}
  static void DeSelectionPathCB(void*, SoPath*) {}
  static void HighlightPathCB(void*, SoPath*) {}
  static void DeHighlightPathCB(void*, SoPath*) {}

private:
  struct Record;
  std::shared_ptr<Record> m_pData;
};
