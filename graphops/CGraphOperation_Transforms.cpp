// Instance transforms and coordinate conversion.
//
// Notation (row vectors, p' = p * M):
//   B  the instance's placement in its parent: setTransform(t, r, s) of its
//      transform node (scaleOrientation and center are not used);
//   U  the user matrix the document state keeps for a path (interactive
//      moves that leave B alone);
//   local = U * B: U moves the instance in its own frame, then B places it;
//   global = product of the local matrices from the head of the path down.
// Setting a user matrix so that the local matrix becomes C stores
// U = C * B^-1; C is first scaled so that the user matrix never changes the
// instance's size.
#include <Inventor/SbVec4f.h>
#include <Inventor/nodes/SoTransform.h>

#include "graphops/CGraphOperation.h"
#include "graphops/GraphPathUtil.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_GetMatrixAction.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "host/SoRef.h"

using namespace vx::graph;

namespace {

// The instance addressed by a relative placement path below the document's
// top prototype, held; null when unresolved.
vx::host::SoRef<SoPath> ResolveBelowTop(SoKRN_MainDoc* doc, const std::string& relative) {
  return vx::host::SoRef<SoPath>::adopt(
      CGraphOperation::GetNodeSoPathByPlcPath(doc->getTopPrototype(), relative.c_str()));
}

// (x, y, z, 1) * m, first three components, no division by the fourth.
SbVec3f TransformPoint(const SbMatrix& m, const SbVec3f& p) {
  SbVec4f result;
  m.multVecMatrix(SbVec4f(p[0], p[1], p[2], 1.0f), result);
  return SbVec3f(result[0], result[1], result[2]);
}

}  // namespace

SbMatrix CGraphOperation::LocalInsMatrix(SoKRN_State* state, const SoPath* path, bool withUserMatrix) {
  SbMatrix local = SbMatrix::identity();
  SoKRN_ComponentKit* kit = AsComponentKit(FullTail(path));
  if (!kit) return local;
  if (SoTransform* trans = kit->getTrans(false)) {
    local.setTransform(trans->translation.getValue(), trans->rotation.getValue(), trans->scaleFactor.getValue());
  }
  if (withUserMatrix && state) {
    SbMatrix user = SbMatrix::identity();
    if (state->getUserMatrix(path, user)) local.multLeft(user);
  }
  return local;
}

SbMatrix CGraphOperation::GlobalInsMatrix(SoKRN_State* state, const SoPath* path, bool withUserMatrix) {
  SoKRN_GetMatrixAction action(state->getViewportRegion());
  action.setWithUserMatrixFlg(withUserMatrix);
  // The action does not change the path; Coin's apply() just is not const.
  action.apply(const_cast<SoPath*>(path));
  return action.getMatrix();
}

SbMatrix CGraphOperation::KeepPlacementScale(const SbMatrix& m, const SbMatrix& placement) {
  SbVec3f t, sB, sM;
  SbRotation r, so;
  placement.getTransform(t, r, sB, so);
  m.getTransform(t, r, sM, so);
  SbMatrix corrected = m;
  if (!sB.equals(sM, 1e-5f)) {
    // Uniform, judged on x only: a non-uniform request keeps its proportions.
    SbMatrix scale;
    scale.setScale(sB[0] / sM[0]);
    corrected.multRight(scale);
  }
  return corrected;
}

void CGraphOperation::GetInsMatrixByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, SbMatrix& out, bool global,
                                            bool withUserMatrix) {
  out = SbMatrix::identity();
  const std::string relative = ToRelativePlcPath(plcPath);
  if (relative.empty()) return;  // the root: no document needed
  doc = ResolveDoc(doc);
  if (!doc) return;
  const vx::host::SoRef<SoPath> path = ResolveBelowTop(doc, relative);
  if (!path) return;
  if (SoKRN_State* state = doc->getKRNState()) {
    out = global ? GlobalInsMatrix(state, path, withUserMatrix) : LocalInsMatrix(state, path, withUserMatrix);
  }
}

void CGraphOperation::GetInsMatrixBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, SbMatrix& out, bool global,
                                           bool withUserMatrix) {
  out = SbMatrix::identity();
  doc = ResolveDoc(doc);
  if (!path || !doc) return;
  // Only while the whole model is the active component; while a sub-assembly
  // is active the result is identity (the by-placement-path form still reads).
  if (doc->getActiveComp() != doc->getTopPrototype()) return;
  SoKRN_State* state = doc->getKRNState();
  if (!state) return;
  out = global ? GlobalInsMatrix(state, path, withUserMatrix) : LocalInsMatrix(state, path, withUserMatrix);
}

void CGraphOperation::SetInsMatrixByPlcPath(SoKRN_MainDoc* doc, const char* plcPath, const SbMatrix& m,
                                            bool asUserMatrix, bool) {
  const std::string relative = ToRelativePlcPath(plcPath);
  if (relative.empty()) return;  // the root has no placement
  doc = ResolveDoc(doc);
  if (!doc) return;
  const vx::host::SoRef<SoPath> path = ResolveBelowTop(doc, relative);
  if (!path) return;
  SoKRN_State* state = doc->getKRNState();
  if (asUserMatrix) {
    if (state) {
      // B is read from the resolved path rather than by re-converting the
      // relative text, which would take a lone "0" for the root.
      const SbMatrix placement = LocalInsMatrix(state, path, false);
      SbMatrix user = KeepPlacementScale(m, placement);
      user.multRight(placement.inverse());
      state->setUserMatrix(path, user, TRUE);
    }
  } else {
    if (state) state->removeUserMat(path, TRUE);
    if (SoKRN_ComponentKit* kit = AsComponentKit(FullTail(path))) kit->setMatrix(m, false);
  }
}

void CGraphOperation::SetInsMatrixBySoPath(SoKRN_MainDoc* doc, const SoFullPath* path, const SbMatrix& m,
                                           bool asUserMatrix, bool) {
  doc = ResolveDoc(doc);
  if (!path || !doc) return;
  SoKRN_State* state = doc->getKRNState();
  if (asUserMatrix) {
    if (!state) return;
    SbMatrix placement;
    GetInsMatrixBySoPath(doc, path, placement, false, false);
    SbMatrix user = KeepPlacementScale(m, placement);
    user.multRight(placement.inverse());
    state->setUserMatrix(path, user, TRUE);
  } else {
    if (state) state->removeUserMat(path, TRUE);
    if (SoKRN_ComponentKit* kit = AsComponentKit(FullTail(path))) kit->setMatrix(m, false);
  }
}

void CGraphOperation::PointLocalToWorld(SoKRN_MainDoc* doc, const SoFullPath* path, SbVec3f& point) {
  SbMatrix toWorld;
  GetInsMatrixBySoPath(doc, path, toWorld, true, true);
  point = TransformPoint(toWorld, point);
}

void CGraphOperation::PointWorldToLocal(SoKRN_MainDoc* doc, const SoFullPath* path, SbVec3f& point) {
  SbMatrix toWorld;
  GetInsMatrixBySoPath(doc, path, toWorld, true, true);
  point = TransformPoint(toWorld.inverse(), point);
}

SbVec3f CGraphOperation::LocalPointToWorldPoint(SbMatrix m, SbVec3f p) { return TransformPoint(m, p); }

SbVec3f CGraphOperation::WorldPointToLocalPoint(SbMatrix m, SbVec3f p) { return TransformPoint(m.inverse(), p); }
