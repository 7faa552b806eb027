// How node transforms and the node hierarchy become placements, checked on
// small glTF files written here. Expected world corners are derived by hand.

#include "host/DocumentBuilder.h"
#include "support/ImportSupport.h"

using namespace importtest;

namespace {

// tests/data/templates/meshes.gltf.in with the given nodes: mesh 0 "Block" (the
// tetrahedron (0,0,0) (1,0,0) (0,1,0) (0,0,1)), 1 "Pin" (the triangle
// (0,0,0) (1,0,0) (0,1,0)), 2 "Both" (the two as two primitives).
std::string Gltf(const std::string& nodes, const std::string& sceneNodes) {
  std::string text = ReadBytes(DataFile("templates/meshes.gltf.in"));
  text.replace(text.find("@SCENE_NODES@"), 13, sceneNodes);
  text.replace(text.find("@NODES@"), 7, nodes);
  return text;
}

struct Imported {
  TempDir dir;
  ImportStats stats;
  std::string error;
  SoKRN_MainDoc* doc = nullptr;
  Imported(const std::string& nodes, const std::string& sceneNodes) {
    doc = ImportAssembly(dir.Write("t.gltf", Gltf(nodes, sceneNodes)), error, &stats);
  }
  ~Imported() {
    if (doc) doc->unref();
  }
  std::map<std::wstring, Occurrence> ByName() const { return importtest::ByName(doc); }
};

TEST(ImportTransforms, TheRootsTransformGoesIntoEveryPlacementBelowIt) {
  // One root node: it is the top prototype, and has no placement of its own.
  Imported file(R"({"name": "Base", "mesh": 1, "translation": [1, 2, 3], "children": [1]},
                  {"name": "Arm", "mesh": 1, "translation": [0, 0, 5]})",
                "[0]");
  ASSERT_TRUE(file.doc) << file.error;
  EXPECT_EQ(Name(file.doc->getTopPrototype()), L"Base");
  EXPECT_EQ(file.stats.instances, 2);   // the root's own mesh, Arm
  EXPECT_EQ(file.stats.prototypes, 1);  // both place Pin
  const auto occ = file.ByName();
  ASSERT_EQ(occ.size(), 2u);
  EXPECT_EQ(occ.at(L"Base").tris, Tris({{1, 2, 3}, {2, 2, 3}, {1, 3, 3}}));
  EXPECT_EQ(occ.at(L"Arm").tris, Tris({{1, 2, 8}, {2, 2, 8}, {1, 3, 8}}));
}

// Nodes without triangles below them, or scaled to zero, are left out.
TEST(ImportTransforms, ANodeWithChildrenIsASubAssemblyHoldingItsOwnMeshes) {
  Imported file(R"({"name": "Housing", "mesh": 0, "translation": [10, 0, 0], "children": [1]},
                  {"name": "Lid", "mesh": 1, "translation": [0, 0, 1]},
                  {"name": "Marker"},
                  {"name": "EmptyGroup", "children": [4]},
                  {"name": "EmptyLeaf"},
                  {"name": "Hidden", "mesh": 0, "scale": [0, 0, 0]},
                  {"name": "HiddenGroup", "scale": [1, 0, 1], "children": [7]},
                  {"name": "UnderHidden", "mesh": 1})",
                "[0, 2, 3, 5, 6]");
  ASSERT_TRUE(file.doc) << file.error;
  EXPECT_EQ(file.stats.collapsedNodes, 2);
  SoKRN_ComponentKit* top = file.doc->getTopPrototype();
  ASSERT_EQ(top->getNumEleChildren(), 1);
  auto* housing = static_cast<SoKRN_ComponentKit*>(top->getEleChild(0));
  EXPECT_EQ(Name(housing), L"Housing");
  SoKRN_ComponentKit* assembly = housing->getPrototype();
  EXPECT_EQ(assembly->componentType.getValue(), SoKRN_ComponentKit::ASSEMBLY);
  EXPECT_EQ(vx::host::CountTriangles(assembly), 0);  // its mesh is a part placed inside
  ASSERT_EQ(assembly->getNumEleChildren(), 2);
  EXPECT_EQ(Name(assembly->getEleChild(0)), L"Block");  // the own-mesh instance
  EXPECT_EQ(Name(assembly->getEleChild(1)), L"Lid");
  EXPECT_EQ(file.stats.instances, 3);
  EXPECT_EQ(file.stats.prototypes, 3);

  const auto occ = file.ByName();
  ASSERT_EQ(occ.size(), 2u);
  EXPECT_EQ(occ.at(L"Block").tris, Tris({{10, 0, 0}, {11, 0, 0}, {10, 1, 0}, {10, 0, 1}}));
  EXPECT_EQ(occ.at(L"Lid").tris, Tris({{10, 0, 1}, {11, 0, 1}, {10, 1, 1}}));
}

