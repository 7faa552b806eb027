#include "tools/AssemblyImporter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/DefaultLogger.hpp>
#include <assimp/Importer.hpp>
#include <assimp/LogStream.hpp>

#include "host/DocumentIO.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
#include "tools/AssemblyHandBack.h"
#include "tools/AssimpSceneConverter.h"
#include "tools/DocumentCensus.h"
#include "tools/ImportFileChecks.h"
#include "tools/IsolatedRun.h"
#include "tools/StepImporter.h"

namespace {

struct Format {
  const char* extension;
  const char* what;    // completes "not a valid ..."
  const char* reader;  // completes "... reader failed"
};

const Format kFormats[] = {
    {".iv", "Inventor document", "Inventor"},
    {".gltf", "glTF file", "glTF"},
    {".glb", "glTF binary", "glTF"},
    {".obj", "OBJ file", "OBJ"},
    {".stl", "STL file", "STL"},
    {".ply", "PLY file", "PLY"},
    {".3mf", "3MF file", "3MF"},
    {".dae", "COLLADA file", "COLLADA"},
    {".fbx", "FBX file", "FBX"},
    {".step", "STEP file", "STEP"},
    {".stp", "STEP file", "STEP"},
    {".p21", "STEP file", "STEP"},
    {".ifc", "IFC file", "IFC"},
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

bool ReadWhole(const std::string& file, std::string& bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  bytes = text.str();
  return !in.bad();
}

// Opens `file` and reads its first and last bytes; false with `error` set.
bool ReadEnds(const std::string& file, const std::string& label, std::string& head, std::string& tail,
              std::uintmax_t& size, std::string& error) {
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
  if (!std::filesystem::is_regular_file(status)) {  // a FIFO would block, a device never end
    error = label + ": cannot open (not a regular file)";
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

SoKRN_MainDoc* ImportInventorDocument(const std::string& bytes, const std::string& label,
                                      const vx::host::ReadOptions& readOptions, std::string& error,
                                      ImportStats& stats) {
  std::string reason;
  SoKRN_MainDoc* doc = vx::host::ReadDocumentFromString(bytes, reason, readOptions);
  if (!doc) {
    error = label + ": " + OneLine(reason);
    return nullptr;
  }
  const auto held = vx::host::SoRef<SoKRN_MainDoc>::adopt(doc);  // released on every way out but success
  DocumentCensus census(label, stats);
  const std::int64_t placed = census.Count(doc->getTopPrototype(), error);
  if (placed <= 0) {
    if (placed == 0) error = label + ": no triangles";
    return nullptr;
  }
  stats.placedTriangles = placed;
  doc->ref();  // the caller's
  return doc;
}

// The FBX reader reports an object it cannot read (a polygon index out of
// range, say) as an error in its log and goes on without the object: the
// scene it returns is missing a part. The first such message makes the
// import fail. One log serves the process; imports in one process are
// serialised by the caller (one import at a time per process).
class ReaderErrorLog : public Assimp::LogStream {
public:
  static ReaderErrorLog& Get() {
    static ReaderErrorLog* log = [] {
      Assimp::DefaultLogger::create("", Assimp::Logger::NORMAL, 0);
      auto* stream = new ReaderErrorLog;  // owned by the logger
      Assimp::DefaultLogger::get()->attachStream(stream, Assimp::Logger::Err);
      return stream;
    }();
    return *log;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_first.clear();
  }
  std::string First() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_first;
  }
  void write(const char* message) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_first.empty() || !message) return;
    std::string text = message;
    const std::size_t at = text.find("FBX-DOM");
    if (at != std::string::npos) m_first = text.substr(at);
  }

private:
  std::mutex m_mutex;
  std::string m_first;
};

// Reads `file` with assimp and converts its scene into `out`; false with
// the one-line error.
bool ConvertWithAssimp(const std::string& file, const std::string& label, const Format& format, ImportedAssembly& out,
                       std::string& error) {
  Assimp::Importer importer;
  // One node per FBX model, not a chain of helper nodes per pivot.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
  // COLLADA: coordinates as in the file, not turned to Y up; node names
  // from the name attributes (what users see), not the XML ids.
  importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_IGNORE_UP_DIRECTION, true);
  importer.SetPropertyBool(AI_CONFIG_IMPORT_COLLADA_USE_COLLADA_NAMES, true);
  // Only positions and faces are used; without the rest, vertex joining
  // welds by position.
  importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_NORMALS | aiComponent_TANGENTS_AND_BITANGENTS |
                                                          aiComponent_COLORS | aiComponent_TEXCOORDS |
                                                          aiComponent_BONEWEIGHTS | aiComponent_ANIMATIONS |
                                                          aiComponent_TEXTURES | aiComponent_LIGHTS |
                                                          aiComponent_CAMERAS | aiComponent_MATERIALS);

  // Read and validate first; coordinates are checked before any
  // post-processing step can merge or move a bad vertex.
  ReaderErrorLog& log = ReaderErrorLog::Get();
  log.Clear();
  const aiScene* scene = importer.ReadFile(file, aiProcess_ValidateDataStructure);
  if (scene && !log.First().empty()) {
    error = label + ": not a valid " + format.what + " (" + OneLine(log.First()) + ")";
    return false;
  }
  if (!scene) {
    const std::string reason = AssimpReason(importer.GetErrorString());
    if (reason.find("mNumMeshes is 0") != std::string::npos)
      error = label + ": no triangles (no meshes)";  // validation's words for it
    else
      error = label + ": not a valid " + format.what + " (" + reason + ")";
    return false;
  }
  if (!AssimpSceneConverter::CheckScene(*scene, label, error)) return false;
  // No pre-transforming, no graph optimisation: the hierarchy is the assembly.
  scene =
      importer.ApplyPostProcessing(aiProcess_RemoveComponent | aiProcess_Triangulate | aiProcess_JoinIdenticalVertices);
  if (!scene) {
    error = label + ": " + format.what + " could not be triangulated (" + AssimpReason(importer.GetErrorString()) + ")";
    return false;
  }
  AssimpSceneConverter converter(*scene, label, std::filesystem::path(file).filename().string());
  converter.SetDropRootUnitScale(std::string(format.extension) == ".dae");
  return converter.Build(out, error);
}

