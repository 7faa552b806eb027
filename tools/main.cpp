// vistrel: interference checking of assemblies from the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "host/VistrelHost.h"
#include "host/VistrelHostDraggers.h"
#include "module/VistrelExt.h"
#include "tools/Commands.h"

namespace {

const char kUsage[] =
    "usage: vistrel <command> [FILE] [options]\n"
    "  check [FILE]   interference check (the embedded sample assembly without FILE);\n"
    "                 'vistrel check --help' lists the options\n"
    "  info [FILE]    the assembly tree: placement paths, names, matrices, triangles\n"
    "  render FILE --png OUT.png   picture of a document as it is\n"
    "  report OLD.json --tolerance T   re-classify a check's stored results for a\n"
    "                 smaller tolerance without re-running ('vistrel report --help')\n";

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
