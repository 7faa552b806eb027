// `vistrel check` as a user runs it: exit codes, the table, the JSON report,
// the pictures and Ctrl-C in the middle of a long run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/DocumentBuilder.h"
#include "host/DocumentIO.h"
#include "host/SoKRN_MainDoc.h"
#include "support/Files.h"
#include "support/MeshGen.h"
#include "tools/PngImage.h"

using vxtest::Json, vxtest::ProgramRun, vxtest::TempPath;

namespace {

ProgramRun RunVistrel(const std::vector<std::string>& args, int interruptAfterMs = -1) {
  return vxtest::RunProgram(VX_VISTREL_BINARY, args, "", interruptAfterMs);
}

// One part placed at each of `places`, written to a temporary file.
std::string WriteAssembly(const std::string& name, const vxtest::Mesh& mesh, const std::vector<SbVec3f>& places) {
  const std::string file = TempPath(name);
  vxtest::WritePlacedParts(file, mesh, places);
  return file;
}

PngImage ReadPicture(const std::string& path) {
  PngImage picture;
  std::string error;
  EXPECT_TRUE(picture.readFile(path, error)) << error;
  return picture;
}

template <class Pred>
int CountPixels(const PngImage& img, Pred pred) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += pred(img.pixel(x, y)) ? 1 : 0;
  return n;
}

}  // namespace

// The built-in sample with cut faces: table and JSON agree, and the pictures
// show the cut face of a sectioned result and the result boxes.
TEST(CheckCommand, SampleReportAgreesBetweenTableAndJson) {
  const std::string json = TempPath("sample.json"), dir = TempPath("pictures");
  const ProgramRun r =
      RunVistrel({"check", "--tolerance", "1", "--cut-faces", "--clip", "--json", json, "--png", dir, "--quiet"});
  ASSERT_EQ(r.status, 1) << r.err;  // results found
  const Json report = vxtest::ReadJsonFile(json);
  const Json& results = report["results"];
  ASSERT_EQ(results.items.size(), 7u);
  // The pairs the sample is built to show (its design is checked with CGAL in
  // tests/host/SampleAssemblyTest.cpp).
  const std::map<std::string, std::string> designed = {
      {"PATH|0|2|0 PATH|0|2|2", "interference"}, {"PATH|0|3|0 PATH|0|3|2", "interference"},  // undersized holes
      {"PATH|0|0 PATH|0|1", "contact"},          {"PATH|0|6 PATH|0|7", "contact"},           // cover, flush plates
      {"PATH|0|2|0 PATH|0|2|1", "contact"},      {"PATH|0|3|0 PATH|0|3|1", "contact"},       // seated heads
      {"PATH|0|4 PATH|0|5", "clearance"}};                                                   // the shaft in its bearing
  std::map<std::string, std::string> found;
  for (const Json& res : results.items) {
    const std::string kind = res["kind"].s, a = res["path1"].s, b = res["path2"].s;
    found[a < b ? a + " " + b : b + " " + a] = kind;
    EXPECT_NE(r.out.find(res["name1"].s), std::string::npos) << "the table names " << res["name1"].s;
    EXPECT_NE(r.out.find(res["path2"].s), std::string::npos);
    EXPECT_EQ(res["box"].items.size(), 6u);
    if (kind == "interference") {
      EXPECT_NEAR(res["volume"].n, 58.53, 0.05) << "shank radius 4 in a radius 3.5 hole, 5 deep (32-gons)";
      EXPECT_FALSE(res["cut_face"]["triangles"].items.empty());
      EXPECT_FALSE(res["cut_line"]["segments"].items.empty());
    }
  }
  EXPECT_EQ(found, designed);
  EXPECT_EQ(report["instances"].n, 13);
  EXPECT_FALSE(report["stopped"].b);
  EXPECT_TRUE(report["settings"]["cut_faces"].b);
  EXPECT_NE(r.out.find("results: 7 (interference 2, contact 4, clearance 1, near 0)"), std::string::npos) << r.out;

  auto magenta = [](const PngImage::Rgba& p) { return p.r > 180 && p.b > 180 && p.g < 120; };
  auto red = [](const PngImage::Rgba& p) { return p.r > 180 && p.g < 80 && p.b < 80; };
  EXPECT_GT(CountPixels(ReadPicture(dir + "/overview.png"), red), 200) << "the result boxes and cut lines";
  // Result 3: a bolt through its plate, sectioned by the clip plane; result 6:
  // the shaft in its bearing, a clearance without a cut face.
  EXPECT_GT(CountPixels(ReadPicture(dir + "/result_003.png"), magenta), 1000) << "the cut face shows";
  EXPECT_EQ(CountPixels(ReadPicture(dir + "/result_006.png"), magenta), 0);
}

