#include "picking/SnappingFilter.h"

#include <cmath>

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec4f.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/SoPickedPoint.h>
#include <Inventor/actions/SoHandleEventAction.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/nodes/SoTransform.h>

#include "graphops/CGraphOperation.h"
#include "host/SoKRN_ClipLineKit.h"
#include "host/SoKRN_EdgeKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "host/TpxGeometryAttribute.h"
#include "picking/SoKRN_PointTracker.h"

namespace {

constexpr double kPi = 3.141592653589793;
const double kCentreAngles[16] = {15,  37.5,  52.5,  75,  105, 127.5, 142.5, 165,
                                  195, 217.5, 232.5, 255, 285, 307.5, 322.5, 345};
const double kQuadrantAngles[8] = {0, 45, 90, 135, 180, 225, 270, 315};

struct D3 {
  double x, y, z;
};

// The product-data point (x, y, z, 1) through M, without the division.
D3 ToWorld(const SbMatrix& m, double x, double y, double z) {
  SbVec4f out;
  m.multVecMatrix(SbVec4f(float(x), float(y), float(z), 1.0f), out);
  return {out[0], out[1], out[2]};
}
D3 ToWorld(const SbMatrix& m, const TPX_PNT32& p) { return ToWorld(m, p.x, p.y, p.z); }

bool IsLineSet(const SoNode* n) {
  return n && (n->isOfType(SoLineSet::getClassTypeId()) || n->isOfType(SoIndexedLineSet::getClassTypeId()));
}

// The geometry attribute on the tail, when an edge kit lies on the path.
const Tpx_GeometryAttribute* EdgeAttribute(const SoFullPath* path) {
  for (int i = path->getLength() - 1; i >= 0; --i) {
    if (!path->getNode(i)->isOfType(SoKRN_EdgeKit::getClassTypeId())) continue;
    auto* obj = static_cast<Tpx_Object*>(path->getTail()->getUserData());
    auto* attr = dynamic_cast<const Tpx_GeometryAttribute*>(obj);
    if (attr && (attr->GetGeoAttrType() == Tpx_GeometryAttribute::LINE ||
                 attr->GetGeoAttrType() == Tpx_GeometryAttribute::ELLIPSE))
      return attr;
  }
  return nullptr;
}

void ShutTracker(SoKRN_PointTracker* t) {
  if (!t) return;
  t->remove();
  delete t;
}

}  // namespace

SnappingFilter::SnappingFilter(SoKRN_MainDoc* doc) : m_pDoc(doc) {
  m_pTracker.reset(new SoKRN_PointTracker(doc), ShutTracker);
  m_pTracker->Off();
  if (m_pTracker->getDoc() && m_pTracker->getSwitch()) m_pTracker->insert();
}

// The tracker goes before the document (members in reverse order).
SnappingFilter::~SnappingFilter() = default;
SnappingFilter::SnappingFilter(const SnappingFilter& other) = default;
SnappingFilter& SnappingFilter::operator=(const SnappingFilter& other) = default;

SoPath* SnappingFilter::SnappingFilterCB(void* userData, SoHandleEventAction* action) {
  if (!userData || !action || !action->getEvent()) return nullptr;
  const SoPickedPoint* pp = action->getPickedPoint();
  if (!pp) return nullptr;
  return static_cast<SnappingFilter*>(userData)->Snapping(pp);
}

SoPath* SnappingFilter::SnappingPickCB(void* userData, const SoPickedPoint* pick) {
  if (!userData || !pick) return nullptr;
  return static_cast<SnappingFilter*>(userData)->Snapping(pick);
}

void SnappingFilter::DeHighlightPathCB(void* userData, SoPath* /*path*/) {
  auto* self = static_cast<SnappingFilter*>(userData);
  if (!self || !self->m_pDoc) return;
  self->m_candidates.clear();
  if (SoKRN_State* state = self->m_pDoc->getKRNState()) state->clearPickData();
  if (self->m_pTracker) self->m_pTracker->Off();
}

SoPath* SnappingFilter::Snapping(const SoPickedPoint* pp) {
  if (!pp || !m_pDoc) return nullptr;
  SoKRN_State* state = m_pDoc->getKRNState();
  if (!state) return nullptr;
  const SbVec3f P = pp->getPoint();
  std::vector<std::string> objectKinds, pointKinds, third;
  if (state->getSnappingFilterType(objectKinds, pointKinds, third) != 0) return nullptr;

  SoPath* result = nullptr;
  for (const std::string& kind : objectKinds) {
    if (kind != "PNT") continue;
    result = SnappingFilterPoint(pp);
    const Candidate* best = nullptr;
    double bestDist = 1e18;
    for (const Candidate& c : m_candidates) {
      const double dx = P[0] - c.probe[0], dy = P[1] - c.probe[1], dz = P[2] - c.probe[2];
      const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
      if (d < bestDist) {
        bestDist = d;
        best = &c;
      }
    }
    if (!best) continue;
    const SbVec3f S(float(best->target[0]), float(best->target[1]), float(best->target[2]));
    if (m_pTracker) {
      m_pTracker->SetPosition(S, SbMatrix::identity());
      m_pTracker->On();
    }
    PICKDATA data;
    data.flag = 0;
    data.pickedPoint = P;
    data.snappedPoint = S;
    data.path = result;
    state->setPickData(data);
  }
  return result;
}

