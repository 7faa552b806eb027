// Writing and reading documents: what a round trip must keep, and what
// damaged text must give (an error, never a crash). Malformed documents with
// their reasons are in the corpus of tests/tools/ImportBadFilesTest.cpp.
#include <gtest/gtest.h>

#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>
#include <cstdio>
#include <random>
#include <set>

#include "host/DocumentIO.h"
#include "support/HostTestUtil.h"

namespace {

using hosttest::DocRef;
using hosttest::ForEachOccurrence;
using hosttest::Placement;

// Root: "Wheel ü" placed three times (two rotated), "Axle" holding two
// wheels placed twice, so prototypes are shared at two levels.
SoKRN_MainDoc* BuildSharedAssembly() {
  SoKRN_MainDoc* doc = vx::host::NewDocument();
  doc->ref();
  SoKRN_ComponentKit* wheel = hosttest::MakeBox(doc, L"Wheel \u00fc \"quoted\"", SbVec3f(0, 0, 0), SbVec3f(1, 2, 3));
  SoKRN_ComponentKit* axle = vx::host::MakeAssemblyPrototype(doc, L"Axle \u8f74");
  vx::host::PlaceInstance(doc, axle, wheel, hosttest::Translation(-1, 0, 0), L"L");
  vx::host::PlaceInstance(doc, axle, wheel, Placement(SbVec3f(1, 0, 0), SbRotation(SbVec3f(0, 0, 1), 3.14159265f)),
                          L"R");
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  vx::host::PlaceInstance(doc, top, axle, hosttest::Translation(0, 5, 0), L"Front", 7);
  vx::host::PlaceInstance(doc, top, axle, Placement(SbVec3f(0, -5, 0), SbRotation(SbVec3f(1, 1, 0), 0.3f), 2.0f),
                          L"Rear", 0xabc);
  vx::host::PlaceInstance(doc, top, wheel, Placement(SbVec3f(9, 9, 9), SbRotation(SbVec3f(0, 1, 0), 1.0f)), L"",
                          0xffffffffu);
  return doc;
}

struct Occurrence {
  std::wstring name;
  SbMatrix placement;
  SoKRN_ComponentKit* proto;
};

std::map<std::string, Occurrence> Occurrences(SoKRN_MainDoc* doc) {
  std::map<std::string, Occurrence> out;
  ForEachOccurrence(doc, [&](const std::string& path, SoKRN_ComponentKit* inst) {
    Occurrence o;
    inst->getKRNName(o.name);
    SoTransform* t = inst->getTrans(false);
    o.placement.setTransform(t->translation.getValue(), t->rotation.getValue(), t->scaleFactor.getValue());
    o.proto = inst->getPrototype();
    out[path] = o;
  });
  return out;
}

void ExpectSameAssembly(SoKRN_MainDoc* a, SoKRN_MainDoc* b) {
  const auto oa = Occurrences(a), ob = Occurrences(b);
  ASSERT_EQ(oa.size(), ob.size());
  std::map<SoKRN_ComponentKit*, SoKRN_ComponentKit*> protoMap;  // a's prototype -> b's
  for (const auto& [path, x] : oa) {
    auto it = ob.find(path);
    ASSERT_NE(it, ob.end()) << path;
    const Occurrence& y = it->second;
    EXPECT_EQ(x.name, y.name) << path;
    EXPECT_TRUE(x.placement.equals(y.placement, 1e-6f)) << path;
    std::wstring na, nb;
    x.proto->getKRNName(na);
    y.proto->getKRNName(nb);
    EXPECT_EQ(na, nb) << path;
    EXPECT_EQ(vx::host::CountTriangles(x.proto), vx::host::CountTriangles(y.proto)) << path;
    // Sharing: one prototype in a maps to exactly one in b and back.
    auto [pos, fresh] = protoMap.emplace(x.proto, y.proto);
    EXPECT_EQ(pos->second, y.proto) << path << ": a shared prototype was split";
  }
  std::set<SoKRN_ComponentKit*> images;
  for (const auto& [from, to] : protoMap) images.insert(to);
  EXPECT_EQ(images.size(), protoMap.size()) << "distinct prototypes were merged";
}

// File, then string twice more (names Coin gives to shared nodes must not
// collide); temporary children are not written.
TEST(DocumentIO, RoundTripKeepsPathsNamesMatricesAndSharing) {
  DocRef a(BuildSharedAssembly());
  auto* marker = new SoSeparator;
  a.doc->addTmpChild(marker);
  const std::string file = testing::TempDir() + "vx_host_roundtrip.iv";
  std::string error;
  ASSERT_TRUE(vx::host::WriteDocument(a.doc, file, error)) << error;
  EXPECT_EQ(a.doc->getTmpChildByIndex(0), marker);  // put back after writing
  DocRef b(vx::host::ReadDocument(file, error));
  std::remove(file.c_str());
  ASSERT_NE(b.doc, nullptr) << error;
  EXPECT_EQ(b.doc->getNumTempChildren(), 0);
  ExpectSameAssembly(a.doc, b.doc);
  EXPECT_EQ(Occurrences(a.doc).size(), 7u);
  DocRef c(vx::host::ReadDocumentFromString(vx::host::WriteDocumentToString(b.doc), error));
  ASSERT_NE(c.doc, nullptr) << error;
  DocRef d(vx::host::ReadDocumentFromString(vx::host::WriteDocumentToString(c.doc), error));
  ASSERT_NE(d.doc, nullptr) << error;
  ExpectSameAssembly(a.doc, d.doc);

  // The read document is live: paths resolve, kits know their state.
  hosttest::ResolvedPath p(d.doc, "abc|1");
  ASSERT_GT(p.length(), 0);
  EXPECT_EQ(static_cast<SoKRN_ComponentKit*>(p.tail())->getKRNState(), d.doc->getKRNState());
  EXPECT_FALSE(vx::host::WriteDocument(a.doc, "/nonexistent/dir/file.iv", error));
  EXPECT_FALSE(vx::host::WriteDocument(nullptr, "x.iv", error));
}

// Seeded mutations never crash; whatever is accepted is a usable document.
// (Truncated documents: tests/tools/ImportBadFilesTest.cpp.)
TEST(DocumentIO, SeededMutationsGiveReasonsOrUsableDocuments) {
  DocRef a(BuildSharedAssembly());
  const std::string text = vx::host::WriteDocumentToString(a.doc);
  const char* fragments[] = {"{",
                             "}",
                             "[",
                             "]",
                             "\"",
                             "USE _",
                             "DEF _ ",
                             "SoKRN_ComponentKit {",
                             "protoGroup Group {",
                             "childList Group {",
                             "componentType INSTANCE",
                             "fields [",
                             "1e40",
                             "-1",
                             "nan"};
  std::mt19937 rng(20240611);
  int read = 0;
  for (int iter = 0; iter < 600; ++iter) {
    std::string t = text;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t pos = rng() % t.size();
      switch (rng() % 4) {
        case 0:
          t[pos] = static_cast<char>(rng() % 256);
          break;
        case 1:
          t.erase(pos, 1 + rng() % 20);
          break;
        case 2:
          t.insert(pos, fragments[rng() % (sizeof fragments / sizeof *fragments)]);
          break;
        default:
          t.insert(pos, t.substr(rng() % t.size(), rng() % 200));
          break;
      }
    }
    std::string error;
    SoKRN_MainDoc* doc = vx::host::ReadDocumentFromString(t, error);
    if (doc) {
      ++read;
      EXPECT_NE(doc->getTopPrototype(), nullptr);
      EXPECT_FALSE(vx::host::WriteDocumentToString(doc).empty());
      hosttest::ForEachOccurrence(doc, [](const std::string&, SoKRN_ComponentKit*) {});
      doc->unref();
    } else {
      EXPECT_FALSE(error.empty());
      EXPECT_EQ(error.find('\n'), std::string::npos);
    }
  }
  EXPECT_GT(read, 0);  // some edits are harmless (inside names, numbers)
}

}  // namespace
