#pragma once
// Free-memory guard of the shape-data cache: memory counts as low when the
// available physical memory is below 30 % of the total. When the platform
// cannot tell (total 0) memory never counts as low. A platform answer is
// reused for 200 ms (asking costs more than testing a small instance).
namespace vx::isect {

bool physicalMemoryLow();

// Replaces the platform query by `freeFraction` (available / total); null
// restores the platform. For tests: lets them drive the guard.
void setFreeMemoryProbe(double (*freeFraction)());

}  // namespace vx::isect
