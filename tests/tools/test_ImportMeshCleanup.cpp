// The clean-up kernel of imported meshes: plain arrays, no scene graph.
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tools/MeshCleanup.h"

namespace {

using meshcleanup::IsDegenerate;

bool Degenerate(std::vector<float> xyz, int a = 0, int b = 1, int c = 2) {
  return IsDegenerate(xyz.data(), a, b, c);
}

TEST(ImportMeshCleanup, DegenerateTrianglesByHand) {
  const std::vector<float> good = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  EXPECT_FALSE(Degenerate(good));
  // Repeated indices, whatever the corners.
  EXPECT_TRUE(Degenerate(good, 0, 0, 1));
  EXPECT_TRUE(Degenerate(good, 0, 1, 1));
  EXPECT_TRUE(Degenerate(good, 2, 1, 2));
  // Equal positions under different indices.
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
}

TEST(ImportMeshCleanup, DroppingKeepsTheOrderOfTheRest) {
  const std::vector<float> xyz = {0, 0, 0, 1, 0, 0, 0, 1, 0, 2, 0, 0, 1, 1, 0};
  std::vector<int> tris = {0, 1, 2,   // good
                           0, 0, 2,   // repeated index
                           1, 4, 2,   // good
                           0, 1, 3,   // collinear on the x axis
                           2, 4, 3};  // good
  EXPECT_EQ(meshcleanup::DropDegenerateTriangles(xyz, tris), 2u);
  EXPECT_EQ(tris, (std::vector<int>{0, 1, 2, 1, 4, 2, 2, 4, 3}));
  std::vector<int> none;
  EXPECT_EQ(meshcleanup::DropDegenerateTriangles(xyz, none), 0u);
}

TEST(ImportMeshCleanup, CompactingKeepsEveryCornerWhereItWas) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> pick(0, 39);
  std::vector<float> xyz(3 * 40);
  for (size_t i = 0; i < xyz.size(); ++i) xyz[i] = float(i);
  std::vector<int> tris;
  for (int i = 0; i < 3 * 12; ++i) tris.push_back(pick(rng));
  std::vector<float> before;
  for (int v : tris) before.insert(before.end(), &xyz[3 * v], &xyz[3 * v] + 3);

  std::vector<float> cxyz = xyz;
  std::vector<int> ctris = tris;
  meshcleanup::CompactVertices(cxyz, ctris);
  std::vector<float> after;
  for (int v : ctris) after.insert(after.end(), &cxyz[3 * v], &cxyz[3 * v] + 3);
  EXPECT_EQ(after, before);
  std::vector<bool> used(cxyz.size() / 3, false);
  for (int v : ctris) used[v] = true;
  for (size_t v = 0; v < used.size(); ++v) EXPECT_TRUE(used[v]) << v;
  // Kept vertices stay in their order (coordinates here grow with the index).
  for (size_t v = 1; v < cxyz.size() / 3; ++v) EXPECT_LT(cxyz[3 * (v - 1)], cxyz[3 * v]);
}

TEST(ImportMeshCleanup, FirstNonFiniteVertex) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> fine = {0, 0, 0, 1e30f, -1e30f, 0};
  EXPECT_EQ(meshcleanup::FirstNonFiniteVertex(fine.data(), 2), -1);
  EXPECT_EQ(meshcleanup::FirstNonFiniteVertex(nullptr, 0), -1);
  const std::vector<float> bad = {0, 0, 0, 1, 2, 3, 0, nan, 0, -inf, 0, 0};
  EXPECT_EQ(meshcleanup::FirstNonFiniteVertex(bad.data(), 4), 2);
  EXPECT_EQ(meshcleanup::FirstNonFiniteVertex(bad.data() + 9, 1), 0);
  EXPECT_EQ(meshcleanup::FirstNonFiniteVertex(bad.data(), 2), -1);
}

}  // namespace
