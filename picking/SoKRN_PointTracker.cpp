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
  m_pDoc = doc;
  if (m_pDoc) m_pDoc->ref();
}

SoKRN_PointTracker::~SoKRN_PointTracker() {
  if (m_pDoc) m_pDoc->unref();
}

SoKRN_PointTracker::SoKRN_PointTracker(const SoKRN_PointTracker& other)
    : SoKRN_Tracker(other),
      m_pAnnotation(other.m_pAnnotation),
      m_pCoords(other.m_pCoords),
      m_pTransform(other.m_pTransform) {
  if (m_pDoc) m_pDoc->ref();
}

SoKRN_PointTracker& SoKRN_PointTracker::operator=(const SoKRN_PointTracker& other) {
  if (this == &other) return *this;
  SoKRN_MainDoc* old = m_pDoc;
  SoKRN_Tracker::operator=(other);
  if (m_pDoc) m_pDoc->ref();
  if (old) old->unref();
  m_pAnnotation = other.m_pAnnotation;
  m_pCoords = other.m_pCoords;
  m_pTransform = other.m_pTransform;
  return *this;
}

void SoKRN_PointTracker::SetPosition(SbVec3f p, SbMatrix m) {
  if (m_pCoords) m_pCoords->point.setValue(p);
  if (m_pTransform) m_pTransform->setMatrix(m);
}
