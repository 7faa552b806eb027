// Placement-path resolution, instance-chain keys and path equality on an
// assembly whose sub-assembly prototype is placed twice.
#include <gtest/gtest.h>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/misc/SoChildList.h>
#include <Inventor/nodes/SoGroup.h>

#include "HostTestUtil.h"

namespace {

using hosttest::ResolvedPath;
using hosttest::Translation;

// Root: Sub (id 3) and Sub (id 0x1a), each Sub holding Cube (id 0) and
// Cube (id 0xff); plus a Cube placed directly (id 0x10).
struct Assembly : hosttest::DocRef {
  SoKRN_ComponentKit* cube = hosttest::MakeBox(doc, L"Cube", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  SoKRN_ComponentKit* sub = vhost::MakeAssemblyPrototype(doc, L"Sub");
  SoKRN_ComponentKit* cubeInSub0 = vhost::PlaceInstance(doc, sub, cube, Translation(0, 0, 0), L"", 0);
  SoKRN_ComponentKit* cubeInSubFF = vhost::PlaceInstance(doc, sub, cube, Translation(5, 0, 0), L"", 0xff);
  SoKRN_ComponentKit* subA = vhost::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(0, 10, 0), L"", 3);
  SoKRN_ComponentKit* subB = vhost::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(0, 20, 0), L"", 0x1a);
  SoKRN_ComponentKit* direct = vhost::PlaceInstance(doc, doc->getTopPrototype(), cube, Translation(0, 0, 30), L"", 0x10);
};

const SoFullPath* Full(const ResolvedPath& r) { return static_cast<const SoFullPath*>(r.get()); }

TEST(StrPathToSoPath, RepeatedPrototypeGivesDistinctPathsToTheSameNode) {
  Assembly a;
  ResolvedPath p1(a.doc, "3|ff"), p2(a.doc, "1a|ff");
  EXPECT_EQ(p1.tail(), a.cubeInSubFF);
  EXPECT_EQ(p2.tail(), a.cubeInSubFF);
  EXPECT_EQ(Full(p1)->getHead(), a.doc);
  EXPECT_FALSE(OmbrelTools::IsPathEqual(p1.get(), p2.get()));
  EXPECT_EQ(OmbrelTools::InstanceChainKey(p1.get()), "3|ff");
  EXPECT_EQ(OmbrelTools::InstanceChainKey(p2.get()), "1a|ff");
  // Every step is a real parent-child link (in the kit sense).
  for (const ResolvedPath* r : {&p1, &p2}) {
    for (int i = 1; i < r->length(); ++i) {
      SoChildList* ch = Full(*r)->getNode(i - 1)->getChildren();
      ASSERT_NE(ch, nullptr);
      EXPECT_EQ((*ch)[Full(*r)->getIndex(i)], Full(*r)->getNode(i)) << "step " << i;
    }
  }
}

TEST(StrPathToSoPath, RootsUnresolvableTextsAndLaterChanges) {
  Assembly a;
  SoKRN_ComponentKit* top = a.doc->getTopPrototype();
  for (SoNode* root : {static_cast<SoNode*>(a.doc), static_cast<SoNode*>(top)}) {
    ResolvedPath only(root, "");
    ASSERT_EQ(only.length(), 1);
    EXPECT_EQ(only.tail(), root);
  }
  // From the top prototype: same instance chain as from the document.
  ResolvedPath fromTop(top, "1a|0");
  EXPECT_EQ(fromTop.tail(), a.cubeInSub0);
  EXPECT_EQ(OmbrelTools::InstanceChainKey(fromTop.get()), "1a|0");
  // From an instance: its prototype's children are addressed.
  ResolvedPath fromInst(a.subB, "ff");
  EXPECT_EQ(fromInst.tail(), a.cubeInSubFF);
  EXPECT_EQ(OmbrelTools::InstanceChainKey(fromInst.get()), "1a|ff");
  EXPECT_EQ(ResolvedPath(a.doc, "1a").tail(), a.subB);

  // Ids are lower-case hex without padding; no empty steps, no blanks.
  for (const char* text : {"2", "3|1", "3|ff|0", "10|0", "x", "3||ff", "|3", "3|", "03", "FF", "-1", " 3"})
    EXPECT_EQ(ResolvedPath(a.doc, text).length(), 0) << '"' << text << '"';
  EXPECT_EQ(ResolvedPath(nullptr, "3").length(), 0);
  EXPECT_EQ(ResolvedPath(top->getBodies(), "").length(), 0);  // not a kit

  // Children added or removed after an earlier lookup are seen.
  EXPECT_EQ(ResolvedPath(a.doc, "3|7").length(), 0);
  SoKRN_ComponentKit* added = vhost::PlaceInstance(a.doc, a.sub, a.cube, SbMatrix::identity(), L"", 7);
  EXPECT_EQ(ResolvedPath(a.doc, "3|7").tail(), added);
  ASSERT_TRUE(a.sub->removeInsChildViaPLCID(0xff));
  EXPECT_EQ(ResolvedPath(a.doc, "3|ff").length(), 0);
}

TEST(PathTools, InstanceChainKeyEqualityAndSearchBelowAnInstance) {
  Assembly a;
  EXPECT_EQ(OmbrelTools::InstanceChainKey(nullptr), "");
  EXPECT_EQ(OmbrelTools::InstanceChainKey(ResolvedPath(a.doc, "").get()), "");
  EXPECT_EQ(OmbrelTools::InstanceChainKey(ResolvedPath(a.doc, "10").get()), "10");

  // Extending a path below an instance to its prototype and bodies keeps
  // the chain; a copy is equal node for node.
  ResolvedPath p(a.doc, "3|0");
  SoPath* longer = p.get()->copy();
  longer->ref();
  ASSERT_TRUE(a.cubeInSub0->appendPrototypeToPath(*longer));
  EXPECT_EQ(OmbrelTools::InstanceChainKey(longer), "3|0");
  EXPECT_FALSE(OmbrelTools::IsPathEqual(longer, p.get()));
  SoPath* same = p.get()->copy();
  same->ref();
  EXPECT_TRUE(OmbrelTools::IsPathEqual(same, p.get()));
  EXPECT_TRUE(OmbrelTools::IsPathEqual(nullptr, nullptr));
  EXPECT_FALSE(OmbrelTools::IsPathEqual(p.get(), nullptr));
  same->unref();
  longer->unref();

  // The library expands an instance with a search action started at the
  // instance; that needs searching inside kits.
  SoSearchAction sa;
  sa.setNode(a.cubeInSubFF);
  sa.setInterest(SoSearchAction::FIRST);
  sa.apply(a.subA);
  ASSERT_NE(sa.getPath(), nullptr);
  EXPECT_EQ(static_cast<const SoFullPath*>(sa.getPath())->getTail(), a.cubeInSubFF);
  EXPECT_EQ(OmbrelTools::InstanceChainKey(sa.getPath()), "3|ff");
}

}  // namespace
