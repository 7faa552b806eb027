#include "intersection/PrimitiveData.h"

#include <Inventor/SbOctTree.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SoPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/errors/SoDebugError.h>

#include <atomic>

#include "host/SoBrepFaceSet.h"
#include "intersection/IntersectionDebug.h"

namespace {

// Below this size on every axis a box counts as a point.
constexpr double kTiny = 0.0001;

bool isTiny(const SbBox3f& box) {
  const SbVec3f& lo = box.getMin();
  const SbVec3f& hi = box.getMax();
  // Differences in single precision, compared in double precision.
  const float dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
  return dx < kTiny && dy < kTiny && dz < kTiny;
}

SbBool triangleItemInBox(void* const item, const SbBox3f& box) {
  return PrimitiveData::triangleBoxOverlap(static_cast<const PrimitiveData::Triangle*>(item)->box, box);
}

std::atomic<bool> g_warnedInvalidTriangle{false};

}  // namespace

PrimitiveData::PrimitiveData(const SoPath* path, const SbMatrix& transform)
    : m_transform(transform), m_inverse(transform.inverse()), m_path(path) {
  SoCallbackAction soup;
  soup.addTriangleCallback(SoBrepFaceSet::getClassTypeId(), &PrimitiveData::triangleCB, this);
  soup.apply(const_cast<SoPath*>(path));
}

PrimitiveData::~PrimitiveData() = default;

void PrimitiveData::triangleCB(void* data, SoCallbackAction*, const SoPrimitiveVertex* v1,
                               const SoPrimitiveVertex* v2, const SoPrimitiveVertex* v3) {
  auto* self = static_cast<PrimitiveData*>(data);
  const SbVec3f& q1 = v1->getPoint();
  const SbVec3f& q2 = v2->getPoint();
  const SbVec3f& q3 = v3->getPoint();
  SbVec3f p1, p2, p3;
  self->m_transform.multVecMatrix(q1, p1);
  self->m_transform.multVecMatrix(q2, p2);
  self->m_transform.multVecMatrix(q3, p3);

  if ((p1 - p2).cross(p1 - p3).length() > 0.0f) {
    Triangle t;
    t.tri.setValue(p1, p2, p3);
    t.box = t.tri.getBoundingBox();
    t.plane = SbPlane(p1, p2, p3);
    self->m_box.extendBy(t.box);
    self->m_triangles.push_back(t);
    return;
  }
  if (!g_warnedInvalidTriangle.exchange(true)) {
    SoDebugError::postWarning("ShapeData::triangleCB",
                              "Found an invalid triangle while souping up triangle primitives from a shape for "
                              "intersection testing. Transformed==<<%f, %f, %f>, <%f, %f, %f>, <%f, %f, %f>>. "
                              "Untransformed==<<%f, %f, %f>, <%f, %f, %f>, <%f, %f, %f>>. Will only warn once, "
                              "there could be more cases.",
                              p1[0], p1[1], p1[2], p2[0], p2[1], p2[2], p3[0], p3[1], p3[2], q1[0], q1[1], q1[2],
                              q2[0], q2[1], q2[2], q3[0], q3[1], q3[2]);
  }
}

bool PrimitiveData::triangleBoxOverlap(const SbBox3f& triBox, const SbBox3f& box) {
  if (isTiny(box) || isTiny(triBox)) return false;
  const SbVec3f& nlo = box.getMin();
  const SbVec3f& nhi = box.getMax();
  const SbVec3f& tlo = triBox.getMin();
  const SbVec3f& thi = triBox.getMax();
  for (int k = 0; k < 3; ++k) {
    const float below = nhi[k] - tlo[k];
    const float above = nlo[k] - thi[k];
    if (below < -kTiny || above > kTiny) return false;
  }
  return true;
}

SbOctTree* PrimitiveData::getOctTree() {
  if (m_octTree) return m_octTree.get();

  SbBox3f box = m_box;
  if (!box.isEmpty()) {
    SbMatrix grow;
    grow.setTransform(SbVec3f(0, 0, 0), SbRotation::identity(), SbVec3f(1.01f, 1.01f, 1.01f),
                      SbRotation::identity(), box.getCenter());
    box.transform(grow);
  }
  static const SbOctTreeFuncs funcs = {nullptr, &triangleItemInBox, nullptr, nullptr};
  m_octTree.reset(new SbOctTree(box, funcs, 64));
  // A shape this small never reports an intersection.
  if (box.isEmpty() || isTiny(box)) return m_octTree.get();

  if (vxisect::debugOn()) {
    SoDebugError::postInfo("PrimitiveData::getOctTree", "made new octtree for PrimitiveData %p",
                           static_cast<void*>(this));
  }
  for (Triangle& t : m_triangles) {
    if (!isTiny(t.box)) m_octTree->addItem(&t);
  }
  return m_octTree.get();
}

void PrimitiveData::appendTriangles(SbList<SbTri3f*>& out) {
  for (Triangle& t : m_triangles) out.append(&t.tri);
}
