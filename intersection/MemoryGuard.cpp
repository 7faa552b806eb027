#include "intersection/MemoryGuard.h"

#include "module/Platform.h"

namespace vxisect {
namespace {

double (*g_probe)() = nullptr;

}  // namespace

bool physicalMemoryLow() {
  if (g_probe) return g_probe() < 0.3;
  const double total = static_cast<double>(vxplatform::TotalPhysicalMemory());
  if (total <= 0.0) return false;
  return static_cast<double>(vxplatform::AvailablePhysicalMemory()) / total < 0.3;
}

void setFreeMemoryProbe(double (*freeFraction)()) { g_probe = freeFraction; }

}  // namespace vxisect
