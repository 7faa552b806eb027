#include "host/SoKRN_MagneticLineKit.h"

#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>

SO_KIT_SOURCE(SoKRN_MagneticLineKit);

void SoKRN_MagneticLineKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_MagneticLineKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_MagneticLineKit::SoKRN_MagneticLineKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_MagneticLineKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_MagneticLineKit::~SoKRN_MagneticLineKit() = default;

bool SoKRN_MagneticLineKit::DelPMIRelation(SoKRN_FdtKit*, const std::wstring& plcPath) {
  auto it = std::find(m_related.begin(), m_related.end(), plcPath);
  if (it == m_related.end()) return false;
  m_related.erase(it);
  return true;
}
