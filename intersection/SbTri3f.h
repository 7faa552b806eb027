#pragma once
// A triangle of three points, the unit the intersection action tests and
// hands to its callers (GetIns1Triangles / GetIns2Triangles). A plain value:
// no scene, no ownership. The action stores its triangles in world
// coordinates.
//
// Coin's own library exports an internal class of the same name with a
// different layout. To keep the two from binding to each other's symbols at
// load time, this class is header-only and has hidden visibility: no member
// of it is ever exported from our library or an executable.
#include <Inventor/SbBox3f.h>
#include <Inventor/SbVec3f.h>

#include "intersection/TriangleKernels.h"

class __attribute__((visibility("hidden"))) SbTri3f {
public:
  // The points of a default-constructed triangle are all zero.
  SbTri3f() : m_pts{SbVec3f(0, 0, 0), SbVec3f(0, 0, 0), SbVec3f(0, 0, 0)} {}
  SbTri3f(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) : m_pts{a, b, c} {}

  void setValue(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
    m_pts[0] = a;
    m_pts[1] = b;
    m_pts[2] = c;
  }
  void getValue(SbVec3f& a, SbVec3f& b, SbVec3f& c) const {
    a = m_pts[0];
    b = m_pts[1];
    c = m_pts[2];
  }

  // Point 0, 1 or 2; the three points are contiguous.
  const SbVec3f& getPoint(int i) const { return m_pts[i]; }
  const SbVec3f* getPoints() const { return m_pts; }

  // Axis-aligned box of the three points.
  SbBox3f getBoundingBox() const {
    SbBox3f box;
    box.extendBy(m_pts[0]);
    box.extendBy(m_pts[1]);
    box.extendBy(m_pts[2]);
    return box;
  }

  // Exact test of this triangle (first) against `other` (second); see
  // intersection/TriangleKernels.h for the rules and their limits.
  bool intersect(const SbTri3f& other) const { return vx::tri::intersectExact(m_pts, other.m_pts); }

  // Closest distance between the two triangles (0 when they cross).
  float getDistance(const SbTri3f& other) const { return vx::tri::triangleDistance(m_pts, other.m_pts); }

private:
  SbVec3f m_pts[3];
};
