#include "tools/AssimpSceneConverter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <unordered_set>
#include <utility>

#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>
#include <assimp/scene.h>

#include "graphops/CGraphOperation.h"
#include "tools/MeshCleanup.h"

namespace {

std::string Text(const aiString& s) { return std::string(s.data, s.length); }

// assimp: column vectors, translation in the last column. Coin: row vectors,
// translation in the last row. The same transform is the transpose.
SbMatrix ToRowVectorForm(const aiMatrix4x4& a) {
  return SbMatrix(a.a1, a.b1, a.c1, a.d1, a.a2, a.b2, a.c2, a.d2, a.a3, a.b3, a.c3, a.d3, a.a4, a.b4, a.c4, a.d4);
}

bool IsFinite(const aiMatrix4x4& a) {
  for (unsigned r = 0; r < 4; ++r)
    for (unsigned c = 0; c < 4; ++c)
      if (!std::isfinite(a[r][c])) return false;
  return true;
}

// True when the linear part of `m` squashes space flat (to float precision
// of its own rows): such a node shows nothing.
bool IsSingular(const SbMatrix& m) {
  double rows = 1.0;
  for (int i = 0; i < 3; ++i)
    rows *= std::sqrt(double(m[i][0]) * m[i][0] + double(m[i][1]) * m[i][1] + double(m[i][2]) * m[i][2]);
  return rows == 0.0 || std::fabs(double(m.det3())) <= 1e-9 * rows;
}

// `mesh "Bolt"`, or `mesh #3` for a mesh without a name.
std::string MeshLabel(const aiScene& scene, unsigned index) {
  const std::string name = Text(scene.mMeshes[index]->mName);
  if (!name.empty()) return "mesh \"" + name + "\"";
  return "mesh #" + std::to_string(index);
}

// `node "Frame"`, or `an unnamed node`.
std::string NodeLabel(const aiNode* node) {
  const std::string name = Text(node->mName);
  return name.empty() ? std::string("an unnamed node") : "node \"" + name + "\"";
}

bool IsUniformScale(const aiMatrix4x4& a) {
  return a.a2 == 0 && a.a3 == 0 && a.a4 == 0 && a.b1 == 0 && a.b3 == 0 && a.b4 == 0 && a.c1 == 0 && a.c2 == 0 &&
         a.c4 == 0 && a.d1 == 0 && a.d2 == 0 && a.d3 == 0 && a.d4 == 1 && a.a1 == a.b2 && a.b2 == a.c3 && a.a1 > 0;
}

// Names assimp's readers make up for a root the file does not have.
bool IsMadeUpRootName(const std::string& name) {
  return name.empty() || name == "ROOT" || name == "RootNode" || name == "3MF" || name[0] == '<' || name[0] == '$';
}

}  // namespace

namespace {

// The node hierarchy: no node twice, not deeper than kMaxDepth, finite
// transforms, lists and mesh references present. `firstUser`: per mesh, the
// first node (in file order) that places it, null for meshes never placed.
bool CheckHierarchy(const aiScene& scene, const std::string& label, std::vector<const aiNode*>& firstUser,
                    std::string& error) {
  // Walk the hierarchy without recursion (the depth is what is checked).
  std::vector<std::pair<const aiNode*, int>> stack{{scene.mRootNode, 0}};
  std::unordered_set<const aiNode*> seen;
  firstUser.assign(scene.mNumMeshes, nullptr);
  while (!stack.empty()) {
    const aiNode* node = stack.back().first;
    const int depth = stack.back().second;
    stack.pop_back();
    const std::string where = NodeLabel(node);
    if (!seen.insert(node).second) {
      error = label + ": " + where + " appears twice in the node hierarchy";
      return false;
    }
    if (depth > AssimpSceneConverter::kMaxDepth) {
      error = label + ": node hierarchy deeper than " + std::to_string(AssimpSceneConverter::kMaxDepth) + " levels";
      return false;
    }
    if (!IsFinite(node->mTransformation)) {
      error = label + ": " + where + " has a non-finite transform";
      return false;
    }
    if (node->mNumMeshes > 0 && !node->mMeshes) {
      error = label + ": " + where + " has a missing mesh list";
      return false;
    }
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
      const unsigned m = node->mMeshes[i];
      if (m >= scene.mNumMeshes || !scene.mMeshes[m]) {
        error = label + ": " + where + " refers to mesh #" + std::to_string(m) + ", which is missing";
        return false;
      }
      if (!firstUser[m]) firstUser[m] = node;
    }
    if (node->mNumChildren > 0 && !node->mChildren) {
      error = label + ": " + where + " has a missing child list";
      return false;
    }
    // Children pushed last to first: nodes are met in file order, so a bad
    // mesh is reported with the first node that uses it.
    for (unsigned i = node->mNumChildren; i-- > 0;) {
      if (!node->mChildren[i]) {
        error = label + ": " + where + " has a missing child";
        return false;
      }
      stack.emplace_back(node->mChildren[i], depth + 1);
    }
  }
  return true;
}

