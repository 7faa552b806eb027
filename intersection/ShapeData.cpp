#include "intersection/ShapeData.h"

#include <Inventor/SoPath.h>

namespace vxisect {

ShapeData::ShapeData(SoPath* path, const SbXfBox3f& box) : m_path(path), m_box(box) { m_path->ref(); }

ShapeData::~ShapeData() {
  delete m_primitives;
  m_path->unref();
}

void ShapeData::unref() {
  if (--m_refs <= 0) delete this;
}

PrimitiveData* ShapeData::getPrimitives(PrimitiveData::Souper& souper) {
  if (!m_primitives) m_primitives = new PrimitiveData(m_path, m_box.getTransform(), souper);
  return m_primitives;
}

}  // namespace vxisect
