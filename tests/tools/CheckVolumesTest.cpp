// Interference volumes and kinds reported by `vistrel check` on the files that
// once gave wrong figures (kept in the shared data), with and without cut faces.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/Files.h"

namespace {

// Runs `vistrel check FILE ARGS --json OUT` and returns the report's results.
vxtest::Json CheckJson(const std::string& file, const std::string& args) {
  const std::string json = vxtest::TempPath("volumes.json");
  EXPECT_NE(vxtest::Shell(std::string(VX_VISTREL_BINARY) + " check '" + file + "' " + args + " --json '" + json +
                          "' > /dev/null 2>&1"),
            -1);
  const vxtest::Json out = vxtest::ReadJsonFile(json);
  std::remove(json.c_str());
  return out["results"];
}

}  // namespace

TEST(CheckVolumes, ReproducersGiveTheOverlapVolume) {
  const std::string data = VX_SHARED_DATA_DIR;
  const struct {
    std::string file;
    double volume, slack;
    double depthLo, depthHi;  // the depth bound: a lower bound of the separating distance
  } cases[] = {
      {data + "/volume-two-spheres.obj", 7.7346, 0.01 * 7.7346, 1e-3, 10},                  // CGAL's corefinement
      {data + "/bad-inputs/volume_coincident_cubes.obj", 1.0, 1e-5, 2.0 / 3 - 1e-5, 1.0},   // face centroids
      {data + "/bad-inputs/volume_coplanar_shift.obj", 0.5, 1e-5, 0.5 - 1e-5, 0.5 + 1e-5},  // a slab
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const vxtest::Json with = CheckJson(c.file, "--cut-faces");
    ASSERT_EQ(with.items.size(), 1u);
    EXPECT_EQ(with.items.at(0)["kind"].s, "interference");
    EXPECT_NEAR(with.items.at(0)["volume"].n, c.volume, c.slack);
    EXPECT_GE(with.items.at(0)["penetration_depth"].n, c.depthLo);
    EXPECT_LE(with.items.at(0)["penetration_depth"].n, c.depthHi);
    const vxtest::Json without = CheckJson(c.file, "");
    ASSERT_EQ(without.items.size(), 1u);
    EXPECT_EQ(without.items.at(0)["penetration_depth"].kind, vxtest::Json::Null) << "no depth without cut faces";
    EXPECT_EQ(without.items.at(0)["kind"].s, "interference") << "told without cut faces too";
  }
  // The shifted cube overlaps by 0.5: kept by a filter at 0.4, dropped at 0.6.
  EXPECT_EQ(
      CheckJson(data + "/bad-inputs/volume_coplanar_shift.obj", "--interference-only --tolerance 0.4").items.size(),
      1u);
  EXPECT_EQ(
      CheckJson(data + "/bad-inputs/volume_coplanar_shift.obj", "--interference-only --tolerance 0.6").items.size(),
      0u);
}

// A box standing in an open floor surface: an interference (the sheet passes
// through the box), its volume and depth null with the reason.
TEST(CheckVolumes, OpenSurfaceGivesNullWithANote) {
  const vxtest::Json r = CheckJson(VX_TEST_DATA_DIR "/box-on-open-floor.obj", "--cut-faces");
  ASSERT_EQ(r.items.size(), 1u);
  EXPECT_EQ(r.items.at(0)["kind"].s, "interference");
  EXPECT_EQ(r.items.at(0)["volume"].kind, vxtest::Json::Null);
  EXPECT_EQ(r.items.at(0)["penetration_depth"].kind, vxtest::Json::Null);
  EXPECT_NE(r.items.at(0)["volume_note"].s.find("not closed"), std::string::npos);
}
