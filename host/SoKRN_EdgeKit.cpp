#include "host/SoKRN_EdgeKit.h"

#include <cmath>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoLazyElement.h>
#include <Inventor/elements/SoOverrideElement.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedLineSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoSeparator.h>

#include "host/TpxGeometryAttribute.h"

SO_KIT_SOURCE(SoKRN_EdgeKit);

void SoKRN_EdgeKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_EdgeKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_EdgeKit::SoKRN_EdgeKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_EdgeKit);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, TRUE, this, "", FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(lightModel, SoLightModel, TRUE, topSeparator, "", FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(baseColor, SoBaseColor, TRUE, topSeparator, "", FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(drawStyle, SoDrawStyle, TRUE, topSeparator, "", FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(coords, SoCoordinate3, TRUE, topSeparator, "", FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(lines, SoGroup, TRUE, topSeparator, "", FALSE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_EdgeKit::~SoKRN_EdgeKit() {
  // The line sets may outlive the kit (someone may hold one): clear the user
  // data before the attributes go.
  for (int i = 0; i < getNumEdges(); ++i)
    if (SoIndexedLineSet* ls = getEdge(i)) ls->setUserData(nullptr);
}

void SoKRN_EdgeKit::GLRender(SoGLRenderAction* action) {
  SoState* state = action->getState();
  if (SoOverrideElement::getTransparencyOverride(state) && SoLazyElement::getTransparency(state, 0) > 0.0f) return;
  SoKRN_BaseKit::GLRender(action);
}

SoKRN_EdgeKit* SoKRN_EdgeKit::makeFeatureEdges(const std::vector<float>& xyz, const std::vector<int>& tris,
                                               const vx::host::FeatureEdgeOptions& options) {
  const std::vector<vx::host::FeatureCurve> curves = vx::host::FindFeatureCurves(xyz, tris, options);
  if (curves.empty()) return nullptr;
  auto* kit = new SoKRN_EdgeKit;
  kit->setFeatureCurves(xyz, curves);
  return kit;
}

namespace {

TPX_PNT32 Pnt(const std::vector<float>& xyz, int v) {
  const size_t i = 3 * static_cast<size_t>(v);
  return TPX_PNT32{xyz[i], xyz[i + 1], xyz[i + 2]};
}

}  // namespace

void SoKRN_EdgeKit::setFeatureCurves(const std::vector<float>& xyz, const std::vector<vx::host::FeatureCurve>& curves) {
  auto* group = static_cast<SoGroup*>(getAnyPart("lines", TRUE));
  for (int i = 0; i < group->getNumChildren(); ++i) group->getChild(i)->setUserData(nullptr);
  group->removeAllChildren();
  m_attributes.clear();

  auto* light = static_cast<SoLightModel*>(getAnyPart("lightModel", TRUE));
  light->model = SoLightModel::BASE_COLOR;
  static_cast<SoBaseColor*>(getAnyPart("baseColor", TRUE))->rgb.setValue(0.08f, 0.08f, 0.08f);

  const int numVerts = static_cast<int>(xyz.size() / 3);
  auto* coords = static_cast<SoCoordinate3*>(getAnyPart("coords", TRUE));
  coords->point.setNum(0);
  std::vector<int> slot(numVerts, -1);  // input vertex -> coordinate index
  int used = 0;
  for (const vx::host::FeatureCurve& c : curves) {
    bool ok = c.points.size() >= 2;
    for (int v : c.points) ok = ok && v >= 0 && v < numVerts;
    if (!ok) continue;
    auto* ls = new SoIndexedLineSet;
    std::vector<int32_t> idx;
    for (int v : c.points) {
      if (slot[v] < 0) {
        slot[v] = used++;
        coords->point.set1Value(slot[v], xyz[3 * v], xyz[3 * v + 1], xyz[3 * v + 2]);
      }
      idx.push_back(slot[v]);
    }
    if (c.kind == vx::host::FeatureCurve::CIRCLE) idx.push_back(idx.front());
    idx.push_back(-1);
    ls->coordIndex.setValues(0, static_cast<int>(idx.size()), idx.data());

    std::shared_ptr<Tpx_GeometryAttribute> attr;
    const TPX_PNT32 s = Pnt(xyz, c.points.front());
    const TPX_PNT32 e = c.kind == vx::host::FeatureCurve::CIRCLE ? s : Pnt(xyz, c.points.back());
    if (c.kind == vx::host::FeatureCurve::LINE) {
      attr = std::make_shared<Tpx_LineAttribute>(s, e);
    } else {
      // X towards the start point, Z the axis, Y = Z x X.
      const double dx = s.x - c.centre[0], dy = s.y - c.centre[1], dz = s.z - c.centre[2];
      const double l = std::sqrt(dx * dx + dy * dy + dz * dz);
      const double x[3] = {dx / l, dy / l, dz / l};
      const double* z = c.axis;
      const double y[3] = {z[1] * x[2] - z[2] * x[1], z[2] * x[0] - z[0] * x[2], z[0] * x[1] - z[1] * x[0]};
      const TPX_PNT32 centre{static_cast<float>(c.centre[0]), static_cast<float>(c.centre[1]),
                             static_cast<float>(c.centre[2])};
      const float r = static_cast<float>(c.radius);
      attr = std::make_shared<Tpx_EllipseAttribute>(
          centre, TPX_DIR32{float(x[0]), float(x[1]), float(x[2])}, TPX_DIR32{float(y[0]), float(y[1]), float(y[2])},
          TPX_DIR32{float(z[0]), float(z[1]), float(z[2])}, r, r, s, e, c.kind == vx::host::FeatureCurve::CIRCLE);
    }
    ls->setUserData(static_cast<Tpx_Object*>(attr.get()));
    m_attributes.push_back(std::move(attr));
    group->addChild(ls);
  }
}

int SoKRN_EdgeKit::getNumEdges() const { return static_cast<int>(m_attributes.size()); }

SoIndexedLineSet* SoKRN_EdgeKit::getEdge(int i) const {
  auto* group = static_cast<SoGroup*>(const_cast<SoKRN_EdgeKit*>(this)->getAnyPart("lines", FALSE));
  if (!group || i < 0 || i >= group->getNumChildren()) return nullptr;
  return static_cast<SoIndexedLineSet*>(group->getChild(i));
}

Tpx_GeometryAttribute* SoKRN_EdgeKit::getEdgeAttribute(int i) const {
  return i >= 0 && i < getNumEdges() ? m_attributes[i].get() : nullptr;
}

void SoKRN_EdgeKit::write(SoWriteAction* /*action*/) {}