// Our document from a converted assembly, with its counts; null with the
// reason when it cannot be built.
SoKRN_MainDoc* BuildFromImported(const ImportedAssembly& assembly, const std::string& label, ImportStats& stats,
                                 std::string& error) {
  std::string reason;
  SoKRN_MainDoc* doc = BuildImportedAssembly(assembly, AssimpSceneConverter::kMaxDepth, reason);
  if (!doc) {
    error = label + ": the imported assembly cannot be built (" + reason + ")";
    return nullptr;
  }
  stats = assembly.stats;
  return doc;
}

SoKRN_MainDoc* ImportWithAssimp(const std::string& file, const std::string& label, const Format& format,
                                std::string& error, ImportStats& stats) {
  ImportedAssembly assembly;
  if (!ConvertWithAssimp(file, label, format, assembly, error)) return nullptr;
  return BuildFromImported(assembly, label, stats, error);
}

// The answer of an import run in the child: "E" and the message; "A" and
// the assembly in its hand-back form (formats read by assimp); or "O", the
// counts, and (STEP, whose documents carry colours) the document as text.
std::string EncodeFailure(const std::string& error) { return "E" + error; }

std::string EncodeSuccess(const ImportStats& stats, const std::string& document) {
  std::string out = "O";
  out.append(reinterpret_cast<const char*>(&stats), sizeof stats);
  return out + document;
}

bool IsIsolationDisabled() {
  const char* v = std::getenv("VX_IMPORT_IN_PROCESS");
  return v && *v && std::string(v) != "0";
}

// The checks before any reader runs: the file's ends for every format, then
// the whole text or archive (read into `bytes`) for the formats whose damage
// shows only there. False with `error`.
bool CheckBeforeReading(const std::string& file, const Format& format, std::uintmax_t& size, std::string& bytes,
                        std::string& error) {
  const std::string& label = file;
  std::string head, tail, reason;
  if (!ReadEnds(file, label, head, tail, size, error)) return false;
  const std::string ext = format.extension;
  if ((ext == ".ply" && !importchecks::CheckPly(head, size, reason)) ||
      (ext == ".stl" && !importchecks::CheckStl(head, tail, size, reason)) ||
      (ext == ".ifc" && !importchecks::CheckIfc(head, reason)) ||
      (ext == ".glb" && !importchecks::CheckGlb(head, size, reason))) {
    error = label + ": not a valid " + format.what + " (" + reason + ")";
    return false;
  }
  const bool asciiFbx = ext == ".fbx" && head.compare(0, 18, "Kaydara FBX Binary") != 0;
  if (ext == ".iv" || ext == ".dae" || ext == ".3mf" || asciiFbx) {
    if (!ReadWhole(file, bytes)) {
      error = label + ": cannot read";
      return false;
    }
    if ((ext == ".dae" && !importchecks::CheckDae(bytes, reason)) ||
        (ext == ".3mf" && !importchecks::Check3mf(bytes, reason)) ||
        (asciiFbx && !importchecks::CheckFbx(bytes, reason))) {
      error = label + ": not a valid " + format.what + " (" + reason + ")";
      return false;
    }
  }
  return true;
}

