#pragma once
// The triangles of one face-set shape in the shape's own (local)
// coordinates, with the box hierarchy the action searches them by. Every
// instance of a prototype reaches the same shape node with the same
// coordinates, so one record serves all of them: the action keys records by
// what determines the local triangles (see Key) and places them per
// instance with the instance's matrix (ShapeData).
//
// Records are shared by the shape data of many instances, the action's
// cache and search jobs on worker threads, so the count is atomic: whoever
// stores a pointer calls ref(), and unref() deletes the record when the last
// holder lets go. The triangles are added while the collecting traversal
// generates them (on the action's thread), the hierarchy is built right
// after that traversal (prepare()), and neither changes afterwards, so other
// threads may read a prepared record.
#include <Inventor/SbBasic.h>
#include <Inventor/SbBox3f.h>
#include <Inventor/SbMatrix.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <tuple>
#include <vector>

#include "intersection/SbTri3f.h"
#include "intersection/TriangleBoxTree.h"

class SoNode;
class SoState;

namespace vx::isect {

// Internal to the intersection action. Coin's library exports internal
// classes of the same names; the namespace and hidden visibility keep the
// two apart at load time.
class __attribute__((visibility("hidden"))) PrimitiveData {
public:
  // What the triangles of a face set depend on: the node (its fields,
  // vertexProperty included, change its node id), the coordinates it takes
  // from the traversal state when it has no vertex property of its own (the
  // id of the node that set them, which changes with their values, and
  // their count), and the face type of the shape hints, which decides how
  // faces of more than three corners are split.
  struct Key {
    const SoNode* shape = nullptr;
    SbUniqueId shapeId = 0;
    SbUniqueId coordsId = 0;
    int numCoords = 0;
    int faceType = 0;
    bool operator<(const Key& o) const {
      return std::tie(shape, shapeId, coordsId, numCoords, faceType) <
             std::tie(o.shape, o.shapeId, o.coordsId, o.numCoords, o.faceType);
    }
    // The key of `shape` in `state` (during a traversal at the shape).
    static Key of(const SoNode* shape, SoState* state);
  };

  PrimitiveData() = default;
  PrimitiveData(const PrimitiveData&) = delete;
  PrimitiveData& operator=(const PrimitiveData&) = delete;

  void ref() { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void unref() {
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) <= 1) delete this;
  }

  // Appends one generated triangle (local points). A triangle of zero area
  // is kept as well: whether it is dropped is decided on its world points
  // (ShapeData), as the rounding of the placement may change it; the first
  // one of zero local area in the process is reported once through
  // SoDebugError.
  void addTriangle(const SbVec3f& q1, const SbVec3f& q2, const SbVec3f& q3);

  int getNumTriangles() const { return static_cast<int>(m_triangles.size()); }
  const SbTri3f& getTriangle(int i) const { return m_triangles[static_cast<size_t>(i)]; }
  // Triangles of nonzero local area (the count that picks which set of a
  // pair is searched, as the world count did before sharing).
  int getNumValid() const { return m_valid; }
  // World points of triangle i placed by `transform` (multVecMatrix of
  // each local point); false when they span no area (such a triangle takes
  // no part, as if it had never been generated).
  bool worldTriangle(const SbMatrix& transform, int i, SbVec3f out[3]) const {
    const SbTri3f& t = m_triangles[static_cast<size_t>(i)];
    for (int k = 0; k < 3; ++k) transform.multVecMatrix(t.getPoint(k), out[k]);
    return (out[0] - out[1]).cross(out[0] - out[2]).length() > 0.0f;
  }
  // Box of every stored point (local).
  const SbBox3f& getBox() const { return m_box; }

  // Builds the hierarchy when missing (once the triangles are complete).
  // Call on the owning thread before a worker reads the record.
  void prepare();
  // Hierarchy over the local boxes of all triangles, in set order; prepare()
  // must have run.
  const TriangleBoxTree& getBoxTree() const { return *m_boxTree; }

  // Heap bytes held by the record (triangles, hierarchy), for measurements.
  std::size_t memoryBytes() const;

private:
  ~PrimitiveData() = default;

  std::vector<SbTri3f> m_triangles;
  SbBox3f m_box;
  int m_valid = 0;
  std::unique_ptr<TriangleBoxTree> m_boxTree;
  std::atomic<int> m_refs{0};
};

}  // namespace vx::isect
