#include "support/DraggerTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include <Inventor/SoDB.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/sensors/SoSensorManager.h>

#include "draggers/VistrelHostDraggers.h"
#include "module/VistrelExt.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

// The test main starts Coin and the host; the library's types and the host's
// cutting-plane types are registered here, as a viewer does.
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

void Pointer::send(SoEvent& event, const SbVec2s& pixel, bool shift) {
  event.setPosition(pixel);
  event.setShiftDown(shift);
  event.setTime(SbTime(time_ += 0.1));
  action_.setEvent(&event);
  action_.apply(root_);
  handled_ = action_.isHandled();
  ProcessSensors();
}

void Pointer::button(const SbVec2s& pixel, bool shift, bool down) {
  SoMouseButtonEvent event;
  event.setButton(SoMouseButtonEvent::BUTTON1);
  event.setState(down ? SoButtonEvent::DOWN : SoButtonEvent::UP);
  send(event, pixel, shift);
}

void Pointer::move(const SbVec2s& pixel, bool shift) {
  SoLocation2Event event;
  send(event, pixel, shift);
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

SbVec2s Round(const SbVec2f& pixel) {
  return SbVec2s(static_cast<short>(std::lround(pixel[0])), static_cast<short>(std::lround(pixel[1])));
}

SbLine RayUnder(const SbViewVolume& volume, const SbViewportRegion& viewport, const SbVec2s& pixel) {
  const SbVec2s size = viewport.getViewportSizePixels();
  SbLine line;
  volume.projectPointToLine(SbVec2f(float(pixel[0]) / size[0], float(pixel[1]) / size[1]), line);
  return line;
}

OffscreenRenderer* SharedRenderer(std::string* why) {
  static std::unique_ptr<OffscreenRenderer> renderer(new OffscreenRenderer(200, 200));
  *why = renderer->errorMessage();
  if (!renderer->isValid()) return nullptr;
  renderer->setBackgroundColor(SbColor(0, 0, 0));
  renderer->setFaceMode(OffscreenRenderer::FaceMode::TwoSided);
  return renderer.get();
}

void Dump(const PngImage& picture, const std::string& name) {
  std::string error;
  if (const char* dir = std::getenv("VX_RENDER_TEST_DUMP"))
    picture.writeFile(std::string(dir) + "/" + name + ".png", error);
}

}  // namespace vxtest
