// vistrel info [FILE]: the assembly tree of a document.
#include <Inventor/SbRotation.h>
#include <Inventor/SoFullPath.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "platform/Platform.h"
#include "tools/Commands.h"
#include "tools/StepImporter.h"

namespace {

std::string formatMatrix(const SbMatrix& m) {
  SbVec3f t, s;
  SbRotation r, so;
  m.getTransform(t, r, s, so);
  SbVec3f axis;
  float angle = 0;
  r.getValue(axis, angle);
  char buf[256];
  std::snprintf(buf, sizeof buf, "t=(%g %g %g) r=(%g %g %g; %g deg) s=(%g %g %g)", t[0], t[1], t[2], axis[0], axis[1],
                axis[2], angle * 180.0 / M_PI, s[0], s[1], s[2]);
  return buf;
}

std::string kitName(SoKRN_ComponentKit* kit) {
  if (!kit) return "";
  std::wstring w;
  kit->getKRNName(w);
  return vx::platform::WideToNarrow(w);
}

struct Totals {
  int instances = 0;
  long long triangles = 0;
  // Per prototype, in order of first appearance: its instance kits and its
  // placed occurrences (a kit inside a sub-assembly placed n times places n).
  struct Use {
    std::string name;
    std::set<SoKRN_ComponentKit*> kits;
    int occurrences = 0;
    int triangles = 0;
  };
  std::vector<SoKRN_ComponentKit*> order;
  std::map<SoKRN_ComponentKit*, Use> uses;
};

void printTree(SoKRN_MainDoc* doc, SoFullPath* path, int depth, Totals& totals) {
  std::vector<SoFullPath*> children;
  CGraphOperation::GetAllChildIns(doc, path, children, false);
  for (SoFullPath* child : children) {
    if (child == path) continue;  // a childless prototype yields itself
    auto* kit = static_cast<SoKRN_ComponentKit*>(child->getTail());
    SoKRN_ComponentKit* proto = kit->getPrototype();
    std::string plc;
    CGraphOperation::GetNodePlcPath(child, plc, true);
    std::wstring names;
    CGraphOperation::GetInsPathName(child, names);
    SbMatrix local, global;
    CGraphOperation::GetInsMatrixBySoPath(doc, child, local, false, true);
    CGraphOperation::GetInsMatrixBySoPath(doc, child, global, true, true);
    const int tris = proto ? vx::host::CountTriangles(proto) : 0;
    ++totals.instances;
    totals.triangles += tris;
    if (proto) {
      auto found = totals.uses.find(proto);
      if (found == totals.uses.end()) {
        totals.order.push_back(proto);
        found = totals.uses.emplace(proto, Totals::Use{kitName(proto), {}, 0, tris}).first;
      }
      found->second.kits.insert(kit);
      ++found->second.occurrences;
    }
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    std::printf("%s%s  %s  prototype=%s  triangles=%d\n", indent.c_str(), plc.c_str(),
                vx::platform::WideToNarrow(names).c_str(), kitName(proto).c_str(), tris);
    std::printf("%s  local:  %s\n", indent.c_str(), formatMatrix(local).c_str());
    std::printf("%s  global: %s\n", indent.c_str(), formatMatrix(global).c_str());
    printTree(doc, child, depth + 1, totals);
    child->unref();
  }
}

}  // namespace

vx::host::SoRef<SoFullPath> TopPrototypePath(SoKRN_MainDoc* doc) {
  vx::host::SoRef<SoFullPath> path(static_cast<SoFullPath*>(new SoPath(8)));
  doc->appendPathToTopPrototype(*path);
  if (path->getLength() == 0) path.reset();
  return path;
}

int RunInfo(const std::vector<std::string>& args) {
  std::string file;
  bool allowExternal = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--allow-external") {
      allowExternal = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      std::puts(
          "usage: vistrel info [FILE] [--deflection D] [--allow-external]\nPrints the assembly tree: per instance its "
          "placement path, name path,\n"
          "prototype, local and global matrix and triangle count; then per prototype\n"
          "its instance kits and placed occurrences.\n"
          "--deflection D: STEP files are meshed to within D of the exact surfaces.\n"
          "--allow-external: read the File nodes of an Inventor document (regular files only).");
      return 0;
    }
    if (a == "--deflection") {
      if (!TakeDeflectionOption(args, i, "vistrel info")) return 2;
      continue;
    }
    if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "vistrel info: unknown option '%s'\n", a.c_str());
      return 2;
    }
    if (!file.empty()) {
      std::fprintf(stderr, "vistrel info: more than one file given\n");
      return 2;
    }
    file = a;
  }
  std::string error;
  const vx::host::SoRef<SoKRN_MainDoc> doc = LoadAssembly(file, error, allowExternal);
  if (!doc) {
    std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    return 2;
  }
  CGraphOperation::SetActiveMainDocKit(doc);
  std::printf("assembly: %s\n", file.empty() ? "(embedded sample)" : file.c_str());
  Totals totals;
  if (const vx::host::SoRef<SoFullPath> root = TopPrototypePath(doc)) printTree(doc, root, 0, totals);
  std::printf("instances: %d  triangles: %lld\n", totals.instances, totals.triangles);
  std::printf("prototypes: %zu\n", totals.order.size());
  for (SoKRN_ComponentKit* proto : totals.order) {
    const Totals::Use& use = totals.uses[proto];
    std::printf("  %s  instances=%zu  occurrences=%d  triangles=%d\n", use.name.c_str(), use.kits.size(),
                use.occurrences, use.triangles);
  }
  CGraphOperation::SetActiveMainDocKit(nullptr);
  return 0;
}
