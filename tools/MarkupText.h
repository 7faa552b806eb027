#pragma once
// Text placed in HTML or XML: the characters markup reserves become
// entities ('&#39;' is valid in both), so a name like `Pipe <DN50> & "A"`
// reads back as itself in the report page and in the BCF files.
#include <string>

inline std::string EscapeMarkup(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}
