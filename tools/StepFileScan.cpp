#include "tools/StepFileScan.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

namespace stepscan {

namespace {

class Scanner {
public:
  explicit Scanner(const std::string& text) : m_s(text) {}

  bool Run(std::string& reason) {
    const bool ok = Sections() && References();
    if (!ok) reason = m_error;
    return ok;
  }

private:
  bool AtEnd() const { return m_p >= m_s.size(); }
  char Peek(std::size_t ahead = 0) const { return m_p + ahead < m_s.size() ? m_s[m_p + ahead] : '\0'; }

  // The first failure wins; it names the entity being read, else the line.
  bool Fail(const std::string& what) {
    if (!m_error.empty()) return false;
    if (m_entity >= 0) {
      m_error = "entity #" + std::to_string(m_entity) + ": " + what;
    } else {
      const std::size_t at = std::min(m_p, m_s.size());
      const long line = 1 + std::count(m_s.begin(), m_s.begin() + static_cast<long>(at), '\n');
      m_error = "line " + std::to_string(line) + ": " + what;
    }
    return false;
  }

  bool SkipBlank() {
    for (;;) {
      while (!AtEnd() && std::isspace(static_cast<unsigned char>(Peek()))) ++m_p;
      if (Peek() != '/' || Peek(1) != '*') return true;
      const std::size_t end = m_s.find("*/", m_p + 2);
      if (end == std::string::npos) return Fail("comment not closed");
      m_p = end + 2;
    }
  }

  bool Expect(char c, const char* what) {
    if (!SkipBlank()) return false;
    if (Peek() != c) return Fail(std::string("expected ") + what);
    ++m_p;
    return true;
  }

  // A section keyword or an entity name: letters, digits, '_' and '-'
  // (the latter only in "ISO-10303-21" and its end keyword).
  std::string Word() {
    const std::size_t start = m_p;
    if (Peek() == '!') ++m_p;
    while (!AtEnd() && (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '_' || Peek() == '-')) ++m_p;
    return m_s.substr(start, m_p - start);
  }

  bool Keyword() {
    if (!SkipBlank()) return false;
    const std::string word = Word();
    const std::size_t first = word.rfind('!', 0) == 0 ? 1 : 0;
    const bool ok = word.size() > first &&
                    (std::isalpha(static_cast<unsigned char>(word[first])) || word[first] == '_') &&
                    word.find('-') == std::string::npos;
    return ok || Fail("expected an entity name");
  }

  bool Number(std::uint64_t& value) {
    const std::size_t start = m_p;
    value = 0;
    while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) {
      if (m_p - start >= 18) return Fail("entity number too long");
      value = value * 10 + static_cast<std::uint64_t>(Peek() - '0');
      ++m_p;
    }
    return m_p > start || Fail("'#' without an entity number");
  }

  // "( ... )" with strings, binaries, comments and references inside.
  bool Parameters() {
    if (!Expect('(', "'(' opening the parameters")) return false;
    int depth = 1;
    while (depth > 0) {
      if (AtEnd()) return Fail("parameters not closed");
      const char c = Peek();
      if (c == '\'') {
        for (++m_p;; ++m_p) {
          if (AtEnd()) return Fail("string not closed");
          if (Peek() == '\'') {
            if (Peek(1) != '\'') break;
            ++m_p;
          }
        }
        ++m_p;
      } else if (c == '"') {
        const std::size_t end = m_s.find('"', m_p + 1);
        if (end == std::string::npos) return Fail("binary not closed");
        m_p = end + 1;
      } else if (c == '/' && Peek(1) == '*') {
        if (!SkipBlank()) return false;
      } else if (c == '#') {
        ++m_p;
        std::uint64_t target = 0;
        if (!Number(target)) return false;
        m_refs.emplace_back(static_cast<std::uint64_t>(m_entity), target);
      } else if (c == ';' || c == '=') {
        return Fail(std::string("'") + c + "' inside the parameters (a parenthesis missing?)");
      } else {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        ++m_p;
      }
    }
    return true;
  }

  // "#<id> = NAME(...);" or "#<id> = (NAME(...) NAME(...));", at '#'.
  bool Entity() {
    ++m_p;
    std::uint64_t id = 0;
    if (!Number(id)) return false;
    m_entity = static_cast<long long>(id);
    if (!Expect('=', "'=' after the entity number")) return false;
    if (!m_defined.insert(id).second) return Fail("defined twice");
    if (!SkipBlank()) return false;
    if (Peek() == '(') {
      ++m_p;
      int parts = 0;
      for (;; ++parts) {
        if (!SkipBlank()) return false;
        if (Peek() == ')') break;
        if (!Keyword() || !Parameters()) return false;
      }
      ++m_p;
      if (parts == 0) return Fail("empty complex entity");
    } else if (!Keyword() || !Parameters()) {
      return false;
    }
    if (!Expect(';', "';' ending the entity")) return false;
    m_entity = -1;
    return true;
  }

  bool Sections() {
    if (!SkipBlank()) return false;
    if (Word() != "ISO-10303-21" || !Expect(';', "';' after ISO-10303-21")) return Fail("no ISO-10303-21 header");
    enum { NONE, HEADER, DATA } section = NONE;
    bool sawData = false;
    for (;;) {
      if (!SkipBlank()) return false;
      if (AtEnd()) return Fail("no END-ISO-10303-21");
      if (Peek() == '#') {
        if (section != DATA) return Fail("entity outside a DATA section");
        if (!Entity()) return false;
        continue;
      }
      const std::string word = Word();
      if (word.empty()) return Fail(std::string("unexpected '") + Peek() + "'");
      if (word == "END-ISO-10303-21") break;
      if (word == "HEADER" || word == "ENDSEC" || (word == "DATA" && section == NONE)) {
        if (word == "DATA") {
          if (!SkipBlank()) return false;
          if (Peek() == '(' && !Parameters()) return false;  // a named DATA section
          sawData = true;
        }
        if (!Expect(';', ("';' after " + word).c_str())) return false;
        section = word == "HEADER" ? HEADER : word == "DATA" ? DATA : NONE;
        continue;
      }
      if (section != HEADER) return Fail("unexpected '" + word.substr(0, 40) + "'");
      if (!Parameters() || !Expect(';', "';' ending the header entry")) return false;
    }
    return sawData || Fail("no DATA section");
  }

  bool References() {
    for (const auto& ref : m_refs) {
      if (m_defined.count(ref.second)) continue;
      m_entity = static_cast<long long>(ref.first);
      return Fail("refers to #" + std::to_string(ref.second) + ", which is not in the file");
    }
    return true;
  }

  const std::string& m_s;
  std::size_t m_p = 0;
  long long m_entity = -1;  // the entity being read, -1 outside one
  std::string m_error;
  std::unordered_set<std::uint64_t> m_defined;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> m_refs;  // (from, to)
};

}  // namespace

bool CheckExchangeStructure(const std::string& text, std::string& reason) {
  std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 byte-order mark
  const std::string body = start ? text.substr(start) : std::string();
  Scanner scanner(start ? body : text);
  return scanner.Run(reason);
}

}  // namespace stepscan
