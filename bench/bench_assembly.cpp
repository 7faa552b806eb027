// End-to-end interference benchmark on a generated plant (bench/AssemblyGen.h:
// 1008 leaf instances, ~1.8 million placed triangles, 28 designed clashes),
// against FCL in the same process.
//
// ours  the check exactly as `vistrel check` runs it: every leaf instance of
//       the top prototype (CGraphOperation::GetAllChildIns, recursive) into
//       group 1 of a CCollisionManager, one-group mode, tolerance 0, no cut
//       faces; StartCalculate, then wait for the worker to end. ours_s counts
//       from the manager's construction (input listing included) to the end
//       of the run; building the document is printed apart.
// fcl   FCL 0.7: one BVHModel<OBBRSS> per part mesh (build time printed apart,
//       not in fcl_s), one CollisionObject per leaf instance with its world
//       transform, a DynamicAABBTreeCollisionManager, and collide() whose
//       callback runs the narrow phase (first contact is enough) on every
//       candidate pair. fcl_s covers objects, broad-phase set-up and collide.
//
// Both count colliding instance pairs; the pairs are also compared, one by
// one, with each other and with the designed clashes.
//
// Usage: bench_assembly [--repeats N] [--size full|small | --plant N[k][,...]]
//                       [--only ours|fcl] [--dump]
//   N (default 2) is the number of timed runs; each time is the best of N.
//   --size small builds the 165-leaf cut of the same plant (for profiling).
//   --plant 1k,16k,100k runs the scaling workload instead: the flat
//     instanced plant of bench/AssemblyGen.h (MakeInstancedPlant) at each
//     size, one after the other in this process. Its line is
//       workload=plant<N> ours_s=.. ours_wall_s=.. fcl_s=.. pairs_ours=..
//       pairs_fcl=.. rss_mb=.. designed=..
//     with ours_s the check (inputs and run), ours_wall_s document building
//     plus the check, fcl_s FCL's model building plus its run, rss_mb the
//     peak resident set after ours (sizes ascending, so it is this size's).
//   --dump prints every result (pair, type, distance, cut counts).
//   --write-glb FILE with one --plant size writes that plant as an instanced
//     binary glTF (bench/PlantGlb.h) and runs nothing: the input of the
//     whole-process measurement with `vistrel check`.
// Output: '#' lines with details, then one line
//   workload=assembly1000 ours_s=.. fcl_s=.. pairs_ours=.. pairs_fcl=..
// The exit status is 1 when a count disagrees with the design (or, on the
// plant, ours and FCL name different pairs).
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoGetMatrixAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/lists/SoPathList.h>

#include <fcl/broadphase/broadphase_dynamic_AABB_tree.h>
#include <fcl/narrowphase/collision.h>

#include <malloc.h>
#include <sys/resource.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/AssemblyGen.h"
#include "bench/FclModel.h"
#include "bench/PlantGlb.h"
#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
#include "host/VistrelHost.h"
#include "intersection/SoIntersectionDetectionExtAction.h"
#include "module/VistrelExt.h"

