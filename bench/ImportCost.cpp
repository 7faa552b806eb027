// The cost of running the readers in a child process: each file is imported
// in process and isolated, alternately, and the median wall times are
// printed. usage: import_cost [--runs N] FILE...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/SoKRN_MainDoc.h"
#include "host/VistrelHost.h"
#include "module/VistrelExt.h"
#include "tools/AssemblyImporter.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  VistrelHostInit();
  initVistrelExtClass();
  int runs = 3;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else files.push_back(a);
  }
  std::printf("%-28s %12s %12s %10s %8s\n", "file", "in process", "isolated", "cost", "ratio");
  for (const std::string& file : files) {
    std::vector<double> here, there;
    for (int r = 0; r < runs; ++r) {
      for (const bool isolate : {false, true}) {
        ImportOptions options;
        options.isolate = isolate;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        SoKRN_MainDoc* doc = ImportAssembly(file, error, nullptr, options);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!doc) {
          std::fprintf(stderr, "%s\n", error.c_str());
          return 2;
        }
        doc->unref();
        (isolate ? there : here).push_back(s);
      }
    }
    const double a = Median(here), b = Median(there);
    std::printf("%-28s %10.3f s %10.3f s %8.3f s %7.2fx\n", file.c_str(), a, b, b - a, b / a);
  }
  return 0;
}
