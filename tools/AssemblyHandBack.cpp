#include "tools/AssemblyHandBack.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

#include <zlib.h>

namespace handback {

namespace {

constexpr char kMagic[4] = {'V', 'X', 'H', 'B'};
constexpr std::uint32_t kVersion = 1;

class Writer {
public:
  explicit Writer(std::string& out) : m_out(out) {}
  template <class T>
  void Put(T v) {
    static_assert(std::is_trivially_copyable<T>::value, "raw bytes only");
    m_out.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  template <class T>
  void PutArray(const T* data, std::size_t n) {
    if (n) m_out.append(reinterpret_cast<const char*>(data), n * sizeof(T));
  }
  void PutText(const std::wstring& text) {
    Put(static_cast<std::uint32_t>(text.size()));
    for (wchar_t c : text) Put(static_cast<std::uint32_t>(c));
  }

private:
  std::string& m_out;
};

// Every read checks the bytes left first; the first failure sticks.
class Reader {
public:
  Reader(const char* data, std::size_t size) : m_data(data), m_left(size) {}
  bool ok() const { return m_ok; }
  std::size_t left() const { return m_left; }

  template <class T>
  T Get() {
    T v{};
    if (!Take(&v, sizeof v)) return T{};
    return v;
  }
  // `n` elements, refused unless that many bytes remain (no allocation
  // follows a count the bytes cannot back).
  template <class T>
  void GetArray(std::vector<T>& out, std::uint64_t n) {
    out.clear();
    if (!m_ok) return;
    if (n > m_left / sizeof(T)) {
      m_ok = false;
      return;
    }
    out.resize(static_cast<std::size_t>(n));
    Take(out.data(), static_cast<std::size_t>(n) * sizeof(T));
  }
  // False for a code point outside Unicode (and then the read has failed).
  bool GetText(std::wstring& text) {
    text.clear();
    const std::uint32_t n = Get<std::uint32_t>();
    if (!m_ok || n > m_left / 4) {
      m_ok = false;
      return true;
    }
    text.reserve(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t c = Get<std::uint32_t>();
      if (c > 0x10FFFF) {
        m_ok = false;
        return false;
      }
      text.push_back(static_cast<wchar_t>(c));
    }
    return true;
  }

private:
  bool Take(void* to, std::size_t n) {
    if (!m_ok || n > m_left) {
      m_ok = false;
      return false;
    }
    if (n) std::memcpy(to, m_data, n);
    m_data += n;
    m_left -= n;
    return true;
  }