namespace {

using vxbench::Leaf;
using vxbench::Plant;
using PairSet = std::set<std::pair<int, int>>;  // leaf indices, smaller first

// CPU seconds of the whole process (all threads). The machines this runs on
// are shared, so wall time alone can be far off; both are printed.
double processCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Wall seconds of fn(); its process CPU seconds go to *cpu when given.
double secondsOf(const std::function<void()>& fn, double* cpu = nullptr) {
  const double cpu0 = processCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  fn();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (cpu) *cpu = processCpuSeconds() - cpu0;
  return wall;
}

std::pair<int, int> ordered(int a, int b) { return a < b ? std::make_pair(a, b) : std::make_pair(b, a); }

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// ---- the document ----------------------------------------------------------------

// Builds the plant as a document. Placement ids are the child indices, so the
// leaves' placement paths are those Plant::leaves gives.
vx::host::SoRef<SoKRN_MainDoc> buildDocument(const Plant& plant) {
  vx::host::SoRef<SoKRN_MainDoc> doc(vx::host::NewDocument());
  // Held until every placement is made.
  std::vector<vx::host::SoRef<SoKRN_ComponentKit>> kits(plant.protos.size());
  for (size_t i = 0; i < plant.protos.size(); ++i) {
    const vxbench::Proto& p = plant.protos[i];
    if (static_cast<int>(i) == plant.top) {
      kits[i].reset(doc->getTopPrototype());
    } else if (p.mesh >= 0) {
      const vxbench::Mesh& m = plant.meshes[static_cast<size_t>(p.mesh)];
      kits[i].reset(vx::host::MakePartPrototype(doc, wide(p.name), m.xyz, m.tris));
    } else {
      kits[i].reset(vx::host::MakeAssemblyPrototype(doc, wide(p.name)));
    }
  }
  for (size_t i = 0; i < plant.protos.size(); ++i) {
    const auto& children = plant.protos[i].children;
    for (size_t c = 0; c < children.size(); ++c) {
      vx::host::PlaceInstance(doc, kits[i], kits[static_cast<size_t>(children[c].proto)], children[c].place,
                              wide(children[c].name), static_cast<int64_t>(c));
    }
  }
  return doc;
}

// The path from the document down to its top prototype, as the command-line
// tool finds it.
vx::host::SoRef<SoFullPath> topPrototypePath(SoKRN_MainDoc* doc) {
  SoSearchAction search;
  search.setNode(doc->getTopPrototype());
  search.setInterest(SoSearchAction::FIRST);
  search.apply(doc);
  if (!search.getPath()) return {};
  return vx::host::SoRef<SoFullPath>(static_cast<SoFullPath*>(search.getPath()->copy()));
}

// ---- ours --------------------------------------------------------------------------

struct OursRun {
  double inputs = 0;  // manager, input listing, AddIns1
  double run = 0;     // StartCalculate until the worker has ended
  double cpu = 0;     // process CPU seconds of both
  int results = 0;
  std::int64_t pairsTested = 0;
  std::int64_t pairsTotal = 0;
  PairSet pairs;
  int unmatched = 0;  // results whose paths are not leaves of the plant
  // Digest of what the results carry (pair, type, smallest distance, cut
  // point and segment counts), in result order: a change of the driver or
  // the action that should not change results must leave it as it is.
  std::uint64_t digest = 1469598103934665603ull;
};

void mix(std::uint64_t& h, const void* data, size_t n) {
  const auto* b = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;  // FNV-1a
}

// Set by the finish callback (on the worker); the main thread sleeps on it
// instead of polling, so that waiting costs no CPU and adds no latency.
struct Finish {
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
};
void finishCB(void* data) {
  auto* f = static_cast<Finish*>(data);
  std::lock_guard<std::mutex> lock(f->mutex);
  f->done = true;
  f->cv.notify_all();
}

// The progress hook `vistrel check` installs: one atomic read and store per pair.
struct Progress {
  CCollisionManager* manager = nullptr;
  std::atomic<int> pairs{0};
};
void perPairCB(void* data) {
  auto* p = static_cast<Progress*>(data);
  p->pairs.store(p->manager->m_nCurPair.load());
}

bool g_dump = false;  // --dump: one line per result of every run

OursRun runOurs(SoKRN_MainDoc* doc, const std::map<std::string, int>& leafByPlc, const std::vector<Leaf>& leaves) {
  OursRun out;
  std::unique_ptr<CCollisionManager> manager;
  Finish finished;
  Progress progress;
  double cpuInputs = 0, cpuRun = 0;
  out.inputs = secondsOf(
      [&] {
        manager = std::make_unique<CCollisionManager>(doc, "CollisionManager");
        manager->m_fTolerance = 0.0f;
        manager->m_nCalcType = 0;
        manager->m_bCalcCrossMesh = 0;
        manager->m_b2Group = 0;
        std::vector<SoFullPath*> leaves;
        if (const vx::host::SoRef<SoFullPath> root = topPrototypePath(doc)) {
          CGraphOperation::GetAllChildIns(doc, root, leaves, true, true);  // temporary, as `vistrel check`
          if (leaves.size() == 1 && leaves[0] == root) leaves.clear();
        }
        SoPathList group1, ignored;
        for (SoFullPath* leaf : leaves) group1.append(leaf);
        manager->AddIns1(&group1, 0);
        manager->AddIgnoreIns(&ignored, 0);
        for (SoFullPath* leaf : leaves) leaf->unref();
        progress.manager = manager.get();
        manager->SetCalculateCB(&perPairCB, &progress);
        manager->SetCalculateFinshCB(&finishCB, &finished);
      },
      &cpuInputs);
  out.run = secondsOf(
      [&] {
        manager->StartCalculate();
        // Until the finish callback, or until the worker is gone without it (a
        // guard stopped the run); then until the worker has left the manager.
        {
          std::unique_lock<std::mutex> lock(finished.mutex);
          while (!finished.done && (manager->m_pThread.load() != 0 || manager->m_bRunning.load() != 0)) {
            finished.cv.wait_for(lock, std::chrono::milliseconds(50));
          }
        }
        while (manager->m_pThread.load() != 0 || manager->m_bRunning.load() != 0) {
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
      },
      &cpuRun);
  out.cpu = cpuInputs + cpuRun;
  if (!finished.done) std::printf("# ours: the run ended without its finish callback (aborted)\n");
  out.results = manager->GetResultCount();
  out.pairsTested = manager->m_nCurPair.load();
  out.pairsTotal = manager->m_nTotalPairs.load();
  for (const _collisionResult& r : manager->Results()) {
    std::string a, b;
    CGraphOperation::GetNodePlcPath(r.pPath1, a, false);
    CGraphOperation::GetNodePlcPath(r.pPath2, b, false);
    const auto ia = leafByPlc.find(a), ib = leafByPlc.find(b);
    if (ia == leafByPlc.end() || ib == leafByPlc.end()) {
      ++out.unmatched;
      continue;
    }
    out.pairs.insert(ordered(ia->second, ib->second));
    const std::int64_t fields[] = {ia->second, ib->second, r.nType, static_cast<std::int64_t>(r.cutLinePnts.size()),
                                   static_cast<std::int64_t>(r.cutLines.size())};
    mix(out.digest, fields, sizeof(fields));
    mix(out.digest, &r.fMinDist, sizeof(r.fMinDist));
    if (g_dump) {
      std::printf("# result %d: %s - %s type %d min distance %.9g, %zu cut points, %zu cut segments\n", r.nID,
                  leaves[static_cast<size_t>(ia->second)].name.c_str(),
                  leaves[static_cast<size_t>(ib->second)].name.c_str(), r.nType, static_cast<double>(r.fMinDist),
                  r.cutLinePnts.size(), r.cutLines.size());
    }
  }
  return out;
}

// ---- FCL ---------------------------------------------------------------------------

using Model = vxbench::FclModel;

std::shared_ptr<Model> fclModel(const vxbench::Mesh& m) {
  std::vector<fcl::Vector3d> pts;
  pts.reserve(static_cast<size_t>(m.numVertices()));
  for (size_t i = 0; i < m.xyz.size(); i += 3) pts.emplace_back(m.xyz[i], m.xyz[i + 1], m.xyz[i + 2]);
  return vxbench::MakeFclModel(pts, m.tris);
}

// SbMatrix works on row vectors (p' = p * M): the column-vector linear part is
// its transpose and the translation its last row.
fcl::Transform3d fclTransform(const SbMatrix& m) {
  fcl::Transform3d tf = fcl::Transform3d::Identity();
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) tf.linear()(r, c) = m[c][r];
    tf.translation()(r) = m[3][r];
  }
  return tf;
}

