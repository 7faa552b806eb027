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
// Isolation: the reader runs in a child process (tools/IsolatedRun.h) under
// a time and memory limit; a reader that crashes, aborts, runs out of memory
// or hangs gives "<file>: cannot read: COLLADA reader failed (crashed:
// SIGSEGV)" and the like. The child hands back our own document text, which
// our reader checks again. VX_IMPORT_IN_PROCESS=1 in the environment turns
// isolation off (for debugging a reader); VX_IMPORT_SECONDS and
// VX_IMPORT_MEMORY_MB set the limits.
//
// External references: Inventor File nodes are refused unless
// ImportOptions::allowExternal is set, and then must name regular files.
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
struct ImportOptions {
  bool isolate = true;         // run the reader in a child process
  bool allowExternal = false;  // read Inventor File nodes (regular files only)
};

SoKRN_MainDoc* ImportAssembly(const std::string& file, std::string& error, ImportStats* stats = nullptr,
                              const ImportOptions& options = ImportOptions());

// The accepted extensions, for help texts: ".iv .gltf .glb ...".
const char* ImportAssemblyExtensions();