  const char* m_data;
  std::size_t m_left;
  bool m_ok = true;
};

std::uint32_t Crc(const char* data, std::size_t n) {
  return static_cast<std::uint32_t>(crc32_z(crc32_z(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data), n));
}

void PutStats(Writer& w, const ImportStats& s) {
  for (std::int64_t v : {std::int64_t(s.instances), std::int64_t(s.prototypes), s.triangles, s.placedTriangles,
                         std::int64_t(s.meshesDropped), s.degenerateTriangles, std::int64_t(s.collapsedNodes),
                         std::int64_t(s.shearedPlacements)})
    w.Put(v);
}

// False when a count does not fit its field.
bool GetStats(Reader& r, ImportStats& s) {
  std::int64_t v[8];
  for (std::int64_t& x : v) x = r.Get<std::int64_t>();
  for (int i : {0, 1, 4, 6, 7})
    if (v[i] < INT32_MIN || v[i] > INT32_MAX) return false;
  s.instances = static_cast<int>(v[0]);
  s.prototypes = static_cast<int>(v[1]);
  s.triangles = v[2];
  s.placedTriangles = v[3];
  s.meshesDropped = static_cast<int>(v[4]);
  s.degenerateTriangles = v[5];
  s.collapsedNodes = static_cast<int>(v[6]);
  s.shearedPlacements = static_cast<int>(v[7]);
  return true;
}

}  // namespace

std::string Encode(const ImportedAssembly& a) {
  std::string out;
  std::size_t size = 64 + 4 * a.topName.size();
  for (const auto& p : a.prototypes) size += 32 + 4 * (p.name.size() + p.xyz.size() + p.tris.size());
  for (const auto& p : a.placements) size += 80 + 4 * p.name.size();
  out.reserve(size);
  Writer w(out);
  w.PutArray(kMagic, 4);
  w.Put(kVersion);
  PutStats(w, a.stats);
  w.PutText(a.topName);
  w.Put(static_cast<std::uint64_t>(a.prototypes.size()));
  for (const auto& p : a.prototypes) {
    w.Put(static_cast<std::uint8_t>(p.assembly ? 1 : 0));
    w.PutText(p.name);
    w.Put(static_cast<std::uint64_t>(p.xyz.size()));
    w.PutArray(p.xyz.data(), p.xyz.size());
    w.Put(static_cast<std::uint64_t>(p.tris.size()));
    static_assert(sizeof(int) == sizeof(std::int32_t), "indices travel as i32");
    w.PutArray(p.tris.data(), p.tris.size());
  }
  w.Put(static_cast<std::uint64_t>(a.placements.size()));
  for (const auto& p : a.placements) {
    w.Put(p.created);
    w.Put(p.parent);
    w.Put(p.prototype);
    w.PutArray(p.matrix, 16);
    w.PutText(p.name);
  }
  w.Put(Crc(out.data(), out.size()));
  return out;
}

bool Decode(const std::string& bytes, ImportedAssembly& a, std::string& reason) {
  a = ImportedAssembly();
  if (bytes.size() < 8 + 4 || std::memcmp(bytes.data(), kMagic, 4) != 0) {
    reason = bytes.size() < 8 + 4 ? "truncated" : "not a hand-back (wrong magic)";
    return false;
  }
  const std::size_t body = bytes.size() - 4;
  std::uint32_t stored;
  std::memcpy(&stored, bytes.data() + body, 4);
  if (Crc(bytes.data(), body) != stored) {
    reason = "checksum mismatch";
    return false;
  }
  Reader r(bytes.data() + 4, body - 4);
  const std::uint32_t version = r.Get<std::uint32_t>();
  if (version != kVersion) {
    reason = "version " + std::to_string(version) + ", expected " + std::to_string(kVersion);
    return false;
  }
  std::string where = "header";
  auto fail = [&]() {
    reason = "truncated or damaged in " + where;
    return false;
  };
  if (!GetStats(r, a.stats)) return fail();
  if (!r.GetText(a.topName) || !r.ok()) return fail();

  const std::uint64_t numProtos = r.Get<std::uint64_t>();
  // Each prototype takes at least 21 bytes: bound the count before reserving.
  if (!r.ok() || numProtos > r.left() / 21) return fail();
  a.prototypes.resize(static_cast<std::size_t>(numProtos));
  for (std::size_t i = 0; i < a.prototypes.size(); ++i) {
    where = "prototype " + std::to_string(i);
    ImportedAssembly::Prototype& p = a.prototypes[i];
    const std::uint8_t kind = r.Get<std::uint8_t>();
    if (kind > 1) return fail();
    p.assembly = kind == 1;
    if (!r.GetText(p.name)) return fail();
    r.GetArray(p.xyz, r.Get<std::uint64_t>());
    r.GetArray(p.tris, r.Get<std::uint64_t>());
    if (!r.ok()) return fail();
  }
  where = "placements";
  const std::uint64_t numPlacements = r.Get<std::uint64_t>();
  // Each placement takes at least 80 bytes.
  if (!r.ok() || numPlacements > r.left() / 80) return fail();
  a.placements.resize(static_cast<std::size_t>(numPlacements));
  for (std::size_t i = 0; i < a.placements.size(); ++i) {
    where = "placement " + std::to_string(i);
    ImportedAssembly::Placement& p = a.placements[i];
    p.created = r.Get<std::uint32_t>();
    p.parent = r.Get<std::int32_t>();
    p.prototype = r.Get<std::uint32_t>();
    for (float& v : p.matrix) v = r.Get<float>();
    if (!r.GetText(p.name) || !r.ok()) return fail();
  }
  if (r.left() != 0) {
    reason = std::to_string(r.left()) + " bytes left over";
    return false;
  }
  return true;
}

}  // namespace handback
