#pragma once
// Closed, outward-wound test meshes and small helpers for building
// assemblies in tests. Vertices are 3 floats each, triangles 3 indices each.
#include <string>
#include <vector>

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SoFullPath.h>

#include "host/SoRef.h"

class SoKRN_MainDoc;

namespace vxtest {

struct Mesh {
  std::vector<float> xyz;
  std::vector<int> tris;
  int numTriangles() const { return static_cast<int>(tris.size() / 3); }
};

// Axis-aligned box from lo to hi, each face split into n x n quads.
Mesh Box(const SbVec3f& lo, const SbVec3f& hi, int n = 1);
// UV sphere about `center`.
Mesh Sphere(const SbVec3f& center, float radius, int slices, int stacks);

// A document of one part, `mesh`, translated to each of `places`, written to
// `file`; a failed write fails the calling test.
void WritePlacedParts(const std::string& file, const Mesh& mesh, const std::vector<SbVec3f>& places);

// The path from the document to the instance at relative placement path
// `rel` (e.g. "1|2"), referenced once; null when it does not resolve.
SoFullPath* PathTo(SoKRN_MainDoc* doc, const std::string& rel);

// The path from the document down to its top prototype, referenced once.
SoFullPath* RootPath(SoKRN_MainDoc* doc);

// World-space triangles (9 floats each) of every face set below `path`.
std::vector<float> WorldTriangles(SoFullPath* path);

// Takes over the reference of a path handed out referenced (PathTo, RootPath).
struct PathHolder : vx::host::SoRef<SoFullPath> {
  explicit PathHolder(SoFullPath* referenced = nullptr) : SoRef(adopt(referenced)) {}
};

}  // namespace vxtest
