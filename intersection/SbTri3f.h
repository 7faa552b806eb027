#pragma once
// A triangle of three points, the unit the intersection action tests and
// hands to its callers (GetIns1Triangles / GetIns2Triangles). A plain value:
// no scene, no ownership. The action stores its triangles in world
// coordinates.
#include <Inventor/SbBox3f.h>
#include <Inventor/SbVec3f.h>

class SbTri3f {
public:
  // The points of a default-constructed triangle are all zero.
  SbTri3f();
  SbTri3f(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c);

  void setValue(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c);
  void getValue(SbVec3f& a, SbVec3f& b, SbVec3f& c) const;

  // Point 0, 1 or 2; the three points are contiguous.
  const SbVec3f& getPoint(int i) const { return m_pts[i]; }
  const SbVec3f* getPoints() const { return m_pts; }

  // Axis-aligned box of the three points.
  SbBox3f getBoundingBox() const;

  // Exact test of this triangle (first) against `other` (second); see
  // intersection/TriangleKernels.h for the rules and their limits.
  bool intersect(const SbTri3f& other) const;

  // Closest distance between the two triangles (0 when they cross).
  float getDistance(const SbTri3f& other) const;

private:
  SbVec3f m_pts[3];
};
