#include "mesh/CutFace.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <numeric>
#include <system_error>
#include <unordered_set>

#include "mesh/PenetrationDepth.h"
#include "mesh/PointGrid.h"
#include "mesh/SelfIntersection.h"
#include "mesh/SolidCheck.h"
#include "mesh/SolidLocator.h"
#include "mesh/VertexStar.h"

namespace vx::mesh {

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

// The output surface: each side's points keep their identity, except the
// points on the cut line, which both sides share and which are welded across
// the sides within the tolerance.
struct Output {
  PointGrid seam;
  std::vector<Vec3> points;
  std::vector<int> tris;
  std::vector<int> seamToOut;  // seam representative -> output point
  explicit Output(double tol) : seam(tol) {}
};

// Appends the kept triangles of `s` (judged against `other`) to `out`.
// Returns false when stopped.
bool KeepPieces(const Sided& s, const SolidLocator& other, bool first, const std::function<bool()>& stop, Output& out) {
  const CutFaceSide& side = *s.side;
  const std::size_t nt = side.cutTris.size() / 3, np = side.cutPoints.size();
  const int32_t* tris = reinterpret_cast<const int32_t*>(side.cutTris.data());
  const VertexStar star(tris, nt, np);
  auto corner = [&](std::size_t t, int k) -> const Vec3& {
    return side.cutPoints[static_cast<std::size_t>(tris[3 * t + static_cast<std::size_t>(k)])];
  };
  std::vector<char> onCut(np, 0);
  for (int i : side.cutEdges) {
    if (i >= 0 && static_cast<std::size_t>(i) < np) onCut[static_cast<std::size_t>(i)] = 1;
  }
  std::vector<char> touched(nt, 0);
  for (std::size_t t = 0; t < nt; ++t) {
    if (!star.valid(t)) continue;
    for (int k = 0; k < 3; ++k) touched[t] |= onCut[static_cast<std::size_t>(tris[3 * t + k])];
  }
  // Regions of untouched triangles across shared edges.
  std::vector<int> parent(nt);
  std::iota(parent.begin(), parent.end(), 0);
  for (std::size_t t = 0; t < nt; ++t) {
    if (!star.valid(t) || touched[t]) continue;
    for (int k = 0; k < 3; ++k) {
      const int32_t n = star.triangleWith(tris[3 * t + (k + 1) % 3], tris[3 * t + k], static_cast<int32_t>(t));
      if (n < 0 || touched[static_cast<std::size_t>(n)]) continue;
      parent[static_cast<std::size_t>(Find(parent, static_cast<int>(t)))] = Find(parent, n);
    }
  }
  auto normalOf = [&](std::size_t t) {
    const Vec3 n = Cross(corner(t, 1) - corner(t, 0), corner(t, 2) - corner(t, 0));
    return s.flip ? n * -1.0 : n;
  };
  // Cut segments as unordered point pairs: across any other edge a piece
  // continues into its neighbour and shares its fate.
  std::unordered_set<uint64_t> cutEdge;
  auto edgeKey = [](int u, int v) {
    if (u > v) std::swap(u, v);
    return (static_cast<uint64_t>(static_cast<uint32_t>(u)) << 32) | static_cast<uint32_t>(v);
  };
  for (std::size_t i = 0; i + 1 < side.cutEdges.size(); i += 2) {
    cutEdge.insert(edgeKey(side.cutEdges[i], side.cutEdges[i + 1]));
  }
  auto locateCentroid = [&](std::size_t t) {
    const Vec3 centroid = (corner(t, 0) + corner(t, 1) + corner(t, 2)) * (1.0 / 3.0);
    return other.locate(centroid, normalOf(t));
  };
  auto judge = [&](std::size_t t) {
    Where w = locateCentroid(t);
    if ((w == Where::OnOppositeFacing || w == Where::OnSameFacing) && touched[t]) {
      // A sliver between cut points lies within the tolerance of the other
      // surface only because it is thin, not because the surfaces lie on
      // each other there (either facing: along a cut line both surfaces
      // meet). Across an edge that is not cut it continues its neighbour's
      // piece: kept when such neighbours are inside and none is outside
      // (judged as it lies otherwise).
      int inside = 0, outside = 0;
      for (int k = 0; k < 3; ++k) {
        const int32_t u = tris[3 * t + k], v = tris[3 * t + (k + 1) % 3];
        if (cutEdge.count(edgeKey(u, v))) continue;
        const int32_t n = star.triangleWith(v, u, static_cast<int32_t>(t));
        if (n < 0) continue;
        const Where wn = locateCentroid(static_cast<std::size_t>(n));
        inside += wn == Where::Inside;
        outside += wn == Where::Outside;
      }
      if (inside > 0 && outside == 0) w = Where::Inside;
    }
    return w == Where::Inside || (first && w == Where::OnSameFacing);
  };
  // The largest triangle of each region stands for it.
  std::vector<int> sample(nt, -1);
  std::vector<double> sampleArea(nt, -1.0);
  for (std::size_t t = 0; t < nt; ++t) {
    if (!star.valid(t) || touched[t]) continue;
    const std::size_t r = static_cast<std::size_t>(Find(parent, static_cast<int>(t)));
    const double area = Norm(normalOf(t));
    if (area > sampleArea[r]) {
      sampleArea[r] = area;
      sample[r] = static_cast<int>(t);
    }
  }
  std::vector<signed char> regionKept(nt, -1);
  std::vector<int> index(np, -1);  // side point -> output point
  auto outIndex = [&](int32_t i) {
    int& o = index[static_cast<std::size_t>(i)];
    if (o >= 0) return o;
    const Vec3& p = side.cutPoints[static_cast<std::size_t>(i)];
    if (onCut[static_cast<std::size_t>(i)]) {
      // A new representative is the next index; a point joining the newest
      // one must not make another output point (the map would slip by one).
      const int g = out.seam.insert(p);
      if (static_cast<std::size_t>(g) == out.seamToOut.size()) {
        out.points.push_back(p);
        out.seamToOut.push_back(static_cast<int>(out.points.size() - 1));
      }
      o = out.seamToOut[static_cast<std::size_t>(g)];
    } else {
      out.points.push_back(p);
      o = static_cast<int>(out.points.size() - 1);
    }
    return o;
  };
  for (std::size_t t = 0; t < nt; ++t) {
    if (!star.valid(t)) continue;
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
    const int a = outIndex(tris[3 * t]), b = outIndex(tris[3 * t + 1]), c = outIndex(tris[3 * t + 2]);
    if (a == b || b == c || a == c) continue;
    if (s.flip) {
      out.tris.insert(out.tris.end(), {a, c, b});
    } else {
      out.tris.insert(out.tris.end(), {a, b, c});
    }
  }
  return true;
}

// 1 or 2: the first or the second surface crosses itself; 0: neither (or stopped).
int FindSelfCrossing(const CutFaceSide& first, const CutFaceSide& second, const std::function<bool()>& stop) {
  double scale = 0;
  for (const CutFaceSide* s : {&first, &second}) {
    for (const Vec3& p : s->points) scale = std::max(scale, MaxAbs(p));
  }
  int which = 0;
  for (const CutFaceSide* s : {&first, &second}) {
    ++which;
    const Box3 box = BoxOf(s->points.data(), s->points.size());
    // Most parts are star-shaped about their box's centre, and then a linear
    // pass proves what the grid search would take many times as long to find.
    // Only a closed side's answer is ever read (see BuildCutFace).
    if (EmbeddedAroundPoint(s->points.data(), s->points.size(), reinterpret_cast<const int32_t*>(s->tris.data()),
                            s->tris.size() / 3, (box.lo + box.hi) * 0.5))
      continue;
    if (stop()) return 0;
    if (SelfIntersects(s->points.data(), s->points.size(), reinterpret_cast<const int32_t*>(s->tris.data()),
                       s->tris.size() / 3, scale, box.lo, box.hi, stop))
      return which;
  }
  return 0;
}

// FindSelfCrossing on a thread of its own (run where the answer is asked
// for when no thread can be started). An answer not asked for is abandoned:
// the search stops at its next poll, before the build returns.
class SelfCrossingSearch {
public:
  SelfCrossingSearch(const CutFaceSide& first, const CutFaceSide& second, const std::function<bool()>& stop)
      : m_stop([this, &stop] { return m_abandoned.load() || stop(); }) {
    try {
      m_answer =
          std::async(std::launch::async, FindSelfCrossing, std::cref(first), std::cref(second), std::cref(m_stop));
    } catch (const std::system_error&) {
      m_answer =
          std::async(std::launch::deferred, FindSelfCrossing, std::cref(first), std::cref(second), std::cref(m_stop));
    }
  }
  ~SelfCrossingSearch() {
    m_abandoned.store(true);
    if (m_answer.valid()) m_answer.wait();
  }
  SelfCrossingSearch(const SelfCrossingSearch&) = delete;
  SelfCrossingSearch& operator=(const SelfCrossingSearch&) = delete;
  int get() { return m_answer.get(); }

private:
  std::atomic<bool> m_abandoned{false};
  std::function<bool()> m_stop;
  std::future<int> m_answer;
};

std::string OpenNote(const char* which, const SolidCheck& c) {
  return std::string(which) + " part's surface is not closed (" + std::to_string(c.unmatchedEdges) +
         " unmatched edges): it bounds no volume";
}

}  // namespace

