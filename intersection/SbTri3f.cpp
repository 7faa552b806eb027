#include "intersection/SbTri3f.h"

#include "intersection/TriangleKernels.h"

SbTri3f::SbTri3f() : m_pts{SbVec3f(0, 0, 0), SbVec3f(0, 0, 0), SbVec3f(0, 0, 0)} {}

SbTri3f::SbTri3f(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) : m_pts{a, b, c} {}

void SbTri3f::setValue(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
  m_pts[0] = a;
  m_pts[1] = b;
  m_pts[2] = c;
}

void SbTri3f::getValue(SbVec3f& a, SbVec3f& b, SbVec3f& c) const {
  a = m_pts[0];
  b = m_pts[1];
  c = m_pts[2];
}

SbBox3f SbTri3f::getBoundingBox() const {
  SbBox3f box;
  box.extendBy(m_pts[0]);
  box.extendBy(m_pts[1]);
  box.extendBy(m_pts[2]);
  return box;
}

bool SbTri3f::intersect(const SbTri3f& other) const { return vxtri::intersectExact(m_pts, other.m_pts); }

float SbTri3f::getDistance(const SbTri3f& other) const { return vxtri::triangleDistance(m_pts, other.m_pts); }
