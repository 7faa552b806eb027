// Traversal rules of the document kits: where user matrices apply (and in
// which order), and what per-path visibility hides.
#include <gtest/gtest.h>

#include <Inventor/SoPickedPoint.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoGetMatrixAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/actions/SoSearchAction.h>

#include "host/SoKRN_GetMatrixAction.h"
#include "host/SoKRN_State.h"
#include "support/HostTestUtil.h"

namespace {

using hosttest::ResolvedPath;
using hosttest::Translation;

const SbViewportRegion kViewport(100, 100);

// Unit box B placed at (10, 0, 0) as instance 0 of sub-assembly S; S placed
// twice under the root: instance 1 at (0, 100, 0), instance 2 at (0, 200, 0).
struct TwoOccurrences : hosttest::DocRef {
  SoKRN_State* state = doc->getKRNState();
  TwoOccurrences() {
    SoKRN_ComponentKit* box = hosttest::MakeBox(doc, L"B", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
    SoKRN_ComponentKit* sub = vx::host::MakeAssemblyPrototype(doc, L"S");
    vx::host::PlaceInstance(doc, sub, box, Translation(10, 0, 0), L"", 0);
    vx::host::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(0, 100, 0), L"", 1);
    vx::host::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(0, 200, 0), L"", 2);
  }

  // p mapped by the matrix action (ours, with or without user matrices, or
  // Coin's plain one) applied to the path.
  SbVec3f global(const std::string& path, const SbVec3f& p, bool withUser, bool plain = false) {
    SoKRN_GetMatrixAction ours(kViewport);
    SoGetMatrixAction coin(kViewport);
    ours.setWithUserMatrixFlg(withUser);
    SoGetMatrixAction& action = plain ? coin : ours;
    ResolvedPath rp(doc, path);
    EXPECT_GT(rp.length(), 0) << path;
    action.apply(rp.get());
    SbVec3f q;
    action.getMatrix().multVecMatrix(p, q);
    return q;
  }
  void setUser(const std::string& path, const SbMatrix& m) {
    ResolvedPath rp(doc, path);
    state->setUserMatrix(rp.get(), m, TRUE);
  }
  void setVisible(const std::string& path, int visible) {
    ResolvedPath rp(doc, path);
    state->setDocEleVisible(rp.get(), visible, TRUE);
  }
  SbBox3f bbox() {
    SoGetBoundingBoxAction bb(kViewport);
    bb.apply(doc);
    return bb.getBoundingBox();
  }
  // World corners of every triangle the callback action generates.
  std::vector<SbVec3f> triangles() {
    vxtest::PathHolder root(vxtest::RootPath(doc));
    const std::vector<float> w = vxtest::WorldTriangles(root.get());
    std::vector<SbVec3f> corners;
    for (std::size_t i = 0; i + 2 < w.size(); i += 3) corners.emplace_back(&w[i]);
    return corners;
  }
  // Chain key of what a vertical ray through (x, y) hits first, or "none".
  std::string pickDown(float x, float y) {
    SoRayPickAction pick(kViewport);
    pick.setRay(SbVec3f(x, y, 500), SbVec3f(0, 0, -1), 0, 1000);
    pick.apply(doc);
    const SoPickedPoint* pp = pick.getPickedPoint();
    return pp ? OmbrelTools::InstanceChainKey(pp->getPath()) : std::string("none");
  }
};

void ExpectVec(const SbVec3f& a, const SbVec3f& b) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], 1e-4) << i;
}

