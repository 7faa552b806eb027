#include "support/MiniJson.h"

#include <cstdlib>
#include <stdexcept>

namespace vxtest {

const Json& Json::operator[](const std::string& key) const {
  auto it = fields.find(key);
  if (it == fields.end()) throw std::out_of_range("no key " + key);
  return it->second;
}

namespace {

struct Parser {
  const std::string& t;
  std::size_t i = 0;

  void ws() {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\n' || t[i] == '\r' || t[i] == '\t')) ++i;
  }
  [[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + " at offset " + std::to_string(i));
  }
  void expect(char c) {
    ws();
    if (i >= t.size() || t[i] != c) fail(std::string("expected '") + c + "'");
    ++i;
  }
  bool literal(const char* word) {
    const std::string w(word);
    if (t.compare(i, w.size(), w) != 0) return false;
    i += w.size();
    return true;
  }
  std::string str() {
    expect('"');
    std::string out;
    while (i < t.size() && t[i] != '"') {
      char c = t[i++];
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in string");
      if (c == '\\') {
        if (i >= t.size()) fail("bad escape");
        const char e = t[i++];
        switch (e) {
          case '"': case '\\': case '/': out += e; break;
          case 'n': out += '\n'; break;
          case 't': out += '\t'; break;
          case 'r': out += '\r'; break;
          case 'b': out += '\b'; break;
          case 'f': out += '\f'; break;
          case 'u':
            if (i + 4 > t.size()) fail("bad \\u escape");
            out += static_cast<char>(std::strtol(t.substr(i, 4).c_str(), nullptr, 16));
            i += 4;
            break;
          default: fail("bad escape");
        }
      } else {
        out += c;
      }
    }
    expect('"');
    return out;
  }
  Json value() {
    ws();
    Json v;
    if (i >= t.size()) fail("unexpected end");
    const char c = t[i];
    if (c == '{') {
      v.kind = Json::Object;
      ++i;
      ws();
      if (i < t.size() && t[i] == '}') { ++i; return v; }
      for (;;) {
        std::string key = str();
        expect(':');
        v.fields[key] = value();
        ws();
        if (i < t.size() && t[i] == ',') { ++i; continue; }
        expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.kind = Json::Array;
      ++i;
      ws();
      if (i < t.size() && t[i] == ']') { ++i; return v; }
      for (;;) {
        v.items.push_back(value());
        ws();
        if (i < t.size() && t[i] == ',') { ++i; continue; }
        expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.kind = Json::String;
      v.s = str();
      return v;
    }
    if (literal("true")) { v.kind = Json::Bool; v.b = true; return v; }
    if (literal("false")) { v.kind = Json::Bool; return v; }
    if (literal("null")) return v;
    char* end = nullptr;
    v.n = std::strtod(t.c_str() + i, &end);
    if (end == t.c_str() + i) fail("unexpected character");
    i = static_cast<std::size_t>(end - t.c_str());
    v.kind = Json::Number;
    return v;
  }
};

}  // namespace

bool ParseJson(const std::string& text, Json& out, std::string& error) {
  Parser p{text};
  try {
    out = p.value();
    p.ws();
    if (p.i != text.size()) p.fail("trailing text");
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
  return true;
}

}  // namespace vxtest
