// The review outputs of `vistrel check`: the HTML page as a browser renders
// it (headless Chromium: rows, pictures loaded, sorting), the CSV table and
// the BCF archives, held against the JSON report of the same run and the
// BCF schemas.
#include <gtest/gtest.h>

#include <unistd.h>  // access

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/MeshGen.h"
#include "tools/BcfExport.h"
#include "tools/PngImage.h"

using vxtest::Json;
using vxtest::Shell;
using vxtest::TempPath;

namespace {

const char kChromium[] = "/usr/bin/chromium";

// The page's DOM after its scripts ran and its pictures loaded (bounded:
// a hung browser fails the test instead of the run).
std::string RenderedDom(const std::string& url, const std::string& work) {
  const std::string out = work + "/dom.html";
  const std::string line = std::string("timeout 120 ") + kChromium +
                           " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                           " --disable-background-networking --disable-component-update --disable-sync"
                           " --user-data-dir=" +
                           work + "/profile --virtual-time-budget=3000 --dump-dom '" + url + "' > " + out +
                           " 2>/dev/null";
  EXPECT_EQ(Shell(line), 0) << line;
  return vxtest::ReadFile(out);
}

std::vector<double> Attribute(const std::string& dom, const std::string& name) {
  std::vector<double> out;
  const std::regex re("<tr data-index=\"\\d+\"[^>]*?" + name + "=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(dom.begin(), dom.end(), re); it != std::sregex_iterator(); ++it)
    out.push_back(std::strtod((*it)[1].str().c_str(), nullptr));
  return out;
}

class ReviewReports : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    work_ = TempPath("review");
    const std::string line = std::string(VX_VISTREL_BINARY) + " check --cut-faces --distance 20 -q --html " + work_ +
                             "/html --csv " + work_ + "/r.csv --json " + work_ + "/r.json > " + work_ + ".out 2>&1";
    Shell("mkdir -p " + work_);
    status_ = Shell(line);
    std::string error;
    ok_ = ReadJson(vxtest::ReadFile(work_ + "/r.json"), json_, error);
  }
  static void TearDownTestSuite() { Shell("rm -rf '" + work_ + "' '" + work_ + ".out'"); }
  static inline std::string work_;
  static inline int status_ = -1;
  static inline bool ok_ = false;
  static inline Json json_;
};

}  // namespace

TEST_F(ReviewReports, CsvHoldsEveryResultOfTheJson) {
  ASSERT_EQ(status_, 1);
  ASSERT_TRUE(ok_);
  const Json& results = json_["results"];
  ASSERT_GE(results.items.size(), 8u);  // contacts, interferences and near misses
  std::istringstream csv(vxtest::ReadFile(work_ + "/r.csv"));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line.rfind("id,status,group,kind,name1,path1,", 0), 0u);
  std::size_t rows = 0;
  while (std::getline(csv, line)) {
    ASSERT_LT(rows, results.items.size());
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\r');  // CRLF line ends
    const Json& r = results.items.at(rows);
    EXPECT_EQ(line.rfind(std::to_string(static_cast<int>(r["id"].n)) + ",,," + r["kind"].s + ",", 0), 0u) << line;
    ++rows;
  }
  EXPECT_EQ(rows, results.items.size());
}

