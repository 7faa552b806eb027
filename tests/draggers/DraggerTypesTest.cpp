// Registration and file round trips of the ten dragger kits: every type is
// known by name under the right parent and made by Coin from its name; every
// kit written to an Inventor file and read back has the same field values
// and the same parts; parts the kits mark as not written stay out of the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/SoOutput.h>
#include <Inventor/actions/SoWriteAction.h>
#include <Inventor/draggers/SoTranslate1Dragger.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoSeparator.h>

#include "DraggerTestSupport.h"
#include "draggers/CuttingPlaneManip.h"
#include "draggers/SoCenterballDragger2.h"
#include "draggers/SoCenterballManip2.h"
#include "draggers/SoCuttingPlaneDragger.h"
#include "draggers/SoDraggerPackKit.h"
#include "draggers/SoPinDraggerPackKit.h"
#include "draggers/SoRotateCylindricalDraggerExt.h"
#include "draggers/SoTabPlaneDraggerExt.h"
#include "draggers/SoTransformExt.h"
#include "draggers/SoTranslate1DraggerExt.h"

namespace {

TEST(DraggerTypes, AreKnownByNameUnderTheirParentsAndMadeFromTheirNames) {
  const struct {
    const char* name;
    const char* parent;
  } types[] = {
      {"SoCuttingPlaneDragger", "SoDragger"},
      {"CuttingPlaneManip", "SoClipPlaneManip"},
      {"SoCenterballDragger2", "SoDragger"},
      {"SoCenterballManip2", "SoTransformManip"},
      {"SoTranslate1DraggerExt", "SoTranslate1Dragger"},
      {"SoRotateCylindricalDraggerExt", "SoRotateCylindricalDragger"},
      {"SoTabPlaneDraggerExt", "SoTabPlaneDragger"},
      {"SoTransformExt", "SoTransform"},
      {"SoDraggerPackKit", "SoBaseKit"},
      {"SoPinDraggerPackKit", "SoBaseKit"},
  };
  for (const auto& t : types) {
    const SoType type = SoType::fromName(t.name);
    ASSERT_FALSE(type.isBad()) << t.name;
    EXPECT_EQ(type.getParent(), SoType::fromName(t.parent)) << t.name;
    auto* node = static_cast<SoNode*>(type.createInstance());
    ASSERT_NE(node, nullptr) << t.name;
    node->ref();
    EXPECT_EQ(node->getTypeId(), type);
    node->unref();
  }
}

TEST(DraggerTypes, CuttingPlaneReadsItsDefaultPartsFromTheCompiledInText) {
  auto* dragger = new SoCuttingPlaneDragger;
  dragger->ref();
  // The translator is the square from the text, the tabs' material its green.
  auto* translator = static_cast<SoSeparator*>(dragger->getPart("translator", FALSE));
  ASSERT_NE(translator, nullptr);
  ASSERT_EQ(translator->getNumChildren(), 3);
  auto* square = static_cast<SoCoordinate3*>(translator->getChild(1));
  ASSERT_EQ(square->point.getNum(), 4);
  EXPECT_EQ(square->point[0], SbVec3f(-1, -1, 0));
  EXPECT_EQ(square->point[2], SbVec3f(1, 1, 0));
  // Before any render the tabs are 0.08 wide: the top edge tab spans x = +-0.04.
  auto* edge = static_cast<SoCoordinate3*>(static_cast<SoSFNode*>(dragger->getField("edgeScaleCoords"))->getValue());
  ASSERT_NE(edge, nullptr);
  ASSERT_EQ(edge->point.getNum(), 16);
  EXPECT_FLOAT_EQ(edge->point[0][0], 0.04f);
  EXPECT_FLOAT_EQ(edge->point[2][1], 1.0f - 0.08f);
  EXPECT_FLOAT_EQ(edge->point[0][2], 0.01f);
  dragger->unref();
}

std::string Write(SoNode* node) {
  SoOutput out;
  out.setBuffer(nullptr, 0, [](void* p, size_t n) { return realloc(p, n); });
  SoWriteAction write(&out);
  write.apply(node);
  void* buffer = nullptr;
  size_t size = 0;
  out.getBuffer(buffer, size);
  return std::string(static_cast<const char*>(buffer), size);
}

SoNode* Read(const std::string& text) {
  SoInput in;
  in.setBuffer(text.data(), text.size());
  SoSeparator* root = SoDB::readAll(&in);
  if (!root || root->getNumChildren() != 1) {
    if (root) root->unref();
    return nullptr;
  }
  SoNode* node = root->getChild(0);
  node->ref();
  root->unref();
  node->unrefNoDelete();
  return node;
}

// Field texts equal up to float noise: a dragger derives its fields back
// from its motion matrix, which moves the last digit.
bool SameValues(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string ta, tb;
  while (true) {
    const bool moreA = static_cast<bool>(sa >> ta), moreB = static_cast<bool>(sb >> tb);
    if (moreA != moreB) return false;
    if (!moreA) return true;
    if (ta == tb) continue;
    char* endA = nullptr;
    char* endB = nullptr;
    const double x = std::strtod(ta.c_str(), &endA), y = std::strtod(tb.c_str(), &endB);
    if (*endA || *endB || std::fabs(x - y) > 1e-5 * std::max(1.0, std::fabs(x))) return false;
  }
}

// Same values for every plain field; for part fields the same presence and
// type of part, compared again one level down for parts that are kits.
void ExpectSameFieldsAndParts(SoFieldContainer* a, SoFieldContainer* b, const std::string& where) {
  ASSERT_EQ(a->getTypeId(), b->getTypeId()) << where;
  SoFieldList fields;
  a->getFields(fields);
  for (int i = 0; i < fields.getLength(); ++i) {
    SbName name;
    a->getFieldName(fields[i], name);
    SoField* other = b->getField(name);
    ASSERT_NE(other, nullptr) << where << "." << name.getString();
    const std::string at = where + "." + name.getString();
    if (fields[i]->isOfType(SoSFNode::getClassTypeId())) {
      SoNode* pa = static_cast<SoSFNode*>(fields[i])->getValue();
      SoNode* pb = static_cast<SoSFNode*>(other)->getValue();
      ASSERT_EQ(pa == nullptr, pb == nullptr) << at;
      if (!pa) continue;
      EXPECT_EQ(pa->getTypeId(), pb->getTypeId()) << at;
      if (pa->isOfType(SoBaseKit::getClassTypeId()) || pa->isOfType(SoMatrixTransform::getClassTypeId())) {
        ExpectSameFieldsAndParts(pa, pb, at);
      }
      continue;
    }
    SbString va, vb;
    fields[i]->get(va);
    other->get(vb);
    EXPECT_TRUE(SameValues(va.getString(), vb.getString())) << at << ": " << va.getString() << " / " << vb.getString();
  }
}

TEST(DraggerTypes, EveryKitRoundTripsThroughAnInventorFile) {
  auto* cutting = new SoCuttingPlaneDragger;
  cutting->translation = SbVec3f(0.5f, -1.25f, 0.0f);
  cutting->scaleFactor = SbVec3f(2, 3, 1);
  auto* cuttingManip = new CuttingPlaneManip;
  cuttingManip->plane = SbPlane(SbVec3f(0, 0, 1), 0.75f);
  auto* centerball = new SoCenterballDragger2;
  centerball->rotation = SbRotation(SbVec3f(1, 2, 3), 0.7f);
  centerball->center = SbVec3f(0.25f, 0.5f, -1.0f);
  auto* centerballManip = new SoCenterballManip2;
  centerballManip->rotation = SbRotation(SbVec3f(0, 1, 0), 1.1f);
  centerballManip->center = SbVec3f(1, 2, 3);
  auto* translate = new SoTranslate1DraggerExt;
  translate->translation = SbVec3f(1.5f, 0, 0);
  auto* cylinder = new SoRotateCylindricalDraggerExt;
  cylinder->rotation = SbRotation(SbVec3f(0, 1, 0), 0.3f);
  auto* tab = new SoTabPlaneDraggerExt;
  tab->translation = SbVec3f(0.1f, 0.2f, 0);
  tab->setPlcMatrix(SbMatrix(1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 3, 4, 5, 1));
  tab->setLocal(SbVec2f(0.25f, 0.75f));
  auto* facing = new SoTransformExt;
  facing->translation = SbVec3f(1, 2, 3);
  facing->scaleFactor = SbVec3f(2, 2, 2);
  auto* pack = new SoDraggerPackKit;
  pack->setDragger(new SoTranslate1DraggerExt);
  SbMatrix placed;
  placed.setTransform(SbVec3f(4, 5, 6), SbRotation(SbVec3f(0, 0, 1), 0.5f), SbVec3f(2, 2, 2));
  pack->setTrans(placed);
  auto* pin = new SoPinDraggerPackKit;
  pin->setDragger(new SoRotateCylindricalDraggerExt);
  pin->setTrans(placed);

  SoNode* nodes[] = {cutting, cuttingManip, centerball, centerballManip, translate,
                     cylinder, tab,          facing,     pack,            pin};
  for (SoNode* node : nodes) {
    node->ref();
    vxtest::ProcessSensors();
    const std::string text = Write(node);
    SoNode* back = Read(text);
    ASSERT_NE(back, nullptr) << node->getTypeId().getName().getString() << " did not read back:\n" << text;
    back->ref();
    vxtest::ProcessSensors();
    ExpectSameFieldsAndParts(node, back, node->getTypeId().getName().getString());
    back->unref();
    if (node == cutting) {
      // The tab coordinates are re-made at every render, not written.
      EXPECT_EQ(text.find("Coordinate3"), std::string::npos) << text;
      EXPECT_NE(text.find("translation 0.5 -1.25 0"), std::string::npos) << text;
    }
    node->unref();
  }
}

TEST(DraggerTypes, ACentreSetOnTheCenterballManipStaysAsSet) {
  // As replacing a transform by the manip does: centre and rotation set at
  // once, the dragger's sensors running afterwards.
  auto* manip = new SoCenterballManip2;
  manip->ref();
  manip->rotation = SbRotation(SbVec3f(0, 1, 0), 1.1f);
  manip->center = SbVec3f(1, 2, 3);
  vxtest::ProcessSensors();
  EXPECT_TRUE(manip->rotation.getValue().equals(SbRotation(SbVec3f(0, 1, 0), 1.1f), 1e-6f));
  EXPECT_LT((manip->center.getValue() - SbVec3f(1, 2, 3)).length(), 1e-5f);
  EXPECT_LT(manip->translation.getValue().length(), 1e-5f);
  auto* dragger = static_cast<SoCenterballDragger2*>(manip->getDragger());
  EXPECT_LT((dragger->center.getValue() - SbVec3f(1, 2, 3)).length(), 1e-5f);
  manip->unref();
}

}  // namespace
