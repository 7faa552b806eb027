// File round trips of the ten dragger kits (each read by its type name): every
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
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/nodes/SoSeparator.h>

#include "support/DraggerTestSupport.h"

namespace {

std::string Write(SoNode* node) {
  SoOutput out;
  out.setBuffer(nullptr, 0, [](void* p, size_t n) { return realloc(p, n); });
  SoWriteAction(&out).apply(node);
  void* buffer = nullptr;
  size_t size = 0;
  out.getBuffer(buffer, size);
  std::string text(static_cast<const char*>(buffer), size);
  free(buffer);  // the buffer is ours: it grew through our realloc
  return text;
}

// The one node of an Inventor text, referenced; null when it does not read.
SoNode* Read(const std::string& text) {
  SoInput in;
  in.setBuffer(text.data(), text.size());
  SoSeparator* root = SoDB::readAll(&in);
  SoNode* node = root && root->getNumChildren() == 1 ? root->getChild(0) : nullptr;
  if (node) node->ref();
  if (root) root->unref();
  vxtest::ProcessSensors();
  return node;
}

// Same plain field values (up to float noise: a dragger derives its fields
// back from its motion matrix) and the same parts, down through kit parts.
void ExpectSameFieldsAndParts(SoFieldContainer* a, SoFieldContainer* b, const std::string& where) {
  ASSERT_EQ(a->getTypeId(), b->getTypeId()) << where;
  SoFieldList fields;
  a->getFields(fields);
  for (int i = 0; i < fields.getLength(); ++i) {
    SbName name;
    a->getFieldName(fields[i], name);
    SoField* other = b->getField(name);
    const std::string at = where + "." + name.getString();
    if (fields[i]->isOfType(SoSFNode::getClassTypeId())) {
      SoNode* pa = static_cast<SoSFNode*>(fields[i])->getValue();
      SoNode* pb = static_cast<SoSFNode*>(other)->getValue();
      ASSERT_EQ(pa == nullptr, pb == nullptr) << at;
      if (pa) ExpectSameFieldsAndParts(pa, pb, at);
      continue;
    }
    SbString va, vb;
    fields[i]->get(va);
    other->get(vb);
    std::istringstream sa(va.getString()), sb(vb.getString());
    for (std::string ta, tb; sa >> ta && sb >> tb;) {
      if (ta != tb) {
        EXPECT_NEAR(std::stod(ta), std::stod(tb), 1e-5 * std::max(1.0, std::fabs(std::stod(ta)))) << at;
      }
    }
  }
}

TEST(DraggerTypes, EveryKitRoundTripsThroughAnInventorFile) {
  // One of each kit, read by its type name, with fields off their defaults.
  SoInput in;
  ASSERT_TRUE(in.openFile(VX_TEST_DATA_DIR "/draggers/kits.iv"));
  SoSeparator* kits = SoDB::readAll(&in);
  ASSERT_NE(kits, nullptr);
  kits->ref();
  vxtest::ProcessSensors();
  EXPECT_EQ(kits->getNumChildren(), 10);
  for (int i = 0; i < kits->getNumChildren(); ++i) {
    SoNode* node = kits->getChild(i);
    const std::string written = Write(node);
    SoNode* back = Read(written);
    ASSERT_NE(back, nullptr) << written;
    ExpectSameFieldsAndParts(node, back, node->getTypeId().getName().getString());
    // The tab coordinates are re-made at every render, not written.
    EXPECT_EQ(written.find("Coordinate3"), std::string::npos) << written;
    back->unref();
  }
  kits->unref();
}

}  // namespace
