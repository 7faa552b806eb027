// The run's broad phase against the all-pairs loop (m_bBroadPhase 0) on
// seeded random assemblies with nested sub-assemblies, duplicates, ignored
// and hidden instances, in one- and two-group mode: the same results with
// the same records, every per-pair call one the all-pairs loop makes too,
// the same counters. Then misuse of the run: stop from the callback, start
// during a run, a null document, and a stop in the middle of a pair.
#include <gtest/gtest.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/lists/SoPathList.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "collision/BoxPairFinder.h"
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

std::string Plc(const SoPath* p) {
  std::string s;
  if (p) CGraphOperation::GetNodePlcPath(p, s, true);
  return s;
}

// Top level: `leaves` spheres and boxes scattered in a 10 x 10 x 3 volume
// (ids 1..leaves), then `subs` instances of one sub-assembly of three parts
// (two overlapping), placed at random.
std::unique_ptr<FlatAssembly> NestedAssembly(unsigned seed, int leaves, int subs) {
  std::unique_ptr<FlatAssembly> a(NewFlatAssembly(
      {Sphere(SbVec3f(0, 0, 0), 1.0f, 12, 6), Box(SbVec3f(-0.7f, -0.5f, -0.3f), SbVec3f(0.7f, 0.5f, 0.3f), 2)}));
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> pos(0.0f, 10.0f), angle(0.0f, 6.283f);
  for (int i = 0; i < leaves; ++i) {
    a->Place(i % 2, SbVec3f(pos(rng), pos(rng), pos(rng) * 0.3f), SbRotation(SbVec3f(1, pos(rng), 1), angle(rng)));
  }
  SoKRN_ComponentKit* sub = vx::host::MakeAssemblyPrototype(a->doc, L"Sub");
  const SbVec3f at[3] = {SbVec3f(0, 0, 0), SbVec3f(1.2f, 0, 0), SbVec3f(5, 0, 0)};
  for (int k = 0; k < 3; ++k) {
    SbMatrix m;
    m.setTranslate(at[k]);
    vx::host::PlaceInstance(a->doc, sub, a->protos[static_cast<std::size_t>(k % 2)], m);
  }
  for (int s = 0; s < subs; ++s) {
    SbMatrix m;
    m.setTransform(SbVec3f(pos(rng), pos(rng), 0), SbRotation(SbVec3f(0, 0, 1), angle(rng)), SbVec3f(1, 1, 1));
    vx::host::PlaceInstance(a->doc, a->doc->getTopPrototype(), sub, m, L"S", leaves + 1 + s);
  }
  return a;
}

struct Call {
  int64_t pair;
  std::string p1, p2;
  bool operator==(const Call& o) const { return pair == o.pair && p1 == o.p1 && p2 == o.p2; }
};

struct Outcome {
  std::vector<Call> calls;
  std::vector<std::string> results;  // every field of every record, as text
  int64_t total = 0, done = 0;
};

struct RunSetup {
  const char* name;
  bool twoGroup;
  float tolerance;
  int skipSame;
  bool cutFaces;
  int tag;  // 2: hidden instances are left out
};

// Input paths by relative placement path; "9" is a top instance, "9|2" a
// part inside sub-assembly instance 9.
void AddPaths(SoKRN_MainDoc* doc, const std::vector<std::string>& rel, SoPathList& out) {
  for (const std::string& r : rel) {
    SoFullPath* p = PathTo(doc, r);
    if (!p) continue;
    out.append(p);
    p->unref();
  }
}

