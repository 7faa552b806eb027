#pragma once
// What tests read back from the programs they run: temporary paths unique to
// the test process, whole files, JSON reports; shell lines to run them.
#include <string>

#include "support/MiniJson.h"

namespace vxtest {

// <gtest temp dir>vx_<pid>_<name>: no two test processes share it.
std::string TempPath(const std::string& name);
// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// The JSON file parsed; a missing file or bad syntax fails the calling test.
Json ReadJsonFile(const std::string& path);
// `line` run by /bin/sh; its exit status, -1 when it did not exit normally.
int Shell(const std::string& line);

}  // namespace vxtest
