#include "tools/JsonRead.h"

#include <cstdlib>
#include <cstring>

#include "platform/Platform.h"

namespace {

struct Reader {
  explicit Reader(const std::string& text) : t(text) {}
  const std::string& t;
  std::size_t i = 0;
  std::string error;

  void Space() {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r')) ++i;
  }
  bool Fail(const char* what) {
    if (error.empty()) error = std::string(what) + " at byte " + std::to_string(i);
    return false;
  }
  bool Word(const char* w) {
    const std::size_t n = std::strlen(w);
    if (t.compare(i, n, w) != 0) return Fail("unexpected text");
    i += n;
    return true;
  }
  bool Hex4(unsigned& v) {
    if (i + 4 > t.size()) return Fail("short \\u escape");
    v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = t[i++];
      v <<= 4;
      if (c >= '0' && c <= '9')
        v |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        v |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        v |= static_cast<unsigned>(c - 'A' + 10);
      else
        return Fail("bad \\u escape");
    }
    return true;
  }
  bool Str(std::string& out) {
    if (i >= t.size() || t[i] != '"') return Fail("string expected");
    ++i;
    while (i < t.size() && t[i] != '"') {
      char c = t[i++];
      if (static_cast<unsigned char>(c) < 0x20) return Fail("control character in string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= t.size()) break;
      c = t[i++];
      switch (c) {
        case '"':
        case '\\':
        case '/':
          out += c;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned cp = 0;
          if (!Hex4(cp)) return false;
          if (cp >= 0xd800 && cp < 0xdc00 && t.compare(i, 2, "\\u") == 0) {
            i += 2;
            unsigned lo = 0;
            if (!Hex4(lo)) return false;
            if (lo >= 0xdc00 && lo < 0xe000) cp = 0x10000 + ((cp - 0xd800) << 10) + (lo - 0xdc00);
          }
          // A lone surrogate becomes U+FFFD: no valid UTF-8 holds it.
          out += vx::platform::WideToNarrow(std::wstring(1, static_cast<wchar_t>(cp)));
          break;
        }
        default:
          return Fail("bad escape");
      }
    }
    if (i >= t.size()) return Fail("unterminated string");
    ++i;
    return true;
  }
  bool Value(JsonValue& v, int depth) {
    if (depth > 256) return Fail("nested too deeply");
    Space();
    if (i >= t.size()) return Fail("value expected");
    const char c = t[i];
    if (c == '{') {
      v.kind = JsonValue::Object;
      ++i;
      Space();
      if (i < t.size() && t[i] == '}') return ++i, true;
      for (;;) {
        Space();
        std::string key;
        if (!Str(key)) return false;
        Space();
        if (i >= t.size() || t[i] != ':') return Fail("':' expected");
        ++i;
        if (!Value(v.fields[key], depth + 1)) return false;
        Space();
        if (i < t.size() && t[i] == ',') {
          ++i;
          continue;
        }
        if (i < t.size() && t[i] == '}') return ++i, true;
        return Fail("',' or '}' expected");
      }
    }
    if (c == '[') {
      v.kind = JsonValue::Array;
      ++i;
      Space();
      if (i < t.size() && t[i] == ']') return ++i, true;
      for (;;) {
        v.items.emplace_back();
        if (!Value(v.items.back(), depth + 1)) return false;
        Space();
        if (i < t.size() && t[i] == ',') {
          ++i;
          continue;
        }
        if (i < t.size() && t[i] == ']') return ++i, true;
        return Fail("',' or ']' expected");
      }
    }
    if (c == '"') {
      v.kind = JsonValue::String;
      return Str(v.s);
    }
    if (c == 't') {
      v.kind = JsonValue::Bool;
      v.b = true;
      return Word("true");
    }
    if (c == 'f') {
      v.kind = JsonValue::Bool;
      v.b = false;
      return Word("false");
    }
    if (c == 'n') {
      v.kind = JsonValue::Null;
      return Word("null");
    }
    const char* start = t.c_str() + i;
    char* end = nullptr;
    v.n = std::strtod(start, &end);
    if (end == start) return Fail("value expected");
    v.kind = JsonValue::Number;
    i += static_cast<std::size_t>(end - start);
    return true;
  }
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& key) const {
  static const JsonValue none;
  auto it = fields.find(key);
  return it == fields.end() ? none : it->second;
}

bool ReadJson(const std::string& text, JsonValue& out, std::string& error) {
  Reader r(text);
  out = JsonValue();
  bool ok = r.Value(out, 0);
  if (ok) {
    r.Space();
    if (r.i != text.size()) ok = r.Fail("trailing text");
  }
  if (!ok) error = r.error;
  return ok;
}
