// Feature edges: weld, find sharp edges, chain them, fit lines and arcs.
//
// Notation: V = welded vertices (each the first input vertex with its
// coordinates), an edge is a pair of welded vertices (lo, hi), a chain is a
// run of sharp edges through vertices of sharp degree 2. Points along a chain
// are in double. tol = relTolerance * bounding-box diagonal.
#include "host/FeatureEdges.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace vx::host {

namespace {

constexpr double kPi = 3.141592653589793;

struct V3 {
  double x = 0, y = 0, z = 0;
};
V3 operator-(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(const V3& a, const V3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(const V3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(const V3& a, const V3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Len(const V3& a) { return std::sqrt(Dot(a, a)); }

struct PosKey {
  uint32_t b[3];
  bool operator==(const PosKey& o) const { return b[0] == o.b[0] && b[1] == o.b[1] && b[2] == o.b[2]; }
};
struct PosHash {
  size_t operator()(const PosKey& k) const {
    uint64_t h = k.b[0] * 0x9E3779B97F4A7C15ull;
    h ^= (h >> 29) ^ (k.b[1] * 0xBF58476D1CE4E5B9ull);
    h ^= (h >> 31) ^ (k.b[2] * 0x94D049BB133111EBull);
    return static_cast<size_t>(h ^ (h >> 32));
  }
};
uint32_t Bits(float f) {
  if (f == 0.0f) f = 0.0f;  // -0 and +0 weld
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

class Fitter {
public:
  Fitter(const std::vector<V3>& pos, double tol, double cornerCos, std::vector<FeatureCurve>& out)
      : m_pos(pos), m_tol(tol), m_cornerCos(cornerCos), m_out(out) {}

  // A chain of vertex ids; closed when its last point joins its first.
  void chain(std::vector<int> ids, bool closed) {
    const size_t n = ids.size();
    if (closed) {
      if (n < 3) return;
      size_t corner = n;
      for (size_t i = 0; i < n && corner == n; ++i)
        if (isCorner(ids[(i + n - 1) % n], ids[i], ids[(i + 1) % n])) corner = i;
      if (corner == n) {
        if (!fitCircle(ids)) {
          std::vector<int> a(ids.begin(), ids.begin() + n / 2 + 1), b(ids.begin() + n / 2, ids.end());
          b.push_back(ids[0]);
          fitOpen(a, 0, a.size() - 1);
          fitOpen(b, 0, b.size() - 1);
        }
        return;
      }
      std::rotate(ids.begin(), ids.begin() + corner, ids.end());
      ids.push_back(ids[0]);
    }
    if (ids.size() < 2) return;
    size_t start = 0;
    for (size_t i = 1; i + 1 < ids.size(); ++i) {
      if (isCorner(ids[i - 1], ids[i], ids[i + 1])) {
        fitOpen(ids, start, i);
        start = i;
      }
    }
    fitOpen(ids, start, ids.size() - 1);
  }

private:
  bool isCorner(int a, int b, int c) const {
    V3 u = m_pos[b] - m_pos[a], v = m_pos[c] - m_pos[b];
    double lu = Len(u), lv = Len(v);
    if (lu == 0 || lv == 0) return true;
    return Dot(u, v) / (lu * lv) < m_cornerCos;
  }

  void fitOpen(const std::vector<int>& ids, size_t lo, size_t hi) {
    if (hi <= lo) return;
    if (hi - lo == 1 || isLine(ids, lo, hi)) {
      FeatureCurve c;
      c.kind = FeatureCurve::LINE;
      c.points.assign(ids.begin() + lo, ids.begin() + hi + 1);
      m_out.push_back(std::move(c));
      return;
    }
    if (hi - lo >= 3) {
      FeatureCurve c;
      if (fitArc(ids, lo, hi, false, c)) {
        c.kind = FeatureCurve::ARC;
        m_out.push_back(std::move(c));
        return;
      }
    }
    const size_t mid = lo + (hi - lo) / 2;
    fitOpen(ids, lo, mid);
    fitOpen(ids, mid, hi);
  }

  bool fitCircle(const std::vector<int>& ids) {
    if (ids.size() < 6) return false;
    std::vector<int> loop(ids);
    loop.push_back(ids[0]);
    FeatureCurve c;
    if (!fitArc(loop, 0, loop.size() - 1, true, c)) return false;
    c.kind = FeatureCurve::CIRCLE;
    c.points = ids;
    m_out.push_back(std::move(c));
    return true;
  }

  // Every point within tol of the line through the ends, projections in order.
  bool isLine(const std::vector<int>& ids, size_t lo, size_t hi) const {
    const V3 a = m_pos[ids[lo]], d = m_pos[ids[hi]] - a;
    const double len = Len(d);
    if (len <= m_tol) return false;
    const V3 u = d * (1.0 / len);
    double last = 0;
    for (size_t i = lo + 1; i < hi; ++i) {
      const V3 w = m_pos[ids[i]] - a;
      const double t = Dot(w, u);
      if (t < last || t > len) return false;
      if (Len(w - u * t) > m_tol) return false;
      last = t;
    }
    return true;
  }

  // Circle through three of the points (first, middle, last; for a closed
  // run the thirds), checked against all of them. `c` gets centre, axis and
  // radius and, for an arc, the points.
  bool fitArc(const std::vector<int>& ids, size_t lo, size_t hi, bool closed, FeatureCurve& c) const {
    const size_t n = hi - lo;
    const V3 A = m_pos[ids[lo]];
    const V3 B = m_pos[ids[closed ? lo + n / 3 : lo + n / 2]];
    const V3 C = m_pos[ids[closed ? lo + 2 * n / 3 : hi]];
    const V3 a = A - C, b = B - C;
    const V3 axb = Cross(a, b);
    const double d2 = Dot(axb, axb);
    if (d2 <= 0) return false;
    const V3 centre = C + Cross(b * Dot(a, a) - a * Dot(b, b), axb) * (1.0 / (2.0 * d2));
    const double r = Len(A - centre);
    if (!(r > m_tol) || !std::isfinite(r)) return false;
    V3 axis = Cross(m_pos[ids[lo]] - centre, m_pos[ids[lo + 1]] - centre);
    const double la = Len(axis);
    if (la == 0) return false;
    axis = axis * (1.0 / la);
    double sweep = 0;
    for (size_t i = lo; i <= hi; ++i) {
      const V3 w = m_pos[ids[i]] - centre;
      if (std::fabs(Len(w) - r) > m_tol || std::fabs(Dot(w, axis)) > m_tol) return false;
      if (i == hi) break;
      const V3 w1 = m_pos[ids[i + 1]] - centre;
      const double step = std::atan2(Dot(Cross(w, w1), axis), Dot(w, w1));
      if (!(step > 0)) return false;
      sweep += step;
    }
    if (closed ? std::fabs(sweep - 2 * kPi) > 1e-3 : sweep > 2 * kPi - 1e-3) return false;
    c.centre[0] = centre.x;
    c.centre[1] = centre.y;
    c.centre[2] = centre.z;
    c.axis[0] = axis.x;
    c.axis[1] = axis.y;
    c.axis[2] = axis.z;
    c.radius = r;
    if (!closed) c.points.assign(ids.begin() + lo, ids.begin() + hi + 1);
    return true;
  }

  const std::vector<V3>& m_pos;
  double m_tol;
  double m_cornerCos;
  std::vector<FeatureCurve>& m_out;
};

// Welds on equal coordinates (open addressing on the coordinate bits):
// rep[v] is the first vertex with v's position; pos and finite per vertex.
void WeldPositions(const std::vector<float>& xyz, int numVerts, std::vector<int>& rep, std::vector<V3>& pos,
                   std::vector<char>& finite) {
  rep.assign(numVerts, 0);
  pos.assign(numVerts, V3{});
  finite.assign(numVerts, 0);
  size_t cap = 16;
  while (cap < 2 * static_cast<size_t>(numVerts)) cap *= 2;
  std::vector<int> slot(cap, -1);
  std::vector<PosKey> keys(numVerts);
  const PosHash hash;
  for (int v = 0; v < numVerts; ++v) {
    const float* p = &xyz[3 * static_cast<size_t>(v)];
    pos[v] = {p[0], p[1], p[2]};
    finite[v] = std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
    keys[v] = PosKey{{Bits(p[0]), Bits(p[1]), Bits(p[2])}};
    size_t h = hash(keys[v]) & (cap - 1);
    while (slot[h] >= 0 && !(keys[slot[h]] == keys[v])) h = (h + 1) & (cap - 1);
    if (slot[h] < 0) slot[h] = v;
    rep[v] = slot[h];
  }
}

// Triangles by welded corners (a skipped triangle gets corner -1: an index
// out of range or on a non-finite point, two equal corners, no area) and
// their unit normals. Returns the diagonal of the kept corners' box.
double WeldedTriangles(const std::vector<int>& tris, int numVerts, const std::vector<int>& rep,
                       const std::vector<V3>& pos, const std::vector<char>& finite, std::vector<int>& corner,
                       std::vector<V3>& normal) {
  const size_t numTris = tris.size() / 3;
  corner.assign(3 * numTris, -1);
  normal.assign(numTris, V3{});
  V3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  for (size_t t = 0; t < numTris; ++t) {
    int c[3];
    bool ok = true;
    for (int k = 0; k < 3 && ok; ++k) {
      const int v = tris[3 * t + k];
      ok = v >= 0 && v < numVerts && finite[v];
      if (ok) c[k] = rep[v];
    }
    if (!ok || c[0] == c[1] || c[1] == c[2] || c[0] == c[2]) continue;
    const V3 n = Cross(pos[c[1]] - pos[c[0]], pos[c[2]] - pos[c[0]]);
    const double ln = Len(n);
    if (!(ln > 0)) continue;
    normal[t] = n * (1.0 / ln);
    for (int k = 0; k < 3; ++k) {
      corner[3 * t + k] = c[k];
      const V3& p = pos[c[k]];
      lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  }
  return Len(hi - lo);
}

// The sharp edges (welded corner pairs, lower first), each once: edges with
// other than two triangles, and edges whose two triangles' normals are
// further apart than the angle whose cosine is `sharpCos`.
std::vector<std::pair<int, int>> SharpEdges(const std::vector<int>& corner, const std::vector<V3>& normal, int numVerts,
                                            double sharpCos) {
  const size_t numTris = normal.size();
  // Triangles around each welded vertex (CSR), to find an edge's triangles.
  std::vector<int> fanStart(numVerts + 1, 0);
  for (int c : corner)
    if (c >= 0) ++fanStart[c + 1];
  for (int v = 0; v < numVerts; ++v) fanStart[v + 1] += fanStart[v];
  std::vector<int> fan(fanStart[numVerts]);
  {
    std::vector<int> fill(fanStart.begin(), fanStart.end() - 1);
    for (size_t i = 0; i < corner.size(); ++i)
      if (corner[i] >= 0) fan[fill[corner[i]]++] = static_cast<int>(i / 3);
  }
  // Where triangle t runs from a to b: +1; from b to a: -1; else 0.
  auto runs = [&](size_t t, int a, int b) {
    for (int k = 0; k < 3; ++k) {
      if (corner[3 * t + k] != a) continue;
      if (corner[3 * t + (k + 1) % 3] == b) return 1;
      if (corner[3 * t + (k + 2) % 3] == b) return -1;
    }
    return 0;
  };

  // Each edge from the lowest-numbered triangle on it.
  std::vector<std::pair<int, int>> sharp;
  for (size_t t = 0; t < numTris; ++t) {
    if (corner[3 * t] < 0) continue;
    for (int k = 0; k < 3; ++k) {
      const int a = corner[3 * t + k], b = corner[3 * t + (k + 1) % 3];
      int count = 1, other = -1, otherWay = 0;
      bool owner = true;
      for (int i = fanStart[a]; i < fanStart[a + 1] && owner; ++i) {
        const size_t u = static_cast<size_t>(fan[i]);
        if (u == t) continue;
        const int w = runs(u, a, b);
        if (w == 0) continue;
        owner = u > t;
        ++count;
        other = static_cast<int>(u);
        otherWay = w;
      }
      if (!owner) continue;
      bool isSharp = count != 2;
      if (!isSharp) {
        // A neighbour running the edge the same way is wound the other way.
        const V3 n1 = otherWay > 0 ? normal[other] * -1.0 : normal[other];
        isSharp = Dot(normal[t], n1) < sharpCos;
      }
      if (isSharp) sharp.emplace_back(std::min(a, b), std::max(a, b));
    }
  }
  return sharp;
}

// Chains the sharp edges into curves for the fitter: open chains between
// vertices where other than two sharp edges meet, then closed loops.
void ChainSharpEdges(const std::vector<std::pair<int, int>>& sharp, int numVerts, Fitter& fitter) {
  // Per welded vertex, the sharp edges at it (CSR).
  std::vector<int> first(numVerts + 1, 0);
  for (const auto& e : sharp) {
    ++first[e.first + 1];
    ++first[e.second + 1];
  }
  for (int v = 0; v < numVerts; ++v) first[v + 1] += first[v];
  std::vector<int> incident(first[numVerts]);
  {
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (int i = 0; i < static_cast<int>(sharp.size()); ++i) {
      incident[fill[sharp[i].first]++] = i;
      incident[fill[sharp[i].second]++] = i;
    }
  }
  auto degree = [&](int v) { return first[v + 1] - first[v]; };
  std::vector<char> used(sharp.size(), 0);
  auto other = [&](int e, int v) { return sharp[e].first == v ? sharp[e].second : sharp[e].first; };
  auto nextEdge = [&](int v) {
    for (int i = first[v]; i < first[v + 1]; ++i)
      if (!used[incident[i]]) return incident[i];
    return -1;
  };

  // Open chains run between vertices where other than two sharp edges meet.
  for (int v = 0; v < numVerts; ++v) {
    if (degree(v) == 0 || degree(v) == 2) continue;
    for (int e = nextEdge(v); e >= 0; e = nextEdge(v)) {
      std::vector<int> ids{v};
      int cur = v;
      while (e >= 0) {
        used[e] = 1;
        cur = other(e, cur);
        ids.push_back(cur);
        if (degree(cur) != 2) break;
        e = nextEdge(cur);
      }
      fitter.chain(std::move(ids), false);
    }
  }
  // What is left are closed loops through vertices of degree 2.
  for (size_t s = 0; s < sharp.size(); ++s) {
    if (used[s]) continue;
    const int start = sharp[s].first;
    std::vector<int> ids{start};
    int cur = start;
    int e = static_cast<int>(s);
    while (e >= 0) {
      used[e] = 1;
      cur = other(e, cur);
      if (cur == start) break;
      ids.push_back(cur);
      e = nextEdge(cur);
    }
    fitter.chain(std::move(ids), cur == start);
  }
}

}  // namespace

std::vector<FeatureCurve> FindFeatureCurves(const std::vector<float>& xyz, const std::vector<int>& tris,
                                            const FeatureEdgeOptions& options) {
  std::vector<FeatureCurve> out;
  const int numVerts = static_cast<int>(xyz.size() / 3);
  const size_t numTris = tris.size() / 3;
  if (numVerts == 0 || numTris == 0) return out;
  std::vector<int> rep, corner;
  std::vector<V3> pos, normal;
  std::vector<char> finite;
  WeldPositions(xyz, numVerts, rep, pos, finite);
  const double diag = WeldedTriangles(tris, numVerts, rep, pos, finite, corner, normal);
  if (!(diag > 0) || !std::isfinite(diag)) return out;
  const auto sharp = SharpEdges(corner, normal, numVerts, std::cos(options.sharpAngleDeg * kPi / 180.0));
  Fitter fitter(pos, options.relTolerance * diag, std::cos(options.cornerAngleDeg * kPi / 180.0), out);
  ChainSharpEdges(sharp, numVerts, fitter);
  return out;
}

}  // namespace vx::host
