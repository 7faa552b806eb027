// The placed form of the two-group mode (apply1/apply2 with the parent's
// matrix) against the path form on seeded random scenes: the same reported
// triangle pairs in the same order, the same collected triangles, and paths
// that still start at the scene's head.
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoGetMatrixAction.h>
#include <gtest/gtest.h>

#include "support/IsectTestScene.h"

using namespace isect_test;
using Action = SoIntersectionDetectionExtAction;

namespace {

// Heads of the paths a visitation callback sees.
struct HeadRecorder {
  std::vector<SoNode*> heads;
  static SoCallbackAction::Response cb(void* data, const SoPath* where) {
    static_cast<HeadRecorder*>(data)->heads.push_back(where->getHead());
    return SoCallbackAction::CONTINUE;
  }
};

struct Side {
  Side() : action(1) {
    action.addIntersectionCallback(&Recorder::cb, &rec);
    action.addVisitationCallback(SoBrepFaceSet::getClassTypeId(), &HeadRecorder::cb, &visits);
  }
  Action action;
  Recorder rec;
  HeadRecorder visits;
};

}  // namespace

TEST(ActionPlaced, SameHitsAndTrianglesAsThePathForm) {
  initAction();
  std::mt19937 rng(20261206);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  auto rotation = [&] { return SbRotation(SbVec3f(u(rng), u(rng), u(rng) + 2.0f), 3.0f * u(rng)); };

  // root { T; group { T; 12 instances }; group { T; 12 instances } }: two
  // parents with different matrices, instances close enough to touch.
  auto* root = new SoSeparator;
  root->ref();
  auto* top = new SoTransform;
  top->translation = SbVec3f(100, -50, 7);
  top->rotation = rotation();
  root->addChild(top);
  const Mesh sphere = uvSphere(1.0f, 10, 6);
  const Mesh soup = randomSoup(rng, 40, SbVec3f(-1, -1, -1), SbVec3f(1, 1, 1), 0.6f);
  std::vector<SoPath*> paths;
  for (int g = 0; g < 2; ++g) {
    auto* group = new SoSeparator;
    auto* xf = new SoTransform;
    xf->translation = SbVec3f(0.3f * g, 0, 0);
    xf->rotation = rotation();
    xf->scaleFactor = SbVec3f(1.0f + 0.5f * g, 1.0f + 0.5f * g, 1.0f + 0.5f * g);
    group->addChild(xf);
    root->addChild(group);
    for (int i = 0; i < 12; ++i) {
      const SbVec3f at(1.5f * u(rng), 1.5f * u(rng), 1.5f * u(rng));
      group->addChild(instance(i % 3 == 0 ? soup : sphere, at, rotation(), 0.7f + 0.3f * (u(rng) + 1.0f)));
      auto* path = new SoPath(root);
      path->append(group);
      path->append(group->getChild(group->getNumChildren() - 1));
      path->ref();
      paths.push_back(path);
    }
  }
  // The matrix in force where a traversal of the path enters its tail (the
  // tail, a separator, adds nothing of its own to a matrix action): the
  // transforms beside the path, at both levels, included.
  auto parentOf = [](SoPath* path) {
    SoGetMatrixAction matrix{SbViewportRegion()};
    matrix.apply(path);
    return matrix.getMatrix();
  };

  Side byPath, placed;
  int pairsWithHits = 0;
  for (float eps : {0.0f, 0.05f}) {
    byPath.action.setIntersectionDetectionEpsilon(eps);
    placed.action.setIntersectionDetectionEpsilon(eps);
    byPath.action.clearInsShapeData();
    placed.action.clearInsShapeData();
    for (size_t i = 0; i < paths.size(); ++i) {
      byPath.action.apply1(paths[i]);
      placed.action.apply1(paths[i], parentOf(paths[i]));
      for (size_t j = i + 1; j < paths.size(); ++j) {
        byPath.rec.hits.clear();
        placed.rec.hits.clear();
        byPath.action.apply2(paths[j]);
        placed.action.apply2(paths[j], parentOf(paths[j]));
        ASSERT_EQ(byPath.rec.hits.size(), placed.rec.hits.size()) << "pair " << i << "," << j << " eps " << eps;
        pairsWithHits += byPath.rec.hits.empty() ? 0 : 1;
        for (size_t k = 0; k < byPath.rec.hits.size(); ++k) {
          const Hit& a = byPath.rec.hits[k];
          const Hit& b = placed.rec.hits[k];
          // The placed traversal starts from the matrix the path traversal has
          // at the tail and multiplies the same matrices below it: bit for bit.
          EXPECT_EQ(a.first, b.first);
          EXPECT_EQ(a.second, b.second);
          EXPECT_EQ(a.firstShape, b.firstShape);
          EXPECT_EQ(a.secondShape, b.secondShape);
          EXPECT_EQ(a.distance, b.distance);
        }
        SbList<SbTri3f*> t1, t2;
        byPath.action.GetIns2Triangles(t1);
        placed.action.GetIns2Triangles(t2);
        ASSERT_EQ(t1.getLength(), t2.getLength());
        for (int k = 0; k < t1.getLength(); ++k) EXPECT_EQ(key(t1[k]->getPoints()), key(t2[k]->getPoints()));
      }
    }
  }
  // The scene is built so that a fair share of pairs report something.
  EXPECT_GT(pairsWithHits, 20);
  // Callbacks see paths from the scene's head in both forms.
  ASSERT_FALSE(placed.visits.heads.empty());
  for (SoNode* head : placed.visits.heads) EXPECT_EQ(head, root);
  for (SoPath* p : paths) p->unref();
  root->unref();
}
