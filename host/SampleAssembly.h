#pragma once
class SoKRN_MainDoc;

namespace vhost {
// The embedded sample assembly, built in code (referenced once).
// Results it is built to show (model units are millimetres):
//  - "Bracket/Bolt_2" penetrates "Bracket/Plate" (undersized hole),
//  - "PlateA" and "PlateB" touch flush,
//  - "Shaft" sits in "Bearing" with a 0.5 mm radial clearance,
//  - the sub-assembly "Bracket" is placed twice, everything else is apart.
SoKRN_MainDoc* BuildSampleAssembly();
}  // namespace vhost
