// The selection manager on clicks through an SoSelection: which object of
// the picked path a selection mask selects (the first matching kind in the
// fixed order wins), what it highlights, and masks that select nothing.
#include <gtest/gtest.h>

#include <string>

#include <Inventor/SoFullPath.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSelection.h>

#include "host/SoKRN_BodyKit.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_CurveKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_MeshKit.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_PntMarkerKit.h"
#include "host/SoKRN_State.h"
#include "picking/SoKRN_SelectManager.h"
#include "support/PickScene.h"

namespace {

// A 2 x 2 square at height 30 about (x, y), prototype coordinates of the box.
void AddSquare(SoGroup* g, float x, float y) {
  auto* c = new SoCoordinate3;
  const float p[4][3] = {{x - 1, y - 1, 30}, {x + 1, y - 1, 30}, {x + 1, y + 1, 30}, {x - 1, y + 1, 30}};
  c->point.setValues(0, 4, p);
  auto* f = new SoFaceSet;
  f->numVertices = 4;
  g->addChild(c);
  g->addChild(f);
}

SoGroup* Contents(SoBaseKit* kit) { return static_cast<SoGroup*>(kit->getPart("contents", TRUE)); }

class SelectManager : public ::testing::Test {
protected:
  void SetUp() override {
    scene.root->setPickFilterCallback(SoKRN_SelectManager::SelectionPickCB, &manager);
    // Above the box (placed at x = 60): a curve and a point marker in body
    // kits, a selectable mesh kit in a body, and a model display.
    SoGroup* bodies = scene.box->getPrototype()->getBodies();
    auto* curveBody = new SoKRN_BodyKit;
    auto* curve = new SoKRN_CurveKit;
    Contents(curveBody)->addChild(curve);
    AddSquare(Contents(curve), -5, -5);
    auto* markerBody = new SoKRN_BodyKit;
    auto* marker = new SoKRN_PntMarkerKit;
    Contents(markerBody)->addChild(marker);
    AddSquare(Contents(marker), 5, -5);
    auto* meshBody = new SoKRN_BodyKit;
    mesh = new SoKRN_MeshKit;
    mesh->kind = SoKRN_MeshKit::SELECTABLE;
    _stlMesh m;
    m.vtx = {{-6, 4, 30}, {-4, 4, 30}, {-4, 6, 30}, {-6, 6, 30}};
    m.idx = {0, 1, 2, 0, 2, 3};
    mesh->serializeFromSTL_Mesh(m);
    Contents(meshBody)->addChild(mesh);
    display = new SoKRN_ModelDisplay;
    auto* dc = static_cast<SoCoordinate3*>(display->getPart("coords", TRUE));
    const float p[4][3] = {{4, 4, 30}, {6, 4, 30}, {6, 6, 30}, {4, 6, 30}};
    dc->point.setValues(0, 4, p);
    static_cast<SoFaceSet*>(display->getPart("face", TRUE))->numVertices = 4;
    for (SoNode* n : {static_cast<SoNode*>(curveBody), static_cast<SoNode*>(markerBody), static_cast<SoNode*>(meshBody),
                      static_cast<SoNode*>(display)})
      bodies->addChild(n);
  }

  // The tail of what a click at (x, y) on the box selects with `mask`, or null.
  SoNode* select(float x, float y, uint32_t mask) {
    scene.doc->getKRNState()->setSelectionFilterType(mask);
    scene.root->deselectAll();
    scene.clickAt(SbVec3f(60 + x, y, 40));
    if (scene.root->getNumSelected() != 1) return nullptr;
    return static_cast<SoFullPath*>(scene.root->getPath(0))->getTail();
  }
  float outlineWidth() const {
    return static_cast<SoDrawStyle*>(display->getPart("outlineStyle", TRUE))->lineWidth.getValue();
  }

  picktest::Scene scene;
  SoKRN_SelectManager manager{scene.doc};
  SoKRN_MeshKit* mesh = nullptr;
  SoKRN_ModelDisplay* display = nullptr;
};

TEST_F(SelectManager, TheFirstSelectableKindInTheMaskWins) {
  const SoType body = SoKRN_BodyKit::getClassTypeId();
  struct Case {
    const char* what;
    float x, y;
    uint32_t mask;
    SoType expect;  // bad type: nothing selected
  };
  const SoType none = SoType::badType(), ins = SoKRN_ComponentKit::getClassTypeId();
  const Case cases[] = {
      {"box face, instances", 0, 0, 0x1, ins},
      {"box face, mask 0", 0, 0, 0, none},
      {"box face, bit selecting nothing", 0, 0, 0x10 | 0x20 | 0x40 | 0x100, none},
      {"box face, no body kit above", 0, 0, 0x800 | 0x8 | 0x6 | 0x1000, none},
      {"curve, body of the curve", -5, -5, 0x8, body},
      {"curve, no marker on the path", -5, -5, 0x6, none},
      {"curve, curve body before instance", -5, -5, 0x9, body},
      {"curve, instance", -5, -5, 0x1, ins},
      {"marker, body of the marker (0x2)", 5, -5, 0x2, body},
      {"marker, body of the marker (0x4)", 5, -5, 0x4, body},
      {"marker, no curve on the path", 5, -5, 0x8, none},
      {"mesh kit of kind 1 before its body", -5, 5, 0xC00, SoKRN_MeshKit::getClassTypeId()},
      {"model display, instance only", 5, 5, 0x1, ins},
      {"model display before instance", 5, 5, 0x2001, SoKRN_ModelDisplay::getClassTypeId()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SoNode* tail = select(c.x, c.y, c.mask);
    ASSERT_EQ(tail != nullptr, !c.expect.isBad());
    if (!tail) continue;
    EXPECT_EQ(tail->getTypeId(), c.expect);
    EXPECT_TRUE(c.expect != ins || tail == scene.box) << "the box's own instance";
    // Highlighted (outline 3 wide) only once selected as a model display.
    EXPECT_EQ(outlineWidth() == 3.0f, c.expect == SoKRN_ModelDisplay::getClassTypeId());
  }
  // A mesh kit not of kind 1 is passed over for its body.
  mesh->kind = SoKRN_MeshKit::PLAIN;
  SoNode* tail = select(-5, 5, 0xC00);
  ASSERT_NE(tail, nullptr);
  EXPECT_EQ(tail->getTypeId(), body);
}

}  // namespace
