// vistrel: interference checking of assemblies from the command line.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "draggers/VistrelHostDraggers.h"
#include "host/VistrelHost.h"
#include "module/VistrelExt.h"
#include "tools/Commands.h"

namespace {

const char kUsage[] =
    "usage: vistrel <command> [FILE] [options]\n"
    "  check [FILE]   interference check (the embedded sample assembly without FILE);\n"
    "                 'vistrel check --help' lists the options\n"
    "  info [FILE]    the assembly tree: placement paths, names, matrices, triangles\n"
    "  render FILE --png OUT.png   picture of a document as it is\n"
    "  view [FILE]    the desktop viewer (vistrel-view, when built)\n"
    "  report OLD.json --tolerance T   re-classify a check's stored results for a\n"
    "                 smaller tolerance without re-running ('vistrel report --help')\n";

// `vistrel view`: runs vistrel-view from this program's own directory, so the
// command-line tool itself never links Qt.
int runViewer(char** argv) {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string viewer = "vistrel-view";
  if (n > 0) {
    self[n] = '\0';
    std::string dir(self);
    dir.erase(dir.find_last_of('/') + 1);
    if (access((dir + "viewer/vistrel-view").c_str(), X_OK) == 0)
      viewer = dir + "viewer/vistrel-view";  // build tree
    else if (access((dir + "vistrel-view").c_str(), X_OK) == 0)
      viewer = dir + "vistrel-view";
  }
  argv[1] = const_cast<char*>(viewer.c_str());
  execvp(viewer.c_str(), argv + 1);
  std::fprintf(stderr, "vistrel view: cannot run %s (built without the viewer?)\n", viewer.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "view") return runViewer(argv);
  if (command == "check") CatchInterrupts();
  VistrelHostInit();
  initVistrelExtClass();
  VistrelHostInitCuttingPlane();
  if (command == "info") return RunInfo(args);
  if (command == "check") return RunCheck(args);
  if (command == "render") return RunRender(args);
  if (command == "report") return RunReport(args);
  std::fprintf(stderr, "vistrel: unknown command '%s'\n%s", command.c_str(), kUsage);
  return 2;
}
