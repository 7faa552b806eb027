#pragma once
// A dragger packed with a matrix transform that pins it to a screen
// position, turned to face the viewer, at a size given in screen proportions.
//
// Below the kit: topSeparator -> { trans (SoMatrixTransform), dragger }. At
// every render "trans" is rewritten: its rotation cancels the model-view
// rotation, its translation puts the packed dragger at the normalised screen
// position `localPnt` (0..1 per axis, lower-left origin) at the depth of the
// kit's origin, and its scale, in units of half the window height on screen,
// is a * b * 1.02 in X, a * 1.02 in Y and 1 in Z, with (a, b) = localSize.
//
// The local point and size are plain members, not fields: they are not
// written to files and setting them does not redraw; they take effect at the
// next render. The host sets both before the first render (they start at
// (0, 0)). Registered by initVistrelExtClass.
#include <Inventor/SbMatrix.h>
#include <Inventor/fields/SoSFVec2f.h>
#include <Inventor/nodekits/SoBaseKit.h>

class SoDragger;

class SoPinDraggerPackKit : public SoBaseKit {
  SO_KIT_HEADER(SoPinDraggerPackKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(trans);
  SO_KIT_CATALOG_ENTRY_HEADER(dragger);

public:
  static void initClass();
  SoPinDraggerPackKit();

  void setDragger(SoDragger* dragger);
  SoDragger* getDragger();
  void setTrans(const SbMatrix& m);
  const SbMatrix& getTrans();
  float getScale();

  void setLocalPnt(SbVec2f p) { m_localPnt.setValue(p); }
  SbVec2f getLocalPnt() const { return m_localPnt.getValue(); }
  void setLocalSize(SbVec2f s) { m_localSize.setValue(s); }
  SbVec2f getLocalSize() const { return m_localSize.getValue(); }

  void GLRender(SoGLRenderAction* action) override;
  void getBoundingBox(SoGetBoundingBoxAction* action) override;

protected:
  ~SoPinDraggerPackKit() override;
  void copyContents(const SoFieldContainer* from, SbBool copyConnections) override;

private:
  SoSFVec2f m_localPnt;
  SoSFVec2f m_localSize;
};
