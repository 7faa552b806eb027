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

#include <Inventor/SbRotation.h>

#include "host/DocumentBuilder.h"
#include "host/DocumentIO.h"
#include "host/SoKRN_ComponentKit.h"
#include "test_ImportSupport.h"

using namespace importtest;

namespace {

const std::wstring kStift = L"Stift_\u00d820_\u87ba\u6813";

std::map<std::wstring, std::vector<WorldTri>> FrameTable() {
  return {
      {L"Block_A", Tris({{5, 0, 10}, {6, 0, 10}, {5, 1, 10}, {5, 0, 11}}, BlockIndex())},
      {L"Block_B", Tris({{0, 3, 10}, {0, 4, 10}, {-1, 3, 10}, {0, 3, 11}}, BlockIndex())},
      {kStift, Tris({{0, 0, 10}, {2, 0, 10}, {0, 2, 10}}, PinIndex())},
      {L"Block_C", Tris({{-7, 0, 0}, {-6, 0, 0}, {-7, 1, 0}, {-7, 0, 1}}, BlockIndex())},
  };
}

std::vector<WorldTri> Flatten(const std::map<std::wstring, std::vector<WorldTri>>& table) {
  std::vector<WorldTri> all;
  for (const auto& entry : table) all.insert(all.end(), entry.second.begin(), entry.second.end());
  std::sort(all.begin(), all.end());
  return all;
}

SoKRN_MainDoc* Import(const std::string& file, ImportStats* stats = nullptr) {
  std::string error;
  SoKRN_MainDoc* doc = ImportAssembly(file, error, stats);
  EXPECT_TRUE(doc) << error;
  EXPECT_TRUE(!doc || error.empty()) << error;
  return doc;
}

// Names, world triangles, prototype sharing and path resolution of the frame.
void ExpectFrame(SoKRN_MainDoc* doc) {
  const auto occurrences = Occurrences(doc);
  const auto table = FrameTable();
  ASSERT_EQ(occurrences.size(), table.size());
  std::map<std::wstring, const Occurrence*> byName;
  for (const auto& entry : occurrences) {
    const Occurrence& occ = entry.second;
    byName[occ.name] = &occ;
    auto expected = table.find(occ.name);
    ASSERT_NE(expected, table.end()) << "unexpected instance at " << occ.plcPath;
    EXPECT_EQ(occ.tris, expected->second) << "world triangles of " << occ.plcPath;
    // The placement path leads back to the instance that places the part.
    EXPECT_EQ(CGraphOperation::GetNodeByPlcPath(doc, occ.plcPath.c_str()), occ.instance)
        << occ.plcPath;
  }
  ASSERT_EQ(byName.size(), 4u);
  const Occurrence* a = byName[L"Block_A"];
  const Occurrence* b = byName[L"Block_B"];
  const Occurrence* c = byName[L"Block_C"];
  // One prototype, three instance kits, three placement paths.
  EXPECT_EQ(a->prototype, b->prototype);
  EXPECT_EQ(a->prototype, c->prototype);
  EXPECT_NE(a->prototype, byName[kStift]->prototype);
  EXPECT_EQ(std::set<SoKRN_ComponentKit*>({a->instance, b->instance, c->instance}).size(), 3u);
  EXPECT_EQ(std::set<std::string>({a->plcPath, b->plcPath, c->plcPath}).size(), 3u);
}

TEST(ImportGltf, MeshOfSeveralNodesIsOnePrototypePlacedAtDistinctPaths) {
  ImportStats stats;
  DocRef doc(Import(DataFile("import/instanced.gltf"), &stats));
  ASSERT_TRUE(doc);
  EXPECT_EQ(stats.instances, 5);   // Frame, Block_A, Block_B, Stift, Block_C
  EXPECT_EQ(stats.prototypes, 3);  // Frame (sub-assembly), Block, Pin
  EXPECT_EQ(stats.triangles, 5);
  EXPECT_EQ(stats.placedTriangles, 13);
  EXPECT_EQ(stats.degenerateTriangles, 0);
  ExpectFrame(doc.doc);

  // The tree: two roots in the file under a made-up root, named after the file.
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  EXPECT_EQ(Name(top), L"instanced.gltf");
  ASSERT_EQ(top->getNumEleChildren(), 2);
  auto* frame = static_cast<SoKRN_ComponentKit*>(top->getEleChild(0));
  EXPECT_EQ(Name(frame), L"Frame");
  ASSERT_TRUE(frame->getPrototype());
  EXPECT_EQ(frame->getPrototype()->componentType.getValue(), SoKRN_ComponentKit::ASSEMBLY);
  EXPECT_EQ(frame->getPrototype()->getNumEleChildren(), 3);
  EXPECT_EQ(Name(frame->getPrototype()->getEleChild(1)), L"Block_B");
  EXPECT_EQ(Name(static_cast<SoKRN_ComponentKit*>(frame->getPrototype()->getEleChild(1))
                     ->getPrototype()),
            L"Block");

  // Block_B's world matrix: Rz(90 deg), then T(0,3,0), then the frame's T(0,0,10).
  for (const auto& entry : Occurrences(doc.doc)) {
    if (entry.second.name != L"Block_B") continue;
    SbMatrix expected;
    expected.setTransform(SbVec3f(0, 3, 10), SbRotation(SbVec3f(0, 0, 1), float(M_PI / 2)),
                          SbVec3f(1, 1, 1));
    EXPECT_TRUE(entry.second.world.equals(expected, 1e-5f));
  }
}

// Each exchange format carries the same frame; instancing survives in all.
class ImportFormats : public ::testing::TestWithParam<const char*> {};

TEST_P(ImportFormats, GiveTheFrameWithItsInstancing) {
  ImportStats stats;
  DocRef doc(Import(DataFile(std::string("import/instanced.") + GetParam()), &stats));
  ASSERT_TRUE(doc);
  EXPECT_EQ(stats.instances, 5);
  EXPECT_EQ(stats.prototypes, 3);
  EXPECT_EQ(stats.triangles, 5);
  EXPECT_EQ(stats.placedTriangles, 13);
  ExpectFrame(doc.doc);
}

INSTANTIATE_TEST_SUITE_P(Files, ImportFormats, ::testing::Values("gltf", "glb", "dae", "fbx"));

TEST(Import3mf, ComponentsArePlacementsOfOnePrototype) {
  // Object "Frame" holds the block twice (at T(5,0,10) and at Rz(90 deg) then
  // T(0,3,10)); the build places the frame and the block at T(-7,0,0).
  ImportStats stats;
  DocRef doc(Import(DataFile("import/instanced.3mf"), &stats));
  ASSERT_TRUE(doc);
  EXPECT_EQ(stats.prototypes, 2);
  EXPECT_EQ(stats.instances, 4);
  auto table = FrameTable();
  table.erase(kStift);
  EXPECT_EQ(AllTriangles(doc.doc), Flatten(table));
  std::set<SoKRN_ComponentKit*> protos;
  for (const auto& entry : Occurrences(doc.doc)) protos.insert(entry.second.prototype);
  EXPECT_EQ(protos.size(), 1u);
}

TEST(ImportObj, EveryObjectIsOneInstanceOfItsOwnPart) {
  ImportStats stats;
  DocRef doc(Import(DataFile("import/three_objects.obj"), &stats));
  ASSERT_TRUE(doc);
  EXPECT_EQ(stats.instances, 3);
  EXPECT_EQ(stats.prototypes, 3);
  EXPECT_EQ(stats.triangles, 7);  // 4 + 1 + the quad's 2
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  EXPECT_EQ(Name(top), L"three_objects.obj");
  ASSERT_EQ(top->getNumEleChildren(), 3);
  const wchar_t* names[] = {L"Bolt", L"Nut", L"Washer"};
  const int triangles[] = {4, 1, 2};
  for (int i = 0; i < 3; ++i) {
    auto* inst = static_cast<SoKRN_ComponentKit*>(top->getEleChild(i));
    EXPECT_EQ(Name(inst), names[i]);
    EXPECT_EQ(vhost::CountTriangles(inst->getPrototype()), triangles[i]) << i;
  }
  // The quad (0,5,0) (1,5,0) (1,6,0) (0,6,0) is still the same surface.
  auto occurrences = Occurrences(doc.doc);
  for (const auto& entry : occurrences) {
    if (entry.second.name != L"Washer") continue;
    ASSERT_EQ(entry.second.tris.size(), 2u);
    std::set<Corner> corners;
    for (const auto& t : entry.second.tris) corners.insert(t.begin(), t.end());
    EXPECT_EQ(corners, std::set<Corner>({Snap({0, 5, 0}), Snap({1, 5, 0}), Snap({1, 6, 0}),
                                         Snap({0, 6, 0})}));
  }
}

TEST(ImportStl, AsciiAndBinaryGiveOneInstance) {
  const std::vector<WorldTri> plate = {Tri({0, 0, 0}, {1, 0, 0}, {0, 1, 0}),
                                       Tri({1, 0, 0}, {1, 1, 0}, {0, 1, 0})};
  auto sorted = plate;
  std::sort(sorted.begin(), sorted.end());

  ImportStats stats;
  DocRef ascii(Import(DataFile("import/plate.stl"), &stats));
  ASSERT_TRUE(ascii);
  EXPECT_EQ(stats.instances, 1);
  EXPECT_EQ(stats.prototypes, 1);
  EXPECT_EQ(AllTriangles(ascii.doc), sorted);
  EXPECT_EQ(Name(ascii->getTopPrototype()->getEleChild(0)), L"plate");  // the solid's name

  // The same plate as binary STL: 80-byte header, count, 50 bytes a facet.
  std::string bytes(80, ' ');
  auto put = [&bytes](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
  const uint32_t count = 2;
  put(&count, 4);
  const float facets[2][12] = {{0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0},
                               {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 0}};
  for (const auto& f : facets) {
    put(f, sizeof f);
    bytes.append(2, '\0');
  }
  TempDir dir;
  ImportStats binaryStats;
  DocRef binary(Import(dir.Write("plate_binary.stl", bytes), &binaryStats));
  ASSERT_TRUE(binary);
  EXPECT_EQ(binaryStats.instances, 1);
  EXPECT_EQ(AllTriangles(binary.doc), sorted);
}

TEST(ImportPly, TheRootsMeshIsOneInstance) {
  ImportStats stats;
  DocRef doc(Import(DataFile("import/triangle.ply"), &stats));
  ASSERT_TRUE(doc);
  EXPECT_EQ(stats.instances, 1);
  EXPECT_EQ(AllTriangles(doc.doc), Tris({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, PinIndex()));
}

TEST(ImportRoundTrip, OurOwnFileKeepsNamesPathsPlacementsAndSharing) {
  ImportStats first;
  DocRef doc(Import(DataFile("import/instanced.gltf"), &first));
  ASSERT_TRUE(doc);
  TempDir dir;
  const std::string file = dir.File("frame.iv");
  std::string error;
  ASSERT_TRUE(vhost::WriteDocument(doc.doc, file, error)) << error;

  ImportStats second;
  DocRef again(Import(file, &second));
  ASSERT_TRUE(again);
  EXPECT_EQ(second.instances, first.instances);
  EXPECT_EQ(second.prototypes, first.prototypes);
  EXPECT_EQ(second.triangles, first.triangles);
  EXPECT_EQ(second.placedTriangles, first.placedTriangles);
  EXPECT_EQ(Name(again->getTopPrototype()), L"instanced.gltf");

  const auto before = Occurrences(doc.doc);
  const auto after = Occurrences(again.doc);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& entry : before) {
    auto it = after.find(entry.first);
    ASSERT_NE(it, after.end()) << entry.first;
    EXPECT_EQ(it->second.name, entry.second.name);
    EXPECT_EQ(it->second.tris, entry.second.tris);
    EXPECT_TRUE(it->second.world.equals(entry.second.world, 1e-5f)) << entry.first;
  }
  ExpectFrame(again.doc);
}

}  // namespace
