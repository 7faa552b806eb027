#pragma once
// Process-wide debug switch of the intersection action: on when the
// environment variable COIN_DEBUG_INTERSECTIONDETECTIONACTION holds an
// integer above 0. Read on the first call, then kept for the process.
namespace vx::isect {

bool debugOn();

}  // namespace vx::isect
