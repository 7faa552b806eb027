// The reference holder against Coin's own counts: every operation leaves the
// count it promises, and an object goes exactly when its last holder lets go.
#include <Inventor/SoDB.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/sensors/SoNodeSensor.h>
#include <gtest/gtest.h>

#include <utility>

#include "host/SoRef.h"

namespace {

using vx::host::SoRef;

// A new node whose deletion sets `*gone`.
SoSeparator* Watched(bool* gone, SoNodeSensor& sensor) {
  auto* node = new SoSeparator;
  *gone = false;
  sensor.setDeleteCallback([](void* flag, SoSensor*) { *static_cast<bool*>(flag) = true; }, gone);
  sensor.attach(node);
  return node;
}

TEST(SoRef, CountsFollowCopyMoveResetAndTheLastHolderDeletes) {
  SoDB::init();
  bool gone = false;
  SoNodeSensor sensor;
  SoSeparator* node = Watched(&gone, sensor);
  {
    SoRef<SoSeparator> a(node);
    a.reset(a.get());  // the only holder, the same object: never dropped to zero on the way
    SoRef<SoSeparator>& same = a;
    a = same;
    EXPECT_EQ(1, node->getRefCount());
    EXPECT_FALSE(gone);
    SoRef<SoSeparator> b = a;
    EXPECT_EQ(2, node->getRefCount());
    SoRef<SoSeparator> c = std::move(b);
    EXPECT_EQ(nullptr, b.get());
    EXPECT_EQ(2, node->getRefCount());
    a.reset(new SoSeparator);  // the other holder keeps the node
    EXPECT_EQ(1, node->getRefCount());
    EXPECT_FALSE(gone);
    c = std::move(a);  // c's node had its last reference there
    EXPECT_TRUE(gone);
  }
}

TEST(SoRef, AdoptTakesOverAndDetachLeavesAnUnreferencedObject) {
  bool gone = false;
  SoNodeSensor sensor;
  SoSeparator* node = Watched(&gone, sensor);
  node->ref();  // as a function that hands out referenced objects does
  {
    const auto held = SoRef<SoSeparator>::adopt(node);
    EXPECT_EQ(1, node->getRefCount());
  }
  EXPECT_TRUE(gone);

  node = Watched(&gone, sensor);
  SoRef<SoSeparator> held(node);
  EXPECT_EQ(node, held.detach());
  EXPECT_EQ(nullptr, held.get());
  EXPECT_EQ(0, node->getRefCount());
  EXPECT_FALSE(gone);
  node->ref();  // a new owner, whose release is the last
  node->unref();
  EXPECT_TRUE(gone);
}

}  // namespace
