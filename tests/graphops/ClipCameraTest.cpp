// Temporary points, clip planes (scene and saved), and the camera: zoom,
// matrix round trip and target point.
#include <random>
#include <vector>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include "support/TestAssembly.h"
#include "host/SoKRN_BodyKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/TpxProductData.h"

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
  auto* first = new SoClipPlane;
  first->setName("First");
  auto* second = new SoClipPlane;
  second->setName("Second");
  planes->addChild(first);
  planes->addChild(second);
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
  EXPECT_EQ(doc->getKRNState()->getClipPlane(), static_cast<SoKRN_ModelDisplay*>(clips[1]->getNodeEnt())->getClipPlane());
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

TEST(CameraOperations, ScaleFactorMatrixAndTarget) {
  auto* ortho = new SoOrthographicCamera;
  auto* persp = new SoPerspectiveCamera;
  ortho->ref();
  persp->ref();
  CGraphOperation::SetInitCameraHeight(0);
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraScaleFactor(persp, 2), SbVec3f(0, 0, 0)));

  CGraphOperation::SetInitCameraHeight(10);
  ortho->height = 2;
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraScaleFactor(ortho, 2), SbVec3f(5, 20, 10)));
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraScaleFactor(ortho, 0), SbVec3f(5, 10, 10)));
  ortho->height = 7;
  CGraphOperation::SetCameraScaleFactor(nullptr, ortho, 5);
  EXPECT_FLOAT_EQ(ortho->height.getValue(), 2);

  // 90 degrees: H0 fills the view at 5; focal distance 2.5 is a zoom of 2.
  hosttest::DocRef d;
  persp->heightAngle = float(M_PI / 2);
  persp->position.setValue(1, 2, 3);
  persp->orientation.setValue(SbRotation(SbVec3f(0, 1, 0), 0.7f));
  persp->focalDistance = 2.5f;
  EXPECT_NEAR(CGraphOperation::GetCameraScaleFactor(persp, 0)[0], 2.0f, 1e-5);
  const SbVec3f target = CGraphOperation::GetCameraTargetPnt(persp, d.doc);
  CGraphOperation::SetCameraScaleFactor(d.doc, persp, 4);
  EXPECT_NEAR(persp->focalDistance.getValue(), 1.25f, 1e-5);
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraTargetPnt(persp, d.doc), target)) << "still looks at the same point";
  EXPECT_NEAR(CGraphOperation::GetCameraScaleFactor(persp, 0)[0], 4.0f, 1e-4);

  // Matrix round trip at seeded random poses: same position, same rotation.
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-1, 1);
  auto* copy = new SoPerspectiveCamera;
  copy->ref();
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
  copy->unref();
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraTargetPnt(nullptr, d.doc), SbVec3f(0, 0, 0)));
  CGraphOperation::SetInitCameraHeight(0);
  ortho->unref();
  persp->unref();
}

// Also: an orthographic camera looks at the plane through the document's
// box centre facing it.
TEST_F(ClipCameraTest, ClipPlaneRelationsAddedListedAndRemovedAndOrthographicTarget) {
  SoGetBoundingBoxAction box(SbViewportRegion(640, 480));
  box.apply(doc);
  const SbVec3f c = box.getBoundingBox().getCenter();
  auto* ortho = new SoOrthographicCamera;
  ortho->ref();
  ortho->position.setValue(c[0] + 3, c[1] - 2, c[2] + 50);  // looking down -z
  EXPECT_TRUE(VecNear(CGraphOperation::GetCameraTargetPnt(ortho, doc), SbVec3f(c[0] + 3, c[1] - 2, c[2])));
  ortho->unref();

  CGraphOperation::SetActiveMainDocKit(doc);
  auto* proto = dynamic_cast<Tpx_ProtoType*>(top->getTpxObjCache());
  SoKRN_NodeKit* root = top->getRootNode();
  auto clipPlane = [&]() {
    SoKRN_NodeKit* kit = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, root, nullptr, 0);
    auto* display = static_cast<SoKRN_ModelDisplay*>(kit->getNodeEnt());
    display->createClipPlane(SbBox3f(-1, -1, -1, 1, 1, 1), SbVec3f(0, 0, 0), SbVec3f(0, 0, 1), 0,
                             TPX_RGBA32{1, 0, 0, 0.5f});
    auto* view = new Tpx_View(proto);
    view->RegisterID(0);
    display->setTpxObjCache(view);
    return kit;
  };
  SoKRN_NodeKit* a = clipPlane();
  SoKRN_NodeKit* b = clipPlane();
  SoKRN_NodeKit* line = SoKRN_NodeKit::createNode(SoKRN_NodeKit::GROUP, root, nullptr, 0);
  line->featureType = 30000;
  line->setNodeEnt(new SoKRN_BodyKit);
  auto* lineData = new Tpx_View(proto);
  lineData->RegisterID(0);
  line->getNodeEnt()->setTpxObjCache(lineData);
  SoKRN_NodeKit* bare = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, root, nullptr, 0);

  auto* plane = static_cast<SoKRN_ModelDisplay*>(a->getNodeEnt());
  auto* view = static_cast<Tpx_View*>(plane->getTpxObjCache());
  std::vector<SoKRN_NodeKit*> others = {b, bare};
  CGraphOperation::AddClipPlaneRelation(plane, others);
  std::vector<SoKRN_NodeKit*> lines = {line};
  CGraphOperation::AddClipLineRelation(plane, lines);
  ASSERT_EQ(a->getNumNodeConnector(), 2) << "the kit without product data is skipped";
  ASSERT_EQ(view->GetNumNodeConnector(), 2);
  EXPECT_EQ(view->GetNodeConnector(0)->GetLinkNode(), b->getNodeEnt()->getTpxObjCache()->GetID());
  EXPECT_EQ(view->GetNodeConnector(1)->GetLinkedType(), 4001);

  // Instances related to visible clip planes, each once.
  a->createNodeConnector(0, SoKRN_ComponentKit::getClassTypeId(), "PATH|0|3");
  b->createNodeConnector(0, SoKRN_ComponentKit::getClassTypeId(), "PATH|0|3");
  b->createNodeConnector(0, SoKRN_ComponentKit::getClassTypeId(), "PATH|0|ff");
  std::vector<std::string> related;
  CGraphOperation::GetVisClipPlanesRelation(related);
  CGraphOperation::GetVisClipPlanesRelation(related);
  EXPECT_EQ(related, (std::vector<std::string>{"PATH|0|3", "PATH|0|ff"}));
  b->setVisibility(false, true);
  related.clear();
  CGraphOperation::GetVisClipPlanesRelation(related);
  EXPECT_EQ(related, std::vector<std::string>{"PATH|0|3"});

  // The clip line counts only where the active component holds it.
  doc->setActiveComp(sub);
  CGraphOperation::DelClipPlaneRelation(plane);
  EXPECT_EQ(a->getNumNodeConnector(), 2) << "instance and clip-line relations stay";
  EXPECT_EQ(view->GetNumNodeConnector(), 1);
  doc->setActiveComp(nullptr);
  CGraphOperation::DelClipPlaneRelation(plane);
  EXPECT_EQ(a->getNumNodeConnector(), 1);
  EXPECT_EQ(view->GetNumNodeConnector(), 0);
}
