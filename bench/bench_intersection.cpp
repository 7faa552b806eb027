// Benchmark of the intersection action against Coin's own intersection
// detection action and FCL, on the same triangles in the same process.
//
// Workloads (deterministic: fixed seeds, fixed tessellations):
//   env_rob       FCL's mesh pair (env.obj x rob.obj) at 100 random poses of
//                 rob: random rotation, translation up to 3000 units.
//   spheres_10k   two partially overlapping tessellated spheres, ~10k
//   spheres_100k  triangles each (~100k for the second workload).
//   *_eps         the sphere workloads with epsilon = 1 % of the sphere size.
//
// Peers:
//   ours       SoIntersectionDetectionExtAction in two-group mode, used the way
//              an interference run uses it: the static side's shape data stay
//              cached across calls (same path object), the moved side is
//              gathered afresh at each pose (a new path object). For the
//              static spheres "ours" is the repeated test with both sides
//              cached (steady state) and "ours_cold" the first test with an
//              empty cache. For env_rob "ours_cold" starts the 100 poses with
//              an empty cache.
//   coin       Coin's SoIntersectionDetectionAction on the same scene built
//              from plain SoIndexedFaceSet shapes (it caches nothing).
//   fcl        FCL 0.7, OBBRSS models built once per mesh (build time printed
//              on its own line), asking for all contacts; for the epsilon
//              workloads a distance query (which yields one distance, not
//              pairs: pairs_fcl=n/a).
//
// Each time is the best of N runs, in seconds. One line per workload:
//   workload=<name> ours_s=.. ours_cold_s=.. coin_s=.. fcl_s=.. pairs_ours=..
//   pairs_coin=.. pairs_fcl=..
//
// Cut faces: one more line per workload, the same two meshes placed in a
// document and checked by a CCollisionManager (one pair, as `vistrel check`
// runs it), with and without cut faces, against CGAL's corefinement
// (corefine_and_compute_intersection, then volume) of the same placed meshes:
//   workload=<name>+cut_faces run_s=.. run_nocut_s=.. cgal_s=.. volume_ours=..
//   volume_cgal=..
// run_s - run_nocut_s is what the cut faces cost. env_rob's meshes are not
// closed, so it has no volume and no CGAL figure (n/a).
// Lines starting with '#' carry extra figures (build times, ratios).
// VX_SEARCH_THREADS=N in the environment sets the threads that share a
// large pair's triangle search in ours (default: the hardware concurrency).
#include <Inventor/SbRotation.h>
#include <Inventor/SoDB.h>
#include <Inventor/SoPath.h>
#include <Inventor/collision/SoIntersectionDetectionAction.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>
#include <fcl/fcl.h>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Surface_mesh.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/FclModel.h"
#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/OmbrelTools.h"
#include "host/SoBrepFaceSet.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
#include "host/VistrelHost.h"
#include "intersection/SoIntersectionDetectionExtAction.h"
#include "module/VistrelExt.h"

namespace {

struct Mesh {
  std::vector<SbVec3f> points;
  std::vector<int32_t> tris;  // three indices per triangle
  int numTriangles() const { return static_cast<int>(tris.size() / 3); }
};

// Vertices and faces of a Wavefront OBJ file; polygons are fanned.
Mesh loadObj(const std::string& file) {
  Mesh m;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string tag;
    s >> tag;
    if (tag == "v") {
      float x, y, z;
      s >> x >> y >> z;
      m.points.push_back(SbVec3f(x, y, z));
    } else if (tag == "f") {
      std::vector<int32_t> face;
      std::string corner;
      while (s >> corner) face.push_back(std::stoi(corner.substr(0, corner.find('/'))) - 1);
      for (size_t k = 2; k < face.size(); ++k) m.tris.insert(m.tris.end(), {face[0], face[k - 1], face[k]});
    }
  }
  return m;
}

