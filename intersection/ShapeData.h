#pragma once
// What the intersection action keeps per collected shape of an instance: a
// copy of the path to the shape, the shape's local box with its
// local-to-world transform (the model matrix at the shape), and a reference
// on the shape's local triangles, which all instances of the prototype
// share (PrimitiveData). World triangles are computed from those when
// needed, always with the same float operation (the transform's
// multVecMatrix of the local point), so every user sees the same points.
//
// Records are shared between the action's two group lists and its cache, so
// they are reference counted: whoever stores a pointer calls ref(), and
// unref() deletes the record (its path reference and its reference on the
// triangles) when the last holder lets go. Used on the action's thread only.
#include <Inventor/SbXfBox3f.h>
#include <Inventor/lists/SbList.h>

#include <vector>

#include "intersection/PrimitiveData.h"

class SoPath;

namespace vx::isect {

// Internal to the intersection action (see PrimitiveData.h on the namespace).
class __attribute__((visibility("hidden"))) ShapeData {
public:
  // Takes a reference on `path` and on `prims`; `box` is the shape's local
  // box with the model matrix at the shape as transform. The count starts
  // at 0.
  ShapeData(SoPath* path, const SbXfBox3f& box, PrimitiveData* prims);

  ShapeData(const ShapeData&) = delete;
  ShapeData& operator=(const ShapeData&) = delete;

  void ref() { ++m_refs; }
  void unref();

  SoPath* getPath() const { return m_path; }
  const SbXfBox3f& getBox() const { return m_box; }
  PrimitiveData* getPrimitives() const { return m_prims; }
  const SbMatrix& getTransform() const { return m_box.getTransform(); }
  const SbMatrix& getInverse() const { return m_inverse; }

  // World points of local triangle i.
  void worldPoints(int i, SbVec3f out[3]) const;

  // Appends the world triangles of nonzero area, in set order. They are
  // made on the first call and kept until releaseWorld().
  void appendWorldTriangles(SbList<SbTri3f*>& out);
  void releaseWorld();

  // How many of the action's group lists hold the record (the world
  // triangles go when none does).
  int groupUses = 0;

private:
  ~ShapeData();

  SoPath* m_path;
  SbXfBox3f m_box;
  SbMatrix m_inverse;
  PrimitiveData* m_prims;
  std::vector<SbTri3f> m_world;
  bool m_hasWorld = false;
  int m_refs = 0;
};

}  // namespace vx::isect