Outcome RunOnce(FlatAssembly& a, const RunSetup& s, int broad, const SoPathList& g1, const SoPathList& g2,
                const SoPathList& ignored, const std::vector<bool>& selfFlags, int threads = 0) {
  auto* m = new CCollisionManager(a.doc, "CollisionManager");
  m->m_bBroadPhase = broad;
  m->m_nSearchThreads = threads;
  m->m_b2Group = s.twoGroup ? 1 : 0;
  m->m_fTolerance = s.tolerance;
  m->m_bSkipSameIns = s.skipSame;
  m->m_bCalcCrossMesh = s.cutFaces ? 1 : 0;
  m->m_nCalcType = s.cutFaces ? 1 : 0;
  m->AddIns1(const_cast<SoPathList*>(&g1), s.tag);
  // A second record of the first input: same instance, other tag.
  m->AddIns1(const_cast<SoPathList*>(&g1), s.tag == 2 ? 0 : 2);
  if (s.twoGroup) m->AddIns2(const_cast<SoPathList*>(&g2), s.tag);
  m->AddIgnoreIns(const_cast<SoPathList*>(&ignored), 0);
  for (std::size_t i = 0; i < selfFlags.size() && i < m->GetIns().size(); ++i) {
    m->SetIns1SelfFlg(static_cast<int>(i), selfFlags[i]);
  }
  Outcome out;
  struct Ctx {
    CCollisionManager* m;
    Outcome* out;
  } ctx{m, &out};
  m->SetCalculateCB(
      [](void* d) {
        auto* c = static_cast<Ctx*>(d);
        c->out->calls.push_back(Call{c->m->m_nCurPair.load(), Plc(c->m->m_pCurPath1), Plc(c->m->m_pCurPath2)});
      },
      &ctx);
  RunAndWait(*m);
  for (const _collisionResult& r : m->Results()) {
    std::string t = std::to_string(r.nID) + " " + std::to_string(r.nType) + " " + Plc(r.pPath1) + " " +
                    Plc(r.pTopPath1) + " " + std::to_string(r.nTag1) + " " + Plc(r.pPath2) + " " + Plc(r.pTopPath2) +
                    " " + std::to_string(r.nTag2) + " d=" + std::to_string(r.fMinDist) +
                    " v=" + std::to_string(r.fCompacity) + " lines=" + std::to_string(r.cutLines.size());
    for (const _vtx& p : r.cutLinePnts)
      t += " " + std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.z);
    t += " face=" + std::to_string(r.cutFacePnts.size()) + "/" + std::to_string(r.cutFaceTris.size());
    out.results.push_back(t);
  }
  out.total = m->m_nTotalPairs.load();
  out.done = m->m_nCurPair.load();
  delete m;
  return out;
}

}  // namespace

TEST(BroadPhase, SameRunAsTestingEveryPair) {
  const RunSetup setups[] = {
      {"one group", false, 0.0f, 1, false, 0},
      {"one group, tolerance, cut faces", false, 0.3f, 1, true, 0},
      {"one group, duplicates tested, hidden left out", false, 0.0f, 0, false, 2},
      {"two groups", true, 0.1f, 1, false, 0},
      {"two groups, duplicates and nesting tested", true, 0.0f, 0, false, 0},
  };
  for (unsigned seed : {5u, 6u}) {
    auto a = NestedAssembly(seed, 28, 4);
    std::mt19937 rng(seed);
    // Leaves, the sub-assembly instances and some parts inside them
    // (nested under inputs), in shuffled order.
    std::vector<std::string> rel;
    for (int i = 1; i <= 28 + 4; ++i) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%x", i);
      rel.push_back(buf);
      if (i > 28) rel.push_back(std::string(buf) + "|" + std::to_string(1 + i % 3));
    }
    std::shuffle(rel.begin(), rel.end(), rng);
    const std::size_t half = rel.size() / 2;
    SoPathList all, g1, g2, ignored;
    AddPaths(a->doc, rel, all);
    AddPaths(a->doc, std::vector<std::string>(rel.begin(), rel.begin() + static_cast<std::ptrdiff_t>(half)), g1);
    // Group 2 overlaps group 1 by a few paths.
    AddPaths(a->doc, std::vector<std::string>(rel.begin() + static_cast<std::ptrdiff_t>(half - 3), rel.end()), g2);
    AddPaths(a->doc, {rel[3], rel[11]}, ignored);
    // Hidden instances (seen only with tag 2).
    for (const std::string& r : {rel[5], rel[17]}) {
      SoFullPath* p = PathTo(a->doc, r);
      a->doc->getKRNState()->setDocEleVisible(p, 0, FALSE);
      p->unref();
    }
    if (seed == 6) {  // a per-path user matrix: the broad phase asks the action for its boxes
      SoFullPath* p = PathTo(a->doc, rel[1]);
      SbMatrix shift;
      shift.setTranslate(SbVec3f(0.5f, 0.2f, 0));
      a->doc->getKRNState()->setUserMatrix(p, shift, FALSE);
      p->unref();
    }
    std::vector<bool> self;
    for (std::size_t i = 0; i < rel.size(); ++i) self.push_back(rng() % 2 == 0);

    for (const RunSetup& s : setups) {
      const SoPathList& first = s.twoGroup ? g1 : all;
      const Outcome ref = RunOnce(*a, s, 0, first, g2, ignored, self);
      const Outcome got = RunOnce(*a, s, 1, first, g2, ignored, self);
      SCOPED_TRACE(std::string(s.name) + ", seed " + std::to_string(seed));
      EXPECT_EQ(got.results, ref.results);
      EXPECT_FALSE(ref.results.empty());
      EXPECT_EQ(got.total, ref.total);
      EXPECT_EQ(got.done, ref.done);
      EXPECT_EQ(ref.done, static_cast<int64_t>(ref.calls.size()));
      // Every call of the broad run is one of the reference's, in order.
      std::size_t k = 0;
      for (const Call& c : got.calls) {
        while (k < ref.calls.size() && !(ref.calls[k] == c)) ++k;
        ASSERT_LT(k, ref.calls.size()) << "call at pair " << c.pair << " (" << c.p1 << ", " << c.p2
                                       << ") is not one the all-pairs loop makes";
        ++k;
      }
      EXPECT_LT(got.calls.size(), ref.calls.size() / 2) << "the broad phase should skip most pairs";
      if (!ref.calls.empty()) {
        ASSERT_FALSE(got.calls.empty());
        EXPECT_EQ(got.calls.back(), ref.calls.back()) << "the progress reaches the all-pairs end";
      }
    }
  }
}