// Closed UV sphere with 2 * slices * (stacks - 1) triangles.
Mesh uvSphere(float radius, int slices, int stacks) {
  Mesh m;
  const double pi = 3.14159265358979323846;
  m.points.push_back(SbVec3f(0, 0, radius));
  for (int i = 1; i < stacks; ++i) {
    const double phi = pi * i / stacks;
    for (int j = 0; j < slices; ++j) {
      const double theta = 2 * pi * j / slices;
      m.points.push_back(SbVec3f(static_cast<float>(radius * std::sin(phi) * std::cos(theta)),
                                 static_cast<float>(radius * std::sin(phi) * std::sin(theta)),
                                 static_cast<float>(radius * std::cos(phi))));
    }
  }
  m.points.push_back(SbVec3f(0, 0, -radius));
  const int south = static_cast<int>(m.points.size()) - 1;
  auto ring = [&](int i, int j) { return 1 + (i - 1) * slices + (j % slices); };
  for (int j = 0; j < slices; ++j) m.tris.insert(m.tris.end(), {0, ring(1, j), ring(1, j + 1)});
  for (int i = 1; i < stacks - 1; ++i) {
    for (int j = 0; j < slices; ++j) {
      m.tris.insert(m.tris.end(), {ring(i, j), ring(i + 1, j), ring(i + 1, j + 1)});
      m.tris.insert(m.tris.end(), {ring(i, j), ring(i + 1, j + 1), ring(i, j + 1)});
    }
  }
  for (int j = 0; j < slices; ++j) m.tris.insert(m.tris.end(), {ring(stacks - 1, j), south, ring(stacks - 1, j + 1)});
  return m;
}

struct Pose {
  SbRotation rotation;
  SbVec3f translation;
};

// Uniform random rotations (Shoemake) and translations in [-3000, 3000]^3.
std::vector<Pose> randomPoses(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0), t(-3000.0, 3000.0);
  std::vector<Pose> poses;
  for (int i = 0; i < n; ++i) {
    const double u1 = u(rng), u2 = 2 * M_PI * u(rng), u3 = 2 * M_PI * u(rng);
    const double a = std::sqrt(1 - u1), b = std::sqrt(u1);
    Pose p;
    p.rotation.setValue(static_cast<float>(a * std::sin(u2)), static_cast<float>(a * std::cos(u2)),
                        static_cast<float>(b * std::sin(u3)), static_cast<float>(b * std::cos(u3)));
    p.translation.setValue(static_cast<float>(t(rng)), static_cast<float>(t(rng)), static_cast<float>(t(rng)));
    poses.push_back(p);
  }
  return poses;
}

// Wall time and this thread's CPU time of one call, in seconds. The CPU
// time is printed beside the wall time: on a shared machine it is the
// steadier figure.
struct Time {
  double wall = 1e300;
  double cpu = 1e300;
};

double threadCpu() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// CPU time of the whole process: the manager works on a thread of its own.
double processCpu() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The least process CPU time of n runs of fn.
double bestProcessCpu(int n, const std::function<void()>& fn) {
  double best = 1e300;
  for (int i = 0; i < n; ++i) {
    const double t0 = processCpu();
    fn();
    best = std::min(best, processCpu() - t0);
  }
  return best;
}

Time seconds(const std::function<void()>& fn) {
  const double cpu0 = threadCpu();
  const auto start = std::chrono::steady_clock::now();
  fn();
  Time t;
  t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.cpu = threadCpu() - cpu0;
  return t;
}

// Best of n runs, wall and CPU time each.
Time bestOf(int n, const std::function<void()>& fn) {
  Time best;
  for (int i = 0; i < n; ++i) {
    const Time t = seconds(fn);
    best.wall = std::min(best.wall, t.wall);
    best.cpu = std::min(best.cpu, t.cpu);
  }
  return best;
}

// --- Coin scenes ----------------------------------------------------------------

