#include "tools/ImportedAssembly.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>

#include <Inventor/SbMatrix.h>

#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
#include "platform/Platform.h"

namespace {

std::string ProtoLabel(const ImportedAssembly& a, std::size_t i) {
  const std::wstring& name = a.prototypes[i].name;
  std::string label = "prototype " + std::to_string(i);
  if (!name.empty()) label += " (\"" + vx::platform::WideToNarrow(name) + "\")";
  return label;
}

bool CheckPart(const ImportedAssembly& a, std::size_t i, std::string& reason) {
  const ImportedAssembly::Prototype& p = a.prototypes[i];
  if (p.assembly) {
    if (p.xyz.empty() && p.tris.empty()) return true;
    reason = ProtoLabel(a, i) + ": an assembly with geometry of its own";
    return false;
  }
  if (p.xyz.size() % 3 != 0 || p.tris.size() % 3 != 0) {
    reason = ProtoLabel(a, i) + ": array sizes not multiples of 3";
    return false;
  }
  if (p.tris.empty()) {
    reason = ProtoLabel(a, i) + ": a part without triangles";
    return false;
  }
  const std::size_t numVerts = p.xyz.size() / 3;
  if (numVerts > static_cast<std::size_t>(INT32_MAX)) {
    reason = ProtoLabel(a, i) + ": too many vertices";
    return false;
  }
  for (std::size_t k = 0; k < p.xyz.size(); ++k) {
    if (!std::isfinite(p.xyz[k])) {
      reason = ProtoLabel(a, i) + ": xyz[" + std::to_string(k) + "] is not finite";
      return false;
    }
  }
  for (std::size_t k = 0; k < p.tris.size(); ++k) {
    const int v = p.tris[k];
    if (v < 0 || static_cast<std::size_t>(v) >= numVerts) {
      reason = ProtoLabel(a, i) + ": tris[" + std::to_string(k) + "] = " + std::to_string(v) + " out of range (" +
               std::to_string(numVerts) + " vertices)";
      return false;
    }
  }
  return true;
}

bool CheckPlacement(const ImportedAssembly& a, std::size_t i, std::uint32_t createdBefore, std::string& reason) {
  const ImportedAssembly::Placement& p = a.placements[i];
  const std::string label = "placement " + std::to_string(i);
  if (p.created < createdBefore || p.created > a.prototypes.size()) {
    reason = label + ": prototype count " + std::to_string(p.created) + " out of order";
    return false;
  }
  if (p.prototype >= p.created) {
    reason = label + ": prototype " + std::to_string(p.prototype) + " does not exist yet";
    return false;
  }
  if (p.parent != ImportedAssembly::kTop) {
    if (p.parent < 0 || static_cast<std::uint32_t>(p.parent) >= p.created) {
      reason = label + ": parent " + std::to_string(p.parent) + " does not exist yet";
      return false;
    }
    if (!a.prototypes[static_cast<std::size_t>(p.parent)].assembly) {
      reason = label + ": parent " + ProtoLabel(a, static_cast<std::size_t>(p.parent)) + " is a part, not an assembly";
      return false;
    }
  }
  for (int k = 0; k < 16; ++k) {
    if (!std::isfinite(p.matrix[k])) {
      reason = label + ": matrix entry " + std::to_string(k) + " is not finite";
      return false;
    }
  }
  return true;
}

// Containment is a graph on the top (node 0) and the prototypes (node i+1).
// In topological order (Kahn), a node left over lies on a cycle; the longest
// path from the top is the nesting depth.
bool CheckNesting(const ImportedAssembly& a, int maxDepth, std::string& reason) {
  const std::size_t n = a.prototypes.size() + 1;
  std::vector<std::vector<std::size_t>> below(n);
  std::vector<std::size_t> above(n, 0);
  for (const ImportedAssembly::Placement& p : a.placements) {
    const std::size_t from = p.parent == ImportedAssembly::kTop ? 0 : static_cast<std::size_t>(p.parent) + 1;
    below[from].push_back(p.prototype + 1);
    ++above[p.prototype + 1];
  }
  std::vector<int> depth(n, 0);
  std::deque<std::size_t> ready;
  for (std::size_t v = 0; v < n; ++v)
    if (above[v] == 0) ready.push_back(v);
  std::size_t done = 0;
  while (!ready.empty()) {
    const std::size_t v = ready.front();
    ready.pop_front();
    ++done;
    for (std::size_t w : below[v]) {
      depth[w] = std::max(depth[w], depth[v] + 1);
      if (depth[w] > maxDepth) {
        reason = ProtoLabel(a, w - 1) + ": nested deeper than " + std::to_string(maxDepth) + " levels";
        return false;
      }
      if (--above[w] == 0) ready.push_back(w);
    }
  }
  if (done == n) return true;
  // Every node left over has a predecessor left over: walking back from one
  // repeats a node, which lies on a cycle.
  std::vector<std::size_t> back(n, n);
  for (const ImportedAssembly::Placement& p : a.placements) {
    const std::size_t from = p.parent == ImportedAssembly::kTop ? 0 : static_cast<std::size_t>(p.parent) + 1;
    if (above[from] != 0 && above[p.prototype + 1] != 0) back[p.prototype + 1] = from;
  }
  std::size_t v = 0;
  while (v < n && above[v] == 0) ++v;
  std::vector<bool> seen(n, false);
  while (v < n && !seen[v]) {
    seen[v] = true;
    v = back[v];
  }
  reason = v == 0 || v >= n ? std::string("the top prototype is placed inside the assembly")
                            : ProtoLabel(a, v - 1) + ": contains itself";
  return false;
}

}  // namespace

