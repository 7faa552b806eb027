// Constrained Delaunay triangulation of a planar straight-line graph, on
// CGAL's 2D constrained triangulation.
//
// Kernel and tag: exact predicates with double constructions, and
// Exact_predicates_tag, which lets constraints cross: the crossing point is
// constructed in double precision and becomes a new vertex. The only
// constructed coordinates are those crossings; every decision (orientation,
// in-circle) is exact, so the triangulation is always valid.
//
// Index bookkeeping: every CGAL vertex carries the index of the output point
// it stands for. Input points get their input index when inserted; vertices
// that CGAL creates at constraint crossings have none (-1) until the output
// is numbered, and then get indices after the input points, in CGAL's vertex
// order. The output therefore starts with the input points, in input order.
#include "host/CTriangleMesh.h"

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include <cmath>
#include <exception>

namespace {

using K = CGAL::Exact_predicates_inexact_constructions_kernel;
struct VertexInfo {
  int index = -1;  // output point index; -1 until numbered
};
using Vb = CGAL::Triangulation_vertex_base_with_info_2<VertexInfo, K>;
using Fb = CGAL::Constrained_triangulation_face_base_2<K>;
using Tds = CGAL::Triangulation_data_structure_2<Vb, Fb>;
using CDT = CGAL::Constrained_Delaunay_triangulation_2<K, Tds, CGAL::Exact_predicates_tag>;

}  // namespace

struct CTriangleMesh::Impl {
  std::string switches;
  std::vector<_vtx> input;
  std::vector<int> segments;
  std::vector<_tri> tris;
  std::vector<_vtx> points;
};

CTriangleMesh::CTriangleMesh(const std::string& switches, const std::vector<_vtx>& points,
                             const std::vector<int>& segments)
    : m_impl(new Impl) {
  m_impl->switches = switches;
  m_impl->input = points;
  m_impl->segments = segments;
}

CTriangleMesh::~CTriangleMesh() = default;

int CTriangleMesh::DoTriangulate() {
  Impl& m = *m_impl;
  m.tris.clear();
  m.points.clear();
  m.points.reserve(m.input.size());
  for (const _vtx& p : m.input) {
    _vtx q;
    q.x = p.x;
    q.y = p.y;
    m.points.push_back(q);
  }
  int status = 0;
  try {
    CDT cdt;
    std::vector<CDT::Vertex_handle> handle(m.input.size());
    for (std::size_t i = 0; i < m.input.size(); ++i) {
      const _vtx& p = m.input[i];
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        status |= kBadPoint;
        continue;
      }
      CDT::Vertex_handle v = cdt.insert(K::Point_2(p.x, p.y));
      if (v->info().index >= 0)
        status |= kBadPoint;  // duplicate: the earlier point keeps the vertex
      else
        v->info().index = static_cast<int>(i);
      handle[i] = v;
    }
    const std::size_t n = m.input.size();
    for (std::size_t k = 0; k + 1 < m.segments.size(); k += 2) {
      const int i = m.segments[k], j = m.segments[k + 1];
      if (i < 0 || j < 0 || static_cast<std::size_t>(i) >= n || static_cast<std::size_t>(j) >= n ||
          handle[static_cast<std::size_t>(i)] == CDT::Vertex_handle() ||
          handle[static_cast<std::size_t>(j)] == CDT::Vertex_handle() ||
          handle[static_cast<std::size_t>(i)] == handle[static_cast<std::size_t>(j)]) {
        status |= kBadSegment;
        continue;
      }
      cdt.insert_constraint(handle[static_cast<std::size_t>(i)], handle[static_cast<std::size_t>(j)]);
    }
    if (m.segments.size() % 2 != 0) status |= kBadSegment;
    if (cdt.dimension() < 2) {
      status |= kNoArea;
      return status;
    }
    for (CDT::Vertex_handle v : cdt.finite_vertex_handles()) {
      if (v->info().index >= 0) continue;
      v->info().index = static_cast<int>(m.points.size());
      _vtx q;
      q.x = v->point().x();
      q.y = v->point().y();
      m.points.push_back(q);
    }
    m.tris.reserve(static_cast<std::size_t>(cdt.number_of_faces()));
    for (CDT::Face_handle f : cdt.finite_face_handles()) {
      _tri t;
      t.a = f->vertex(0)->info().index;
      t.b = f->vertex(1)->info().index;
      t.c = f->vertex(2)->info().index;
      m.tris.push_back(t);
    }
  } catch (const std::exception&) {
    // Keep the output consistent: the input points, no triangles.
    m.tris.clear();
    m.points.resize(m.input.size());
    status |= kFailed;
  }
  return status;
}

void CTriangleMesh::GetData(std::vector<int>& a, std::vector<int>& b, std::vector<_tri>& tris,
                            std::vector<_vtx>& points) const {
  a.clear();
  b.clear();
  tris = m_impl->tris;
  points = m_impl->points;
}

void CTriangleMesh::ClearAll() {
  m_impl->input.clear();
  m_impl->segments.clear();
  m_impl->tris.clear();
  m_impl->points.clear();
}
