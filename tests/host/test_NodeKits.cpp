// The node-kit tree with its entities, the product data behind a saved view,
// and a clip-plane display clipping its document.
#include <gtest/gtest.h>

#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoGroup.h>

#include <memory>

#include "HostTestUtil.h"
#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/TpxProductData.h"

namespace {

using hosttest::DocRef;

TEST(NodeKits, AViewLivesWhileItsPrototypeOrItsNodeKitHoldsIt) {
  DocRef d;
  SoKRN_ComponentKit* top = d.doc->getTopPrototype();
  auto* proto = dynamic_cast<Tpx_ProtoType*>(top->getTpxObjCache());
  ASSERT_NE(proto, nullptr) << "a prototype has its product data";
  EXPECT_EQ(top->getTpxObjCache(), proto) << "made once";
  SoKRN_NodeKit* root = top->getRootNode();

  auto* view = new Tpx_View(proto);
  proto->AddView(view);
  view->RegisterID(0);
  auto* other = new Tpx_View(proto);
  proto->AddView(other);
  other->RegisterID(0);
  EXPECT_NE(view->GetID(), other->GetID());
  const std::weak_ptr<Tpx_Object> alive = view->weak_from_this();

  SoKRN_NodeKit* kit = SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, root, view->GetNode(), 10027);
  ASSERT_NE(kit, nullptr);
  EXPECT_EQ(kit->getID(), view->GetID());
  EXPECT_EQ(root->getChild(root->getNumChildren() - 1), kit);
  auto* display = dynamic_cast<SoKRN_ModelDisplay*>(kit->getNodeEnt());
  ASSERT_NE(display, nullptr);
  EXPECT_EQ(display->getTpxObjCache(), view);
  EXPECT_EQ(display->getKRNState(), d.doc->getKRNState());

  // Deleted from the prototype, the view stays while the display holds it.
  const uint32_t viewId = view->GetID();
  EXPECT_EQ(proto->DeleteView(viewId), TPX_OK);
  EXPECT_EQ(proto->FindView(viewId), nullptr);
  EXPECT_EQ(proto->GetNumViews(), 1);
  ASSERT_FALSE(alive.expired());
  display->DelTpxObj();
  EXPECT_TRUE(alive.expired());
  EXPECT_EQ(proto->DeleteView(viewId), TPX_NOT_FOUND);

  // An id already used under the parent is not given twice.
  SoKRN_NodeKit* second = SoKRN_NodeKit::createNode(SoKRN_NodeKit::ANNOTATION, root, nullptr, 0);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second->getID(), kit->getID());
  EXPECT_TRUE(second->getNodeEnt()->isOfType(SoKRN_FdtKit::getClassTypeId()));
  EXPECT_EQ(SoKRN_NodeKit::createNode(SoKRN_NodeKit::GROUP, root, nullptr, 0)->getNodeEnt(), nullptr);
  EXPECT_EQ(SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, nullptr, nullptr, 0), nullptr);
}

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
