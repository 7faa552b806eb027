#include "host/DocumentBuilder.h"

#include <Inventor/errors/SoDebugError.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoVertexProperty.h>
#include <unordered_set>

#include "host/SoBrepFaceSet.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_EdgeKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"

namespace vx::host {

namespace {

SoKRN_ComponentKit* NewPrototype(SoKRN_MainDoc* doc, const std::wstring& name, SoKRN_ComponentKit::ComponentType kind) {
  auto* proto = new SoKRN_ComponentKit;
  proto->componentType.setValue(kind);
  proto->setKRNName(name);
  if (doc) {
    proto->elementId.setValue(doc->newElementId());
    proto->setKRNState(doc->getKRNState());
  }
  return proto;
}

// True when `target` is `proto` or lies below it in the assembly tree.
bool Contains(SoKRN_ComponentKit* proto, SoKRN_ComponentKit* target, std::unordered_set<SoKRN_ComponentKit*>& seen) {
  if (proto == target) return true;
  if (!seen.insert(proto).second) return false;
  for (int i = 0; i < proto->getNumEleChildren(); ++i) {
    SoKRN_DocElementKit* c = proto->getEleChild(i);
    if (!c || !c->isOfType(SoKRN_ComponentKit::getClassTypeId())) continue;
    SoKRN_ComponentKit* p = static_cast<SoKRN_ComponentKit*>(c)->getPrototype();
    if (p && Contains(p, target, seen)) return true;
  }
  return false;
}

// Calls fn(coords, faceSet) for every face set among the bodies, with the
// coordinates in effect for it (its vertex property, else the last
// SoCoordinate3 before it in the body group).
template <class Fn>
void ForEachFaceSet(SoKRN_ComponentKit* proto, Fn fn) {
  if (!proto || proto->isInstance()) return;
  SoGroup* bodies = proto->getBodiesIfAny();
  if (!bodies) return;
  const SoMFVec3f* coords = nullptr;
  for (int i = 0; i < bodies->getNumChildren(); ++i) {
    SoNode* n = bodies->getChild(i);
    if (n->isOfType(SoCoordinate3::getClassTypeId())) {
      coords = &static_cast<SoCoordinate3*>(n)->point;
    } else if (n->isOfType(SoIndexedFaceSet::getClassTypeId())) {
      auto* fs = static_cast<SoIndexedFaceSet*>(n);
      const SoMFVec3f* c = coords;
      if (auto* vp = static_cast<SoVertexProperty*>(fs->vertexProperty.getValue())) {
        if (vp->isOfType(SoVertexProperty::getClassTypeId())) c = &vp->vertex;
      }
      fn(c, fs);
    }
  }
}

}  // namespace

SoKRN_MainDoc* NewDocument() { return new SoKRN_MainDoc; }

SoKRN_ComponentKit* MakePartPrototype(SoKRN_MainDoc* doc, const std::wstring& name, const std::vector<float>& xyz,
                                      const std::vector<int>& tris) {
  if (xyz.size() % 3 != 0 || tris.size() % 3 != 0) {
    SoDebugError::post("vx::host::MakePartPrototype", "array sizes must be multiples of 3");
    return nullptr;
  }
  const int numVerts = static_cast<int>(xyz.size() / 3);
  for (int v : tris) {
    if (v < 0 || v >= numVerts) {
      SoDebugError::post("vx::host::MakePartPrototype", "triangle index %d out of range [0, %d)", v, numVerts);
      return nullptr;
    }
  }
  SoKRN_ComponentKit* proto = NewPrototype(doc, name, SoKRN_ComponentKit::PART);
  auto* coords = new SoCoordinate3;
  coords->point.setNum(numVerts);
  SbVec3f* pts = coords->point.startEditing();
  for (int i = 0; i < numVerts; ++i) pts[i].setValue(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
  coords->point.finishEditing();

  auto* faces = new SoBrepFaceSet;
  const int numTris = static_cast<int>(tris.size() / 3);
  faces->coordIndex.setNum(4 * numTris);
  int32_t* idx = faces->coordIndex.startEditing();
  for (int t = 0; t < numTris; ++t) {
    idx[4 * t] = tris[3 * t];
    idx[4 * t + 1] = tris[3 * t + 1];
    idx[4 * t + 2] = tris[3 * t + 2];
    idx[4 * t + 3] = -1;
  }
  faces->coordIndex.finishEditing();

  SoGroup* bodies = proto->getBodies();
  bodies->addChild(coords);
  bodies->addChild(faces);
  if (SoKRN_EdgeKit* edges = SoKRN_EdgeKit::makeFeatureEdges(xyz, tris)) bodies->addChild(edges);
  return proto;
}

SoKRN_ComponentKit* MakeAssemblyPrototype(SoKRN_MainDoc* doc, const std::wstring& name) {
  return NewPrototype(doc, name, SoKRN_ComponentKit::ASSEMBLY);
}

SoKRN_ComponentKit* PlaceInstance(SoKRN_MainDoc* doc, SoKRN_ComponentKit* parent, SoKRN_ComponentKit* proto,
                                  const SbMatrix& m, const std::wstring& name, int64_t plcId) {
  if (!parent || !proto || parent->isInstance() || proto->isInstance()) {
    SoDebugError::post("vx::host::PlaceInstance", "parent and child must both be prototype kits");
    return nullptr;
  }
  if (plcId > static_cast<int64_t>(UINT32_MAX)) {
    SoDebugError::post("vx::host::PlaceInstance", "placement id out of range");
    return nullptr;
  }
  if (plcId >= 0 && parent->findEleChildByPLCID(static_cast<uint32_t>(plcId))) {
    SoDebugError::post("vx::host::PlaceInstance", "placement id %llx already used in the parent",
                       static_cast<unsigned long long>(plcId));
    return nullptr;
  }
  std::unordered_set<SoKRN_ComponentKit*> seen;
  if (Contains(proto, parent, seen)) {
    SoDebugError::post("vx::host::PlaceInstance", "placing the prototype here would make a cycle");
    return nullptr;
  }
  vx::host::SoRef<SoKRN_ComponentKit> inst(new SoKRN_ComponentKit);
  inst->componentType.setValue(SoKRN_ComponentKit::INSTANCE);
  inst->plcId.setValue(plcId >= 0 ? static_cast<uint32_t>(plcId) : parent->nextPlcId());
  std::wstring instName = name;
  if (instName.empty()) proto->getKRNName(instName);
  inst->setKRNName(instName);
  inst->setPrototype(proto);
  inst->setMatrix(m, false);
  if (doc) {
    inst->elementId.setValue(doc->newElementId());
    inst->setKRNState(doc->getKRNState());
    proto->setKRNState(doc->getKRNState());
  } else {
    inst->setKRNState(parent->getKRNState());
  }
  parent->addEleChild(inst);
  return inst.detach();  // the parent's reference keeps it
}

int CountTriangles(SoKRN_ComponentKit* proto) {
  int count = 0;
  ForEachFaceSet(proto, [&count](const SoMFVec3f*, SoIndexedFaceSet* fs) {
    int corners = 0;
    const int n = fs->coordIndex.getNum();
    const int32_t* idx = fs->coordIndex.getValues(0);
    for (int i = 0; i <= n; ++i) {
      if (i == n || idx[i] < 0) {
        if (corners >= 3) count += corners - 2;
        corners = 0;
      } else {
        ++corners;
      }
    }
  });
  return count;
}

void GetPrototypeMesh(SoKRN_ComponentKit* proto, std::vector<float>& xyz, std::vector<int>& tris) {
  xyz.clear();
  tris.clear();
  ForEachFaceSet(proto, [&xyz, &tris](const SoMFVec3f* coords, SoIndexedFaceSet* fs) {
    if (!coords) return;
    const int base = static_cast<int>(xyz.size() / 3);
    const int numPts = coords->getNum();
    const SbVec3f* pts = coords->getValues(0);
    for (int i = 0; i < numPts; ++i) {
      xyz.push_back(pts[i][0]);
      xyz.push_back(pts[i][1]);
      xyz.push_back(pts[i][2]);
    }
    // Faces with more corners are split as fans; bad indices drop the face.
    const int n = fs->coordIndex.getNum();
    const int32_t* idx = fs->coordIndex.getValues(0);
    int start = 0;
    for (int i = 0; i <= n; ++i) {
      if (i < n && idx[i] >= 0) continue;
      bool ok = i - start >= 3;
      for (int k = start; ok && k < i; ++k) ok = idx[k] < numPts;
      if (ok) {
        for (int k = start + 1; k + 1 < i; ++k) {
          tris.push_back(base + idx[start]);
          tris.push_back(base + idx[k]);
          tris.push_back(base + idx[k + 1]);
        }
      }
      start = i + 1;
    }
  });
}

}  // namespace vx::host
