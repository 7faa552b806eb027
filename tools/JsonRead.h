#pragma once
// A small JSON reader for the reports we wrote ourselves (baselines): the
// whole text into a tree. Numbers are doubles; \u escapes outside ASCII are
// written as UTF-8 (surrogate pairs joined). Depth is limited (256) so that
// a hostile file cannot exhaust the stack.
#include <map>
#include <string>
#include <vector>

struct JsonValue {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool b = false;
  double n = 0;
  std::string s;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> fields;

  // The field `key` of an object; a null value when absent or not an object.
  const JsonValue& operator[](const std::string& key) const;
};

// False with `error` (and the byte offset) on bad syntax or trailing text.
bool ReadJson(const std::string& text, JsonValue& out, std::string& error);
