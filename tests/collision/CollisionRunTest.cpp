// The interference run end to end: the instance pairs it reports equal a
// brute-force check over every triangle pair, in one- and two-group mode,
// with and without a tolerance; classification, stop, guards and lifetime.
#include <gtest/gtest.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/lists/SoPathList.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>

#include "collision/CCollisionManager.h"
#include "collision/CollisionTestUtil.h"
#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "platform/Platform.h"

using namespace vxtest;

namespace {

// A seeded random assembly: spheres and boxes scattered so that some touch,
// some overlap and most are apart.
std::unique_ptr<FlatAssembly> RandomAssembly(unsigned seed, int n) {
  std::unique_ptr<FlatAssembly> a(NewFlatAssembly(
      {Sphere(SbVec3f(0, 0, 0), 1.0f, 16, 8), Box(SbVec3f(-0.7f, -0.5f, -0.3f), SbVec3f(0.7f, 0.5f, 0.3f), 2)}));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> pos(0.0f, 6.0f), angle(0.0f, 6.283f);
  for (int i = 0; i < n; ++i) {
    const SbRotation r(SbVec3f(pos(rng) - 3, pos(rng) - 3, 1), angle(rng));
    a->Place(i % 2, SbVec3f(pos(rng), pos(rng), pos(rng) * 0.3f), r);
  }
  return a;
}

std::vector<SoFullPath*> ToVector(const SoPathList& list) {
  std::vector<SoFullPath*> v;
  for (int i = 0; i < list.getLength(); ++i) v.push_back(static_cast<SoFullPath*>(list[i]));
  return v;
}

}  // namespace

TEST(CollisionRun, OneGroupAgreesWithBruteForce) {
  for (unsigned seed : {1u, 2u, 3u}) {
    auto a = RandomAssembly(seed, 12);
    SoPathList paths;
    a->Paths(0, a->count, paths);
    for (float tolerance : {0.0f, 0.25f}) {
      auto* m = new CCollisionManager(a->doc, "CollisionManager");
      m->AddIns1(&paths, 0);
      m->m_fTolerance = tolerance;
      RunAndWait(*m);
      const auto expected = BruteForcePairs(ToVector(paths), tolerance + 0.001f);
      EXPECT_EQ(ResultPairs(*m), expected) << "seed " << seed << " tolerance " << tolerance;
      EXPECT_EQ(m->m_nTotalPairs.load(), 12 * 11 / 2);
      EXPECT_EQ(m->m_nCurPair.load(), 12 * 11 / 2);
      EXPECT_FALSE(expected.empty()) << "the assembly should have some contacts";
      delete m;
    }
  }
}

TEST(CollisionRun, TwoGroupAgreesWithBruteForceAcrossGroups) {
  auto a = RandomAssembly(7, 14);
  SoPathList g1, g2;
  a->Paths(0, 6, g1);
  a->Paths(6, a->count, g2);
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->m_b2Group = 1;
  m->m_fTolerance = 0.1f;
  m->AddIns1(&g1, 0);
  m->AddIns2(&g2, 0);
  RunAndWait(*m);
  SoPathList all;
  a->Paths(0, a->count, all);
  std::set<std::pair<std::string, std::string>> expected;
  std::set<std::string> group1;
  for (int i = 0; i < g1.getLength(); ++i) {
    std::string s;
    CGraphOperation::GetNodePlcPath(g1[i], s, true);
    group1.insert(s);
  }
  for (const auto& p : BruteForcePairs(ToVector(all), 0.101f)) {
    if (group1.count(p.first) != group1.count(p.second)) expected.insert(p);  // one of each group
  }
  EXPECT_EQ(ResultPairs(*m), expected);
  EXPECT_EQ(m->m_nTotalPairs.load(), 6 * 8);
  delete m;
}

