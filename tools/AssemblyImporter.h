#pragma once
// Importing an assembly file into a new document.
//
// Formats, chosen by the file's extension (case-insensitive):
//   .iv                    our own Inventor document files (root: a document kit)
//   .gltf .glb .obj .stl .ply .3mf .dae .fbx   mesh exchange formats, read with assimp
//   .step .stp .p21        STEP, read with Open CASCADE (StepImporter.h)
//   .ifc                   IFC2x3, read with assimp (later schemas refused: ImportFileChecks.h)
// For the exchange formats the file's node hierarchy becomes the assembly
// tree and instancing is kept; AssimpSceneConverter.h states the mapping.
// Units stay as in the file.
//
// Errors: null and one line "<file>: <reason>", <file> as given, e.g.
//   "bad.glb: not a valid glTF binary (...)", "part.stl: empty file",
//   "cut.stl: not a valid STL file (ASCII STL without endsolid: file cut off?)",
//   "nan.obj: mesh \"Bracket\" (node \"Bracket\") has a non-finite coordinate (...)",
//   "lines.obj: no triangles (only points and lines)".
// Nothing is thrown. Dropped content (points, lines, degenerate triangles,
// collapsed nodes) is not an error; it is counted in ImportStats.
//
// Known limits: a text file cut off at a line boundary can look complete
// (OBJ, ASCII PLY); what assimp's readers accept as complete is taken. The
// .iv reader keeps the host's own limits (ascii files only).
#include <string>

#include "tools/ImportStats.h"

class SoKRN_MainDoc;

// Reads `file` into a new document, referenced once (the caller unrefs it),
// or returns null with `error` set. `stats`, when given, receives the counts
// of a successful import (it is left unchanged on failure).
SoKRN_MainDoc* ImportAssembly(const std::string& file, std::string& error,
                              ImportStats* stats = nullptr);

// The accepted extensions, for help texts: ".iv .gltf .glb ...".
const char* ImportAssemblyExtensions();
