// Instance matrices (local/global, with/without user matrix), matrix writes
// and point conversion, on the assembly of support/TestAssembly.h.
#include <random>

#include <Inventor/SbVec4f.h>

#include "host/SoKRN_State.h"
#include "support/TestAssembly.h"

using CGO = CGraphOperation;

namespace {

SbMatrix Read(SoKRN_MainDoc* doc, const char* plcPath, bool global, bool withUser) {
  SbMatrix m;
  m.makeIdentity();
  m[3][0] = 99;  // must be overwritten
  CGO::GetInsMatrixByPlcPath(doc, plcPath, m, global, withUser);
  return m;
}

SbVec3f ScaleOf(const SbMatrix& m) {
  SbVec3f t, s;
  SbRotation r, so;
  m.getTransform(t, r, s, so);
  return s;
}

// A rigid motion (scale 1) to use as a requested matrix.
const SbMatrix kMove = Placement(SbVec3f(3, -1, 2), SbRotation(SbVec3f(1, 1, 0), 0.7f));

}  // namespace

TEST_F(AssemblyTest, ReadsFollowTheAssembly) {
  EXPECT_TRUE(MatrixNear(mBoxB, Read(doc, "PATH|0|3|1a", false, false)));
  EXPECT_TRUE(MatrixNear(mBoxB, Read(doc, "0|1a", false, false)));  // relative form
  EXPECT_TRUE(MatrixNear(mSubR, Read(doc, "PATH|0|0", false, false)));
  EXPECT_TRUE(MatrixNear(mLoose, Read(doc, "PATH|0|ff", false, true)));
  EXPECT_TRUE(MatrixNear(Product(mBoxB, mSubL), Read(doc, "PATH|0|3|1a", true, false)));
  EXPECT_TRUE(MatrixNear(Product(mBoxB, mSubR), Read(doc, "PATH|0|0|1a", true, true)));

  // By hand: BoxB turns (0,0,1) about x to (0,-1,0) and moves it to (0,1,0);
  // SubR turns that about z to (-1,0,0) and lifts it to (-1,0,5).
  const SbMatrix world = Read(doc, "PATH|0|0|1a", true, false);
  EXPECT_TRUE(VecNear(SbVec3f(-1, 0, 5), CGO::LocalPointToWorldPoint(world, SbVec3f(0, 0, 1))));
  EXPECT_TRUE(VecNear(SbVec3f(-2, 0, 5), CGO::LocalPointToWorldPoint(world, SbVec3f(0, 0, 0))));

  // The root (which needs no document), unresolved paths and a missing
  // document read as the identity.
  const SbMatrix identity = SbMatrix::identity();
  for (const char* root : {"PATH|0", "0", ""})
    EXPECT_TRUE(MatrixNear(identity, Read(nullptr, root, true, true))) << root;
  EXPECT_TRUE(MatrixNear(identity, Read(doc, "PATH|0|77", true, true)));
  EXPECT_TRUE(MatrixNear(identity, Read(nullptr, "PATH|0|3", true, true)));
  CGO::SetActiveMainDocKit(doc);
  EXPECT_TRUE(MatrixNear(mSubL, Read(nullptr, "PATH|0|3", true, true)));
}

TEST_F(AssemblyTest, UserMatrixComposesOnThePlacementPerOccurrence) {
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|3|1a", kMove, true);
  EXPECT_TRUE(MatrixNear(kMove, Read(doc, "PATH|0|3|1a", false, true)));
  EXPECT_TRUE(MatrixNear(mBoxB, Read(doc, "PATH|0|3|1a", false, false)));
  EXPECT_TRUE(MatrixNear(Product(kMove, mSubL), Read(doc, "PATH|0|3|1a", true, true)));
  // The other occurrence of the same instance kit keeps its matrix.
  EXPECT_TRUE(MatrixNear(Product(mBoxB, mSubR), Read(doc, "PATH|0|0|1a", true, true)));

  // Asking for the current placement stores the identity.
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|0|1a", mBoxB, true);
  PathRef path(Resolve("0|1a", top));
  SbMatrix user;
  ASSERT_TRUE(doc->getKRNState()->getUserMatrix(path.path, user));
  EXPECT_TRUE(MatrixNear(SbMatrix::identity(), user));
}

TEST_F(AssemblyTest, UserMatrixNeverChangesTheInstanceSize) {
  // Loose is placed at scale 2; a request at scale 4 is brought back to 2.
  const SbMatrix bigger = Placement(SbVec3f(1, 2, 3), SbRotation(SbVec3f(0, 1, 0), 0.3f), 4.0f);
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|ff", bigger, true);
  EXPECT_TRUE(VecNear(SbVec3f(2, 2, 2), ScaleOf(Read(doc, "PATH|0|ff", false, true))));
  PathRef path(Resolve("ff", top));
  SbMatrix user;
  ASSERT_TRUE(doc->getKRNState()->getUserMatrix(path.path, user));
  EXPECT_TRUE(VecNear(SbVec3f(1, 1, 1), ScaleOf(user)));

  // A request at the instance's own scale is taken as it is.
  const SbMatrix same = Placement(SbVec3f(1, 2, 3), SbRotation(SbVec3f(0, 1, 0), 0.3f), 2.0f);
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|ff", same, true);
  EXPECT_TRUE(MatrixNear(same, Read(doc, "PATH|0|ff", false, true)));

  // Only the x scales decide the (uniform) correction factor: 2 / 4.
  SbMatrix uneven;
  uneven.setScale(SbVec3f(4, 1, 1));
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|ff", uneven, true);
  EXPECT_TRUE(VecNear(SbVec3f(2, 0.5f, 0.5f), ScaleOf(Read(doc, "PATH|0|ff", false, true))));
}

