#pragma once
// Renders Coin scenes into RGBA pictures without a display.
//
// One renderer owns one headless OpenGL context (see OffscreenContext) of a
// fixed picture size and can render any number of scenes, one after another.
// Each render wraps the caller's scene in a graph of its own:
//
//   Separator
//     ShapeHints   counter-clockwise; shape type after setFaceMode()
//     camera       the caller's, or one fitted to the scene by a SceneCamera
//     DirectionalLight  headlight from just above the viewer (optional)
//     <scene>
//
// and draws it with the depth test on, which Coin's render action does not do
// by itself (a viewer's render manager does).
//
// Face modes: TwoSided (default) draws every face and lights both of its
// sides, so open surfaces such as cut faces look right from either side.
// Solid culls back faces and lights front faces only; it suits closed,
// consistently wound meshes. FromScene adds no hints: Coin's defaults (unknown
// ordering) then light only the side a face's normal points to. Hints or a
// camera inside the scene override the renderer's.
//
// Transparency is blended with objects sorted back to front, opaque ones
// first. The renderer is not thread-safe; use it from one thread.
#include <Inventor/SbColor.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbViewportRegion.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/OffscreenContext.h"
#include "tools/SceneCamera.h"

class PngImage;
class SoCamera;
class SoNode;

class OffscreenRenderer {
public:
  using Backend = OffscreenContext::Backend;
  enum class FaceMode { TwoSided, Solid, FromScene };

  // Creates the context at once: check isValid() and errorMessage(). `samples`
  // is the multisampling wanted (antialiasing; clamped to what the driver has,
  // 0 or 1 for none). Needs Coin to be initialised.
  OffscreenRenderer(int width, int height, int samples = 4, Backend preferred = Backend::Auto);
  ~OffscreenRenderer();
  OffscreenRenderer(const OffscreenRenderer&) = delete;
  OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

  bool isValid() const { return context_ != nullptr; }
  // Why the context could not be made, or why the last render failed; empty
  // after a successful render.
  const std::string& errorMessage() const { return error_; }
  Backend backend() const;
  // "EGL (Mesa surfaceless): Mesa / llvmpipe (...) / 4.5 (Compatibility Profile) ..."
  std::string description() const;

  int width() const { return width_; }
  int height() const { return height_; }
  int samples() const { return context_ ? context_->samples() : 0; }
  SbViewportRegion viewport() const {
    return SbViewportRegion(static_cast<short>(width_), static_cast<short>(height_));
  }

  // Background; alpha 1 (the default) gives an opaque picture, alpha 0 a
  // picture whose empty parts are transparent. Default black.
  void setBackgroundColor(const SbColor& rgb, float alpha = 1.0f);
  void setHeadlight(bool on) { headlight_ = on; }
  // With auto clipping (the default) a caller's camera is rendered with its
  // near and far distances widened to take in the whole scene, as interactive
  // viewers do, so a camera fitted to a small box still shows whole shapes
  // that reach out of it. The caller's camera node itself is not changed.
  void setAutoClipping(bool on) { autoClipping_ = on; }
  void setFaceMode(FaceMode mode) { faceMode_ = mode; }
  FaceMode faceMode() const { return faceMode_; }

  // World direction (unit) in which the headlight shines for a camera with
  // this orientation: along the view, tilted to come from just above the
  // viewer, so the three faces of a box seen from a corner get three shades.
  static SbVec3f headlightDirection(const SbRotation& cameraOrientation);

  // The camera placer used when render() is given no camera.
  SceneCamera& cameraPlacer() { return placer_; }
  const SceneCamera& cameraPlacer() const { return placer_; }

  // Renders `scene` as seen through `camera` into `picture` (resized to the
  // renderer's size). With a null camera, a perspective camera is fitted to
  // the scene's bounding box by cameraPlacer(). Neither node is changed; both
  // are referenced only during the call (a node with no references is left
  // with none, not deleted). Returns false with errorMessage() set when the
  // renderer is invalid, the scene is null or empty (no camera can be fitted),
  // or the pixels cannot be read; `picture` is then unchanged.
  bool render(SoNode* scene, SoCamera* camera, PngImage& picture);
  bool render(SoNode* scene, PngImage& picture) { return render(scene, nullptr, picture); }

private:
  // The scene under a root of our own (shape hints, the camera or a fitted
  // one, a headlight), drawn in our context and read back into `rgba`;
  // false with error_ set.
  bool drawFramed(SoNode* scene, SoCamera* camera, std::vector<std::uint8_t>& rgba);

  int width_;
  int height_;
  std::unique_ptr<OffscreenContext> context_;
  std::uint32_t cacheContext_ = 0;  // Coin's id for display lists / VBOs of our context
  std::string error_;
  SbColor background_{0.0f, 0.0f, 0.0f};
  float backgroundAlpha_ = 1.0f;
  bool headlight_ = true;
  bool autoClipping_ = true;
  FaceMode faceMode_ = FaceMode::TwoSided;
  SceneCamera placer_;
};
