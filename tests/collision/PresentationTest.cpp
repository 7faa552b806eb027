// Showing results: the cursor, the display separators, visibility and its
// restoration, result boxes and the clip plane.
#include <gtest/gtest.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>

#include <functional>
#include <memory>
#include <set>

#include "collision/CCollisionManager.h"
#include "collision/CollisionTestUtil.h"
#include "host/DocumentBuilder.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ClipLineKit.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_State.h"
#include "host/TpxProductData.h"
#include "support/HostTestUtil.h"

using namespace vxtest;

namespace {

int CountNamed(SoSeparator* root, const char* name) {
  int n = 0;
  for (int i = 0; i < root->getNumChildren(); ++i) n += root->getChild(i)->getName() == SbName(name) ? 1 : 0;
  return n;
}

// A check of the first `n` instances of `a` with cut faces, keeping results
// without volume, at `tolerance` (negative: the default).
CCollisionManager* RunCheck(FlatAssembly& a, int n, float tolerance = -1) {
  SoPathList paths;
  a.Paths(0, n, paths);
  auto* m = new CCollisionManager(a.doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  m->m_bCalcCrossMesh = 1;
  m->m_nCalcType = 1;
  if (tolerance >= 0) m->m_fTolerance = tolerance;
  RunAndWait(*m);
  return m;
}

// Three overlapping pairs of unit boxes (A-B, C-D, E-F), far apart from each other.
class Presentation : public ::testing::Test {
protected:
  void SetUp() override {
    a.reset(NewFlatAssembly({Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1))}));
    for (int k = 0; k < 3; ++k) {
      a->Place(0, SbVec3f(10.0f * k, 0, 0));
      a->Place(0, SbVec3f(10.0f * k + 0.5f, 0.25f, 0.25f));
    }
    // Instance 5 was hidden by the user before any check.
    PathHolder hidden(PathTo(a->doc, "5"));
    a->doc->getKRNState()->setDocEleVisible(hidden.get(), 0, FALSE);
    m = RunCheck(*a, a->count);
    ASSERT_EQ(m->GetResultCount(), 3);
  }
  void TearDown() override { delete m; }

  std::unique_ptr<FlatAssembly> a;
  CCollisionManager* m = nullptr;
};

}  // namespace

// The cursor wraps at both ends; each switch adds and removes exactly its
// separator; ShowAll replaces what it showed, ShowAllWithoutClear adds to it;
// a result box is a wireframe of twelve edges.
TEST_F(Presentation, CursorSwitchesShowAllAndTheBoxWireframe) {
  m->ShowEdge(1);
  m->ShowCutLine(1);
  m->ShowCutFace(1);
  for (const char* name : {"CollisionBoundingBox", "CollisionCutLine", "CollisionCutFace"})
    EXPECT_EQ(CountNamed(m->m_pRoot, name), 1) << name;
  m->ShowCutFace(0);
  EXPECT_EQ(CountNamed(m->m_pRoot, "CollisionCutFace"), 0);
  EXPECT_EQ(m->m_pRoot->getNumChildren(), 2);
  m->ShowEdge(0);
  m->ShowCutLine(0);
  EXPECT_EQ(m->m_pRoot->getNumChildren(), 0);

  m->m_nCurResult = 2;
  m->ShowNext();
  EXPECT_EQ(m->m_nCurResult, 0);
  m->ShowPre();
  m->ShowPre();
  EXPECT_EQ(m->m_nCurResult, 1);
  EXPECT_EQ(m->m_bRunning.load(), 0) << "the busy flag is cleared again";

  m->ShowEdge(1);
  m->ShowCurrent();
  SoSearchAction search;
  search.setType(SoKRN_ClipLineKit::getClassTypeId());
  search.setInterest(SoSearchAction::ALL);
  search.apply(m->m_pRoot);
  ASSERT_EQ(search.getPaths().getLength(), 1) << "only the current result's box";
  auto* kit = static_cast<SoKRN_ClipLineKit*>(static_cast<SoFullPath*>(search.getPaths()[0])->getTail());
  EXPECT_EQ(kit->getNumPoints(), 8);
  EXPECT_EQ(kit->getNumSegments(), 12);

  m->ShowAll();
  m->ShowAll();
  ASSERT_EQ(CountNamed(m->m_pRoot, "CollisionBoundingBox"), 1);
  for (int i = 0; i < m->m_pRoot->getNumChildren(); ++i)  // one box per result
    if (m->m_pRoot->getChild(i)->getName() == SbName("CollisionBoundingBox")) {
      EXPECT_EQ(static_cast<SoSeparator*>(m->m_pRoot->getChild(i))->getNumChildren(), 3);
    }
  m->ShowAllWithoutClear();
  m->ShowAllWithoutClear();
  EXPECT_EQ(CountNamed(m->m_pRoot, "CollisionBoundingBox"), 3);
}