// Pairs of finely tessellated spheres are large enough for their triangle
// search to be split among threads: two threads must give the run one
// thread gives, records, their order and every per-pair call.
TEST(BroadPhase, SearchThreadsLeaveTheRunUnchanged) {
  std::unique_ptr<FlatAssembly> a(NewFlatAssembly({Sphere(SbVec3f(0, 0, 0), 1.0f, 64, 32)}));
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> pos(0.0f, 2.5f), angle(0.0f, 6.283f);
  std::vector<std::string> rel;
  for (int i = 0; i < 6; ++i) {
    rel.push_back(a->Place(0, SbVec3f(pos(rng), pos(rng), pos(rng) * 0.4f), SbRotation(SbVec3f(1, 1, 0), angle(rng))));
  }
  SoPathList all, g1, g2, none;
  AddPaths(a->doc, rel, all);
  AddPaths(a->doc, {rel[0], rel[1], rel[2]}, g1);
  AddPaths(a->doc, {rel[3], rel[4], rel[5]}, g2);
  const RunSetup setups[] = {{"one group", false, 0.0f, 1, false, 0},
                             {"two groups, tolerance", true, 0.05f, 1, false, 0}};
  for (const RunSetup& s : setups) {
    SCOPED_TRACE(s.name);
    const SoPathList& first = s.twoGroup ? g1 : all;
    const Outcome one = RunOnce(*a, s, 1, first, g2, none, {}, 1);
    const Outcome two = RunOnce(*a, s, 1, first, g2, none, {}, 2);
    EXPECT_GE(one.results.size(), 6u);
    EXPECT_EQ(two.results, one.results);
    EXPECT_TRUE(two.calls == one.calls);
    EXPECT_EQ(two.done, one.done);
  }
}

TEST(BroadPhase, BoxPairFinderMatchesEveryPair) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> pos(0.0f, 20.0f), size(0.0f, 2.0f);
  for (int n : {0, 1, 7, 300}) {
    std::vector<vx::collide::Box> boxes;
    for (int i = 0; i < n; ++i) {
      vx::collide::Box b;
      for (int k = 0; k < 3; ++k) {
        b.lo[k] = pos(rng);
        b.hi[k] = b.lo[k] + size(rng);
      }
      if (i % 50 == 7) b.hi[0] = b.lo[0] - 1;                       // empty: meets nothing
      if (i % 50 == 9) b = boxes[static_cast<std::size_t>(i - 1)];  // touching its twin exactly
      boxes.push_back(b);
    }
    const vx::collide::BoxPairFinder finder(boxes);
    for (const vx::collide::Box& q : boxes) {
      std::vector<int32_t> expected, got;
      for (int j = 0; j < n; ++j) {
        if (!q.Empty() && !boxes[static_cast<std::size_t>(j)].Empty() && q.Meets(boxes[static_cast<std::size_t>(j)])) {
          expected.push_back(j);
        }
      }
      finder.Find(q, got);
      EXPECT_EQ(got, expected);
    }
  }
}

