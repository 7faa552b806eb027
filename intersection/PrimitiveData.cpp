#include "intersection/PrimitiveData.h"

#include <Inventor/elements/SoCoordinateElement.h>
#include <Inventor/elements/SoShapeHintsElement.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/nodes/SoVertexShape.h>

namespace vx::isect {
namespace {

std::atomic<bool> g_warnedInvalidTriangle{false};

}  // namespace

PrimitiveData::Key PrimitiveData::Key::of(const SoNode* shape, SoState* state) {
  Key key;
  key.shape = shape;
  key.shapeId = shape->getNodeId();
  const bool ownCoords = shape->isOfType(SoVertexShape::getClassTypeId()) &&
                         static_cast<const SoVertexShape*>(shape)->vertexProperty.getValue() != nullptr;
  if (!ownCoords) {
    const SoCoordinateElement* coords = SoCoordinateElement::getInstance(state);
    key.coordsId = coords->getNodeId();
    key.numCoords = coords->getNum();
  }
  key.faceType = static_cast<int>(SoShapeHintsElement::getFaceType(state));
  return key;
}

void PrimitiveData::addTriangle(const SbVec3f& q1, const SbVec3f& q2, const SbVec3f& q3) {
  m_triangles.emplace_back(q1, q2, q3);
  m_box.extendBy(q1);
  m_box.extendBy(q2);
  m_box.extendBy(q3);
  if ((q1 - q2).cross(q1 - q3).length() > 0.0f) {
    ++m_valid;
    return;
  }
  if (!g_warnedInvalidTriangle.exchange(true)) {
    SoDebugError::postWarning("ShapeData::triangleCB",
                              "Found an invalid triangle while souping up triangle primitives from a shape for "
                              "intersection testing: <<%f, %f, %f>, <%f, %f, %f>, <%f, %f, %f>> (local). Will only "
                              "warn once, there could be more cases.",
                              q1[0], q1[1], q1[2], q2[0], q2[1], q2[2], q3[0], q3[1], q3[2]);
  }
}

void PrimitiveData::prepare() {
  if (m_boxTree) return;
  m_triangles.shrink_to_fit();  // complete now: no room for more
  std::vector<SbBox3f> boxes;
  boxes.reserve(m_triangles.size());
  for (const SbTri3f& t : m_triangles) boxes.push_back(t.getBoundingBox());
  m_boxTree.reset(new TriangleBoxTree(boxes));
}

std::size_t PrimitiveData::memoryBytes() const {
  return sizeof(*this) + m_triangles.capacity() * sizeof(SbTri3f) + (m_boxTree ? m_boxTree->memoryBytes() : 0);
}

}  // namespace vx::isect