TEST_F(ReviewReports, PageRendersInABrowserWithPicturesAndSorting) {
  ASSERT_EQ(status_, 1);
  ASSERT_TRUE(ok_);
  const std::size_t n = json_["results"].items.size();
  // Thumbnails: a quarter of each picture.
  PngImage thumb, full;
  std::string error;
  ASSERT_TRUE(thumb.readFile(work_ + "/html/thumb_001.png", error)) << error;
  ASSERT_TRUE(full.readFile(work_ + "/html/result_001.png", error)) << error;
  EXPECT_EQ(thumb.width() * 4, full.width());
  EXPECT_EQ(thumb.height() * 4, full.height());

  if (access(kChromium, X_OK) != 0) GTEST_SKIP() << "no " << kChromium << " (package chromium)";
  const std::string page = "file://" + work_ + "/html/index.html";

  // Sorted by distance, largest first, every picture loaded.
  std::string dom = RenderedDom(page + "#sort=-distance", work_);
  EXPECT_NE(dom.find("data-missing=\"0\""), std::string::npos);
  EXPECT_NE(dom.find("data-sorted=\"-distance\""), std::string::npos);
  std::vector<double> d = Attribute(dom, "data-distance");
  ASSERT_EQ(d.size(), n);
  for (std::size_t i = 1; i < d.size(); ++i) EXPECT_GE(d[i - 1], d[i]) << "row " << i;
  // The distances are not already in that order, or the sort proved nothing.
  std::vector<double> asWritten = Attribute(vxtest::ReadFile(work_ + "/html/index.html"), "data-distance");
  ASSERT_EQ(asWritten.size(), n);
  EXPECT_NE(asWritten, d);

  // Volume ascending, with one thumbnail gone: the page says so.
  ASSERT_EQ(std::remove((work_ + "/html/thumb_002.png").c_str()), 0);
  dom = RenderedDom(page + "#sort=volume", work_);
  EXPECT_NE(dom.find("data-missing=\"1\""), std::string::npos);
  EXPECT_NE(dom.find("1 picture(s) missing"), std::string::npos);
  const std::vector<double> v = Attribute(dom, "data-volume");
  ASSERT_EQ(v.size(), n);
  for (std::size_t i = 1; i < v.size(); ++i) EXPECT_LE(v[i - 1], v[i]) << "row " << i;
}

// The zip's checksum: the standard check value of CRC-32.
TEST(BcfArchive, Crc32CheckValue) { EXPECT_EQ(Crc32("123456789"), 0xCBF43926u); }

// Both BCF versions from the sample with clip planes: every file valid
// against its version's schema (and a 3.0 markup not against 2.1's, so the
// validation discriminates), a topic with viewpoint, clip plane and snapshot
// per result, and the same GUIDs from a second run.
TEST(BcfArchive, BothVersionsValidAgainstTheirSchemas) {
  if (Shell("command -v unzip >/dev/null && command -v xmllint >/dev/null") != 0)
    GTEST_SKIP() << "needs unzip and xmllint";
  const std::string work = TempPath("bcf");
  const std::string schemas = std::string(VX_SHARED_DATA_DIR) + "/bcf/";
  ASSERT_EQ(Shell("mkdir -p " + work), 0);
  std::map<std::string, std::string> firstListing;
  for (const std::string version : {"2.1", "3.0", "3.0"}) {
    const std::string zip = work + "/" + version + ".bcfzip", dir = work + "/x" + version;
    ASSERT_EQ(Shell(std::string(VX_VISTREL_BINARY) + " check --cut-faces --clip -q --json " + work +
                    "/r.json --bcf-version " + version + " --bcf " + zip + " > /dev/null"),
              1);
    ASSERT_EQ(Shell("rm -rf " + dir + " && mkdir " + dir + " && cd " + dir + " && unzip -q " + zip), 0);
    const std::size_t n = vxtest::ReadJsonFile(work + "/r.json")["results"].items.size();
    const std::string s = schemas + version + "/";
    EXPECT_EQ(Shell("xmllint --noout --schema " + s + "version.xsd " + dir + "/bcf.version 2>/dev/null"), 0);
    EXPECT_EQ(Shell("ls -d " + dir + "/*/ | wc -l | grep -qx " + std::to_string(n)), 0);
    EXPECT_EQ(Shell("ls " + dir + "/*/snapshot.png | wc -l | grep -qx " + std::to_string(n)), 0);
    EXPECT_EQ(Shell("xmllint --noout --schema " + s + "markup.xsd " + dir + "/*/markup.bcf 2>/dev/null"), 0);
    EXPECT_EQ(Shell("xmllint --noout --schema " + s + "visinfo.xsd " + dir + "/*/viewpoint.bcfv 2>/dev/null"), 0);
    for (const char* element : {"<PerspectiveCamera>", "<ClippingPlane>"})
      EXPECT_EQ(Shell("grep -L '" + std::string(element) + "' " + dir + "/*/viewpoint.bcfv | wc -l | grep -qx 0"), 0)
          << element;
    if (version == "3.0") {
      EXPECT_NE(Shell("xmllint --noout --schema " + schemas + "2.1/markup.xsd " + dir + "/*/markup.bcf 2>/dev/null"),
                0);
    }
    Shell("cd " + dir + " && ls -R > " + work + "/listing.txt");
    const std::string listing = vxtest::ReadFile(work + "/listing.txt");
    if (!firstListing.count(version)) firstListing[version] = listing;
    EXPECT_EQ(listing, firstListing[version]);  // stable GUIDs
  }
  Shell("rm -rf '" + work + "'");
}

