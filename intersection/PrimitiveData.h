#pragma once
// The triangles of one collected shape in world coordinates, with the
// triangle octree the action searches. Built on first use from the shape's
// path (triangle souping through an SoCallbackAction); the octree is built
// on first use as well and both are kept as long as the record lives.
#include <Inventor/SbBox3f.h>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbPlane.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/lists/SbList.h>

#include <memory>
#include <vector>

#include "intersection/SbTri3f.h"
#include "intersection/TriangleBoxTree.h"

class SbOctTree;
class SoPath;
class SoPrimitiveVertex;

namespace vxisect {

// Internal to the intersection action (see ShapeData.h on the namespace).
class __attribute__((visibility("hidden"))) PrimitiveData {
 public:
  // One stored triangle. `tri` comes first so that octree items and the
  // SbTri3f pointers handed out both point into the same record.
  struct Triangle {
    SbTri3f tri;  // world points
    SbBox3f box;  // box of the three points

    // SbPlane(tri points) for the exact test, made on first use (most
    // triangles of a set never meet a candidate).
    const SbPlane& getPlane() const {
      if (!hasPlane) {
        plane = SbPlane(tri.getPoint(0), tri.getPoint(1), tri.getPoint(2));
        hasPlane = true;
      }
      return plane;
    }

    mutable SbPlane plane;
    mutable bool hasPlane = false;
  };

  // The triangle-souping traversal: an SoCallbackAction with a triangle
  // callback for SoBrepFaceSet. Creating one (and its traversal state) costs
  // more than souping a small shape, so each intersection action keeps one
  // and reuses it. Not shareable between threads.
  class Souper {
   public:
    Souper();
    Souper(const Souper&) = delete;
    Souper& operator=(const Souper&) = delete;
    void soup(PrimitiveData& into, const SoPath* path);

   private:
    static void triangleCB(void* data, SoCallbackAction* action, const SoPrimitiveVertex* v1,
                           const SoPrimitiveVertex* v2, const SoPrimitiveVertex* v3);
    SoCallbackAction m_action;
    PrimitiveData* m_target = nullptr;
  };

  // Soups the triangles of the SoBrepFaceSet shapes reached through
  // `soupPath` (default: `path`), moving their points from local to world by
  // `transform`. Zero-area triangles (after the transform) are dropped; the
  // first one dropped in the process is reported once through SoDebugError.
  // The souping traversal's own matrices are not used, so `soupPath` may
  // start anywhere above the shape that still gives it its coordinates (an
  // instance node: a path from the document head would visit every sibling
  // instance on the way). `path` is the path reported with the triangles.
  // Both must outlive the record (the owning shape data holds them).
  PrimitiveData(const SoPath* path, const SbMatrix& transform, Souper& souper, const SoPath* soupPath = nullptr);
  ~PrimitiveData();

  PrimitiveData(const PrimitiveData&) = delete;
  PrimitiveData& operator=(const PrimitiveData&) = delete;

  int getNumTriangles() const { return static_cast<int>(m_triangles.size()); }
  const Triangle& getTriangle(int i) const { return m_triangles[static_cast<size_t>(i)]; }
  const SbMatrix& getTransform() const { return m_transform; }
  const SbMatrix& getInverse() const { return m_inverse; }
  const SbBox3f& getBox() const { return m_box; }
  const SoPath* getPath() const { return m_path; }

  // Octree over the triangles (items are Triangle pointers), built on first
  // use over the triangles' box enlarged by 1 %, with TriangleBoxTree::
  // itemOverlap as item test. Empty when that box is below 0.0001 on every
  // axis; triangles below 0.0001 on every axis are left out.
  SbOctTree* getOctTree();

  // Appends a pointer to every stored triangle, in collection order.
  void appendTriangles(SbList<SbTri3f*>& out);

  // Hierarchy over the triangles' boxes (all of them, in set order), built
  // on first use; see TriangleBoxTree.
  const TriangleBoxTree& getBoxTree();

 private:
  void addTriangle(const SbVec3f& q1, const SbVec3f& q2, const SbVec3f& q3);

  SbMatrix m_transform;
  SbMatrix m_inverse;
  std::vector<Triangle> m_triangles;
  SbBox3f m_box;
  const SoPath* m_path;
  std::unique_ptr<SbOctTree> m_octTree;
  std::unique_ptr<TriangleBoxTree> m_boxTree;
};

}  // namespace vxisect
