#pragma once
// A weld of a component, with an id (its place in the welding order) and a
// visibility; hidden welds are neither drawn nor picked.
#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFUInt32.h>

#include "host/SoKRN_BaseKit.h"

class SoKRN_WeldKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_WeldKit);
  SO_KIT_CATALOG_ENTRY_HEADER(topSeparator);

public:
  static void initClass();
  SoKRN_WeldKit();

  SoSFUInt32 weldId;
  SoSFBool visible;

  uint32_t getID() const { return weldId.getValue(); }
  void setVisibility(bool on, bool notify);
  bool isVisible() const { return visible.getValue() != FALSE; }

protected:
  ~SoKRN_WeldKit() override;
  void GLRender(SoGLRenderAction* action) override;
  void rayPick(SoRayPickAction* action) override;
};
