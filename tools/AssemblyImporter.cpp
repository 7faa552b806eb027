#include "tools/AssemblyImporter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "host/DocumentIO.h"
#include "host/SoKRN_MainDoc.h"
#include "tools/AssimpSceneConverter.h"
#include "tools/DocumentCensus.h"
#include "tools/ImportFileChecks.h"
#include "tools/StepImporter.h"

namespace {

struct Format {
  const char* extension;
  const char* what;  // completes "not a valid ..."
};

const Format kFormats[] = {
    {".iv", "Inventor document"}, {".gltf", "glTF file"},   {".glb", "glTF binary"},
    {".obj", "OBJ file"},         {".stl", "STL file"},     {".ply", "PLY file"},
    {".3mf", "3MF file"},         {".dae", "COLLADA file"}, {".fbx", "FBX file"},
    {".step", "STEP file"},       {".stp", "STEP file"},    {".p21", "STEP file"},
    {".ifc", "IFC file"},
};

const Format* FindFormat(const std::string& file) {
  std::string ext = std::filesystem::path(file).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const Format& f : kFormats)
    if (ext == f.extension) return &f;
  return nullptr;
}

// Readers' messages may span lines and end with a full stop; ours are one
// line inside parentheses.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
    if (blank) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out;
}

std::string AssimpReason(const char* message) {
  std::string reason = OneLine(message ? message : "");
  // assimp says this when the reader for the extension refused the content
  // outright (for glTF: JSON that does not parse).
  if (reason.rfind("No suitable reader found", 0) == 0) return "content not recognised";
  if (reason == "std::bad_alloc") return "out of memory: absurd element counts?";
  return reason.empty() ? "unknown reason" : reason;
}

// Opens `file` and reads its first and last bytes; false with `error` set.
bool ReadEnds(const std::string& file, const std::string& label, std::string& head,
              std::string& tail, std::uintmax_t& size, std::string& error) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec || !std::filesystem::exists(status)) {
    error = label + ": cannot open (no such file)";
    return false;
  }
  if (std::filesystem::is_directory(status)) {
    error = label + ": cannot open (a directory, not a file)";
    return false;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = label + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  if (end < 0) {
    error = label + ": cannot read";
    return false;
  }
  size = static_cast<std::uintmax_t>(end);
  if (size == 0) {
    error = label + ": empty file";
    return false;
  }
  head.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(size, importchecks::kHeadBytes)));
  in.seekg(0);
  in.read(&head[0], static_cast<std::streamsize>(head.size()));
  tail.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(size, importchecks::kTailBytes)));
  in.seekg(static_cast<std::streamoff>(size - tail.size()));
  in.read(&tail[0], static_cast<std::streamsize>(tail.size()));
  if (!in) {
    error = label + ": cannot read";
    return false;
  }
  return true;
}

SoKRN_MainDoc* ImportInventorDocument(const std::string& file, const std::string& label,
                                      std::string& error, ImportStats& stats) {
  std::string reason;
  SoKRN_MainDoc* doc = vhost::ReadDocument(file, reason);
  if (!doc) {
    error = label + ": " + OneLine(reason);
    return nullptr;
  }
  std::int64_t placed = -1;
  try {
    DocumentCensus census(label, stats);
    placed = census.Count(doc->getTopPrototype(), error);
  } catch (...) {
    doc->unref();
    throw;
  }
  if (placed <= 0) {
    if (placed == 0) error = label + ": no triangles";
    doc->unref();
    return nullptr;
  }
  stats.placedTriangles = placed;
  return doc;
}

SoKRN_MainDoc* ImportWithAssimp(const std::string& file, const std::string& label,
                                const Format& format, std::string& error, ImportStats& stats) {
  Assimp::Importer importer;
  // One node per FBX model, not a chain of helper nodes per pivot.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  // COLLADA: coordinates as in the file, not turned to Y up; node names
  // from the name attributes (what users see), not the XML ids.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_IGNORE_UP_DIRECTION, true);
  importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
  // Only positions and faces are used; without the rest, vertex joining
  // welds by position.
  importer.SetPropertyInteger(
      AI_CONFIG_PP_RVC_FLAGS,
      aiComponent_NORMALS | aiComponent_TANGENTS_AND_BITANGENTS | aiComponent_COLORS |
          aiComponent_TEXCOORDS | aiComponent_BONEWEIGHTS | aiComponent_ANIMATIONS |
          aiComponent_TEXTURES | aiComponent_LIGHTS | aiComponent_CAMERAS | aiComponent_MATERIALS);

  // Read and validate first; coordinates are checked before any
  // post-processing step can merge or move a bad vertex.
  const aiScene* scene = importer.ReadFile(file, aiProcess_ValidateDataStructure);
  if (!scene) {
    const std::string reason = AssimpReason(importer.GetErrorString());
    if (reason.find("mNumMeshes is 0") != std::string::npos)
      error = label + ": no triangles (no meshes)";  // validation's words for it
    else
      error = label + ": not a valid " + format.what + " (" + reason + ")";
    return nullptr;
  }
  if (!AssimpSceneConverter::CheckScene(*scene, label, error)) return nullptr;
  // No pre-transforming, no graph optimisation: the hierarchy is the assembly.
  scene = importer.ApplyPostProcessing(aiProcess_RemoveComponent | aiProcess_Triangulate |
                                       aiProcess_JoinIdenticalVertices);
  if (!scene) {
    error = label + ": " + format.what + " could not be triangulated (" +
            AssimpReason(importer.GetErrorString()) + ")";
    return nullptr;
  }
  AssimpSceneConverter converter(*scene, label,
                                 std::filesystem::path(file).filename().string());
  converter.SetDropRootUnitScale(std::string(format.extension) == ".dae");
  return converter.Build(error, stats);
}

}  // namespace

const char* ImportAssemblyExtensions() {
  return ".iv .gltf .glb .obj .stl .ply .3mf .dae .fbx .step .stp .p21 .ifc";
}

SoKRN_MainDoc* ImportAssembly(const std::string& file, std::string& error, ImportStats* stats) {
  error.clear();
  const std::string& label = file;
  try {
    const Format* format = FindFormat(file);
    if (!format) {
      error = label + ": unsupported file type (supported: " + ImportAssemblyExtensions() + ")";
      return nullptr;
    }
    std::string head, tail;
    std::uintmax_t size = 0;
    if (!ReadEnds(file, label, head, tail, size, error)) return nullptr;

    std::string reason;
    const std::string ext = format->extension;
    if ((ext == ".ply" && !importchecks::CheckPly(head, size, reason)) ||
        (ext == ".stl" && !importchecks::CheckStl(head, tail, size, reason)) ||
        (ext == ".ifc" && !importchecks::CheckIfc(head, reason))) {
      error = label + ": not a valid " + format->what + " (" + reason + ")";
      return nullptr;
    }

    ImportStats counts;
    SoKRN_MainDoc* doc = ext == ".iv" ? ImportInventorDocument(file, label, error, counts)
                         : std::string(format->what) == "STEP file" ? ImportStep(file, label, error, counts)
                         : ImportWithAssimp(file, label, *format, error, counts);
    if (doc && stats) *stats = counts;
    return doc;
  } catch (const std::exception& e) {
    // The readers throw on some damaged files (std::bad_alloc for absurd
    // element counts); nothing may cross into the caller.
    error = label + ": import failed (" + OneLine(e.what()) + ")";
  } catch (...) {
    error = label + ": import failed";
  }
  return nullptr;
}
