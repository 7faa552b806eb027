#include "intersection/MemoryGuard.h"

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/Platform.h"

namespace vx::isect {
namespace {

// Memory counts as low below this share of free physical memory.
constexpr double kLowFreeShare = 0.3;

double (*g_probe)() = nullptr;

// Reading the platform's figures costs tens of microseconds (a file read on
// Linux), more than testing a small instance; an answer is reused for this
// long. Process-wide; atomics, so that actions on different threads may
// share it (a lost update only means one more query).
constexpr std::int64_t kReuseNs = 200 * 1000 * 1000;
std::atomic<bool> g_lastLow{false};
std::atomic<std::int64_t> g_lastTimeNs{INT64_MIN};

bool queryPlatform() {
  const double total = static_cast<double>(vx::platform::TotalPhysicalMemory());
  if (total <= 0.0) return false;
  return static_cast<double>(vx::platform::AvailablePhysicalMemory()) / total < kLowFreeShare;
}

}  // namespace

bool physicalMemoryLow() {
  if (g_probe) return g_probe() < kLowFreeShare;
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  const std::int64_t last = g_lastTimeNs.load();
  if (last == INT64_MIN || now - last >= kReuseNs) {
    g_lastLow = queryPlatform();
    g_lastTimeNs = now;
  }
  return g_lastLow;
}

void setFreeMemoryProbe(double (*freeFraction)()) { g_probe = freeFraction; }

}  // namespace vx::isect
