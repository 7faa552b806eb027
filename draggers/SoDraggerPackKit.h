#pragma once
// A dragger packed with a matrix transform that keeps it at a constant size
// on screen.
//
// Below the kit: topSeparator -> { trans (SoMatrixTransform), dragger }. At
// every render the scale of "trans" is set (uniformly) so that one unit of
// the dragger's space spans 15 % of the smaller window dimension at the
// kit's origin; the translation and rotation of "trans" stay as set.
// Registered by initVistrelExtClass.
#include <Inventor/SbMatrix.h>
#include <Inventor/nodekits/SoBaseKit.h>

class SoDragger;

class SoDraggerPackKit : public SoBaseKit {
  SO_KIT_HEADER(SoDraggerPackKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);
  SO_KIT_CATALOG_ENTRY_HEADER(trans);
  SO_KIT_CATALOG_ENTRY_HEADER(dragger);

public:
  static void initClass();
  SoDraggerPackKit();

  // The kit references the dragger it holds; null clears the part.
  void setDragger(SoDragger* dragger);
  SoDragger* getDragger();
  // Assigns the "trans" matrix only when it differs (no notification else).
  void setTrans(const SbMatrix& m);
  const SbMatrix& getTrans();
  // The X scale of the "trans" matrix.
  float getScale();

  void GLRender(SoGLRenderAction* action) override;

protected:
  ~SoDraggerPackKit() override;
};
