#pragma once
// Product-data geometry of a model edge: what a line set under an edge kit
// stands for. The edge kit holds the attribute and hangs it on its line set
// as user data (SoFieldContainer::setUserData), always as a Tpx_Object*, so
// that readers can dynamic_cast and tell it from anything else.
//
// Points are in the part's own (prototype) coordinates, in model units.
// Types (GetGeoAttrType): 7 = line segment, 8 = ellipse or elliptic arc.
#include "host/TpxProductData.h"

class Tpx_GeometryAttribute : public Tpx_Object {
public:
  enum { LINE = 7, ELLIPSE = 8 };
  virtual int GetGeoAttrType() const = 0;
};

// A straight segment from start to end.
class Tpx_LineAttribute : public Tpx_GeometryAttribute {
public:
  Tpx_LineAttribute(const TPX_PNT32& start, const TPX_PNT32& end) : m_start(start), m_end(end) {}
  int GetGeoAttrType() const override { return LINE; }
  TPX_STATUS GetStartPoint(TPX_PNT32& p) const;
  TPX_STATUS GetEndPoint(TPX_PNT32& p) const;

private:
  TPX_PNT32 m_start, m_end;
};

// An ellipse about a centre in the plane of its X and Y directions (Z is the
// axis, X points to the major vertex). An arc runs counter-clockwise about Z
// from its start point to its end point; a closed ellipse has start == end.
// A circle has equal radii.
class Tpx_EllipseAttribute : public Tpx_GeometryAttribute {
public:
  Tpx_EllipseAttribute(const TPX_PNT32& centre, const TPX_DIR32& x, const TPX_DIR32& y, const TPX_DIR32& z,
                       float majorRadius, float minorRadius, const TPX_PNT32& start, const TPX_PNT32& end, bool closed)
      : m_centre(centre),
        m_x(x),
        m_y(y),
        m_z(z),
        m_major(majorRadius),
        m_minor(minorRadius),
        m_start(start),
        m_end(end),
        m_closed(closed) {}
  int GetGeoAttrType() const override { return ELLIPSE; }
  TPX_STATUS GetCenterPoint(TPX_PNT32& c) const;
  TPX_STATUS GetXYZDir(TPX_DIR32& x, TPX_DIR32& y, TPX_DIR32& z) const;
  float GetMajorRadius() const { return m_major; }
  float GetMinorRadius() const { return m_minor; }
  TPX_STATUS GetStartPoint(TPX_PNT32& p) const;
  TPX_STATUS GetEndPoint(TPX_PNT32& p) const;
  bool IsClosed() const { return m_closed; }

private:
  TPX_PNT32 m_centre;
  TPX_DIR32 m_x, m_y, m_z;
  float m_major, m_minor;
  TPX_PNT32 m_start, m_end;
  bool m_closed;
};
