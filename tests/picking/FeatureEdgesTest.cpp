// Feature edges on flat arrays: what each test part's edges must fit to
// (counts per kind, exact circles), the same on a triangle soup with mixed
// winding, and bad input that must not stop the rest.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "host/FeatureEdges.h"
#include "support/PickScene.h"

namespace {

using vx::host::FeatureCurve;

constexpr double kPi = 3.141592653589793;

// Curves per kind: lines, arcs, circles.
std::array<int, 3> Count(const std::vector<FeatureCurve>& curves) {
  std::array<int, 3> n{};
  for (const auto& k : curves) ++n.at(k.kind);
  return n;
}

// A flat half disc fanned from its centre: one arc and one line.
vxtest::Mesh HalfDisc(float r, int n) {
  vxtest::Mesh m;
  m.xyz = {0, 0, 0};
  for (int i = 0; i <= n; ++i) {
    const double th = kPi * i / n;
    m.xyz.insert(m.xyz.end(), {float(r * std::cos(th)), float(r * std::sin(th)), 0.0f});
    if (i > 0) m.tris.insert(m.tris.end(), {0, i, i + 1});
  }
  return m;
}

TEST(FeatureEdges, PartsFitTheirLinesAndCircles) {
  struct Case {
    std::string name;
    vxtest::Mesh mesh;
    int lines, arcs, circles;
    double radius;  // of every arc and circle
  };
  const vxtest::Mesh plate = picktest::PlateWithHole(30, 10, 6, 36);
  const Case cases[] = {
      {"box", vxtest::Box(SbVec3f(-10, -10, 0), SbVec3f(10, 10, 20)), 12, 0, 0, 0},
      // Faces split into 3 x 3 quads: the collinear pieces join.
      {"box 3x3", vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(1, 2, 3), 3), 12, 0, 0, 0},
      // Top and bottom outline (merged over the ring vertices on each side),
      // the four vertical corners, the hole's two rims.
      {"plate", plate, 12, 0, 2, 6},
      {"plate soup", picktest::Soup(plate), 12, 0, 2, 6},
      {"cylinder", picktest::Cylinder(8, 25, 36), 0, 0, 2, 8},
      {"sphere", vxtest::Sphere(SbVec3f(1, 2, 3), 5, 24, 12), 0, 0, 0, 0},
      {"half disc", HalfDisc(4, 12), 1, 1, 0, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto curves = vx::host::FindFeatureCurves(c.mesh.xyz, c.mesh.tris);
    EXPECT_EQ(Count(curves), (std::array<int, 3>{c.lines, c.arcs, c.circles}));
    for (const FeatureCurve& k : curves) {
      // Every point of every curve lies on what it was fitted to.
      for (int v : k.points) {
        const double p[3] = {c.mesh.xyz[3 * v], c.mesh.xyz[3 * v + 1], c.mesh.xyz[3 * v + 2]};
        if (k.kind == FeatureCurve::LINE) continue;
        const double d[3] = {p[0] - k.centre[0], p[1] - k.centre[1], p[2] - k.centre[2]};
        EXPECT_NEAR(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), c.radius, 1e-5);
        EXPECT_NEAR(d[0] * k.axis[0] + d[1] * k.axis[1] + d[2] * k.axis[2], 0.0, 1e-5);
      }
      if (k.kind == FeatureCurve::CIRCLE) {
        EXPECT_EQ(k.points.size(), 36u);
        // Centred on the z axis (hole and cylinder alike), axis along z.
        EXPECT_NEAR(k.centre[0], 0.0, 1e-5);
        EXPECT_NEAR(k.centre[1], 0.0, 1e-5);
        EXPECT_NEAR(std::fabs(k.axis[2]), 1.0, 1e-9);
      }
    }
  }
}

TEST(FeatureEdges, BadTrianglesAreSkippedNotFatal) {
  vxtest::Mesh m = vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
  const int nv = static_cast<int>(m.xyz.size() / 3);
  m.xyz.insert(m.xyz.end(), {std::numeric_limits<float>::quiet_NaN(), 0, 0, 5, 5, 5, 6, 6, 6});
  // Out of range, negative, a non-finite corner, a repeated corner: all dropped.
  m.tris.insert(m.tris.end(), {0, 1, nv + 7, -1, 0, 1, nv, 0, 1, nv + 1, nv + 1, nv + 2});
  EXPECT_EQ(Count(vx::host::FindFeatureCurves(m.xyz, m.tris)), (std::array<int, 3>{12, 0, 0}));
  EXPECT_TRUE(vx::host::FindFeatureCurves({}, {}).empty());
  EXPECT_TRUE(vx::host::FindFeatureCurves({1, 2, 3}, {0, 0, 0}).empty());
}

}  // namespace
