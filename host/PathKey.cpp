#include "host/PathKey.h"

#include <Inventor/SoFullPath.h>

#include <atomic>
#include <cstdio>

namespace vx::host {
namespace {

std::atomic<InstanceIdReader> g_reader{nullptr};

}  // namespace

void SetInstanceIdReader(InstanceIdReader reader) { g_reader = reader; }

std::string InstanceChainKey(const SoPath* path) {
  std::string key;
  const InstanceIdReader reader = g_reader;
  if (!path || !reader) return key;
  const auto* full = static_cast<const SoFullPath*>(path);
  const int n = full->getLength();
  char buf[16];
  for (int i = 0; i < n; ++i) {
    std::uint32_t id = 0;
    if (!reader(full->getNode(i), id)) continue;
    if (!key.empty()) key += '|';
    snprintf(buf, sizeof buf, "%x", id);
    key += buf;
  }
  return key;
}

bool ParsePlacementId(const std::string& text, std::size_t begin, std::size_t end, std::uint32_t& id) {
  if (end <= begin || end - begin > 8) return false;
  if (text[begin] == '0' && end - begin > 1) return false;
  std::uint32_t v = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const char c = text[i];
    std::uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<std::uint32_t>(c - 'a' + 10);
    } else {
      return false;
    }
    v = (v << 4) | d;
  }
  id = v;
  return true;
}

bool IsPathEqual(const SoPath* a, const SoPath* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  const auto* fa = static_cast<const SoFullPath*>(a);
  const auto* fb = static_cast<const SoFullPath*>(b);
  const int n = fa->getLength();
  if (fb->getLength() != n) return false;
  // Tails first: paths that differ usually differ at the end.
  for (int i = n - 1; i >= 0; --i) {
    if (fa->getNode(i) != fb->getNode(i)) return false;
  }
  return true;
}

}  // namespace vx::host
