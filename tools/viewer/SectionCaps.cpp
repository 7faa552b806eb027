// Section caps by stencil parity (see the header). The graph under root():
//
//   PickStyle UNPICKABLE, Callback(0: clear the stencil, colour writes off)
//   Separator { DepthBuffer off, ShapeHints (no culling), ClipPlane,
//               Callback(1) part 0's triangles, Callback(2) part 1's }
//   Callback(3: colour writes on), LightModel BASE_COLOR, the quad's coords,
//   Callback(4) colour, quad (stencil 1), Callback(5) ... (2), Callback(6)
//   ... (3), Callback(7: stencil test off), the plane: Material (see-through),
//   DepthBuffer (no writes), its coords, its quad
//
// The GL state touched here (stencil and colour masks, stencil test) is not
// tracked by Coin's traversal state, so each callback sets what the next
// nodes need and the last one puts the defaults back.
#include "tools/viewer/SectionCaps.h"

#include <GL/gl.h>

#include <Inventor/SoPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCallback.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDepthBuffer.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoPickStyle.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShape.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSwitch.h>
#include <Inventor/sensors/SoFieldSensor.h>

#include <cmath>

namespace {

struct Collected {
  std::vector<SbVec3f> points;  // world, three per triangle
};

void triangleCB(void* data, SoCallbackAction* action, const SoPrimitiveVertex* a, const SoPrimitiveVertex* b,
                const SoPrimitiveVertex* c) {
  auto* out = static_cast<Collected*>(data);
  const SbMatrix& m = action->getModelMatrix();
  for (const SoPrimitiveVertex* v : {a, b, c}) {
    SbVec3f w;
    m.multVecMatrix(v->getPoint(), w);
    out->points.push_back(w);
  }
}

SoCallback* stageNode(void* stage, void (*cb)(void*, SoAction*)) {
  auto* node = new SoCallback;
  node->setCallback(cb, stage);
  return node;
}

}  // namespace

SbColor SectionCaps::capColour(const SbColor& part) { return part * 0.6f; }
SbColor SectionCaps::overlapColour() { return SbColor(0.95f, 0.35f, 0.35f); }

SectionCaps::SectionCaps() {
  for (int i = 0; i < 8; ++i) stages_[i] = Stage{this, i};
  root_.reset(new SoSeparator);
  root_->renderCaching = SoSeparator::OFF;  // the callbacks' GL state must run every frame
  on_ = new SoSwitch;
  on_->whichChild = SO_SWITCH_NONE;
  root_->addChild(on_);
  auto* all = new SoSeparator;
  all->renderCaching = SoSeparator::OFF;
  on_->addChild(all);
  auto* pick = new SoPickStyle;
  pick->style = SoPickStyle::UNPICKABLE;
  all->addChild(pick);
  all->addChild(stageNode(&stages_[0], &SectionCaps::stencilCB));
  parts_ = new SoSeparator;
  parts_->renderCaching = SoSeparator::OFF;
  all->addChild(parts_);

  all->addChild(stageNode(&stages_[3], &SectionCaps::stencilCB));
  auto* light = new SoLightModel;
  light->model = SoLightModel::BASE_COLOR;
  all->addChild(light);
  auto* hints = new SoShapeHints;
  hints->shapeType = SoShapeHints::UNKNOWN_SHAPE_TYPE;
  all->addChild(hints);
  quad_ = new SoCoordinate3;
  all->addChild(quad_);
  for (int value = 1; value <= 3; ++value) {
    all->addChild(stageNode(&stages_[3 + value], &SectionCaps::stencilCB));
    auto* colour = new SoBaseColor;
    colour->setName(SbName(value == 3 ? "overlap" : "cap"));
    all->addChild(colour);
    auto* face = new SoFaceSet;
    face->numVertices = 4;
    all->addChild(face);
  }
  all->addChild(stageNode(&stages_[7], &SectionCaps::stencilCB));
  // The plane itself, light and see-through, over the parts' box only,
  // a hair behind the caps (seen from the side the plane cuts away).
  auto* veil = new SoMaterial;
  veil->diffuseColor = SbColor(0.55f, 0.65f, 0.85f);
  veil->transparency = 0.8f;
  all->addChild(veil);
  auto* noDepthWrite = new SoDepthBuffer;
  noDepthWrite->write = FALSE;
  all->addChild(noDepthWrite);
  plane_ = new SoCoordinate3;
  all->addChild(plane_);
  auto* planeFace = new SoFaceSet;
  planeFace->numVertices = 4;
  all->addChild(planeFace);
  sensor_ = std::make_unique<SoFieldSensor>(&SectionCaps::planeChangedCB, this);
  sensor_->setDeleteCallback(&SectionCaps::planeGoneCB, this);
}

SectionCaps::~SectionCaps() {
  clear();
  sensor_.reset();
  root_.reset();
}

void SectionCaps::clear() {
  if (sensor_->getAttachedField()) sensor_->detach();
  source_ = nullptr;
  on_->whichChild = SO_SWITCH_NONE;
  parts_->removeAllChildren();
}

