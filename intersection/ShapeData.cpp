#include "intersection/ShapeData.h"

#include <Inventor/SoPath.h>

namespace vx::isect {

ShapeData::ShapeData(SoPath* path, const SbXfBox3f& box, PrimitiveData* prims)
    : m_path(path), m_box(box), m_inverse(box.getTransform().inverse()), m_prims(prims) {
  m_path->ref();
  m_prims->ref();
}

ShapeData::~ShapeData() {
  m_prims->unref();
  m_path->unref();
}

void ShapeData::unref() {
  if (--m_refs <= 0) delete this;
}

void ShapeData::worldPoints(int i, SbVec3f out[3]) const {
  const SbTri3f& t = m_prims->getTriangle(i);
  const SbMatrix& m = m_box.getTransform();
  for (int k = 0; k < 3; ++k) m.multVecMatrix(t.getPoint(k), out[k]);
}

void ShapeData::appendWorldTriangles(SbList<SbTri3f*>& out) {
  if (!m_hasWorld) {
    m_world.reserve(static_cast<size_t>(m_prims->getNumValid()));
    SbVec3f p[3];
    for (int i = 0; i < m_prims->getNumTriangles(); ++i) {
      if (m_prims->worldTriangle(getTransform(), i, p)) m_world.emplace_back(p[0], p[1], p[2]);
    }
    m_hasWorld = true;
  }
  for (SbTri3f& t : m_world) out.append(&t);
}

void ShapeData::releaseWorld() {
  std::vector<SbTri3f>().swap(m_world);
  m_hasWorld = false;
}

}  // namespace vx::isect