TEST_F(AssemblyTest, PlacementWriteKeepsScaleAndDropsTheUserMatrix) {
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|3|1a", kMove, true);
  const SbMatrix placed = Placement(SbVec3f(0, 0, 7), SbRotation(SbVec3f(0, 0, 1), 1.0f), 3.0f);
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|3|1a", placed, false);

  EXPECT_TRUE(MatrixNear(placed, Read(doc, "PATH|0|3|1a", false, false)));
  EXPECT_TRUE(MatrixNear(Read(doc, "PATH|0|3|1a", true, false), Read(doc, "PATH|0|3|1a", true, true)));
  PathRef path(Resolve("3|1a", top));
  SbMatrix user;
  EXPECT_FALSE(doc->getKRNState()->getUserMatrix(path.path, user));
  // The placement lives on the shared instance kit: both occurrences move.
  EXPECT_TRUE(MatrixNear(placed, Read(doc, "PATH|0|0|1a", false, false)));

  CGO::SetInsMatrixByPlcPath(doc, "PATH|0", placed, false);  // the root: no effect
  EXPECT_TRUE(MatrixNear(mSubL, Read(doc, "PATH|0|3", false, false)));
}

TEST_F(AssemblyTest, CoinPathFormsAgreeWithPlacementPathForms) {
  PathRef path(Resolve("0|1a"));  // from the document, not the top prototype
  CGO::SetInsMatrixBySoPath(doc, path.full(), kMove, true);
  for (bool global : {false, true})
    for (bool withUser : {false, true}) {
      SbMatrix bySoPath;
      CGO::GetInsMatrixBySoPath(doc, path.full(), bySoPath, global, withUser);
      EXPECT_TRUE(MatrixNear(Read(doc, "PATH|0|0|1a", global, withUser), bySoPath))
          << "global " << global << ", user " << withUser;
    }
  EXPECT_TRUE(MatrixNear(kMove, Read(doc, "PATH|0|0|1a", false, true)));
  SbMatrix m;
  m.setScale(5.0f);
  CGO::GetInsMatrixBySoPath(doc, nullptr, m, true, true);
  EXPECT_TRUE(MatrixNear(SbMatrix::identity(), m));

  // With a sub-assembly active, the Coin path forms see no placement: it
  // reads as identity, so a request is stored as it is.
  PathRef other(Resolve("3|1a"));
  doc->setActiveComp(sub);
  CGO::GetInsMatrixBySoPath(doc, other.full(), m, false, false);
  EXPECT_TRUE(MatrixNear(SbMatrix::identity(), m));
  EXPECT_TRUE(MatrixNear(mBoxB, Read(doc, "PATH|0|3|1a", false, false)));
  CGO::SetInsMatrixBySoPath(doc, other.full(), kMove, true);
  SbMatrix user;
  ASSERT_TRUE(doc->getKRNState()->getUserMatrix(other.path, user));
  EXPECT_TRUE(MatrixNear(kMove, user));
  SbVec3f p(1, 2, 3);
  CGO::PointLocalToWorld(doc, other.full(), p);
  EXPECT_TRUE(VecNear(SbVec3f(1, 2, 3), p));
  doc->setActiveComp(nullptr);

  CGO::SetInsMatrixBySoPath(doc, path.full(), mBoxA, false);  // a placement write drops the user matrix
  EXPECT_TRUE(MatrixNear(mBoxA, Read(doc, "PATH|0|0|1a", false, true)));
}

TEST_F(AssemblyTest, PointConversionsRoundTrip) {
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|3|1a", kMove, true);
  CGO::SetInsMatrixByPlcPath(doc, "PATH|0|ff", mBoxB, true);
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<float> coord(-50.0f, 50.0f);
  for (const char* relative : {"3|1a", "0|1a", "3|1", "ff", "0"}) {
    SCOPED_TRACE(relative);
    PathRef path(Resolve(relative));
    const SbMatrix world = Read(doc, (std::string("PATH|0|") + relative).c_str(), true, true);
    for (int i = 0; i < 20; ++i) {
      const SbVec3f local(coord(rng), coord(rng), coord(rng));
      SbVec3f p = local;
      CGO::PointLocalToWorld(doc, path.full(), p);
      EXPECT_TRUE(VecNear(CGO::LocalPointToWorldPoint(world, local), p, 1e-3f));
      CGO::PointWorldToLocal(doc, path.full(), p);
      EXPECT_TRUE(VecNear(local, p, 1e-3f));
      EXPECT_TRUE(VecNear(local, CGO::WorldPointToLocalPoint(world, CGO::LocalPointToWorldPoint(world, local)), 1e-3f));
    }
  }
  SbVec3f p(4, 5, 6);
  CGO::PointWorldToLocal(doc, nullptr, p);
  EXPECT_TRUE(VecNear(SbVec3f(4, 5, 6), p));
}

TEST(PointConversion, NoDivisionByTheFourthComponent) {
  SbMatrix m = SbMatrix::identity();
  m[3][3] = 2.0f;  // w of every point becomes 2
  EXPECT_TRUE(VecNear(SbVec3f(1, 2, 3), CGO::LocalPointToWorldPoint(m, SbVec3f(1, 2, 3))));
  // The inverse halves w alone; x, y, z stay undivided.
  EXPECT_TRUE(VecNear(SbVec3f(1, 2, 3), CGO::WorldPointToLocalPoint(m, SbVec3f(1, 2, 3))));
}
