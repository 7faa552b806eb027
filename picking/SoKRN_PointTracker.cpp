#include "picking/SoKRN_PointTracker.h"

#include <Inventor/nodes/SoAnnotation.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoMarkerSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include "host/SoKRN_MainDoc.h"

SoKRN_PointTracker::SoKRN_PointTracker(SoKRN_MainDoc* doc) {
  m_pCoords = new SoCoordinate3;
  m_pCoords->point.setValue(0.0f, 0.0f, 0.0f);
  auto* marker = new SoMarkerSet;
  marker->markerIndex = 82;
  m_pAnnotation = new SoAnnotation;
  m_pAnnotation->addChild(m_pCoords);
  m_pAnnotation->addChild(marker);
  m_pTransform = new SoTransform;
  m_pTransform->setMatrix(SbMatrix::identity());
  if (m_pGroup) {
    m_pGroup->addChild(m_pTransform);
    m_pGroup->addChild(m_pAnnotation);
  }
  m_pDoc.reset(doc);
}

SoKRN_PointTracker::~SoKRN_PointTracker() = default;
SoKRN_PointTracker::SoKRN_PointTracker(const SoKRN_PointTracker& other) = default;
SoKRN_PointTracker& SoKRN_PointTracker::operator=(const SoKRN_PointTracker& other) = default;

void SoKRN_PointTracker::SetPosition(SbVec3f p, SbMatrix m) {
  if (m_pCoords) m_pCoords->point.setValue(p);
  if (m_pTransform) m_pTransform->setMatrix(m);
}
