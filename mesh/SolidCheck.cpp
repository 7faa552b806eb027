#include "mesh/SolidCheck.h"

#include <algorithm>
#include <vector>

#include "mesh/VertexStar.h"

namespace vx::mesh {

double SignedVolume(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris,
                    const Vec3& origin) {
  double vol = 0;
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    if (c[0] < 0 || c[1] < 0 || c[2] < 0 || static_cast<std::size_t>(c[0]) >= nPoints ||
        static_cast<std::size_t>(c[1]) >= nPoints || static_cast<std::size_t>(c[2]) >= nPoints)
      continue;
    const Vec3 p = points[c[0]] - origin, q = points[c[1]] - origin, r = points[c[2]] - origin;
    vol += Dot(p, Cross(q, r)) / 6.0;
  }
  return vol;
}

SolidCheck CheckSolid(const Vec3* points, std::size_t nPoints, const int32_t* tris, std::size_t nTris) {
  SolidCheck check;
  const VertexStar star(tris, nTris, nPoints);
  bool badIndex = false, any = false;
  for (std::size_t t = 0; t < nTris; ++t) {
    if (star.valid(t)) {
      any = true;
      continue;
    }
    const int32_t* c = tris + 3 * t;
    for (int k = 0; k < 3; ++k) badIndex = badIndex || c[k] < 0 || static_cast<std::size_t>(c[k]) >= nPoints;
  }
  // Per point v, the edges leaving it (v -> next corner) and entering it
  // (previous corner -> v) in the triangles around it: a leaving edge v -> w
  // is unmatched when it is used more or less often than w -> v.
  std::vector<int32_t> leaving, entering;
  for (std::size_t v = 0; v < nPoints; ++v) {
    leaving.clear();
    entering.clear();
    for (const int32_t* t = star.begin(v); t != star.end(v); ++t) {
      const int32_t* c = tris + 3 * static_cast<std::size_t>(*t);
      const int k = c[0] == static_cast<int32_t>(v) ? 0 : (c[1] == static_cast<int32_t>(v) ? 1 : 2);
      leaving.push_back(c[(k + 1) % 3]);
      entering.push_back(c[(k + 2) % 3]);
    }
    for (int32_t w : leaving) {
      if (std::count(leaving.begin(), leaving.end(), w) != std::count(entering.begin(), entering.end(), w))
        ++check.unmatchedEdges;
    }
  }
  check.closed = !badIndex && any && check.unmatchedEdges == 0;
  if (check.closed) {
    Vec3 lo = points[0], hi = points[0];
    for (std::size_t i = 0; i < nPoints; ++i) {
      const Vec3& p = points[i];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    check.volume = SignedVolume(points, nPoints, tris, nTris, (lo + hi) * 0.5);
  }
  return check;
}

}  // namespace vx::mesh
