// The cost of running the readers in a child process: each file is imported
// in process and isolated, alternately, and the median wall times are
// printed, with the median CPU time (user and system, this process and its
// waited-for children: the reader's child included), which a loaded machine
// does not inflate the way it delays the wake-ups of a parent waiting on its
// child. usage: import_cost [--runs N] FILE...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
#include "host/VistrelHost.h"
#include "module/VistrelExt.h"
#include "tools/AssemblyImporter.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double CpuSeconds() {
  double total = 0;
  for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    getrusage(who, &u);
    total += u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  VistrelHostInit();
  initVistrelExtClass();
  int runs = 3;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else
      files.push_back(a);
  }
  std::printf("%-28s %12s %12s %10s %8s %12s %12s %8s\n", "file", "in process", "isolated", "cost", "ratio",
              "cpu in proc", "cpu isolated", "ratio");
  for (const std::string& file : files) {
    std::vector<double> here, there, cpuHere, cpuThere;
    for (int r = 0; r < runs; ++r) {
      for (const bool isolate : {false, true}) {
        ImportOptions options;
        options.isolate = isolate;
        std::string error;
        const double cpuStart = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const auto doc = vx::host::SoRef<SoKRN_MainDoc>::adopt(ImportAssembly(file, error, nullptr, options));
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuSeconds() - cpuStart;
        if (!doc) {
          std::fprintf(stderr, "%s\n", error.c_str());
          return 2;
        }
        (isolate ? there : here).push_back(s);
        (isolate ? cpuThere : cpuHere).push_back(cpu);
      }
    }
    const double a = Median(here), b = Median(there), ca = Median(cpuHere), cb = Median(cpuThere);
    std::printf("%-28s %10.3f s %10.3f s %8.3f s %7.2fx %10.3f s %10.3f s %7.2fx\n", file.c_str(), a, b, b - a, b / a,
                ca, cb, cb / ca);
  }
  return 0;
}
