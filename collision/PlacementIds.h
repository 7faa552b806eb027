#pragma once
// Internal to the collision manager's sources: placement paths as numbers.
//
// A path's placement path spells the placement ids of the instance kits on
// it, head to tail, in hex between '|'. So two paths have the same
// placement path exactly when their id lists are equal, and one placement
// path continues another id by id exactly when its list starts with the
// other's. The run asks these questions once per input instance; numbers
// spare it building and hashing a string for each.
#include <Inventor/SoFullPath.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/SoKRN_ComponentKit.h"

namespace vx::collide {

// Appends the placement ids of the instance kits on `path` (null: none).
inline void AppendPlacementIds(const SoPath* path, std::vector<uint32_t>& out) {
  if (!path) return;
  const auto* full = static_cast<const SoFullPath*>(path);
  const SoType kitType = SoKRN_ComponentKit::getClassTypeId();
  for (int i = 0; i < full->getLength(); ++i) {
    SoNode* node = full->getNode(i);
    if (!node || !node->isOfType(kitType)) continue;
    const auto* kit = static_cast<const SoKRN_ComponentKit*>(node);
    if (kit->isInstance()) out.push_back(kit->getPLCID());
  }
}

// FNV-1a over a list of ids, extended one id at a time, so that the hashes
// of all prefixes of one list come out in one pass.
constexpr uint64_t kIdsHashSeed = 1469598103934665603ull;
inline uint64_t ExtendIdsHash(uint64_t h, uint32_t id) {
  for (int k = 0; k < 4; ++k) {
    h ^= (id >> (8 * k)) & 0xffu;
    h *= 1099511628211ull;
  }
  return h;
}

// The id lists of many paths in one array: list k is ids[start[k], start[k + 1]).
struct PlacementIdLists {
  std::vector<uint32_t> ids;
  std::vector<std::size_t> start{0};

  // Siblings usually follow each other (the instances of one group): when
  // a path has the previous one's nodes up to its tail, the ids of that
  // part are copied and only the tail is looked at.
  void Add(const SoPath* path) {
    const auto* full = static_cast<const SoFullPath*>(path);
    const int len = full ? full->getLength() : 0;
    bool sameParent = len >= 1 && static_cast<std::size_t>(len - 1) == m_parent.size();
    for (int i = 0; sameParent && i + 1 < len; ++i)
      sameParent = full->getNode(i) == m_parent[static_cast<std::size_t>(i)];
    const std::size_t first = ids.size();
    if (sameParent) {
      ids.insert(ids.end(), m_parentIds.begin(), m_parentIds.end());
      AppendTailId(full->getTail());
    } else {
      m_parent.clear();
      m_parentIds.clear();
      for (int i = 0; i + 1 < len; ++i) m_parent.push_back(full->getNode(i));
      if (len >= 1) {
        AppendPlacementIds(full, ids);
        // The tail's id, if any, is the last one: the parent's are the rest.
        const bool tailId = ids.size() > first && IsInstance(full->getTail());
        m_parentIds.assign(ids.begin() + static_cast<std::ptrdiff_t>(first), ids.end() - (tailId ? 1 : 0));
      }
    }
    start.push_back(ids.size());
  }
  std::size_t Size(std::size_t k) const { return start[k + 1] - start[k]; }
  const uint32_t* Begin(std::size_t k) const { return ids.data() + start[k]; }
  uint64_t Hash(std::size_t k) const {
    uint64_t h = kIdsHashSeed;
    for (std::size_t i = start[k]; i < start[k + 1]; ++i) h = ExtendIdsHash(h, ids[i]);
    return h;
  }
  // True when list k equals the first n ids of `other`.
  bool Equals(std::size_t k, const uint32_t* other, std::size_t n) const {
    if (Size(k) != n) return false;
    const uint32_t* mine = Begin(k);
    for (std::size_t i = 0; i < n; ++i) {
      if (mine[i] != other[i]) return false;
    }
    return true;
  }

private:
  static bool IsInstance(SoNode* node) {
    return node && node->isOfType(SoKRN_ComponentKit::getClassTypeId()) &&
           static_cast<SoKRN_ComponentKit*>(node)->isInstance();
  }
  void AppendTailId(SoNode* tail) {
    if (IsInstance(tail)) ids.push_back(static_cast<SoKRN_ComponentKit*>(tail)->getPLCID());
  }
  std::vector<SoNode*> m_parent;      // the last path's nodes before its tail
  std::vector<uint32_t> m_parentIds;  // their placement ids
};

}  // namespace vx::collide