TEST(CollisionRun, ClassifiesByDistanceAndTolerance) {
  // Boxes along x: A touches B flush, C is 0.5 from B, D is 3 from C.
  auto a = std::unique_ptr<FlatAssembly>(NewFlatAssembly({Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1))}));
  a->Place(0, SbVec3f(0, 0, 0));
  a->Place(0, SbVec3f(1, 0, 0));
  a->Place(0, SbVec3f(2.5f, 0, 0));
  a->Place(0, SbVec3f(6.5f, 0, 0));
  SoPathList paths;
  a->Paths(0, 4, paths);

  struct Case {
    int calcType;
    float tol, tol2;
    std::vector<int> types;  // nType of the results in order
  };
  const Case cases[] = {
      {0, 0.0f, 0.0f, {0}},              // only the flush pair
      {0, 1.0f, 0.0f, {0, 1}},           // B-C within the clearance
      {2, 0.0f, 5.0f, {0, 2, 2, 2, 2}},  // every pair within 5: touch, then "near"
  };
  for (const Case& c : cases) {
    auto* m = new CCollisionManager(a->doc, "CollisionManager");
    m->AddIns1(&paths, 0);
    m->m_nCalcType = c.calcType;
    m->m_fTolerance = c.tol;
    m->m_fTolerance2 = c.tol2;
    RunAndWait(*m);
    std::vector<int> types;
    for (const _collisionResult& r : m->Results()) types.push_back(r.nType);
    EXPECT_EQ(types, c.types) << "calc type " << c.calcType << " tolerance " << c.tol;
    for (int i = 0; i < m->GetResultCount(); ++i) EXPECT_EQ(m->Results()[i].nID, i + 1);
    delete m;
  }
}

TEST(CollisionRun, IgnoredAndHiddenInstancesAreLeftOut) {
  auto a = std::unique_ptr<FlatAssembly>(NewFlatAssembly({Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1))}));
  for (int i = 0; i < 4; ++i) a->Place(0, SbVec3f(0.5f * i, 0, 0));  // a chain of overlaps
  SoPathList paths, ignored;
  a->Paths(0, 4, paths);
  a->Paths(0, 1, ignored);  // leave out instance 1
  PathHolder hidden(PathTo(a->doc, "3"));
  a->doc->getKRNState()->setDocEleVisible(hidden.get(), 0, FALSE);

  // Hidden instances take part unless the inputs are tagged 2.
  for (int tag : {0, 2}) {
    auto* m = new CCollisionManager(a->doc, "CollisionManager");
    m->AddIns1(&paths, tag);
    m->AddIgnoreIns(&ignored, 0);
    RunAndWait(*m);
    std::set<std::pair<std::string, std::string>> expected = {
        {"PATH|0|2", "PATH|0|3"}, {"PATH|0|3", "PATH|0|4"}, {"PATH|0|2", "PATH|0|4"}};
    if (tag == 2) expected = {{"PATH|0|2", "PATH|0|4"}};
    EXPECT_EQ(ResultPairs(*m), expected) << "tag " << tag;
    delete m;
  }
}

TEST(CollisionRun, StopKeepsAndClassifiesWhatWasFound) {
  auto a = RandomAssembly(11, 60);
  SoPathList paths;
  a->Paths(0, a->count, paths);
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  struct Flags {
    CCollisionManager* m;
    std::atomic<bool> finished{false};
  } flags{m};
  m->SetCalculateFinshCB([](void* d) { static_cast<Flags*>(d)->finished = true; }, &flags);
  m->StartCalculate();
  while (m->m_nCurPair.load() < 20 && m->m_bRunning.load()) vx::platform::SleepMs(1);
  m->StopCalculate();
  while (m->m_pThread.load() != 0 || m->m_bRunning.load() != 0) vx::platform::SleepMs(1);
  while (!flags.finished) vx::platform::SleepMs(1);
  EXPECT_LT(m->m_nCurPair.load(), m->m_nTotalPairs.load());
  EXPECT_EQ(m->GetStopFlg(), 0);
  EXPECT_EQ(m->m_bAborted.load(), 0);
  for (int i = 0; i < m->GetResultCount(); ++i) EXPECT_EQ(m->Results()[i].nID, i + 1);
  delete m;
}

TEST(CollisionRun, ExceptionDeletesResultsAndShowsTheMessage) {
  auto a = RandomAssembly(1, 12);
  SoPathList paths;
  a->Paths(0, a->count, paths);
  MessageRecorder recorder;
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  std::atomic<bool> finished{false};
  m->SetCalculateFinshCB([](void* d) { *static_cast<std::atomic<bool>*>(d) = true; }, &finished);
  // The host's per-pair callback fails at the 30th pair.
  m->SetCalculateCB(
      [](void* d) {
        if (static_cast<CCollisionManager*>(d)->m_nCurPair.load() == 30) throw std::runtime_error("host failure");
      },
      m);
  RunAndWait(*m);
  EXPECT_EQ(m->GetResultCount(), 0);
  EXPECT_EQ(m->m_bAborted.load(), 1);
  EXPECT_FALSE(finished);
  ASSERT_EQ(recorder.messages.size(), 1u);
  EXPECT_EQ(recorder.messages[0], L"计算异常，干涉计算被中止！");
  delete m;
}

