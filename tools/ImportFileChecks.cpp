#include "tools/ImportFileChecks.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

namespace importchecks {

namespace {

// Bytes of a PLY scalar type (1 for unknown names: a lower bound).
double TypeSize(const std::string& type) {
  if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
  if (type == "int" || type == "uint" || type == "float" || type == "int32" ||
      type == "uint32" || type == "float32")
    return 4;
  if (type == "double" || type == "float64") return 8;
  return 1;
}

bool LooksLikeText(const std::string& bytes) {
  for (unsigned char c : bytes)
    if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
  return true;
}

}  // namespace

bool CheckPly(const std::string& head, std::uintmax_t size, std::string& reason) {
  if (head.compare(0, 3, "ply") != 0 || (head.size() > 3 && head[3] != '\n' && head[3] != '\r')) {
    reason = "no \"ply\" line at the start";
    return false;
  }
  // Walk the header: the format, and per element its count and the fewest
  // bytes one element can take (ASCII: a digit and a separator per
  // property; binary: the scalar sizes, and the count of each list).
  bool ascii = false;
  double needed = 0;  // bytes the elements take at the least
  double count = 0, bytesEach = 0;
  std::size_t pos = 0;
  while (true) {
    const std::size_t end = head.find('\n', pos);
    if (end == std::string::npos) {
      reason = head.size() < kHeadBytes ? "header without end_header: file cut off?"
                                        : "no end_header within the first 64 KiB";
      return false;
    }
    std::string text = head.substr(pos, end - pos);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    std::istringstream line(text);
    pos = end + 1;
    std::string word;
    line >> word;
    if (word == "format") {
      line >> word;
      ascii = word == "ascii";
    } else if (word == "element") {
      needed += count * bytesEach;
      std::string name;
      line >> name >> count;
      if (!line) count = 0;
      bytesEach = 0;
    } else if (word == "property") {
      std::string type;
      line >> type;
      if (type == "list") line >> type;  // the type of the list's count
      bytesEach += ascii ? 2 : TypeSize(type);
    } else if (word == "end_header") {
      break;
    }
  }
  needed += count * bytesEach;
  if (needed > double(size - pos)) {
    reason = "header announces more elements than the " + std::to_string(size - pos) +
             " bytes after it hold: file cut off?";
    return false;
  }
  return true;
}

bool CheckStl(const std::string& head, const std::string& tail, std::uintmax_t size,
              std::string& reason) {
  // Binary: 80 header bytes, a 32-bit little-endian triangle count, then 50
  // bytes per triangle. A binary header may itself begin with "solid", so the
  // size rule is tried first.
  std::uintmax_t count = 0;
  if (size >= 84 && head.size() >= 84) {
    for (int i = 3; i >= 0; --i) count = (count << 8) | static_cast<unsigned char>(head[80 + i]);
    if (84 + 50 * count == size) return true;
  }
  std::size_t p = 0;
  while (p < head.size() && std::isspace(static_cast<unsigned char>(head[p]))) ++p;
  const bool ascii =
      head.compare(p, 5, "solid") == 0 && LooksLikeText(head.substr(0, std::min<std::size_t>(head.size(), 512)));
  if (ascii) {
    if (tail.find("endsolid") == std::string::npos) {
      reason = "ASCII STL without endsolid: file cut off?";
      return false;
    }
    return true;
  }
  if (size < 84) {
    reason = "binary STL shorter than its 84-byte header";
    return false;
  }
  reason = "binary STL of " + std::to_string(size) + " bytes, " +
           std::to_string(84 + 50 * count) + " expected for the " + std::to_string(count) +
           " triangles its header announces: file cut off?";
  return false;
}

// IFC: assimp's reader knows the IFC2x3 schema only. Files of a later
// schema (IFC4, IFC4X3) hold entities it does not know, and it crashes on a
// shape representation item of an unknown type: refused by their
// FILE_SCHEMA. Known limit: such an item in a file labelled IFC2X3 is not
// caught here.
bool CheckIfc(const std::string& head, std::string& reason) {
  const std::size_t at = head.find("FILE_SCHEMA");
  if (head.compare(0, 13, "ISO-10303-21;") != 0 || at == std::string::npos) {
    reason = "no ISO-10303-21 header with a FILE_SCHEMA";
    return false;
  }
  std::string schema;
  for (std::size_t i = head.find('\'', at); i != std::string::npos && i + 1 < head.size(); ++i) {
    if (head[i + 1] == '\'') break;
    schema += static_cast<char>(std::toupper(static_cast<unsigned char>(head[i + 1])));
  }
  if (schema.rfind("IFC2X3", 0) != 0) {
    reason = "schema " + (schema.empty() ? std::string("unknown") : schema) +
             ": only IFC2X3 is read; export IFC2x3 from the authoring tool, or convert to glTF "
             "(see the README)";
    return false;
  }
  return true;
}

}  // namespace importchecks