TEST(CheckCommand, ExitCodesForBadUsageUnreadableInputAndACleanAssembly) {
  const ProgramRun unknown = RunVistrel({"check", "--frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("--frobnicate"), std::string::npos);
  EXPECT_EQ(RunVistrel({"check", "--tolerance", "abc"}).status, 2);
  const ProgramRun missing = RunVistrel({"check", "/nonexistent/plant.glb"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("/nonexistent/plant.glb"), std::string::npos) << missing.err;
  EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << "one line: " << missing.err;

  const std::string clean = WriteAssembly("clean.iv", vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1)),
                                          {SbVec3f(0, 0, 0), SbVec3f(3, 0, 0), SbVec3f(6, 0, 0)});
  const ProgramRun r = RunVistrel({"check", clean, "--quiet"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("no interferences found"), std::string::npos);
}

TEST(CheckCommand, InterruptGivesAPartialWellFormedReport) {
  // 500 finely tessellated balls packed so densely that most neighbours
  // overlap: the whole check takes far longer than the moment the interrupt comes.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> pos(0.0f, 9.0f);
  std::vector<SbVec3f> places(500);
  for (SbVec3f& p : places) p.setValue(pos(rng), pos(rng), pos(rng));
  const std::string file = WriteAssembly("large.iv", vxtest::Sphere(SbVec3f(0, 0, 0), 1.0f, 96, 48), places);
  const std::string json = TempPath("large.json");
  const ProgramRun r = RunVistrel({"check", file, "--json", json, "--quiet"}, 1000);
  ASSERT_EQ(r.status, 3) << "a stopped check is never clean: " << r.err;
  const Json report = vxtest::ReadJsonFile(json);
  EXPECT_TRUE(report["stopped"].b);
  // The pair in progress (if the stop came inside one) is named, not listed.
  ASSERT_TRUE(report.fields.count("unfinished_pair"));
  const Json& unfinished = report["unfinished_pair"];
  for (const Json& row : report["results"].items)
    EXPECT_FALSE(unfinished.kind == Json::Array && row["path1"].s == unfinished.items.at(0).s &&
                 row["path2"].s == unfinished.items.at(1).s);
  // Not every pair was tested (an interrupt while the file still loads stops
  // the run before its first pair, and before the pairs are even counted).
  EXPECT_LT(report["pairs_tested"].n, 500.0 * 499 / 2);
  EXPECT_LE(report["pairs_tested"].n, report["pairs_total"].n);
  EXPECT_NE(r.out.find("stopped by user"), std::string::npos);
}

// A result picture draws its pair red and green and everything else ghosted:
// with a cube between the camera and the pair (apart from both, so not a
// result of its own) the picture differs from the one without the cube only
// by a faint veil, never by an opaque pixel of the cube. The pictures look
// from (1, -1.5, 1) times the distance onto the result box centre
// (1.5, 1.25, 1.25); the cube sits on that line, 1.9 from the centre.
TEST(CheckCommand, ResultPictureDrawsThePairInTwoColoursAndGhostsTheRest) {
  auto pictureOf = [](bool withCube) {
    SoKRN_MainDoc* doc = vx::host::NewDocument();
    doc->ref();
    const vxtest::Mesh box = vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(2, 2, 2), 2);
    const vxtest::Mesh cube = vxtest::Box(SbVec3f(2.2f, -0.5f, 1.9f), SbVec3f(2.8f, 0.1f, 2.5f));
    auto* block = vx::host::MakePartPrototype(doc, L"Block", box.xyz, box.tris);
    vx::host::PlaceInstance(doc, doc->getTopPrototype(), block, SbMatrix::identity(), L"A");
    SbMatrix shifted;
    shifted.setTranslate(SbVec3f(1, 0.5f, 0.5f));
    vx::host::PlaceInstance(doc, doc->getTopPrototype(), block, shifted, L"B");
    if (withCube) {
      auto* inTheWay = vx::host::MakePartPrototype(doc, L"Cube", cube.xyz, cube.tris);
      vx::host::PlaceInstance(doc, doc->getTopPrototype(), inTheWay, SbMatrix::identity(), L"Cube");
    }
    const std::string name = withCube ? "with_cube" : "without_cube";
    const std::string file = TempPath(name + ".iv"), dir = TempPath(name);
    std::string error;
    EXPECT_TRUE(vx::host::WriteDocument(doc, file, error)) << error;
    doc->unref();
    const ProgramRun r = RunVistrel({"check", file, "--png", dir, "--quiet"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("results: 1 "), std::string::npos) << r.out;
    return ReadPicture(dir + "/result_001.png");
  };
  const PngImage a = pictureOf(true), b = pictureOf(false);
  ASSERT_EQ(a.width(), b.width());
  ASSERT_EQ(a.height(), b.height());
  auto red = [](const PngImage::Rgba& p) { return p.r > 100 && p.r > 3 * p.g && p.r > 3 * p.b; };
  auto green = [](const PngImage::Rgba& p) { return p.g > 80 && p.g > 3 * p.r && p.g > 3 * p.b; };
  const int area = b.width() * b.height();
  EXPECT_GT(CountPixels(b, red), area / 20) << "the first instance";
  EXPECT_GT(CountPixels(b, green), area / 20) << "the second instance";
  int veiled = 0, opaque = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const PngImage::Rgba p = a.pixel(x, y), q = b.pixel(x, y);
      const int d = std::max({std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
      veiled += d > 6;
      opaque += d > 60;  // light grey at 20 % over anything moves a channel by at most 51
    }
  EXPECT_GT(veiled, area / 200) << "the cube is drawn, ghosted";
  // The cut lines lie on the faces and fight them for depth: a few of their
  // pixels may come out either way.
  EXPECT_LT(opaque, area / 1000) << "no opaque pixel of the cube";
}
