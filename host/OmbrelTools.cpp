#include "host/OmbrelTools.h"

#include <Inventor/SoFullPath.h>

#include "host/PathKey.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"

void OmbrelTools::StrPathToSoPath(SoNode* root, const std::string& path, SoPath& outPath) {
  SoFullPath& out = static_cast<SoFullPath&>(outPath);
  const int startLength = out.getLength();
  auto fail = [&out]() { out.truncate(0); };
  if (!root) {
    fail();
    return;
  }

  // Start: the root itself, then down to the first prototype.
  SoKRN_ComponentKit* proto = nullptr;
  if (root->isOfType(SoKRN_MainDoc::getClassTypeId())) {
    auto* doc = static_cast<SoKRN_MainDoc*>(root);
    if (path.empty()) {
      if (startLength == 0)
        out.setHead(root);
      else
        out.append(root);
      return;
    }
    doc->appendPathToTopPrototype(out);
    if (out.getLength() == 0) return;
    proto = doc->getTopPrototype();
  } else if (root->isOfType(SoKRN_ComponentKit::getClassTypeId())) {
    if (startLength == 0)
      out.setHead(root);
    else
      out.append(root);
    if (path.empty()) return;
    auto* kit = static_cast<SoKRN_ComponentKit*>(root);
    if (kit->isInstance()) {
      if (!kit->appendPrototypeToPath(out)) return fail();
      proto = kit->getPrototype();
    } else {
      proto = kit;
    }
  } else {
    fail();
    return;
  }

  size_t begin = 0;
  while (true) {
    size_t end = path.find('|', begin);
    if (end == std::string::npos) end = path.size();
    uint32_t id = 0;
    if (!vx::host::ParsePlacementId(path, begin, end, id)) return fail();
    SoKRN_ComponentKit* inst = proto->findEleChildByPLCID(id);
    if (!inst) return fail();
    if (!proto->appendChildToPath(out, inst)) return fail();
    if (end == path.size()) return;
    if (!inst->appendPrototypeToPath(out)) return fail();
    proto = inst->getPrototype();
    begin = end + 1;
  }
}
