#pragma once
#include <string>

class SoNode;
class SoPath;

class OmbrelTools {
public:
  // Appends to `out` the nodes from `root` (a document or a component kit)
  // down to the instance addressed by the relative placement path `path`
  // ("3|1a": hexadecimal placement ids, "|"-separated). The empty text
  // addresses `root` itself (out = [root]). Leaves `out` empty when the path
  // does not resolve.
  static void StrPathToSoPath(SoNode* root, const std::string& path, SoPath& out);

  // True when both paths hold the same nodes (null equals only null).
  static bool IsPathEqual(const SoPath* a, const SoPath* b);

  // The instance chain of a path: the placement ids of its instance kits,
  // head to tail, in hexadecimal joined by "|" ("" for none).
  static std::string InstanceChainKey(const SoPath* path);
};
