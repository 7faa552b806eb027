#include "host/SoKRN_FdtKit.h"

#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>

#include "host/TpxProductData.h"

SO_KIT_SOURCE(SoKRN_FdtKit);

void SoKRN_FdtKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_FdtKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_FdtKit::SoKRN_FdtKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_FdtKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(material, SoMaterial, TRUE, topSeparator, geometry, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(geometry, SoSeparator, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_FdtKit::~SoKRN_FdtKit() = default;

SoMaterial* SoKRN_FdtKit::getMaterial() const { return static_cast<SoMaterial*>(material.getValue()); }

void SoKRN_FdtKit::setMaterial(SoMaterial* m) { setPart("material", m); }

void SoKRN_FdtKit::setTransparency(float transparency) {
  auto* m = static_cast<SoMaterial*>(getPart("material", TRUE));
  m->transparency.setValue(transparency);
}

Tpx_PMI* SoKRN_FdtKit::getAttchTpxPMI() const { return dynamic_cast<Tpx_PMI*>(getTpxObjCache()); }

void SoKRN_FdtKit::initData(Tpx_PMI* pmi, bool) { setTpxObjCache(pmi); }
