#include "mesh/SolidCheck.h"

#include <algorithm>
#include <vector>

#include "mesh/VertexStar.h"

namespace vxmesh {

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
  SolidCheck out;
  const VertexStar star(tris, nTris, nPoints);
  bool badIndex = false, any = false;
  for (std::size_t t = 0; t < nTris; ++t) {
    const int32_t* c = tris + 3 * t;
    if (!star.valid(t)) {
      for (int k = 0; k < 3; ++k) badIndex = badIndex || c[k] < 0 || static_cast<std::size_t>(c[k]) >= nPoints;
      continue;
    }
    any = true;
    for (int k = 0; k < 3; ++k) {
      const int32_t a = c[k], b = c[(k + 1) % 3];
      if (star.uses(a, b) != star.uses(b, a)) ++out.unmatchedEdges;
    }
  }
  out.closed = !badIndex && any && out.unmatchedEdges == 0;
  if (out.closed) {
    Vec3 lo = points[0], hi = points[0];
    for (std::size_t i = 0; i < nPoints; ++i) {
      const Vec3& p = points[i];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    out.volume = SignedVolume(points, nPoints, tris, nTris, (lo + hi) * 0.5);
  }
  return out;
}

}  // namespace vxmesh
