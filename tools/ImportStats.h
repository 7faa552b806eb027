#pragma once
// What an import built and what it left out. Kits are counted once each: a
// part prototype placed three times is one prototype and three instances.
#include <cstdint>

struct ImportStats {
  int instances = 0;                     // instance kits
  int prototypes = 0;                    // part and sub-assembly prototypes (the top prototype not counted)
  std::int64_t triangles = 0;            // triangles stored, each prototype once
  std::int64_t placedTriangles = 0;      // triangles of all placed occurrences (what a check sees)
  int meshesDropped = 0;                 // meshes without one usable triangle (points, lines, all degenerate)
  std::int64_t degenerateTriangles = 0;  // zero-area triangles and repeated indices dropped
  int collapsedNodes = 0;                // nodes with a singular transform (scale 0), left out with their subtrees
  int shearedPlacements = 0;             // node transforms with shear, moved down (see AssimpSceneConverter.h)
};