// Mesh `m`, placed first by `firstUser`: vertex count, lists present, faces
// with corners in range, finite positions.
bool CheckMesh(const aiScene& scene, unsigned m, const aiNode* firstUser, const std::string& label,
               std::string& error) {
  const aiMesh* mesh = scene.mMeshes[m];
  std::string where = MeshLabel(scene, m);
  if (firstUser->mName.length > 0) where += " (" + NodeLabel(firstUser) + ")";
  if (mesh->mNumVertices > static_cast<unsigned>(INT_MAX / 3)) {
    error = label + ": " + where + " has too many vertices";
    return false;
  }
  if (mesh->mNumVertices > 0 && !mesh->mVertices) {
    error = label + ": " + where + " has no vertex positions";
    return false;
  }
  if (mesh->mNumFaces > 0 && !mesh->mFaces) {
    error = label + ": " + where + " has a missing face list";
    return false;
  }
  // assimp's validation lets a face without corners through (a PLY face
  // whose corner count is 0 gives one), and triangulation then aborts.
  for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
    const aiFace& face = mesh->mFaces[f];
    bool ok = face.mNumIndices > 0 && face.mIndices;
    for (unsigned k = 0; ok && k < face.mNumIndices; ++k) ok = face.mIndices[k] < mesh->mNumVertices;
    if (!ok) {
      error = label + ": " + where + " has a broken face (#" + std::to_string(f) +
              ": no corners, or a corner out of range)";
      return false;
    }
  }
  static_assert(sizeof(aiVector3D) == 3 * sizeof(float), "positions must be packed floats");
  const long bad =
      meshcleanup::FirstNonFiniteVertex(mesh->mNumVertices ? &mesh->mVertices[0].x : nullptr, mesh->mNumVertices);
  if (bad >= 0) {
    const aiVector3D& v = mesh->mVertices[bad];
    char coords[96];
    std::snprintf(coords, sizeof coords, "%g %g %g", double(v.x), double(v.y), double(v.z));
    error = label + ": " + where + " has a non-finite coordinate (vertex " + std::to_string(bad) + ": " + coords + ")";
    return false;
  }
  return true;
}

}  // namespace

bool AssimpSceneConverter::CheckScene(const aiScene& scene, const std::string& label, std::string& error) {
  if (!scene.mRootNode) {
    error = label + ": the file holds no scene";
    return false;
  }
  if (scene.mNumMeshes > 0 && !scene.mMeshes) {
    error = label + ": the scene's mesh list is missing";
    return false;
  }
  std::vector<const aiNode*> firstUser;
  if (!CheckHierarchy(scene, label, firstUser, error)) return false;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    // A mesh not placed anywhere is never read.
    if (firstUser[m] && !CheckMesh(scene, m, firstUser[m], label, error)) return false;
  }
  return true;
}

AssimpSceneConverter::AssimpSceneConverter(const aiScene& scene, std::string label, std::string fileName)
    : m_scene(scene), m_label(std::move(label)), m_fileName(std::move(fileName)) {}

AssimpSceneConverter::~AssimpSceneConverter() = default;

std::int32_t AssimpSceneConverter::NewPrototype(bool assembly, const std::wstring& name) {
  ImportedAssembly::Prototype proto;
  proto.assembly = assembly;
  proto.name = name;
  m_out->prototypes.push_back(std::move(proto));
  ++m_stats.prototypes;
  return static_cast<std::int32_t>(m_out->prototypes.size() - 1);
}

void AssimpSceneConverter::Place(std::int32_t parent, std::int32_t proto, const SbMatrix& m, const std::wstring& name) {
  ImportedAssembly::Placement placement;
  placement.created = static_cast<std::uint32_t>(m_out->prototypes.size());
  placement.parent = parent;
  placement.prototype = static_cast<std::uint32_t>(proto);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) placement.matrix[4 * i + j] = m[i][j];
  placement.name = name;
  m_out->placements.push_back(std::move(placement));
  ++m_stats.instances;
}