// An instance SoSeparator { SoTransform; SoCoordinate3; shape } where shape is
// an SoBrepFaceSet (ours) or an SoIndexedFaceSet (Coin's action).
SoSeparator* instance(const Mesh& m, bool brep, SoTransform** xfOut) {
  auto* sep = new SoSeparator;
  auto* xf = new SoTransform;
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, static_cast<int>(m.points.size()), m.points.data());
  SoIndexedFaceSet* shape = brep ? new SoBrepFaceSet : new SoIndexedFaceSet;
  std::vector<int32_t> idx;
  idx.reserve(m.tris.size() / 3 * 4);
  for (size_t i = 0; i < m.tris.size(); i += 3) idx.insert(idx.end(), {m.tris[i], m.tris[i + 1], m.tris[i + 2], -1});
  shape->coordIndex.setValues(0, static_cast<int>(idx.size()), idx.data());
  sep->addChild(xf);
  sep->addChild(coords);
  sep->addChild(shape);
  if (xfOut) *xfOut = xf;
  return sep;
}

struct TwoInstances {
  vx::host::SoRef<SoSeparator> root;
  SoTransform* xf[2];
  TwoInstances(const Mesh& a, const Mesh& b, bool brep) : root(new SoSeparator) {
    root->addChild(instance(a, brep, &xf[0]));
    root->addChild(instance(b, brep, &xf[1]));
  }
  vx::host::SoRef<SoPath> newPath(int child) {
    vx::host::SoRef<SoPath> p(new SoPath(root));
    p->append(root->getChild(child));
    return p;
  }
};

// Set VX_BENCH_OURS_ONLY=1 to skip the peers (for profiling our side).
bool oursOnly() {
  const char* v = std::getenv("VX_BENCH_OURS_ONLY");
  return v && std::atoi(v) > 0;
}

long g_ourPairs = 0;
// VX_SEARCH_THREADS, or 0 (the hardware concurrency).
int searchThreads() {
  const char* v = std::getenv("VX_SEARCH_THREADS");
  return v ? std::atoi(v) : 0;
}

SoIntersectionDetectionExtAction::Resp countOurs(void*, const SoIntersectingPrimitive*, const SoIntersectingPrimitive*,
                                                 float) {
  ++g_ourPairs;
  return SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;
}

long g_coinPairs = 0;
SoIntersectionDetectionAction::Resp countCoin(void*, const SoIntersectingPrimitive*, const SoIntersectingPrimitive*) {
  ++g_coinPairs;
  return SoIntersectionDetectionAction::NEXT_PRIMITIVE;
}

// --- FCL ------------------------------------------------------------------------

using Model = vxbench::FclModel;

std::shared_ptr<Model> fclModel(const Mesh& m) {
  std::vector<fcl::Vector3d> pts;
  for (const SbVec3f& p : m.points) pts.emplace_back(p[0], p[1], p[2]);
  return vxbench::MakeFclModel(pts, m.tris);
}

fcl::Transform3d fclPose(const SbRotation& r, const SbVec3f& t) {
  float x, y, z, w;
  r.getValue(x, y, z, w);
  fcl::Transform3d tf = fcl::Transform3d::Identity();
  tf.linear() = fcl::Quaterniond(w, x, y, z).toRotationMatrix();
  tf.translation() = fcl::Vector3d(t[0], t[1], t[2]);
  return tf;
}

long fclContacts(fcl::CollisionObjectd& a, fcl::CollisionObjectd& b) {
  fcl::CollisionRequestd request(100000000, false);
  fcl::CollisionResultd result;
  fcl::collide(&a, &b, request, result);
  return static_cast<long>(result.numContacts());
}

double fclDistance(fcl::CollisionObjectd& a, fcl::CollisionObjectd& b) {
  fcl::DistanceRequestd request;
  fcl::DistanceResultd result;
  fcl::distance(&a, &b, request, result);
  return result.min_distance;
}

