#pragma once
// The face-set shape that bodies hold; the interference check collects
// only shapes of this type.
#include <Inventor/nodes/SoIndexedFaceSet.h>

class SoBrepFaceSet : public SoIndexedFaceSet {
  SO_NODE_HEADER(SoBrepFaceSet);

public:
  static void initClass();
  SoBrepFaceSet();

protected:
  ~SoBrepFaceSet() override;
};