struct FclRun {
  double seconds = 0;
  double cpu = 0;
  long candidates = 0;  // broad-phase pairs handed to the callback
  PairSet pairs;
};

struct FclCallbackData {
  fcl::CollisionRequestd request{1, false};  // one contact decides
  long candidates = 0;
  PairSet* pairs = nullptr;
};

bool fclPairCB(fcl::CollisionObjectd* o1, fcl::CollisionObjectd* o2, void* cdata) {
  auto* d = static_cast<FclCallbackData*>(cdata);
  ++d->candidates;
  fcl::CollisionResultd result;
  fcl::collide(o1, o2, d->request, result);
  if (result.isCollision()) {
    const int a = static_cast<int>(reinterpret_cast<std::intptr_t>(o1->getUserData()));
    const int b = static_cast<int>(reinterpret_cast<std::intptr_t>(o2->getUserData()));
    d->pairs->insert(ordered(a, b));
  }
  return false;  // go on with every candidate
}

FclRun runFcl(const std::vector<std::shared_ptr<Model>>& models, const std::vector<Leaf>& leaves) {
  FclRun out;
  std::vector<std::unique_ptr<fcl::CollisionObjectd>> objects;
  FclCallbackData data;
  data.pairs = &out.pairs;
  out.seconds = secondsOf(
      [&] {
        objects.reserve(leaves.size());
        std::vector<fcl::CollisionObjectd*> raw;
        for (size_t i = 0; i < leaves.size(); ++i) {
          objects.emplace_back(
              new fcl::CollisionObjectd(models[static_cast<size_t>(leaves[i].mesh)], fclTransform(leaves[i].world)));
          objects.back()->setUserData(reinterpret_cast<void*>(static_cast<std::intptr_t>(i)));
          raw.push_back(objects.back().get());
        }
        fcl::DynamicAABBTreeCollisionManagerd manager;
        manager.registerObjects(raw);
        manager.setup();
        manager.collide(&data, &fclPairCB);
      },
      &out.cpu);
  out.candidates = data.candidates;
  return out;
}