// A user matrix acts in the instance's own frame (U x B: a quarter turn
// about z turns the point first, then the placement moves it), only for our
// matrix action when asked, on one occurrence and its whole sub-tree; the
// bounding box (separators may cache it) and picking follow it.
TEST(UserMatrix, ComposesBeforePlacementOnOneOccurrenceAndBoxAndPicksFollow) {
  TwoOccurrences t;
  const SbVec3f p(1, 0, 0);
  EXPECT_NEAR(t.bbox().getMax()[2], 1, 1e-5);
  SbMatrix quarter;
  quarter.setRotate(SbRotation(SbVec3f(0, 0, 1), float(M_PI / 2)));
  t.setUser("1|0", quarter);
  ExpectVec(t.global("1|0", p, true), SbVec3f(10, 101, 0));
  ExpectVec(t.global("1|0", p, false), SbVec3f(11, 100, 0));
  ExpectVec(t.global("1|0", p, true, true), SbVec3f(11, 100, 0));  // a plain matrix action never sees them
  ExpectVec(t.global("2|0", p, true), SbVec3f(11, 200, 0));
  t.setUser("1", Translation(0, 0, 7));
  ExpectVec(t.global("1|0", p, true), SbVec3f(10, 101, 7));

  EXPECT_EQ(t.pickDown(10.5f, 200.5f), "2|0");
  t.setUser("2|0", Translation(5, 0, 50));
  EXPECT_NEAR(t.bbox().getMax()[2], 51, 1e-5);
  EXPECT_EQ(t.pickDown(10.5f, 200.5f), "none");
  EXPECT_EQ(t.pickDown(15.5f, 200.5f), "2|0");
  ResolvedPath rp(t.doc, "2|0");
  t.state->removeUserMat(rp.get(), TRUE);
  EXPECT_NEAR(t.bbox().getMax()[2], 8, 1e-5) << "only the parent's lift is left";
  EXPECT_EQ(t.pickDown(10.5f, 200.5f), "2|0");
}

// Hidden occurrences are not picked, but bounding box, callback and search
// actions still see them; hiding a parent or the root hides everything below.
TEST(Visibility, HidingAffectsPickingOnly) {
  TwoOccurrences t;
  t.setVisible("1", 0);
  EXPECT_EQ(t.pickDown(10.5f, 100.5f), "none");
  EXPECT_EQ(t.pickDown(10.5f, 200.5f), "2|0");
  t.setVisible("1", 1);
  EXPECT_EQ(t.pickDown(10.5f, 100.5f), "1|0");
  ResolvedPath root(t.doc->getTopPrototype(), "");  // the top prototype's own path: the empty chain
  t.state->setDocEleVisible(root.get(), 0, TRUE);
  EXPECT_EQ(t.pickDown(10.5f, 200.5f), "none");
  t.state->setDocEleVisible(root.get(), -1, TRUE);
  EXPECT_EQ(t.pickDown(10.5f, 200.5f), "2|0");

  const SbBox3f boxBefore = t.bbox();
  t.setVisible("1|0", 0);
  EXPECT_TRUE(t.state->hasHiddenPaths());
  EXPECT_EQ(t.pickDown(10.5f, 100.5f), "none");
  EXPECT_EQ(t.pickDown(10.5f, 200.5f), "2|0");
  EXPECT_EQ(t.bbox().getMin(), boxBefore.getMin());
  EXPECT_EQ(t.bbox().getMax(), boxBefore.getMax());
  EXPECT_EQ(t.triangles().size(), 2u * 12u * 3u);
  ResolvedPath hidden(t.doc, "1|0");
  SoSearchAction sa;
  sa.setNode(hidden.tail());
  sa.setInterest(SoSearchAction::ALL);
  sa.apply(t.doc);
  EXPECT_EQ(sa.getPaths().getLength(), 2);
  t.setVisible("1|0", -1);
  EXPECT_FALSE(t.state->hasHiddenPaths());
  EXPECT_EQ(t.pickDown(10.5f, 100.5f), "1|0");
  // Shown again under a visible parent, the child follows the parent again.
  t.setVisible("1", 0);
  EXPECT_EQ(t.pickDown(10.5f, 100.5f), "none");
  // Under a hidden parent, showing the child shows it alone.
  t.setVisible("1|0", -1);
  EXPECT_EQ(t.pickDown(10.5f, 100.5f), "1|0");
}

}  // namespace