void printLine(const char* name, const Time& ours, const Time& oursCold, const Time& coin, const Time& fcl, long pOurs,
               long pCoin, const std::string& pFcl) {
  if (oursOnly()) {
    std::printf("workload=%s ours_s=%.6f ours_cold_s=%.6f (peers skipped) pairs_ours=%ld\n", name, ours.wall,
                oursCold.wall, pOurs);
    return;
  }
  std::printf(
      "workload=%s ours_s=%.6f ours_cold_s=%.6f coin_s=%.6f fcl_s=%.6f pairs_ours=%ld pairs_coin=%ld "
      "pairs_fcl=%s\n",
      name, ours.wall, oursCold.wall, coin.wall, fcl.wall, pOurs, pCoin, pFcl.c_str());
  std::printf(
      "# %s: cpu ours %.6f ours_cold %.6f coin %.6f fcl %.6f; coin/ours %.1fx (cpu %.1fx), fcl/ours %.2fx (cpu "
      "%.2fx)\n",
      name, ours.cpu, oursCold.cpu, coin.cpu, fcl.cpu, coin.wall / ours.wall, coin.cpu / ours.cpu, fcl.wall / ours.wall,
      fcl.cpu / ours.cpu);
  std::fflush(stdout);
}

// --- cut faces ------------------------------------------------------------------

SbMatrix poseMatrix(const SbRotation& r, const SbVec3f& t) {
  SbMatrix m;
  m.setTransform(t, r, SbVec3f(1, 1, 1));
  return m;
}

std::vector<float> flatXyz(const Mesh& m) {
  std::vector<float> xyz;
  for (const SbVec3f& p : m.points) xyz.insert(xyz.end(), {p[0], p[1], p[2]});
  return xyz;
}

// Mesh b placed at each pose against mesh a at the origin, in a document:
// one manager run per pose, the volumes of all results summed.
struct CutFaceScene {
  vx::host::SoRef<SoKRN_MainDoc> doc;
  std::vector<SbMatrix> poses;
  CutFaceScene(const Mesh& a, const Mesh& b, std::vector<SbMatrix> placements)
      : doc(vx::host::NewDocument()), poses(std::move(placements)) {
    SoKRN_ComponentKit* top = doc->getTopPrototype();
    vx::host::PlaceInstance(
        doc, top, vx::host::MakePartPrototype(doc, L"A", flatXyz(a), std::vector<int>(a.tris.begin(), a.tris.end())),
        SbMatrix::identity(), L"A", 1);
    vx::host::PlaceInstance(
        doc, top, vx::host::MakePartPrototype(doc, L"B", flatXyz(b), std::vector<int>(b.tris.begin(), b.tris.end())),
        poses.front(), L"B", 2);
  }

  double run(bool cutFaces, float eps) {
    double volume = 0;
    for (const SbMatrix& pose : poses) {
      CGraphOperation::SetInsMatrixByPlcPath(doc, "2", pose, false);
      auto* m = new CCollisionManager(doc, "CollisionManager");
      m->m_nSearchThreads = searchThreads();
      auto* a = new SoPath(4);
      auto* b = new SoPath(4);
      OmbrelTools::StrPathToSoPath(doc, "1", *a);
      OmbrelTools::StrPathToSoPath(doc, "2", *b);
      SoPathList group1;
      group1.append(a);
      group1.append(b);
      m->AddIns1(&group1, 0);
      m->m_fTolerance = eps;
      m->m_nCalcType = 1;
      m->m_bCalcCrossMesh = cutFaces ? 1 : 0;
      m->StartCalculate();
      while (m->m_pThread.load() != 0 || m->m_bRunning.load() != 0)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      for (const _collisionResult& r : m->Results()) volume += r.fCompacity;
      delete m;
    }
    return volume;
  }
};

using CgalKernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using CgalMesh = CGAL::Surface_mesh<CgalKernel::Point_3>;

