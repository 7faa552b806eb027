// Readers run in a child process: what the child can do wrong (crash, abort,
// allocate without bound, hang) ends as an outcome, and what it hands back
// is the document the reader built, bit for bit.
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <tuple>

#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/nodes/SoCoordinate3.h>

#include "host/DocumentIO.h"
#include "support/ImportSupport.h"
#include "tools/IsolatedRun.h"

using namespace importtest;

namespace {

TEST(ImportIsolation, EveryWayTheChildCanFailIsAnOutcome) {
  isolated::Limits limits;
  limits.seconds = 2;
  limits.memoryBytes = 256u << 20;
  struct Case {
    const char* name;
    std::function<void(std::string&)> work;
    isolated::Outcome outcome;
    const char* words;
  };
  const std::vector<Case> cases = {
      {"answer", [](std::string& out) { out.assign(3 << 20, 'x'); }, isolated::Outcome::kFinished, "finished"},
      {"abort", [](std::string&) { std::abort(); }, isolated::Outcome::kSignal, "crashed: SIGABRT"},
      // (AddressSanitizer turns the SEGV into its abort)
      {"segv", [](std::string&) { raise(SIGSEGV); }, isolated::Outcome::kSignal, "crashed: SIG"},
      {"hang", [](std::string&) { std::this_thread::sleep_for(std::chrono::seconds(60)); },
       isolated::Outcome::kTimeLimit, "time limit of 2 s reached"},
      {"grow",
       [](std::string&) {
         // Touched pages, as a reader filling what it allocated.
         std::vector<std::vector<char>> blocks;
         for (int i = 0; i < 4096; ++i) blocks.emplace_back(1 << 20, static_cast<char>(i));
       },
       isolated::Outcome::kMemoryLimit, "memory limit of 256 MiB reached"},
      {"throw", [](std::string&) { throw 5; }, isolated::Outcome::kExitStatus, "ended with an exception"},
  };
  for (const Case& c : cases) {
    const isolated::Result r = isolated::Run(c.work, limits);
    const std::string words = isolated::Describe(r, limits);
    if (std::string(c.name) == "segv" && r.outcome == isolated::Outcome::kExitStatus) {
      // ThreadSanitizer's own SEGV handler ends the child with its exit code.
      EXPECT_EQ(words.rfind("ended with exit status", 0), 0u) << words;
      continue;
    }
    EXPECT_EQ(r.outcome, c.outcome) << c.name << ": " << r.detail;
    EXPECT_EQ(words.rfind(c.words, 0), 0u) << c.name << ": " << words;
    EXPECT_EQ(r.bytes.size(), c.outcome == isolated::Outcome::kFinished ? size_t(3 << 20) : 0u) << c.name;
  }
}

// All coordinate arrays of a document, in traversal order.
std::vector<std::vector<float>> Coordinates(SoKRN_MainDoc* doc) {
  SoSearchAction sa;
  sa.setType(SoCoordinate3::getClassTypeId());
  sa.setInterest(SoSearchAction::ALL);
  sa.setSearchingAll(true);
  sa.apply(doc);
  std::vector<std::vector<float>> out;
  for (int i = 0; i < sa.getPaths().getLength(); ++i) {
    const SoMFVec3f& p = static_cast<SoCoordinate3*>(sa.getPaths()[i]->getTail())->point;
    out.emplace_back(&p.getValues(0)[0][0], &p.getValues(0)[0][0] + 3 * p.getNum());
  }
  return out;
}

// The document text our reader gets back from the child holds the same
// floats (bitwise) and the same tree as the one built in process, also for
// values that a short decimal form would round.
TEST(ImportIsolation, TheChildsDocumentIsTheReadersDocument) {
  TempDir dir;
  std::vector<std::string> files = {dir.Write("awkward.obj",
                                              "o Odd\nv 1234.56789 0.000123456789 -98765.4321\n"
                                              "v 1.1 777777.7 1e-30\nv 0.1 0.2 0.3\nf 1 2 3\n")};
  for (const auto& entry : std::filesystem::directory_iterator(DataFile("import")))
    files.push_back(entry.path().string());
  for (const std::string& file : files) {
    std::string e1, e2;
    ImportStats s1, s2;
    ImportOptions inProcess;
    inProcess.isolate = false;
    DocRef here(ImportAssembly(file, e1, &s1, inProcess)), there(ImportAssembly(file, e2, &s2));
    ASSERT_TRUE(here && there) << e1 << e2;
    const auto a = Coordinates(here.doc), b = Coordinates(there.doc);
    ASSERT_EQ(a.size(), b.size()) << file;
    for (size_t i = 0; i < a.size(); ++i) {
      ASSERT_EQ(a[i].size(), b[i].size()) << file;
      EXPECT_TRUE(a[i].empty() || std::memcmp(a[i].data(), b[i].data(), a[i].size() * sizeof(float)) == 0)
          << file << " array " << i;
    }
    // The same tree, names, ids and placements, as written.
    EXPECT_EQ(vx::host::WriteDocumentToString(here.doc), vx::host::WriteDocumentToString(there.doc)) << file;
    EXPECT_EQ(std::tie(s1.instances, s1.prototypes, s1.triangles, s1.placedTriangles, s1.meshesDropped,
                       s1.degenerateTriangles, s1.collapsedNodes, s1.shearedPlacements),
              std::tie(s2.instances, s2.prototypes, s2.triangles, s2.placedTriangles, s2.meshesDropped,
                       s2.degenerateTriangles, s2.collapsedNodes, s2.shearedPlacements))
        << file;
  }
}

}  // namespace