CutFace BuildCutFace(const CutFaceSide& first, const CutFaceSide& second, const std::function<bool()>& stop) {
  CutFace out;
  // Over the whole of each surface (a crossing far from the overlap still
  // doubles, or turns over, regions that can reach into it). The search
  // needs nothing else built here, so it runs beside the cutting on a thread
  // of its own; `stop` must therefore be callable from two threads.
  SelfCrossingSearch selfCrossing(first, second, stop);
  Sided a{&first,
          CheckSolid(first.points.data(), first.points.size(), reinterpret_cast<const int32_t*>(first.tris.data()),
                     first.tris.size() / 3),
          false};
  Sided b{&second,
          CheckSolid(second.points.data(), second.points.size(), reinterpret_cast<const int32_t*>(second.tris.data()),
                     second.tris.size() / 3),
          false};
  a.flip = a.check.closed && a.check.volume < 0;
  b.flip = b.check.closed && b.check.volume < 0;

  double scale = 0;
  for (const CutFaceSide* s : {&first, &second}) {
    for (const Vec3& p : s->points) scale = std::max(scale, MaxAbs(p));
  }
  const std::vector<int32_t> trisA = Oriented(first.tris, a.flip), trisB = Oriented(second.tris, b.flip);
  // Queries on either side lie in both boxes, or they are outside.
  Vec3 qlo{0, 0, 0}, qhi{0, 0, 0};
  bool firstPoint = true;
  for (const CutFaceSide* s : {&first, &second}) {
    const Box3 box = BoxOf(s->points.data(), s->points.size());
    const Vec3 &slo = box.lo, &shi = box.hi;
    if (firstPoint) {
      qlo = slo, qhi = shi;
    } else {
      qlo = {std::max(qlo.x, slo.x), std::max(qlo.y, slo.y), std::max(qlo.z, slo.z)};
      qhi = {std::min(qhi.x, shi.x), std::min(qhi.y, shi.y), std::min(qhi.z, shi.z)};
    }
    firstPoint = false;
  }
  const SolidLocator inA(first.points.data(), first.points.size(), trisA.data(), trisA.size() / 3, scale, &qlo, &qhi);
  const SolidLocator inB(second.points.data(), second.points.size(), trisB.data(), trisB.size() / 3, scale, &qlo, &qhi);

  const double tol = MeshTolerance(scale);
  Output kept(tol);
  const bool done = KeepPieces(a, inB, true, stop, kept) && KeepPieces(b, inA, false, stop, kept);
  out.points.swap(kept.points);
  out.tris.swap(kept.tris);
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
  switch (selfCrossing.get()) {
    case 1:
      out.volumeNote = "the first part's surface intersects itself: it bounds no single volume";
      return out;
    case 2:
      out.volumeNote = "the second part's surface intersects itself: it bounds no single volume";
      return out;
    default:
      break;
  }
  if (stop()) {
    out.volumeNote = "stopped before the cut face was complete";
    return out;
  }
  // Both parts closed should give a closed cut face; where the pieces kept
  // from the two sides do not meet (flush faces the pair search or the
  // judgement got wrong), the divergence sum depends on the origin and is no
  // volume. An empty cut face is closed: the parts only touch.
  const SolidCheck closedCheck = CheckSolid(out.points.data(), out.points.size(),
                                            reinterpret_cast<const int32_t*>(out.tris.data()), out.tris.size() / 3);
  if (closedCheck.unmatchedEdges > 0) {
    out.volumeNote = "the cut face is not closed (" + std::to_string(closedCheck.unmatchedEdges) +
                     " open edges): its volume is unknown";
    return out;
  }
  out.volume = std::max(0.0, closedCheck.volume);
  out.volumeKnown = true;
  out.penetrationDepth = 0;  // no common volume: the interiors do not overlap
  if (out.volume > 0) {
    out.penetrationDepth = PenetrationDepthLowerBound(
        out.points.data(), out.points.size(), reinterpret_cast<const int32_t*>(out.tris.data()), out.tris.size() / 3);
  }
  return out;
}

}  // namespace vx::mesh
