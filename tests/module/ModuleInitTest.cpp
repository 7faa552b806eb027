// Module start-up: type registration with Coin.
#include <gtest/gtest.h>

#include <Inventor/SoType.h>
#include <Inventor/actions/SoAction.h>
#include <Inventor/lists/SoTypeList.h>

#include "intersection/SoIntersectionDetectionExtAction.h"
#include "module/VistrelExt.h"

namespace {

struct StartUp {
  bool badBefore = false;
  bool unknownNameBefore = false;
};

// Starts the module once per test program and remembers how the action's
// type looked just before, whichever test happens to run first.
const StartUp& ModuleStarted() {
  static const StartUp startUp = [] {
    StartUp s;
    s.badBefore = SoIntersectionDetectionExtAction::getClassTypeId().isBad();
    s.unknownNameBefore = SoType::fromName("SoIntersectionDetectionExtAction").isBad();
    initVistrelExtClass();
    return s;
  }();
  return startUp;
}

}  // namespace

TEST(ModuleStartUp, RegistersTheIntersectionAction) {
  const StartUp& s = ModuleStarted();
  EXPECT_TRUE(s.badBefore);
  EXPECT_TRUE(s.unknownNameBefore);

  const SoType type = SoIntersectionDetectionExtAction::getClassTypeId();
  ASSERT_FALSE(type.isBad());
  EXPECT_TRUE(type.isDerivedFrom(SoAction::getClassTypeId()));
  EXPECT_EQ(type, SoType::fromName("SoIntersectionDetectionExtAction"));
  EXPECT_STREQ("SoIntersectionDetectionExtAction", type.getName().getString());

  SoIntersectionDetectionExtAction action;
  EXPECT_EQ(type, action.getTypeId());
}

TEST(ModuleStartUp, SecondCallRegistersNothingTwice) {
  ModuleStarted();
  const SoType type = SoIntersectionDetectionExtAction::getClassTypeId();
  SoTypeList before, after;
  const int actions = SoType::getAllDerivedFrom(SoAction::getClassTypeId(), before);
  initVistrelExtClass();
  EXPECT_EQ(actions, SoType::getAllDerivedFrom(SoAction::getClassTypeId(), after));
  EXPECT_EQ(type, SoIntersectionDetectionExtAction::getClassTypeId());
}

TEST(ModuleStartUp, LeavesTheCuttingPlaneTypesToTheHost) {
  ModuleStarted();
  EXPECT_TRUE(SoType::fromName("SoCuttingPlaneDragger").isBad());
  EXPECT_TRUE(SoType::fromName("CuttingPlaneManip").isBad());
}