bool CheckImportedAssembly(const ImportedAssembly& a, int maxDepth, std::string& reason) {
  const ImportStats& s = a.stats;
  if (s.instances < 0 || s.prototypes < 0 || s.triangles < 0 || s.placedTriangles < 0 || s.meshesDropped < 0 ||
      s.degenerateTriangles < 0 || s.collapsedNodes < 0 || s.shearedPlacements < 0) {
    reason = "negative counts";
    return false;
  }
  if (a.prototypes.size() > static_cast<std::size_t>(INT32_MAX) ||
      a.placements.size() > static_cast<std::size_t>(INT32_MAX)) {
    reason = "too many prototypes or placements";
    return false;
  }
  for (std::size_t i = 0; i < a.prototypes.size(); ++i)
    if (!CheckPart(a, i, reason)) return false;
  std::uint32_t created = 0;
  for (std::size_t i = 0; i < a.placements.size(); ++i) {
    if (!CheckPlacement(a, i, created, reason)) return false;
    created = a.placements[i].created;
  }
  return CheckNesting(a, maxDepth, reason);
}

SoKRN_MainDoc* BuildImportedAssembly(const ImportedAssembly& a, int maxDepth, std::string& reason) {
  if (!CheckImportedAssembly(a, maxDepth, reason)) return nullptr;
  const vx::host::SoRef<SoKRN_MainDoc> doc(vx::host::NewDocument());
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  top->setKRNName(a.topName);

  // Prototypes are held until the end: one never placed goes with the build.
  std::vector<vx::host::SoRef<SoKRN_ComponentKit>> protos;
  protos.reserve(a.prototypes.size());
  auto createUpTo = [&](std::size_t count) {
    while (protos.size() < count) {
      const ImportedAssembly::Prototype& p = a.prototypes[protos.size()];
      SoKRN_ComponentKit* kit = p.assembly ? vx::host::MakeAssemblyPrototype(doc, p.name)
                                           : vx::host::MakePartPrototype(doc, p.name, p.xyz, p.tris);
      if (!kit) return false;  // not after the check; kept for safety
      protos.emplace_back(kit);
    }
    return true;
  };
  bool ok = true;
  for (std::size_t i = 0; ok && i < a.placements.size(); ++i) {
    const ImportedAssembly::Placement& p = a.placements[i];
    ok = createUpTo(p.created);
    if (!ok) break;
    const float* m = p.matrix;
    const SbMatrix matrix(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9], m[10], m[11], m[12], m[13], m[14],
                          m[15]);
    SoKRN_ComponentKit* parent = p.parent == ImportedAssembly::kTop ? top : protos[static_cast<std::size_t>(p.parent)];
    ok = vx::host::PlaceInstance(doc, parent, protos[p.prototype], matrix, p.name) != nullptr;
    if (!ok) reason = "placement " + std::to_string(i) + " refused";
  }
  if (ok) ok = createUpTo(a.prototypes.size());
  if (!ok) {
    if (reason.empty()) reason = "a prototype could not be made";
    return nullptr;
  }
  doc->adoptTree();
  protos.clear();
  doc->ref();  // the caller's
  return doc;
}
