#include "tools/IsolatedRun.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VX_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VX_UNDER_SANITIZER 1
#endif
#endif

namespace isolated {

namespace {

// Exit statuses of the child that are not a finished `work`.
constexpr int kExitOutOfMemory = 86;
constexpr int kExitException = 87;
// The wall-clock limit, as a multiple of the CPU-time limit.
constexpr double kWallFactor = 4;

std::uint64_t ResidentBytes(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  unsigned long long size = 0, resident = 0;
  const int got = std::fscanf(f, "%llu %llu", &size, &resident);
  std::fclose(f);
  return got == 2 ? resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// CPU seconds the process has used (user + system), from /proc/<pid>/stat.
double CpuSeconds(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  char line[1024];
  const bool got = std::fgets(line, sizeof line, f) != nullptr;
  std::fclose(f);
  if (!got) return 0;
  // The command name (field 2) may hold blanks; fields count from its ')'.
  const char* p = std::strrchr(line, ')');
  if (!p) return 0;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) return 0;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::uint64_t VirtualBytesOfSelf() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return 0;
  unsigned long long size = 0;
  const int got = std::fscanf(f, "%llu", &size);
  std::fclose(f);
  return got == 1 ? size * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

[[noreturn]] void RunChild(const std::function<void(std::string&)>& work, const Limits& limits,
                           std::uint64_t parentVirtual, int fd) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
#ifndef VX_UNDER_SANITIZER
  // The heap memory the parent has freed but kept is shared copy-on-write:
  // every page of it the child's allocations touch would be copied first.
  // Handed back to the system here, it comes back as fresh zero pages.
  malloc_trim(0);
  // Allocations beyond the limit fail (std::bad_alloc) instead of growing
  // until the parent notices; the address space the program already maps
  // (libraries, heap) is allowed on top. Sanitizers reserve terabytes of
  // address space, so there the parent's resident-memory check alone acts.
  if (limits.memoryBytes > 0) {
    const rlim_t cap = static_cast<rlim_t>(parentVirtual + limits.memoryBytes);
    struct rlimit rl {
      cap, cap
    };
    setrlimit(RLIMIT_AS, &rl);
  }
#else
  (void)limits;
  (void)parentVirtual;
#endif
  int status = 0;
  try {
    std::string out;
    work(out);
    status = WriteAll(fd, out.data(), out.size()) ? 0 : 1;
  } catch (const std::bad_alloc&) {
    status = kExitOutOfMemory;
  } catch (...) {
    status = kExitException;
  }
  close(fd);
  _exit(status);
}

}  // namespace

namespace {

// How the child ended.
struct ChildEnd {
  int status = 0;  // as waitpid gives it
  bool killedForTime = false, killedForMemory = false;
};

// Reads the child's answer from `fd` into `bytes` until the child closes it,
// killing the child when it passes a limit (its resident memory counted
// above `baseline`); closes `fd` and reaps the child.
ChildEnd WatchChild(pid_t pid, int fd, const Limits& limits, std::uint64_t baseline, std::string& bytes) {
  const auto start = std::chrono::steady_clock::now();
  ChildEnd end;
  bool open = true, exited = false;
  char buffer[1 << 16];
  while (open || !exited) {
    if (!exited) {
      const pid_t w = waitpid(pid, &end.status, WNOHANG);
      if (w == pid) exited = true;
    }
    if (!exited && !end.killedForTime && !end.killedForMemory) {
      // CPU time, so that a loaded machine does not cut a slow import short;
      // wall time at a multiple of it, for a child that waits forever.
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (limits.seconds > 0 &&
          (elapsed > kWallFactor * limits.seconds || (elapsed > limits.seconds && CpuSeconds(pid) > limits.seconds))) {
        end.killedForTime = true;
        kill(pid, SIGKILL);
      } else if (limits.memoryBytes > 0 && ResidentBytes(pid) > baseline + limits.memoryBytes) {
        end.killedForMemory = true;
        kill(pid, SIGKILL);
      }
    }
    if (!open) {
      if (!exited && waitpid(pid, &end.status, 0) == pid) exited = true;
      continue;
    }
    struct pollfd p {
      fd, POLLIN, 0
    };
    const int ready = poll(&p, 1, 10);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        bytes.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        open = false;
      }
    }
  }
  close(fd);
  if (!exited) {  // a failed poll: do not leave the child behind
    kill(pid, SIGKILL);
    waitpid(pid, &end.status, 0);
  }
  return end;
}

