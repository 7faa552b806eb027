// Cutting a welded surface along cut lines (see CutAlong.h for the contract).
//
// Work stays near the cut: the point grid that finds "the earliest surface
// point within tau" holds only the surface points inside the box of the
// crossed triangles and the cut points (no query can reach farther), and the
// crossed triangles are taken out in one pass over the triangle list at the
// end, found by their corner indices.
#include "mesh/CutAlong.h"

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <map>
#include <unordered_map>

#include "mesh/PointGrid.h"
#include "mesh/Winding.h"

namespace vx::mesh {

namespace {

// Two parameter-plane points (s, t in [0, 1]) closer than this in s and t are one.
constexpr double kSamePlanePoint = 1e-8;

using K = CGAL::Exact_predicates_inexact_constructions_kernel;
using Vb = CGAL::Triangulation_vertex_base_with_info_2<int, K>;
using Fb = CGAL::Constrained_triangulation_face_base_2<K>;
using Tds = CGAL::Triangulation_data_structure_2<Vb, Fb>;
// Exact_predicates_tag lets constraints cross: CGAL then adds the crossing
// point (a vertex with no index), which leaves the triangle whole.
using CDT = CGAL::Constrained_Delaunay_triangulation_2<K, Tds, CGAL::Exact_predicates_tag>;

bool SameWithin(const Vec3& a, const Vec3& b, double e) {
  return std::fabs(a.x - b.x) <= e && std::fabs(a.y - b.y) <= e && std::fabs(a.z - b.z) <= e;
}

// The parameters (s, t) of P on T, when P lies within 2 tau of T (tau of the
// query's own scale: the points arrive welded within tau). A point just off
// the triangle gets the parameters of T's nearest point, so s, t >= 0 and
// s + t <= 1 hold on success. False for a triangle whose height is at most tau.
bool OnTriangle(const Vec3 T[3], const Vec3& P, double& s, double& t) {
  if (!Finite(T[0]) || !Finite(T[1]) || !Finite(T[2]) || !Finite(P)) return false;
  double len[3];
  int longest = 0;
  for (int i = 0; i < 3; ++i) len[i] = Norm(T[(i + 1) % 3] - T[i]);
  for (int i = 1; i < 3; ++i)
    if (len[i] > len[longest]) longest = i;
  const double tau = MeshTolerance(std::max({MaxAbs(T[0]), MaxAbs(T[1]), MaxAbs(T[2]), MaxAbs(P), len[longest]}));
  // The normal from the corner opposite the longest edge: the best-conditioned cross product.
  const int k = (longest + 2) % 3;
  const Vec3 n = Cross(T[(k + 1) % 3] - T[k], T[(k + 2) % 3] - T[k]);
  const double area2 = Norm(n);
  if (len[longest] <= tau || area2 <= tau * len[longest]) return false;
  const double accept = 2.0 * tau;
  if (std::fabs(Dot(n, P - T[k])) / area2 > accept) return false;

  return TriangleParams(T[0], T[1], T[2], P, accept, s, t);
}

struct TriKey {
  int a, b, c;
  bool operator==(const TriKey& o) const { return a == o.a && b == o.b && c == o.c; }
};
struct TriKeyHash {
  std::size_t operator()(const TriKey& k) const {
    return static_cast<std::size_t>(static_cast<uint64_t>(static_cast<uint32_t>(k.a)) * 0x9E3779B97F4A7C15ull ^
                                    static_cast<uint64_t>(static_cast<uint32_t>(k.b)) * 0xC2B2AE3D27D4EB4Full ^
                                    static_cast<uint64_t>(static_cast<uint32_t>(k.c)) * 0x165667B19E3779F9ull);
  }
};

// One crossed triangle cut in its parameter plane: the triangles replacing
// it, as indices into the plane points; empty when it stays whole.
std::vector<int> TriangulatePlane(const std::vector<Vec3>& plane, const std::vector<int>& constraints) {
  std::vector<int> out;
  try {
    CDT cdt;
    std::vector<CDT::Vertex_handle> handle;
    handle.reserve(plane.size());
    for (std::size_t i = 0; i < plane.size(); ++i) {
      CDT::Vertex_handle v = cdt.insert(K::Point_2(plane[i].x, plane[i].y));
      v->info() = static_cast<int>(i);
      handle.push_back(v);
    }
    for (std::size_t k = 0; k + 1 < constraints.size(); k += 2) {
      const CDT::Vertex_handle a = handle[static_cast<std::size_t>(constraints[k])];
      const CDT::Vertex_handle b = handle[static_cast<std::size_t>(constraints[k + 1])];
      if (a != b) cdt.insert_constraint(a, b);
    }
    // Vertices CGAL added at crossing constraints carry the default info.
    for (CDT::Vertex_handle v : cdt.finite_vertex_handles()) {
      if (v->info() < 0 || static_cast<std::size_t>(v->info()) >= plane.size() ||
          handle[static_cast<std::size_t>(v->info())] != v)
        return {};
    }
    if (cdt.dimension() < 2) return {};
    for (CDT::Face_handle f : cdt.finite_face_handles()) {
      for (int k = 0; k < 3; ++k) out.push_back(f->vertex(k)->info());
    }
  } catch (const std::exception&) {
    return {};
  }
  return out;
}

}  // namespace

CutSurface CutAlongSegments(const std::vector<Vec3>& points, const std::vector<int>& tris,
                            const std::vector<Vec3>& cutPoints, const std::vector<CrossedTriangle>& crossed,
                            const std::function<bool()>& stop) {
  CutSurface out;
  out.points = points;
  double scale = 0;
  for (const Vec3& p : points) scale = std::max(scale, MaxAbs(p));
  for (const Vec3& p : cutPoints) scale = std::max(scale, MaxAbs(p));
  const double tau = MeshTolerance(scale);

  // Cut points welded within tau: each maps to the first point of its cluster.
  std::vector<int> cutRep(cutPoints.size(), -1);
  {
    PointGrid weld(tau, cutPoints.size());
    std::vector<int> first;
    for (std::size_t i = 0; i < cutPoints.size(); ++i) {
      const int g = weld.insert(cutPoints[i]);
      if (static_cast<std::size_t>(g) == first.size()) first.push_back(static_cast<int>(i));
      cutRep[i] = first[static_cast<std::size_t>(g)];
    }
  }
  auto rep = [&](int g) { return g >= 0 && static_cast<std::size_t>(g) < cutPoints.size() ? cutRep[g] : -1; };

  // The surface points any query can reach, in index order, then the appended ones.
  Box3 reach;
  auto widen = [&](const Vec3& p) {
    if (Finite(p)) reach.Extend(p);
  };
  for (const CrossedTriangle& c : crossed) {
    for (const Vec3& p : c.corners) widen(p);
    for (int g : c.segments) {
      if (rep(g) >= 0) widen(cutPoints[static_cast<std::size_t>(rep(g))]);
    }
  }
  const bool any = !reach.empty;
  const Vec3 margin{4 * tau, 4 * tau, 4 * tau};
  const Vec3 lo = reach.lo - margin, hi = reach.hi + margin;
  PointGrid near(tau);
  std::vector<int> nearToPoint;
  for (std::size_t i = 0; i < points.size() && any; ++i) {
    const Vec3& p = points[i];
    if (p.x < lo.x || p.y < lo.y || p.z < lo.z || p.x > hi.x || p.y > hi.y || p.z > hi.z) continue;
    near.add(p);
    nearToPoint.push_back(static_cast<int>(i));
  }
  auto findOrAppend = [&](const Vec3& p) {
    const int g = near.find(p);
    if (g >= 0) return nearToPoint[static_cast<std::size_t>(g)];
    near.add(p);
    out.points.push_back(p);
    nearToPoint.push_back(static_cast<int>(out.points.size() - 1));
    return nearToPoint.back();
  };

  std::unordered_map<TriKey, int, TriKeyHash> toRemove;
  std::vector<int> appended;
  for (const CrossedTriangle& c : crossed) {
    if (stop && stop()) break;
    const Vec3* T = c.corners;

    // Local points (the corners, then the cut points) and the constraints between them.
    std::vector<Vec3> local(T, T + 3);
    std::vector<int> localRep = {-1, -1, -1};  // welded cut point of each local point
    std::vector<int> constraints;
    const double cornerTol = MeshTolerance(std::max({MaxAbs(T[0]), MaxAbs(T[1]), MaxAbs(T[2])}));
    for (std::size_t k = 0; k + 1 < c.segments.size(); k += 2) {
      const int ga = rep(c.segments[k]), gb = rep(c.segments[k + 1]);
      if (ga < 0 || gb < 0 || ga == gb) continue;
      for (int g : {ga, gb}) {
        const Vec3& P = cutPoints[static_cast<std::size_t>(g)];
        int at = -1;
        for (int corner = 0; corner < 3 && at < 0; ++corner) {
          if (SameWithin(T[corner], P, std::max(cornerTol, MeshTolerance(MaxAbs(P))))) at = corner;
        }
        for (std::size_t j = 3; j < local.size() && at < 0; ++j) {
          if (localRep[j] == g) at = static_cast<int>(j);
        }
        if (at < 0) {
          at = static_cast<int>(local.size());
          local.push_back(P);
          localRep.push_back(g);
        }
        constraints.push_back(at);
      }
    }

    std::vector<int> global(local.size());
    for (std::size_t k = 0; k < local.size(); ++k) global[k] = findOrAppend(local[k]);
    for (int k : constraints) out.cutEdges.push_back(global[static_cast<std::size_t>(k)]);
    if (local.size() == 3) continue;  // cut along the triangle's own edges: nothing changes

    // Parameter plane; cut points on an edge (within tau as a distance,
    // converted into each parameter) are put exactly on it.
    const double twiceArea = Norm(Cross(T[1] - T[0], T[2] - T[0]));
    auto paramTol = [&](const Vec3& a, const Vec3& b) {
      return twiceArea > 0 ? std::max(kSamePlanePoint, cornerTol * Norm(b - a) / twiceArea) : kSamePlanePoint;
    };
    const double tolS = paramTol(T[0], T[1]), tolT = paramTol(T[0], T[2]), tolST = paramTol(T[1], T[2]);
    std::vector<Vec3> plane;      // unique plane points (z unused)
    std::vector<int> planeLocal;  // plane point -> local point
    std::vector<int> toPlane(local.size(), -1);
    std::map<double, int> edge01, edge02, edge12;
    bool offTriangle = false;
    for (std::size_t k = 0; k < local.size(); ++k) {
      double s = 0, t = 0;
      if (k < 3) {
        s = k == 2 ? 1.0 : 0.0;
        t = k == 1 ? 1.0 : 0.0;
      } else if (!OnTriangle(T, local[k], s, t)) {
        offTriangle = true;
        break;
      }
      std::map<double, int>* onEdge = nullptr;
      double key = 0;
      if (k >= 3) {
        if (std::fabs(s) < tolS) {
          s = 0, onEdge = &edge01, key = t;
        } else if (std::fabs(t) < tolT) {
          t = 0, onEdge = &edge02, key = s;
        } else if (std::fabs(s + t - 1.0) < tolST) {
          t = 1.0 - s, onEdge = &edge12, key = s;
        }
      }
      const Vec3 q{s, t, 0.0};
      for (std::size_t j = 0; j < plane.size() && toPlane[k] < 0; ++j) {
        if (SameWithin(plane[j], q, kSamePlanePoint)) toPlane[k] = static_cast<int>(j);
      }
      if (toPlane[k] >= 0) continue;
      toPlane[k] = static_cast<int>(plane.size());
      plane.push_back(q);
      planeLocal.push_back(static_cast<int>(k));
      if (onEdge) onEdge->emplace(key, toPlane[k]);
    }
    if (offTriangle || plane.size() < 3) {
      ++out.leftWhole;
      continue;
    }
    if (plane.size() == 3) continue;  // every cut point fell on a corner

    std::vector<int> planeConstraints;
    planeConstraints.reserve(constraints.size() + 16);
    for (std::size_t i = 0; i + 1 < constraints.size(); i += 2) {
      const int a = toPlane[static_cast<std::size_t>(constraints[i])];
      const int b = toPlane[static_cast<std::size_t>(constraints[i + 1])];
      if (a != b) planeConstraints.insert(planeConstraints.end(), {a, b});
    }
    // The three edges as chains through their points (corners are plane points 0, 1, 2).
    auto chain = [&planeConstraints](int from, int to, const std::map<double, int>& onEdge) {
      int prev = from;
      for (const auto& e : onEdge) {
        planeConstraints.insert(planeConstraints.end(), {prev, e.second});
        prev = e.second;
      }
      planeConstraints.insert(planeConstraints.end(), {prev, to});
    };
    chain(0, 1, edge01);
    chain(0, 2, edge02);
    chain(1, 2, edge12);

    const std::vector<int> pieces = TriangulatePlane(plane, planeConstraints);
    std::vector<int> replacement;
    const Vec3 normal = Cross(T[1] - T[0], T[2] - T[0]);
    for (std::size_t i = 0; i + 2 < pieces.size(); i += 3) {
      const Vec3 &a = plane[static_cast<std::size_t>(pieces[i])], &b = plane[static_cast<std::size_t>(pieces[i + 1])],
                 &d = plane[static_cast<std::size_t>(pieces[i + 2])];
      const double e1x = b.x - a.x, e1y = b.y - a.y, e2x = d.x - a.x, e2y = d.y - a.y;
      const double cross = e1x * e2y - e1y * e2x;
      const double l1 = e1x * e1x + e1y * e1y, l2 = e2x * e2x + e2y * e2y;
      if (l1 * l2 == 0.0 || cross * cross / (l1 * l2) < 1e-10) continue;  // a sliver along a constraint
      auto g = [&](int pk) { return global[static_cast<std::size_t>(planeLocal[static_cast<std::size_t>(pk)])]; };
      int ia = g(pieces[i]), ib = g(pieces[i + 1]);
      const int ic = g(pieces[i + 2]);
      const Vec3& A = out.points[static_cast<std::size_t>(ia)];
      if (!(Dot(Cross(out.points[static_cast<std::size_t>(ib)] - A, out.points[static_cast<std::size_t>(ic)] - A),
                normal) > 0))
        std::swap(ia, ib);
      if (ia != ib && ib != ic && ia != ic) replacement.insert(replacement.end(), {ia, ib, ic});
    }
    if (replacement.empty()) {
      ++out.leftWhole;
      continue;
    }
    ++toRemove[TriKey{global[0], global[1], global[2]}];
    appended.insert(appended.end(), replacement.begin(), replacement.end());
  }

  // Each cut triangle leaves the list once, at its first occurrence.
  out.tris.reserve(tris.size() + appended.size());
  std::vector<char> cornerOfRemoved(out.points.size(), 0);
  for (const auto& r : toRemove) cornerOfRemoved[static_cast<std::size_t>(r.first.a)] = 1;
  auto keep = [&](const int* t) {
    if (t[0] < 0 || static_cast<std::size_t>(t[0]) >= cornerOfRemoved.size() || !cornerOfRemoved[t[0]]) return true;
    auto it = toRemove.find(TriKey{t[0], t[1], t[2]});
    if (it == toRemove.end() || it->second == 0) return true;
    --it->second;
    return false;
  };
  const std::vector<int>& cutPieces = appended;
  for (const std::vector<int>* list : {&tris, &cutPieces}) {
    for (std::size_t i = 0; i + 2 < list->size(); i += 3) {
      if (keep(list->data() + i)) out.tris.insert(out.tris.end(), list->begin() + i, list->begin() + i + 3);
    }
  }
  return out;
}

}  // namespace vx::mesh
