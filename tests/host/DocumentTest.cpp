// Document kits: type registration, selection, temporary children, names,
// placements and the state's lifetime.
#include <gtest/gtest.h>

#include <Inventor/actions/SoGetMatrixAction.h>
#include <Inventor/nodes/SoSelection.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>
#include <Inventor/sensors/SoNodeSensor.h>

#include "host/SoKRN_State.h"
#include "support/HostTestUtil.h"

namespace {

using hosttest::DocRef;
using hosttest::ResolvedPath;
using hosttest::Translation;

// A type missing here makes every file holding it unreadable.
TEST(HostTypes, EveryTypeIsCreatableByNameAndDerivesFromItsParent) {
  const std::pair<const char*, const char*> kits[] = {
      {"SoKRN_BaseKit", "BaseKit"},
      {"SoKRN_DocElementKit", "SoKRN_BaseKit"},
      {"SoKRN_ComponentKit", "SoKRN_DocElementKit"},
      {"SoKRN_NodeKit", "SoKRN_BaseKit"},
      {"SoKRN_InfoKit", "SoKRN_BaseKit"},
      {"SoKRN_MainDoc", "SoKRN_BaseKit"},
      {"SoKRN_EdgeKit", "SoKRN_BaseKit"},
      {"SoKRN_FdtKit", "SoKRN_BaseKit"},
      {"SoKRN_2dEntityKit", "SoKRN_BaseKit"},
      {"SoKRN_WireSet", "SoKRN_BaseKit"},
      {"SoKRN_ShellKit", "SoKRN_BaseKit"},
      {"SoKRN_TextKit", "SoKRN_BaseKit"},
      {"SoKRN_ClipLineKit", "SoKRN_BaseKit"},
      {"SoKRN_MeshFaceKit", "SoKRN_BaseKit"},
      {"SoKRN_MeshKit", "SoKRN_BaseKit"},
      {"SoKRN_ModelDisplay", "SoKRN_BaseKit"},
      {"SoBrepFaceSet", "IndexedFaceSet"},
      {"SoKRN_UserTransform", "Node"},
  };
  for (const auto& [name, parent] : kits) {
    const SoType type = SoType::fromName(name);
    EXPECT_EQ(type.getParent(), SoType::fromName(parent)) << name;
    ASSERT_TRUE(!type.isBad() && type.canCreateInstance()) << name;
    auto* node = static_cast<SoNode*>(type.createInstance());
    node->ref();
    EXPECT_EQ(node->getTypeId(), type);
    node->unref();
  }
  EXPECT_TRUE(SoType::fromName("SoKRN_GetMatrixAction").isDerivedFrom(SoGetMatrixAction::getClassTypeId()));
}

TEST(Document, SelectionAndTemporaryChildrenHoldReferences) {
  DocRef d;
  SoKRN_MainDoc* doc = d.doc;
  SoKRN_ComponentKit* box = hosttest::MakeBox(doc, L"B", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  vx::host::PlaceInstance(doc, doc->getTopPrototype(), box, SbMatrix::identity(), L"", 1);
  vx::host::PlaceInstance(doc, doc->getTopPrototype(), box, SbMatrix::identity(), L"", 2);
  SoPath* p1 = new SoPath(8);
  SoPath* p2 = new SoPath(8);
  OmbrelTools::StrPathToSoPath(doc, "1", *p1);
  OmbrelTools::StrPathToSoPath(doc, "2", *p2);
  doc->select(p1);  // the document holds the only reference now
  doc->select(p2);
  doc->select(nullptr);  // ignored
  EXPECT_EQ(p1->getRefCount(), 1);
  ASSERT_EQ(doc->getNumSelected(), 2);
  EXPECT_EQ(doc->getPath(1), p2);  // newest last
  SoPath* copy = p2->copy();       // deselect by an equal path, then by tail node
  copy->ref();
  doc->deselect(copy);
  copy->unref();
  ASSERT_EQ(doc->getNumSelected(), 1);
  EXPECT_EQ(doc->getPath(0), p1);
  doc->deselect(static_cast<SoFullPath*>(p1)->getTail());
  EXPECT_EQ(doc->getNumSelected(), 0);
  doc->select(new SoPath(doc));
  doc->deselectAll(TRUE);
  EXPECT_EQ(doc->getPath(0), nullptr);

  auto* a = new SoSeparator;
  auto* b = new SoSeparator;
  a->ref();
  doc->addTmpChild(a);
  doc->addTmpChild(b);
  EXPECT_EQ(a->getRefCount(), 2);
  EXPECT_EQ(doc->getTmpChildByIndex(2), nullptr);
  doc->removeTempChild(a);
  doc->removeTempChild(a);  // not there: nothing happens
  EXPECT_EQ(a->getRefCount(), 1);
  ASSERT_EQ(doc->getNumTempChildren(), 1);
  EXPECT_EQ(doc->getTmpChildByIndex(0), b);
  a->unref();
}

TEST(DocumentState, NotificationPickDataAndLifetime) {
  auto* d = new DocRef;
  SoKRN_MainDoc* doc = d->doc;
  SoKRN_State* state = doc->getKRNState();
  // Observers of the document hear about changes made with notify on only.
  int notified = 0;
  SoNodeSensor sensor([](void* data, SoSensor*) { ++*static_cast<int*>(data); }, &notified);
  sensor.setPriority(0);  // immediate
  sensor.attach(doc);
  {
    ResolvedPath root(doc, "");
    state->setUserMatrix(root.get(), Translation(1, 0, 0), TRUE);
    EXPECT_GT(notified, 0);
    const int before = notified;
    state->setUserMatrix(root.get(), Translation(2, 0, 0), FALSE);
    EXPECT_EQ(notified, before);
  }
  sensor.detach();

  // Pick data holds one reference to its path until cleared.
  auto* path = new SoPath(doc);
  path->ref();
  PICKDATA pd;
  pd.path = path;
  state->setPickData(pd);
  state->setPickData(pd);  // the same path again keeps one reference
  EXPECT_EQ(path->getRefCount(), 2);
  state->clearPickData();
  EXPECT_EQ(path->getRefCount(), 1);
  EXPECT_FALSE(state->hasPickData());
  path->unref();

  // Kits outliving the document forget its state.
  SoKRN_ComponentKit* box = hosttest::MakeBox(doc, L"B", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  SoKRN_ComponentKit* inst = vx::host::PlaceInstance(doc, doc->getTopPrototype(), box, SbMatrix::identity());
  inst->ref();
  EXPECT_EQ(inst->getKRNState(), state);
  delete d;
  EXPECT_EQ(inst->getKRNState(), nullptr);
  EXPECT_EQ(box->getKRNState(), nullptr);
  inst->unref();
}

TEST(ComponentKit, PlacementsChildrenAndIds) {
  DocRef d;
  SoKRN_MainDoc* doc = d.doc;
  SoKRN_ComponentKit* box = hosttest::MakeBox(doc, L"B", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  // Stored as translation, rotation and scale; rendering agrees with the
  // three fields (no stray scale orientation).
  const SbMatrix m = hosttest::Placement(SbVec3f(1, 2, 3), SbRotation(SbVec3f(1, 2, 3), 0.7f), 2.5f);
  vx::host::PlaceInstance(doc, doc->getTopPrototype(), box, m, L"", 0);
  ResolvedPath p(doc, "0");
  SoTransform* t = static_cast<SoKRN_ComponentKit*>(p.tail())->getTrans(false);
  ASSERT_NE(t, nullptr);
  SbMatrix back;
  back.setTransform(t->translation.getValue(), t->rotation.getValue(), t->scaleFactor.getValue());
  EXPECT_TRUE(back.equals(m, 1e-5f));
  SoGetMatrixAction ma(SbViewportRegion(10, 10));
  ma.apply(p.get());
  EXPECT_TRUE(ma.getMatrix().equals(m, 1e-5f));

  SoKRN_ComponentKit* sub = vx::host::MakeAssemblyPrototype(doc, L"S");
  vx::host::PlaceInstance(doc, sub, box, SbMatrix::identity(), L"", 5);
  SoKRN_ComponentKit* fresh = vx::host::PlaceInstance(doc, sub, box, SbMatrix::identity());
  EXPECT_EQ(fresh->getPLCID(), 6u);
  // A used id and a cycle are refused.
  EXPECT_EQ(vx::host::PlaceInstance(doc, sub, box, SbMatrix::identity(), L"", 5), nullptr);
  SoKRN_ComponentKit* inS = vx::host::PlaceInstance(doc, doc->getTopPrototype(), sub, SbMatrix::identity());
  ASSERT_NE(inS, nullptr);
  EXPECT_EQ(vx::host::PlaceInstance(doc, sub, sub, SbMatrix::identity()), nullptr);
  EXPECT_EQ(vx::host::PlaceInstance(doc, sub, doc->getTopPrototype(), SbMatrix::identity()), nullptr);
  // An instance reports its prototype's children.
  EXPECT_EQ(inS->getNumEleChildren(), 2);
  EXPECT_EQ(inS->findEleChildByPLCID(6), fresh);
  EXPECT_TRUE(sub->removeInsChildViaPLCID(5));
  EXPECT_FALSE(sub->removeInsChildViaPLCID(5));
  EXPECT_EQ(inS->getNumEleChildren(), 1);
}

TEST(DocumentBuilder, BadMeshesAreRefused) {
  DocRef d;
  EXPECT_EQ(vx::host::MakePartPrototype(d.doc, L"bad", {0, 0, 0}, {0, 0, 1}), nullptr);
  EXPECT_EQ(vx::host::MakePartPrototype(d.doc, L"bad", {0, 0}, {}), nullptr);
  EXPECT_EQ(vx::host::CountTriangles(nullptr), 0);
}

}  // namespace
