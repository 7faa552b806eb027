#pragma once
// The scene-graph toolbox: a class of static functions that address model
// instances, read and set their matrices and convert points between instance
// and world space.
//
// Instances. A component kit (SoKRN_ComponentKit) is either a prototype (a
// part or sub-assembly definition) or an instance (a placement of a prototype
// inside its parent prototype, with a 32-bit placement id). The same prototype
// may be placed many times, so an instance is addressed by a Coin path from
// the document down to it, or by its placement path.
//
// Placement paths (narrow text). Full form: "PATH|0" then, for every instance
// kit on the way down, "|" and its placement id in lower-case hexadecimal
// without leading zeros: "PATH|0|3|1a". Relative form: the same ids without
// the prefix: "3|1a". The root is "PATH|0" (full) or "" (relative); the single
// text "0" also names the root. Two placement paths name the same instance
// exactly when their texts are equal byte for byte.
//
// Documents. Every operation taking a `SoKRN_MainDoc *` falls back on the
// active main document when given null, and does nothing (returns its empty
// result) when that is null too.
//
// References. Paths returned or handed out carry one reference that the
// caller releases with unref(), as stated per operation. Paths passed in are
// borrowed; the caller keeps them referenced for the duration of the call.
//
// Matrices follow Coin's row-vector convention: p' = p * M.
#include <string>
#include <vector>

#include <Inventor/SbMatrix.h>
#include <Inventor/SbVec3f.h>

class SoNode;
class SoPath;
class SoFullPath;
class SoSelection;
class SoKRN_MainDoc;
class SoKRN_ComponentKit;
class SoKRN_State;

class CGraphOperation {
public:
  CGraphOperation() = delete;

  // ---- Frame: values shared by all operations, owned by the host ---------
  // Plain pointers: no reference is taken, no argument is checked.
  static SoNode* GetActiveSceneGraph();
  static void SetActiveSceneGraph(SoNode* root);
  static SoKRN_MainDoc* GetActiveMainDocKit();
  static void SetActiveMainDocKit(SoKRN_MainDoc* doc);
  // Camera height at the initial view: the reference of camera scale factors.
  static float GetInitCameraHeight();
  static void SetInitCameraHeight(float height);

  // ---- Placement paths and instance addressing ----------------------------

  // Writes the relative form of `plcPath` into `out` (capacity 1024, always
  // terminated; longer results are cut). Null `plcPath` gives "".
  static void PlcPathConvert(const char* plcPath, char* out);

  // The placement path of the instance kits on `path` (full form with
  // `withPrefix`, else relative). A null path gives "" either way.
  static void GetNodePlcPath(const SoPath* path, std::string& plcPath, bool withPrefix);

  // Resolves the relative placement path `plcPath` (taken as given, not
  // converted) below `root`. Returns a new path holding one reference that
  // the caller releases, or null when it does not resolve.
  static SoPath* GetNodeSoPathByPlcPath(SoNode* root, const char* plcPath);

  // The node addressed by `plcPath` (either form) below the document; the
  // document itself for the root. Null when unresolved. Owned by the scene.
  static SoNode* GetNodeByPlcPath(SoKRN_MainDoc* doc, const char* plcPath);

  // The instance addressed by the relative path `plcPath` below the top
  // prototype, or the active component for "". No fallback: null `doc` gives
  // null.
  static SoKRN_ComponentKit* GetChildByPath(SoKRN_MainDoc* doc, const std::string& plcPath);

  // The document's top prototype.
  static SoNode* GetRootInsNode(SoKRN_MainDoc* doc);

  // The first SoSelection below `node` when `node` is a document, else null.
  static SoSelection* GetSelection(SoNode* node);

  // Name of the component kit nearest the tail; `name` is left unchanged when
  // the path is null or holds no component kit.
  static void GetInsName(const SoPath* path, std::wstring& name);

  // Names of all component kits on the path, head to tail, joined by "/".
  static void GetInsPathName(SoPath* path, std::wstring& name);

  // The tail of a non-empty path when it is a component kit, else null.
  static SoNode* GetAssyNodeFromFullPath(SoFullPath* path);

  // True when both paths carry the same instance chain (two null paths too).
  static bool IsSameIns(SoFullPath* a, SoFullPath* b);

