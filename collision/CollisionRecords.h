#pragma once
// Input and result records of the interference check.
#include <cstdint>
#include <string>
#include <vector>

#include "host/MeshTypes.h"

class SoFullPath;

// One input instance.
struct _collisionIns {
  int32_t nID = 0;              // number within its list (1 + largest nID at add time)
  SoFullPath* pPath = nullptr;  // document root .. instance kit; the list holds one reference
  bool bSelf = true;            // also test the instance's own child instances against each other
  int32_t nTag = 0;             // caller's tag; 2 = leave hidden instances out on this side
};

// One interfering (or close) pair of instances.
struct _collisionResult {
  int32_t nID = 0;                  // 1-based number
  int32_t nType = 0;                // 0 touch/penetrate, 1 within the tolerance, 2 farther
  SoFullPath* pPath1 = nullptr;     // side-1 path under test (borrowed)
  SoFullPath* pTopPath1 = nullptr;  // side-1 input path (borrowed)
  int32_t nTag1 = 0;
  SoFullPath* pPath2 = nullptr;
  SoFullPath* pTopPath2 = nullptr;
  int32_t nTag2 = 0;
  std::vector<_vtx> cutLinePnts;               // cut points, world space
  std::vector<std::vector<int32_t>> cutLines;  // cut segments: index pairs into cutLinePnts
  std::vector<_vtx> cutFacePnts;               // cut-face vertices
  std::vector<int32_t> cutFaceTris;            // three indices per cut-face triangle
  float fMinDist = 0.0f;                       // smallest reported triangle distance
  float fCompacity = 0.0f;                     // enclosed volume of the cut face (0: none; NaN: unknown,
                                               // see volumeNote)
  std::string volumeNote;                      // why the volume is unknown (empty when it is known)
  double penetrationDepth = -1;                // lower bound of the translational penetration depth
                                               // (mesh/PenetrationDepth.h); negative: not computed
  // How the surfaces meet, counted over the reported triangle pairs (with or
  // without cut faces): transversal crossings, and coplanar overlaps facing
  // the same way. Either means the interiors overlap (a penetration); a pair
  // at distance 0 with neither only touches. bInside: one part lies wholly
  // inside the other with no crossing at all.
  int32_t nCrossPairs = 0;
  int32_t nOverlapPairs = 0;
  bool bInside = false;
  bool Penetrates() const { return nCrossPairs > 0 || nOverlapPairs > 0 || bInside; }
  float fBox[6] = {0, 0, 0, 0, 0, 0};  // cached result box: min xyz, max xyz
};