void SectionCaps::set(const std::vector<SoPath*>& paths, const std::vector<SbColor>& colours, SoSFPlane* plane) {
  clear();
  if (!plane || paths.empty()) return;
  auto* depth = new SoDepthBuffer;
  depth->test = FALSE;
  depth->write = FALSE;
  parts_->addChild(depth);
  auto* hints = new SoShapeHints;
  hints->shapeType = SoShapeHints::UNKNOWN_SHAPE_TYPE;  // both sides count
  parts_->addChild(hints);
  clip_ = new SoClipPlane;
  parts_->addChild(clip_);
  extent_.makeEmpty();
  auto* all = static_cast<SoSeparator*>(on_->getChild(0));
  for (std::size_t k = 0; k < paths.size() && k < 2; ++k) {
    Collected mesh;
    SoCallbackAction action;
    action.addTriangleCallback(SoShape::getClassTypeId(), &triangleCB, &mesh);
    action.apply(paths[k]);
    for (const SbVec3f& p : mesh.points) extent_.extendBy(p);
    parts_->addChild(stageNode(&stages_[1 + k], &SectionCaps::stencilCB));
    auto* coords = new SoCoordinate3;
    coords->point.setValues(0, static_cast<int>(mesh.points.size()), mesh.points.data());
    parts_->addChild(coords);
    auto* faces = new SoFaceSet;
    faces->numVertices.setNum(static_cast<int>(mesh.points.size() / 3));
    int32_t* n = faces->numVertices.startEditing();
    for (std::size_t t = 0; t < mesh.points.size() / 3; ++t) n[t] = 3;
    faces->numVertices.finishEditing();
    parts_->addChild(faces);
  }
  // The cap colours: part k's cap is drawn for stencil value k + 1.
  int seen = 0;
  for (int i = 0; i < all->getNumChildren(); ++i) {
    auto* colour = dynamic_cast<SoBaseColor*>(all->getChild(i));
    if (!colour) continue;
    if (seen < 2)
      colour->rgb = seen < static_cast<int>(colours.size()) ? capColour(colours[static_cast<std::size_t>(seen)])
                                                            : capColour(SbColor(0.8f, 0.8f, 0.8f));
    else
      colour->rgb = overlapColour();
    ++seen;
  }
  if (extent_.isEmpty()) {
    parts_->removeAllChildren();
    return;
  }
  source_ = plane;
  sensor_->attach(plane);
  placeQuad();
  on_->whichChild = 0;
}

// The clip plane follows the source; the quad lies on it, covering the
// parts' box, lifted a hair to the kept side so that the same plane
// clipping the scene does not cut it.
void SectionCaps::placeQuad() {
  if (!source_) return;
  const SbPlane plane = source_->getValue();
  clip_->plane = plane;
  SbVec3f n = plane.getNormal();
  if (!(n.length() > 0)) return;
  n.normalize();
  const SbVec3f centre = extent_.getCenter();
  float dx, dy, dz;
  extent_.getSize(dx, dy, dz);
  const float half = std::max(SbVec3f(dx, dy, dz).length(), 1e-6f);
  const SbVec3f foot = centre - n * (n.dot(centre) - plane.getDistanceFromOrigin());
  SbVec3f u = std::fabs(n[0]) < 0.9f ? SbVec3f(1, 0, 0).cross(n) : SbVec3f(0, 1, 0).cross(n);
  u.normalize();
  const SbVec3f v = n.cross(u);
  auto square = [&](SoCoordinate3* coords, float size, float lift) {
    const SbVec3f o = foot + n * (lift * half);
    coords->point.setValues(0, 4,
                            std::vector<SbVec3f>{o - u * size - v * size, o + u * size - v * size,
                                                 o + u * size + v * size, o - u * size + v * size}
                                .data());
  };
  square(quad_, half, 1e-4f);
  // The box's section fits in a square of half its diagonal about the foot.
  square(plane_, 0.5f * half, 2e-4f);
}

void SectionCaps::planeChangedCB(void* data, SoSensor*) { static_cast<SectionCaps*>(data)->placeQuad(); }

// The plane's node went away (another result shown): no caps until set().
void SectionCaps::planeGoneCB(void* data, SoSensor*) {
  auto* self = static_cast<SectionCaps*>(data);
  self->source_ = nullptr;
  self->on_->whichChild = SO_SWITCH_NONE;
}

void SectionCaps::stencilCB(void* data, SoAction* action) {
  if (!action->isOfType(SoGLRenderAction::getClassTypeId())) return;
  const Stage* stage = static_cast<const Stage*>(data);
  SectionCaps* self = stage->caps;
  if (stage->step == 0) {
    GLint bits = 0;
    glGetIntegerv(GL_STENCIL_BITS, &bits);
    self->stencilBits_ = bits;
  }
  if (self->stencilBits_ <= 0) {
    // No stencil: nothing of the caps may reach the picture.
    const bool last = stage->step == 7;
    glColorMask(last, last, last, last);
    glDepthMask(last);
    return;
  }
  switch (stage->step) {
    case 0:
      glStencilMask(~0u);
      glClearStencil(0);
      glClear(GL_STENCIL_BUFFER_BIT);
      glEnable(GL_STENCIL_TEST);
      glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
      break;
    case 1:
    case 2:
      glStencilMask(1u << (stage->step - 1));
      glStencilFunc(GL_ALWAYS, 0, ~0u);
      glStencilOp(GL_INVERT, GL_INVERT, GL_INVERT);
      break;
    case 3:
      glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      glStencilMask(0);
      break;
    case 4:
    case 5:
    case 6:
      glStencilFunc(GL_EQUAL, stage->step - 3, 3u);
      glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
      break;
    default:
      glDisable(GL_STENCIL_TEST);
      glStencilMask(~0u);
      break;
  }
}
