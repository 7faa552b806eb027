#pragma once
// The document's record of the last snapped pick.
#include <Inventor/SbVec3f.h>

class SoPath;

struct PICKDATA {
  unsigned char flag = 0;
  SbVec3f pickedPoint{0, 0, 0};   // where the ray met the model
  SbVec3f snappedPoint{0, 0, 0};  // the point the pick snapped to
  SoPath* path = nullptr;         // picked path, may be null; the state holds a reference
};
