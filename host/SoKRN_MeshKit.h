#pragma once
// A triangle mesh shown on its own, such as the cut face of an interference:
// its face kit holds the mesh and its material ("information.material").
#include <Inventor/fields/SoSFEnum.h>

#include "host/MeshTypes.h"
#include "host/SoKRN_BaseKit.h"

class SoKRN_MeshKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_MeshKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(shapeHints);
  SO_KIT_CATALOG_ENTRY_HEADER(meshFace);

public:
  static void initClass();
  // `owner` and `data` are kept for the caller's signature; unused here.
  SoKRN_MeshKit(SoKRN_State* state = nullptr, void* owner = nullptr, void* data = nullptr);

  SoSFEnum kind;  // 1 = selectable
  enum Kind { PLAIN = 0, SELECTABLE = 1 };

  // Nonzero: both sides of every triangle are drawn and lit as the front.
  void setMeshIsAlwaysShowFront(int on);
  // Replaces the mesh; indices out of range drop their triangle.
  void serializeFromSTL_Mesh(const _stlMesh& mesh);
  // The face kit: parts "information" (an appearance kit: "information.material"),
  // "coords" and "faces".
  SoBaseKit* getMeshFace();
  int getNumTriangles() const;

protected:
  ~SoKRN_MeshKit() override;
};
