// The clean-up kernel of imported meshes: plain arrays, no scene graph.
// (Non-finite vertices: the bad-file corpus, which names the first one.)
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tools/MeshCleanup.h"

namespace {

bool Degenerate(std::vector<float> xyz, int a = 0, int b = 1, int c = 2) {
  return meshcleanup::IsDegenerate(xyz.data(), a, b, c);
}

TEST(ImportMeshCleanup, DegenerateTrianglesByHandAndDroppingThem) {
  const std::vector<float> good = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  EXPECT_FALSE(Degenerate(good));
  // Repeated indices, whatever the corners; equal positions under different indices.
  EXPECT_TRUE(Degenerate(good, 0, 0, 1) && Degenerate(good, 0, 1, 1) && Degenerate(good, 2, 1, 2));
  EXPECT_TRUE(Degenerate({3, 3, 3, 3, 3, 3, 0, 1, 0}));
  EXPECT_TRUE(Degenerate({3, 3, 3, 3, 3, 3, 3, 3, 3}));
  // Collinear: exactly, and as floats that do not hold the line exactly.
  EXPECT_TRUE(Degenerate({0, 0, 0, 1, 1, 1, 2, 2, 2}));
  EXPECT_TRUE(Degenerate({0.1f, 0.2f, 0.3f, 0.2f, 0.4f, 0.6f, 0.3f, 0.6f, 0.9f}));
  // The rule is relative: tiny and huge well-shaped triangles stay.
  EXPECT_FALSE(Degenerate({0, 0, 0, 1e-6f, 0, 0, 0, 1e-6f, 0}));
  EXPECT_FALSE(Degenerate({0, 0, 0, 1e6f, 0, 0, 0, 1e6f, 0}));
  // A sliver: height 1e-5 of its length stays, 1e-8 of it goes.
  EXPECT_FALSE(Degenerate({0, 0, 0, 1, 0, 0, 0.5f, 1e-5f, 0}));
  EXPECT_TRUE(Degenerate({0, 0, 0, 1, 0, 0, 0.5f, 1e-8f, 0}));
  // Dropping keeps the order of the rest.
  const std::vector<float> xyz = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 0, 0, 1, 1, 0};
  // Good, repeated index, good, collinear on the x axis, good.
  std::vector<int> tris = {0, 1, 2, 0, 0, 2, 1, 4, 2, 0, 1, 3, 2, 4, 3}, none;
  EXPECT_EQ(meshcleanup::DropDegenerateTriangles(xyz, tris), 2u);
  EXPECT_EQ(tris, (std::vector<int>{0, 1, 2, 1, 4, 2, 2, 4, 3}));
  EXPECT_EQ(meshcleanup::DropDegenerateTriangles(xyz, none), 0u);
}

TEST(ImportMeshCleanup, CompactingKeepsEveryCornerWhereItWas) {
  std::mt19937 rng(11);
  std::vector<float> xyz(3 * 40);
  for (size_t i = 0; i < xyz.size(); ++i) xyz[i] = float(i);
  std::vector<int> tris(3 * 12);
  for (int& v : tris) v = std::uniform_int_distribution<int>(0, 39)(rng);
  auto corners = [](const std::vector<float>& p, const std::vector<int>& t) {
    std::vector<float> out;
    for (int v : t) out.insert(out.end(), &p[3 * v], &p[3 * v] + 3);
    return out;
  };
  std::vector<float> cxyz = xyz;
  std::vector<int> ctris = tris;
  meshcleanup::CompactVertices(cxyz, ctris);
  EXPECT_EQ(corners(cxyz, ctris), corners(xyz, tris));
  std::vector<bool> used(cxyz.size() / 3, false);
  for (int v : ctris) used[v] = true;
  for (size_t v = 0; v < used.size(); ++v) EXPECT_TRUE(used[v]) << v;
  // Kept vertices stay in their order (coordinates here grow with the index).
  for (size_t v = 1; v < cxyz.size() / 3; ++v) EXPECT_LT(cxyz[3 * (v - 1)], cxyz[3 * v]);
}

}  // namespace
