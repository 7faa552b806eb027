#include "intersection/ShapeData.h"

#include <Inventor/SoPath.h>

namespace vxisect {

ShapeData::ShapeData(SoPath* path, const SbXfBox3f& box, SoPath* soupPath)
    : m_path(path), m_soupPath(soupPath ? soupPath : path), m_box(box) {
  m_path->ref();
  if (m_soupPath != m_path) m_soupPath->ref();
}

ShapeData::~ShapeData() {
  delete m_primitives;
  if (m_soupPath != m_path) m_soupPath->unref();
  m_path->unref();
}

void ShapeData::unref() {
  if (--m_refs <= 0) delete this;
}

PrimitiveData* ShapeData::getPrimitives(PrimitiveData::Souper& souper) {
  if (!m_primitives) m_primitives = new PrimitiveData(m_path, m_box.getTransform(), souper, m_soupPath);
  return m_primitives;
}

}  // namespace vxisect
