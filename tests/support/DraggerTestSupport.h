#pragma once
// Helpers for the dragger tests: a pointer that drives a scene through Coin's
// own event path (SoHandleEventAction with synthetic mouse events), pixel and
// world projections for a camera, and one shared offscreen renderer.
#include <string>

#include <Inventor/SbLinear.h>
#include <Inventor/SbViewVolume.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoHandleEventAction.h>

class OffscreenRenderer;
class PngImage;
class SoCamera;
class SoNode;

namespace vxtest {

// Mouse button 1 over `root`; pixels from the lower-left corner, as Coin's
// events carry them. After every event the sensors run, as in a viewer.
class Pointer {
public:
  Pointer(SoNode* root, const SbViewportRegion& viewport) : root_(root), action_(viewport) {}
  void press(const SbVec2s& pixel, bool shift = false) { button(pixel, shift, true); }
  void move(const SbVec2s& pixel, bool shift = false);
  void release(const SbVec2s& pixel, bool shift = false) { button(pixel, shift, false); }
  bool handled() const { return handled_; }  // a dragger took the last event

private:
  void button(const SbVec2s& pixel, bool shift, bool down);
  void send(class SoEvent& event, const SbVec2s& pixel, bool shift);
  SoNode* root_;
  SoHandleEventAction action_;
  double time_ = 1.0;
  bool handled_ = false;
};

// Runs the delay and timer queues (draggers' field sensors fire there).
void ProcessSensors();

SbViewVolume ViewVolume(SoCamera* camera, const SbViewportRegion& viewport);
// The (fractional) pixel where a world point shows.
SbVec2f PixelOf(const SbViewVolume& volume, const SbViewportRegion& viewport, const SbVec3f& world);
SbVec2s Round(const SbVec2f& pixel);
// The ray under a pixel.
SbLine RayUnder(const SbViewVolume& volume, const SbViewportRegion& viewport, const SbVec2s& pixel);

// One 200 x 200 renderer for the suite; null (and why) without headless GL.
OffscreenRenderer* SharedRenderer(std::string* why);
// Writes `picture` as <VX_RENDER_TEST_DUMP>/<name>.png when that is set.
void Dump(const PngImage& picture, const std::string& name);

}  // namespace vxtest

#define REQUIRE_RENDERER(r)                                \
  std::string whyNoGl;                                     \
  OffscreenRenderer* r = vxtest::SharedRenderer(&whyNoGl); \
  if (!r) GTEST_SKIP() << "no headless OpenGL here: " << whyNoGl