  // Replaces the selection by the instance containing the most recently
  // selected one; no change when the newest selection is a top-level instance.
  static void SelectParentIns(SoKRN_MainDoc* doc);

  // Appends to `out` the paths of the child instances of the instance at the
  // tail of `insPath`: the direct children, or with `recursive` only the
  // leaves (depth first, child order). A childless instance yields `insPath`
  // itself. Every path appended here that is not `insPath` carries one
  // reference the caller releases; `insPath` appended for a childless
  // instance carries none (it stays the caller's). With `temporary` the new
  // paths are temporary paths (SoTempPath): they do not follow later edits
  // of the scene, and in exchange cost nothing to release. A scene holding
  // n ordinary paths through one group releases each in O(n) (Coin keeps a
  // list of them per group), so listing 100,000 instances wants these.
  static void GetAllChildIns(SoKRN_MainDoc* doc, SoFullPath* insPath,
                             std::vector<SoFullPath*>& out, bool recursive, bool temporary = false);

  // UTF-8 narrow text (up to its first NUL) to wide text.
  static std::wstring StringToWString(const std::string& s);

  // ---- Instance transforms and coordinate conversion ----------------------
  // Local: the instance's placement B in its parent, U * B with the stored
  // user matrix U of the path. Global: the accumulated matrix from the top
  // prototype (or the head of the given path) down to the instance.

  // `out` is identity for the root, unresolved paths or a missing document.
  static void GetInsMatrixByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, SbMatrix& out,
                                    bool global, bool withUserMatrix);
  // As above on a Coin path; identity unless the document's active component
  // is its top prototype.
  static void GetInsMatrixBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, SbMatrix& out,
                                   bool global, bool withUserMatrix);

  // asUserMatrix: stores U = C * B^-1 for the path so that the local matrix
  // with user matrix becomes C, where C is `m` corrected to keep the
  // instance's own scale. Otherwise `m` becomes the new placement (scale
  // included) and any user matrix of the path is removed. `reserved` has no
  // effect.
  static void SetInsMatrixByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const SbMatrix& m,
                                    bool asUserMatrix, bool reserved = false);
  static void SetInsMatrixBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const SbMatrix& m,
                                   bool asUserMatrix, bool reserved = false);

  // In place, with the global matrix including user matrices; no perspective
  // division. The point is unchanged when the matrix cannot be obtained.
  static void PointLocalToWorld(SoKRN_MainDoc* doc, const SoFullPath* path, SbVec3f& point);
  static void PointWorldToLocal(SoKRN_MainDoc* doc, const SoFullPath* path, SbVec3f& point);
  static SbVec3f LocalPointToWorldPoint(SbMatrix m, SbVec3f p);
  static SbVec3f WorldPointToLocalPoint(SbMatrix m, SbVec3f p);

  // ---- Clip planes and clip lines ------------------------------------------
  // Removes every SoClipPlane among the document's clip-plane children.
  static void DeleteClipNodeFromSceneGraph(SoKRN_MainDoc* doc);
  // Removes the saved clip line (or clip plane) node kit with id `id` from the
  // top prototype's root node kit. No fallback: null `doc` or id 0 do nothing.
  static void DelClipLine(SoKRN_MainDoc* doc, unsigned int id);
  static void DelClipPlane(SoKRN_MainDoc* doc, unsigned int id);

private:
  // `doc`, or the active main document when `doc` is null.
  static SoKRN_MainDoc* ResolveDoc(SoKRN_MainDoc* doc);
  // The relative form of a placement path (see PlcPathConvert).
  static std::string ToRelativePlcPath(const char* plcPath);
  // The instance's placement B, then U * B when asked and a user matrix is
  // stored for the path. Identity when the tail is not a component kit.
  static SbMatrix LocalInsMatrix(SoKRN_State* state, const SoPath* path, bool withUserMatrix);
  // The matrix action's accumulated matrix along `path`.
  static SbMatrix GlobalInsMatrix(SoKRN_State* state, const SoPath* path, bool withUserMatrix);
  // m corrected by a uniform factor so that its scale equals the scale of
  // `placement` (judged on x); m itself when both scales already agree.
  static SbMatrix KeepPlacementScale(const SbMatrix& m, const SbMatrix& placement);

  static SoNode* m_pActiveSceneGraph;
  static SoKRN_MainDoc* m_pActiveMainDocKit;
  static float m_InitCamHeight;
};
