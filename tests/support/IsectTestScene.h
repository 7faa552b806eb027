#pragma once
// Scene helpers for the intersection action tests: meshes, instances
// (SoSeparator { SoTransform; SoCoordinate3; SoBrepFaceSet }), a callback
// recorder, a visit counter and a debug-message catcher.
#include <Inventor/SbRotation.h>
#include <Inventor/SoPath.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTransform.h>

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/SoBrepFaceSet.h"
#include "intersection/SbTri3f.h"
#include "intersection/SoIntersectionDetectionExtAction.h"
#include "support/MeshGen.h"

namespace isect_test {

inline void initAction() {
  if (SoIntersectionDetectionExtAction::getClassTypeId().isBad()) SoIntersectionDetectionExtAction::initClass();
}

struct Mesh {
  std::vector<SbVec3f> points;
  std::vector<int> tris;  // three indices per triangle
  int numTriangles() const { return static_cast<int>(tris.size() / 3); }
  void add(const SbVec3f& a, const SbVec3f& b, const SbVec3f& c) {
    const int base = static_cast<int>(points.size());
    points.insert(points.end(), {a, b, c});
    tris.insert(tris.end(), {base, base + 1, base + 2});
  }
};

// Closed UV sphere about the origin: 2 * slices * (stacks - 1) triangles.
inline Mesh uvSphere(float radius, int slices, int stacks) {
  const vxtest::Mesh g = vxtest::Sphere(SbVec3f(0, 0, 0), radius, slices, stacks);
  Mesh m;
  for (std::size_t i = 0; i < g.xyz.size(); i += 3) m.points.push_back(SbVec3f(&g.xyz[i]));
  m.tris = g.tris;
  return m;
}

// `n` random triangles with corners within `size` of random centers in [lo, hi].
inline Mesh randomSoup(std::mt19937& rng, int n, const SbVec3f& lo, const SbVec3f& hi, float size) {
  Mesh m;
  std::uniform_real_distribution<float> u(0.0f, 1.0f), d(-size, size);
  auto jitter = [&] { return SbVec3f(d(rng), d(rng), d(rng)); };
  for (int i = 0; i < n; ++i) {
    const SbVec3f c(lo[0] + u(rng) * (hi[0] - lo[0]), lo[1] + u(rng) * (hi[1] - lo[1]),
                    lo[2] + u(rng) * (hi[2] - lo[2]));
    m.add(c + jitter(), c + jitter(), c + jitter());
  }
  return m;
}

// Appends SoCoordinate3 + SoBrepFaceSet for `m` to `group`; returns the face set.
inline SoBrepFaceSet* addFaceSet(SoGroup* group, const Mesh& m) {
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, static_cast<int>(m.points.size()), m.points.data());
  auto* shape = new SoBrepFaceSet;
  std::vector<int32_t> idx;
  for (size_t i = 0; i < m.tris.size(); i += 3) idx.insert(idx.end(), {m.tris[i], m.tris[i + 1], m.tris[i + 2], -1});
  shape->coordIndex.setValues(0, static_cast<int>(idx.size()), idx.data());
  group->addChild(coords);
  group->addChild(shape);
  return shape;
}

// An unreferenced instance; its face set is child 2.
inline SoSeparator* instance(const Mesh& m, const SbVec3f& translation = SbVec3f(0, 0, 0),
                             const SbRotation& rotation = SbRotation::identity(), float scale = 1.0f) {
  auto* sep = new SoSeparator;
  auto* xf = new SoTransform;
  xf->translation = translation;
  xf->rotation = rotation;
  xf->scaleFactor = SbVec3f(scale, scale, scale);
  sep->addChild(xf);
  addFaceSet(sep, m);
  return sep;
}

// A referenced path root -> child; the caller unrefs it.
inline SoPath* pathTo(SoGroup* root, SoNode* child) {
  auto* p = new SoPath(root);
  p->append(child);
  p->ref();
  return p;
}

using TriKey = std::array<float, 9>;
inline TriKey key(const SbVec3f* v) {
  return {v[0][0], v[0][1], v[0][2], v[1][0], v[1][1], v[1][2], v[2][0], v[2][1], v[2][2]};
}

// Index of each triangle of `list` by its exact world points.
inline std::map<TriKey, int> indexOf(const SbList<SbTri3f*>& list) {
  std::map<TriKey, int> out;
  for (int i = 0; i < list.getLength(); ++i) out[key(list[i]->getPoints())] = i;
  return out;
}

struct Hit {
  TriKey first, second;
  SoNode *firstShape, *secondShape;
  float distance;
};

// Records every call and answers `answer`; appends `id` to `log` if set.
struct Recorder {
  std::vector<Hit> hits;
  SoIntersectionDetectionExtAction::Resp answer = SoIntersectionDetectionExtAction::NEXT_PRIMITIVE;
  std::vector<int>* log = nullptr;
  int id = 0;
  static SoIntersectionDetectionExtAction::Resp cb(void* data, const SoIntersectingPrimitive* p1,
                                                   const SoIntersectingPrimitive* p2, float distance) {
    auto* self = static_cast<Recorder*>(data);
    self->hits.push_back(
        Hit{key(p1->xf_vertex), key(p2->xf_vertex), p1->path->getTail(), p2->path->getTail(), distance});
    if (self->log) self->log->push_back(self->id);
    return self->answer;
  }
};

// Counts visits of nodes of the registered type during collection.
struct VisitCounter {
  int visits = 0;
  SoCallbackAction::Response answer = SoCallbackAction::CONTINUE;
  static SoCallbackAction::Response cb(void* data, const SoPath*) {
    auto* self = static_cast<VisitCounter*>(data);
    ++self->visits;
    return self->answer;
  }
};

// Catches SoDebugError messages while alive, restoring the old handler.
struct DebugCatcher {
  std::vector<std::string> messages;
  SoErrorCB* oldHandler;
  void* oldData;
  DebugCatcher() : oldHandler(SoDebugError::getHandlerCallback()), oldData(SoDebugError::getHandlerData()) {
    SoDebugError::setHandlerCallback(&DebugCatcher::handler, this);
  }
  ~DebugCatcher() { SoDebugError::setHandlerCallback(oldHandler, oldData); }
  static void handler(const SoError* error, void* data) {
    static_cast<DebugCatcher*>(data)->messages.push_back(error->getDebugString().getString());
  }
  int count(const std::string& part) const {
    int n = 0;
    for (const auto& m : messages) n += m.find(part) != std::string::npos;
    return n;
  }
};

}  // namespace isect_test
