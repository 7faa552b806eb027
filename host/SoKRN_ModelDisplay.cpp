#include "host/SoKRN_ModelDisplay.h"

#include <Inventor/SbPlane.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoPickStyle.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "host/TpxProductData.h"

SO_KIT_SOURCE(SoKRN_ModelDisplay);

void SoKRN_ModelDisplay::initClass() { SO_KIT_INIT_CLASS(SoKRN_ModelDisplay, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_ModelDisplay::SoKRN_ModelDisplay() {
  SO_KIT_CONSTRUCTOR(SoKRN_ModelDisplay);
  SO_KIT_ADD_CATALOG_ENTRY(topSeparator, SoSeparator, FALSE, this, \x0, FALSE);
  SO_KIT_ADD_CATALOG_ENTRY(pickStyle, SoPickStyle, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(shapeHints, SoShapeHints, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(material, SoMaterial, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(coords, SoCoordinate3, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(face, SoFaceSet, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(outlineStyle, SoDrawStyle, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_ADD_CATALOG_ENTRY(outline, SoLineSet, TRUE, topSeparator, \x0, TRUE);
  SO_KIT_INIT_INSTANCE();
}

SoKRN_ModelDisplay::~SoKRN_ModelDisplay() { releaseClip(); }

void SoKRN_ModelDisplay::releaseClip() {
  if (m_clipParent) {
    const int at = m_clipParent->findChild(m_clip);
    if (at >= 0) m_clipParent->removeChild(at);
    m_clipParent.reset();
  }
  m_clip.reset();
}

namespace {

// The corners of the convex polygon in which the plane (n, d) crosses the
// box, in order around it; empty when it misses the box.
std::vector<SbVec3f> PlaneInBox(const SbBox3f& box, const SbVec3f& n, float d) {
  SbVec3f lo, hi;
  box.getBounds(lo, hi);
  SbVec3f corner[8];
  for (int i = 0; i < 8; ++i) corner[i].setValue(i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2]);
  std::vector<SbVec3f> pts;
  auto add = [&pts](const SbVec3f& p) {
    for (const SbVec3f& q : pts) {
      if ((q - p).sqrLength() < 1e-12f * std::max(1.0f, p.sqrLength())) return;
    }
    pts.push_back(p);
  };
  for (int i = 0; i < 8; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      const int j = i | (1 << axis);
      if (j == i) continue;  // each edge once, from its lower corner
      const float di = n.dot(corner[i]) - d, dj = n.dot(corner[j]) - d;
      if (di == 0) add(corner[i]);
      if (dj == 0) add(corner[j]);
      if ((di < 0 && dj > 0) || (di > 0 && dj < 0)) add(corner[i] + (corner[j] - corner[i]) * (di / (di - dj)));
    }
  }
  if (pts.size() < 3) return {};
  SbVec3f centre(0, 0, 0);
  for (const SbVec3f& p : pts) centre += p;
  centre /= static_cast<float>(pts.size());
  // Order by angle about the centre, in a frame of the plane.
  SbVec3f u = (std::fabs(n[0]) < 0.9f ? SbVec3f(1, 0, 0) : SbVec3f(0, 1, 0)).cross(n);
  u.normalize();
  const SbVec3f v = n.cross(u);
  std::sort(pts.begin(), pts.end(), [&](const SbVec3f& a, const SbVec3f& b) {
    return std::atan2((a - centre).dot(v), (a - centre).dot(u)) < std::atan2((b - centre).dot(v), (b - centre).dot(u));
  });
  return pts;
}

}  // namespace

bool SoKRN_ModelDisplay::createClipPlane(const SbBox3f& extent, const SbVec3f& origin, const SbVec3f& normal,
                                         float offset, const TPX_RGBA32& color) {
  SoKRN_State* state = getKRNState();
  SoNode* owner = state ? state->getOwner() : nullptr;
  if (!owner || !owner->isOfType(SoKRN_MainDoc::getClassTypeId())) return false;
  SoGroup* clipGroup = static_cast<SoKRN_MainDoc*>(owner)->getClipPlaneChildren();
  SbVec3f n = normal;
  const float len = n.length();
  if (!clipGroup || !(len > 0) || !std::isfinite(len) || extent.isEmpty()) return false;
  n /= len;
  const SbVec3f through = origin + n * offset;
  const std::vector<SbVec3f> polygon = PlaneInBox(extent, n, n.dot(through));
  if (polygon.empty()) return false;

  // The polygon is drawn a hair to the kept side, so that its own clip plane
  // does not cut it; the hair is far below what a picture resolves.
  SbVec3f lo, hi;
  extent.getBounds(lo, hi);
  const SbVec3f lift = n * (1e-4f * (hi - lo).length());
  auto* coords = static_cast<SoCoordinate3*>(getAnyPart("coords", TRUE));
  coords->point.setNum(static_cast<int>(polygon.size()) + 1);
  for (std::size_t i = 0; i <= polygon.size(); ++i) {
    coords->point.set1Value(static_cast<int>(i), polygon[i % polygon.size()] + lift);
  }
  static_cast<SoFaceSet*>(getAnyPart("face", TRUE))->numVertices.setValue(static_cast<int>(polygon.size()));
  auto* outline = static_cast<SoLineSet*>(getAnyPart("outline", TRUE));
  outline->startIndex = 0;
  outline->numVertices.setValue(static_cast<int>(polygon.size()) + 1);

  auto* hints = static_cast<SoShapeHints*>(getAnyPart("shapeHints", TRUE));
  hints->shapeType = SoShapeHints::UNKNOWN_SHAPE_TYPE;  // both sides lit, no culling
  hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
  auto* material = static_cast<SoMaterial*>(getAnyPart("material", TRUE));
  const SbColor rgb(color.r, color.g, color.b);
  material->diffuseColor = rgb;
  material->emissiveColor = rgb * 0.5f;
  material->transparency = 1.0f - std::min(1.0f, std::max(0.0f, color.a));
  setHighLight(false);

  // Clipping: the document keeps the half space the normal points into.
  releaseClip();
  m_clip.reset(new SoClipPlane);
  m_clip->plane = SbPlane(n, through);
  m_clipParent.reset(clipGroup);
  clipGroup->addChild(m_clip);
  state->setClipPlane(m_clip);
  return true;
}

int SoKRN_ModelDisplay::getNumOutlinePoints() const {
  auto* set = static_cast<SoFaceSet*>(face.getValue());
  return set && set->numVertices.getNum() > 0 ? set->numVertices[0] : 0;
}

void SoKRN_ModelDisplay::setHighLight(bool on) {
  static_cast<SoDrawStyle*>(getAnyPart("outlineStyle", TRUE))->lineWidth = on ? 3.0f : 1.0f;
}
