#include "tools/OffscreenRenderer.h"

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/misc/SoContextHandler.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoDirectionalLight.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/SoRef.h"
#include "tools/PngImage.h"

namespace {

// The way the headlight shines in camera space (x right, y up, z towards the
// viewer): into the scene, downwards and a little to the right, as from a lamp
// just above the viewer's left shoulder.
const SbVec3f kLightInCamera(0.1f, -0.45f, -1.0f);

// Coin asks GLX whether rendering is direct the first time it meets a context
// and warns when there is no GLX context, which is always the case here. The
// filter swallows that one warning and passes everything else on.
struct DebugErrorFilter {
  SoErrorCB* previous;
  void* previousData;
  static void handle(const SoError* error, void* data) {
    const DebugErrorFilter* self = static_cast<const DebugErrorFilter*>(data);
    const SbString& text = error->getDebugString();
    if (text.find("glxglue_isdirect") >= 0) return;
    if (self->previous) {
      self->previous(error, self->previousData);
    } else {
      std::fprintf(stderr, "%s\n", text.getString());
    }
  }
};

// Moves the camera's near and far planes out to the scene's bounding box,
// never in. A perspective camera's near plane stays in front of it, at least a
// thousandth of the far distance, to keep depth precision when the camera sits
// inside the box; an orthographic one may look at what lies behind its position.
void widenClipping(SoCamera& camera, SoNode* scene, const SbViewportRegion& viewport) {
  SoGetBoundingBoxAction bbox(viewport);
  bbox.apply(scene);
  const SbBox3f box = bbox.getBoundingBox();
  if (box.isEmpty()) return;
  SbVec3f view;
  camera.orientation.getValue().multVec(SbVec3f(0.0f, 0.0f, -1.0f), view);
  const SbVec3f eye = camera.position.getValue();
  const SbVec3f lo = box.getMin(), hi = box.getMax();
  float nearest = HUGE_VALF, farthest = -HUGE_VALF;
  for (int i = 0; i < 8; ++i) {
    const SbVec3f corner((i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]);
    const float depth = (corner - eye).dot(view);
    nearest = std::min(nearest, depth);
    farthest = std::max(farthest, depth);
  }
  const bool perspective = !camera.isOfType(SoOrthographicCamera::getClassTypeId());
  if (perspective && !(farthest > 0.0f)) return;  // the whole scene is behind the camera
  const float slack = 0.01f * (farthest - nearest) + 1e-6f * std::fabs(farthest);
  const float wantFar = farthest + slack;
  float wantNear = nearest - slack;
  if (perspective) wantNear = std::max(wantNear, wantFar * 0.001f);
  camera.nearDistance = std::min(camera.nearDistance.getValue(), wantNear);
  camera.farDistance = std::max(camera.farDistance.getValue(), wantFar);
}

}  // namespace

OffscreenRenderer::OffscreenRenderer(int width, int height, int samples, Backend preferred)
    : width_(width), height_(height) {
  if (width > 32767 || height > 32767) {  // SbViewportRegion stores shorts
    error_ = "picture size " + std::to_string(width) + " x " + std::to_string(height) + " is too large";
    return;
  }
  context_ = OffscreenContext::create(width, height, samples, preferred, error_);
  if (context_) cacheContext_ = SoGLCacheContextElement::getUniqueCacheContext();
}

OffscreenRenderer::~OffscreenRenderer() {
  if (context_ && context_->makeCurrent()) {
    // Lets Coin free the display lists, textures and buffers it made in our
    // context while that context still exists.
    SoContextHandler::destructingContext(cacheContext_);
  }
}

SbVec3f OffscreenRenderer::headlightDirection(const SbRotation& cameraOrientation) {
  SbVec3f direction;
  cameraOrientation.multVec(kLightInCamera, direction);
  direction.normalize();
  return direction;
}

OffscreenRenderer::Backend OffscreenRenderer::backend() const { return context_ ? context_->backend() : Backend::Auto; }

std::string OffscreenRenderer::description() const {
  if (!context_) return "no OpenGL context";
  return std::string(OffscreenContext::backendName(context_->backend())) + ": " + context_->glDescription();
}

void OffscreenRenderer::setBackgroundColor(const SbColor& rgb, float alpha) {
  background_ = rgb;
  backgroundAlpha_ = std::clamp(alpha, 0.0f, 1.0f);
}

bool OffscreenRenderer::render(SoNode* scene, SoCamera* camera, PngImage& picture) {
  if (!context_) {
    if (error_.empty()) error_ = "no OpenGL context";
    return false;
  }
  if (!scene) {
    error_ = "no scene to render";
    return false;
  }
  // Borrowed for the call: a caller's node with no references is left with
  // none, not deleted.
  vx::host::SoRef<SoNode> holdScene(scene), holdCamera(camera);
  std::vector<std::uint8_t> rgba;
  const bool ok = drawFramed(scene, camera, rgba);
  holdScene.detach();
  holdCamera.detach();
  if (!ok) return false;
  if (backgroundAlpha_ >= 1.0f) {
    // Blending writes alpha * alpha + (1 - alpha) into the colour buffer's
    // alpha; over an opaque background the picture is opaque all the same.
    for (std::size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  }
  picture.assign(width_, height_, std::move(rgba));
  error_.clear();
  return true;
}

bool OffscreenRenderer::drawFramed(SoNode* scene, SoCamera* camera, std::vector<std::uint8_t>& rgba) {
  const vx::host::SoRef<SoSeparator> root(new SoSeparator);
  if (faceMode_ != FaceMode::FromScene) {
    // Coin lights both sides only when it knows the vertex ordering and the
    // shape is not solid.
    SoShapeHints* hints = new SoShapeHints;
    hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
    hints->shapeType = faceMode_ == FaceMode::Solid ? SoShapeHints::SOLID : SoShapeHints::UNKNOWN_SHAPE_TYPE;
    root->addChild(hints);
  }
  SoCamera* view = camera;
  if (!view) {
    SoPerspectiveCamera* fitted = new SoPerspectiveCamera;
    root->addChild(fitted);
    if (!placer_.viewAll(*fitted, scene, viewport())) {
      error_ = "the scene has no extent to point a camera at";
      return false;
    }
    view = fitted;
  } else if (autoClipping_) {
    view = static_cast<SoCamera*>(camera->copy());
    widenClipping(*view, scene, viewport());
    root->addChild(view);
  } else {
    root->addChild(camera);
  }
  if (headlight_) {
    SoDirectionalLight* light = new SoDirectionalLight;
    light->direction = headlightDirection(view->orientation.getValue());
    root->addChild(light);
  }
  root->addChild(scene);

  const bool current = context_->makeCurrent();
  bool ok = current;
  if (current) {
    context_->beginFrame(background_[0], background_[1], background_[2], backgroundAlpha_);
    SoGLRenderAction action(viewport());
    action.setCacheContext(cacheContext_);
    action.setTransparencyType(SoGLRenderAction::SORTED_OBJECT_BLEND);
    DebugErrorFilter filter{SoDebugError::getHandlerCallback(), SoDebugError::getHandlerData()};
    SoDebugError::setHandlerCallback(&DebugErrorFilter::handle, &filter);
    action.apply(root);
    SoDebugError::setHandlerCallback(filter.previous, filter.previousData);
    ok = context_->readPixels(rgba);
  }
  if (!ok) {
    error_ = current ? "could not read the rendered picture back from OpenGL"
                     : "could not make the renderer's OpenGL context current";
    return false;
  }
  return true;  // the root goes; the caller's nodes live on through the borrowed references
}