namespace {

// Unit cubes at `places` (one prototype), written to `file`.
void WriteCubes(const std::string& file, const std::vector<SbVec3f>& places) {
  vxtest::WritePlacedParts(file, vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1)), places);
}

// "path1|path2" -> status, and the resolved pairs, of a report with a baseline.
std::map<std::string, std::string> Statuses(const Json& report) {
  std::map<std::string, std::string> out;
  for (const Json& r : report["results"].items) out[r["path1"].s + "|" + r["path2"].s] = r["status"].s;
  for (const Json& r : report["baseline"]["resolved"].items) out[r["path1"].s + "|" + r["path2"].s] = "resolved";
  return out;
}

}  // namespace

// An assembly edited between two runs: one clash fixed, one moved slightly,
// one kept, one added; then the sample against itself, with the same and
// with other settings.
TEST(Baseline, StatusesFollowTheEdits) {
  const std::string work = TempPath("base");
  ASSERT_EQ(Shell("mkdir -p " + work), 0);
  const std::string file = work + "/cubes.iv";
  const std::string vistrel = std::string(VX_VISTREL_BINARY) + " check -q ";
  // Pairs overlapping by half a cube: (1,2), (3,4), (5,6).
  WriteCubes(file, {{0, 0, 0}, {0.5f, 0, 0}, {10, 0, 0}, {10.5f, 0, 0}, {20, 0, 0}, {20.5f, 0, 0}});
  ASSERT_EQ(Shell(vistrel + file + " --json " + work + "/1.json > /dev/null"), 1);
  // Fixed: 2 moved away. Moved slightly: 4 by 0.1. Added: 7 and 8.
  WriteCubes(file,
             {{0, 0, 0}, {3, 0, 0}, {10, 0, 0}, {10.6f, 0, 0}, {20, 0, 0}, {20.5f, 0, 0}, {30, 0, 0}, {30.5f, 0, 0}});
  ASSERT_EQ(Shell(vistrel + file + " --baseline " + work + "/1.json --json " + work + "/2.json --csv " + work +
                  "/2.csv > " + work + "/2.txt"),
            1);
  const Json second = vxtest::ReadJsonFile(work + "/2.json");
  std::map<std::string, std::string> got = Statuses(second);
  ASSERT_EQ(got.size(), 4u) << vxtest::ReadFile(work + "/2.txt");
  std::vector<std::string> statuses;
  for (const auto& e : got) statuses.push_back(e.second);
  // Placement paths follow the placement order, so the map's order is the pairs' order.
  EXPECT_EQ(statuses, (std::vector<std::string>{"resolved", "active", "active", "new"}))
      << vxtest::ReadFile(work + "/2.txt");
  EXPECT_FALSE(second["baseline"]["partial"].b);
  EXPECT_NE(vxtest::ReadFile(work + "/2.csv").find(",new,"), std::string::npos);

  // The sample against itself: all active; with another tolerance: partial.
  ASSERT_EQ(Shell(vistrel + "--json " + work + "/s1.json > /dev/null"), 1);
  for (const char* extra : {"", "--tolerance 1 "}) {
    ASSERT_EQ(Shell(vistrel + extra + "--baseline " + work + "/s1.json --json " + work + "/s2.json > /dev/null"), 1);
    const Json again = vxtest::ReadJsonFile(work + "/s2.json");
    const bool sameSettings = *extra == '\0';
    EXPECT_EQ(again["baseline"]["partial"].b, !sameSettings) << extra;
    EXPECT_TRUE(again["baseline"]["resolved"].items.empty()) << extra;
    // A clearance that only the larger tolerance finds is new; everything else stays.
    for (const Json& r : again["results"].items)
      EXPECT_EQ(r["status"].s, r["kind"].s == "clearance" && !sameSettings ? "new" : "active") << extra;
  }
  Shell("rm -rf '" + work + "'");
}