// ---- reporting ---------------------------------------------------------------------

// Prints the pairs of `got` missing from `want` and the other way round;
// returns true when the two sets are equal.
bool comparePairs(const char* what, const PairSet& got, const PairSet& want, const std::vector<Leaf>& leaves) {
  bool same = true;
  for (const auto& p : want) {
    if (got.count(p)) continue;
    same = false;
    std::printf("# %s: missing %s - %s\n", what, leaves[static_cast<size_t>(p.first)].name.c_str(),
                leaves[static_cast<size_t>(p.second)].name.c_str());
  }
  for (const auto& p : got) {
    if (want.count(p)) continue;
    same = false;
    std::printf("# %s: extra %s - %s\n", what, leaves[static_cast<size_t>(p.first)].name.c_str(),
                leaves[static_cast<size_t>(p.second)].name.c_str());
  }
  return same;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_assembly [--repeats N] [--size full|small | --plant N[k][,N[k]...]] [--only ours|fcl] "
               "[--dump] [--write-glb FILE]\n");
  return 2;
}

// Peak resident set of the process so far, in MB.
// What the intersection action keeps for collected instances: an action
// with its cache on collects leaf instances as side 1 (placed by their
// parents' matrices, as the run does) and glibc's heap in use (mallinfo2)
// is read after `first` and after `count` instances. Once every prototype has
// been met (the shared record count no longer grows), the heap grows by the
// per-instance cost alone: the slope is the bytes per instance, and what the
// first `first` instances took beyond that, over the local triangle count,
// the bytes per prototype triangle (our records, plus what Coin keeps on its
// nodes after generating their triangles).
void printShapeDataCost(SoKRN_MainDoc* doc, std::size_t first, std::size_t count) {
  std::vector<SoFullPath*> leaves;
  if (SoFullPath* root = topPrototypePath(doc)) {
    CGraphOperation::GetAllChildIns(doc, root, leaves, true, true);
    root->unref();
  }
  SoGetMatrixAction matrix{SbViewportRegion()};
  std::vector<SbMatrix> parents;
  const std::size_t n = std::min(count, leaves.size());
  for (std::size_t i = 0; i < n; ++i) {
    SoPath* prefix = leaves[i]->copy(0, leaves[i]->getLength() - 1);
    prefix->ref();
    matrix.apply(prefix);
    prefix->unref();
    parents.push_back(matrix.getMatrix());
  }
  if (n > first) {
    SoIntersectionDetectionExtAction action;
    const std::size_t start = mallinfo2().uordblks;
    int records = 0, triangles = 0, recordsLater = 0, trianglesLater = 0;
    for (std::size_t i = 0; i < first; ++i) action.apply1(leaves[i], parents[i]);
    const std::size_t mid = mallinfo2().uordblks;
    const std::size_t shared = action.getSharedTriangleBytes(records, triangles);
    for (std::size_t i = first; i < n; ++i) action.apply1(leaves[i], parents[i]);
    const std::size_t end = mallinfo2().uordblks;
    action.getSharedTriangleBytes(recordsLater, trianglesLater);
    const double perInstance = (static_cast<double>(end) - static_cast<double>(mid)) / static_cast<double>(n - first);
    const double firstPart = static_cast<double>(mid) - static_cast<double>(start);
    std::printf(
        "# shape data: %.0f bytes per instance (instances %zu to %zu), %.1f bytes per local triangle "
        "(%d records, %d triangles, %.1f bytes per triangle in our records alone)%s\n",
        perInstance, first, n, (firstPart - perInstance * static_cast<double>(first)) / triangles, records, triangles,
        static_cast<double>(shared) / triangles,
        recordsLater == records ? "" : " [new prototypes after the first instances: figures mixed]");
  }
  for (SoFullPath* leaf : leaves) leaf->unref();
}