std::wstring AssimpSceneConverter::NodeName(const aiNode* node) const {
  return CGraphOperation::StringToWString(Text(node->mName));
}

bool AssimpSceneConverter::Build(ImportedAssembly& out, std::string& error) {
  out = ImportedAssembly();
  m_out = &out;
  m_meshes.assign(m_scene.mNumMeshes, CleanMesh());

  const aiNode* root = m_scene.mRootNode;
  const std::int32_t top = ImportedAssembly::kTop;
  const std::string rootName = Text(root->mName);
  const bool madeUp = IsMadeUpRootName(rootName);
  out.topName = CGraphOperation::StringToWString(madeUp ? m_fileName : rootName);

  // The root's transform goes into everything placed directly in the top
  // prototype.
  const bool unitOnly = m_dropRootUnitScale && IsUniformScale(root->mTransformation);
  const SbMatrix rootTransform = unitOnly ? SbMatrix::identity() : ToRowVectorForm(root->mTransformation);
  if (IsSingular(rootTransform)) {
    ++m_stats.collapsedNodes;
  } else {
    if (HasOwnTriangles(root)) PlaceOwnMeshes(root, top, rootTransform, madeUp ? std::wstring() : NodeName(root));
    for (unsigned i = 0; i < root->mNumChildren; ++i) PlaceNode(root->mChildren[i], top, rootTransform);
  }

  if (m_stats.placedTriangles == 0) {
    error = m_label + ": no triangles";
    if (m_stats.degenerateTriangles > 0)
      error += " (" + std::to_string(m_stats.degenerateTriangles) + " degenerate triangles dropped)";
    else if (m_stats.collapsedNodes > 0)
      error += " (every part is scaled to zero)";
    else if (m_stats.meshesDropped > 0)
      error += " (only points and lines)";
    out = ImportedAssembly();
    return false;
  }
  out.stats = m_stats;
  return true;
}

const AssimpSceneConverter::CleanMesh& AssimpSceneConverter::Prepare(unsigned meshIndex) {
  CleanMesh& clean = m_meshes[meshIndex];
  if (clean.prepared) return clean;
  clean.prepared = true;
  const aiMesh* mesh = m_scene.mMeshes[meshIndex];
  const unsigned numVerts = mesh->mVertices ? mesh->mNumVertices : 0;
  for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
    const aiFace& face = mesh->mFaces[f];
    // Points and lines are no surface; larger faces are gone after
    // triangulation, and faces with bad indices were rejected by validation.
    if (face.mNumIndices != 3 || !face.mIndices) continue;
    if (face.mIndices[0] >= numVerts || face.mIndices[1] >= numVerts || face.mIndices[2] >= numVerts) continue;
    for (int k = 0; k < 3; ++k) clean.tris.push_back(static_cast<int>(face.mIndices[k]));
  }
  if (!clean.tris.empty()) {
    clean.xyz.resize(3 * static_cast<size_t>(numVerts));
    for (unsigned v = 0; v < numVerts; ++v) {
      clean.xyz[3 * v] = mesh->mVertices[v].x;
      clean.xyz[3 * v + 1] = mesh->mVertices[v].y;
      clean.xyz[3 * v + 2] = mesh->mVertices[v].z;
    }
    m_stats.degenerateTriangles +=
        static_cast<std::int64_t>(meshcleanup::DropDegenerateTriangles(clean.xyz, clean.tris));
    meshcleanup::CompactVertices(clean.xyz, clean.tris);
  }
  if (clean.tris.empty()) {
    ++m_stats.meshesDropped;
    clean.xyz.clear();
  }
  return clean;
}

bool AssimpSceneConverter::HasOwnTriangles(const aiNode* node) {
  for (unsigned i = 0; i < node->mNumMeshes; ++i)
    if (!Prepare(node->mMeshes[i]).tris.empty()) return true;
  return false;
}

bool AssimpSceneConverter::HasTriangles(const aiNode* node) {
  auto it = m_hasTriangles.find(node);
  if (it != m_hasTriangles.end()) return it->second;
  bool has = false;
  if (!IsSingular(ToRowVectorForm(node->mTransformation))) {
    has = HasOwnTriangles(node);
    for (unsigned i = 0; !has && i < node->mNumChildren; ++i) has = HasTriangles(node->mChildren[i]);
  }
  m_hasTriangles[node] = has;
  return has;
}

