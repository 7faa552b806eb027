#include <gtest/gtest.h>

#include "host/VistrelHost.h"

// Every test executable starts Coin and the host types once.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  VistrelHostInit();
  return RUN_ALL_TESTS();
}
