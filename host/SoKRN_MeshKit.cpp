#include "host/SoKRN_MeshKit.h"

#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>

#include "host/SoKRN_MeshFaceKit.h"

SO_KIT_SOURCE(SoKRN_MeshKit);

void SoKRN_MeshKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_MeshKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_MeshKit::SoKRN_MeshKit(SoKRN_State* state, void*, void*) {
  SO_KIT_CONSTRUCTOR(SoKRN_MeshKit);
  SO_KIT_ADD_FIELD(kind, (PLAIN));
  SO_KIT_DEFINE_ENUM_VALUE(Kind, PLAIN);
  SO_KIT_DEFINE_ENUM_VALUE(Kind, SELECTABLE);
  SO_KIT_SET_SF_ENUM_TYPE(kind, Kind);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, FALSE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(shapeHints, SoShapeHints, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(meshFace, SoKRN_MeshFaceKit, FALSE, topSeparator, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
  setKRNState(state);
  // A material exists from the start, so callers can colour the mesh.
  getAnyPart("meshFace.information.material", TRUE);
}

SoKRN_MeshKit::~SoKRN_MeshKit() = default;

void SoKRN_MeshKit::setMeshIsAlwaysShowFront(int on) {
  auto* hints = static_cast<SoShapeHints*>(getAnyPart("shapeHints", TRUE));
  if (on) {
    // No culling and two-sided lighting: the side facing the viewer is lit
    // as a front face, whichever way the triangles wind.
    hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
    hints->shapeType = SoShapeHints::UNKNOWN_SHAPE_TYPE;
  } else {
    hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
    hints->shapeType = SoShapeHints::SOLID;
  }
}

void SoKRN_MeshKit::serializeFromSTL_Mesh(const _stlMesh& mesh) {
  auto* coords = static_cast<SoCoordinate3*>(getAnyPart("meshFace.coords", TRUE));
  auto* faces = static_cast<SoIndexedFaceSet*>(getAnyPart("meshFace.faces", TRUE));
  coords->point.setNum(static_cast<int>(mesh.vtx.size()));
  SbVec3f* p = coords->point.startEditing();
  for (std::size_t i = 0; i < mesh.vtx.size(); ++i) {
    p[i].setValue(static_cast<float>(mesh.vtx[i].x), static_cast<float>(mesh.vtx[i].y),
                  static_cast<float>(mesh.vtx[i].z));
  }
  coords->point.finishEditing();
  std::vector<int32_t> index;
  index.reserve(mesh.idx.size() / 3 * 4);
  const auto n = static_cast<int32_t>(mesh.vtx.size());
  for (std::size_t i = 0; i + 2 < mesh.idx.size(); i += 3) {
    const int32_t a = mesh.idx[i], b = mesh.idx[i + 1], c = mesh.idx[i + 2];
    if (a < 0 || b < 0 || c < 0 || a >= n || b >= n || c >= n) continue;
    index.insert(index.end(), {a, b, c, -1});
  }
  faces->coordIndex.setNum(static_cast<int>(index.size()));
  if (!index.empty()) faces->coordIndex.setValues(0, static_cast<int>(index.size()), index.data());
}

SoBaseKit* SoKRN_MeshKit::getMeshFace() { return static_cast<SoBaseKit*>(getAnyPart("meshFace", TRUE)); }

int SoKRN_MeshKit::getNumTriangles() const {
  auto* faces = static_cast<SoIndexedFaceSet*>(const_cast<SoKRN_MeshKit*>(this)->getAnyPart("meshFace.faces", FALSE));
  return faces ? faces->coordIndex.getNum() / 4 : 0;
}
