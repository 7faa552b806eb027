#pragma once
// Model edges of a part: one line set per edge, whose user data is the edge's
// geometry attribute (a Tpx_GeometryAttribute, set as Tpx_Object*), so that a
// pick on the edge can snap to its end points, midpoint, centre and so on.
// The interference check never tests what lies below these kits.
//
// Edges built from a tessellation (makeFeatureEdges) are derived data: the kit
// writes nothing to files, and a document built again from its parts gets
// them again.
#include <memory>
#include <vector>

#include "host/FeatureEdges.h"
#include "host/SoKRN_BaseKit.h"

class SoIndexedLineSet;
class Tpx_GeometryAttribute;

class SoKRN_EdgeKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_EdgeKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(lightModel);
  SO_KIT_CATALOG_ENTRY_HEADER(baseColor);
  SO_KIT_CATALOG_ENTRY_HEADER(drawStyle);
  SO_KIT_CATALOG_ENTRY_HEADER(coords);
  SO_KIT_CATALOG_ENTRY_HEADER(lines);

public:
  static void initClass();
  SoKRN_EdgeKit();

  // An edge kit holding the feature edges of the mesh (see FeatureEdges.h for
  // the arrays and what counts as an edge), or null when it has none. The
  // kit is not referenced.
  static SoKRN_EdgeKit* makeFeatureEdges(const std::vector<float>& xyz, const std::vector<int>& tris,
                                         const vx::host::FeatureEdgeOptions& options = vx::host::FeatureEdgeOptions());

  // Replaces the edges by `curves` over the vertices `xyz` (3 floats each).
  // Curves with a vertex index out of range are dropped.
  void setFeatureCurves(const std::vector<float>& xyz, const std::vector<vx::host::FeatureCurve>& curves);

  int getNumEdges() const;
  // The line set of edge i (its user data is the edge's attribute).
  SoIndexedLineSet* getEdge(int i) const;
  Tpx_GeometryAttribute* getEdgeAttribute(int i) const;

  void write(SoWriteAction* action) override;
  // Not drawn where the part is made see-through (an override transparency):
  // opaque outlines would undo the ghosting of the part.
  void GLRender(SoGLRenderAction* action) override;

protected:
  ~SoKRN_EdgeKit() override;

private:
  std::vector<std::shared_ptr<Tpx_GeometryAttribute>> m_attributes;
};
