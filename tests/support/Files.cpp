#include "support/Files.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace vxtest {

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "vx_" + std::to_string(getpid()) + "_" + name;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int Shell(const std::string& line) {
  const int w = std::system(line.c_str());
  return WIFEXITED(w) ? WEXITSTATUS(w) : -1;
}

}  // namespace vxtest