TEST(ImportTransforms, NodesWithTheSameMeshesShareOneMergedPrototype) {
  // "Both" is one glTF mesh of two primitives: two meshes for assimp.
  Imported file(R"({"name": "P", "mesh": 2},
                  {"name": "Q", "mesh": 2, "translation": [0, 0, 4]},
                  {"name": "R", "mesh": 0})",
                "[0, 1, 2]");
  ASSERT_TRUE(file.doc) << file.error;
  EXPECT_EQ(file.stats.prototypes, 2);
  const auto occ = file.ByName();
  ASSERT_EQ(occ.size(), 3u);
  EXPECT_EQ(occ.at(L"P").prototype, occ.at(L"Q").prototype);
  EXPECT_NE(occ.at(L"P").prototype, occ.at(L"R").prototype);
  EXPECT_EQ(vx::host::CountTriangles(occ.at(L"P").prototype), 5);
  EXPECT_EQ(occ.at(L"Q").tris.size(), 5u);
  EXPECT_EQ(file.stats.placedTriangles, 14);
}

// Rotation, stretch and mirror are exact placements; shear is moved into
// the geometry (leaves) or the children (groups).
TEST(ImportTransforms, ShearIsMovedIntoGeometryOrChildrenTheRestArePlacements) {
  // Column-major matrix: x' = x + 0.5 y + 2 (leaf), x' = x + 0.5 y (group).
  const std::string s = std::to_string(std::sqrt(0.5));
  Imported file(R"({"name": "Skew", "mesh": 0, "matrix": [1,0,0,0, 0.5,1,0,0, 0,0,1,0, 2,0,0,1]},
                  {"name": "SkewFrame", "matrix": [1,0,0,0, 0.5,1,0,0, 0,0,1,0, 0,0,0,1],
                   "children": [2]},
                  {"name": "Inner", "mesh": 0, "translation": [0, 1, 0]},
                  {"name": "Plain", "mesh": 0, "translation": [0, 0, 7]},
                  {"name": "Stretched", "mesh": 0, "scale": [2, 1, 1], "rotation": [0, 0, )" +
                    s + ", " + s + R"(]},
                  {"name": "Left", "mesh": 0, "scale": [-1, 1, 1], "translation": [0, 0, 2]})",
                "[0, 1, 3, 4, 5]");
  ASSERT_TRUE(file.doc) << file.error;
  // Skew, SkewFrame, and Inner, which receives the frame's residual.
  EXPECT_EQ(file.stats.shearedPlacements, 3);
  const auto occ = file.ByName();
  EXPECT_EQ(occ.at(L"Skew").tris, Tris({{2, 0, 0}, {3, 0, 0}, {2.5f, 1, 0}, {2, 0, 1}}));
  // Inner: (x, y + 1, z), then the frame's shear.
  EXPECT_EQ(occ.at(L"Inner").tris, Tris({{0.5f, 1, 0}, {1.5f, 1, 0}, {1, 2, 0}, {0.5f, 1, 1}}));
  EXPECT_EQ(occ.at(L"Plain").tris, Tris({{0, 0, 7}, {1, 0, 7}, {0, 1, 7}, {0, 0, 8}}));
  // glTF applies scale, then rotation: (x, y, z) -> (2x, y, z) -> Rz(90): (-y, 2x, z).
  EXPECT_EQ(occ.at(L"Stretched").tris, Tris({{0, 0, 0}, {0, 2, 0}, {-1, 0, 0}, {0, 0, 1}}));
  // Corners mirrored in x, in their own order: the winding turns in the world.
  EXPECT_EQ(occ.at(L"Left").tris, Tris({{0, 0, 2}, {-1, 0, 2}, {0, 1, 2}, {0, 0, 3}}));
  // Sheared leaves have their own copies; the others still share the block.
  EXPECT_NE(occ.at(L"Skew").prototype, occ.at(L"Plain").prototype);
  EXPECT_NE(occ.at(L"Inner").prototype, occ.at(L"Plain").prototype);
  EXPECT_EQ(occ.at(L"Left").prototype, occ.at(L"Plain").prototype);
  EXPECT_EQ(occ.at(L"Stretched").prototype, occ.at(L"Plain").prototype);
  EXPECT_EQ(file.stats.prototypes, 4);  // SkewFrame, Block, the copies of Skew and Inner
}

// A chain of `levels` nested nodes below the root, the last with a mesh.
std::string Chain(int levels) {
  std::string nodes;
  for (int i = 0; i <= levels; ++i) {
    if (i) nodes += ",\n";
    nodes += "{\"name\": \"L" + std::to_string(i) + "\"" +
             (i < levels ? ", \"children\": [" + std::to_string(i + 1) + "]" : ", \"mesh\": 1") +
             ", \"translation\": [0, 0, 1]}";
  }
  return nodes;
}

TEST(ImportTransforms, HierarchiesUpToTheDepthLimitLoad) {
  Imported deepest(Chain(200), "[0]");
  ASSERT_TRUE(deepest.doc) << deepest.error;
  const auto occ = Occurrences(deepest.doc);
  ASSERT_EQ(occ.size(), 1u);
  // 200 placements of T(0,0,1) below the root's own T(0,0,1).
  EXPECT_EQ(occ.begin()->second.tris, Tris({{0, 0, 201}, {1, 0, 201}, {0, 1, 201}}));

  Imported tooDeep(Chain(201), "[0]");
  EXPECT_FALSE(tooDeep.doc);
  EXPECT_NE(tooDeep.error.find("deeper than 200 levels"), std::string::npos) << tooDeep.error;
}

}  // namespace
