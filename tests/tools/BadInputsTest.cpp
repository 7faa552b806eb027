// The program against files and paths that once brought it down or made it
// lose data: each ends with exit status 2 and its reason on stderr, writes
// nothing, and touches no file but its outputs. The program runs under an
// alarm, so a hang fails the case instead of the suite.
#include "support/Files.h"
#include "support/ImportSupport.h"

using namespace importtest;

namespace {

using vxtest::ProgramRun;

ProgramRun Vistrel(const std::vector<std::string>& args, const std::string& cwd) {
  return vxtest::RunProgram(VX_VISTREL_BINARY, args, cwd);
}

// Corpus files through both commands (their reasons in tests/data/bad-reasons.tsv),
// then bad options.
TEST(BadInputs, EachEndsWithStatus2AndItsReason) {
  TempDir dir;
  const std::string bad = DataFile("bad") + "/";
  const auto reasons = BadFileReasons();
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"info", bad + "iv_file_node_devzero.iv", "--allow-external"},
       "names \"/dev/zero\", which is not a regular file"},
      {{"check", "--json", ""}, "--json needs a value"},
      {{"check", "--png", ""}, "--png needs a value"},
      {{"render", "--png", ""}, "--png needs a value"}};
  int k = 0;
  for (const char* name :
       {"iv_coordindex_oob.iv", "iv_coordindex_huge_first.iv", "3mf_missing_root_part.3mf", "3mf_self_component.3mf",
        "dae_triangles_without_p.dae", "fbx_converter_assert.fbx", "fbx_bad_polygon_index.fbx",
        "ply_propertyless_element.ply", "glb_huge_json_chunk.glb", "iv_file_node_devzero.iv"}) {
    const std::vector<std::string> check = {"check", bad + name, "--json", "r.json"}, info = {"info", bad + name};
    cases.push_back({k++ % 2 ? info : check, reasons.at(name).back()});
  }
  for (const auto& [args, reason] : cases) {
    const ProgramRun run = Vistrel(args, dir.File(""));
    const std::string what = args[0] + " " + args[1];
    EXPECT_EQ(run.status, 2) << what << "\n" << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << what << "\n" << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("r.json"))) << what;
  }
}

// An allowed File node is read from the document's folder, wherever the
// program runs; without the flag the same document is refused.
TEST(BadInputs, FileNodesOnlyWhenAllowed) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("sub"));
  dir.Write("sub/empty.iv", "#Inventor V2.1 ascii\nSeparator { }\n");
  std::string doc = ReadBytes(DataFile("bad/iv_file_node_devzero.iv"));
  doc.replace(doc.find("/dev/zero"), 9, "empty.iv");
  dir.Write("sub/doc.iv", doc);
  EXPECT_EQ(Vistrel({"info", "sub/doc.iv", "--allow-external"}, dir.File("")).status, 0);
  EXPECT_EQ(Vistrel({"info", "sub/doc.iv"}, dir.File("")).status, 2);
}

// An output naming an input (also through a link) is refused and the input
// kept; a symlink planted where a temporary picture might go is left alone.
TEST(BadInputs, OutputsNeverReplaceInputsOrFollowPlantedLinks) {
  TempDir dir;
  const std::string input = dir.Write("in.obj", ReadBytes(DataFile("import/three_objects.obj")));
  std::filesystem::create_symlink(input, dir.File("alias.json"));
  for (const auto& args : std::vector<std::vector<std::string>>{{"check", input, "--json", input},
                                                                {"check", input, "--json", dir.File("alias.json")},
                                                                {"check", input, "--png", input},
                                                                {"render", input, "--png", input}}) {
    const ProgramRun run = Vistrel(args, dir.File(""));
    EXPECT_EQ(run.status, 2) << args[2] << " " << args[3];
    EXPECT_NE(run.err.find("names the input file"), std::string::npos) << run.err;
  }
  EXPECT_EQ(ReadBytes(input), ReadBytes(DataFile("import/three_objects.obj")));

  std::filesystem::create_directory(dir.File("pngs"));
  const std::string victim = dir.Write("victim.txt", "victim\n");
  for (const char* planted : {"result_001.png.partial", ".result_001.png.partial", "result_001.png"})
    std::filesystem::create_symlink(victim, dir.File(std::string("pngs/") + planted));
  const ProgramRun run = Vistrel({"check", "--tolerance", "1", "--quiet", "--png", dir.File("pngs")}, dir.File(""));
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(ReadBytes(victim), "victim\n");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir.File("pngs/result_001.png"))));
  for (const auto& entry : std::filesystem::directory_iterator(dir.File("pngs"))) {
    const std::string name = entry.path().filename().string();  // no temporary left
    EXPECT_TRUE(name[0] != '.' || name == ".result_001.png.partial") << name;
  }
}

}  // namespace
