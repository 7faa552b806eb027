#include "DraggerTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include <Inventor/SoDB.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/sensors/SoSensorManager.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoCamera.h>

#include "host/VistrelHostDraggers.h"
#include "module/VistrelExt.h"
#include "tools/OffscreenRenderer.h"

namespace {

// The test main starts Coin and the host; the library's types and the
// host's cutting-plane types are registered here, as a viewer would.
class DraggerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    initVistrelExtClass();
    VistrelHostInitCuttingPlane();
  }
};
::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DraggerEnvironment);

}  // namespace

namespace vxtest {

Pointer::Pointer(SoNode* root, const SbViewportRegion& viewport) : root_(root), action_(viewport) {}

void Pointer::press(const SbVec2s& pixel, bool shift) {
  SoMouseButtonEvent event;
  event.setButton(SoMouseButtonEvent::BUTTON1);
  event.setState(SoButtonEvent::DOWN);
  event.setPosition(pixel);
  event.setShiftDown(shift);
  event.setTime(SbTime(time_ += 0.1));
  action_.setEvent(&event);
  action_.apply(root_);
  handled_ = action_.isHandled();
  ProcessSensors();
}

void Pointer::move(const SbVec2s& pixel, bool shift) {
  SoLocation2Event event;
  event.setPosition(pixel);
  event.setShiftDown(shift);
  event.setTime(SbTime(time_ += 0.1));
  action_.setEvent(&event);
  action_.apply(root_);
  handled_ = action_.isHandled();
  ProcessSensors();
}

void Pointer::release(const SbVec2s& pixel, bool shift) {
  SoMouseButtonEvent event;
  event.setButton(SoMouseButtonEvent::BUTTON1);
  event.setState(SoButtonEvent::UP);
  event.setPosition(pixel);
  event.setShiftDown(shift);
  event.setTime(SbTime(time_ += 0.1));
  action_.setEvent(&event);
  action_.apply(root_);
  handled_ = action_.isHandled();
  ProcessSensors();
}

void ProcessSensors() {
  SoDB::getSensorManager()->processTimerQueue();
  SoDB::getSensorManager()->processDelayQueue(FALSE);
}

SbViewVolume ViewVolume(SoCamera* camera, const SbViewportRegion& viewport) {
  return camera->getViewVolume(viewport.getViewportAspectRatio());
}

SbVec2f PixelOf(const SbViewVolume& volume, const SbViewportRegion& viewport, const SbVec3f& world) {
  SbVec3f ndc;
  volume.projectToScreen(world, ndc);
  const SbVec2s size = viewport.getViewportSizePixels();
  return SbVec2f(ndc[0] * size[0], ndc[1] * size[1]);
}

bool PointUnder(const SbViewVolume& volume, const SbViewportRegion& viewport, const SbVec2f& pixel,
                const SbPlane& plane, SbVec3f& world) {
  const SbVec2s size = viewport.getViewportSizePixels();
  SbLine line;
  volume.projectPointToLine(SbVec2f(pixel[0] / size[0], pixel[1] / size[1]), line);
  return plane.intersect(line, world);
}

SbVec2s Round(const SbVec2f& pixel) {
  return SbVec2s(static_cast<short>(std::lround(pixel[0])), static_cast<short>(std::lround(pixel[1])));
}

OffscreenRenderer* SharedRenderer(std::string* why) {
  static std::unique_ptr<OffscreenRenderer> renderer(new OffscreenRenderer(200, 200));
  *why = renderer->errorMessage();
  if (!renderer->isValid()) return nullptr;
  renderer->setBackgroundColor(SbColor(0, 0, 0));
  renderer->setHeadlight(true);
  renderer->setAutoClipping(true);
  renderer->setFaceMode(OffscreenRenderer::FaceMode::TwoSided);
  return renderer.get();
}

}  // namespace vxtest
