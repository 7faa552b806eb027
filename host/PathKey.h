#pragma once
// The path key: names an occurrence of the assembly by the placement ids of
// the instance kits on its path, head to tail, in lower-case hexadecimal
// without leading zeros, joined by "|" ("3|1a"; "" for a path through no
// instance). Paths that reach the same occurrence through different internal
// nodes get the same key, so per-occurrence data (visibility, user matrices,
// looks) is kept by key; a path that starts below the document (at an inner
// instance) gives a shorter chain.
//
// A leaf of the host: it knows no kit. The component kit's class start-up
// tells it which nodes are placed instances and what their placement ids are
// (SetInstanceIdReader); until then no node is one and every key is "".
// Paths are full paths (the nodes inside kits included).
#include <cstddef>
#include <cstdint>
#include <string>

class SoNode;
class SoPath;

namespace vx::host {

// True when `node` is a placed instance, with its placement id in `id`.
using InstanceIdReader = bool (*)(const SoNode* node, std::uint32_t& id);
// Installs the reader (null: no node is an instance). Set at class start-up,
// before paths are keyed; keys may then be taken on any thread.
void SetInstanceIdReader(InstanceIdReader reader);

// The key of `path` ("" for null).
std::string InstanceChainKey(const SoPath* path);

// Reads the placement id text[begin, end) of a key: 1 to 8 lower-case hex
// digits without leading zeros, as InstanceChainKey writes them, so that equal
// ids have equal texts. False (id unchanged) for anything else.
bool ParsePlacementId(const std::string& text, std::size_t begin, std::size_t end, std::uint32_t& id);

// True when both paths hold the same nodes (null equals only null).
bool IsPathEqual(const SoPath* a, const SoPath* b);

}  // namespace vx::host