// Grouping by instance on the sample with near misses: a partition of the
// results, largest group first, each group's instance in all its results,
// and the first group as large as the most results any instance has.
TEST(Grouping, ByInstancePartitionsLargestFirst) {
  const std::string json = TempPath("group.json");
  ASSERT_EQ(Shell(std::string(VX_VISTREL_BINARY) + " check -q --distance 20 --group-by instance --json " + json +
                  " > /dev/null"),
            1);
  const Json report = vxtest::ReadJsonFile(json);
  std::remove(json.c_str());
  std::map<int, const Json*> byId;
  std::map<std::string, std::size_t> perInstance;
  for (const Json& r : report["results"].items) {
    byId[static_cast<int>(r["id"].n)] = &r;
    ++perInstance[r["path1"].s];
    ++perInstance[r["path2"].s];
  }
  std::size_t most = 0;
  for (const auto& e : perInstance) most = std::max(most, e.second);
  std::map<int, int> seen;
  std::size_t previous = SIZE_MAX;
  const Json& groups = report["groups"]["list"];
  ASSERT_FALSE(groups.items.empty());
  EXPECT_EQ(groups.items.at(0)["results"].items.size(), most);
  for (const Json& g : groups.items) {
    EXPECT_LE(g["results"].items.size(), previous);
    previous = g["results"].items.size();
    for (const Json& id : g["results"].items) {
      ++seen[static_cast<int>(id.n)];
      const Json& r = *byId.at(static_cast<int>(id.n));
      EXPECT_TRUE(g["label"].s.find("[" + r["path1"].s + "]") != std::string::npos ||
                  g["label"].s.find("[" + r["path2"].s + "]") != std::string::npos)
          << g["label"].s;
      EXPECT_EQ(r["group"].s, g["label"].s);
    }
  }
  EXPECT_EQ(seen.size(), byId.size());
  for (const auto& e : seen) EXPECT_EQ(e.second, 1) << "result " << e.first;
}

// `vistrel report` at a smaller tolerance against a fresh check at that
// tolerance: the same results (numbering, kinds, pairs, distances, volumes,
// boxes, cut lines), for plain, cut-face and distance runs.
TEST(ReportCommand, ReclassifiedEqualsAFreshCheck) {
  const std::string work = TempPath("recl");
  ASSERT_EQ(Shell("mkdir -p " + work), 0);
  const std::string vistrel = std::string(VX_VISTREL_BINARY) + " ";
  auto key = [](const Json& r) {
    std::ostringstream s;
    s << r["id"].n << ' ' << r["kind"].s << ' ' << r["path1"].s << ' ' << r["path2"].s << ' ' << r["min_distance"].n
      << ' ' << (r["volume"].kind == Json::Null ? -1.0 : r["volume"].n) << ' ' << r["cut_line"]["points"].items.size();
    for (const Json& b : r["box"].items) s << ' ' << b.n;
    return s.str();
  };
  auto keys = [&](const std::string& file) {
    const Json j = vxtest::ReadJsonFile(file);
    std::vector<std::string> out;
    for (const Json& r : j["results"].items) out.push_back(key(r));
    return out;
  };
  std::size_t dropped = 0;
  for (const std::string mode : {"", "--cut-faces ", "--distance 20 "}) {
    ASSERT_LE(Shell(vistrel + "check -q " + mode + "--tolerance 5 --json " + work + "/wide.json > /dev/null"), 1);
    const std::size_t wide = keys(work + "/wide.json").size();
    for (const char* t : {"0", "1", "2"}) {
      Shell(vistrel + "check -q " + mode + "--tolerance " + t + " --json " + work + "/fresh.json > /dev/null");
      Shell(vistrel + "report " + work + "/wide.json --tolerance " + t + " --json " + work + "/re.json > /dev/null");
      const std::vector<std::string> fresh = keys(work + "/fresh.json");
      EXPECT_EQ(keys(work + "/re.json"), fresh) << mode << "tolerance " << t;
      dropped += wide - fresh.size();
    }
  }
  EXPECT_GT(dropped, 0u);  // some results do go at the smaller tolerances
  // Beyond what was searched: refused.
  EXPECT_EQ(Shell(vistrel + "report " + work + "/wide.json --tolerance 50 > /dev/null 2>&1"), 2);
  Shell("rm -rf '" + work + "'");
}
