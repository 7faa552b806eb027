// What a child hands back is read like any input: every damaged or
// inconsistent hand-back is refused with its reason, and what is accepted
// builds the same document as the arrays it came from.
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include <zlib.h>

#include "host/DocumentIO.h"
#include "host/SoKRN_MainDoc.h"
#include "support/ImportSupport.h"
#include "tools/AssemblyHandBack.h"
#include "tools/ImportedAssembly.h"

using namespace importtest;

namespace {

// Top < Frame (assembly) < two bolts, and a plate at the top; names with
// characters beyond the BMP, floats a decimal form would round.
ImportedAssembly Sample() {
  ImportedAssembly a;
  a.topName = L"Top \U0001F529";
  ImportedAssembly::Prototype bolt;
  bolt.name = L"Bolt";
  bolt.xyz = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1.0000001f};
  bolt.tris = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3};
  ImportedAssembly::Prototype frame;
  frame.assembly = true;
  frame.name = L"Frame";
  ImportedAssembly::Prototype plate = bolt;
  plate.name = L"Plate";
  plate.xyz[0] = -1e-30f;
  a.prototypes = {frame, bolt, plate};
  auto place = [&](std::uint32_t created, std::int32_t parent, std::uint32_t proto, float dx, const wchar_t* name) {
    ImportedAssembly::Placement p;
    p.created = created;
    p.parent = parent;
    p.prototype = proto;
    p.matrix[12] = dx;
    p.name = name;
    a.placements.push_back(p);
  };
  place(1, ImportedAssembly::kTop, 0, 0.1f, L"Frame 1");
  place(2, 0, 1, 0, L"");
  place(2, 0, 1, 2.5f, L"Bolt \u00e9");
  place(3, ImportedAssembly::kTop, 2, -7, L"Plate");
  a.stats.instances = 4;
  a.stats.prototypes = 3;
  a.stats.triangles = 8;
  a.stats.placedTriangles = 12;
  a.stats.degenerateTriangles = 5;
  return a;
}

// Recomputes the trailing checksum, so that a change reaches the reader.
std::string Reseal(std::string bytes) {
  if (bytes.size() < 4) return bytes;
  const std::size_t body = bytes.size() - 4;
  const auto crc =
      static_cast<std::uint32_t>(crc32_z(crc32_z(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), body));
  std::memcpy(&bytes[body], &crc, 4);
  return bytes;
}

std::string Written(SoKRN_MainDoc* doc) { return doc ? vx::host::WriteDocumentToString(doc) : std::string(); }

TEST(AssemblyHandBack, WhatIsReadBackBuildsTheSameDocument) {
  const ImportedAssembly a = Sample();
  ImportedAssembly b;
  std::string reason;
  ASSERT_TRUE(handback::Decode(handback::Encode(a), b, reason)) << reason;
  EXPECT_EQ(b.topName, a.topName);
  ASSERT_EQ(b.prototypes.size(), a.prototypes.size());
  EXPECT_EQ(0, std::memcmp(b.prototypes[2].xyz.data(), a.prototypes[2].xyz.data(), 12 * sizeof(float)));
  EXPECT_EQ(b.placements[2].name, a.placements[2].name);
  EXPECT_EQ(b.stats.degenerateTriangles, 5);
  DocRef da(BuildImportedAssembly(a, 10, reason)), db(BuildImportedAssembly(b, 10, reason));
  ASSERT_TRUE(da && db) << reason;
  EXPECT_EQ(Written(da.doc), Written(db.doc));
  EXPECT_NE(Written(da.doc).find("Bolt"), std::string::npos);
}