CgalMesh cgalMesh(const Mesh& m, const SbMatrix& placement) {
  CgalMesh out;
  std::vector<CgalMesh::Vertex_index> v;
  for (const SbVec3f& p : m.points) {
    SbVec3f w;
    placement.multVecMatrix(p, w);
    v.push_back(out.add_vertex(CgalKernel::Point_3(w[0], w[1], w[2])));
  }
  for (size_t i = 0; i + 2 < m.tris.size(); i += 3) out.add_face(v[m.tris[i]], v[m.tris[i + 1]], v[m.tris[i + 2]]);
  return out;
}

// The cut-face line of a workload. `closed`: the meshes bound volumes, so
// CGAL's corefinement can be the peer.
void cutFaceLine(const char* name, const Mesh& a, const Mesh& b, const std::vector<SbMatrix>& poses, float eps,
                 bool closed, int repeats) {
  CutFaceScene scene(a, b, poses);
  double volume = 0;
  const Time on = bestOf(repeats, [&] { volume = scene.run(true, eps); });
  const Time off = bestOf(repeats, [&] { scene.run(false, eps); });
  Time cgal;
  double cgalVolume = 0;
  if (closed && !oursOnly()) {
    cgal = bestOf(repeats, [&] {
      cgalVolume = 0;
      for (const SbMatrix& pose : poses) {
        CgalMesh ma = cgalMesh(a, SbMatrix::identity()), mb = cgalMesh(b, pose), out;
        if (CGAL::Polygon_mesh_processing::corefine_and_compute_intersection(ma, mb, out))
          cgalVolume += CGAL::to_double(CGAL::Polygon_mesh_processing::volume(out));
      }
    });
  }
  const std::string full = std::string(name) + "+cut_faces";
  if (closed && !oursOnly()) {
    std::printf("workload=%s run_s=%.6f run_nocut_s=%.6f cgal_s=%.6f volume_ours=%.6g volume_cgal=%.6g\n", full.c_str(),
                on.wall, off.wall, cgal.wall, volume, cgalVolume);
    std::printf("# %s: cut faces cost %.6f s; cgal/ours %.1fx (whole run with cut faces), volume difference %.3g %%\n",
                full.c_str(), on.wall - off.wall, cgal.wall / on.wall, 100.0 * (volume - cgalVolume) / cgalVolume);
    // The same in process CPU time, which a loaded machine disturbs less than wall time.
    const double onCpu = bestProcessCpu(repeats, [&] { scene.run(true, eps); });
    const double offCpu = bestProcessCpu(repeats, [&] { scene.run(false, eps); });
    const double cgalCpu = bestProcessCpu(repeats, [&] {
      for (const SbMatrix& pose : poses) {
        CgalMesh ma = cgalMesh(a, SbMatrix::identity()), mb = cgalMesh(b, pose), out;
        CGAL::Polygon_mesh_processing::corefine_and_compute_intersection(ma, mb, out);
      }
    });
    std::printf("# %s: process cpu: run %.6f s, without cut faces %.6f s, cut faces %.6f s, cgal %.6f s\n",
                full.c_str(), onCpu, offCpu, onCpu - offCpu, cgalCpu);
  } else {
    // Without closed meshes (or without the peer) the volume means nothing.
    std::printf("workload=%s run_s=%.6f run_nocut_s=%.6f cgal_s=n/a volume_ours=%s volume_cgal=n/a\n", full.c_str(),
                on.wall, off.wall, closed ? std::to_string(volume).c_str() : "n/a");
  }
  std::fflush(stdout);
}

// --- workloads ------------------------------------------------------------------

