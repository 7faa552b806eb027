// Clip planes and saved clip lines.
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoGroup.h>

#include "graphops/CGraphOperation.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_NodeKit.h"

void CGraphOperation::DeleteClipNodeFromSceneGraph(SoKRN_MainDoc* doc) {
  doc = ResolveDoc(doc);
  if (!doc) return;
  SoGroup* planes = doc->getClipPlaneChildren();
  if (!planes) return;
  for (int i = 0; i < planes->getNumChildren();) {
    SoNode* child = planes->getChild(i);
    if (!child) break;
    if (child->isOfType(SoClipPlane::getClassTypeId())) {
      planes->removeChild(i);
    } else {
      ++i;
    }
  }
}

void CGraphOperation::DelClipLine(SoKRN_MainDoc* doc, unsigned int id) {
  if (!doc || id == 0) return;
  SoKRN_ComponentKit* top = doc->getTopPrototype();
  SoKRN_NodeKit* root = top ? top->getRootNode() : nullptr;
  if (root) root->removeChildNodeKitByID(id, TRUE);
}

void CGraphOperation::DelClipPlane(SoKRN_MainDoc* doc, unsigned int id) { DelClipLine(doc, id); }
