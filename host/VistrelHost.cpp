#include "host/VistrelHost.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/nodekits/SoBaseKit.h>
#include <Inventor/nodekits/SoNodeKit.h>

#include "host/SoBrepFaceSet.h"

void VistrelHostInit() {
  static bool done = false;
  if (done) return;
  done = true;
  SoDB::init();
  SoNodeKit::init();
  SoInteraction::init();
  SoBrepFaceSet::initClass();
}