void envRob(const std::string& dataDir, int repeats) {
  const Mesh env = loadObj(dataDir + "/fcl/env.obj");
  const Mesh rob = loadObj(dataDir + "/fcl/rob.obj");
  const std::vector<Pose> poses = randomPoses(100, 20240601u);
  std::vector<SbMatrix> placements;
  for (const Pose& p : poses) placements.push_back(poseMatrix(p.rotation, p.translation));
  std::printf("# env_rob: env %d triangles, rob %d triangles, %zu poses\n", env.numTriangles(), rob.numTriangles(),
              poses.size());

  // Ours: env cached under one path object; rob gets a new path per pose.
  TwoInstances ours(env, rob, true);
  const vx::host::SoRef<SoPath> envPath = ours.newPath(0);
  std::vector<vx::host::SoRef<SoPath>> robPaths;  // kept alive: a freed path's address must not come back as a key
  SoIntersectionDetectionExtAction action;
  action.setSearchThreads(searchThreads());
  action.addIntersectionCallback(&countOurs, nullptr);
  auto runOurs = [&] {
    g_ourPairs = 0;
    for (const Pose& p : poses) {
      ours.xf[1]->rotation = p.rotation;
      ours.xf[1]->translation = p.translation;
      robPaths.push_back(ours.newPath(1));
      action.apply1(envPath);
      action.apply2(robPaths.back());
    }
  };
  const Time oursCold = bestOf(repeats, [&] {
    action.clearInsShapeData();
    runOurs();
  });
  // Steady state: env gathered and its octree built beforehand (one pose run
  // untimed); the cache is cleared first so that the rob entries of earlier
  // repetitions do not pile up.
  Time oursSteady;
  for (int r = 0; r < repeats; ++r) {
    action.clearInsShapeData();
    robPaths.push_back(ours.newPath(1));
    action.apply1(envPath);
    action.apply2(robPaths.back());
    const Time t = seconds(runOurs);
    oursSteady.wall = std::min(oursSteady.wall, t.wall);
    oursSteady.cpu = std::min(oursSteady.cpu, t.cpu);
  }
  const long pairsOurs = g_ourPairs;
  if (oursOnly()) {
    printLine("env_rob", oursSteady, oursCold, Time(), Time(), pairsOurs, 0, "-");
    cutFaceLine("env_rob", env, rob, placements, 0.0f, false, std::max(1, repeats / 2));
    return;
  }

  TwoInstances coinScene(env, rob, false);
  SoIntersectionDetectionAction coin;
  coin.addIntersectionCallback(&countCoin, nullptr);
  auto runCoin = [&] {
    g_coinPairs = 0;
    for (const Pose& p : poses) {
      coinScene.xf[1]->rotation = p.rotation;
      coinScene.xf[1]->translation = p.translation;
      coin.apply(coinScene.root);
    }
  };
  const Time coinTime = bestOf(std::max(1, repeats / 2), runCoin);

  std::shared_ptr<Model> envModel, robModel;
  const Time build = seconds([&] {
    envModel = fclModel(env);
    robModel = fclModel(rob);
  });
  std::printf("# env_rob: FCL OBBRSS build %.6f s (not in fcl_s)\n", build.wall);
  fcl::CollisionObjectd envObj(envModel, fcl::Transform3d::Identity());
  fcl::CollisionObjectd robObj(robModel, fcl::Transform3d::Identity());
  long pairsFcl = 0;
  const Time fclTime = bestOf(repeats, [&] {
    pairsFcl = 0;
    for (const Pose& p : poses) {
      robObj.setTransform(fclPose(p.rotation, p.translation));
      pairsFcl += fclContacts(envObj, robObj);
    }
  });

  printLine("env_rob", oursSteady, oursCold, coinTime, fclTime, pairsOurs, g_coinPairs, std::to_string(pairsFcl));
  cutFaceLine("env_rob", env, rob, placements, 0.0f, false, std::max(1, repeats / 2));

  action.clearInsShapeData();
}

