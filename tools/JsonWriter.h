#pragma once
// A small streaming JSON writer: objects, arrays, strings, numbers, booleans
// and null, with commas and escaping handled. Numbers that are not finite are
// written as null (JSON has no NaN).
#include <string>
#include <vector>

class JsonWriter {
public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // Inside an object: the key of the next value.
  void Key(const std::string& key);
  void String(const std::string& s);
  void Number(double v);
  void Int(long long v);
  void Bool(bool v);
  void Null();

  const std::string& Text() const { return m_out; }

private:
  void BeforeValue();
  void Escape(const std::string& s);

  std::string m_out;
  std::vector<bool> m_first;  // per open container: no element written yet
  bool m_afterKey = false;
};
