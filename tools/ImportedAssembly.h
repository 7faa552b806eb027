#pragma once
// An imported assembly as plain arrays: what a reader's scene converts to
// before any kit exists, so that the conversion can run in a child process
// and only these arrays travel back (AssemblyHandBack.h).
//
// Contract:
// - `prototypes` are in creation order; index i names prototype i. A part
//   holds `xyz` (3 floats per vertex, file units) and `tris` (3 vertex
//   indices per triangle, counter-clockwise seen from outside); an assembly
//   holds neither.
// - `placements` are in placing order. A placement puts prototype
//   `prototype` into `parent` (kTop: the document's top prototype, else the
//   index of an assembly prototype) with `matrix` (Coin's row-vector form:
//   rotation, uniform or axis scale and translation; the matrix is stored as
//   given). An empty `name` names the instance after its prototype.
// - `created` is how many prototypes exist when the placement is made:
//   building interleaves creating and placing exactly as the converter did,
//   so element ids and placement ids come out the same as in one pass.
//   Prototypes not yet created cannot be placed or placed into.
// Building checks everything first (CheckImportedAssembly) and gives either
// the whole document or nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/ImportStats.h"

class SoKRN_MainDoc;

struct ImportedAssembly {
  static constexpr std::int32_t kTop = -1;

  struct Prototype {
    bool assembly = false;
    std::wstring name;
    std::vector<float> xyz;
    std::vector<int> tris;
  };
  struct Placement {
    std::uint32_t created = 0;
    std::int32_t parent = kTop;
    std::uint32_t prototype = 0;
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::wstring name;
  };

  std::wstring topName;
  std::vector<Prototype> prototypes;
  std::vector<Placement> placements;
  ImportStats stats;
};

// True when `a` can be built as it stands: sizes in multiples of 3, every
// coordinate and matrix entry finite, every triangle index inside its
// part's vertices, parts with triangles, placements only of created
// prototypes into the top or created assemblies, no assembly containing
// itself, nesting at most `maxDepth` levels below the top, counts not
// negative. Otherwise false with the first bad element named, e.g.
// `prototype 3 ("Bolt"): tris[7] = 12 out of range (10 vertices)`.
bool CheckImportedAssembly(const ImportedAssembly& a, int maxDepth, std::string& reason);

// The document (referenced once: the caller unrefs it), or null with the
// reason when the check fails.
SoKRN_MainDoc* BuildImportedAssembly(const ImportedAssembly& a, int maxDepth, std::string& reason);