// The outcome of the run from how the child ended; the answer is kept only
// when it finished.
void Classify(const ChildEnd& end, Result& result) {
  if (end.killedForTime) {
    result.outcome = Outcome::kTimeLimit;
  } else if (end.killedForMemory) {
    result.outcome = Outcome::kMemoryLimit;
  } else if (WIFSIGNALED(end.status)) {
    result.outcome = Outcome::kSignal;
    const int sig = WTERMSIG(end.status);
    const char* name = sigabbrev_np(sig);
    result.detail = name ? std::string("SIG") + name : "signal " + std::to_string(sig);
  } else if (WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0) {
    result.outcome = Outcome::kFinished;
    return;
  } else if (WIFEXITED(end.status) && WEXITSTATUS(end.status) == kExitOutOfMemory) {
    result.outcome = Outcome::kMemoryLimit;
  } else {
    result.outcome = Outcome::kExitStatus;
    result.detail = WIFEXITED(end.status) && WEXITSTATUS(end.status) == kExitException
                        ? std::string("an exception")
                        : "exit status " + std::to_string(WIFEXITED(end.status) ? WEXITSTATUS(end.status) : -1);
  }
  result.bytes.clear();
}

}  // namespace

Result Run(const std::function<void(std::string& out)>& work, const Limits& limits) {
  Result result;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    result.detail = std::strerror(errno);
    return result;
  }
  const std::uint64_t parentVirtual = VirtualBytesOfSelf();
  // The child starts out sharing what the parent has resident; the limit is
  // on what it adds.
  const std::uint64_t baseline = ResidentBytes(getpid());
  std::fflush(nullptr);  // nothing buffered is written twice
  const pid_t pid = fork();
  if (pid < 0) {
    result.detail = std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return result;
  }
  if (pid == 0) {
    close(fds[0]);
    RunChild(work, limits, parentVirtual, fds[1]);
  }
  close(fds[1]);

  const ChildEnd end = WatchChild(pid, fds[0], limits, baseline, result.bytes);
  Classify(end, result);
  return result;
}

std::string Describe(const Result& result, const Limits& limits) {
  switch (result.outcome) {
    case Outcome::kFinished:
      return "finished";
    case Outcome::kSignal:
      return "crashed: " + result.detail;
    case Outcome::kTimeLimit: {
      char text[64];
      std::snprintf(text, sizeof text, "time limit of %g s reached", limits.seconds);
      return text;
    }
    case Outcome::kMemoryLimit:
      return "memory limit of " + std::to_string(limits.memoryBytes >> 20) + " MiB reached";
    case Outcome::kExitStatus:
      return "ended with " + result.detail;
    case Outcome::kCannotStart:
      return "could not start the reader process: " + result.detail;
  }
  return "unknown";
}

Limits DefaultLimits(std::uint64_t fileBytes) {
  Limits limits;
  const double mib = static_cast<double>(fileBytes) / (1 << 20);
  limits.seconds = 1800 + 120 * mib;
  limits.memoryBytes = (std::uint64_t(2) << 30) + 64 * fileBytes;
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) {
    const std::uint64_t physical = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    if (limits.memoryBytes > physical) limits.memoryBytes = physical;
  }
  if (const char* s = std::getenv("VX_IMPORT_SECONDS")) {
    const double v = std::atof(s);
    if (v > 0) limits.seconds = v;
  }
  if (const char* m = std::getenv("VX_IMPORT_MEMORY_MB")) {
    const double v = std::atof(m);
    if (v > 0) limits.memoryBytes = static_cast<std::uint64_t>(v * (1 << 20));
  }
  return limits;
}

}  // namespace isolated
