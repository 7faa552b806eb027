#pragma once
// The entity of a saved view or clip plane in a component's node-kit tree.
// As a clip plane it shows the part of its plane inside an extent box as a
// translucent polygon with its outline, and it clips the document: an
// SoClipPlane in the document's clip-plane children, there for as long as
// this display exists (or until someone removes it from there).
#include <Inventor/SbBox3f.h>
#include <Inventor/SbVec3f.h>

#include "host/SoKRN_BaseKit.h"
#include "host/SoRef.h"

class SoClipPlane;
class SoGroup;
struct TPX_RGBA32;

class SoKRN_ModelDisplay : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_ModelDisplay);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(pickStyle);
  SO_KIT_CATALOG_ENTRY_HEADER(shapeHints);
  SO_KIT_CATALOG_ENTRY_HEADER(material);
  SO_KIT_CATALOG_ENTRY_HEADER(coords);
  SO_KIT_CATALOG_ENTRY_HEADER(face);
  SO_KIT_CATALOG_ENTRY_HEADER(outlineStyle);
  SO_KIT_CATALOG_ENTRY_HEADER(outline);

public:
  static void initClass();
  SoKRN_ModelDisplay();

  // Makes this display a clip plane: the plane through `origin` with normal
  // `normal`, moved by `offset` along the normal, drawn where it crosses
  // `extent` in `color` (alpha = opacity), clipping away the document's
  // geometry on the side the normal points away from. Needs the document's
  // state (getKRNState). False, with nothing changed, for a zero or
  // non-finite normal, an empty extent, a plane that misses the extent or a
  // kit outside a document.
  bool createClipPlane(const SbBox3f& extent, const SbVec3f& origin, const SbVec3f& normal, float offset,
                       const TPX_RGBA32& color);
  bool isClipPLane() const { return m_clip.get() != nullptr; }
  SoClipPlane* getClipPlane() const { return m_clip; }
  // The polygon drawn (corners in order), empty before createClipPlane.
  int getNumOutlinePoints() const;
  // Highlighted: the outline is drawn three pixels wide instead of one.
  void setHighLight(bool on);

protected:
  ~SoKRN_ModelDisplay() override;

private:
  void releaseClip();
  vx::host::SoRef<SoClipPlane> m_clip;
  vx::host::SoRef<SoGroup> m_clipParent;  // where m_clip was put
};
