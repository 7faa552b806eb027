#include "intersection/PrimitiveData.h"

#include <Inventor/SbOctTree.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SoPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/nodes/SoIndexedShape.h>

#include <atomic>

#include "host/SoBrepFaceSet.h"
#include "intersection/IntersectionDebug.h"

namespace vxisect {
namespace {

// The octree's item function: TriangleBoxTree::itemOverlap.
SbBool triangleItemInBox(void* const item, const SbBox3f& box) {
  return TriangleBoxTree::itemOverlap(static_cast<const PrimitiveData::Triangle*>(item)->box, box);
}

std::atomic<bool> g_warnedInvalidTriangle{false};

}  // namespace

PrimitiveData::Souper::Souper() {
  m_action.addTriangleCallback(SoBrepFaceSet::getClassTypeId(), &Souper::triangleCB, this);
}

void PrimitiveData::Souper::soup(PrimitiveData& into, const SoPath* path) {
  // Room for one triangle per face of an indexed shape (the usual case).
  SoNode* tail = const_cast<SoPath*>(path)->getTail();
  if (tail && tail->isOfType(SoIndexedShape::getClassTypeId())) {
    into.m_triangles.reserve(static_cast<size_t>(static_cast<SoIndexedShape*>(tail)->coordIndex.getNum() / 4));
  }
  m_target = &into;
  m_action.apply(const_cast<SoPath*>(path));
  m_target = nullptr;
}

void PrimitiveData::Souper::triangleCB(void* data, SoCallbackAction*, const SoPrimitiveVertex* v1,
                                       const SoPrimitiveVertex* v2, const SoPrimitiveVertex* v3) {
  static_cast<Souper*>(data)->m_target->addTriangle(v1->getPoint(), v2->getPoint(), v3->getPoint());
}

PrimitiveData::PrimitiveData(const SoPath* path, const SbMatrix& transform, Souper& souper, const SoPath* soupPath)
    : m_transform(transform), m_inverse(transform.inverse()), m_path(path) {
  souper.soup(*this, soupPath ? soupPath : path);
}

PrimitiveData::~PrimitiveData() = default;

void PrimitiveData::addTriangle(const SbVec3f& q1, const SbVec3f& q2, const SbVec3f& q3) {
  SbVec3f p1, p2, p3;
  m_transform.multVecMatrix(q1, p1);
  m_transform.multVecMatrix(q2, p2);
  m_transform.multVecMatrix(q3, p3);

  if ((p1 - p2).cross(p1 - p3).length() > 0.0f) {
    Triangle t;
    t.tri.setValue(p1, p2, p3);
    t.box = t.tri.getBoundingBox();
    m_box.extendBy(t.box);
    m_triangles.push_back(t);
    return;
  }
  if (!g_warnedInvalidTriangle.exchange(true)) {
    SoDebugError::postWarning("ShapeData::triangleCB",
                              "Found an invalid triangle while souping up triangle primitives from a shape for "
                              "intersection testing. Transformed==<<%f, %f, %f>, <%f, %f, %f>, <%f, %f, %f>>. "
                              "Untransformed==<<%f, %f, %f>, <%f, %f, %f>, <%f, %f, %f>>. Will only warn once, "
                              "there could be more cases.",
                              p1[0], p1[1], p1[2], p2[0], p2[1], p2[2], p3[0], p3[1], p3[2], q1[0], q1[1], q1[2], q2[0],
                              q2[1], q2[2], q3[0], q3[1], q3[2]);
  }
}

SbOctTree* PrimitiveData::getOctTree() {
  if (m_octTree) return m_octTree.get();

  SbBox3f box = m_box;
  if (!box.isEmpty()) {
    SbMatrix grow;
    grow.setTransform(SbVec3f(0, 0, 0), SbRotation::identity(), SbVec3f(1.01f, 1.01f, 1.01f), SbRotation::identity(),
                      box.getCenter());
    box.transform(grow);
  }
  static const SbOctTreeFuncs funcs = {nullptr, &triangleItemInBox, nullptr, nullptr};
  m_octTree.reset(new SbOctTree(box, funcs, 64));
  // A shape this small never reports an intersection.
  if (box.isEmpty() || TriangleBoxTree::isTiny(box)) return m_octTree.get();

  if (vxisect::debugOn()) {
    SoDebugError::postInfo("PrimitiveData::getOctTree", "made new octtree for PrimitiveData %p",
                           static_cast<void*>(this));
  }
  for (Triangle& t : m_triangles) {
    if (!TriangleBoxTree::isTiny(t.box)) m_octTree->addItem(&t);
  }
  return m_octTree.get();
}

const TriangleBoxTree& PrimitiveData::getBoxTree() {
  if (!m_boxTree) {
    std::vector<SbBox3f> boxes;
    boxes.reserve(m_triangles.size());
    for (const Triangle& t : m_triangles) boxes.push_back(t.box);
    m_boxTree.reset(new TriangleBoxTree(boxes));
  }
  return *m_boxTree;
}

void PrimitiveData::appendTriangles(SbList<SbTri3f*>& out) {
  for (Triangle& t : m_triangles) out.append(&t.tri);
}

}  // namespace vxisect