TEST(AssemblyHandBack, DamagedBytesAreRefused) {
  const std::string good = handback::Encode(Sample());
  ImportedAssembly out;
  std::string reason;
  struct Case {
    std::string bytes;
    const char* reason;
  };
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x10;
  std::string version = good;
  version[4] = 2;
  std::string kind = good;
  kind[4 + 4 + 64 + 4 + 4 * Sample().topName.size() + 8] = 7;  // first prototype's kind
  const std::vector<Case> cases = {
      {"", "truncated"},
      {good.substr(0, good.size() - 1), "checksum mismatch"},
      {flipped, "checksum mismatch"},
      {Reseal("XXXX" + good.substr(4)), "wrong magic"},
      {Reseal(version), "version 2"},
      {Reseal(kind), "damaged in prototype 0"},
      {Reseal(good.substr(0, good.size() - 4) + "xyzw" + good.substr(good.size() - 4)), "4 bytes left over"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(handback::Decode(c.bytes, out, reason)) << c.reason;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.reason << ": " << reason;
  }
  // Cut anywhere (and sealed again) it is refused; changed anywhere it is
  // refused or builds, never crashes nor allocates what the bytes cannot back.
  for (std::size_t n = 4; n + 4 < good.size(); ++n)
    EXPECT_FALSE(handback::Decode(Reseal(good.substr(0, n) + good.substr(good.size() - 4)), out, reason)) << n;
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    std::string bytes = good;
    bytes[random() % (good.size() - 4)] = static_cast<char>(random() % 256);
    if (handback::Decode(Reseal(bytes), out, reason)) DocRef(BuildImportedAssembly(out, 10, reason));
  }
}

TEST(AssemblyHandBack, InconsistentAssembliesAreRefused) {
  struct Case {
    const char* what;
    std::function<void(ImportedAssembly&)> damage;
    int maxDepth;
    const char* reason;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<Case> cases = {
      {"index", [](ImportedAssembly& a) { a.prototypes[1].tris[4] = 4; }, 10,
       "prototype 1 (\"Bolt\"): tris[4] = 4 out of range (4 vertices)"},
      {"negative index", [](ImportedAssembly& a) { a.prototypes[1].tris[0] = -1; }, 10, "tris[0] = -1"},
      {"coordinate", [nan](ImportedAssembly& a) { a.prototypes[2].xyz[5] = nan; }, 10, "xyz[5] is not finite"},
      {"matrix", [nan](ImportedAssembly& a) { a.placements[3].matrix[14] = INFINITY; }, 10,
       "placement 3: matrix entry 14"},
      {"ragged", [](ImportedAssembly& a) { a.prototypes[2].xyz.pop_back(); }, 10, "multiples of 3"},
      {"empty part", [](ImportedAssembly& a) { a.prototypes[1].tris.clear(); }, 10, "without triangles"},
      {"into a part", [](ImportedAssembly& a) { a.placements[2].parent = 1; }, 10, "is a part"},
      {"not yet made", [](ImportedAssembly& a) { a.placements[1].prototype = 2; }, 10, "does not exist yet"},
      {"parent not yet made",
       [](ImportedAssembly& a) {
         a.placements[0].parent = 0;
         a.placements[0].created = 0;
       },
       10, "placement 0"},
      {"out of order", [](ImportedAssembly& a) { a.placements[2].created = 1; }, 10, "out of order"},
      {"beyond", [](ImportedAssembly& a) { a.placements[3].created = 4; }, 10, "out of order"},
      {"cycle",
       [](ImportedAssembly& a) {
         a.placements[0].prototype = 0;  // Frame placed in itself
         a.placements[0].parent = 0;
       },
       10, "contains itself"},
      {"depth", [](ImportedAssembly&) {}, 1, "nested deeper than 1 levels"},
      {"counts", [](ImportedAssembly& a) { a.stats.triangles = -1; }, 10, "negative counts"},
  };
  std::string reason;
  ASSERT_TRUE(CheckImportedAssembly(Sample(), 2, reason)) << reason;
  for (const Case& c : cases) {
    ImportedAssembly a = Sample();
    c.damage(a);
    EXPECT_FALSE(CheckImportedAssembly(a, c.maxDepth, reason)) << c.what;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    EXPECT_EQ(BuildImportedAssembly(a, c.maxDepth, reason), nullptr) << c.what;
  }
}

}  // namespace
