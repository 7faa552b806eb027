#include "tools/DocumentCensus.h"

#include <utility>
#include <vector>

#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "platform/Platform.h"
#include "tools/AssimpSceneConverter.h"
#include "tools/MeshCleanup.h"

DocumentCensus::DocumentCensus(std::string label, ImportStats& stats) : m_label(std::move(label)), m_stats(stats) {}

std::int64_t DocumentCensus::Count(SoKRN_ComponentKit* top, std::string& error) {
  if (!top) {
    error = m_label + ": the document has no top prototype";
    return -1;
  }
  return Visit(top, 0, error);
}

std::int64_t DocumentCensus::Visit(SoKRN_ComponentKit* proto, int depth, std::string& error) {
  // A prototype placed many times is visited once; its occurrences add up.
  auto done = m_placed.find(proto);
  if (done != m_placed.end()) return done->second;
  if (depth > AssimpSceneConverter::kMaxDepth || !m_open.insert(proto).second) {
    error = m_label + ": the assembly tree is too deep or contains itself";
    return -1;
  }
  std::vector<float> xyz;
  std::vector<int> tris;
  vx::host::GetPrototypeMesh(proto, xyz, tris);
  const long bad = meshcleanup::FirstNonFiniteVertex(xyz.data(), xyz.size() / 3);
  if (bad >= 0) {
    std::wstring name;
    proto->getKRNName(name);
    error = m_label + ": prototype \"" + vx::platform::WideToNarrow(name) + "\" has a non-finite coordinate (vertex " +
            std::to_string(bad) + ")";
    return -1;
  }
  std::int64_t placed = vx::host::CountTriangles(proto);
  if (depth > 0) {
    ++m_stats.prototypes;
    m_stats.triangles += placed;
  }
  for (int i = 0; i < proto->getNumEleChildren(); ++i) {
    SoKRN_DocElementKit* child = proto->getEleChild(i);
    if (!child || !child->isOfType(SoKRN_ComponentKit::getClassTypeId())) continue;
    auto* inst = static_cast<SoKRN_ComponentKit*>(child);
    SoKRN_ComponentKit* p = inst->getPrototype();
    if (!p) continue;
    if (m_instances.insert(inst).second) ++m_stats.instances;
    const std::int64_t sub = Visit(p, depth + 1, error);
    if (sub < 0) return -1;
    placed += sub;
  }
  m_open.erase(proto);
  m_placed[proto] = placed;
  return placed;
}