bool AssimpSceneConverter::SplitPlacement(const SbMatrix& m, SbMatrix& placement, SbMatrix& residual) {
  SbVec3f t, s;
  SbRotation r, so;
  m.getTransform(t, r, s, so);
  placement.setTransform(t, r, s);
  float linear = 0.0f, shift = 0.0f;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) linear = std::max(linear, std::fabs(m[i][j]));
    shift = std::max(shift, std::fabs(m[3][i]));
  }
  const float tolLinear = 1e-5f * linear;
  const float tolShift = 1e-5f * std::max({1.0f, shift, linear});
  bool same = true;
  for (int i = 0; i < 4 && same; ++i)
    for (int j = 0; j < 3 && same; ++j) same = std::fabs(m[i][j] - placement[i][j]) <= (i < 3 ? tolLinear : tolShift);
  if (same) {
    residual = SbMatrix::identity();
    return false;
  }
  residual = m;
  residual.multRight(placement.inverse());  // m = residual * placement
  return true;
}

AssimpSceneConverter::Part AssimpSceneConverter::PartFor(const aiNode* node, const SbMatrix* residual) {
  std::vector<unsigned> key(node->mMeshes, node->mMeshes + node->mNumMeshes);
  std::sort(key.begin(), key.end());
  key.erase(std::unique(key.begin(), key.end()), key.end());
  if (!residual) {
    auto it = m_parts.find(key);
    if (it != m_parts.end()) return it->second;
  }

  std::vector<float> xyz;
  std::vector<int> tris;
  for (unsigned m : key) {
    const CleanMesh& clean = Prepare(m);
    const int base = static_cast<int>(xyz.size() / 3);
    xyz.insert(xyz.end(), clean.xyz.begin(), clean.xyz.end());
    for (int v : clean.tris) tris.push_back(base + v);
  }
  Part part;
  if (!tris.empty() && xyz.size() / 3 <= static_cast<size_t>(INT_MAX)) {
    if (residual) {
      for (size_t v = 0; v < xyz.size(); v += 3) {
        SbVec3f p(xyz[v], xyz[v + 1], xyz[v + 2]);
        residual->multVecMatrix(p, p);
        for (int k = 0; k < 3; ++k) xyz[v + k] = p[k];
      }
    }
    std::string name;
    if (key.size() == 1) name = Text(m_scene.mMeshes[key[0]]->mName);
    if (name.empty()) name = Text(node->mName);
    if (name.empty()) name = "Part";
    part.triangles = static_cast<int>(tris.size() / 3);
    part.proto = NewPrototype(false, CGraphOperation::StringToWString(name));
    m_out->prototypes.back().xyz = std::move(xyz);
    m_out->prototypes.back().tris = std::move(tris);
    m_stats.triangles += part.triangles;
  }
  if (!residual) m_parts[key] = part;
  return part;
}

void AssimpSceneConverter::PlaceOwnMeshes(const aiNode* node, std::int32_t parent, const SbMatrix& local,
                                          const std::wstring& name) {
  SbMatrix placement, residual;
  const bool sheared = SplitPlacement(local, placement, residual);
  const Part part = PartFor(node, sheared ? &residual : nullptr);
  if (part.proto < 0) return;
  if (sheared) ++m_stats.shearedPlacements;
  Place(parent, part.proto, placement, name);
  m_stats.placedTriangles += part.triangles;
}

void AssimpSceneConverter::PlaceNode(const aiNode* node, std::int32_t parent, const SbMatrix& prefix) {
  // prefix: what the parent applies after this node's transform (row form).
  SbMatrix local = ToRowVectorForm(node->mTransformation);
  if (IsSingular(local)) {
    ++m_stats.collapsedNodes;
    return;
  }
  if (!HasTriangles(node)) return;
  local.multRight(prefix);
  const std::wstring name = NodeName(node);
  if (node->mNumChildren == 0) {
    PlaceOwnMeshes(node, parent, local, name);
    return;
  }

  SbMatrix placement, residual;
  const bool sheared = SplitPlacement(local, placement, residual);
  if (sheared) ++m_stats.shearedPlacements;
  const std::int32_t assembly = NewPrototype(true, name.empty() ? std::wstring(L"Assembly") : name);
  Place(parent, assembly, placement, name);
  if (HasOwnTriangles(node)) PlaceOwnMeshes(node, assembly, residual, std::wstring());
  for (unsigned i = 0; i < node->mNumChildren; ++i) PlaceNode(node->mChildren[i], assembly, residual);
}
