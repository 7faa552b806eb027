#include "tools/JsonWriter.h"

#include <cmath>
#include <cstdio>

void JsonWriter::BeforeValue() {
  if (m_afterKey) {
    m_afterKey = false;
    return;
  }
  if (!m_first.empty()) {
    if (!m_first.back()) m_out += ',';
    m_first.back() = false;
  }
}

void JsonWriter::BeginObject() {
  BeforeValue();
  m_out += '{';
  m_first.push_back(true);
}

void JsonWriter::EndObject() {
  m_first.pop_back();
  m_out += '}';
}

void JsonWriter::BeginArray() {
  BeforeValue();
  m_out += '[';
  m_first.push_back(true);
}

void JsonWriter::EndArray() {
  m_first.pop_back();
  m_out += ']';
}

void JsonWriter::Key(const std::string& key) {
  BeforeValue();
  Escape(key);
  m_out += ':';
  m_afterKey = true;
}

void JsonWriter::String(const std::string& s) {
  BeforeValue();
  Escape(s);
}

void JsonWriter::Number(double v) {
  BeforeValue();
  if (!std::isfinite(v)) {
    m_out += "null";
    return;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  m_out += buf;
}

void JsonWriter::Int(long long v) {
  BeforeValue();
  m_out += std::to_string(v);
}

void JsonWriter::Bool(bool v) {
  BeforeValue();
  m_out += v ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  m_out += "null";
}

void JsonWriter::Escape(const std::string& s) {
  m_out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        m_out += "\\\"";
        break;
      case '\\':
        m_out += "\\\\";
        break;
      case '\n':
        m_out += "\\n";
        break;
      case '\r':
        m_out += "\\r";
        break;
      case '\t':
        m_out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          m_out += buf;
        } else {
          m_out += static_cast<char>(c);  // UTF-8 passes through
        }
    }
  }
  m_out += '"';
}
