#pragma once
// A tracker that marks one point with a red marker drawn on top of the
// scene:
//
//   group: SoBaseColor, SoTransform (identity), SoAnnotation
//          └ SoCoordinate3 (one point), SoMarkerSet (markerIndex 82)
//
// The document is referenced for the tracker's life. The tracker is not put
// into the document here: call insert() (or add getSwitch() yourself).
#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec3f.h>

#include "picking/SoKRN_Tracker.h"

class SoAnnotation;
class SoCoordinate3;
class SoTransform;

class SoKRN_PointTracker : public SoKRN_Tracker {
public:
  explicit SoKRN_PointTracker(SoKRN_MainDoc* doc);
  ~SoKRN_PointTracker() override;
  SoKRN_PointTracker(const SoKRN_PointTracker& other);
  SoKRN_PointTracker& operator=(const SoKRN_PointTracker& other);

  // The marked point `p`, drawn through the matrix `m` (world coordinates
  // for the identity).
  void SetPosition(SbVec3f p, SbMatrix m);

  SoCoordinate3* getCoordinates() const { return m_pCoords; }
  SoTransform* getTransform() const { return m_pTransform; }
  SoAnnotation* getAnnotation() const { return m_pAnnotation; }

private:
  SoAnnotation* m_pAnnotation = nullptr;
  SoCoordinate3* m_pCoords = nullptr;
  SoTransform* m_pTransform = nullptr;
};
