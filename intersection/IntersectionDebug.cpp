#include "intersection/IntersectionDebug.h"

#include <Inventor/C/tidbits.h>

#include <cstdlib>

namespace vxisect {

bool debugOn() {
  static const bool on = [] {
    const char* value = coin_getenv("COIN_DEBUG_INTERSECTIONDETECTIONACTION");
    return value != nullptr && std::atoi(value) > 0;
  }();
  return on;
}

}  // namespace vxisect
