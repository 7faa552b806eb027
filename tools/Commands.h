#pragma once
// The commands of the `vistrel` tool. Each takes the arguments after the
// command name and returns the process exit status:
// 0 success (for check: nothing found), 1 check found results, 2 bad usage
// or unreadable input (with a one-line message on stderr).
#include <string>
#include <vector>

#include "host/SoRef.h"

class SoKRN_MainDoc;

int RunInfo(const std::vector<std::string>& args);
int RunCheck(const std::vector<std::string>& args);
// From here on Ctrl-C (SIGINT) no longer ends the program: RunCheck stops
// its run through StopCalculate and still reports, also when the interrupt
// came while the program was starting or loading the file.
void CatchInterrupts();
int RunRender(const std::vector<std::string>& args);
int RunReport(const std::vector<std::string>& args);

// The assembly of `file` (the embedded sample when empty), held; null with a
// one-line reason naming the file. `allowExternal`: read the Inventor File
// nodes of a document (regular files only).
vx::host::SoRef<SoKRN_MainDoc> LoadAssembly(const std::string& file, std::string& error, bool allowExternal = false);

class SoFullPath;
// The path from the document down to its top prototype, held; or null.
vx::host::SoRef<SoFullPath> TopPrototypePath(SoKRN_MainDoc* doc);
