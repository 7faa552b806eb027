// Importing good files: the assembly tree, instancing, names, placements.
//
// The "frame" of tests/data/import/instanced.{gltf,glb,dae,fbx}:
//   Frame          T(0,0,10), children:
//     Block_A      Block at T(5,0,0)
//     Block_B      Block at Rz(90 deg) then T(0,3,0)
//     Stift_Ø20_螺栓  Pin scaled by 2
//   Block_C        Block at T(-7,0,0)
// (the .dae says it in millimetres with Z up, the .fbx was written by
// assimp's exporter from the .gltf). World corners, derived by hand:
#include <set>

#include "host/DocumentBuilder.h"
#include "host/DocumentIO.h"
#include "support/ImportSupport.h"

using namespace importtest;

namespace {

const std::wstring kStift = L"Stift_\u00d820_\u87ba\u6813";

std::map<std::wstring, std::vector<WorldTri>> FrameTable() {
  return {
      {L"Block_A", Tris({{5, 0, 10}, {6, 0, 10}, {5, 1, 10}, {5, 0, 11}})},
      {L"Block_B", Tris({{0, 3, 10}, {0, 4, 10}, {-1, 3, 10}, {0, 3, 11}})},
      {kStift, Tris({{0, 0, 10}, {2, 0, 10}, {0, 2, 10}})},
      {L"Block_C", Tris({{-7, 0, 0}, {-6, 0, 0}, {-7, 1, 0}, {-7, 0, 1}})},
  };
}

SoKRN_MainDoc* Import(const std::string& file, ImportStats* stats = nullptr) {
  std::string error;
  SoKRN_MainDoc* doc = ImportAssembly(file, error, stats);
  EXPECT_TRUE(doc) << error;
  EXPECT_TRUE(!doc || error.empty()) << error;
  return doc;
}

void ExpectStats(const ImportStats& s, int instances, int prototypes, int triangles, int placed) {
  EXPECT_EQ(s.instances, instances);
  EXPECT_EQ(s.prototypes, prototypes);
  EXPECT_TRUE(triangles < 0 || s.triangles == triangles) << s.triangles;
  EXPECT_TRUE(placed < 0 || s.placedTriangles == placed) << s.placedTriangles;
}

// Names, world triangles, prototype sharing and path resolution of the frame.
void ExpectFrame(SoKRN_MainDoc* doc) {
  const auto table = FrameTable();
  const auto byName = ByName(doc);
  ASSERT_EQ(Occurrences(doc).size(), table.size());
  ASSERT_EQ(byName.size(), table.size());
  for (const auto& [name, occ] : byName) {
    ASSERT_TRUE(table.count(name)) << "unexpected instance at " << occ.plcPath;
    EXPECT_EQ(occ.tris, table.at(name)) << "world triangles of " << occ.plcPath;
    // The placement path leads back to the instance that places the part.
    EXPECT_EQ(CGraphOperation::GetNodeByPlcPath(doc, occ.plcPath.c_str()), occ.instance) << occ.plcPath;
  }
  const Occurrence &a = byName.at(L"Block_A"), &b = byName.at(L"Block_B"), &c = byName.at(L"Block_C");
  // One prototype, three instance kits, three placement paths.
  EXPECT_EQ(a.prototype, b.prototype);
  EXPECT_EQ(a.prototype, c.prototype);
  EXPECT_NE(a.prototype, byName.at(kStift).prototype);
  EXPECT_EQ(std::set<SoKRN_ComponentKit*>({a.instance, b.instance, c.instance}).size(), 3u);
  EXPECT_EQ(std::set<std::string>({a.plcPath, b.plcPath, c.plcPath}).size(), 3u);
}

// Each exchange format carries the same frame; instancing survives in all.
class ImportFormats : public ::testing::TestWithParam<const char*> {};

TEST_P(ImportFormats, GiveTheFrameWithItsInstancing) {
  ImportStats stats;
  DocRef doc(Import(DataFile(std::string("import/instanced.") + GetParam()), &stats));
  ASSERT_TRUE(doc);
  // Frame, Block_A, Block_B, Stift, Block_C; Frame (sub-assembly), Block, Pin.
  ExpectStats(stats, 5, 3, 5, 13);
  ExpectFrame(doc.doc);
}

INSTANTIATE_TEST_SUITE_P(Files, ImportFormats, ::testing::Values("gltf", "glb", "dae", "fbx"));

// The tree as imported. (Our own files: tests/host/DocumentIOTest.cpp, and
// tests/tools/ImportIsolationTest.cpp for the documents a reader hands back.)
TEST(ImportGltf, TreeAsImported) {
  ImportStats first;
  DocRef doc(Import(DataFile("import/instanced.gltf"), &first));
  ASSERT_TRUE(doc);
  EXPECT_EQ(first.degenerateTriangles, 0);
  // Two roots in the file under a made-up root, named after the file.
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  EXPECT_EQ(Name(top), L"instanced.gltf");
  ASSERT_EQ(top->getNumEleChildren(), 2);
  auto* frame = static_cast<SoKRN_ComponentKit*>(top->getEleChild(0));
  EXPECT_EQ(Name(frame), L"Frame");
  SoKRN_ComponentKit* proto = frame->getPrototype();
  ASSERT_TRUE(proto);
  EXPECT_EQ(proto->componentType.getValue(), SoKRN_ComponentKit::ASSEMBLY);
  EXPECT_EQ(proto->getNumEleChildren(), 3);
  EXPECT_EQ(Name(static_cast<SoKRN_ComponentKit*>(proto->getEleChild(1))->getPrototype()), L"Block");
}

TEST(Import3mf, ComponentsArePlacementsOfOnePrototype) {
  // Object "Frame" holds the block twice (at T(5,0,10) and at Rz(90 deg) then
  // T(0,3,10)); the build places the frame and the block at T(-7,0,0).
  ImportStats stats;
  DocRef doc(Import(DataFile("import/instanced.3mf"), &stats));
  ASSERT_TRUE(doc);
  ExpectStats(stats, 4, 2, -1, -1);
  std::vector<WorldTri> want;
  for (const auto& [name, tris] : FrameTable())
    if (name != kStift) want.insert(want.end(), tris.begin(), tris.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(AllTriangles(doc.doc), want);
  std::set<SoKRN_ComponentKit*> protos;
  for (const auto& entry : Occurrences(doc.doc)) protos.insert(entry.second.prototype);
  EXPECT_EQ(protos.size(), 1u);
}

TEST(ImportObj, EveryObjectIsOneInstanceOfItsOwnPart) {
  ImportStats stats;
  DocRef doc(Import(DataFile("import/three_objects.obj"), &stats));
  ASSERT_TRUE(doc);
  ExpectStats(stats, 3, 3, 7, -1);  // 4 + 1 + the quad's 2
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  EXPECT_EQ(Name(top), L"three_objects.obj");
  ASSERT_EQ(top->getNumEleChildren(), 3);
  for (int i = 0; i < 3; ++i) {
    auto* inst = static_cast<SoKRN_ComponentKit*>(top->getEleChild(i));
    EXPECT_EQ(Name(inst), (std::vector<std::wstring>{L"Bolt", L"Nut", L"Washer"})[i]);
    EXPECT_EQ(vx::host::CountTriangles(inst->getPrototype()), (std::vector<int>{4, 1, 2})[i]) << i;
  }
  // The quad (0,5,0) (1,5,0) (1,6,0) (0,6,0) is still the same surface.
  const Occurrence washer = ByName(doc.doc).at(L"Washer");
  ASSERT_EQ(washer.tris.size(), 2u);
  std::set<Corner> corners;
  for (const auto& t : washer.tris) corners.insert(t.begin(), t.end());
  EXPECT_EQ(corners, std::set<Corner>({Snap({0, 5, 0}), Snap({1, 5, 0}), Snap({1, 6, 0}), Snap({0, 6, 0})}));
}

TEST(ImportStlAndPly, AsciiBinaryAndPlyGiveOneInstance) {
  std::vector<WorldTri> plate = {Tri({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), Tri({1, 0, 0}, {1, 1, 0}, {0, 1, 0})};
  std::sort(plate.begin(), plate.end());
  // The same plate as binary STL: 80-byte header, count, 50 bytes a facet.
  std::string bytes(80, ' ');
  const uint32_t count = 2;
  bytes.append(reinterpret_cast<const char*>(&count), 4);
  const float facets[2][12] = {{0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 0}};
  for (const auto& f : facets) bytes.append(reinterpret_cast<const char*>(f), sizeof f).append(2, '\0');
  TempDir dir;
  const struct {
    std::string file;
    std::vector<WorldTri> tris;
  } cases[] = {{DataFile("import/plate.stl"), plate},
               {dir.Write("plate_binary.stl", bytes), plate},
               {DataFile("import/triangle.ply"), Tris({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})}};
  for (const auto& c : cases) {
    ImportStats stats;
    DocRef doc(Import(c.file, &stats));
    ASSERT_TRUE(doc) << c.file;
    ExpectStats(stats, 1, 1, -1, -1);
    EXPECT_EQ(AllTriangles(doc.doc), c.tris) << c.file;
    if (&c == &cases[0]) {
      EXPECT_EQ(Name(doc->getTopPrototype()->getEleChild(0)), L"plate");  // the solid's name
    }
  }
}

}  // namespace
