#include "support/Files.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

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

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                      int interruptAfterMs) {
  const std::string out = TempPath("stdout.txt"), err = TempPath("stderr.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    if ((!cwd.empty() && chdir(cwd.c_str()) != 0) || !freopen(out.c_str(), "w", stdout) ||
        !freopen(err.c_str(), "w", stderr))
      _exit(127);
    alarm(60);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  if (interruptAfterMs >= 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(interruptAfterMs));
    kill(pid, SIGINT);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), ReadFile(out), ReadFile(err)};
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

}  // namespace vxtest
