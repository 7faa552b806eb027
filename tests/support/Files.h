#pragma once
// What tests read back from the programs they run: temporary paths unique to
// the test process, whole files, JSON reports; shell lines to run them.
// JSON goes through the tool library's strict reader, so only executables
// that link the tools may call ReadJsonFile.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tools/JsonRead.h"

namespace vxtest {

using Json = JsonValue;

// <gtest temp dir>vx_<pid>_<name>: no two test processes share it.
std::string TempPath(const std::string& name);
// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// `line` run by /bin/sh; its exit status, -1 when it did not exit normally.
int Shell(const std::string& line);

struct ProgramRun {
  int status = -1;  // exit status, or -signal
  std::string out, err;
};
// Runs `program` with `args` in `cwd` (empty: here) under a 60 s alarm, so a
// hang fails the caller instead of the suite; with `interruptAfterMs` >= 0
// sends SIGINT after that long.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "",
                      int interruptAfterMs = -1);

// The JSON file parsed; a missing file or bad syntax fails the calling test.
inline Json ReadJsonFile(const std::string& path) {
  Json json;
  std::string error;
  EXPECT_TRUE(ReadJson(ReadFile(path), json, error)) << path << ": " << error;
  return json;
}

}  // namespace vxtest
