// libFuzzer target: one importer, chosen by VX_FUZZ_FORMAT (the extension
// without its dot: obj, stl, ply, gltf, glb, 3mf, dae, fbx, iv). The input is
// written to a file of that extension and imported in this process, without
// the child process that guards the program, so that the sanitizers and the
// coverage see the readers and our converter. A crash inside a third-party
// reader found here is contained in the program by that child process; the
// fuzz script replays every finding through the program to show it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/SoKRN_MainDoc.h"
#include "host/VistrelHost.h"
#include "module/VistrelExt.h"
#include "tools/AssemblyImporter.h"

namespace {

std::string g_file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  VistrelHostInit();
  initVistrelExtClass();
  const char* format = std::getenv("VX_FUZZ_FORMAT");
  const char* dir = std::getenv("TMPDIR");
  g_file = std::string(dir && *dir ? dir : "/tmp") + "/vx_fuzz_" + std::to_string(getpid()) + "." +
           (format && *format ? format : "obj");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(g_file.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  ImportOptions options;
  options.isolate = std::getenv("VX_FUZZ_ISOLATE") != nullptr;
  std::string error;
  if (SoKRN_MainDoc* doc = ImportAssembly(g_file, error, nullptr, options)) doc->unref();
  return 0;
}
