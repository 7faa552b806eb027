// Damaged and empty files: a null document and one line naming the file and
// the reason, never a crash or a hang. The corpus is tests/data/bad/; the
// truncation test cuts every good file of tests/data/import/ at many places.
#include <limits>
#include <set>

#include "host/DocumentBuilder.h"
#include "host/DocumentIO.h"
#include "tools/StepImporter.h"
#include "ImportSupport.h"

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
  const std::map<std::string, std::vector<std::string>> reasons = {
      {"accessor_overflow.gltf", {"not a valid glTF file", "out of range"}},
      {"bad_base64.gltf", {"not a valid glTF file", "base64"}},
      {"bad_magic.glb", {"not a valid glTF binary"}},
      {"degenerate_only.obj", {"no triangles (3 degenerate triangles dropped)"}},
      {"empty.glb", {"empty file"}},
      {"garbage.fbx", {"not a valid FBX file"}},
      {"index_out_of_range.obj", {"not a valid OBJ file", "index out of range"}},
      {"infinite_vertex.stl", {"mesh \"plate\"", "non-finite coordinate", "inf"}},
      {"lines_only.obj", {"no triangles (only points and lines)"}},
      {"missing_buffer.gltf", {"not a valid glTF file", "instanced_missing.bin"}},
      {"nan_transform.dae", {"node \"Block_A\"", "non-finite transform"}},
      {"nan_vertex.gltf", {"mesh \"Block\" (node \"Block_A\")", "non-finite coordinate"}},
      {"nan_vertex.obj", {"mesh \"Bracket\"", "non-finite coordinate (vertex 1: nan 0 0)"}},
      {"no_end_header.ply", {"not a valid PLY file", "end_header"}},
      {"node_cycle.gltf", {"not a valid glTF file", "recursive"}},
      {"not_a_document.iv", {"no document kit"}},
      {"not_a_zip.3mf", {"not a valid 3MF file"}},
      {"scaled_to_zero.gltf", {"no triangles (every part is scaled to zero)"}},
      {"truncated.dae", {"not a valid COLLADA file"}},
      {"truncated.iv", {"cut off"}},
      {"truncated_ascii.stl", {"not a valid STL file", "endsolid"}},
      {"truncated_binary.stl", {"not a valid STL file", "file cut off"}},
      {"truncated_faces.ply", {"not a valid PLY file", "file cut off"}},
      {"empty_face.ply", {"broken face (#0: no corners"}},
      {"huge_count.ply", {"not a valid PLY file", "more elements than the 6 bytes"}},
      // A STEP header and nothing else.
      {"unsupported.step", {StepImportAvailable() ? "STEP file cut off" : "without STEP support"}},
      // Files that crashed, aborted or exhausted the readers.
      {"3mf_crc_mismatch.3mf", {"zip entry \"3D/3dmodel.model\" is damaged (CRC-32 mismatch)"}},
      {"3mf_missing_root_part.3mf", {"root part \"3D/missing.model\"", "is missing"}},
      {"3mf_self_component.3mf", {"component cycle: object 2 contains itself"}},
      {"dae_float_array_no_count.dae", {"<float_array> on line 13 has no count"}},
      {"dae_triangles_without_p.dae", {"<triangles> on line 21 announces 4 primitives but has no <p>"}},
      {"dae_nonnumeric_index.dae", {"<p> on line 23 holds \"x\", not an index"}},
      {"fbx_converter_assert.fbx", {"cannot read: FBX reader failed (crashed: SIGABRT)"}},
      {"fbx_bad_polygon_index.fbx", {"not a valid FBX file", "polygon vertex index out of range"}},
      {"glb_huge_json_chunk.glb", {"chunk 0 claims 4294967280 bytes, only 1408 follow"}},
      {"iv_coordindex_oob_small.iv", {"prototype \"Box\": coordIndex[2] = 9 out of range (8 points)"}},
      {"iv_coordindex_oob.iv", {"coordIndex[2] = 100000000 out of range"}},
      {"iv_coordindex_huge_first.iv", {"coordIndex[0] = 1000000000 out of range"}},
      {"iv_file_node_devzero.iv", {"File node on line 2 refers to another file; refused"}},
      {"ply_propertyless_element.ply", {"element \"face\" announces 1000000000 entries but has no properties"}},
      // Found by fuzzing: the PLY reader spun, the others crashed.
      {"ply_vtab_after_end_header.ply", {"control character 11 in header line"}},
      {"ply_vtab_garbled_header.ply", {"control character 11 in header line"}},
      // FBX object links that loop: the reader recursed until its stack ran out.
      {"fbx_reader_segv_1.fbx", {"connection cycle: object 1000004 is its own parent"}},
      {"fbx_reader_segv_2.fbx", {"connection cycle: object 1000004 is its own parent (through object 1000007)"}},
      {"fbx_reader_segv_3.fbx", {"connection cycle: object 1000004 is its own parent (through object 1000007)"}},
      {"fbx_connection_cycle_1.fbx", {"connection cycle: object 1000004 is its own parent (through object 1000006)"}},
      {"fbx_connection_cycle_2.fbx", {"connection cycle: object 1000007 is its own parent"}},
      // The 3MF reader inflated a zip entry that claims 318 MB (over 10 s).
      {"3mf_entry_size_lie.3mf", {"zip entry \"\" does not inflate to its recorded 318767428 bytes"}},
      {"iv_kit_part_parser_segv.iv", {"cannot read: Inventor reader failed (crashed: SIG"}},
      // More damaged kit parts that crash Coin's kit reader (this campaign).
      {"iv_kit_part_parser_segv_2.iv", {"cannot read: Inventor reader failed (crashed: SIG"}},
      {"iv_kit_part_parser_segv_3.iv", {"cannot read: Inventor reader failed (crashed: SIG"}},
      {"iv_kit_part_parser_segv_4.iv", {"cannot read: Inventor reader failed (crashed: SIG"}},
      {"iv_kit_part_parser_segv_5.iv", {"cannot read: Inventor reader failed (crashed: SIG"}},
  };
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
                                     {"folder.obj", "directory"}, {"noextension", "unsupported file type"}})
    EXPECT_NE(ExpectFailure(dir.File(name)).find(reason), std::string::npos) << name;
}

TEST(ImportBadFiles, NonFiniteCoordinatesInOurOwnFilesNameThePrototype) {
  SoKRN_MainDoc* doc = vhost::NewDocument();
  doc->ref();
  const float inf = std::numeric_limits<float>::infinity();
  SoKRN_ComponentKit* part = vhost::MakePartPrototype(doc, L"Gusset", {0, 0, 0, 1, 0, 0, 0, inf, 0}, {0, 1, 2});
  vhost::PlaceInstance(doc, doc->getTopPrototype(), part, SbMatrix::identity(), L"G1");
  doc->adoptTree();
  TempDir dir;
  std::string error;
  ASSERT_TRUE(vhost::WriteDocument(doc, dir.File("gusset.iv"), error)) << error;
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
  ASSERT_TRUE(vhost::WriteDocument(doc.doc, sources[0], why)) << why;
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
