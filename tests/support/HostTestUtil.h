#pragma once
// Small helpers shared by the host tests: meshes, matrices, tree walks.
#include <Inventor/SbMatrix.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/SoPath.h>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/DocumentBuilder.h"
#include "host/OmbrelTools.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
#include "support/MeshGen.h"

namespace hosttest {

// Owns one reference to a document: a new empty one, or one handed over
// already referenced (null allowed, e.g. a failed read).
struct DocRef {
  vx::host::SoRef<SoKRN_MainDoc> held;
  SoKRN_MainDoc* const doc;  // held's
  DocRef() : held(vx::host::NewDocument()), doc(held) {}
  explicit DocRef(SoKRN_MainDoc* referenced)
      : held(vx::host::SoRef<SoKRN_MainDoc>::adopt(referenced)), doc(referenced) {}
};

inline SbMatrix Translation(float x, float y, float z) {
  SbMatrix m;
  m.setTranslate(SbVec3f(x, y, z));
  return m;
}

inline SbMatrix Placement(const SbVec3f& t, const SbRotation& r, float scale = 1.0f) {
  SbMatrix m;
  m.setTransform(t, r, SbVec3f(scale, scale, scale));
  return m;
}

// Axis-aligned box [lo, hi], outward wound.
inline SoKRN_ComponentKit* MakeBox(SoKRN_MainDoc* doc, const std::wstring& name, const SbVec3f& lo, const SbVec3f& hi) {
  const vxtest::Mesh box = vxtest::Box(lo, hi);
  return vx::host::MakePartPrototype(doc, name, box.xyz, box.tris);
}

// A referenced path filled by StrPathToSoPath (empty when unresolved).
class ResolvedPath {
public:
  ResolvedPath(SoNode* root, const std::string& text) : m_path(static_cast<SoFullPath*>(new SoPath(8))) {
    OmbrelTools::StrPathToSoPath(root, text, *m_path);
  }
  SoPath* get() const { return m_path; }
  int length() const { return m_path->getLength(); }
  SoNode* tail() const { return length() ? m_path->getTail() : nullptr; }

private:
  vx::host::SoRef<SoFullPath> m_path;
};

// Every occurrence below the top prototype, depth first in child order:
// fn(placement path, instance kit).
inline void ForEachOccurrence(SoKRN_MainDoc* doc,
                              const std::function<void(const std::string&, SoKRN_ComponentKit*)>& fn) {
  std::function<void(SoKRN_ComponentKit*, const std::string&)> walk = [&](SoKRN_ComponentKit* proto,
                                                                          const std::string& prefix) {
    for (int i = 0; i < proto->getNumEleChildren(); ++i) {
      auto* inst = static_cast<SoKRN_ComponentKit*>(proto->getEleChild(i));
      char id[16];
      snprintf(id, sizeof id, "%x", inst->getPLCID());
      const std::string path = prefix.empty() ? std::string(id) : prefix + "|" + id;
      fn(path, inst);
      if (SoKRN_ComponentKit* p = inst->getPrototype()) walk(p, path);
    }
  };
  walk(doc->getTopPrototype(), "");
}

}  // namespace hosttest
