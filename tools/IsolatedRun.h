#pragma once
// Running a piece of work in a forked child process, so that a crash, an
// abort, a runaway allocation or a hang inside a third-party reader ends the
// child and not the program.
//
// The child runs `work`, which writes its answer into the given byte string;
// the parent receives those bytes through a pipe. The child is killed when it
// uses more CPU time than the time limit (or four times as much wall-clock
// time, for a child that waits) or its resident memory grows by more than
// the memory limit beyond the parent's at the fork (checked by the parent
// every few milliseconds, and, in builds without
// a sanitizer, also enforced at allocation time with an address-space limit
// that makes allocations fail). The child ends with _exit: no destructors and
// no atexit handlers of the parent's objects run in it.
//
// Contract for `work`: it must not depend on threads of the parent (a forked
// child has only the calling thread) and must not touch the GL context. It
// runs with the parent's memory as it was at the fork (copy on write).
//
// Known limits: POSIX only. The parent's SIGINT handler stays installed in the
// child, so Ctrl-C does not cut an import short; the parent acts on it after.
#include <cstdint>
#include <functional>
#include <string>

namespace isolated {

struct Limits {
  double seconds = 0;             // CPU-time limit (wall clock: 4 times that); <= 0: none
  std::uint64_t memoryBytes = 0;  // resident memory the child may add; 0: none
};

enum class Outcome {
  kFinished,     // the child returned from `work` and exited normally
  kSignal,       // the child died from a signal (crash or abort)
  kTimeLimit,    // killed at the time limit
  kMemoryLimit,  // killed at the memory limit, or its allocations failed
  kExitStatus,   // the child exited without finishing (exit status in `detail`)
  kCannotStart,  // fork or pipe failed (reason in `detail`)
};

struct Result {
  Outcome outcome = Outcome::kCannotStart;
  std::string bytes;   // what `work` wrote (kFinished only)
  std::string detail;  // signal name, exit status or system error
};

// Runs `work` in a child process under `limits`.
Result Run(const std::function<void(std::string& out)>& work, const Limits& limits);

// The words for an unfinished outcome: "crashed: SIGSEGV", "time limit of 60 s
// reached", "memory limit of 4096 MiB reached".
std::string Describe(const Result& result, const Limits& limits);

// The defaults for reading a file of `fileBytes`: CPU time 1800 s plus 120 s
// per MiB (large assemblies are slow to convert, not hung), memory 2 GiB plus 64 times the file size (capped at the
// machine's memory). VX_IMPORT_SECONDS and VX_IMPORT_MEMORY_MB override them.
Limits DefaultLimits(std::uint64_t fileBytes);

}  // namespace isolated