double peakRssMb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// One workload end to end: ours on the document, FCL on the same
// placements; prints the '#' details and the workload line. `plantLine`
// selects the scaling line (with whole-run and FCL build times); returns
// false when a count disagrees with the design.
// One side's figures over the timed runs: best wall and CPU seconds, the
// build time of what the runs share, peak memory (ours), the pairs found and
// whether they agree with the design.
struct SideRun {
  double best = 0, cpu = 0, build = 0, rss = 0;
  std::string pairs = "n/a";
  PairSet pairSet;
  bool agree = true;
};

// Ours: the document built once (not in the time), then `repeats` timed
// checks; the best run's pairs against the design.
SideRun timeOurs(const Plant& plant, const std::vector<Leaf>& leaves, const std::map<std::string, int>& leafByPlc,
                 const PairSet& designed, int repeats, bool plantLine) {
  SideRun out;
  vx::host::SoRef<SoKRN_MainDoc> doc;
  out.build = secondsOf([&] { doc = buildDocument(plant); });
  std::printf("# ours: document built in %.3f s (not in ours_s)\n", out.build);
  if (plantLine) printShapeDataCost(doc, 2000, 6000);
  CGraphOperation::SetActiveMainDocKit(doc);
  OursRun best;
  out.best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    OursRun run = runOurs(doc, leafByPlc, leaves);
    std::printf(
        "# ours: run %d: inputs %.3f s + check %.3f s = %.3f s wall, %.3f s CPU; %lld of %lld pairs counted "
        "(skipped ones included), %d results\n",
        r + 1, run.inputs, run.run, run.inputs + run.run, run.cpu, static_cast<long long>(run.pairsTested),
        static_cast<long long>(run.pairsTotal), run.results);
    std::fflush(stdout);
    out.cpu = r == 0 ? run.cpu : std::min(out.cpu, run.cpu);
    if (run.inputs + run.run < out.best) {
      out.best = run.inputs + run.run;
      best = std::move(run);
    }
  }
  CGraphOperation::SetActiveMainDocKit(nullptr);
  doc.reset();
  out.rss = peakRssMb();
  out.pairs = std::to_string(best.results);
  if (best.unmatched) std::printf("# ours: %d results name no leaf pair\n", best.unmatched);
  std::printf("# ours: result digest %016llx\n", static_cast<unsigned long long>(best.digest));
  out.agree = comparePairs("ours vs designed", best.pairs, designed, leaves);
  out.agree = out.agree && best.unmatched == 0 && best.results == static_cast<int>(best.pairs.size());
  std::printf("# ours: %.0f instance pairs per second (wall)\n", static_cast<double>(best.pairsTested) / out.best);
  out.pairSet = best.pairs;
  return out;
}