// The import run in a child process; `importHere` is the in-process import
// of the same file. Fills `counts` when it returns a document.
SoKRN_MainDoc* ImportIsolated(const std::string& file, const Format& format, std::uintmax_t size, bool byAssimp,
                              const std::function<SoKRN_MainDoc*(ImportStats&, std::string&)>& importHere,
                              ImportStats& counts, std::string& error) {
  const std::string& label = file;
  const std::string ext = format.extension;
  std::string reason;
  // The reader runs in a child. Scenes read by assimp come back as the
  // converted arrays (AssemblyHandBack.h), checked here and built into
  // kits once, here; STEP documents come back as our own document text
  // and go through our reader's checks once more. For our own files the
  // child's work is the check: the same bytes are then read here, which
  // the child has shown to be safe.
  const isolated::Limits limits = isolated::DefaultLimits(size);
  const isolated::Result run = isolated::Run(
      [&](std::string& out) {
        std::string why;
        try {
          if (byAssimp) {
            ImportedAssembly assembly;
            if (ConvertWithAssimp(file, label, format, assembly, why)) {
              out = "A";
              out += handback::Encode(assembly);
              return;
            }
          } else {
            ImportStats childCounts;
            if (SoKRN_MainDoc* built = importHere(childCounts, why)) {
              out = EncodeSuccess(childCounts, ext == ".iv" ? std::string() : vx::host::WriteDocumentToString(built));
              return;
            }
          }
        } catch (const std::exception& e) {
          why = label + ": import failed (" + OneLine(e.what()) + ")";
        }
        out = EncodeFailure(why.empty() ? label + ": import failed" : why);
      },
      limits);
  if (run.outcome != isolated::Outcome::kFinished || run.bytes.empty()) {
    error = label + ": cannot read: " + std::string(format.reader) + " reader failed (" +
            isolated::Describe(run, limits) + ")";
    return nullptr;
  }
  if (run.bytes[0] == 'E') {
    error = run.bytes.substr(1);
    return nullptr;
  }
  if (run.bytes[0] == 'A') {
    ImportedAssembly assembly;
    if (!handback::Decode(run.bytes.substr(1), assembly, reason)) {
      error = label + ": cannot read: " + std::string(format.reader) + " reader gave a damaged answer (" + reason + ")";
      return nullptr;
    }
    return BuildFromImported(assembly, label, counts, error);
  }
  if (run.bytes[0] != 'O' || run.bytes.size() < 1 + sizeof(ImportStats)) {
    error = label + ": cannot read: " + std::string(format.reader) + " reader gave no answer";
    return nullptr;
  }
  if (ext == ".iv") {
    return importHere(counts, error);
  } else {
    std::memcpy(&counts, run.bytes.data() + 1, sizeof counts);
    SoKRN_MainDoc* doc = vx::host::ReadDocumentFromString(run.bytes.substr(1 + sizeof counts), reason);
    if (!doc) error = label + ": the imported document does not read back (" + OneLine(reason) + ")";
    return doc;
  }
}

}  // namespace

const char* ImportAssemblyExtensions() { return ".iv .gltf .glb .obj .stl .ply .3mf .dae .fbx .step .stp .p21 .ifc"; }

SoKRN_MainDoc* ImportAssembly(const std::string& file, std::string& error, ImportStats* stats,
                              const ImportOptions& options) {
  error.clear();
  const std::string& label = file;
  try {
    const Format* format = FindFormat(file);
    if (!format) {
      error = label + ": unsupported file type (supported: " + ImportAssemblyExtensions() + ")";
      return nullptr;
    }
    std::uintmax_t size = 0;
    std::string bytes;
    if (!CheckBeforeReading(file, *format, size, bytes, error)) return nullptr;
    const std::string ext = format->extension;

    vx::host::ReadOptions readOptions;
    readOptions.allowFileNodes = options.allowExternal;
    readOptions.baseDir = std::filesystem::path(file).parent_path().string();
    const bool isStep = std::string(format->what) == "STEP file";
    const bool byAssimp = ext != ".iv" && !isStep;
    auto importHere = [&](ImportStats& counts, std::string& why) {
      return ext == ".iv" ? ImportInventorDocument(bytes, label, readOptions, why, counts)
             : isStep     ? ImportStep(file, label, why, counts)
                          : ImportWithAssimp(file, label, *format, why, counts);
    };

    ImportStats counts;
    SoKRN_MainDoc* doc = nullptr;
    if (!options.isolate || IsIsolationDisabled()) {
      doc = importHere(counts, error);
    } else {
      doc = ImportIsolated(file, *format, size, byAssimp, importHere, counts, error);
    }
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
