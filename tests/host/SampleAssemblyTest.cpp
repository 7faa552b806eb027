// The sample assembly: closed outward meshes of the nominal volumes, and
// the documented contacts checked with CGAL on the placed (world) meshes.
#include <gtest/gtest.h>

#include <CGAL/AABB_face_graph_triangle_primitive.h>
#include <CGAL/AABB_traits.h>
#include <CGAL/AABB_tree.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Polygon_mesh_processing/intersection.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Side_of_triangle_mesh.h>
#include <CGAL/Surface_mesh.h>
#include <Inventor/SbBox3f.h>
#include <Inventor/SbViewportRegion.h>
#include <algorithm>
#include <map>
#include <set>

#include "host/SampleAssembly.h"
#include "host/SoKRN_GetMatrixAction.h"
#include "support/HostTestUtil.h"

namespace {

using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = K::Point_3;
using Mesh = CGAL::Surface_mesh<Point>;
namespace PMP = CGAL::Polygon_mesh_processing;

struct SampleDoc {
  const vx::host::SoRef<SoKRN_MainDoc> doc = vx::host::SoRef<SoKRN_MainDoc>::adopt(vx::host::BuildSampleAssembly());
};

// A prototype's mesh for CGAL; `ok` false when a face would make it
// non-manifold or turn against its neighbours.
Mesh PrototypeMesh(SoKRN_ComponentKit* proto, bool& ok) {
  std::vector<float> xyz;
  std::vector<int> tris;
  vx::host::GetPrototypeMesh(proto, xyz, tris);
  Mesh m;
  for (size_t i = 0; i < xyz.size(); i += 3) m.add_vertex(Point(xyz[i], xyz[i + 1], xyz[i + 2]));
  ok = true;
  for (size_t t = 0; t < tris.size(); t += 3)
    ok = ok && m.add_face(Mesh::Vertex_index(tris[t]), Mesh::Vertex_index(tris[t + 1]),
                          Mesh::Vertex_index(tris[t + 2])) != Mesh::null_face();
  return m;
}

TEST(SampleAssembly, MeshesAreClosedOutwardTessellatedAndOfTheNominalVolume) {
  SampleDoc s;
  std::set<SoKRN_ComponentKit*> parts;
  hosttest::ForEachOccurrence(s.doc, [&](const std::string&, SoKRN_ComponentKit* inst) {
    if (inst->getPrototype()->getNumEleChildren() == 0) parts.insert(inst->getPrototype());
  });
  EXPECT_EQ(parts.size(), 9u);  // housing, cover, plate, bolt, bearing, shaft, plateA, plateB, pin
  for (SoKRN_ComponentKit* p : parts) {
    std::wstring name;
    p->getKRNName(name);
    bool oriented = false;
    const Mesh m = PrototypeMesh(p, oriented);
    EXPECT_TRUE(oriented && CGAL::is_closed(m)) << std::string(name.begin(), name.end());
    EXPECT_GT(PMP::volume(m), 0.0) << std::string(name.begin(), name.end()) << " is wound inward";
  }
  // Against the nominal volume: a wrong wall or a missing cap shows here.
  auto volumeOf = [&](const std::string& path) {
    hosttest::ResolvedPath p(s.doc, path);
    bool oriented = false;
    return PMP::volume(PrototypeMesh(static_cast<SoKRN_ComponentKit*>(p.tail())->getPrototype(), oriented));
  };
  const double pi = 3.14159265358979;
  auto polygonArea = [&](double r, int n) { return 0.5 * n * r * r * std::sin(2 * pi / n); };
  EXPECT_NEAR(volumeOf("0"), 100.0 * 60 * 40, 1e-3 * 240000);
  EXPECT_NEAR(volumeOf("1"), 90.0 * 50 * 6, 1e-3 * 27000);
  EXPECT_NEAR(volumeOf("5"), polygonArea(10, 64) * 60, 1.0);
  EXPECT_NEAR(volumeOf("4"), (polygonArea(20, 64) - polygonArea(10.5, 64)) * 20, 1.0);
  EXPECT_NEAR(volumeOf("2|0"), (800.0 - polygonArea(4.5, 32) - polygonArea(3.5, 32)) * 5, 0.5);
  EXPECT_NEAR(volumeOf("2|1"), polygonArea(4, 32) * 15 + polygonArea(7, 32) * 5, 0.5);
}

// The placed mesh of an occurrence, in world coordinates.
struct WorldPart {
  Mesh mesh;
  SbBox3f box;
};

WorldPart PlacedMesh(SoKRN_MainDoc* doc, const std::string& path) {
  hosttest::ResolvedPath p(doc, path);
  EXPECT_GT(p.length(), 0) << path;
  SoKRN_GetMatrixAction ma(SbViewportRegion(100, 100));
  ma.apply(p.get());
  const SbMatrix m = ma.getMatrix();
  std::vector<float> xyz;
  std::vector<int> tris;
  vx::host::GetPrototypeMesh(static_cast<SoKRN_ComponentKit*>(p.tail())->getPrototype(), xyz, tris);
  WorldPart w;
  std::vector<Mesh::Vertex_index> v;
  for (size_t i = 0; i < xyz.size(); i += 3) {
    SbVec3f q;
    m.multVecMatrix(SbVec3f(xyz[i], xyz[i + 1], xyz[i + 2]), q);
    w.box.extendBy(q);
    v.push_back(w.mesh.add_vertex(Point(q[0], q[1], q[2])));
  }
  for (size_t t = 0; t < tris.size(); t += 3) w.mesh.add_face(v[tris[t]], v[tris[t + 1]], v[tris[t + 2]]);
  return w;
}

// Number of vertices of `a` strictly inside the closed mesh `b`.
int VerticesInside(const Mesh& a, const Mesh& b) {
  CGAL::Side_of_triangle_mesh<Mesh, K> inside(b);
  int n = 0;
  for (auto v : a.vertices()) n += inside(a.point(v)) == CGAL::ON_BOUNDED_SIDE;
  return n;
}

// Smallest distance from a vertex of one mesh to the other mesh (an upper
// bound of the true distance, equal to it for parallel facets).
double VertexDistance(const Mesh& a, const Mesh& b) {
  using Primitive = CGAL::AABB_face_graph_triangle_primitive<Mesh>;
  using Tree = CGAL::AABB_tree<CGAL::AABB_traits<K, Primitive>>;
  Tree ta(faces(a).first, faces(a).second, a), tb(faces(b).first, faces(b).second, b);
  double best = 1e30;
  for (auto v : a.vertices()) best = std::min(best, std::sqrt(CGAL::to_double(tb.squared_distance(a.point(v)))));
  for (auto v : b.vertices()) best = std::min(best, std::sqrt(CGAL::to_double(ta.squared_distance(b.point(v)))));
  return best;
}

// Gap between two boxes (0 when they overlap or touch).
double BoxGap(const SbBox3f& a, const SbBox3f& b) {
  double s = 0;
  for (int i = 0; i < 3; ++i) {
    const double d = std::max({0.0, double(a.getMin()[i]) - b.getMax()[i], double(b.getMin()[i]) - a.getMax()[i]});
    s += d * d;
  }
  return std::sqrt(s);
}

TEST(SampleAssembly, DocumentedContactsHold) {
  SampleDoc s;
  const std::vector<std::string> leaves = {"0", "1", "2|0", "2|1", "2|2", "3|0", "3|1", "3|2", "4", "5", "6", "7", "8"};
  std::map<std::string, WorldPart> parts;
  for (const std::string& p : leaves) parts[p] = PlacedMesh(s.doc, p);

  using Pair = std::pair<std::string, std::string>;
  const std::set<Pair> penetration = {{"2|0", "2|2"}, {"3|0", "3|2"}};
  const std::set<Pair> touch = {{"0", "1"}, {"6", "7"}, {"2|0", "2|1"}, {"3|0", "3|1"}};
  const std::set<Pair> clearance = {{"4", "5"}};

  for (size_t i = 0; i < leaves.size(); ++i)
    for (size_t j = i + 1; j < leaves.size(); ++j) {
      const Pair pr(leaves[i], leaves[j]);
      const WorldPart& a = parts[pr.first];
      const WorldPart& b = parts[pr.second];
      const std::string label = pr.first + " - " + pr.second;
      if (penetration.count(pr) || touch.count(pr)) {
        EXPECT_TRUE(PMP::do_intersect(a.mesh, b.mesh)) << label;
        EXPECT_EQ(VerticesInside(a.mesh, b.mesh) + VerticesInside(b.mesh, a.mesh) > 0, penetration.count(pr) > 0)
            << label << ": a vertex inside the other only for a penetration";
      } else if (clearance.count(pr)) {
        EXPECT_FALSE(PMP::do_intersect(a.mesh, b.mesh)) << label;
        EXPECT_NEAR(VertexDistance(a.mesh, b.mesh), 0.5 * std::cos(3.14159265358979 / 64), 1e-3) << label;
      } else {
        // Apart by more than the 1 mm tolerance; only PlateB - Pin is near (2 apart).
        const double gap = BoxGap(a.box, b.box);
        EXPECT_TRUE(pr == Pair("7", "8") ? std::fabs(gap - 2.0) < 1e-4 : gap > 5.0) << label << ": " << gap;
      }
    }
}

}  // namespace