void spheres(const char* name, int slices, int stacks, float eps, int repeats) {
  // Unit spheres 1.3 apart with different tessellations and a turn of the
  // second one, so that no two triangles are in special position.
  const Mesh a = uvSphere(1.0f, slices, stacks);
  const Mesh b = uvSphere(1.0f, slices + 2, stacks - 1);
  const SbVec3f offset(1.3f, 0.137f, 0.071f);
  const SbRotation turn(SbVec3f(0.3f, 0.5f, 0.8f), 0.61f);
  std::printf("# %s: %d x %d triangles, eps %g\n", name, a.numTriangles(), b.numTriangles(), eps);

  TwoInstances ours(a, b, true);
  ours.xf[1]->translation = offset;
  ours.xf[1]->rotation = turn;
  const vx::host::SoRef<SoPath> pa = ours.newPath(0), pb = ours.newPath(1);
  SoIntersectionDetectionExtAction action;
  action.setSearchThreads(searchThreads());
  action.setIntersectionDetectionEpsilon(eps);
  action.addIntersectionCallback(&countOurs, nullptr);
  auto runOurs = [&] {
    g_ourPairs = 0;
    action.apply1(pa);
    action.apply2(pb);
  };
  const Time oursCold = bestOf(std::max(1, repeats / 2), [&] {
    action.clearInsShapeData();
    runOurs();
  });
  const Time oursSteady = bestOf(repeats, runOurs);
  const long pairsOurs = g_ourPairs;
  if (oursOnly()) {
    printLine(name, oursSteady, oursCold, Time(), Time(), pairsOurs, 0, "-");
    cutFaceLine(name, a, b, {poseMatrix(turn, offset)}, eps, true, std::max(1, repeats / 2));
    return;
  }

  TwoInstances coinScene(a, b, false);
  coinScene.xf[1]->translation = offset;
  coinScene.xf[1]->rotation = turn;
  SoIntersectionDetectionAction coin;
  coin.setIntersectionDetectionEpsilon(eps);
  coin.addIntersectionCallback(&countCoin, nullptr);
  const Time coinTime = bestOf(std::max(1, repeats / 2), [&] {
    g_coinPairs = 0;
    coin.apply(coinScene.root);
  });

  std::shared_ptr<Model> ma, mb;
  const Time build = seconds([&] {
    ma = fclModel(a);
    mb = fclModel(b);
  });
  std::printf("# %s: FCL OBBRSS build %.6f s (not in fcl_s)\n", name, build.wall);
  fcl::CollisionObjectd oa(ma, fcl::Transform3d::Identity());
  fcl::CollisionObjectd ob(mb, fclPose(turn, offset));
  std::string pairsFcl = "n/a";
  Time fclTime;
  if (eps > 0.0f) {
    double d = 0;
    fclTime = bestOf(repeats, [&] { d = fclDistance(oa, ob); });
    std::printf("# %s: FCL distance %g\n", name, d);
  } else {
    long n = 0;
    fclTime = bestOf(repeats, [&] { n = fclContacts(oa, ob); });
    pairsFcl = std::to_string(n);
  }
  printLine(name, oursSteady, oursCold, coinTime, fclTime, pairsOurs, g_coinPairs, pairsFcl);
  cutFaceLine(name, a, b, {poseMatrix(turn, offset)}, eps, true, std::max(1, repeats / 2));

  action.clearInsShapeData();
}

}  // namespace

int main(int argc, char** argv) {
  VistrelHostInit();
  initVistrelExtClass();
  if (SoIntersectionDetectionAction::getClassTypeId().isBad()) SoIntersectionDetectionAction::initClass();
  // Arguments: [repeats (default 5)] [workload name to run alone]
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string only = argc > 2 ? argv[2] : "";
  auto wanted = [&](const char* name) { return only.empty() || only == name; };
  if (wanted("env_rob")) envRob(VX_SHARED_DATA_DIR, repeats);
  // ~10k and ~100k triangles per sphere; eps = 1 % of the sphere's diameter.
  if (wanted("spheres_10k")) spheres("spheres_10k", 72, 70, 0.0f, repeats);
  if (wanted("spheres_10k_eps")) spheres("spheres_10k_eps", 72, 70, 0.02f, repeats);
  if (wanted("spheres_100k")) spheres("spheres_100k", 224, 224, 0.0f, repeats);
  if (wanted("spheres_100k_eps")) spheres("spheres_100k_eps", 224, 224, 0.02f, repeats);
  return 0;
}
