#pragma once
// Per-document state: per-path visibility and user matrices, viewport,
// clip plane and capping flag. Paths are keyed by their instance chain (the
// placement ids of the instance kits on the path, head to tail), so two
// paths that reach the same occurrence through different internal nodes
// share one entry.
#include <map>
#include <string>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbViewportRegion.h>

class SoPath;
class SoNode;
class SoClipPlane;

class SoKRN_State {
public:
  explicit SoKRN_State(SoNode* owner);
  ~SoKRN_State();

  // Visibility: nonzero = visible. Unset paths are visible (-1).
  int getDocEleVisible(const SoPath* path) const;
  void setDocEleVisible(const SoPath* path, int visible, int notify);

  void setUserMatrix(const SoPath* path, const SbMatrix& m, int notify);
  bool getUserMatrix(const SoPath* path, SbMatrix& m) const;
  void removeUserMat(const SoPath* path, int notify);
  bool hasUserMatrices() const { return !m_userMatrices.empty(); }
  bool hasHiddenPaths() const { return m_numHidden > 0; }

  // The same lookups by instance-chain key (see OmbrelTools::InstanceChainKey).
  int getVisibleByKey(const std::string& key) const;
  bool getUserMatrixByKey(const std::string& key, SbMatrix& m) const;

  const SbViewportRegion& getViewportRegion() const { return m_viewport; }
  void setViewportRegion(const SbViewportRegion& vp) { m_viewport = vp; }

  // Clip plane shown by the document (may be null) and capping.
  void setClipPlane(SoClipPlane* plane);
  SoClipPlane* getClipPlane() const { return m_clipPlane; }
  void setCappingFlg(int on) { m_capping = on != 0; }
  bool getCappingFlg() const { return m_capping; }

private:
  void notifyOwner(int notify);

  SoNode* m_owner;
  std::map<std::string, int> m_visible;
  int m_numHidden = 0;
  std::map<std::string, SbMatrix> m_userMatrices;
  SbViewportRegion m_viewport;
  SoClipPlane* m_clipPlane = nullptr;
  bool m_capping = false;
};
