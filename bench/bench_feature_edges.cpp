// Feature-edge extraction (host/FeatureEdges) against CGAL's sharp-edge
// detection on the same meshes, in the same run. CGAL's time includes
// building its Surface_mesh from the arrays (ours starts from the arrays
// too) and finds sharp edges only; ours also chains and fits them.
//
// Workloads: a UV sphere (no feature edges) and a box with each face split
// into k x k quads (12 feature lines), at three sizes; best of 5 wall times.
// Usage: bench_feature_edges
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/detect_features.h>
#include <CGAL/Surface_mesh.h>

#include "host/FeatureEdges.h"

namespace {

struct Mesh {
  std::vector<float> xyz;
  std::vector<int> tris;
};

Mesh Sphere(int slices, int stacks) {
  Mesh m;
  const double pi = 3.141592653589793;
  m.xyz = {0, 0, 1};
  for (int i = 1; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      const double th = pi * i / stacks, ph = 2 * pi * j / slices;
      m.xyz.insert(m.xyz.end(),
                   {float(std::sin(th) * std::cos(ph)), float(std::sin(th) * std::sin(ph)), float(std::cos(th))});
    }
  m.xyz.insert(m.xyz.end(), {0, 0, -1});
  const int south = static_cast<int>(m.xyz.size() / 3 - 1);
  auto at = [&](int i, int j) { return 1 + (i - 1) * slices + (j % slices); };
  for (int j = 0; j < slices; ++j) {
    m.tris.insert(m.tris.end(), {0, at(1, j), at(1, j + 1)});
    m.tris.insert(m.tris.end(), {south, at(stacks - 1, j + 1), at(stacks - 1, j)});
    for (int i = 1; i + 1 < stacks; ++i) {
      m.tris.insert(m.tris.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      m.tris.insert(m.tris.end(), {at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
  }
  return m;
}

// The unit cube, every face a k x k grid of quads, welded, wound outwards.
Mesh GridBox(int k) {
  Mesh m;
  std::vector<int> id((k + 1) * (k + 1) * (k + 1), -1);
  auto vertex = [&](int x, int y, int z) {
    int& v = id[(x * (k + 1) + y) * (k + 1) + z];
    if (v < 0) {
      v = static_cast<int>(m.xyz.size() / 3);
      m.xyz.insert(m.xyz.end(), {float(x) / k, float(y) / k, float(z) / k});
    }
    return v;
  };
  for (int axis = 0; axis < 3; ++axis)
    for (int side = 0; side <= 1; ++side)
      for (int a = 0; a < k; ++a)
        for (int b = 0; b < k; ++b) {
          int q[4];
          const int da[4] = {0, 1, 1, 0}, db[4] = {0, 0, 1, 1};
          for (int c = 0; c < 4; ++c) {
            int p[3];
            p[axis] = side * k;
            p[(axis + 1) % 3] = a + da[c];
            p[(axis + 2) % 3] = b + db[c];
            q[c] = vertex(p[0], p[1], p[2]);
          }
          if (side)
            m.tris.insert(m.tris.end(), {q[0], q[1], q[2], q[0], q[2], q[3]});
          else
            m.tris.insert(m.tris.end(), {q[0], q[2], q[1], q[0], q[3], q[2]});
        }
  return m;
}

template <class F>
double BestOf(int n, F f) {
  double best = 1e30;
  for (int i = 0; i < n; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

void Run(const char* name, const Mesh& m) {
  using K = CGAL::Exact_predicates_inexact_constructions_kernel;
  using SM = CGAL::Surface_mesh<K::Point_3>;
  size_t ours = 0, theirs = 0;
  const double ourTime = BestOf(5, [&] {
    const auto curves = vx::host::FindFeatureCurves(m.xyz, m.tris);
    ours = 0;
    for (const auto& c : curves) ours += c.points.size() - (c.kind == vx::host::FeatureCurve::CIRCLE ? 0 : 1);
  });
  const double cgalTime = BestOf(5, [&] {
    SM sm;
    std::vector<SM::Vertex_index> v;
    v.reserve(m.xyz.size() / 3);
    for (size_t i = 0; i < m.xyz.size(); i += 3)
      v.push_back(sm.add_vertex(K::Point_3(m.xyz[i], m.xyz[i + 1], m.xyz[i + 2])));
    for (size_t t = 0; t < m.tris.size(); t += 3) sm.add_face(v[m.tris[t]], v[m.tris[t + 1]], v[m.tris[t + 2]]);
    auto sharp = sm.add_property_map<SM::Edge_index, bool>("e:sharp", false).first;
    CGAL::Polygon_mesh_processing::detect_sharp_edges(sm, 30.0, sharp);
    theirs = 0;
    for (auto e : sm.edges()) theirs += sharp[e];
  });
  std::printf(
      "workload=%s triangles=%zu ours_s=%.6f cgal_s=%.6f ratio=%.2f sharp_edges_ours=%zu sharp_edges_cgal=%zu\n", name,
      m.tris.size() / 3, ourTime, cgalTime, ourTime / cgalTime, ours, theirs);
}

}  // namespace

int main() {
  const int sizes[] = {70, 220, 700};  // about 10k, 100k, 1M triangles
  for (int s : sizes) {
    char name[64];
    std::snprintf(name, sizeof name, "sphere_%d", s);
    Run(name, Sphere(s, s));
    std::snprintf(name, sizeof name, "gridbox_%d", s / 2);
    Run(name, GridBox(s / 2));
  }
  return 0;
}
