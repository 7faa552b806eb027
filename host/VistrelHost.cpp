#include "host/VistrelHost.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/nodekits/SoBaseKit.h>
#include <Inventor/nodekits/SoNodeKit.h>

#include "host/SoBrepFaceSet.h"
#include "host/SoKRN_2dEntityKit.h"
#include "host/SoKRN_BaseKit.h"
#include "host/SoKRN_BodyKit.h"
#include "host/SoKRN_ClipLineKit.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_CurveKit.h"
#include "host/SoKRN_DocElementKit.h"
#include "host/SoKRN_EdgeKit.h"
#include "host/SoKRN_FdtKit.h"
#include "host/SoKRN_FeatureKit.h"
#include "host/SoKRN_GetMatrixAction.h"
#include "host/SoKRN_InfoKit.h"
#include "host/SoKRN_MagneticLineKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_MeshFaceKit.h"
#include "host/SoKRN_MeshKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/SoKRN_PntMarkerKit.h"
#include "host/SoKRN_ShellKit.h"
#include "host/SoKRN_TextKit.h"
#include "host/SoKRN_UserTransform.h"
#include "host/SoKRN_WeldKit.h"
#include "host/SoKRN_WireSet.h"

void VistrelHostInit() {
  static bool done = false;
  if (done) return;
  done = true;
  SoDB::init();
  SoNodeKit::init();
  SoInteraction::init();
  // The library searches below instance kits for their child instances.
  SoBaseKit::setSearchingChildren(TRUE);

  // Parents before children: a kit's catalog is cloned from its parent's.
  SoBrepFaceSet::initClass();
  SoKRN_UserTransform::initClass();
  SoKRN_BaseKit::initClass();
  SoKRN_DocElementKit::initClass();
  SoKRN_NodeKit::initClass();
  SoKRN_ComponentKit::initClass();
  SoKRN_InfoKit::initClass();
  SoKRN_MainDoc::initClass();
  SoKRN_EdgeKit::initClass();
  SoKRN_FdtKit::initClass();
  SoKRN_2dEntityKit::initClass();
  SoKRN_WireSet::initClass();
  SoKRN_ShellKit::initClass();
  SoKRN_TextKit::initClass();
  SoKRN_ClipLineKit::initClass();
  SoKRN_MeshFaceKit::initClass();
  SoKRN_MeshKit::initClass();
  SoKRN_ModelDisplay::initClass();
  SoKRN_BodyKit::initClass();
  SoKRN_CurveKit::initClass();
  SoKRN_PntMarkerKit::initClass();
  SoKRN_MagneticLineKit::initClass();
  SoKRN_WeldKit::initClass();
  SoKRN_FeatureKit::initClass();
  SoKRN_GetMatrixAction::initClass();
}
