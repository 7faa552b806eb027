#pragma once
// Checks made on a file's bytes before a reader sees it, for damage that
// the readers do not handle: assimp's PLY reader loops forever on a header
// without "end_header" and allocates what the header announces however
// short the file, and its STL reader takes an ASCII file cut off between
// facets as complete.
#include <cstdint>
#include <string>

namespace importchecks {

// `head`: the file's first bytes (up to kHeadBytes); `tail`: its last bytes
// (up to kTailBytes); `size`: its size. False with a short reason when the
// file is damaged.
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr std::size_t kTailBytes = 1024;

bool CheckPly(const std::string& head, std::uintmax_t size, std::string& reason);
bool CheckStl(const std::string& head, const std::string& tail, std::uintmax_t size,
              std::string& reason);

// IFC files: an ISO-10303-21 header naming the IFC2X3 schema.
bool CheckIfc(const std::string& head, std::string& reason);

}  // namespace importchecks
