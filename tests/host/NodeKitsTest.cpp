// A clip-plane display clipping its document while it exists.
#include <gtest/gtest.h>

#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoGroup.h>

#include "HostTestUtil.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/TpxProductData.h"

namespace {

using hosttest::DocRef;

TEST(NodeKits, ClipPlaneDisplayClipsItsDocumentWhileItExists) {
  DocRef d;
  SoKRN_NodeKit* root = d.doc->getTopPrototype()->getRootNode();
  SoGroup* planes = d.doc->getClipPlaneChildren();
  const TPX_RGBA32 red{1, 0, 0, 0.5f};
  const SbBox3f box(SbVec3f(0, 0, 0), SbVec3f(2, 4, 6));

  SoKRN_NodeKit* kit = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, root, nullptr, 0);
  auto* display = static_cast<SoKRN_ModelDisplay*>(kit->getNodeEnt());
  EXPECT_FALSE(display->isClipPLane());
  EXPECT_FALSE(display->createClipPlane(box, SbVec3f(1, 9, 1), SbVec3f(0, -1, 0), 0, red)) << "misses the box";
  EXPECT_FALSE(display->createClipPlane(box, SbVec3f(1, 1, 1), SbVec3f(0, 0, 0), 0, red)) << "no normal";
  EXPECT_EQ(planes->getNumChildren(), 0);

  ASSERT_TRUE(display->createClipPlane(box, SbVec3f(1, 1, 1), SbVec3f(0, -2, 0), 0.5f, red));
  EXPECT_TRUE(display->isClipPLane());
  EXPECT_EQ(display->getNumOutlinePoints(), 4);
  ASSERT_EQ(planes->getNumChildren(), 1);
  ASSERT_EQ(planes->getChild(0), display->getClipPlane());
  EXPECT_EQ(d.doc->getKRNState()->getClipPlane(), display->getClipPlane());
  const SbPlane plane = display->getClipPlane()->plane.getValue();
  EXPECT_NEAR(plane.getNormal()[1], -1.0f, 1e-6f);
  EXPECT_NEAR(plane.getDistance(SbVec3f(0, 0.5f, 0)), 0.0f, 1e-6f) << "moved by the offset along the normal";

  // A slanted plane through the centre of the box cuts a hexagon.
  SoKRN_NodeKit* slanted = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, root, nullptr, 0);
  auto* hexagon = static_cast<SoKRN_ModelDisplay*>(slanted->getNodeEnt());
  ASSERT_TRUE(hexagon->createClipPlane(box, box.getCenter(), SbVec3f(3, 1.5f, 1), 0, red));
  EXPECT_EQ(hexagon->getNumOutlinePoints(), 6);
  EXPECT_EQ(planes->getNumChildren(), 2);

  // Removing a node kit removes its clip plane from the document, and only that.
  root->removeChildNodeKitByID(kit->getID(), TRUE);
  ASSERT_EQ(planes->getNumChildren(), 1);
  EXPECT_EQ(planes->getChild(0), hexagon->getClipPlane());

  // Outside a document there is nothing to clip.
  SoKRN_ModelDisplay* loose = new SoKRN_ModelDisplay;
  loose->ref();
  EXPECT_FALSE(loose->createClipPlane(box, SbVec3f(1, 1, 1), SbVec3f(0, 1, 0), 0, red));
  loose->unref();
}

}  // namespace
