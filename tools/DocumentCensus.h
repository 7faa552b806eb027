#pragma once
// Counts what a document's assembly tree holds (into ImportStats) and checks
// that every prototype's coordinates are finite.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "tools/ImportStats.h"

class SoKRN_ComponentKit;

class DocumentCensus {
public:
  // `label` names the file in messages. Counts are added to `stats`.
  DocumentCensus(std::string label, ImportStats& stats);

  // Visits the tree below the top prototype `top` and returns the triangles
  // of all placed occurrences; -1 with a one-line `error` "<label>: ..." when
  // a prototype has a NaN or infinite coordinate, or the tree is deeper than
  // AssimpSceneConverter::kMaxDepth or contains itself. `top` itself is not
  // counted among the prototypes.
  std::int64_t Count(SoKRN_ComponentKit* top, std::string& error);

private:
  std::int64_t Visit(SoKRN_ComponentKit* proto, int depth, std::string& error);

  std::string m_label;
  ImportStats& m_stats;
  std::unordered_map<SoKRN_ComponentKit*, std::int64_t> m_placed;  // per occurrence
  std::unordered_set<SoKRN_ComponentKit*> m_open;                  // on the current branch
  std::unordered_set<SoKRN_ComponentKit*> m_instances;
};
