// Damaged and empty files: a null document and one line naming the file and
// the reason, never a crash or a hang. The corpus is tests/data/bad/; the
// truncation test cuts every good file of tests/data/import/ at many places.
#include <limits>
#include <set>

#include "host/DocumentBuilder.h"
#include "host/DocumentIO.h"
#include "support/ImportSupport.h"
#include "tools/StepImporter.h"

using namespace importtest;

namespace {

// Imports `file`, which must fail: returns the message after checking its
// form ("<file>: <reason>", one line) and that `stats` was left alone.
std::string ExpectFailure(const std::string& file) {
  ImportStats stats;
  stats.instances = -7;
  std::string error = "stale";
  DocRef doc(ImportAssembly(file, error, &stats));
  EXPECT_FALSE(doc) << file;
  EXPECT_EQ(stats.instances, -7) << file;
  EXPECT_EQ(error.rfind(file + ": ", 0), 0u) << error;
  EXPECT_GT(error.size(), file.size() + 2) << file;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  return error;
}

// Every corpus file fails; a representative set of them with their reason.
TEST(ImportBadFiles, EveryCorpusFileFailsWithItsReason) {
  std::map<std::string, std::vector<std::string>> reasons = BadFileReasons();
  ASSERT_GT(reasons.size(), 40u);
  // A STEP header and nothing else; and without STEP support every STEP file says so.
  reasons["unsupported.step"] = {"STEP file cut off"};
  for (auto& [name, parts] : reasons)
    if (!StepImportAvailable() && name.size() > 5 && name.compare(name.size() - 5, 5, ".step") == 0)
      parts = {"without STEP support"};
  std::set<std::string> seen;
  for (const auto& entry : std::filesystem::directory_iterator(DataFile("bad"))) {
    const std::string name = entry.path().filename().string(), error = ExpectFailure(entry.path().string());
    seen.insert(name);
    for (const std::string& part : reasons.count(name) ? reasons.at(name) : std::vector<std::string>())
      EXPECT_NE(error.find(part), std::string::npos) << error;
  }
  for (const auto& entry : reasons) EXPECT_TRUE(seen.count(entry.first)) << entry.first;
}

TEST(ImportBadFiles, MissingFilesAndDirectoriesAreNamed) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.obj"));
  for (const auto& [name, reason] : {std::pair<const char*, const char*>{"absent.obj", "cannot open (no such file)"},
                                     {"folder.obj", "directory"},
                                     {"noextension", "unsupported file type"}})
    EXPECT_NE(ExpectFailure(dir.File(name)).find(reason), std::string::npos) << name;
}

TEST(ImportBadFiles, NonFiniteCoordinatesInOurOwnFilesNameThePrototype) {
  SoKRN_MainDoc* doc = vx::host::NewDocument();
  doc->ref();
  const float inf = std::numeric_limits<float>::infinity();
  SoKRN_ComponentKit* part = vx::host::MakePartPrototype(doc, L"Gusset", {0, 0, 0, 1, 0, 0, 0, inf, 0}, {0, 1, 2});
  vx::host::PlaceInstance(doc, doc->getTopPrototype(), part, SbMatrix::identity(), L"G1");
  doc->adoptTree();
  TempDir dir;
  std::string error;
  ASSERT_TRUE(vx::host::WriteDocument(doc, dir.File("gusset.iv"), error)) << error;
  doc->unref();
  // Whether Coin's reader takes "inf" or refuses it, the import fails cleanly;
  // when it reads the file, the census names the prototype.
  const std::string message = ExpectFailure(dir.File("gusset.iv"));
  if (message.find("non-finite") != std::string::npos) {
    EXPECT_NE(message.find("prototype \"Gusset\""), std::string::npos) << message;
  }
}

// Every prefix of a good file either imports or fails with a proper message.
// Cut points: every byte of the first 256 (headers), then about 150 more.
TEST(ImportBadFiles, TruncatedCopiesOfGoodFilesNeverCrash) {
  TempDir dir;
  std::vector<std::string> sources = {dir.File("frame.iv")};  // and one of our own files
  for (const auto& entry : std::filesystem::directory_iterator(DataFile("import")))
    sources.push_back(entry.path().string());
  std::string why;
  DocRef doc(ImportAssembly(DataFile("import/instanced.gltf"), why));
  ASSERT_TRUE(doc) << why;
  ASSERT_TRUE(vx::host::WriteDocument(doc.doc, sources[0], why)) << why;
  std::sort(sources.begin(), sources.end());
  for (const std::string& source : sources) {
    const std::string bytes = ReadBytes(source);
    const std::string cut = dir.File("cut" + std::filesystem::path(source).extension().string());
    int failures = 0;
    const size_t step = std::max<size_t>(1, bytes.size() / 150);
    for (size_t n = 0; n < bytes.size(); n += (n < 256 ? 1 : step)) {
      std::ofstream(cut, std::ios::binary | std::ios::trunc) << bytes.substr(0, n);
      std::string error;
      ImportStats stats;
      // In process: the readers themselves must survive these (the child
      // process would hide a crash).
      ImportOptions inProcess;
      inProcess.isolate = false;
      if (DocRef(ImportAssembly(cut, error, &stats, inProcess))) {
        EXPECT_TRUE(error.empty()) << error;
        EXPECT_GT(stats.placedTriangles, 0);
      } else {
        ++failures;
        EXPECT_EQ(error.rfind(cut + ": ", 0), 0u) << source << " cut at " << n << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
      }
    }
    EXPECT_GT(failures, 0) << source;
  }
}

}  // namespace
