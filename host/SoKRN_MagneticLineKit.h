#pragma once
// A magnetic line (a leader that sticks to model geometry).
// Only a frame here: a type id for pick filters and a highlight flag.
#include "host/SoKRN_BaseKit.h"

class SoKRN_MagneticLineKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_MagneticLineKit);

public:
  static void initClass();
  SoKRN_MagneticLineKit();

  void setHighLight(bool on) { m_highLight = on; }
  bool isHighLighted() const { return m_highLight; }

protected:
  ~SoKRN_MagneticLineKit() override;

private:
  bool m_highLight = false;
};
