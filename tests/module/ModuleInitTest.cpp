// Module start-up: type registration with Coin.
#include <gtest/gtest.h>

#include <Inventor/SoType.h>
#include <Inventor/actions/SoAction.h>
#include <Inventor/lists/SoTypeList.h>

#include "intersection/SoIntersectionDetectionExtAction.h"
#include "module/VistrelExt.h"

TEST(ModuleStartUp, RegistersTheIntersectionActionOnceAndNothingOfTheHost) {
  EXPECT_TRUE(SoIntersectionDetectionExtAction::getClassTypeId().isBad());
  EXPECT_TRUE(SoType::fromName("SoIntersectionDetectionExtAction").isBad());
  initVistrelExtClass();
  const SoType type = SoIntersectionDetectionExtAction::getClassTypeId();
  ASSERT_FALSE(type.isBad());
  EXPECT_TRUE(type.isDerivedFrom(SoAction::getClassTypeId()));
  EXPECT_EQ(type, SoType::fromName("SoIntersectionDetectionExtAction"));
  SoIntersectionDetectionExtAction action;
  EXPECT_EQ(type, action.getTypeId());

  // A second call registers nothing twice.
  SoTypeList before, after;
  const int actions = SoType::getAllDerivedFrom(SoAction::getClassTypeId(), before);
  initVistrelExtClass();
  EXPECT_EQ(actions, SoType::getAllDerivedFrom(SoAction::getClassTypeId(), after));
  EXPECT_EQ(type, SoIntersectionDetectionExtAction::getClassTypeId());
  // The cutting-plane types belong to the host.
  EXPECT_TRUE(SoType::fromName("SoCuttingPlaneDragger").isBad());
  EXPECT_TRUE(SoType::fromName("CuttingPlaneManip").isBad());
}
