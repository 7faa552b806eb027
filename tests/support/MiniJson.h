#pragma once
// A small strict JSON reader for tests: parses a whole text into a tree and
// reports the first syntax error. Numbers are doubles.
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vxtest {

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool b = false;
  double n = 0;
  std::string s;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json& operator[](const std::string& key) const;
  const Json& operator[](std::size_t i) const { return items.at(i); }
  bool has(const std::string& key) const { return fields.count(key) != 0; }
};

// Parses `text`; false with `error` set (and the position) on bad syntax.
bool ParseJson(const std::string& text, Json& out, std::string& error);

}  // namespace vxtest