namespace {

// The candidates of point kind `k` on an edge with geometry `attr` (local
// coordinates, placed by M), each handed to add(probe, kind, target, free):
// a line's middle or ends, an arc's ends, a circle's centre (probed at
// points around it) or its quadrant points.
template <class Add>
void EdgeCandidates(const Tpx_GeometryAttribute& attr, const std::string& k, const SbMatrix& M, Add add) {
  const bool isLine = attr.GetGeoAttrType() == Tpx_GeometryAttribute::LINE;
  if (isLine) {
    TPX_PNT32 s, e;
    auto* line = static_cast<const Tpx_LineAttribute*>(&attr);
    line->GetStartPoint(s);
    line->GetEndPoint(e);
    if (k == "MID") {
      const D3 m = ToWorld(M, (s.x + e.x) * 0.5f, (s.y + e.y) * 0.5f, (s.z + e.z) * 0.5f);
      add(m, "MID", m, false);
    } else if (k == "VTX" || k == "END") {
      add(ToWorld(M, s), k.c_str(), ToWorld(M, s), false);
      add(ToWorld(M, e), k.c_str(), ToWorld(M, e), false);
    }
    return;
  }
  auto* ell = static_cast<const Tpx_EllipseAttribute*>(&attr);
  TPX_PNT32 c, s, e;
  ell->GetCenterPoint(c);
  ell->GetStartPoint(s);
  ell->GetEndPoint(e);
  if (k == "VTX" || k == "END") {
    add(ToWorld(M, s), k.c_str(), ToWorld(M, s), false);
    add(ToWorld(M, e), k.c_str(), ToWorld(M, e), false);
    return;
  }
  const bool circle = ell->GetMajorRadius() == ell->GetMinorRadius();
  if (!circle || (k != "CENT" && k != "ANG")) return;
  TPX_DIR32 xd, yd, zd;
  ell->GetXYZDir(xd, yd, zd);
  // Q(t) = C + cos t (S - C) + sin t ((S - C) x Z), in double from the floats.
  const double r[3] = {double(s.x) - c.x, double(s.y) - c.y, double(s.z) - c.z};
  const double w[3] = {r[1] * zd.z - r[2] * zd.y, r[2] * zd.x - r[0] * zd.z, r[0] * zd.y - r[1] * zd.x};
  auto Q = [&](double deg) {
    const double t = deg * kPi / 180.0;
    return ToWorld(M, c.x + std::cos(t) * r[0] + std::sin(t) * w[0], c.y + std::cos(t) * r[1] + std::sin(t) * w[1],
                   c.z + std::cos(t) * r[2] + std::sin(t) * w[2]);
  };
  if (k == "CENT") {
    const D3 centre = ToWorld(M, c);
    for (double a : kCentreAngles) add(Q(a), "CENT", centre, false);
  } else {
    for (double a : kQuadrantAngles) {
      const D3 q = Q(a);
      add(q, "ANG", q, false);
    }
  }
}

}  // namespace

SoFullPath* SnappingFilter::SnappingFilterPoint(const SoPickedPoint* pp) {
  if (!pp || !m_pDoc) return nullptr;
  SoKRN_State* state = m_pDoc->getKRNState();
  if (!state) return nullptr;
  auto* path = static_cast<SoFullPath*>(pp->getPath());
  if (!path || path->getLength() == 0) return nullptr;
  const SbVec3f P = pp->getPoint();
  const bool lineTail = IsLineSet(path->getTail());
  std::vector<std::string> objectKinds, pointKinds, third;
  if (state->getSnappingFilterType(objectKinds, pointKinds, third) != 0) return nullptr;

  std::string plcPath;
  CGraphOperation::GetNodePlcPath(path, plcPath, true);
  SbMatrix M;
  CGraphOperation::GetInsMatrixByPlcPath(m_pDoc, plcPath.c_str(), M, true, true);

  auto add = [this](const D3& probe, const char* kind, const D3& target, bool free) {
    m_candidates.push_back(Candidate{{probe.x, probe.y, probe.z}, kind, {target.x, target.y, target.z}, free});
  };

  // A free point on the edge: then no other kind is tried.
  for (const std::string& k : pointKinds) {
    if (k != "ANY" || !lineTail) continue;
    for (int i = path->getLength() - 1; i >= 0; --i) {
      const SoNode* n = path->getNode(i);
      if (n->isOfType(SoKRN_EdgeKit::getClassTypeId()) || n->isOfType(SoKRN_ClipLineKit::getClassTypeId())) {
        const D3 p{P[0], P[1], P[2]};
        add(p, "ANY", p, true);
        return path;
      }
    }
    return nullptr;
  }

  const size_t before = m_candidates.size();
  const Tpx_GeometryAttribute* attr = lineTail ? EdgeAttribute(path) : nullptr;
  if (attr) {
    for (const std::string& k : pointKinds) EdgeCandidates(*attr, k, M, add);
  }
  return m_candidates.size() > before ? path : nullptr;
}
