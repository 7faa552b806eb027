#pragma once
// Helpers for the dragger tests: a pointer that drives a scene through Coin's
// own event path (SoHandleEventAction with synthetic mouse events, as a
// viewer delivers them), projections between pixels and world points for a
// camera, and one shared offscreen renderer for pictures.
#include <string>

#include <Inventor/SbLinear.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoHandleEventAction.h>

class OffscreenRenderer;
class SoCamera;
class SoNode;

namespace vxtest {

// Presses, moves and releases mouse button 1 over `root` in a viewport of
// the given size. Positions are pixels from the lower-left corner, as Coin's
// events carry them. Every event advances the event time by 0.1 s.
class Pointer {
 public:
  Pointer(SoNode* root, const SbViewportRegion& viewport);
  void press(const SbVec2s& pixel, bool shift = false);
  void move(const SbVec2s& pixel, bool shift = false);
  void release(const SbVec2s& pixel, bool shift = false);
  // True when the last event was taken by a node (a dragger grabbed it).
  bool handled() const { return handled_; }

 private:
  SoNode* root_;
  SoHandleEventAction action_;
  double time_ = 1.0;
  bool handled_ = false;
};

// Runs the sensors a viewer's idle loop would (field sensors of draggers
// attached at default priority fire from here). Pointer calls it after
// every event.
void ProcessSensors();

// The camera's view volume for the viewport's aspect ratio.
SbViewVolume ViewVolume(SoCamera* camera, const SbViewportRegion& viewport);
// The pixel (lower-left origin, fractional) where a world point shows.
SbVec2f PixelOf(const SbViewVolume& volume, const SbViewportRegion& viewport, const SbVec3f& world);
// The world point under a pixel on a plane; false when the ray misses it.
bool PointUnder(const SbViewVolume& volume, const SbViewportRegion& viewport, const SbVec2f& pixel,
                const SbPlane& plane, SbVec3f& world);
SbVec2s Round(const SbVec2f& pixel);

// One offscreen renderer of 200 x 200 pixels for the suite, black
// background, headlight on; null (and why) when this machine has no headless GL.
OffscreenRenderer* SharedRenderer(std::string* why);

}  // namespace vxtest
