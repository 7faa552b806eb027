#pragma once
// Per-document state: per-path visibility and user matrices, viewport,
// clip plane and capping flag. Paths are keyed by their instance chain (the
// placement ids of the instance kits on the path, head to tail), so two
// paths that reach the same occurrence through different internal nodes
// share one entry. Keys come from vx::host::InstanceChainKey (host/PathKey.h);
// a path that starts below the document (at an inner instance) gives a
// shorter chain.
//
// Notification (notify != 0) touches the document's model, so that viewers
// redraw; changes made with notify 0 show at the next redraw of their own.
#include <Inventor/SbColor.h>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbViewportRegion.h>
#include <cstdint>
#include <map>
#include <string>
#include <vector>
#include "host/PICKDATA.h"
#include "host/SoRef.h"

class SoPath;
class SoNode;
class SoClipPlane;

class SoKRN_State {
public:
  explicit SoKRN_State(SoNode* owner);
  // The document (or other node) this state belongs to.
  SoNode* getOwner() const { return m_owner; }
  ~SoKRN_State();

  // Visibility: nonzero = visible. A path without an entry of its own takes
  // the entry of the nearest instance above it (the root's is the key ""),
  // and is visible (-1) when none has one.
  int getDocEleVisible(const SoPath* path) const;
  void setDocEleVisible(const SoPath* path, int visible, int notify);
  // The same by the path's key (vx::host::InstanceChainKey), for callers
  // that already hold it.
  void setVisibleByKey(const std::string& key, int visible, int notify);

  // Display overrides per occurrence: a colour and a transparency (0..1,
  // clamped) that win over the occurrence's own materials and over
  // overrides set further down. Only an instance's occurrence draws them.
  struct InsLook {
    bool hasColor = false;
    SbColor color{0, 0, 0};
    bool hasTransparency = false;
    float transparency = 0;
  };
  void setInsColor(const SoPath* path, const SbColor& color, int notify);
  void removeColor(const SoPath* path, int notify);
  void setInsTransparency(const SoPath* path, float transparency, int notify);
  void removeInsTransparency(const SoPath* path, int notify);
  // False when the occurrence has no override.
  bool getInsLook(const SoPath* path, InsLook& look) const;
  bool getInsLookByKey(const std::string& key, InsLook& look) const;
  bool hasInsLooks() const { return !m_looks.empty(); }

  void setUserMatrix(const SoPath* path, const SbMatrix& m, int notify);
  bool getUserMatrix(const SoPath* path, SbMatrix& m) const;
  void removeUserMat(const SoPath* path, int notify);
  bool hasUserMatrices() const { return !m_userMatrices.empty(); }
  bool hasHiddenPaths() const { return m_numHidden > 0; }

  // The same lookups by instance-chain key (host/PathKey.h).
  int getVisibleByKey(const std::string& key) const;
  // True when some occurrence below `key` is set visible explicitly.
  bool hasVisibleBelow(const std::string& key) const;
  // Keys of the occurrences set visible explicitly (each shows itself and
  // what inherits from it under a hidden ancestor), in key order.
  std::vector<std::string> getShownKeys() const;
  bool getUserMatrixByKey(const std::string& key, SbMatrix& m) const;

  const SbViewportRegion& getViewportRegion() const { return m_viewport; }
  void setViewportRegion(const SbViewportRegion& vp) { m_viewport = vp; }

  // Clip plane shown by the document (may be null; the state holds a
  // reference) and capping.
  void setClipPlane(SoClipPlane* plane);
  SoClipPlane* getClipPlane() const { return m_clipPlane; }
  void setCappingFlg(int on) { m_capping = on != 0; }
  bool getCappingFlg() const { return m_capping; }

  // Which kinds of object a pick selects (bit mask; 0x1 = instances).
  uint32_t getSelectionFilterType() const { return m_selectionFilter; }
  void setSelectionFilterType(uint32_t mask) { m_selectionFilter = mask; }

  // Active snap kinds: object kinds ("PNT", ...), point kinds ("ANY", "MID",
  // "CENT", "ANG", "VTX", "END") and a third list kept for the viewer.
  // Returns 0.
  int getSnappingFilterType(std::vector<std::string>& objectKinds, std::vector<std::string>& pointKinds,
                            std::vector<std::string>& third) const;
  void setSnappingFilterType(const std::vector<std::string>& objectKinds, const std::vector<std::string>& pointKinds,
                             const std::vector<std::string>& third);

  // The last snapped pick; its path is referenced while held.
  void setPickData(const PICKDATA& data);
  const PICKDATA& getPickData() const { return m_pickData; }
  bool hasPickData() const { return m_hasPickData; }
  void clearPickData();

private:
  void notifyOwner(int notify);

  SoNode* m_owner;
  std::map<std::string, int> m_visible;
  int m_numHidden = 0;
  std::map<std::string, SbMatrix> m_userMatrices;
  std::map<std::string, InsLook> m_looks;
  SbViewportRegion m_viewport;
  vx::host::SoRef<SoClipPlane> m_clipPlane;
  bool m_capping = false;
  uint32_t m_selectionFilter = 0x1;
  std::vector<std::string> m_snapObjects, m_snapPoints, m_snapThird;
  PICKDATA m_pickData;
  vx::host::SoRef<SoPath> m_pickPath;  // holds m_pickData.path
  bool m_hasPickData = false;
};
