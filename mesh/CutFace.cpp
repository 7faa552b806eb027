#include "mesh/CutFace.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "mesh/PointGrid.h"
#include "mesh/SolidCheck.h"
#include "mesh/SolidLocator.h"

namespace vxmesh {

namespace {

struct Sided {
  const CutFaceSide* side;
  SolidCheck check;
  bool flip;  // wound inward: every triangle is turned over
};

std::vector<int32_t> Oriented(const std::vector<int>& tris, bool flip) {
  std::vector<int32_t> out(tris.begin(), tris.end());
  if (flip) {
    for (std::size_t i = 0; i + 2 < out.size(); i += 3) std::swap(out[i + 1], out[i + 2]);
  }
  return out;
}

int Find(std::vector<int>& parent, int i) {
  while (parent[static_cast<std::size_t>(i)] != i) {
    parent[static_cast<std::size_t>(i)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
    i = parent[static_cast<std::size_t>(i)];
  }
  return i;
}

// Appends the kept triangles of `s` (judged against `other`) to `corners`.
// Returns false when stopped.
bool KeepPieces(const Sided& s, const SolidLocator& other, bool first, const std::function<bool()>& stop,
                std::vector<Vec3>& corners) {
  const CutFaceSide& side = *s.side;
  const std::size_t nt = side.cutTris.size() / 3, np = side.cutPoints.size();
  auto corner = [&](std::size_t t, int k) -> const Vec3* {
    const int i = side.cutTris[3 * t + static_cast<std::size_t>(k)];
    return i >= 0 && static_cast<std::size_t>(i) < np ? &side.cutPoints[static_cast<std::size_t>(i)] : nullptr;
  };
  std::vector<char> onCut(np, 0);
  for (int i : side.cutEdges) {
    if (i >= 0 && static_cast<std::size_t>(i) < np) onCut[static_cast<std::size_t>(i)] = 1;
  }
  std::vector<char> valid(nt, 0), touched(nt, 0);
  for (std::size_t t = 0; t < nt; ++t) {
    valid[t] = corner(t, 0) && corner(t, 1) && corner(t, 2);
    if (!valid[t]) continue;
    for (int k = 0; k < 3; ++k) touched[t] |= onCut[static_cast<std::size_t>(side.cutTris[3 * t + k])];
  }
  // Regions of untouched triangles across shared edges.
  std::vector<int> parent(nt);
  std::iota(parent.begin(), parent.end(), 0);
  std::unordered_map<uint64_t, int> edgeOwner;
  edgeOwner.reserve(3 * nt);
  for (std::size_t t = 0; t < nt; ++t) {
    if (!valid[t] || touched[t]) continue;
    for (int k = 0; k < 3; ++k) {
      const uint32_t a = static_cast<uint32_t>(side.cutTris[3 * t + k]);
      const uint32_t b = static_cast<uint32_t>(side.cutTris[3 * t + (k + 1) % 3]);
      const uint64_t key = (static_cast<uint64_t>(std::min(a, b)) << 32) | std::max(a, b);
      auto ins = edgeOwner.emplace(key, static_cast<int>(t));
      if (!ins.second) parent[static_cast<std::size_t>(Find(parent, static_cast<int>(t)))] = Find(parent, ins.first->second);
    }
  }
  auto normalOf = [&](std::size_t t) {
    const Vec3 n = Cross(*corner(t, 1) - *corner(t, 0), *corner(t, 2) - *corner(t, 0));
    return s.flip ? n * -1.0 : n;
  };
  auto judge = [&](std::size_t t) {
    const Vec3 centroid = (*corner(t, 0) + *corner(t, 1) + *corner(t, 2)) * (1.0 / 3.0);
    const Where w = other.locate(centroid, normalOf(t));
    return w == Where::Inside || (first && w == Where::OnSameFacing);
  };
  // The largest triangle of each region stands for it.
  std::vector<int> sample(nt, -1);
  std::vector<double> sampleArea(nt, -1.0);
  for (std::size_t t = 0; t < nt; ++t) {
    if (!valid[t] || touched[t]) continue;
    const std::size_t r = static_cast<std::size_t>(Find(parent, static_cast<int>(t)));
    const double area = Norm(normalOf(t));
    if (area > sampleArea[r]) {
      sampleArea[r] = area;
      sample[r] = static_cast<int>(t);
    }
  }
  std::vector<signed char> regionKept(nt, -1);
  for (std::size_t t = 0; t < nt; ++t) {
    if (!valid[t]) continue;
    if ((t & 63u) == 0 && stop()) return false;
    bool keep;
    if (touched[t]) {
      keep = judge(t);
    } else {
      const std::size_t r = static_cast<std::size_t>(Find(parent, static_cast<int>(t)));
      if (regionKept[r] < 0) regionKept[r] = judge(static_cast<std::size_t>(sample[r])) ? 1 : 0;
      keep = regionKept[r] == 1;
    }
    if (!keep) continue;
    corners.push_back(*corner(t, 0));
    corners.push_back(*corner(t, s.flip ? 2 : 1));
    corners.push_back(*corner(t, s.flip ? 1 : 2));
  }
  return true;
}

std::string OpenNote(const char* which, const SolidCheck& c) {
  return std::string(which) + " part's surface is not closed (" + std::to_string(c.unmatchedEdges) +
         " unmatched edges): it bounds no volume";
}

}  // namespace

CutFace BuildCutFace(const CutFaceSide& first, const CutFaceSide& second, const std::function<bool()>& stop) {
  CutFace out;
  Sided a{&first, CheckSolid(first.points.data(), first.points.size(),
                             reinterpret_cast<const int32_t*>(first.tris.data()), first.tris.size() / 3),
          false};
  Sided b{&second, CheckSolid(second.points.data(), second.points.size(),
                              reinterpret_cast<const int32_t*>(second.tris.data()), second.tris.size() / 3),
          false};
  a.flip = a.check.closed && a.check.volume < 0;
  b.flip = b.check.closed && b.check.volume < 0;

  double scale = 0;
  for (const CutFaceSide* s : {&first, &second}) {
    for (const Vec3& p : s->points) scale = std::max(scale, MaxAbs(p));
  }
  const std::vector<int32_t> trisA = Oriented(first.tris, a.flip), trisB = Oriented(second.tris, b.flip);
  const SolidLocator inA(first.points.data(), first.points.size(), trisA.data(), trisA.size() / 3, scale);
  const SolidLocator inB(second.points.data(), second.points.size(), trisB.data(), trisB.size() / 3, scale);

  std::vector<Vec3> corners;
  const bool done = KeepPieces(a, inB, true, stop, corners) && KeepPieces(b, inA, false, stop, corners);
  const double tol = MeshTolerance(scale);
  WeldTriangles(corners, tol, out.points, out.tris);
  if (done) CloseTJunctions(out.points, out.tris, tol);
  if (!done) {
    out.volumeNote = "stopped before the cut face was complete";
    return out;
  }
  if (!a.check.closed || !b.check.closed) {
    out.volumeNote = !a.check.closed ? OpenNote("the first", a.check) : OpenNote("the second", b.check);
    return out;
  }
  if (a.check.volume == 0 || b.check.volume == 0) {
    out.volumeNote = "a part's surface encloses no volume";
    return out;
  }
  Vec3 lo, hi;
  for (std::size_t i = 0; i < out.points.size(); ++i) {
    const Vec3& p = out.points[i];
    if (i == 0) lo = hi = p;
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  out.volume = std::max(0.0, SignedVolume(out.points.data(), out.points.size(),
                                          reinterpret_cast<const int32_t*>(out.tris.data()), out.tris.size() / 3,
                                          (lo + hi) * 0.5));
  out.volumeKnown = true;
  return out;
}

}  // namespace vxmesh
