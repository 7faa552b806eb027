#include "intersection/IntersectionDebug.h"

#include <Inventor/C/tidbits.h>

#include <cstdlib>

namespace vx::isect {

bool debugOn() {
  static const bool on = [] {
    const char* value = coin_getenv("COIN_DEBUG_INTERSECTIONDETECTIONACTION");
    return value != nullptr && std::atoi(value) > 0;
  }();
  return on;
}

}  // namespace vx::isect
