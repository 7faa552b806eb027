#include "picking/SoKRN_Tracker.h"

#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>

#include "host/SoKRN_MainDoc.h"

SoKRN_Tracker::SoKRN_Tracker() {
  m_pSwitch.reset(new SoSwitch);
  m_pSwitch->setName("SnappingSoSwitch");
  m_pSwitch->whichChild = 0;
  m_pGroup = new SoSeparator;
  m_pSwitch->addChild(m_pGroup);
  auto* color = new SoBaseColor;
  color->rgb.setValue(255.0f, 0.0f, 0.0f);
  m_pGroup->addChild(color);
}

SoKRN_Tracker::~SoKRN_Tracker() = default;
SoKRN_Tracker::SoKRN_Tracker(const SoKRN_Tracker& other) = default;
SoKRN_Tracker& SoKRN_Tracker::operator=(const SoKRN_Tracker& other) = default;

void SoKRN_Tracker::On() {
  if (m_pSwitch) m_pSwitch->whichChild = 0;
}

void SoKRN_Tracker::Off() {
  if (m_pSwitch) m_pSwitch->whichChild = SO_SWITCH_NONE;
}

void SoKRN_Tracker::insert() {
  if (m_pDoc && m_pSwitch) m_pDoc->addTmpChild(m_pSwitch);
}

void SoKRN_Tracker::remove() {
  if (m_pDoc && m_pSwitch) m_pDoc->removeTempChild(m_pSwitch);
}
