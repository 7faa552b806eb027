#pragma once
// The embedded sample assembly, built in code. Units are millimetres; z is up.
// Every mesh is closed (watertight) and wound counter-clockwise seen from
// outside. All touching faces lie on exactly representable coordinates, so
// contacts are exact in float.
//
// Top prototype "Root" and its instances (placement id: instance name,
// prototype, where):
//   0: "Housing"   box 100 x 60 x 40, x 0..100, y 0..60, z 0..40
//   1: "Cover"     box 90 x 50 x 6 resting on the housing: x 5..95, y 5..55,
//                  z 40..46
//   2: "Bracket_1" sub-assembly "Bracket" at (150, 0, 0)
//   3: "Bracket_2" the same prototype "Bracket" at (150, 60, 0)
//   4: "Bearing"   ring, bore radius 10.5, outer radius 20, length 20,
//                  axis along x through (0, 150, 30), x -10..10
//   5: "Shaft"     cylinder radius 10, length 60, same axis, x -30..30
//   6: "PlateA"    box 30 x 30 x 5, x 150..180, y 150..180, z 0..5
//   7: "PlateB"    box 30 x 30 x 5, x 180..210 (flush against PlateA)
//   8: "Pin"       cylinder radius 3, z 0..20, axis through (215, 165):
//                  2 mm from PlateB's face x = 210
// Prototype "Bracket" (local coordinates, plate on z = 0..5):
//   0: "Plate"     40 x 20 x 5, x -20..20, y -10..10, two through holes:
//                  radius 4.5 at (-10, 0), radius 3.5 (undersized) at (10, 0)
//   1: "Bolt_1"    bolt in the radius 4.5 hole: shank radius 4, z -10..5;
//                  head radius 7, z 5..10 (seated on the plate)
//   2: "Bolt_2"    the same bolt prototype in the radius 3.5 hole
// Cylinders have 64 segments (bolts, holes, pin: 32), all with a vertex at
// angle 0, so a shaft and its bore have parallel facets.
//
// Expected results with a 1 mm clearance tolerance (placement paths, then
// instance-name paths):
//   penetration: "2|2" - "2|0"  Bracket_1/Bolt_2 - Bracket_1/Plate
//                "3|2" - "3|0"  Bracket_2/Bolt_2 - Bracket_2/Plate
//                (shank radius 4 in a radius 3.5 hole; the head also sits
//                on the plate)
//   touch:       "0" - "1"      Housing - Cover (face contact at z = 40)
//                "6" - "7"      PlateA - PlateB (flush faces at x = 180)
//                "2|1" - "2|0"  Bracket_1/Bolt_1 - Bracket_1/Plate (head
//                "3|1" - "3|0"  Bracket_2/Bolt_1 - Bracket_2/Plate  seated)
//   clearance:   "4" - "5"      Bearing - Shaft: 0.5 mm radial gap; the
//                               smallest facet distance is
//                               0.5 cos(pi/64) = 0.4994 mm
//   none:        every other pair; the nearest is "7" - "8" (PlateB - Pin,
//                2 mm: within a 3 mm tolerance, not within 1 mm).
// 1,680 triangles in the prototypes, 2,928 as placed.
class SoKRN_MainDoc;

namespace vx::host {
// Builds the sample document (referenced once: the caller unrefs it).
SoKRN_MainDoc* BuildSampleAssembly();
}  // namespace vx::host
