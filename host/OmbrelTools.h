#pragma once
#include <string>

#include "host/PathKey.h"

class SoNode;
class SoPath;

// Paths here are full paths: they include the nodes inside the kits, so
// read them through SoFullPath (SoPath::getLength stops at the first kit).
class OmbrelTools {
public:
  // Appends to `out` the nodes from `root` (a document or a component kit)
  // down to the instance addressed by the relative placement path `path`
  // ("3|1a": hexadecimal placement ids, "|"-separated). The empty text
  // addresses `root` itself (out = [root]). Leaves `out` empty when the path
  // does not resolve. Ids must be written as InstanceChainKey writes them
  // (lower case, no leading zeros), so that equal texts mean equal
  // instances. `out` must be empty or end at `root`'s parent. The path is
  // built from the kits' structure (no search); each step looks up the
  // child by placement id in a cached index.
  static void StrPathToSoPath(SoNode* root, const std::string& path, SoPath& out);

  // True when both paths hold the same nodes (null equals only null).
  static bool IsPathEqual(const SoPath* a, const SoPath* b) { return vx::host::IsPathEqual(a, b); }

  // The instance chain of a path: the placement ids of its instance kits,
  // head to tail, in hexadecimal joined by "|" ("" for none). The key itself
  // is defined in host/PathKey.h.
  static std::string InstanceChainKey(const SoPath* path) { return vx::host::InstanceChainKey(path); }
};
