// `vistrel check` as a user runs it: exit codes, the table, the JSON report
// and Ctrl-C in the middle of a long run.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/DocumentBuilder.h"
#include "host/DocumentIO.h"
#include "host/SoKRN_MainDoc.h"
#include "support/MeshGen.h"
#include "support/MiniJson.h"
#include "tools/PngImage.h"

using vxtest::Json;

namespace {

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "vx_" + std::to_string(getpid()) + "_" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct ProgramRun {
  int status = -1;  // exit code, or -signal
  std::string out, err;
};

// Starts the program; with `interruptAfterMs` >= 0 sends SIGINT after that long.
ProgramRun RunVistrel(const std::vector<std::string>& args, int interruptAfterMs = -1) {
  const std::string out = TempPath("stdout.txt"), err = TempPath("stderr.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(VX_VISTREL_BINARY));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VX_VISTREL_BINARY, argv.data());
    _exit(127);
  }
  if (interruptAfterMs >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(interruptAfterMs));
    kill(pid, SIGINT);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  ProgramRun r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -WTERMSIG(wstatus);
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

Json ParseFile(const std::string& path) {
  Json json;
  std::string error;
  EXPECT_TRUE(vxtest::ParseJson(ReadFile(path), json, error)) << error;
  return json;
}

}  // namespace

TEST(CheckCommand, SampleReportAgreesBetweenTableAndJson) {
  const std::string json = TempPath("sample.json");
  const ProgramRun r = RunVistrel({"check", "--tolerance", "1", "--cut-faces", "--json", json, "--quiet"});
  ASSERT_EQ(r.status, 1) << r.err;  // results found
  const Json report = ParseFile(json);
  const Json& results = report["results"];
  ASSERT_EQ(results.items.size(), 7u);
  int interference = 0, contact = 0, clearance = 0;
  for (const Json& res : results.items) {
    const std::string kind = res["kind"].s;
    interference += kind == "interference";
    contact += kind == "contact";
    clearance += kind == "clearance";
    EXPECT_EQ(res["path1"].s.rfind("PATH|0|", 0), 0u);
    EXPECT_NE(r.out.find(res["name1"].s), std::string::npos) << "the table names " << res["name1"].s;
    EXPECT_NE(r.out.find(res["path2"].s), std::string::npos);
    EXPECT_EQ(res["box"].items.size(), 6u);
    if (kind == "interference") {
      EXPECT_NEAR(res["volume"].n, 58.53, 0.05) << "shank radius 4 in a radius 3.5 hole, 5 deep (32-gons)";
      EXPECT_FALSE(res["cut_face"]["triangles"].items.empty());
      EXPECT_FALSE(res["cut_line"]["segments"].items.empty());
    }
  }
  EXPECT_EQ(interference, 2) << "the bolt in the undersized hole, in both brackets";
  EXPECT_EQ(contact, 4);
  EXPECT_EQ(clearance, 1) << "the shaft in its bearing";
  EXPECT_EQ(report["instances"].n, 13);
  EXPECT_FALSE(report["stopped"].b);
  EXPECT_TRUE(report["settings"]["cut_faces"].b);
  EXPECT_NE(r.out.find("results: 7 (interference 2, contact 4, clearance 1, near 0)"), std::string::npos) << r.out;
}

TEST(CheckCommand, BadUsageAndUnreadableInputExitWithTwo) {
  const ProgramRun unknown = RunVistrel({"check", "--frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--frobnicate"), std::string::npos);
  const ProgramRun number = RunVistrel({"check", "--tolerance", "abc"});
  EXPECT_EQ(number.status, 2);
  const ProgramRun missing = RunVistrel({"check", "/nonexistent/plant.glb"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("/nonexistent/plant.glb"), std::string::npos) << missing.err;
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << "one line: " << missing.err;
}

TEST(CheckCommand, CleanAssemblyExitsWithZero) {
  SoKRN_MainDoc* doc = vhost::NewDocument();
  doc->ref();
  const vxtest::Mesh box = vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  auto* proto = vhost::MakePartPrototype(doc, L"Block", box.xyz, box.tris);
  for (int i = 0; i < 3; ++i) {
    SbMatrix m;
    m.setTranslate(SbVec3f(3.0f * i, 0, 0));
    vhost::PlaceInstance(doc, doc->getTopPrototype(), proto, m);
  }
  const std::string file = TempPath("clean.iv");
  std::string error;
  ASSERT_TRUE(vhost::WriteDocument(doc, file, error)) << error;
  doc->unref();
  const ProgramRun r = RunVistrel({"check", file, "--quiet"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("no interferences found"), std::string::npos);
}

TEST(CheckCommand, InterruptGivesAPartialWellFormedReport) {
  // Finely tessellated balls packed so densely that most neighbours
  // overlap: every overlapping pair costs real work, and the whole check
  // takes far longer than the moment the interrupt comes.
  SoKRN_MainDoc* doc = vhost::NewDocument();
  doc->ref();
  const vxtest::Mesh ball = vxtest::Sphere(SbVec3f(0, 0, 0), 1.0f, 96, 48);
  auto* proto = vhost::MakePartPrototype(doc, L"Ball", ball.xyz, ball.tris);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> pos(0.0f, 9.0f);
  for (int i = 0; i < 500; ++i) {
    SbMatrix m;
    m.setTranslate(SbVec3f(pos(rng), pos(rng), pos(rng)));
    vhost::PlaceInstance(doc, doc->getTopPrototype(), proto, m);
  }
  const std::string file = TempPath("large.iv");
  const std::string json = TempPath("large.json");
  std::string error;
  ASSERT_TRUE(vhost::WriteDocument(doc, file, error)) << error;
  doc->unref();
  const ProgramRun r = RunVistrel({"check", file, "--json", json, "--quiet"}, 1000);
  ASSERT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << ": " << r.err;
  const Json report = ParseFile(json);
  EXPECT_TRUE(report["stopped"].b);
  // Stopped early: not every one of the 500 * 499 / 2 pairs was tested (an
  // interrupt that comes while the file still loads stops the run before
  // its first pair, and before the pairs are even counted).
  EXPECT_LT(report["pairs_tested"].n, 500.0 * 499 / 2);
  EXPECT_LE(report["pairs_tested"].n, report["pairs_total"].n);
  EXPECT_NE(r.out.find("stopped by user"), std::string::npos);
}

TEST(CheckCommand, PicturesShowTheCutFaceAndTheResultBoxes) {
  const std::string dir = TempPath("pictures");
  const ProgramRun r =
      RunVistrel({"check", "--tolerance", "1", "--cut-faces", "--clip", "--png", dir, "--quiet"});
  ASSERT_EQ(r.status, 1) << r.err;
  auto count = [](const PngImage& img, auto pred) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
      for (int x = 0; x < img.width(); ++x) n += pred(img.pixel(x, y)) ? 1 : 0;
    }
    return n;
  };
  auto magenta = [](const PngImage::Rgba& p) { return p.r > 180 && p.b > 180 && p.g < 120; };
  auto red = [](const PngImage::Rgba& p) { return p.r > 180 && p.g < 80 && p.b < 80; };
  std::string error;
  PngImage overview, bolt, shaft;
  ASSERT_TRUE(overview.readFile(dir + "/overview.png", error)) << error;
  EXPECT_GT(count(overview, red), 200) << "the result boxes and cut lines are drawn";
  // Result 3 is a bolt through its plate, sectioned by the clip plane.
  ASSERT_TRUE(bolt.readFile(dir + "/result_003.png", error)) << error;
  EXPECT_GT(count(bolt, magenta), 1000) << "the cut face shows";
  // Result 6 is the shaft in its bearing: a clearance has no cut face.
  ASSERT_TRUE(shaft.readFile(dir + "/result_006.png", error)) << error;
  EXPECT_EQ(count(shaft, magenta), 0);
}

// A result picture shows the two instances of its result and nothing else:
// with a cube between the camera and the pair (apart from both, so not a
// result of its own) the picture is the one without the cube. The pictures
// look from (1, -1.5, 1) times the distance onto the result box centre
// (1.5, 1.25, 1.25); the cube sits on that line, 1.9 from the centre.
TEST(CheckCommand, ResultPictureShowsNothingOfTheOtherInstances) {
  auto pictureOf = [](bool withPlate, std::string& path) {
    SoKRN_MainDoc* doc = vhost::NewDocument();
    doc->ref();
    const vxtest::Mesh box = vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(2, 2, 2), 2);
    const vxtest::Mesh cube = vxtest::Box(SbVec3f(2.2f, -0.5f, 1.9f), SbVec3f(2.8f, 0.1f, 2.5f));
    auto* block = vhost::MakePartPrototype(doc, L"Block", box.xyz, box.tris);
    vhost::PlaceInstance(doc, doc->getTopPrototype(), block, SbMatrix::identity(), L"A");
    SbMatrix shifted;
    shifted.setTranslate(SbVec3f(1, 0.5f, 0.5f));
    vhost::PlaceInstance(doc, doc->getTopPrototype(), block, shifted, L"B");
    if (withPlate) {
      auto* inTheWay = vhost::MakePartPrototype(doc, L"Cube", cube.xyz, cube.tris);
      vhost::PlaceInstance(doc, doc->getTopPrototype(), inTheWay, SbMatrix::identity(), L"Cube");
    }
    const std::string name = withPlate ? "with_cube" : "without_cube";
    const std::string file = TempPath(name + ".iv"), dir = TempPath(name);
    std::string error;
    EXPECT_TRUE(vhost::WriteDocument(doc, file, error)) << error;
    doc->unref();
    const ProgramRun r = RunVistrel({"check", file, "--cut-faces", "--png", dir, "--quiet"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("results: 1 "), std::string::npos) << r.out;
    path = dir + "/result_001.png";
  };
  std::string withPlate, without, error;
  pictureOf(true, withPlate);
  pictureOf(false, without);
  PngImage a, b;
  ASSERT_TRUE(a.readFile(withPlate, error)) << error;
  ASSERT_TRUE(b.readFile(without, error)) << error;
  ASSERT_EQ(a.width(), b.width());
  ASSERT_EQ(a.height(), b.height());
  int differ = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const PngImage::Rgba p = a.pixel(x, y), q = b.pixel(x, y);
      differ += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > 6 ? 1 : 0;
    }
  }
  // The cut lines lie on the faces and fight them for depth: a few of their
  // pixels may come out either way. The cube would cover a tenth of the picture.
  EXPECT_LT(differ, a.width() * a.height() / 1000);
}
