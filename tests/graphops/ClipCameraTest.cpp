// Temporary points, clip planes (scene and saved), and the camera: zoom,
// target point and matrix round trip.
#include <random>
#include <vector>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include "host/SoKRN_BodyKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/TpxProductData.h"
#include "support/TestAssembly.h"

using ClipCameraTest = AssemblyTest;

TEST_F(ClipCameraTest, TemporaryPointsAreFoundAndRemovedByName) {
  CGraphOperation::SetActiveMainDocKit(doc);
  auto* other = new SoSeparator;
  other->setName("Other");
  doc->addTmpChild(other);
  SoSeparator* a = CGraphOperation::CreateTmpPoint(nullptr, SbVec3f(1, 2, 3));
  CGraphOperation::CreateTmpPoint(doc, SbVec3f(4, 5, 6));  // right after it
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(VecNear(CGraphOperation::GetTmpPointPosition(a), SbVec3f(1, 2, 3)));
  EXPECT_TRUE(VecNear(CGraphOperation::GetTmpPointPosition(other), SbVec3f(0, 0, 0)));
  CGraphOperation::DelAllTmpPoint(doc);
  ASSERT_EQ(doc->getNumTempChildren(), 1) << "both adjacent points go";
  EXPECT_EQ(doc->getTmpChildByIndex(0), other);
}

TEST_F(ClipCameraTest, ClipPlanesInTheSceneAndSaved) {
  SoGroup* planes = doc->getClipPlaneChildren();
  auto *first = new SoClipPlane, *second = new SoClipPlane;
  first->setName("First"), second->setName("Second");
  planes->addChild(first), planes->addChild(second);
  EXPECT_EQ(CGraphOperation::FindClipPlane(doc, ""), first);
  EXPECT_EQ(CGraphOperation::FindClipPlane(doc, "Second"), second);
  EXPECT_EQ(CGraphOperation::FindClipPlane(doc, "second"), nullptr) << "names compare exactly";
  const SbPlane none = CGraphOperation::GetClipPlaneInfoFromSceneGraph(doc);
  EXPECT_TRUE(VecNear(none.getNormal(), SbVec3f(1, 0, 0)));
  CGraphOperation::DeleteClipNodeFromSceneGraph(doc);
  EXPECT_EQ(planes->getNumChildren(), 0);

  // Saved under the top prototype's root node kit: a view, a clip plane, a
  // hidden clip plane, a clip line.
  SoKRN_NodeKit* root = top->getRootNode();
  SoKRN_NodeKit* view = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, root, nullptr, 0);
  // A clip-plane display needs a plane through its box and a normal; the
  // outline is where the plane cuts the box (a hexagon when slanted).
  const SbBox3f box(-1, -1, -1, 1, 1, 1);
  const TPX_RGBA32 red{1, 0, 0, 0.5f};
  auto* refused = static_cast<SoKRN_ModelDisplay*>(view->getNodeEnt());
  EXPECT_FALSE(refused->createClipPlane(box, SbVec3f(0, 9, 0), SbVec3f(0, -1, 0), 0, red)) << "misses the box";
  EXPECT_FALSE(refused->createClipPlane(box, SbVec3f(0, 0, 0), SbVec3f(0, 0, 0), 0, red)) << "no normal";
  SoKRN_ModelDisplay* loose = new SoKRN_ModelDisplay;
  loose->ref();
  EXPECT_FALSE(loose->createClipPlane(box, SbVec3f(0, 0, 0), SbVec3f(0, 1, 0), 0, red)) << "outside a document";
  loose->unref();
  std::vector<SoKRN_NodeKit*> clips;
  for (const SbVec3f& normal : {SbVec3f(0, 0, 1), SbVec3f(1, 0.8f, 0.6f)}) {
    SoKRN_NodeKit* kit = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, root, nullptr, 0);
    auto* display = static_cast<SoKRN_ModelDisplay*>(kit->getNodeEnt());
    ASSERT_TRUE(display->createClipPlane(box, SbVec3f(0, 0, 0), normal, 0, red));
    EXPECT_EQ(display->getNumOutlinePoints(), normal[0] == 0 ? 4 : 6);
    clips.push_back(kit);
  }
  ASSERT_EQ(planes->getNumChildren(), 2);
  EXPECT_EQ(doc->getKRNState()->getClipPlane(),
            static_cast<SoKRN_ModelDisplay*>(clips[1]->getNodeEnt())->getClipPlane());
  clips[1]->setVisibility(false, true);
  SoKRN_NodeKit* line = SoKRN_NodeKit::createNode(SoKRN_NodeKit::GROUP, root, nullptr, 0);
  line->featureType = 30000;
  line->setNodeEnt(new SoKRN_BodyKit);
  std::vector<SoKRN_NodeKit*> out;
  CGraphOperation::GetAllClipPlaneKit(root, out);
  EXPECT_EQ(out, clips) << "the view is no clip plane";
  out.clear();
  CGraphOperation::GetAllVisibleClipP(doc, out);
  EXPECT_EQ(out, std::vector<SoKRN_NodeKit*>{clips[0]});
  out.clear();
  CGraphOperation::GetAllClipLineKit(root, out);
  EXPECT_EQ(out, std::vector<SoKRN_NodeKit*>{line});

  CGraphOperation::HeightLightClipPlane(doc, view->getID());
  EXPECT_EQ(doc->getNumSelected(), 0) << "a view is not highlighted as a clip plane";
  CGraphOperation::HeightLightClipLine(doc, line->getID());
  ASSERT_EQ(doc->getNumSelected(), 1);
  auto* selected = static_cast<SoFullPath*>(doc->getPath(0));
  EXPECT_EQ(CGraphOperation::GetClipLineKit(selected), line->getNodeEnt());
  doc->deselectAll(TRUE);

  CGraphOperation::DelClipPlane(doc, 0);
  CGraphOperation::DelClipPlane(doc, clips[0]->getID());
  CGraphOperation::DelClipLine(doc, line->getID());
  EXPECT_EQ(root->getNumChildren(), 2);
  EXPECT_EQ(planes->getNumChildren(), 1) << "only the hidden clip plane still clips";
}

