// The point tracker on rendered pixels: its marker shows through the
// part in front of it (a plain marker at the same point does not), hides
// with its switch and comes back at its last position.
#ifdef VX_PICKING_WITH_TOOLS
#include <gtest/gtest.h>

#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoMarkerSet.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSwitch.h>

#include "host/SoKRN_MainDoc.h"
#include "picking/SnappingFilter.h"
#include "picking/SoKRN_PointTracker.h"
#include "support/PickScene.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

// The tracker's colour is (255, 0, 0) as the viewer sets it; Coin packs
// colours into bytes, where 255 * 255 wraps to 1: the marker draws as
// exactly (1, 0, 0), a colour nothing else here has (the part is grey, the
// background (0, 0, 0)).
bool Marker(const PngImage::Rgba& p) { return p.r == 1 && p.g == 0 && p.b == 0; }

// Marker pixels within 3 of the picture's centre.
int MarkerAtCentre(const PngImage& img) {
  int n = 0;
  for (int y = img.height() / 2 - 3; y <= img.height() / 2 + 3; ++y)
    for (int x = img.width() / 2 - 3; x <= img.width() / 2 + 3; ++x) n += Marker(img.pixel(x, y));
  return n;
}

TEST(PointTracker, MarkerIsDrawnOnTopOfTheParts) {
  OffscreenRenderer renderer(120, 90);
  if (!renderer.isValid()) GTEST_SKIP() << renderer.errorMessage();
  picktest::Scene scene;
  SnappingFilter filter(scene.doc);  // puts its (hidden) tracker into the document
  SoKRN_PointTracker* tracker = filter.getTracker();
  auto* camera = new SoOrthographicCamera;
  camera->ref();
  camera->position.setValue(60, 0, 100);  // above the box, looking down
  camera->height = 40, camera->nearDistance = 1, camera->farDistance = 200;
  // Marker-coloured pixels about the centre of a fresh picture.
  auto markerPixels = [&] {
    PngImage picture;
    const bool drawn = renderer.render(scene.doc, camera, picture);
    EXPECT_TRUE(drawn) << renderer.errorMessage();
    return drawn ? MarkerAtCentre(picture) : -1;
  };
  // The centre of the box's bottom face, behind its top face from here.
  const SbVec3f hidden(60, 0, 0);
  tracker->SetPosition(hidden, SbMatrix::identity());
  EXPECT_EQ(markerPixels(), 0);  // created hidden
  tracker->On();
  EXPECT_GT(markerPixels(), 8);

  // A plain marker at the same point, outside an annotation, is hidden
  // by the box: the tracker's shows only because it is drawn on top.
  tracker->Off();
  auto* plain = new SoSeparator;
  auto* color = new SoBaseColor;
  color->rgb.setValue(255, 0, 0);
  auto* coords = new SoCoordinate3;
  coords->point.setValue(hidden);
  auto* marker = new SoMarkerSet;
  marker->markerIndex = 82;
  plain->addChild(color);
  plain->addChild(coords);
  plain->addChild(marker);
  scene.doc->addTmpChild(plain);
  EXPECT_EQ(markerPixels(), 0);
  coords->point.setValue(60, 0, 30);  // above the box it shows
  EXPECT_GT(markerPixels(), 8);
  scene.doc->removeTempChild(plain);

  // Back on at its last position; the de-highlight callback hides it again.
  tracker->On();
  EXPECT_GT(markerPixels(), 8);
  SnappingFilter::DeHighlightPathCB(&filter, nullptr);
  EXPECT_EQ(markerPixels(), 0);
  camera->unref();
}

TEST(PointTracker, SwitchGraphAndCopies) {
  picktest::Scene scene;
  const int before = scene.doc->getNumTempChildren();
  {
    SnappingFilter filter(scene.doc);
    SoSwitch* sw = filter.getTracker()->getSwitch();
    EXPECT_EQ(sw->getName(), SbName("SnappingSoSwitch"));
    EXPECT_EQ(sw->whichChild.getValue(), SO_SWITCH_NONE);
    EXPECT_EQ(scene.doc->getNumTempChildren(), before + 1);
    // A copy shares the tracker; the last one to go takes it out.
    SnappingFilter copy(filter);
    SnappingFilter assigned(scene.doc);
    EXPECT_EQ(scene.doc->getNumTempChildren(), before + 2);
    assigned = copy;
    EXPECT_EQ(scene.doc->getNumTempChildren(), before + 1);
    EXPECT_EQ(assigned.getTracker(), filter.getTracker());
  }
  EXPECT_EQ(scene.doc->getNumTempChildren(), before);
}

}  // namespace
#endif