TEST(CollisionRun, MemoryGuardStopsTheRun) {
  auto a = RandomAssembly(2, 10);
  SoPathList paths;
  a->Paths(0, a->count, paths);
  MessageRecorder recorder;
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  m->m_nMinFreeMemory = ~0ull;  // no machine has that much free
  RunAndWait(*m);
  EXPECT_EQ(m->m_bAborted.load(), 1);
  EXPECT_EQ(m->m_nCurPair.load(), 0);
  ASSERT_FALSE(recorder.messages.empty());
  EXPECT_EQ(recorder.messages[0], L"剩余内存过少，继续计算系统可能崩溃，计算被中止！");
  delete m;
}

TEST(CollisionRun, DestroyingDuringARunIsSafe) {
  auto a = RandomAssembly(3, 40);
  SoPathList paths;
  a->Paths(0, a->count, paths);
  for (int wait : {0, 5}) {
    auto* m = new CCollisionManager(a->doc, "CollisionManager");
    m->AddIns1(&paths, 0);
    m->StartCalculate();
    vx::platform::SleepMs(static_cast<unsigned>(wait));
    delete m;  // stops the worker first
    EXPECT_EQ(CCollisionManager::GetCollisionManagerNode(a->doc, "CollisionManager"), nullptr);
  }
}

TEST(CollisionRun, SecondManagerReplacesTheFirst) {
  auto a = RandomAssembly(4, 2);
  new CCollisionManager(a->doc, "CollisionManager");  // owned by the document's node from here
  const int before = a->doc->getNumTempChildren();
  auto* second = new CCollisionManager(a->doc, "CollisionManagerSA");
  EXPECT_EQ(a->doc->getNumTempChildren(), before);
  EXPECT_EQ(CCollisionManager::GetCollisionManagerNode(a->doc, "CollisionManager"), nullptr);
  SoNode* node = CCollisionManager::GetCollisionManagerNode(a->doc, "CollisionManagerSA");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->getUserData(), second);
  delete second;
  EXPECT_EQ(a->doc->getNumTempChildren(), before - 1);
}

// The document's owner may let go of it first, with results, displays and
// saved visibility still held: the manager keeps the document alive until
// it goes itself (under ASan a document freed under it fails here).
TEST(CollisionRun, ManagerOutlivesTheDocumentsOwner) {
  auto a = RandomAssembly(5, 8);
  SoPathList paths;
  a->Paths(0, a->count, paths);
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->m_bCalcCrossMesh = 1;
  m->AddIns1(&paths, 0);
  m->Calculate();
  ASSERT_GT(m->GetResultCount(), 0);
  m->ShowAll();
  m->ShowIns(0);
  paths.truncate(0);
  a.reset();
  delete m;
}

TEST(CollisionRun, SelfFlagsExpandChildrenIntoThePairCount) {
  // Four inputs; the last one is a sub-assembly of three parts, all apart.
  auto a = std::unique_ptr<FlatAssembly>(NewFlatAssembly({Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1))}));
  for (int i = 0; i < 3; ++i) a->Place(0, SbVec3f(3.0f * i, 0, 0));
  SoKRN_ComponentKit* sub = vx::host::MakeAssemblyPrototype(a->doc, L"Sub");
  for (int i = 0; i < 3; ++i) {
    SbMatrix m;
    m.setTranslate(SbVec3f(3.0f * i, 5, 0));
    vx::host::PlaceInstance(a->doc, sub, a->protos[0], m);
  }
  vx::host::PlaceInstance(a->doc, a->doc->getTopPrototype(), sub, SbMatrix::identity(), L"Sub", 4);
  SoPathList paths;
  a->Paths(0, 4, paths);
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  EXPECT_EQ(m->CheckInput(), 1);
  RunAndWait(*m);
  EXPECT_EQ(m->m_nTotalPairs.load(), 6 + 3);
  EXPECT_EQ(m->m_nCurPair.load(), 6 + 3) << "the three children are tested pairwise";
  EXPECT_EQ(m->GetResultCount(), 0);
  // Without the self flag the children are not tested against each other.
  for (int i = 0; i < 4; ++i) m->SetIns1SelfFlg(i, false);
  RunAndWait(*m);
  EXPECT_EQ(m->m_nTotalPairs.load(), 6);
  EXPECT_EQ(m->m_nCurPair.load(), 6);
  delete m;
}
