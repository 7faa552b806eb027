#include "tools/ImportFileChecks.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <vector>

#include <zlib.h>
#include <sstream>

namespace importchecks {

namespace {

// Bytes of a PLY scalar type (1 for unknown names: a lower bound).
double TypeSize(const std::string& type) {
  if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
  if (type == "int" || type == "uint" || type == "float" || type == "int32" || type == "uint32" || type == "float32")
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

namespace {

// Walks the PLY header up to end_header (`pos`: just past it): the format,
// and per element its count and the fewest bytes one element can take
// (ASCII: a digit and a separator per property; binary: the scalar sizes,
// and the count of each list), summed into `needed`. False with `reason` on
// a cut-off header or a control character in it.
bool ScanPlyHeader(const std::string& head, std::size_t& pos, double& needed, std::string& reason) {
  bool ascii = false;
  needed = 0;
  double count = 0, bytesEach = 0;
  pos = 0;
  while (true) {
    const std::size_t end = head.find('\n', pos);
    if (end == std::string::npos) {
      reason = head.size() < kHeadBytes ? "header without end_header: file cut off?"
                                        : "no end_header within the first 64 KiB";
      return false;
    }
    std::string text = head.substr(pos, end - pos);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    // The reader splits header lines differently from istream (a vertical
    // tab after end_header made it spin): no control characters but tabs.
    for (unsigned char c : text) {
      if (c < 0x20 && c != '\t') {
        reason = "control character " + std::to_string(c) + " in header line \"" +
                 text.substr(0, std::min<std::size_t>(text.size(), 20)) + "\"";
        for (char& k : reason)
          if (static_cast<unsigned char>(k) < 0x20) k = '?';
        return false;
      }
    }
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
  return true;
}

// An element without properties takes no bytes, so the size rule cannot
// bound its count, yet the reader still loops once per entry: such an
// element with entries is refused. `header`: the text up to end_header.
bool CheckPropertylessElements(const std::string& header, std::string& reason) {
  std::istringstream lines(header);
  std::string text, element;
  double entries = 0;
  bool hasProperty = true;
  while (std::getline(lines, text)) {
    std::istringstream line(text);
    std::string word;
    line >> word;
    if (word == "element" || word == "end_header") {
      if (!hasProperty && entries > 0) {
        reason = "element \"" + element + "\" announces " + std::to_string(static_cast<long long>(entries)) +
                 " entries but has no properties";
        return false;
      }
      line >> element >> entries;
      if (!line) entries = 0;
      hasProperty = false;
    } else if (word == "property") {
      hasProperty = true;
    }
  }
  return true;
}

}  // namespace

bool CheckPly(const std::string& head, std::uintmax_t size, std::string& reason) {
  if (head.compare(0, 3, "ply") != 0 || (head.size() > 3 && head[3] != '\n' && head[3] != '\r')) {
    reason = "no \"ply\" line at the start";
    return false;
  }
  std::size_t pos = 0;
  double needed = 0;  // bytes the elements take at the least
  if (!ScanPlyHeader(head, pos, needed, reason)) return false;
  if (!CheckPropertylessElements(head.substr(0, pos), reason)) return false;
  if (needed > double(size - pos)) {
    reason =
        "header announces more elements than the " + std::to_string(size - pos) + " bytes after it hold: file cut off?";
    return false;
  }
  return true;
}

bool CheckStl(const std::string& head, const std::string& tail, std::uintmax_t size, std::string& reason) {
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
  reason = "binary STL of " + std::to_string(size) + " bytes, " + std::to_string(84 + 50 * count) +
           " expected for the " + std::to_string(count) + " triangles its header announces: file cut off?";
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

namespace {

std::uint32_t Le32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

std::uint16_t Le16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}

int LineOf(const std::string& text, std::size_t at) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

// The value of attribute `name` in the tag text `tag` ("<x a="1" b='2'>").
bool Attribute(const std::string& tag, const std::string& name, std::string& value) {
  std::size_t at = 0;
  while ((at = tag.find(name, at)) != std::string::npos) {
    const bool startsWord = at > 0 && std::isspace(static_cast<unsigned char>(tag[at - 1]));
    std::size_t k = at + name.size();
    while (k < tag.size() && std::isspace(static_cast<unsigned char>(tag[k]))) ++k;
    if (startsWord && k < tag.size() && tag[k] == '=') {
      ++k;
      while (k < tag.size() && std::isspace(static_cast<unsigned char>(tag[k]))) ++k;
      if (k >= tag.size() || (tag[k] != '"' && tag[k] != '\'')) return false;
      const std::size_t end = tag.find(tag[k], k + 1);
      if (end == std::string::npos) return false;
      value = tag.substr(k + 1, end - k - 1);
      return true;
    }
    at += name.size();
  }
  return false;
}

// Walks the elements named `name` of an XML text: fn(tagText, body, offset);
// the body is empty for a self-closed element. False with `reason` when an
// element is not closed or fn refuses.
template <class Fn>
bool ForEachElement(const std::string& text, const std::string& name, std::string& reason, Fn fn) {
  const std::string open = "<" + name, close = "</" + name + ">";
  std::size_t at = 0;
  while ((at = text.find(open, at)) != std::string::npos) {
    const std::size_t after = at + open.size();
    if (after < text.size() && !std::isspace(static_cast<unsigned char>(text[after])) && text[after] != '>' &&
        text[after] != '/') {
      at = after;  // a longer name with this prefix
      continue;
    }
    const std::size_t tagEnd = text.find('>', at);
    if (tagEnd == std::string::npos) {
      reason = "<" + name + "> on line " + std::to_string(LineOf(text, at)) + " not closed: file cut off?";
      return false;
    }
    const std::string tag = text.substr(at, tagEnd + 1 - at);
    std::string body;
    if (text[tagEnd - 1] != '/') {
      const std::size_t end = text.find(close, tagEnd);
      if (end == std::string::npos) {
        reason = "<" + name + "> on line " + std::to_string(LineOf(text, at)) + " has no " + close + ": file cut off?";
        return false;
      }
      body = text.substr(tagEnd + 1, end - tagEnd - 1);
    }
    if (!fn(tag, body, at)) return false;
    at = tagEnd + 1;
  }
  return true;
}

// Counts the numbers of a list; false at the first token that is not one
// (`integers`: non-negative integers only), which `bad` then holds.
bool CountNumbers(const std::string& body, bool integers, std::size_t& count, std::string& bad) {
  count = 0;
  std::size_t i = 0;
  while (i < body.size()) {
    while (i < body.size() && std::isspace(static_cast<unsigned char>(body[i]))) ++i;
    if (i >= body.size()) break;
    std::size_t k = i;
    while (k < body.size() && !std::isspace(static_cast<unsigned char>(body[k]))) ++k;
    const std::string token = body.substr(i, k - i);
    bool ok = !token.empty();
    if (integers) {
      for (char c : token) ok = ok && std::isdigit(static_cast<unsigned char>(c));
      ok = ok && token.size() <= 10;
    } else {
      char* end = nullptr;
      std::strtod(token.c_str(), &end);
      ok = end && *end == '\0';
    }
    if (!ok) {
      bad = token.substr(0, 20);
      return false;
    }
    ++count;
    i = k;
  }
  return true;
}

}  // namespace

bool CheckGlb(const std::string& head, std::uintmax_t size, std::string& reason) {
  if (size < 12 || head.size() < 12) {
    reason = "shorter than the 12-byte GLB header";
    return false;
  }
  if (head.compare(0, 4, "glTF") != 0) {
    reason = "no \"glTF\" magic at the start";
    return false;
  }
  const std::uint32_t length = Le32(head, 8);
  if (length != size) {
    reason = "header gives a length of " + std::to_string(length) + " bytes, the file has " + std::to_string(size) +
             ": file cut off?";
    return false;
  }
  std::uintmax_t at = 12;
  int index = 0;
  while (at < size) {
    if (at + 8 > size || at + 8 > head.size()) {
      if (at + 8 > size) {
        reason = "chunk " + std::to_string(index) + " header cut off";
        return false;
      }
      return true;  // beyond the bytes read: the reader checks the rest
    }
    const std::uint32_t chunk = Le32(head, static_cast<std::size_t>(at));
    if (at + 8 + chunk > size) {
      reason = "chunk " + std::to_string(index) + " claims " + std::to_string(chunk) + " bytes, only " +
               std::to_string(size - at - 8) + " follow";
      return false;
    }
    at += 8 + chunk;
    ++index;
  }
  return true;
}

bool CheckDae(const std::string& text, std::string& reason) {
  auto arrays = [&](const char* name, bool integers) {
    return ForEachElement(text, name, reason, [&](const std::string& tag, const std::string& body, std::size_t at) {
      const std::string where = std::string("<") + name + "> on line " + std::to_string(LineOf(text, at));
      std::string declared, bad;
      if (!Attribute(tag, "count", declared)) {
        reason = where + " has no count";
        return false;
      }
      std::size_t count = 0;
      if (!CountNumbers(body, integers, count, bad)) {
        reason = where + " holds \"" + bad + "\", not a number";
        return false;
      }
      if (std::to_string(count) != declared) {
        reason = where + " declares count=\"" + declared.substr(0, 20) + "\" but holds " + std::to_string(count) +
                 " numbers";
        return false;
      }
      return true;
    });
  };
  if (!arrays("float_array", false) || !arrays("int_array", true)) return false;
  for (const char* list : {"p", "vcount", "v"}) {
    const bool ok =
        ForEachElement(text, list, reason, [&](const std::string&, const std::string& body, std::size_t at) {
          std::size_t count = 0;
          std::string bad;
          if (!CountNumbers(body, true, count, bad)) {
            reason = std::string("<") + list + "> on line " + std::to_string(LineOf(text, at)) + " holds \"" + bad +
                     "\", not an index";
            return false;
          }
          return true;
        });
    if (!ok) return false;
  }
  for (const char* primitive : {"triangles", "polylist", "polygons", "tristrips", "trifans", "lines", "linestrips"}) {
    const bool ok =
        ForEachElement(text, primitive, reason, [&](const std::string& tag, const std::string& body, std::size_t at) {
          std::string count;
          if (Attribute(tag, "count", count) && count != "0" && body.find("<p") == std::string::npos) {
            reason = std::string("<") + primitive + "> on line " + std::to_string(LineOf(text, at)) + " announces " +
                     count.substr(0, 20) + " primitives but has no <p>";
            return false;
          }
          return true;
        });
    if (!ok) return false;
  }
  return true;
}

namespace {

// The bytes of the zip entry `name` whose data start at `data`: stored
// (method 0) or deflated (method 8) to exactly `unpacked` bytes.
bool EntryBytes(const std::string& zip, std::size_t data, unsigned method, std::uint32_t packed, std::uint32_t unpacked,
                const std::string& name, std::string& bytes, std::string& reason) {
  if (method == 0) {
    bytes = zip.substr(data, packed);
  } else if (method == 8) {
    bytes.resize(unpacked);
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
      reason = "cannot inflate";
      return false;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
    z.avail_in = packed;
    z.next_out = reinterpret_cast<Bytef*>(bytes.empty() ? nullptr : &bytes[0]);
    z.avail_out = unpacked;
    const int rc = inflate(&z, Z_FINISH);
    const bool whole = rc == Z_STREAM_END && z.total_out == unpacked;
    inflateEnd(&z);
    if (!whole) {
      reason = "zip entry \"" + name + "\" does not inflate to its recorded " + std::to_string(unpacked) + " bytes";
      return false;
    }
  } else {
    reason = "zip entry \"" + name + "\" uses compression method " + std::to_string(method);
    return false;
  }
  return true;
}

// Every file of the zip archive (folders left out) into `parts`, by name,
// each inflated and checked against its CRC-32.
bool UnzipParts(const std::string& zip, std::map<std::string, std::string>& parts, std::string& reason) {
  // The end-of-central-directory record: the last "PK\5\6" within the last
  // 64 KiB + 22 bytes.
  const std::size_t n = zip.size();
  std::size_t eocd = std::string::npos;
  for (std::size_t i = n >= 22 ? n - 22 : 0; n >= 22; --i) {
    if (zip.compare(i, 4, "PK\x05\x06") == 0) {
      eocd = i;
      break;
    }
    if (i == 0 || n - i > 65557) break;
  }
  if (eocd == std::string::npos) {
    reason = "not a zip archive (no end-of-central-directory record)";
    return false;
  }
  const std::size_t entries = Le16(zip, eocd + 10);
  std::size_t dir = Le32(zip, eocd + 16);
  for (std::size_t e = 0; e < entries; ++e) {
    if (dir + 46 > n || zip.compare(dir, 4, "PK\x01\x02") != 0) {
      reason = "zip central directory damaged at entry " + std::to_string(e);
      return false;
    }
    const unsigned method = Le16(zip, dir + 10);
    const std::uint32_t crc = Le32(zip, dir + 16), packed = Le32(zip, dir + 20), unpacked = Le32(zip, dir + 24);
    const std::size_t nameLen = Le16(zip, dir + 28), extraLen = Le16(zip, dir + 30), commentLen = Le16(zip, dir + 32);
    const std::size_t local = Le32(zip, dir + 42);
    if (dir + 46 + nameLen > n) {
      reason = "zip central directory cut off";
      return false;
    }
    const std::string name = zip.substr(dir + 46, nameLen);
    dir += 46 + nameLen + extraLen + commentLen;
    if (local + 30 > n || zip.compare(local, 4, "PK\x03\x04") != 0) {
      reason = "zip entry \"" + name + "\" has no local header";
      return false;
    }
    const std::size_t data = local + 30 + Le16(zip, local + 26) + Le16(zip, local + 28);
    if (data + packed > n || data + packed < data) {
      reason = "zip entry \"" + name + "\" runs past the end of the archive";
      return false;
    }
    if (!name.empty() && name.back() == '/') continue;  // a folder
    if (unpacked > (std::uint32_t(1) << 30)) {
      reason = "zip entry \"" + name + "\" claims " + std::to_string(unpacked) + " bytes";
      return false;
    }
    std::string bytes;
    if (!EntryBytes(zip, data, method, packed, unpacked, name, bytes, reason)) return false;
    if (bytes.size() != unpacked ||
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())) != crc) {
      reason = "zip entry \"" + name + "\" is damaged (CRC-32 mismatch)";
      return false;
    }
    parts[name] = std::move(bytes);
  }
  return true;
}

// The root part: the 3D model the package relationships point at, which
// must be in the archive.
bool FindRootPart(const std::map<std::string, std::string>& parts, std::string& root, std::string& reason) {
  auto rels = parts.find("_rels/.rels");
  if (rels == parts.end()) {
    reason = "no _rels/.rels (package relationships)";
    return false;
  }
  const bool relsOk = ForEachElement(rels->second, "Relationship", reason,
                                     [&](const std::string& tag, const std::string&, std::size_t) {
                                       std::string type, target;
                                       if (Attribute(tag, "Type", type) && type.find("3dmodel") != std::string::npos &&
                                           Attribute(tag, "Target", target))
                                         root = target;
                                       return true;
                                     });
  if (!relsOk) return false;
  if (!root.empty() && root[0] == '/') root.erase(0, 1);
  if (root.empty() || !parts.count(root)) {
    reason = root.empty() ? "no 3D model relationship in _rels/.rels"
                          : "the root part \"" + root + "\" named in _rels/.rels is missing";
    return false;
  }
  return true;
}

// The component graph of the model part (object id -> the object ids its
// components place) has no cycle.
bool CheckComponentGraph(const std::string& model, std::string& reason) {
  std::map<std::string, std::vector<std::string>> uses;
  const bool objectsOk =
      ForEachElement(model, "object", reason, [&](const std::string& tag, const std::string& body, std::size_t) {
        std::string id;
        Attribute(tag, "id", id);
        std::vector<std::string>& out = uses[id];
        std::string ignored;
        return ForEachElement(body, "component", ignored, [&](const std::string& c, const std::string&, std::size_t) {
          std::string target;
          if (Attribute(c, "objectid", target)) out.push_back(target);
          return true;
        });
      });
  if (!objectsOk) return false;
  std::map<std::string, int> mark;  // 1 open, 2 done
  for (const auto& start : uses) {
    if (mark[start.first]) continue;
    std::vector<std::pair<std::string, std::size_t>> stack{{start.first, 0}};
    mark[start.first] = 1;
    while (!stack.empty()) {
      auto& [id, next] = stack.back();
      const std::vector<std::string>& targets = uses[id];
      if (next == targets.size()) {
        mark[id] = 2;
        stack.pop_back();
        continue;
      }
      const std::string target = targets[next++];
      if (mark[target] == 1) {
        reason = "component cycle: object " + target.substr(0, 20) + " contains itself" +
                 (target == id ? "" : " (through object " + id.substr(0, 20) + ")");
        return false;
      }
      if (mark[target] == 0) {
        mark[target] = 1;
        stack.push_back({target, 0});
      }
    }
  }
  return true;
}

}  // namespace

bool Check3mf(const std::string& zip, std::string& reason) {
  std::map<std::string, std::string> parts;  // name -> uncompressed bytes
  std::string root;
  return UnzipParts(zip, parts, reason) && FindRootPart(parts, root, reason) &&
         CheckComponentGraph(parts.at(root), reason);
}

bool CheckFbx(const std::string& text, std::string& reason) {
  if (text.compare(0, 18, "Kaydara FBX Binary") == 0) return true;  // binary: not scanned
  const std::size_t section = text.find("Connections:");
  if (section == std::string::npos) return true;
  // Object-object links ("C: \"OO\", child, parent"): object id -> its parents.
  std::map<long long, std::vector<long long>> parents;
  for (std::size_t at = text.find("C:", section); at != std::string::npos; at = text.find("C:", at + 2)) {
    if (at > 0 && text[at - 1] != '\n' && text[at - 1] != '\t' && text[at - 1] != ' ') continue;
    std::size_t p = at + 2;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
    if (text.compare(p, 4, "\"OO\"") != 0) continue;
    p += 4;
    long long ids[2];
    int got = 0;
    for (; got < 2; ++got) {
      while (p < text.size() && (text[p] == ' ' || text[p] == '\t' || text[p] == ',')) ++p;
      const std::size_t start = p;
      if (p < text.size() && text[p] == '-') ++p;
      while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p])) && p - start < 18) ++p;
      if (p == start || (p == start + 1 && text[start] == '-')) break;
      ids[got] = std::stoll(text.substr(start, p - start));
    }
    if (got == 2) parents[ids[0]].push_back(ids[1]);
  }
  // Walks up from every object; a walk that meets an object still open is a cycle.
  std::map<long long, int> mark;  // 1 open, 2 done
  for (const auto& start : parents) {
    if (mark[start.first]) continue;
    std::vector<std::pair<long long, std::size_t>> stack{{start.first, 0}};
    mark[start.first] = 1;
    while (!stack.empty()) {
      const long long id = stack.back().first;
      const std::size_t next = stack.back().second;
      auto it = parents.find(id);
      if (it == parents.end() || next == it->second.size()) {
        mark[id] = 2;
        stack.pop_back();
        continue;
      }
      ++stack.back().second;
      const long long up = it->second[next];
      if (mark[up] == 1) {
        reason = "connection cycle: object " + std::to_string(up) + " is its own parent" +
                 (up == id ? "" : " (through object " + std::to_string(id) + ")");
        return false;
      }
      if (mark[up] == 0) {
        mark[up] = 1;
        stack.push_back({up, 0});
      }
    }
  }
  return true;
}

}  // namespace importchecks
