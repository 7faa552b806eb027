// vistrel render FILE --png OUT.png: a picture of a document as it is.
#include <cstdio>

#include "host/SoKRN_MainDoc.h"
#include "tools/Commands.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"
#include "tools/SafeOutput.h"
#include "tools/StepImporter.h"

int RunRender(const std::vector<std::string>& args) {
  std::string file, out;
  int width = 1024, height = 768;
  bool allowExternal = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      std::puts(
          "usage: vistrel render [FILE] --png OUT.png [--size WxH] [--deflection D] [--allow-external]\n"
          "Renders the assembly in FILE (the embedded sample without FILE) to a PNG picture.");
      return 0;
    }
    if (a == "--png" && i + 1 < args.size()) {
      out = args[++i];
      if (out.empty()) {
        std::fprintf(stderr, "vistrel render: --png needs a value (an empty path was given)\n");
        return 2;
      }
    } else if (a == "--allow-external") {
      allowExternal = true;
    } else if (a == "--size" && i + 1 < args.size()) {
      if (std::sscanf(args[++i].c_str(), "%dx%d", &width, &height) != 2 || width < 16 || height < 16 || width > 8192 ||
          height > 8192) {
        std::fprintf(stderr, "vistrel render: --size takes WxH between 16 and 8192, not '%s'\n", args[i].c_str());
        return 2;
      }
    } else if (a == "--deflection") {
      if (!TakeDeflectionOption(args, i, "vistrel render")) return 2;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "vistrel render: unknown option or missing value '%s'\n", a.c_str());
      return 2;
    } else if (file.empty()) {
      file = a;
    } else {
      std::fprintf(stderr, "vistrel render: more than one file given\n");
      return 2;
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "vistrel render: --png OUT.png is required\n");
    return 2;
  }
  const std::string why = safeoutput::CheckOutputPath("--png", out, {file});
  if (!why.empty()) {
    std::fprintf(stderr, "vistrel render: %s\n", why.c_str());
    return 2;
  }
  std::string error;
  const vx::host::SoRef<SoKRN_MainDoc> doc = LoadAssembly(file, error, allowExternal);
  if (!doc) {
    std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    return 2;
  }
  int status = 0;
  OffscreenRenderer renderer(width, height);
  renderer.setBackgroundColor(SbColor(1.0f, 1.0f, 1.0f));
  PngImage picture;
  if (!renderer.isValid()) {
    std::fprintf(stderr, "vistrel: no offscreen rendering: %s\n", renderer.errorMessage().c_str());
    status = 2;
  } else if (!renderer.render(doc, picture)) {
    std::fprintf(stderr, "vistrel: %s: %s\n", file.empty() ? "sample" : file.c_str(), renderer.errorMessage().c_str());
    status = 2;
  } else if (!picture.writeFile(out, error)) {
    std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    status = 2;
  } else {
    std::printf("wrote %s (%dx%d)\n", out.c_str(), width, height);
  }
  return status;
}
