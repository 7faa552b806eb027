#include "host/SoKRN_State.h"

#include <Inventor/SoPath.h>
#include <Inventor/nodes/SoClipPlane.h>

#include "host/PathKey.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"

SoKRN_State::SoKRN_State(SoNode* owner) : m_owner(owner), m_viewport(640, 480) {}

SoKRN_State::~SoKRN_State() { clearPickData(); }

int SoKRN_State::getSnappingFilterType(std::vector<std::string>& objectKinds, std::vector<std::string>& pointKinds,
                                       std::vector<std::string>& third) const {
  objectKinds = m_snapObjects;
  pointKinds = m_snapPoints;
  third = m_snapThird;
  return 0;
}

void SoKRN_State::setSnappingFilterType(const std::vector<std::string>& objectKinds,
                                        const std::vector<std::string>& pointKinds,
                                        const std::vector<std::string>& third) {
  m_snapObjects = objectKinds;
  m_snapPoints = pointKinds;
  m_snapThird = third;
}

void SoKRN_State::setPickData(const PICKDATA& data) {
  m_pickPath.reset(data.path);  // may be the path already held
  m_pickData = data;
  m_hasPickData = true;
}

void SoKRN_State::clearPickData() {
  m_pickData = PICKDATA();
  m_pickPath.reset();
  m_hasPickData = false;
}

int SoKRN_State::getDocEleVisible(const SoPath* path) const {
  if (!path) return -1;
  return getVisibleByKey(vx::host::InstanceChainKey(path));
}

int SoKRN_State::getVisibleByKey(const std::string& key) const {
  // An occurrence without an entry of its own inherits from the nearest
  // instance above it that has one: hiding the root hides everything that
  // is not shown explicitly.
  std::string k = key;
  for (;;) {
    auto it = m_visible.find(k);
    if (it != m_visible.end()) return it->second;
    if (k.empty()) return -1;
    const std::size_t bar = k.rfind('|');
    k.erase(bar == std::string::npos ? 0 : bar);
  }
}

bool SoKRN_State::hasVisibleBelow(const std::string& key) const {
  // Entries strictly below `key`: keys that continue it with "|..." (every
  // non-empty key continues the root's "").
  const std::string prefix = key.empty() ? std::string() : key + "|";
  for (auto it = m_visible.lower_bound(prefix); it != m_visible.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.size() > prefix.size() && it->second != 0) return true;
  }
  return false;
}

std::vector<std::string> SoKRN_State::getShownKeys() const {
  std::vector<std::string> keys;
  for (const auto& entry : m_visible) {
    if (entry.second != 0) keys.push_back(entry.first);
  }
  return keys;
}

void SoKRN_State::setDocEleVisible(const SoPath* path, int visible, int notify) {
  if (path) setVisibleByKey(vx::host::InstanceChainKey(path), visible, notify);
}

void SoKRN_State::setVisibleByKey(const std::string& key, int visible, int notify) {
  auto it = m_visible.find(key);
  const bool wasHidden = it != m_visible.end() && it->second == 0;
  // A visible entry matters only under a hidden ancestor, where it shows the
  // occurrence again; under a visible one it is dropped (also when it holds
  // the value given already: the ancestor may have been shown since), so
  // that hiding the ancestor later hides this occurrence too.
  bool ancestorVisible = true;
  if (!key.empty()) {
    const std::size_t bar = key.rfind('|');
    ancestorVisible = getVisibleByKey(bar == std::string::npos ? std::string() : key.substr(0, bar)) != 0;
  }
  if (it != m_visible.end() && it->second == visible && !(visible != 0 && ancestorVisible)) return;
  if (visible != 0 && ancestorVisible) {
    if (it != m_visible.end()) m_visible.erase(it);
  } else {
    m_visible[key] = visible;
  }
  m_numHidden += (visible == 0 ? 1 : 0) - (wasHidden ? 1 : 0);
  notifyOwner(notify);
}

namespace {
float Unit(float v) { return v > 0 ? (v < 1 ? v : 1) : 0; }  // NaN gives 0
}  // namespace

void SoKRN_State::setInsColor(const SoPath* path, const SbColor& color, int notify) {
  if (!path) return;
  InsLook& look = m_looks[vx::host::InstanceChainKey(path)];
  look.hasColor = true;
  look.color.setValue(Unit(color[0]), Unit(color[1]), Unit(color[2]));
  notifyOwner(notify);
}

void SoKRN_State::removeColor(const SoPath* path, int notify) {
  if (!path) return;
  auto it = m_looks.find(vx::host::InstanceChainKey(path));
  if (it == m_looks.end() || !it->second.hasColor) return;
  it->second.hasColor = false;
  if (!it->second.hasTransparency) m_looks.erase(it);
  notifyOwner(notify);
}

void SoKRN_State::setInsTransparency(const SoPath* path, float transparency, int notify) {
  if (!path) return;
  InsLook& look = m_looks[vx::host::InstanceChainKey(path)];
  look.hasTransparency = true;
  look.transparency = Unit(transparency);
  notifyOwner(notify);
}

void SoKRN_State::removeInsTransparency(const SoPath* path, int notify) {
  if (!path) return;
  auto it = m_looks.find(vx::host::InstanceChainKey(path));
  if (it == m_looks.end() || !it->second.hasTransparency) return;
  it->second.hasTransparency = false;
  if (!it->second.hasColor) m_looks.erase(it);
  notifyOwner(notify);
}

bool SoKRN_State::getInsLook(const SoPath* path, InsLook& look) const {
  return path && getInsLookByKey(vx::host::InstanceChainKey(path), look);
}

bool SoKRN_State::getInsLookByKey(const std::string& key, InsLook& look) const {
  auto it = m_looks.find(key);
  if (it == m_looks.end()) return false;
  look = it->second;
  return true;
}

void SoKRN_State::setUserMatrix(const SoPath* path, const SbMatrix& m, int notify) {
  if (!path) return;
  m_userMatrices[vx::host::InstanceChainKey(path)] = m;
  notifyOwner(notify);
}

bool SoKRN_State::getUserMatrix(const SoPath* path, SbMatrix& m) const {
  if (!path) return false;
  return getUserMatrixByKey(vx::host::InstanceChainKey(path), m);
}

bool SoKRN_State::getUserMatrixByKey(const std::string& key, SbMatrix& m) const {
  auto it = m_userMatrices.find(key);
  if (it == m_userMatrices.end()) return false;
  m = it->second;
  return true;
}

void SoKRN_State::removeUserMat(const SoPath* path, int notify) {
  if (!path) return;
  if (m_userMatrices.erase(vx::host::InstanceChainKey(path)) > 0) notifyOwner(notify);
}

void SoKRN_State::setClipPlane(SoClipPlane* plane) { m_clipPlane.reset(plane); }

void SoKRN_State::notifyOwner(int notify) {
  if (!notify || !m_owner) return;
  // Touch the model (the top prototype) rather than the document node: that
  // also tells every separator between the document and the model, whose
  // caches would otherwise survive.
  if (m_owner->isOfType(SoKRN_MainDoc::getClassTypeId())) {
    if (SoKRN_ComponentKit* top = static_cast<SoKRN_MainDoc*>(m_owner)->getTopPrototype()) {
      top->touch();
      return;
    }
  }
  m_owner->touch();
}
