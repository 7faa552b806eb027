// Placement-path resolution, instance-chain keys and path equality on an
// assembly whose sub-assembly prototype is placed twice.
#include <gtest/gtest.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoGroup.h>

#include "HostTestUtil.h"

namespace {

using hosttest::Translation;

// Root: Sub (id 3) and Sub (id 0x1a), each Sub holding Cube (id 0) and
// Cube (id 0xff); plus a Cube placed directly (id 0x10).
struct Assembly : hosttest::DocRef {
  SoKRN_ComponentKit* cube = hosttest::MakeBox(doc, L"Cube", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  SoKRN_ComponentKit* sub = vhost::MakeAssemblyPrototype(doc, L"Sub");
  SoKRN_ComponentKit* cubeInSub0 = vhost::PlaceInstance(doc, sub, cube, Translation(0, 0, 0), L"", 0);
  SoKRN_ComponentKit* cubeInSubFF = vhost::PlaceInstance(doc, sub, cube, Translation(5, 0, 0), L"", 0xff);
  SoKRN_ComponentKit* subA = vhost::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(0, 10, 0), L"SubA", 3);
  SoKRN_ComponentKit* subB = vhost::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(0, 20, 0), L"SubB", 0x1a);
  SoKRN_ComponentKit* direct = vhost::PlaceInstance(doc, doc->getTopPrototype(), cube, Translation(0, 0, 30), L"", 0x10);
};

// A resolved path with the accessors the tests below use.
struct Resolved : hosttest::ResolvedPath {
  SoPath* path;
  Resolved(SoNode* root, const std::string& text) : hosttest::ResolvedPath(root, text), path(get()) {}
  const SoFullPath* full() const { return static_cast<const SoFullPath*>(path); }
};

TEST(StrPathToSoPath, RepeatedPrototypeGivesDistinctPathsToTheSameNode) {
  Assembly a;
  Resolved p1(a.doc, "3|ff"), p2(a.doc, "1a|ff");
  ASSERT_GT(p1.length(), 0);
  ASSERT_GT(p2.length(), 0);
  EXPECT_EQ(p1.tail(), a.cubeInSubFF);
  EXPECT_EQ(p2.tail(), a.cubeInSubFF);
  EXPECT_EQ(p1.full()->getHead(), a.doc);
  EXPECT_FALSE(OmbrelTools::IsPathEqual(p1.path, p2.path));
  EXPECT_EQ(OmbrelTools::InstanceChainKey(p1.path), "3|ff");
  EXPECT_EQ(OmbrelTools::InstanceChainKey(p2.path), "1a|ff");
  // Every step is a real parent-child link (in the kit sense).
  for (const Resolved* r : {&p1, &p2}) {
    for (int i = 1; i < r->length(); ++i) {
      SoChildList* ch = r->full()->getNode(i - 1)->getChildren();
      ASSERT_NE(ch, nullptr);
      EXPECT_EQ((*ch)[r->full()->getIndex(i)], r->full()->getNode(i)) << "step " << i;
    }
  }
}

TEST(StrPathToSoPath, RootsUnresolvableTextsAndLaterChanges) {
  Assembly a;
  Resolved docOnly(a.doc, "");
  ASSERT_EQ(docOnly.length(), 1);
  EXPECT_EQ(docOnly.tail(), a.doc);

  SoKRN_ComponentKit* top = a.doc->getTopPrototype();
  Resolved topOnly(top, "");
  ASSERT_EQ(topOnly.length(), 1);
  EXPECT_EQ(topOnly.tail(), top);

  // From the top prototype: same instance chain as from the document.
  Resolved fromTop(top, "1a|0");
  EXPECT_EQ(fromTop.tail(), a.cubeInSub0);
  EXPECT_EQ(fromTop.full()->getHead(), top);
  EXPECT_EQ(OmbrelTools::InstanceChainKey(fromTop.path), "1a|0");

  // From an instance: its prototype's children are addressed.
  Resolved fromInst(a.subB, "ff");
  EXPECT_EQ(fromInst.tail(), a.cubeInSubFF);
  EXPECT_EQ(OmbrelTools::InstanceChainKey(fromInst.path), "1a|ff");

  // Top-level instance with a one-id path.
  Resolved single(a.doc, "1a");
  EXPECT_EQ(single.tail(), a.subB);

  for (const char* text : {"2", "3|1", "3|ff|0", "10|0", "x", "3||ff", "|3", "3|", "03",
                           "FF", "3|FF", "123456789", "-1", " 3"}) {
    Resolved r(a.doc, text);
    EXPECT_EQ(r.length(), 0) << '"' << text << '"';
  }
  Resolved nullRoot(nullptr, "3");
  EXPECT_EQ(nullRoot.length(), 0);
  Resolved notAKit(a.doc->getTopPrototype()->getBodies(), "");
  EXPECT_EQ(notAKit.length(), 0);

  // Children added or removed after an earlier lookup are seen.
  Resolved before(a.doc, "3|7");
  EXPECT_EQ(before.length(), 0);
  SoKRN_ComponentKit* added = vhost::PlaceInstance(a.doc, a.sub, a.cube, SbMatrix::identity(), L"", 7);
  Resolved after(a.doc, "3|7");
  EXPECT_EQ(after.tail(), added);
  ASSERT_TRUE(a.sub->removeInsChildViaPLCID(0xff));
  Resolved removed(a.doc, "3|ff");
  EXPECT_EQ(removed.length(), 0);
}

TEST(PathTools, InstanceChainKeyEqualityAndSearchBelowAnInstance) {
  Assembly a;
  EXPECT_EQ(OmbrelTools::InstanceChainKey(nullptr), "");
  Resolved docOnly(a.doc, "");
  EXPECT_EQ(OmbrelTools::InstanceChainKey(docOnly.path), "");
  Resolved direct(a.doc, "10");
  EXPECT_EQ(OmbrelTools::InstanceChainKey(direct.path), "10");

  // Extending a path below an instance to its prototype and bodies keeps
  // the chain; a copy is equal node for node.
  Resolved p(a.doc, "3|0");
  SoPath* longer = p.path->copy();
  longer->ref();
  ASSERT_TRUE(a.cubeInSub0->appendPrototypeToPath(*longer));
  EXPECT_EQ(OmbrelTools::InstanceChainKey(longer), "3|0");
  EXPECT_FALSE(OmbrelTools::IsPathEqual(longer, p.path));
  SoPath* same = p.path->copy();
  same->ref();
  EXPECT_TRUE(OmbrelTools::IsPathEqual(same, p.path));
  EXPECT_TRUE(OmbrelTools::IsPathEqual(nullptr, nullptr));
  EXPECT_FALSE(OmbrelTools::IsPathEqual(p.path, nullptr));
  same->unref();
  longer->unref();

  // The library expands an instance into its children with a search action
  // started at the instance; that needs searching inside kits.
  SoSearchAction sa;
  sa.setNode(a.cubeInSubFF);
  sa.setType(SoKRN_ComponentKit::getClassTypeId(), TRUE);
  sa.setInterest(SoSearchAction::FIRST);
  sa.apply(a.subA);
  ASSERT_NE(sa.getPath(), nullptr);
  const auto* found = static_cast<const SoFullPath*>(sa.getPath());
  EXPECT_EQ(found->getHead(), a.subA);
  EXPECT_EQ(found->getTail(), a.cubeInSubFF);
  EXPECT_EQ(OmbrelTools::InstanceChainKey(found), "3|ff");
}

}  // namespace
