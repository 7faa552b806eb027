#pragma once
// Snapping a pick on a model edge to a characteristic point of the edge.
//
// The viewer registers the filter on its selection node, with the filter as
// user data: SnappingFilterCB (event-action form) or SnappingPickCB (the
// signature of Coin's SoSelection pick filter) as the pick filter, and
// DeHighlightPathCB where it drops its highlight (e.g. as the selection's
// deselection callback).
//
// At every pick the active kinds are read from the document state
// (SoKRN_State::getSnappingFilterType): the filter acts when an object kind
// is "PNT"; point kinds are
//   "ANY"   the picked point itself (a free point on the edge),
//   "MID"   a line's midpoint,
//   "CENT"  a circle's centre (probed at 16 points on the circle),
//   "ANG"   a circle's quadrant points (8, from its start point),
//   "VTX", "END"  a line's or an ellipse's start and end points.
// An edge is a picked SoLineSet or SoIndexedLineSet below an SoKRN_EdgeKit
// (for "ANY" also below an SoKRN_ClipLineKit) whose user data is its
// Tpx_GeometryAttribute, set as Tpx_Object* (see host/TpxGeometryAttribute.h);
// user data of another kind gives no candidate. Product-data points are taken
// into world coordinates by the instance's global matrix with user matrix.
//
// Every candidate has a probe (a world point compared with the picked point)
// and a target (where the snap goes; the probe itself for every kind but
// "CENT"). The candidate whose probe is nearest the picked point wins, with
// no distance limit; ties keep the earlier one. Candidates pile up over picks
// until DeHighlightPathCB drops them, so the nearest of all of them wins.
// The winner's target (as float) is marked by a point tracker drawn on top
// and handed to the state as pick data (flag 0, picked point, snapped point,
// picked path).
//
// Ownership: the filter references its document. Its point tracker is a
// temporary child of the document while any copy of the filter lives; the
// last copy takes it out again.
#include <memory>
#include <string>
#include <vector>

#include "host/SoRef.h"

class SoFullPath;
class SoHandleEventAction;
class SoKRN_MainDoc;
class SoKRN_PointTracker;
class SoPath;
class SoPickedPoint;

class SnappingFilter {
public:
  struct Candidate {
    double probe[3];
    std::string kind;
    double target[3];
    bool free;
  };

  explicit SnappingFilter(SoKRN_MainDoc* doc);
  ~SnappingFilter();
  SnappingFilter(const SnappingFilter& other);
  SnappingFilter& operator=(const SnappingFilter& other);

  static SoPath* SnappingFilterCB(void* userData, SoHandleEventAction* action);
  static SoPath* SnappingPickCB(void* userData, const SoPickedPoint* pick);
  static void DeHighlightPathCB(void* userData, SoPath* path);

  const std::vector<Candidate>& getCandidates() const { return m_candidates; }
  SoKRN_PointTracker* getTracker() const { return m_pTracker.get(); }

private:
  SoPath* Snapping(const SoPickedPoint* pp);
  SoFullPath* SnappingFilterPoint(const SoPickedPoint* pp);

  vx::host::SoRef<SoKRN_MainDoc> m_pDoc;
  std::shared_ptr<SoKRN_PointTracker> m_pTracker;
  std::vector<Candidate> m_candidates;
};
