#pragma once
// A small assembly with a repeated sub-assembly, for the toolbox tests.
//
//   Root (top prototype)
//    |- SubL   id 3          Sub    at T(10,0,0)
//    |- SubR   id 0          Sub    at Rz(90deg), T(0,0,5)
//    |- Loose  id 0xff       Box    at scale 2, T(0,-4,0)
//    `- Big    id 0xdeadbeef Empty  (sub-assembly without children)
//   Sub (sub-assembly prototype)
//    |- BoxA   id 1          Box    at T(1,0,0)
//    `- BoxB   id 0x1a       Box    at Rx(90deg), T(0,2,0)
//
// SubL/BoxB and SubR/BoxB end at the same instance kit (BoxB) but are two
// occurrences with their own placement paths "3|1a" and "0|1a".
#include <cmath>
#include <string>
#include <vector>

#include <Inventor/SbRotation.h>
#include <Inventor/SoFullPath.h>
#include <gtest/gtest.h>

#include "graphops/CGraphOperation.h"
#include "support/HostTestUtil.h"

// Takes over the reference of a path handed out referenced (Resolve).
struct PathRef {
  vx::host::SoRef<SoPath> held;
  SoPath* const path;  // held's
  explicit PathRef(SoPath* referenced) : held(vx::host::SoRef<SoPath>::adopt(referenced)), path(referenced) {}
  SoFullPath* full() const { return static_cast<SoFullPath*>(path); }
};

using hosttest::Placement;

inline SbMatrix Product(SbMatrix a, const SbMatrix& b) {  // a * b, row vectors
  a.multRight(b);
  return a;
}

inline ::testing::AssertionResult MatrixNear(const SbMatrix& a, const SbMatrix& b, float tol = 1e-4f) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      if (std::fabs(a[i][j] - b[i][j]) > tol)
        return ::testing::AssertionFailure() << "element [" << i << "][" << j << "]: " << a[i][j] << " vs " << b[i][j];
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult VecNear(const SbVec3f& a, const SbVec3f& b, float tol = 1e-4f) {
  if ((a - b).length() <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a[0] << ", " << a[1] << ", " << a[2] << ") vs (" << b[0] << ", "
                                       << b[1] << ", " << b[2] << ")";
}

class AssemblyTest : public ::testing::Test {
protected:
  void SetUp() override {
    const float quarter = float(M_PI / 2);
    mSubL = Placement(SbVec3f(10, 0, 0), SbRotation::identity());
    mSubR = Placement(SbVec3f(0, 0, 5), SbRotation(SbVec3f(0, 0, 1), quarter));
    mLoose = Placement(SbVec3f(0, -4, 0), SbRotation::identity(), 2.0f);
    mBoxA = Placement(SbVec3f(1, 0, 0), SbRotation::identity());
    mBoxB = Placement(SbVec3f(0, 2, 0), SbRotation(SbVec3f(1, 0, 0), quarter));

    doc.reset(vx::host::NewDocument());
    top = doc->getTopPrototype();
    box = hosttest::MakeBox(doc, L"Box", SbVec3f(0, 0, 0), SbVec3f(1, 1, 1));
    sub = vx::host::MakeAssemblyPrototype(doc, L"Sub");
    empty = vx::host::MakeAssemblyPrototype(doc, L"Empty");
    boxA = vx::host::PlaceInstance(doc, sub, box, mBoxA, L"BoxA", 1);
    boxB = vx::host::PlaceInstance(doc, sub, box, mBoxB, L"BoxB", 0x1a);
    subL = vx::host::PlaceInstance(doc, top, sub, mSubL, L"SubL", 3);
    subR = vx::host::PlaceInstance(doc, top, sub, mSubR, L"SubR", 0);
    loose = vx::host::PlaceInstance(doc, top, box, mLoose, L"Loose", 0xff);
    big = vx::host::PlaceInstance(doc, top, empty, SbMatrix::identity(), L"Big", 0xdeadbeef);
    doc->adoptTree();
  }

  void TearDown() override {
    CGraphOperation::SetActiveMainDocKit(nullptr);
    doc.reset();
  }

  // A referenced path from the document (or `root`) to a relative placement path.
  SoPath* Resolve(const char* relative, SoNode* root = nullptr) {
    return CGraphOperation::GetNodeSoPathByPlcPath(root ? root : doc, relative);
  }

  std::string PlcText(const SoPath* path) {
    std::string text;
    CGraphOperation::GetNodePlcPath(path, text, true);
    return text;
  }

  vx::host::SoRef<SoKRN_MainDoc> doc;
  SoKRN_ComponentKit *top = nullptr, *box = nullptr, *sub = nullptr, *empty = nullptr;
  SoKRN_ComponentKit *boxA = nullptr, *boxB = nullptr, *subL = nullptr, *subR = nullptr;
  SoKRN_ComponentKit *loose = nullptr, *big = nullptr;
  SbMatrix mSubL, mSubR, mLoose, mBoxA, mBoxB;
};
