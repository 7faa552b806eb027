#pragma once
// Importing STEP files (ISO 10303-21: AP203, AP214, AP242) with Open
// CASCADE's data exchange. Only this tool links Open CASCADE, and only when
// it was built with VX_WITH_STEP; without it ImportStep says so and fails.
//
// Mapping (the assembly structure the reader builds, XCAF labels):
// - One free shape that is an assembly becomes the top prototype itself
//   (named after it) and its components are placed directly in it. Several
//   free shapes, or one simple shape, are placed in a top prototype named
//   after the file.
// - Every assembly label is one sub-assembly prototype and every simple
//   shape label one part prototype, however often they are placed: a bolt
//   used 40 times is one prototype and 40 placed occurrences. A colour set
//   on a component (an instance colour) or inherited from an assembly makes
//   a colour variant: one more prototype for that shape and colour.
// - Components are instances with the component's placement (rigid; the
//   file's scale, if any, is kept). Instances are named after the component
//   label; a component without a name of its own (empty, or what the reader
//   makes up for one: the label entry "=>[0:1:...]" or the occurrence's
//   id, a number) is called "<prototype>:<n>", n counting the
//   placements of that prototype in the parent from 1. Prototypes are named
//   after their label.
// - Colours: a face's colour is, most specific first, its own (face
//   sub-shape), that of a solid or shell sub-shape holding it, the colour of
//   the component placing the part, the part label's, then the nearest
//   enclosing assembly's or component's. Surface colour before generic
//   colour. Colours are the file's RGB values (display, sRGB) and go into
//   the part prototype's bodies as one SoMaterial (per-triangle with a
//   PER_FACE binding when the faces differ). Transparency is not read.
// - Tessellation: BRepMesh with a linear deflection (the largest distance
//   between the triangles and the exact surface), absolute in model units,
//   or when not set 1/1000 of each part's bounding-box diagonal; angular
//   deflection 0.5 rad. Vertices at the same float position are joined;
//   degenerate triangles are dropped and counted (MeshCleanup.h). A part
//   without a face to mesh (wires, points) is dropped and counted.
// Units: the reader converts lengths to millimetres, whatever the file's
// unit.
//
// Errors (one line, "<label>: <reason>"): not a STEP file (no
// "ISO-10303-21;" header), cut off (no "END-ISO-10303-21;"), damage that
// our own scan finds first (StepFileScan.h: malformed statements, ids
// defined twice, references to missing entities), a file the reader
// cannot parse, any error of the reader's syntax and type checks
// (references to missing entities, wrong parameter counts or types; the
// first named by its entity number: Open CASCADE's transfer is not safe on
// such entities), no shapes, shapes that cannot be transferred, no
// triangles, non-finite
// coordinates, nesting deeper than AssimpSceneConverter::kMaxDepth. Open
// CASCADE's exceptions (Standard_Failure) are caught and reported; nothing
// is thrown. Open CASCADE's own console messages are switched off.
//
// Known limits: an instance colour set through a path of several
// components (a colour for one bolt of one placed sub-assembly only) is not
// read; layers, validation properties and annotations (PMI) are not read.
#include <cstddef>
#include <string>
#include <vector>

#include "tools/ImportStats.h"

class SoKRN_MainDoc;

// True when this build reads STEP.
bool StepImportAvailable();

// The linear deflection of later imports, in model units (millimetres);
// <= 0 selects the default relative to each part's size.
void SetStepDeflection(double deflection);
double StepDeflection();

// The commands' "--deflection D" option: args[i] is "--deflection"; takes
// the value args[i + 1] (a number > 0), advances i past it and sets it.
// False with a message on stderr ("<command>: ...") when it is missing or bad.
bool TakeDeflectionOption(const std::vector<std::string>& args, std::size_t& i, const char* command);

// Reads the STEP file `file` into a new document, referenced once (the caller
// unrefs it), or returns null with `error` set. `label` names the file in
// messages. `stats` receives the counts of a successful import.
SoKRN_MainDoc* ImportStep(const std::string& file, const std::string& label, std::string& error, ImportStats& stats);
