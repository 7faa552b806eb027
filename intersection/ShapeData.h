#pragma once
// What the intersection action keeps per collected shape: a copy of the path
// to the shape, the shape's local box with its local-to-world transform, and
// the triangle data, built on first use. When the shape was collected from an
// instance placed by its parent's matrix, a second path from that instance to
// the shape is kept for souping (see PrimitiveData).
//
// Records are shared between the action's two group lists and its cache, so
// they are reference counted: whoever stores a pointer calls ref(), and
// unref() deletes the record (its path reference and triangle data) when the
// last holder lets go.
#include <Inventor/SbXfBox3f.h>

#include "intersection/PrimitiveData.h"

class SoPath;

namespace vxisect {

// Internal to the intersection action. Coin's library exports internal
// classes of the same names; the namespace and hidden visibility keep the
// two apart at load time.
class __attribute__((visibility("hidden"))) ShapeData {
 public:
  // Takes a reference on `path` (and on `soupPath` when given); `box` is the
  // shape's local box with the model matrix at the shape as transform. The
  // count starts at 0.
  ShapeData(SoPath* path, const SbXfBox3f& box, SoPath* soupPath = nullptr);

  ShapeData(const ShapeData&) = delete;
  ShapeData& operator=(const ShapeData&) = delete;

  void ref() { ++m_refs; }
  void unref();

  SoPath* getPath() const { return m_path; }
  const SbXfBox3f& getBox() const { return m_box; }

  // The shape's triangles, souped with `souper` on the first call.
  PrimitiveData* getPrimitives(PrimitiveData::Souper& souper);

 private:
  ~ShapeData();

  SoPath* m_path;
  SoPath* m_soupPath;  // m_path, or the shorter path from the placed instance
  SbXfBox3f m_box;
  PrimitiveData* m_primitives = nullptr;
  int m_refs = 0;
};

}  // namespace vxisect