TEST_F(Presentation, ResultBoxIsCachedAndCoversTheOverlap) {
  SbVec3f lo, hi;
  m->GetResultBoundingBox(0).getBounds(lo, hi);
  // Overlap of [0,1]^3 and [0.5,1.5]x[0.25,1.25]x[0.25,1.25].
  EXPECT_LT((lo - SbVec3f(0.5f, 0.25f, 0.25f)).length(), 1e-5f);
  EXPECT_LT((hi - SbVec3f(1, 1, 1)).length(), 1e-5f);
  // A cached, non-degenerate box is returned as it is.
  const_cast<_collisionResult&>(m->Results()[0]).fBox[3] = 7.0f;
  m->GetResultBoundingBox(0).getBounds(lo, hi);
  EXPECT_EQ(hi[0], 7.0f);
}

TEST_F(Presentation, ClearRestoresTheVisibilityBeforeTheFirstChange) {
  SoKRN_State* state = a->doc->getKRNState();
  PathHolder hidden(PathTo(a->doc, "5"));
  m->m_nCurResult = 0;
  m->m_nShowInsMode = 0;
  m->ShowCurrent();  // only result 0's instances (1 and 2) visible
  PathHolder other(PathTo(a->doc, "3"));
  PathHolder shown(PathTo(a->doc, "1"));
  EXPECT_EQ(state->getDocEleVisible(other.get()), 0);
  EXPECT_NE(state->getDocEleVisible(shown.get()), 0);
  state->setDocEleVisible(shown.get(), 0, FALSE);  // the user changes it in between
  m->ClearColisionTempNode(false);
  EXPECT_EQ(state->getDocEleVisible(shown.get()), 0) << "no restoring without being asked";
  m->ClearColisionTempNode(true);
  EXPECT_NE(state->getDocEleVisible(shown.get()), 0);
  EXPECT_NE(state->getDocEleVisible(other.get()), 0);
  EXPECT_EQ(state->getDocEleVisible(hidden.get()), 0);
}

TEST_F(Presentation, ClipPlanePassesThroughTheResultBoxCentre) {
  m->m_nCurResult = 1;
  m->ShowClipPlane(1);
  SoGroup* planes = a->doc->getClipPlaneChildren();
  ASSERT_EQ(planes->getNumChildren(), 1);
  const SbPlane plane = static_cast<SoClipPlane*>(planes->getChild(0))->plane.getValue();
  SbVec3f lo, hi;
  m->GetResultBoundingBox(1).getBounds(lo, hi);
  const SbVec3f centre = (lo + hi) * 0.5f;
  EXPECT_NEAR(plane.getDistance(centre), 0.0f, 1e-5);
  EXPECT_NEAR(plane.getNormal()[1], -1.0f, 1e-6);
  // Shown by a clip-plane display in a node kit under the root node kit;
  // the view that carried it is gone from the product data again.
  SoKRN_NodeKit* rootNode = a->doc->getTopPrototype()->getRootNode();
  ASSERT_NE(m->m_pClipViewNode, nullptr);
  EXPECT_EQ(rootNode->getChild(rootNode->getNumChildren() - 1), m->m_pClipViewNode);
  auto* display = dynamic_cast<SoKRN_ModelDisplay*>(m->m_pClipViewNode->getNodeEnt());
  ASSERT_NE(display, nullptr);
  EXPECT_TRUE(display->isClipPLane());
  EXPECT_EQ(display->getTpxObjCache(), nullptr);
  auto* proto = dynamic_cast<Tpx_ProtoType*>(a->doc->getActiveComp()->getTpxObjCache());
  ASSERT_NE(proto, nullptr);
  EXPECT_EQ(proto->GetNumViews(), 0);

  const int kits = rootNode->getNumChildren();
  m->ShowClipPlane(0);
  EXPECT_EQ(m->m_pClipViewNode, nullptr);
  EXPECT_EQ(rootNode->getNumChildren(), kits - 1);
  EXPECT_EQ(planes->getNumChildren(), 0) << "the display took its clip plane along";

  m->ClearColisionTempNode(true);
  EXPECT_EQ(planes->getNumChildren(), 0);
  EXPECT_EQ(m->m_pClipViewNode, nullptr);
}

// A clearance has no cut points: with cut faces on its result box is the
// point (0, 0, 0), and the clip plane goes through the origin.
TEST(PresentationClearance, ClipPlaneOfAResultWithoutCutPointsGoesThroughTheOrigin) {
  std::unique_ptr<FlatAssembly> a(NewFlatAssembly({Box(SbVec3f(0, -0.5f, 0), SbVec3f(1, 0.5f, 1))}));
  a->Place(0, SbVec3f(5, 0, 0));
  a->Place(0, SbVec3f(6.5f, 0, 0));  // 0.5 apart
  CCollisionManager* m = RunCheck(*a, 2, 1.0f);
  ASSERT_EQ(m->GetResultCount(), 1);
  m->m_nCurResult = 0;
  m->ShowClipPlane(1);
  SoGroup* planes = a->doc->getClipPlaneChildren();
  ASSERT_EQ(planes->getNumChildren(), 1);
  EXPECT_NEAR(static_cast<SoClipPlane*>(planes->getChild(0))->plane.getValue().getDistance(SbVec3f(0, 0, 0)), 0, 1e-6);
  m->ClearColisionTempNode(true);
  EXPECT_EQ(planes->getNumChildren(), 0);
  delete m;
}

