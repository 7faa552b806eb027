// test_intersection links the intersection objects without the module
// library (whose start-up function needs every registered class); the
// platform layer the memory guard calls is compiled in here instead.
#include "module/Platform.cpp"
