#pragma once
// Assemblies for collision tests and a brute-force reference.
#include <atomic>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <Inventor/SbRotation.h>

#include "support/MeshGen.h"

class CCollisionManager;
class SoKRN_MainDoc;
class SoKRN_ComponentKit;
class SoPathList;

namespace vxtest {

// A document whose top prototype holds leaf instances placed from a few
// prototypes; instance k has placement id k + 1.
struct FlatAssembly {
  vx::host::SoRef<SoKRN_MainDoc> doc;
  std::vector<SoKRN_ComponentKit*> protos;
  int count = 0;
  ~FlatAssembly();
  // Places prototype `proto` with translation t; returns the relative path.
  std::string Place(int proto, const SbVec3f& t, const SbRotation& r = SbRotation::identity());
  // Paths of instances [first, last) (doc-rooted copies, referenced by the list).
  void Paths(int first, int last, SoPathList& out) const;
};

FlatAssembly* NewFlatAssembly(const std::vector<Mesh>& protos);

// Unordered instance pairs (placement paths of the two tested paths) of the
// manager's results.
std::set<std::pair<std::string, std::string>> ResultPairs(CCollisionManager& m);

// Brute force: every pair of instances among `paths` whose world triangles
// come within `eps` of each other (every triangle pair tested directly).
std::set<std::pair<std::string, std::string>> BruteForcePairs(const std::vector<SoFullPath*>& paths, float eps);

// The reference volume of two placed instances: CGAL's corefinement of their
// world meshes (float coordinates welded exactly, as the run sees them); -1
// when CGAL refuses the meshes.
double CorefinedVolume(SoFullPath* a, SoFullPath* b);

// Runs the manager on its worker and waits for the end of the run.
void RunAndWait(CCollisionManager& m);

// Records the messages shown through the platform layer while alive.
class MessageRecorder {
public:
  MessageRecorder();
  ~MessageRecorder();
  std::vector<std::wstring> messages;
};

}  // namespace vxtest
