#pragma once
// A small switchable scene graph that marks something in the document:
//
//   SoSwitch "SnappingSoSwitch" (whichChild 0 = shown, -1 = hidden)
//   └ SoSeparator (group)
//     └ SoBaseColor (255, 0, 0)   red; GL clamps the 255 to full red
//
// Subclasses append what they draw to the group and set the document.
// The tracker holds one reference on its switch (the document holds another
// while the tracker is inserted) and one on its document; copies share the
// nodes.
#include "host/SoRef.h"

class SoKRN_MainDoc;
class SoSeparator;
class SoSwitch;

class SoKRN_Tracker {
public:
  SoKRN_Tracker();
  virtual ~SoKRN_Tracker();
  SoKRN_Tracker(const SoKRN_Tracker& other);
  SoKRN_Tracker& operator=(const SoKRN_Tracker& other);

  void On();
  void Off();
  // Adds the switch to (removes it from) the document's temporary children;
  // nothing without a document.
  void insert();
  void remove();

  SoSwitch* getSwitch() const { return m_pSwitch; }
  SoSeparator* getGroup() const { return m_pGroup; }
  SoKRN_MainDoc* getDoc() const { return m_pDoc; }

protected:
  vx::host::SoRef<SoKRN_MainDoc> m_pDoc;  // set by the subclass
  vx::host::SoRef<SoSwitch> m_pSwitch;
  SoSeparator* m_pGroup = nullptr;
};
