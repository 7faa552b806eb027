#pragma once
// An open shell of faces.
// Only a frame here: the type id exists so that traversals can tell these
// kits apart (the interference check never tests what lies below them).
#include "host/SoKRN_BaseKit.h"

class SoKRN_ShellKit : public SoKRN_BaseKit {
  SO_KIT_HEADER(SoKRN_ShellKit);

public:
  static void initClass();
  SoKRN_ShellKit();

protected:
  ~SoKRN_ShellKit() override;
};
