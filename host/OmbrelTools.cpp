#include "host/OmbrelTools.h"

#include <cstdio>
#include <Inventor/SoFullPath.h>

#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"

namespace {

// Parses one placement id as written by InstanceChainKey: 1 to 8 lower-case
// hex digits without leading zeros, so that equal ids have equal texts.
bool ParseId(const std::string& text, size_t begin, size_t end, uint32_t& id) {
  if (end <= begin || end - begin > 8) return false;
  if (text[begin] == '0' && end - begin > 1) return false;
  uint32_t v = 0;
  for (size_t i = begin; i < end; ++i) {
    const char c = text[i];
    uint32_t d;
    if (c >= '0' && c <= '9') {
      d = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      return false;
    }
    v = (v << 4) | d;
  }
  id = v;
  return true;
}

}  // namespace

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
      if (startLength == 0) out.setHead(root); else out.append(root);
      return;
    }
    doc->appendPathToTopPrototype(out);
    if (out.getLength() == 0) return;
    proto = doc->getTopPrototype();
  } else if (root->isOfType(SoKRN_ComponentKit::getClassTypeId())) {
    if (startLength == 0) out.setHead(root); else out.append(root);
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
    if (!ParseId(path, begin, end, id)) return fail();
    SoKRN_ComponentKit* inst = proto->findEleChildByPLCID(id);
    if (!inst) return fail();
    if (!proto->appendChildToPath(out, inst)) return fail();
    if (end == path.size()) return;
    if (!inst->appendPrototypeToPath(out)) return fail();
    proto = inst->getPrototype();
    begin = end + 1;
  }
}

bool OmbrelTools::IsPathEqual(const SoPath* a, const SoPath* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  const auto* fa = static_cast<const SoFullPath*>(a);
  const auto* fb = static_cast<const SoFullPath*>(b);
  const int n = fa->getLength();
  if (fb->getLength() != n) return false;
  // Tails first: paths that differ usually differ at the end.
  for (int i = n - 1; i >= 0; --i) {
    if (fa->getNode(i) != fb->getNode(i)) return false;
  }
  return true;
}

std::string OmbrelTools::InstanceChainKey(const SoPath* path) {
  std::string key;
  if (!path) return key;
  const auto* full = static_cast<const SoFullPath*>(path);
  const int n = full->getLength();
  const SoType kitType = SoKRN_ComponentKit::getClassTypeId();
  char buf[16];
  for (int i = 0; i < n; ++i) {
    SoNode* node = full->getNode(i);
    if (!node->isOfType(kitType)) continue;
    auto* kit = static_cast<SoKRN_ComponentKit*>(node);
    if (!kit->isInstance()) continue;
    if (!key.empty()) key += '|';
    snprintf(buf, sizeof buf, "%x", kit->getPLCID());
    key += buf;
  }
  return key;
}
