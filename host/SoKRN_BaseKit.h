#pragma once
// Base of every document kit: knows the state object of the document it
// belongs to.
#include <Inventor/nodekits/SoBaseKit.h>

class SoKRN_State;

class SoKRN_BaseKit : public SoBaseKit {
  SO_KIT_HEADER(SoKRN_BaseKit);

public:
  static void initClass();
  SoKRN_BaseKit();

  // The state of the document this kit belongs to, or null outside a document.
  SoKRN_State* getKRNState() const { return m_pState; }
  // Set by the document when a kit is added to it (not owned).
  void setKRNState(SoKRN_State* state) { m_pState = state; }

  // Product data attached to the kit, or null.
  void* getTpxObjCache() const { return m_pTpxObj; }
  void setTpxObjCache(void* obj) { m_pTpxObj = obj; }

protected:
  ~SoKRN_BaseKit() override;

private:
  SoKRN_State* m_pState = nullptr;
  void* m_pTpxObj = nullptr;
};
