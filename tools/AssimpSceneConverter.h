#pragma once
// Turns a scene read by assimp into an assembly (ImportedAssembly.h, from
// which the document is built): the node hierarchy becomes the assembly
// tree, meshes become part prototypes, node transforms become placements.
// No kit is made here, so that the conversion can run in a child process.
//
// Mapping (assimp matrices are column-vector, Coin's row-vector: transposed):
// - The root node is the document's top prototype. Its transform has no
//   placement of its own to go to, so it is folded into the placements of
//   its children and of its own meshes.
// - A node with children is a sub-assembly: an assembly prototype placed once
//   in its parent, named after the node. Its own meshes, if any, are one more
//   instance inside it, at identity.
// - A node without children places the part prototype of its meshes. Nodes
//   with the same set of meshes place the same prototype, so instancing in
//   the file stays instancing in the document. Several meshes of one node
//   are merged into one body of one prototype.
// - Instances are named after their nodes (UTF-8 to wide text); a node
//   without a name leaves the prototype's name. Prototypes are named after
//   their mesh when it is one named mesh, else after the first node placing
//   them. The top prototype keeps the root's name unless the reader made it
//   up ("ROOT", "<STL_BINARY>", ...), then it is named after the file.
// - Faces that are not triangles after triangulation (points, lines) and
//   degenerate triangles (see MeshCleanup.h) are dropped and counted; a mesh
//   left without triangles is dropped and counted. Nodes without any triangle
//   below them, and nodes whose transform is singular (scale 0: a common way
//   of hiding), are left out with their subtrees.
// - A placement holds translation, rotation and scale only. A node transform
//   with shear (or a non-uniform scale along rotated axes) is split into its
//   placement and a residual that is moved down: into the children's
//   transforms, or into the geometry of a leaf's own copy of its part (which
//   then is not shared). The geometry ends up where the file puts it.
// Units are kept as in the file.
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include <Inventor/SbMatrix.h>

#include "tools/ImportedAssembly.h"

struct aiScene;
struct aiNode;

class AssimpSceneConverter {
public:
  // The deepest node hierarchy accepted (placement paths stay well within
  // their 1023 characters).
  static constexpr int kMaxDepth = 200;

  // Checks what assimp's own validation leaves open: a root node, mesh
  // references in range, every node reached once, depth at most kMaxDepth,
  // finite vertex coordinates of the meshes the nodes use and finite node
  // transforms. Run it on the scene as read, before post-processing (joining
  // identical vertices merges NaN vertices with others). False with a
  // one-line message "<label>: <reason>" naming the mesh or node.
  static bool CheckScene(const aiScene& scene, const std::string& label, std::string& error);

  // `scene` must have passed CheckScene (and may have been post-processed
  // since, with triangulation) and outlive the converter. `label` names the
  // file in messages; `fileName` names the top prototype when the root has
  // no name of its own.
  AssimpSceneConverter(const aiScene& scene, std::string label, std::string fileName);
  ~AssimpSceneConverter();
  AssimpSceneConverter(const AssimpSceneConverter&) = delete;
  AssimpSceneConverter& operator=(const AssimpSceneConverter&) = delete;

  // COLLADA: assimp's reader multiplies the root by the file's <unit> (to
  // metres) and has no switch to leave it. A visual scene has no transform
  // of its own, so with this set a root transform that is a pure uniform
  // scale is taken for that conversion and dropped: units stay the file's.
  void SetDropRootUnitScale(bool drop) { m_dropRootUnitScale = drop; }

  // Converts the scene into `out` (counts in out.stats); false with a
  // one-line message, e.g. when no triangle is left. Call once.
  bool Build(ImportedAssembly& out, std::string& error);

private:
  struct CleanMesh {
    bool prepared = false;
    std::vector<float> xyz;
    std::vector<int> tris;
  };
  struct Part {
    std::int32_t proto = -1;  // index into the assembly's prototypes
    int triangles = 0;
  };

  const CleanMesh& Prepare(unsigned meshIndex);
  bool HasTriangles(const aiNode* node);
  bool HasOwnTriangles(const aiNode* node);
  // The part of `node`'s own meshes, with `residual` (row-vector form)
  // applied to its vertices; shared between nodes when `residual` is identity.
  Part PartFor(const aiNode* node, const SbMatrix* residual);
  // Places what `node` holds into `parent`, with `prefix` (row-vector form)
  // applied before the node's own transform.
  void PlaceNode(const aiNode* node, std::int32_t parent, const SbMatrix& prefix);
  void PlaceOwnMeshes(const aiNode* node, std::int32_t parent, const SbMatrix& local, const std::wstring& name);
  // A new prototype (counted), its index.
  std::int32_t NewPrototype(bool assembly, const std::wstring& name);
  // Places `proto` into `parent` (ImportedAssembly::kTop or an assembly's index), counted.
  void Place(std::int32_t parent, std::int32_t proto, const SbMatrix& m, const std::wstring& name);
  // Splits `m` into a placement the host stores exactly and a residual with
  // m = residual * placement; false when the residual is the identity.
  static bool SplitPlacement(const SbMatrix& m, SbMatrix& placement, SbMatrix& residual);
  std::wstring NodeName(const aiNode* node) const;

  const aiScene& m_scene;
  std::string m_label;
  std::string m_fileName;
  bool m_dropRootUnitScale = false;
  ImportedAssembly* m_out = nullptr;
  ImportStats m_stats;
  std::vector<CleanMesh> m_meshes;
  std::map<std::vector<unsigned>, Part> m_parts;  // by sorted mesh set
  std::unordered_map<const aiNode*, bool> m_hasTriangles;
};
