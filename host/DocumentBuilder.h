#pragma once
// Building documents from code: used by importers, tests and benchmarks.
// Bad arguments are reported with SoDebugError and give null; nothing is
// changed then. Prototypes come back unreferenced: placing one makes its
// instance hold it; one that is never placed is the caller's to ref/unref,
// and must go before its document does (it keeps the document's state).
#include <Inventor/SbMatrix.h>
#include <cstdint>
#include <string>
#include <vector>

class SoKRN_MainDoc;
class SoKRN_ComponentKit;

namespace vx::host {

// A new document (not referenced: the caller refs it).
SoKRN_MainDoc* NewDocument();

// A part prototype with one body: `xyz` holds 3 floats per vertex, `tris`
// three vertex indices per triangle (counter-clockwise seen from outside).
SoKRN_ComponentKit* MakePartPrototype(SoKRN_MainDoc* doc, const std::wstring& name, const std::vector<float>& xyz,
                                      const std::vector<int>& tris);

// An empty sub-assembly prototype.
SoKRN_ComponentKit* MakeAssemblyPrototype(SoKRN_MainDoc* doc, const std::wstring& name);

// Places `proto` under the prototype `parent` with placement `m` (rotation,
// translation and scale; shear is dropped). plcId < 0 picks the next free id
// (largest in the parent plus one). The instance is named `name`, or after
// the prototype when empty. Null when an id is taken or the placement would
// make a cycle (the parent below `proto`). The instance is held by `parent`.
SoKRN_ComponentKit* PlaceInstance(SoKRN_MainDoc* doc, SoKRN_ComponentKit* parent, SoKRN_ComponentKit* proto,
                                  const SbMatrix& m, const std::wstring& name = L"", int64_t plcId = -1);

// Triangle count of a prototype's own bodies (not of its children).
int CountTriangles(SoKRN_ComponentKit* proto);

// Vertices (3 floats each) and triangle indices of a part prototype's bodies,
// in the prototype's own coordinates.
void GetPrototypeMesh(SoKRN_ComponentKit* proto, std::vector<float>& xyz, std::vector<int>& tris);

}  // namespace vx::host
