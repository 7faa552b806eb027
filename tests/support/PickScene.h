#pragma once
// Test parts with known feature edges, and a document of them seen from
// above through an orthographic camera, with picks driven as a viewer does
// (mouse press and release through SoHandleEventAction on an SoSelection).
#include <vector>

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SbViewportRegion.h>

#include "support/MeshGen.h"

class SoKRN_MainDoc;
class SoKRN_ComponentKit;
class SoOrthographicCamera;
class SoSelection;
class SoPath;

namespace picktest {

// A square plate (half side `a`, thickness `t`, z from 0 to t) with a round
// hole of radius `r` through its centre, the hole a regular `n`-gon; the
// outer ring holds a vertex at every hole angle (projected onto the square)
// and the four corners.
vxtest::Mesh PlateWithHole(float a, float t, float r, int n);
// A closed cylinder about the z axis, z from 0 to h, a regular n-gon.
vxtest::Mesh Cylinder(float r, float h, int n);
// The mesh as a triangle soup: three vertices of its own per triangle, and
// every other triangle wound the other way.
vxtest::Mesh Soup(const vxtest::Mesh& m);

// The scene of the picking tests, in world coordinates (or, given a
// document, that document):
//   plate 60 x 60 x 10, hole radius 6 (36-gon) at the origin, turned 30
//   degrees about z and moved by (2, 3, 0);
//   box [50, 70] x [-10, 10] x [0, 20];
//   cylinder radius 8 (36-gon), height 25, axis through (-55, 0).
// Camera: orthographic, looking down -z; clickAt aims it at the clicked point
// at 24 pixels per unit, so a pick's pixel rounding stays below 0.02 units.
struct Scene {
  explicit Scene(SoKRN_MainDoc* given = nullptr);  // takes over the given document's reference
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  vx::host::SoRef<SoKRN_MainDoc> doc;
  vx::host::SoRef<SoSelection> root;  // camera, then the document
  SoOrthographicCamera* camera = nullptr;
  SoKRN_ComponentKit *plate = nullptr, *box = nullptr, *cylinder = nullptr;  // instances
  SbMatrix plateMatrix;
  SbViewportRegion viewport{400, 240};

  // Mouse press and release where the world point `at` shows, the camera
  // aimed at it from above.
  void clickAt(const SbVec3f& at);
};

}  // namespace picktest