namespace {

struct Probe {
  CCollisionManager* m = nullptr;
  int calls = 0;
  int stopAt = -1;
  bool startAgain = false;
  int resultsBefore = -1;
};

}  // namespace

TEST(BroadPhase, MisuseOfTheRun) {
  // Stop from the per-pair callback returns and ends the run; a start
  // during the run changes nothing; a stop from the finish callback too.
  auto a = NestedAssembly(9, 60, 0);
  SoPathList paths;
  AddPaths(
      a->doc,
      [] {
        std::vector<std::string> r;
        for (int i = 1; i <= 60; ++i) {
          char b[16];
          std::snprintf(b, sizeof b, "%x", i);
          r.push_back(b);
        }
        return r;
      }(),
      paths);
  for (bool stopInCallback : {true, false}) {
    auto* m = new CCollisionManager(a->doc, "CollisionManager");
    m->AddIns1(&paths, 0);
    Probe probe;
    probe.m = m;
    probe.stopAt = stopInCallback ? 3 : -1;
    probe.startAgain = !stopInCallback;
    m->SetCalculateCB(
        [](void* d) {
          auto* p = static_cast<Probe*>(d);
          if (++p->calls == p->stopAt) p->m->StopCalculate();
          if (p->startAgain && p->calls == 2) {
            p->resultsBefore = p->m->GetResultCount();
            p->m->StartCalculate();  // on the worker, during the run
          }
        },
        &probe);
    m->SetCalculateFinshCB([](void* d) { static_cast<Probe*>(d)->m->StopCalculate(); }, &probe);
    RunAndWait(*m);
    if (stopInCallback) {
      EXPECT_EQ(probe.calls, 3) << "the run ends at the next pair after the stop";
      EXPECT_LT(m->m_nCurPair.load(), m->m_nTotalPairs.load());
    } else {
      EXPECT_EQ(m->m_nCurPair.load(), m->m_nTotalPairs.load());
      EXPECT_GT(m->GetResultCount(), probe.resultsBefore);
    }
    EXPECT_EQ(m->GetStopFlg(), 0);
    delete m;
  }

  // A host-thread start during a run leaves the run alone.
  {
    auto* m = new CCollisionManager(a->doc, "CollisionManager");
    m->AddIns1(&paths, 0);
    RunAndWait(*m);
    const int expected = m->GetResultCount();
    m->SetCalculateCB([](void*) { vx::platform::SleepMs(1); }, nullptr);
    m->StartCalculate();
    m->StartCalculate();
    while (m->m_pThread.load() != 0 || m->m_bRunning.load() != 0) vx::platform::SleepMs(1);
    EXPECT_EQ(m->GetResultCount(), expected);
    delete m;
  }

  // A null document: an inert manager.
  auto* inert = new CCollisionManager(nullptr, "CollisionManager");
  inert->AddIns1(&paths, 0);
  inert->StartCalculate();
  inert->Calculate();
  inert->StopCalculate();
  EXPECT_EQ(inert->GetResultCount(), 0);
  delete inert;
}

TEST(BroadPhase, StopInsideAPairDropsItsResult) {
  // Two overlapping spheres: the stop comes from the intersection callback
  // path itself (first per-pair call sets it before the triangles run).
  auto a = NestedAssembly(1, 0, 0);
  a->Place(0, SbVec3f(0, 0, 0));
  a->Place(0, SbVec3f(1, 0, 0));
  SoPathList paths;
  AddPaths(a->doc, {"1", "2"}, paths);
  auto* m = new CCollisionManager(a->doc, "CollisionManager");
  m->AddIns1(&paths, 0);
  m->SetCalculateCB([](void* d) { static_cast<CCollisionManager*>(d)->StopCalculate(); }, m);
  RunAndWait(*m);
  EXPECT_EQ(m->GetResultCount(), 0) << "the unfinished pair is not a result";
  EXPECT_EQ(Plc(m->m_pStoppedPath1), "PATH|0|1");
  EXPECT_EQ(Plc(m->m_pStoppedPath2), "PATH|0|2");
  // Run again without the stop: the pair is found and nothing is marked.
  m->SetCalculateCB(nullptr, nullptr);
  RunAndWait(*m);
  EXPECT_EQ(m->GetResultCount(), 1);
  EXPECT_EQ(m->m_pStoppedPath1, nullptr);
  delete m;
}
