#pragma once
// Checks made on a file's bytes before a reader sees it, for damage that
// the readers do not handle: assimp's PLY reader loops forever on a header
// without "end_header" and allocates what the header announces however
// short the file, and its STL reader takes an ASCII file cut off between
// facets as complete. Others crash, abort or allocate without bound on
// damage that a scan of the bytes finds cheaply (COLLADA number lists, GLB
// chunk lengths, 3MF archives and component graphs, FBX connection cycles); those are refused here
// with the precise reason rather than left to the reader's process limits.
#include <cstdint>
#include <string>

namespace importchecks {

// `head`: the file's first bytes (up to kHeadBytes); `tail`: its last bytes
// (up to kTailBytes); `size`: its size. False with a short reason when the
// file is damaged.
constexpr std::size_t kHeadBytes = 64 * 1024;
constexpr std::size_t kTailBytes = 1024;

bool CheckPly(const std::string& head, std::uintmax_t size, std::string& reason);
bool CheckStl(const std::string& head, const std::string& tail, std::uintmax_t size, std::string& reason);
// GLB: the header's length is the file's size, every chunk lies inside it.
bool CheckGlb(const std::string& head, std::uintmax_t size, std::string& reason);
// COLLADA (the whole text): every <float_array> and <int_array> has a count
// matching its numbers, index lists (<p>, <vcount>, <v>, <int_array>) hold
// only non-negative integers, and primitives with a count have their <p>.
bool CheckDae(const std::string& text, std::string& reason);
// 3MF (the whole archive): a zip whose entries are intact (sizes and CRC-32
// as recorded), a root relationship naming a part that exists, and objects
// whose components do not contain themselves.
bool Check3mf(const std::string& archive, std::string& reason);

// ASCII FBX (the whole text): the object links of the Connections section
// ("C: \"OO\", child, parent") form no cycle; the reader recurses along
// them without end. Binary FBX is left to the reader's process limits.
bool CheckFbx(const std::string& text, std::string& reason);

// IFC files: an ISO-10303-21 header naming the IFC2X3 schema.
bool CheckIfc(const std::string& head, std::string& reason);

}  // namespace importchecks
