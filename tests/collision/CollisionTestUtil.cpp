#include "collision/CollisionTestUtil.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Surface_mesh.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/lists/SoPathList.h>

#include <algorithm>
#include <array>
#include <map>

#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "intersection/SbTri3f.h"
#include "platform/Platform.h"

namespace vxtest {

FlatAssembly::~FlatAssembly() = default;

FlatAssembly* NewFlatAssembly(const std::vector<Mesh>& protos) {
  auto* a = new FlatAssembly;
  a->doc.reset(vx::host::NewDocument());
  for (std::size_t i = 0; i < protos.size(); ++i) {
    a->protos.push_back(vx::host::MakePartPrototype(a->doc, L"P" + std::to_wstring(i), protos[i].xyz, protos[i].tris));
  }
  return a;
}

std::string FlatAssembly::Place(int proto, const SbVec3f& t, const SbRotation& r) {
  SbMatrix m;
  m.setTransform(t, r, SbVec3f(1, 1, 1));
  ++count;
  vx::host::PlaceInstance(doc, doc->getTopPrototype(), protos[static_cast<std::size_t>(proto)], m,
                          L"I" + std::to_wstring(count), count);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", count);
  return buf;
}

void FlatAssembly::Paths(int first, int last, SoPathList& out) const {
  for (int k = first; k < last; ++k) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", k + 1);
    PathHolder p(PathTo(doc, buf));
    if (p.get()) out.append(p.get());
  }
}

static std::string plc(const SoPath* p) {
  std::string s;
  CGraphOperation::GetNodePlcPath(p, s, true);
  return s;
}

std::set<std::pair<std::string, std::string>> ResultPairs(CCollisionManager& m) {
  std::set<std::pair<std::string, std::string>> out;
  for (const _collisionResult& r : m.Results()) {
    std::string a = plc(r.pPath1), b = plc(r.pPath2);
    if (b < a) std::swap(a, b);
    out.emplace(a, b);
  }
  return out;
}

std::set<std::pair<std::string, std::string>> BruteForcePairs(const std::vector<SoFullPath*>& paths, float eps) {
  std::vector<std::vector<SbTri3f>> tris(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::vector<float> w = WorldTriangles(paths[i]);
    for (std::size_t k = 0; k + 8 < w.size(); k += 9) {
      tris[i].emplace_back(SbVec3f(w[k], w[k + 1], w[k + 2]), SbVec3f(w[k + 3], w[k + 4], w[k + 5]),
                           SbVec3f(w[k + 6], w[k + 7], w[k + 8]));
    }
  }
  std::set<std::pair<std::string, std::string>> out;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    for (std::size_t j = i + 1; j < paths.size(); ++j) {
      bool hit = false;
      for (const SbTri3f& a : tris[i]) {
        SbBox3f grown = a.getBoundingBox();
        grown.extendBy(grown.getMax() + SbVec3f(eps, eps, eps));
        grown.extendBy(grown.getMin() - SbVec3f(eps, eps, eps));
        for (const SbTri3f& b : tris[j]) {
          // Boxes farther apart than eps cannot hold triangles within eps.
          if (!grown.intersect(b.getBoundingBox())) continue;
          if (eps > 0 ? a.getDistance(b) <= eps : a.intersect(b)) {
            hit = true;
            break;
          }
        }
        if (hit) break;
      }
      if (!hit) continue;
      std::string x = plc(paths[i]), y = plc(paths[j]);
      if (y < x) std::swap(x, y);
      out.emplace(x, y);
    }
  }
  return out;
}

void RunAndWait(CCollisionManager& m) {
  m.StartCalculate();
  while (m.m_pThread.load() != 0 || m.m_bRunning.load() != 0) vx::platform::SleepMs(1);
}

static vx::platform::MessageAnswer record(const std::wstring& text, vx::platform::MessageKind, void* data) {
  static_cast<MessageRecorder*>(data)->messages.push_back(text);
  return vx::platform::MessageAnswer::Ok;
}

MessageRecorder::MessageRecorder() { vx::platform::SetMessageHandler(&record, this); }
MessageRecorder::~MessageRecorder() { vx::platform::SetMessageHandler(nullptr, nullptr); }

double CorefinedVolume(SoFullPath* a, SoFullPath* b) {
  using K = CGAL::Exact_predicates_inexact_constructions_kernel;
  using SurfaceMesh = CGAL::Surface_mesh<K::Point_3>;
  auto toMesh = [](SoFullPath* path) {
    const std::vector<float> w = WorldTriangles(path);
    SurfaceMesh mesh;
    std::map<std::array<float, 3>, SurfaceMesh::Vertex_index> index;
    auto vertex = [&](std::size_t k) {
      const std::array<float, 3> key = {w[k], w[k + 1], w[k + 2]};
      auto it = index.find(key);
      if (it != index.end()) return it->second;
      return index[key] = mesh.add_vertex(K::Point_3(w[k], w[k + 1], w[k + 2]));
    };
    for (std::size_t k = 0; k + 8 < w.size(); k += 9) mesh.add_face(vertex(k), vertex(k + 3), vertex(k + 6));
    return mesh;
  };
  SurfaceMesh ma = toMesh(a), mb = toMesh(b), out;
  if (!CGAL::Polygon_mesh_processing::corefine_and_compute_intersection(ma, mb, out)) return -1;
  return CGAL::Polygon_mesh_processing::volume(out);
}

}  // namespace vxtest
