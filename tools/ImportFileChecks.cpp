#include "tools/ImportFileChecks.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace importchecks {

namespace {

// True when `text` has a line that starts with `word` (after blanks).
bool HasLineStartingWith(const std::string& text, const char* word) {
  const std::size_t n = std::strlen(word);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t start = pos;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    if (text.compare(start, n, word) == 0) return true;
    pos = text.find('\n', pos);
    if (pos == std::string::npos) break;
    ++pos;
  }
  return false;
}

bool LooksLikeText(const std::string& bytes) {
  for (unsigned char c : bytes)
    if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
  return true;
}

}  // namespace

bool CheckPly(const std::string& head, std::string& reason) {
  if (head.compare(0, 3, "ply") != 0 || (head.size() > 3 && head[3] != '\n' && head[3] != '\r')) {
    reason = "no \"ply\" line at the start";
    return false;
  }
  if (!HasLineStartingWith(head, "end_header")) {
    reason = head.size() < kHeadBytes ? "header without end_header: file cut off?"
                                      : "no end_header within the first 64 KiB";
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

}  // namespace importchecks
