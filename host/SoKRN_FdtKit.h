#pragma once
// A dimensioning and tolerancing annotation.
// Only a frame here: the type id exists so that traversals can tell these
// kits apart (the interference check never tests what lies below them).
#include "host/SoKRN_BaseKit.h"

class SoKRN_FdtKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_FdtKit);

public:
  static void initClass();
  SoKRN_FdtKit();

  void setHighLight(bool on) { m_highLight = on; }
  bool isHighLighted() const { return m_highLight; }

protected:
  ~SoKRN_FdtKit() override;

private:
  bool m_highLight = false;
};
