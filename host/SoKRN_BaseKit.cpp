#include "host/SoKRN_BaseKit.h"

#include "host/TpxProductData.h"

SO_KIT_SOURCE(SoKRN_BaseKit);

void SoKRN_BaseKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_BaseKit, SoBaseKit, "BaseKit"); }

SoKRN_BaseKit::SoKRN_BaseKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_BaseKit);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_BaseKit::~SoKRN_BaseKit() = default;

void SoKRN_BaseKit::setTpxObjCache(Tpx_Object* obj) {
  if (obj == m_pTpxObj.get()) return;
  if (!obj) {
    m_pTpxObj.reset();
    return;
  }
  std::shared_ptr<Tpx_Object> held = obj->weak_from_this().lock();
  m_pTpxObj = held ? held : std::shared_ptr<Tpx_Object>(obj);
}
