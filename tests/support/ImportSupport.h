#pragma once
// Helpers of the importer tests: what an imported document shows in world
// space, found with Coin's own callback action (not with the importer's or the
// toolbox's matrix code), and small file writers.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <Inventor/SbMatrix.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoShape.h>
#include <gtest/gtest.h>

#include "graphops/CGraphOperation.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "tools/AssemblyImporter.h"

namespace importtest {

// A world-space corner on a 1e-4 grid, and a triangle of three of them
// rotated so that its smallest corner comes first (the winding is kept).
using Corner = std::array<long long, 3>;
using WorldTri = std::array<Corner, 3>;

inline Corner Snap(const SbVec3f& p) {
  return {std::llround(p[0] * 1e4), std::llround(p[1] * 1e4), std::llround(p[2] * 1e4)};
}

inline WorldTri Tri(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
  WorldTri t{Snap(a), Snap(b), Snap(c)};
  std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
  return t;
}

// The meshes of the test files, by corner order: "Block" (a tetrahedron) and "Pin" (one triangle).
const std::vector<int> kBlockIndex = {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3}, kPinIndex = {0, 1, 2};

// Sorted triangles of `corners` under an index table (Block when 4 corners, else Pin).
inline std::vector<WorldTri> Tris(const std::vector<SbVec3f>& corners) {
  const std::vector<int>& index = corners.size() == 4 ? kBlockIndex : kPinIndex;
  std::vector<WorldTri> out;
  for (size_t i = 0; i + 2 < index.size(); i += 3)
    out.push_back(Tri(corners[index[i]], corners[index[i + 1]], corners[index[i + 2]]));
  std::sort(out.begin(), out.end());
  return out;
}

// One placed occurrence of a part.
struct Occurrence {
  std::string plcPath;  // full placement path, "PATH|0|..."
  std::wstring name;    // name of the instance kit that places the part
  SoKRN_ComponentKit* instance = nullptr;
  SoKRN_ComponentKit* prototype = nullptr;
  SbMatrix world;
  std::vector<WorldTri> tris;  // sorted
};

inline void CollectTriangle(void* data, SoCallbackAction* action, const SoPrimitiveVertex* v1,
                            const SoPrimitiveVertex* v2, const SoPrimitiveVertex* v3) {
  auto& out = *static_cast<std::map<std::string, Occurrence>*>(data);
  const auto* path = static_cast<const SoFullPath*>(action->getCurPath());
  std::string key;
  CGraphOperation::GetNodePlcPath(path, key, true);
  Occurrence& occ = out[key];
  const SbMatrix& m = action->getModelMatrix();
  if (!occ.instance) {
    occ.plcPath = key;
    occ.world = m;
    for (int i = path->getLength() - 1; i >= 0 && !occ.instance; --i) {
      SoNode* n = path->getNode(i);
      if (!n->isOfType(SoKRN_ComponentKit::getClassTypeId())) continue;
      auto* kit = static_cast<SoKRN_ComponentKit*>(n);
      if (!kit->isInstance()) continue;
      occ.instance = kit;
      occ.prototype = kit->getPrototype();
      kit->getKRNName(occ.name);
    }
  }
  SbVec3f a, b, c;
  m.multVecMatrix(v1->getPoint(), a);
  m.multVecMatrix(v2->getPoint(), b);
  m.multVecMatrix(v3->getPoint(), c);
  occ.tris.push_back(Tri(a, b, c));
}

// Every placed part occurrence of the document, by placement path.
inline std::map<std::string, Occurrence> Occurrences(SoKRN_MainDoc* doc) {
  std::map<std::string, Occurrence> out;
  SoCallbackAction action;
  action.addTriangleCallback(SoShape::getClassTypeId(), CollectTriangle, &out);
  action.apply(doc);
  for (auto& entry : out) std::sort(entry.second.tris.begin(), entry.second.tris.end());
  return out;
}

// The same, by instance name.
inline std::map<std::wstring, Occurrence> ByName(SoKRN_MainDoc* doc) {
  std::map<std::wstring, Occurrence> out;
  for (auto& entry : Occurrences(doc)) out[entry.second.name] = entry.second;
  return out;
}

// All world triangles of the document, sorted (a multiset).
inline std::vector<WorldTri> AllTriangles(SoKRN_MainDoc* doc) {
  std::vector<WorldTri> all;
  for (const auto& entry : Occurrences(doc)) all.insert(all.end(), entry.second.tris.begin(), entry.second.tris.end());
  std::sort(all.begin(), all.end());
  return all;
}

inline std::wstring Name(SoKRN_DocElementKit* kit) {
  std::wstring name;
  if (kit) kit->getKRNName(name);
  return name;
}

inline std::string DataFile(const std::string& relative) { return std::string(VX_TEST_DATA_DIR) + "/" + relative; }

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// tests/data/bad-reasons.tsv: file of tests/data/bad/ -> the parts its message must hold.
inline std::map<std::string, std::vector<std::string>> BadFileReasons() {
  std::map<std::string, std::vector<std::string>> reasons;
  std::istringstream table(ReadBytes(DataFile("bad-reasons.tsv")));
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, part;
    std::getline(fields, name, '\t');
    while (std::getline(fields, part, '\t')) reasons[name].push_back(part);
  }
  return reasons;
}

// Holds one reference on an imported document.
struct DocRef {
  SoKRN_MainDoc* doc;
  explicit DocRef(SoKRN_MainDoc* d) : doc(d) {}
  ~DocRef() {
    if (doc) doc->unref();
  }
  DocRef(const DocRef&) = delete;
  DocRef& operator=(const DocRef&) = delete;
  SoKRN_MainDoc* operator->() const { return doc; }
  explicit operator bool() const { return doc != nullptr; }
};

// A fresh directory under the system's temporary directory, removed at the end of the test.
class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vx_import_XXXXXX").string();
    if (mkdtemp(&pattern[0])) m_path = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
    return File(name);
  }

private:
  std::string m_path;
};

}  // namespace importtest
