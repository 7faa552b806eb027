#pragma once
// Small helpers shared by the toolbox sources. Paths through node kits hold
// hidden (kit-internal) nodes, so everything here looks at the full path.
#include <Inventor/SoFullPath.h>
#include <Inventor/SoPath.h>
#include <Inventor/misc/SoTempPath.h>

#include "host/SoKRN_ComponentKit.h"

namespace vx::graph {

inline int FullLength(const SoPath* path) { return path ? static_cast<const SoFullPath*>(path)->getLength() : 0; }

// The last node, hidden or not; null for a null or empty path.
inline SoNode* FullTail(const SoPath* path) {
  return FullLength(path) > 0 ? static_cast<const SoFullPath*>(path)->getTail() : nullptr;
}

inline SoKRN_ComponentKit* AsComponentKit(SoNode* node) {
  return node && node->isOfType(SoKRN_ComponentKit::getClassTypeId()) ? static_cast<SoKRN_ComponentKit*>(node)
                                                                      : nullptr;
}

inline SoKRN_ComponentKit* AsInstanceKit(SoNode* node) {
  SoKRN_ComponentKit* kit = AsComponentKit(node);
  return kit && kit->isInstance() ? kit : nullptr;
}

// A new, unreferenced path holding the first `count` nodes of `src` (all of
// them when count exceeds its length), with room for `capacity` nodes.
// With `temporary` the copy is a SoTempPath (it does not register with the
// scene's groups).
inline SoPath* CopyPathPrefix(const SoPath* src, int count, int capacity, bool temporary = false) {
  const int n = count < FullLength(src) ? count : FullLength(src);
  const int room = capacity > n ? capacity : n;
  SoPath* copy =
      temporary ? static_cast<SoPath*>(new SoTempPath(room > 0 ? room : 1)) : new SoPath(room > 0 ? room : 1);
  if (n == 0) return copy;
  copy->setHead(src->getHead());
  for (int i = 1; i < n; ++i) copy->append(src->getIndex(i));
  return copy;
}

}  // namespace vx::graph
