#pragma once
// Base of every document kit: knows the state object of the document it
// belongs to.
#include <Inventor/nodekits/SoBaseKit.h>

#include <memory>

class SoKRN_State;
class Tpx_Object;
class SoKRN_NodeKit;

class SoKRN_BaseKit : public SoBaseKit {
  SO_KIT_HEADER(SoKRN_BaseKit);

public:
  static void initClass();
  SoKRN_BaseKit();

  // The state of the document this kit belongs to, or null outside a document.
  SoKRN_State* getKRNState() const { return m_pState; }
  // Set by the document when a kit is added to it (not owned).
  void setKRNState(SoKRN_State* state) { m_pState = state; }

  // Product data attached to the kit, or null. The kit holds what is
  // attached (shared with whoever else holds it, see TpxProductData.h).
  virtual Tpx_Object* getTpxObjCache() const { return m_pTpxObj.get(); }
  void setTpxObjCache(Tpx_Object* obj);
  // Lets the attached product data go.
  void DelTpxObj() { m_pTpxObj.reset(); }

  // The node kit whose entity or feature this kit is (set by the node kit,
  // not referenced), or null.
  SoKRN_NodeKit* getNodeKit() const { return m_pNodeKit; }
  void setNodeKit(SoKRN_NodeKit* kit) { m_pNodeKit = kit; }

protected:
  ~SoKRN_BaseKit() override;

private:
  SoKRN_State* m_pState = nullptr;
  SoKRN_NodeKit* m_pNodeKit = nullptr;
  std::shared_ptr<Tpx_Object> m_pTpxObj;
};