// FCL: its models built once, then `repeats` timed runs; the best run's
// pairs against the design.
SideRun timeFcl(const Plant& plant, const std::vector<Leaf>& leaves, const PairSet& designed, int repeats,
                bool plantLine) {
  SideRun out;
  std::vector<std::shared_ptr<Model>> models;
  out.build = secondsOf([&] {
    for (const vxbench::Mesh& m : plant.meshes) models.push_back(fclModel(m));
  });
  std::printf("# fcl: %zu OBBRSS models built in %.3f s (%s)\n", models.size(), out.build,
              plantLine ? "in fcl_s" : "not in fcl_s");
  FclRun best;
  out.best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    FclRun run = runFcl(models, leaves);
    out.cpu = r == 0 ? run.cpu : std::min(out.cpu, run.cpu);
    if (run.seconds < out.best) {
      out.best = run.seconds;
      best = std::move(run);
    }
  }
  std::printf("# fcl: %ld broad-phase candidate pairs narrow-phase tested\n", best.candidates);
  out.pairs = std::to_string(best.pairs.size());
  out.agree = comparePairs("fcl vs designed", best.pairs, designed, leaves);
  out.pairSet = best.pairs;
  return out;
}

bool runWorkload(const Plant& plant, const std::string& workload, int repeats, bool doOurs, bool doFcl,
                 bool plantLine) {
  const std::vector<Leaf> leaves = plant.leaves();
  long placedTriangles = 0;
  int parts = 0;
  for (const Leaf& l : leaves) placedTriangles += plant.meshes[static_cast<size_t>(l.mesh)].numTriangles();
  for (const vxbench::Proto& p : plant.protos) parts += p.mesh >= 0 ? 1 : 0;
  std::map<std::string, int> leafByPlc, leafByName;
  for (size_t i = 0; i < leaves.size(); ++i) {
    leafByPlc[leaves[i].plcPath] = static_cast<int>(i);
    leafByName[leaves[i].name] = static_cast<int>(i);
  }
  PairSet designed;
  for (const auto& d : plant.designed) designed.insert(ordered(leafByName.at(d.first), leafByName.at(d.second)));
  std::printf(
      "# %s: %zu leaf instances, %d part prototypes, %d sub-assembly prototypes, %ld placed triangles, "
      "%zu designed clashes, %d timed runs\n",
      workload.c_str(), leaves.size(), parts, static_cast<int>(plant.protos.size()) - parts - 1, placedTriangles,
      designed.size(), repeats);
  std::fflush(stdout);

  const SideRun ours = doOurs ? timeOurs(plant, leaves, leafByPlc, designed, repeats, plantLine) : SideRun();
  const SideRun fcl = doFcl ? timeFcl(plant, leaves, designed, repeats, plantLine) : SideRun();
  bool agree = ours.agree && fcl.agree;
  if (doOurs && doFcl && ours.pairSet != fcl.pairSet) {
    agree = false;
    comparePairs("ours vs fcl", ours.pairSet, fcl.pairSet, leaves);
  }

  if (plantLine) {
    // ours_s: inside the check (inputs and run); ours_wall_s: document
    // building plus the check, as a whole `vistrel check` minus reading the
    // file; fcl_s: OBBRSS models, objects, broad phase and collide.
    std::printf(
        "workload=%s ours_s=%.3f ours_wall_s=%.3f fcl_s=%.4f pairs_ours=%s pairs_fcl=%s rss_mb=%.0f "
        "designed=%zu\n",
        workload.c_str(), ours.best, ours.build + ours.best, fcl.best + fcl.build, ours.pairs.c_str(),
        fcl.pairs.c_str(), ours.rss, designed.size());
  } else {
    std::printf("workload=%s ours_s=%.3f fcl_s=%.4f pairs_ours=%s pairs_fcl=%s designed=%zu\n", workload.c_str(),
                ours.best, fcl.best, ours.pairs.c_str(), fcl.pairs.c_str(), designed.size());
  }
  std::printf("# CPU seconds, best of the runs: ours %.3f, fcl %.4f\n", ours.cpu, fcl.cpu);
  if (doOurs && doFcl)
    std::printf("# ours/fcl time ratio, FCL run without its models: %.1fx (wall), %.1fx (CPU)\n", ours.best / fcl.best,
                ours.cpu / fcl.cpu);
  std::printf("# %s\n", agree ? "counts agree with the design" : "MISMATCH with the design (see above)");
  std::fflush(stdout);
  return agree;
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = 2;
  vxbench::Sizes size = vxbench::Sizes::Full;
  bool doOurs = true, doFcl = true;
  std::vector<int> plantSizes;
  std::string glbPath;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--repeats" && hasValue) {
      repeats = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--size" && hasValue) {
      const std::string v = argv[++i];
      if (v != "full" && v != "small") return usage();
      size = v == "full" ? vxbench::Sizes::Full : vxbench::Sizes::Small;
    } else if (a == "--plant" && hasValue) {
      std::string v = argv[++i];
      for (size_t at = 0; at <= v.size();) {
        const size_t comma = std::min(v.find(',', at), v.size());
        const std::string item = v.substr(at, comma - at);
        char* end = nullptr;
        const long k = std::strtol(item.c_str(), &end, 10);
        const long mult = end && (*end == 'k' || *end == 'K') ? 1000 : 1;
        if (item.empty() || k <= 0 || (end && *end && mult == 1) || k * mult > 2000000) return usage();
        plantSizes.push_back(static_cast<int>(k * mult));
        at = comma + 1;
      }
    } else if (a == "--only" && hasValue) {
      const std::string v = argv[++i];
      if (v != "ours" && v != "fcl") return usage();
      doOurs = v == "ours";
      doFcl = v == "fcl";
    } else if (a == "--dump") {
      g_dump = true;
    } else if (a == "--write-glb" && hasValue) {
      glbPath = argv[++i];
    } else {
      return usage();
    }
  }

  if (!glbPath.empty()) {
    if (plantSizes.size() != 1) return usage();
    return vxbench::WritePlantGlb(vxbench::MakeInstancedPlant(plantSizes[0]), glbPath) ? 0 : 1;
  }

  VistrelHostInit();
  initVistrelExtClass();

  bool agree = true;
  if (plantSizes.empty()) {
    const char* workload = size == vxbench::Sizes::Full ? "assembly1000" : "assembly_small";
    agree = runWorkload(vxbench::MakePlant(size), workload, repeats, doOurs, doFcl, false);
  }
  for (int n : plantSizes) {
    const std::string workload = n % 1000 == 0 ? "plant" + std::to_string(n / 1000) + "k" : "plant" + std::to_string(n);
    agree = runWorkload(vxbench::MakeInstancedPlant(n), workload, repeats, doOurs, doFcl, true) && agree;
  }
  return agree ? 0 : 1;
}