// Isolation in a nested document: what the viewer draws (the occurrences
// whose bodies are rendered) after a run, for one result, and after
// clearing, under user states built to catch an ancestor shown again.
namespace {

struct Isolation {
  SoKRN_MainDoc* doc = vx::host::NewDocument();
  Isolation() {
    doc->ref();
    SoKRN_ComponentKit* top = doc->getTopPrototype();
    // A: a part with bodies of its own and two children; B, C, D boxes.
    SoKRN_ComponentKit* withKids = hosttest::MakeBox(doc, L"Frame", SbVec3f(0, 5, 0), SbVec3f(3, 6, 1));
    SoKRN_ComponentKit* box = hosttest::MakeBox(doc, L"Box", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
    using hosttest::Translation;
    vx::host::PlaceInstance(doc, withKids, box, Translation(0, 0, 0), L"a1", 1);
    vx::host::PlaceInstance(doc, withKids, box, Translation(2, 0, 0), L"a2", 2);
    vx::host::PlaceInstance(doc, top, withKids, Translation(0, 0, 0), L"A", 1);
    vx::host::PlaceInstance(doc, top, box, Translation(0.5f, 0.5f, 0.5f), L"B", 2);  // overlaps a1
    vx::host::PlaceInstance(doc, top, box, Translation(10, 0, 0), L"C", 3);
    vx::host::PlaceInstance(doc, top, box, Translation(20, 0, 0), L"D", 4);
    doc->adoptTree();
  }
  ~Isolation() { doc->unref(); }
  void Set(const char* plc, int visible) {
    PathHolder p(PathTo(doc, plc));
    doc->getKRNState()->setDocEleVisible(p.get(), visible, FALSE);
  }
  // Occurrences whose own bodies are drawn, as the render traversal decides.
  std::set<std::string> Drawn() const {
    std::set<std::string> out;
    auto hold = [](SoPath* p) {
      p->ref();
      return PathHolder(static_cast<SoFullPath*>(p));
    };
    std::function<void(SoKRN_ComponentKit*, SoPath*)> walk = [&](SoKRN_ComponentKit* kit, SoPath* path) {
      const auto v = kit->visibilityOn(path);
      if (v == SoKRN_ComponentKit::Visibility::Hidden) return;
      if (kit->isInstance()) {
        PathHolder down = hold(path->copy());
        if (kit->appendPrototypeToPath(*down.get())) walk(kit->getPrototype(), down.get());
        return;
      }
      if (v == SoKRN_ComponentKit::Visibility::Shown && kit->getBodiesIfAny())
        out.insert(OmbrelTools::InstanceChainKey(path));
      for (int i = 0; i < kit->getNumEleChildren(); ++i) {
        auto* child = static_cast<SoKRN_ComponentKit*>(kit->getEleChild(i));
        PathHolder down = hold(path->copy());
        if (kit->appendChildToPath(*down.get(), child)) walk(child, down.get());
      }
    };
    PathHolder root = hold(new SoPath(doc->getTopPrototype()));
    walk(doc->getTopPrototype(), root.get());
    return out;
  }
};

}  // namespace

TEST(PresentationIsolation, OnlyInputsThenOnlyThePairThenExactlyTheUserState) {
  using S = std::set<std::string>;
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, int>> user;  // visibility set before the run
    S before;
  } cases[] = {
      {"all visible", {}, S{"1", "1|1", "1|2", "2", "3", "4"}},
      {"D hidden", {{"4", 0}}, S{"1", "1|1", "1|2", "2", "3"}},
      // The root hidden, A, B and C shown again: explicit entries that a
      // run must hide (a2 and A's frame) and give back.
      {"root hidden, A, B and C shown", {{"", 0}, {"1", -1}, {"2", -1}, {"3", -1}}, S{"1", "1|1", "1|2", "2", "3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Isolation iso;
    for (const auto& u : c.user) iso.Set(u.first, u.second);
    ASSERT_EQ(iso.Drawn(), c.before);
    const std::vector<std::string> keysBefore = iso.doc->getKRNState()->getShownKeys();
    auto* m = new CCollisionManager(iso.doc, "CollisionManager");
    SoPathList inputs;
    for (const char* plc : {"1|1", "2", "3"}) {
      PathHolder p(PathTo(iso.doc, plc));
      inputs.append(p.get());
    }
    m->AddIns1(&inputs, 0);
    RunAndWait(*m);
    EXPECT_EQ(iso.Drawn(), S({"1|1", "2", "3"})) << "after the run: the inputs only";
    ASSERT_GE(m->GetResultCount(), 1);
    m->m_nCurResult = 0;
    m->m_nShowInsMode = 0;
    m->ShowCurrent();
    EXPECT_EQ(iso.Drawn(), S({"1|1", "2"})) << "one result: the pair only, not A's frame nor a2";
    m->ShowNext();
    m->ClearColisionTempNode(true);
    EXPECT_EQ(iso.Drawn(), c.before);
    EXPECT_EQ(iso.doc->getKRNState()->getShownKeys(), keysBefore) << "the same entries, not only the same picture";
    delete m;
  }
}
