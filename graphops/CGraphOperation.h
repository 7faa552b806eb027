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

#include <Inventor/SbColor.h>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbPlane.h>
#include <Inventor/SbVec2f.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SoType.h>

class SoNode;
class SoPath;
class SoFullPath;
class SoSelection;
class SoKRN_MainDoc;
class SoKRN_ComponentKit;
class SoKRN_State;
class SoKRN_NodeKit;
class SoKRN_FdtKit;
class SoKRN_ModelDisplay;
class SoKRN_BodyKit;
class SoSeparator;
class SoClipPlane;
class SoCamera;
class SoKRN_MagneticLineKit;
class SbViewportRegion;
class Tpx_PMI;

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
  static void GetAllChildIns(SoKRN_MainDoc* doc, SoFullPath* insPath, std::vector<SoFullPath*>& out, bool recursive,
                             bool temporary = false);

  // UTF-8 narrow text (up to its first NUL) to wide text.
  static std::wstring StringToWString(const std::string& s);

  // ---- Instance transforms and coordinate conversion ----------------------
  // Local: the instance's placement B in its parent, U * B with the stored
  // user matrix U of the path. Global: the accumulated matrix from the top
  // prototype (or the head of the given path) down to the instance.

  // `out` is identity for the root, unresolved paths or a missing document.
  static void GetInsMatrixByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, SbMatrix& out, bool global,
                                    bool withUserMatrix);
  // As above on a Coin path; identity unless the document's active component
  // is its top prototype.
  static void GetInsMatrixBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, SbMatrix& out, bool global,
                                   bool withUserMatrix);

  // asUserMatrix: stores U = C * B^-1 for the path so that the local matrix
  // with user matrix becomes C, where C is `m` corrected to keep the
  // instance's own scale. Otherwise `m` becomes the new placement (scale
  // included) and any user matrix of the path is removed. `reserved` has no
  // effect.
  static void SetInsMatrixByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const SbMatrix& m, bool asUserMatrix,
                                    bool reserved = false);
  static void SetInsMatrixBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const SbMatrix& m, bool asUserMatrix,
                                   bool reserved = false);

  // In place, with the global matrix including user matrices; no perspective
  // division. The point is unchanged when the matrix cannot be obtained.
  static void PointLocalToWorld(SoKRN_MainDoc* doc, const SoFullPath* path, SbVec3f& point);
  static void PointWorldToLocal(SoKRN_MainDoc* doc, const SoFullPath* path, SbVec3f& point);
  static SbVec3f LocalPointToWorldPoint(SbMatrix m, SbVec3f p);
  static SbVec3f WorldPointToLocalPoint(SbMatrix m, SbVec3f p);

  // ---- Instance display attributes ------------------------------------------
  // Visibility, colour and transparency overrides are the document state's,
  // per occurrence (visibility -1 shown, 0 hidden): an instance kit that a
  // shared sub-assembly places twice is coloured where the path says only.
  //
  // Type selector (`typeName`) of the setters by placement path or Coin path:
  // null or "" means the instance itself; otherwise it must contain "PMI"
  // and its text from the fifth character on is the hexadecimal id of an
  // annotation node kit under the instance's root node kit ("PMI|1f" and
  // "PMI_1f" both give 0x1f). Any other selector makes the call do nothing.
  //
  // Colours are 0..1 triples; a colour with a negative component removes
  // the override (the instance shows its own colours again). Likewise a
  // negative transparency removes an instance's transparency override.

  static void SetVisibilityByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const char* typeName, int visible);
  static void SetVisibilityBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const char* typeName, int visible);
  static void SetTransparencyByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const char* typeName,
                                       float transparency);
  // The annotation form takes the document's active component for a null path.
  static void SetTransparencyBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const char* typeName,
                                      float transparency);
  static void SetColorByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const char* typeName, SbVec3f color);
  static void SetColorBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const char* typeName, SbVec3f color);
  // Sets the colour override of the path's tail when it is a component kit.
  static void SetColorBySoPath(SoKRN_MainDoc* doc, SoFullPath* path, SbColor color);
  // Transparency of the tail: an annotation's or a component kit's.
  static void SetTransBySoPath(SoKRN_MainDoc* doc, SoFullPath* path, float transparency);
  static void SetSelectedInsTrans(SoKRN_MainDoc* doc, float transparency);
  // `color`: one packed colour, red in the lowest byte, then green, blue.
  static void SetSelectedInsColor(SoKRN_MainDoc* doc, unsigned long* color);
  // Asks the user (yes/no through the platform's message handler), then
  // deletes every selected instance.
  static void DelSelectedIns(SoKRN_MainDoc* doc);
  // Deletes the instance at the relative placement path `plcPath` from its
  // parent prototype (a single id: from the active component).
  static void DelInsByPlcPath(SoKRN_MainDoc* doc, char* plcPath);
  // 1: shows every instance. 0: hides every instance but the selected ones,
  // their ancestors and their subtrees.
  static void SetInsVisibility(SoKRN_MainDoc* doc, int visible);
  // The recursive form below on every selected instance, then deselects all.
  static void SetSelectedInsVisibility(SoKRN_MainDoc* doc, int visible);
  // The path and every occurrence below it.
  static void SetVisibilityBySoPath(SoKRN_MainDoc* doc, SoFullPath* path, int visible);
  // Shows every ancestor instance on the path (the int is not used).
  static void SetParentVisibility(SoKRN_MainDoc* doc, SoFullPath* path, int visible);
  // SetInsVisibility(doc, 0) when something is selected.
  static void SetInsIsolate(SoKRN_MainDoc* doc);

  // ---- Annotation visibility ------------------------------------------------
  // Annotation `id` (0: all of them, folders searched) of the addressed
  // component's root node kit shown or hidden.
  static void SetPMIVisibility(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id, int visible);
  // The component at the path's tail, or the active component for null.
  static void SetPMIVisibility(SoKRN_MainDoc* doc, const SoFullPath* path, unsigned int id, int visible);
  static void SetAllPMIVisibility(SoKRN_NodeKit* kit, int visible);

  // ---- Annotations, views, magnetic lines and welds ----------------------
  // Node kits of a component's annotation tree: data type 4 annotation
  // (entity SoKRN_FdtKit), 10 view or clip plane (SoKRN_ModelDisplay), 12
  // folder. The component is addressed by placement path (either form; ""
  // is the document's active component), instances by their prototype.
  static SoKRN_NodeKit* GetRootNodeKit(SoKRN_MainDoc* doc, const char* plcPath);
  static SoKRN_NodeKit* GetNodeKitById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id);
  static void DelNodeKitById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id);
  static SoKRN_NodeKit* GetPMINodeKitById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id);
  static SoKRN_FdtKit* GetPMIById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id);
  // Reference lines are not kept by this toolbox: the lookup answers null
  // and the three operations on them do nothing.
  static SoNode* GetRefLineById(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id);
  static void DelRefLin(SoKRN_MainDoc* doc, const char* plcPath, int kind, unsigned int id);
  static void HeightLightRefLine(SoSelection* selection, SoKRN_MainDoc* doc, const char* plcPath, unsigned int id,
                                 int mode);
  static void SetRefLineVisibility(SoKRN_MainDoc* doc, const char* plcPath, unsigned int id, int visible);
  // Depth first in child order, folders searched: views (not clip planes),
  // annotations, annotations whose attached PMI has type `type`.
  static void GetAllViewNodeKit(SoKRN_NodeKit* start, std::vector<SoKRN_NodeKit*>& out);
  static void GetAllPMINodeKit(SoKRN_NodeKit* start, std::vector<SoKRN_NodeKit*>& out);
  static void GetPMINodeKitByType(SoKRN_NodeKit* start, int type, std::vector<SoKRN_NodeKit*>& out);
  // Full placement path of the instance showing `annotation`; "PATH|0" when
  // it is not in the document.
  static void GetPMIPlcPathByNode(SoKRN_MainDoc* doc, SoKRN_FdtKit* annotation, std::wstring& out);
  // mode 1 deselects all first; id != 0 selects that annotation's entity
  // in the document. The selection node is not used.
  static void HeightLightPMI(SoSelection* selection, SoKRN_MainDoc* doc, const char* plcPath, unsigned int id,
                             int mode);
  // Welds of the top prototype (all, or those with `id`) shown or hidden.
  static void SetAllWeldsVisibity(SoKRN_MainDoc* doc, int visible);
  static void SetWeldsVisibity(unsigned int id, SoKRN_MainDoc* doc, int visible);
  // Selects in `selection` (null: the active scene graph, which must then
  // be an SoSelection) the welds of the active component: all for id 0,
  // else the first with that id. mode 1 deselects all first.
  static void HeightLightHandOrder(SoSelection* selection, SoKRN_MainDoc* doc, const char* plcPath, unsigned int id,
                                   int mode);
  // Deletes an annotation with its relations in views and magnetic lines.
  // The viewport and camera are not used.
  static void DelPMI(SoKRN_MainDoc* doc, const SbViewportRegion& viewport, SoCamera* camera, const char* plcPath,
                     unsigned int id);
  // Removes, from every view under the component's root node kit (or the
  // one with id `viewId`), the relations to node `entityId` of kit `type`.
  static void DelViewRelation(SoKRN_MainDoc* doc, const char* plcPath, unsigned int entityId, SoType type);
  static void DelViewRelationFromViewIDEntId(SoKRN_MainDoc* doc, const char* plcPath, unsigned int viewId,
                                             unsigned int entityId, SoType type);
  // Lets the first magnetic line of the active component that links the
  // annotation go of it (the entity type is not used).
  static void DelRelationInMagLine(SoKRN_MainDoc* doc, SoKRN_FdtKit* annotation, int entityType);
  // Removes node kit `id` from the active component's root node kit; no
  // fallback for a null document.
  static void DelMagneticLine(SoKRN_MainDoc* doc, unsigned int id);
  // Magnetic lines of the direct child node kits of `start`.
  static void GetAllMagneticLineKit(SoKRN_NodeKit* start, std::vector<SoKRN_MagneticLineKit*>& out);
  static SoKRN_MagneticLineKit* GetMagneticLineKit(SoFullPath* path);
  static bool MagLineUnderRootNode(SoKRN_MainDoc* doc, SoKRN_MagneticLineKit* line);

  // Serial-number annotations: one composite text of a value text ("12" or
  // "12-A") and a suffix text (usage 7, "A"); the suffix "*" is never
  // written after the number.
  // The next free number for `suffix` among `kits` (1 for none).
  static int AllocateSNPMI(std::vector<SoKRN_NodeKit*>& kits, std::wstring suffix);
  static void GetSNPMIValueAndSuffix(SoKRN_FdtKit* annotation, std::wstring& value, std::wstring& suffix);
  // Numbers `pmi` anew for `suffix` (appended to its current suffix unless
  // `keepSuffix` or the suffix is "*"). 0 done; -1 bad arguments or not a
  // serial number; -2 suffix longer than 128 characters.
  static int AddSuffix(Tpx_PMI* pmi, std::wstring suffix, SoKRN_MainDoc* doc, bool keepSuffix);
  // A picture annotation (PMI type 33) in the active component: linked to
  // `file`, or with `embed` its pixels read through Coin's image reader.
  // Null when the document has no active component (no fallback).
  static SoKRN_NodeKit* CreateImageNode(SoKRN_MainDoc* doc, SbVec2f& location, const std::wstring& file,
                                        const std::wstring& name, int width, int height, double scale, bool embed);

  // ---- Temporary points ---------------------------------------------------------
  // A red point of size 5 (a separator named "Point": coordinate, draw
  // style, base colour, point set) added to the document's temporary
  // children, which hold it. Null without a document.
  static SoSeparator* CreateTmpPoint(SoKRN_MainDoc* doc, SbVec3f p);
  // The first coordinate below `node`; (0, 0, 0) when there is none.
  static SbVec3f GetTmpPointPosition(SoNode* node);
  static void DelTmpPoint(SoKRN_MainDoc* doc, SoNode* node);
  // Removes every temporary child named exactly "Point".
  static void DelAllTmpPoint(SoKRN_MainDoc* doc);

  // ---- Clip planes and clip lines ------------------------------------------
  // Removes every SoClipPlane among the document's clip-plane children.
  static void DeleteClipNodeFromSceneGraph(SoKRN_MainDoc* doc);
  // The first SoClipPlane among the clip-plane children named `name` (any
  // name for null or ""); null when none.
  static SoClipPlane* FindClipPlane(SoKRN_MainDoc* doc, const char* name);
  // The plane of the first SoClipPlane among the temporary children; the
  // plane x = 0 with normal (1, 0, 0) when there is none.
  static SbPlane GetClipPlaneInfoFromSceneGraph(SoKRN_MainDoc* doc);
  // Removes the clip-line sets of the active component (no fallback).
  static void ClearClipLineFromSceneGraph(SoKRN_MainDoc* doc);
  // Saved clip planes and clip lines: direct child node kits of `root`.
  static void GetAllClipPlaneKit(SoKRN_NodeKit* root, std::vector<SoKRN_NodeKit*>& out);
  static void GetAllClipLineKit(SoKRN_NodeKit* root, std::vector<SoKRN_NodeKit*>& out);
  // The same under the top prototype's root node kit, visible ones only.
  static void GetAllVisibleClipP(SoKRN_MainDoc* doc, std::vector<SoKRN_NodeKit*>& out);
  static void GetAllVisibleClipL(SoKRN_MainDoc* doc, std::vector<SoKRN_NodeKit*>& out);
  // Selects the entity of the saved clip plane / clip line with that id.
  static void HeightLightClipPlane(SoKRN_MainDoc* doc, unsigned int id);
  static void HeightLightClipLine(SoKRN_MainDoc* doc, unsigned int id);
  // Relations of a saved clip plane (its view and its node kit) to other
  // clip planes or views, and to clip lines: one per kit that has product
  // data attached to its entity.
  static void AddClipPlaneRelation(SoKRN_ModelDisplay* plane, std::vector<SoKRN_NodeKit*>& kits);
  static void AddClipLineRelation(SoKRN_ModelDisplay* plane, std::vector<SoKRN_NodeKit*>& kits);
  // Removes the plane's relations to clip planes and views, and to the clip
  // lines of the active document's active component.
  static void DelClipPlaneRelation(SoKRN_ModelDisplay* plane);
  // Appends the placement paths of the instances related to the active
  // document's visible clip planes, each once, in first-seen order (`out`
  // is not cleared; relations that name no instance are skipped).
  static void GetVisClipPlanesRelation(std::vector<std::string>& out);
  // The last clip-plane display / clip-line body on the path, or null.
  static SoKRN_ModelDisplay* GetClipPlaneKit(SoFullPath* path);
  static SoKRN_BodyKit* GetClipLineKit(SoFullPath* path);
  // Removes the saved clip line (or clip plane) node kit with id `id` from the
  // top prototype's root node kit. No fallback: null `doc` or id 0 do nothing.
  static void DelClipLine(SoKRN_MainDoc* doc, unsigned int id);
  static void DelClipPlane(SoKRN_MainDoc* doc, unsigned int id);

  // ---- Camera ---------------------------------------------------------------
  // Zoom relative to the initial camera height H0 (SetInitCameraHeight):
  // x = H0 / height (orthographic) or the distance at which H0 fills the
  // view over the focal distance (other cameras); y = H0 * f for f > 1e-5,
  // else H0; z = H0. No check for a zero height or focal distance.
  static SbVec3f GetCameraScaleFactor(SoCamera* camera, float f);
  // Sets the zoom to `s`, the camera keeping the point it looks at.
  static void SetCameraScaleFactor(SoKRN_MainDoc* doc, SoCamera* camera, float s);
  // Rotation of the orientation, fourth row the position (row vectors).
  static void GetCameraMatrix(SoCamera* camera, float (&m)[4][4]);
  static void SetCameraMatrix(SoCamera* camera, const float m[4][4]);
  // Where the camera looks: the focal point, or for an orthographic camera
  // where the view line crosses the plane through the document's box
  // centre facing the camera. (0, 0, 0) without camera or document.
  static SbVec3f GetCameraTargetPnt(SoCamera* camera, SoKRN_MainDoc* doc);

private:
  // Stores visibility for one path unless it already reads so.
  static void StoreVisibility(SoKRN_State* state, const SoPath* path, int visible);
  // The annotation entity `id` of the component kit `comp`'s root node kit.
  static SoKRN_FdtKit* AnnotationOf(SoKRN_ComponentKit* comp, unsigned int id);
  // The root node kit of a component kit (its prototype's for an instance).
  static SoKRN_NodeKit* RootNodeKitOf(SoKRN_ComponentKit* comp);

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