// Zooming keeps the point looked at (a perspective camera of 90 degrees
// fills H0 at H0 / 2: focal distance 2.5 is a zoom of 2 for H0 = 10); an
// orthographic camera looks at the plane through the document's box centre;
// the camera matrix round-trips at seeded random poses.
TEST_F(ClipCameraTest, CameraZoomTargetAndMatrix) {
  CGraphOperation::SetInitCameraHeight(10);
  auto* persp = new SoPerspectiveCamera;
  auto* copy = new SoPerspectiveCamera;
  auto* ortho = new SoOrthographicCamera;
  persp->ref();
  copy->ref();
  ortho->ref();
  persp->heightAngle = float(M_PI / 2);
  persp->position.setValue(1, 2, 3);
  persp->orientation.setValue(SbRotation(SbVec3f(0, 1, 0), 0.7f));
  persp->focalDistance = 2.5f;
  EXPECT_NEAR(CGraphOperation::GetCameraScaleFactor(persp, 0)[0], 2.0f, 1e-5);
  const SbVec3f target = CGraphOperation::GetCameraTargetPnt(persp, doc);
  CGraphOperation::SetCameraScaleFactor(doc, persp, 4);
  EXPECT_NEAR(persp->focalDistance.getValue(), 1.25f, 1e-5);
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraTargetPnt(persp, doc), target)) << "still looks at the same point";

  SoGetBoundingBoxAction box(SbViewportRegion(640, 480));
  box.apply(doc);
  const SbVec3f c = box.getBoundingBox().getCenter();
  ortho->position.setValue(c[0] + 3, c[1] - 2, c[2] + 50);  // looking down -z
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraTargetPnt(ortho, doc), SbVec3f(c[0] + 3, c[1] - 2, c[2])));

  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-1, 1);
  for (int k = 0; k < 20; ++k) {
    persp->position.setValue(10 * u(rng), 10 * u(rng), 10 * u(rng));
    persp->orientation.setValue(SbRotation(SbVec3f(u(rng), u(rng), u(rng) + 2), 3 * u(rng)));
    float m[4][4];
    CGraphOperation::GetCameraMatrix(persp, m);
    CGraphOperation::SetCameraMatrix(copy, m);
    EXPECT_TRUE(VecNear(copy->position.getValue(), persp->position.getValue(), 1e-6f));
    SbVec3f a, b;
    copy->orientation.getValue().multVec(SbVec3f(1, 2, 3), a);
    persp->orientation.getValue().multVec(SbVec3f(1, 2, 3), b);
    EXPECT_TRUE(VecNear(a, b, 1e-5f));
  }
  CGraphOperation::SetInitCameraHeight(0);
  ortho->unref();
  copy->unref();
  persp->unref();
}
