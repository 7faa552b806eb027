// Display attributes seen on rendered pixels: colour, its removal,
// transparency, hiding and user matrices change what the renderer draws, and
// only for the occurrence addressed, not for a twin placed by the same shared
// sub-assembly; clip planes under the document clip the model, not its
// temporary children; the collision manager's isolation and its undoing.
#include <gtest/gtest.h>

#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SampleAssembly.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_InfoKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "platform/Platform.h"
#include "support/MeshGen.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

constexpr int kWidth = 120, kHeight = 60;
constexpr int kIsoWidth = 480, kIsoHeight = 360;

// Two occurrences of one sub-assembly holding one box: "1|0" at x in
// [0, 2], "2|0" at x in [4, 6], seen from the front by an orthographic
// camera over white; the left box lands around pixel (25, 30), the right
// one around (95, 30).
struct TwinDoc {
  SoKRN_MainDoc* doc = vx::host::NewDocument();
  SoOrthographicCamera* camera = new SoOrthographicCamera;
  TwinDoc() {
    doc->ref();
    camera->ref();
    const vxtest::Mesh box = vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(2, 2, 2));
    auto* part = vx::host::MakePartPrototype(doc, L"Box", box.xyz, box.tris);
    auto* sub = vx::host::MakeAssemblyPrototype(doc, L"Sub");
    vx::host::PlaceInstance(doc, sub, part, SbMatrix::identity(), L"Box", 0);
    SbMatrix m;
    vx::host::PlaceInstance(doc, doc->getTopPrototype(), sub, SbMatrix::identity(), L"Left", 1);
    m.setTranslate(SbVec3f(4, 0, 0));
    vx::host::PlaceInstance(doc, doc->getTopPrototype(), sub, m, L"Right", 2);
    doc->adoptTree();
    camera->position.setValue(3, 1, 20);
    camera->height = 3.0f;
    camera->nearDistance = 1;
    camera->farDistance = 40;
  }
  ~TwinDoc() {
    camera->unref();
    doc->unref();
  }
};

// One renderer per size for the suite, over white.
OffscreenRenderer* WhiteRenderer(int width, int height) {
  static std::map<std::pair<int, int>, std::unique_ptr<OffscreenRenderer>> renderers;
  std::unique_ptr<OffscreenRenderer>& r = renderers[{width, height}];
  if (!r) r.reset(new OffscreenRenderer(width, height));
  r->setBackgroundColor(SbColor(1, 1, 1));
  return r.get();
}

// Renders; VX_RENDER_TEST_DUMP keeps the picture as <name>.png.
PngImage Render(OffscreenRenderer* renderer, SoNode* scene, SoCamera* camera, const std::string& name) {
  PngImage picture;
  EXPECT_TRUE(renderer->render(scene, camera, picture)) << name << ": " << renderer->errorMessage();
  std::string error;
  if (const char* dir = std::getenv("VX_RENDER_TEST_DUMP"))
    picture.writeFile(std::string(dir) + "/" + name + ".png", error);
  return picture;
}

}  // namespace

// One document changed step by step and drawn again after each step, so the
// render caches must follow every change.
TEST(RenderDisplayAttributes, ColourTransparencyHidingUserMatricesAndClipPlanesOnTheAddressedOccurrenceOnly) {
  OffscreenRenderer* renderer = WhiteRenderer(kWidth, kHeight);
  if (!renderer->isValid()) GTEST_SKIP() << renderer->errorMessage();
  TwinDoc t;
  auto render = [&](const char* what) { return Render(renderer, t.doc, t.camera, std::string("attributes_") + what); };
  auto left = [](const PngImage& p) { return p.pixel(25, 30); };
  auto right = [](const PngImage& p) { return p.pixel(95, 30); };
  auto middle = [](const PngImage& p) { return p.pixel(60, 30); };
  const PngImage::Rgba white{255, 255, 255, 255};

  const PngImage plain = render("plain");
  const PngImage::Rgba grey = left(plain);
  ASSERT_LT(grey.r, 250) << "the box is drawn, not the background";
  EXPECT_EQ(right(plain), grey);
  EXPECT_EQ(middle(plain), white);

  CGraphOperation::SetColorByPlcPath(t.doc, "PATH|0|1|0", nullptr, SbVec3f(1, 0, 0));
  const PngImage red = render("red");
  EXPECT_GT(left(red).r, 3 * left(red).g);
  EXPECT_EQ(right(red), grey) << "the twin placed by the same sub-assembly keeps its colour";

  CGraphOperation::SetTransparencyByPlcPath(t.doc, "1|0", nullptr, 0.75f);
  const PngImage veiled = render("transparent");
  EXPECT_GT(left(veiled).g, left(red).g + 100) << "three quarters of the white background come through";

  CGraphOperation::SetColorByPlcPath(t.doc, "1|0", nullptr, SbVec3f(-1, 0, 0));
  CGraphOperation::SetTransparencyByPlcPath(t.doc, "1|0", nullptr, -1.0f);
  EXPECT_EQ(left(render("restored")), grey) << "both overrides removed";

  CGraphOperation::SetVisibilityByPlcPath(t.doc, "PATH|0|2", nullptr, 0);  // the parent hides its sub-tree
  const PngImage hidden = render("hidden");
  EXPECT_EQ(right(hidden), white);
  EXPECT_EQ(left(hidden), grey);
  CGraphOperation::SetVisibilityByPlcPath(t.doc, "PATH|0|2", nullptr, -1);
  EXPECT_EQ(right(render("shown")), grey);

  // A user matrix moves one occurrence of the shared box only: x [4, 6] to [2, 4].
  SoPath* twin = CGraphOperation::GetNodeSoPathByPlcPath(t.doc, "2|0");
  SbMatrix back;
  back.setTranslate(SbVec3f(-2, 0, 0));
  t.doc->getKRNState()->setUserMatrix(twin, back, TRUE);
  twin->unref();
  const PngImage moved = render("moved");
  EXPECT_EQ(right(moved), white);
  EXPECT_EQ(middle(moved), grey);
  EXPECT_EQ(left(moved), grey);

  // A clip plane under the document keeps x < 2.5: the moved box goes, a
  // temporary child standing there stays (not clipped).
  auto* marker = new SoSeparator;
  auto* at = new SoTranslation;
  at->translation.setValue(3, 1, 0);
  auto* cube = new SoCube;
  cube->width = cube->height = cube->depth = 0.5f;
  marker->addChild(at);
  marker->addChild(cube);
  t.doc->addTmpChild(marker);
  auto* plane = new SoClipPlane;
  plane->plane.setValue(SbPlane(SbVec3f(-1, 0, 0), -2.5f));
  t.doc->getClipPlaneChildren()->addChild(plane);
  const PngImage clipped = render("clipped");
  EXPECT_EQ(left(clipped), grey);
  EXPECT_NE(middle(clipped), white) << "the temporary child";
  EXPECT_EQ(clipped.pixel(55, 45), white) << "the moved box, clipped";

  // The info kit's draw style hides the model.
  auto* style = static_cast<SoDrawStyle*>(t.doc->getKRN_Info()->getPart("drawStyle", FALSE));
  ASSERT_NE(style, nullptr);
  style->style = SoDrawStyle::INVISIBLE;
  EXPECT_EQ(left(render("invisible")), white);
}

// Isolation seen on pixels, on the sample with the pin hidden by the user:
// a run on the two brackets leaves only them drawn, one result only its
// pair, and clearing gives back
// the very same picture. VX_RENDER_TEST_DUMP keeps the four pictures.
TEST(RenderDisplayAttributes, IsolationDrawsOnlyTheInputsThenThePairThenGivesBackThePicture) {
  OffscreenRenderer* renderer = WhiteRenderer(kIsoWidth, kIsoHeight);
  if (!renderer->isValid()) GTEST_SKIP() << renderer->errorMessage();
  SoKRN_MainDoc* doc = vx::host::BuildSampleAssembly();
  auto* camera = new SoPerspectiveCamera;
  camera->ref();
  ASSERT_TRUE(renderer->cameraPlacer().viewAll(*camera, doc, renderer->viewport()));
  {
    SoPath* pin = CGraphOperation::GetNodeSoPathByPlcPath(doc, "8");
    doc->getKRNState()->setDocEleVisible(pin, 0, TRUE);
    pin->unref();
  }
  auto render = [&](const char* what) { return Render(renderer, doc, camera, std::string("isolation_") + what); };
  const PngImage::Rgba white{255, 255, 255, 255};
  auto at = [&](const PngImage& p, const SbVec3f& world) {
    SbVec3f s;
    camera->getViewVolume(float(kIsoWidth) / kIsoHeight).projectToScreen(world, s);
    return p.pixel(int(s[0] * kIsoWidth), int((1 - s[1]) * kIsoHeight));
  };
  const SbVec3f housingTop(50, 30, 46), bracket1Plate(135, 5, 5), bracket2Plate(135, 65, 5);

  const PngImage before = render("before");
  ASSERT_NE(at(before, housingTop), white);
  auto* m = new CCollisionManager(doc, "CollisionManager");
  SoPathList inputs;
  for (const char* plc : {"2", "3"}) {
    SoPath* p = CGraphOperation::GetNodeSoPathByPlcPath(doc, plc);
    inputs.append(p);
    p->unref();
  }
  m->AddIns1(&inputs, 0);
  m->m_bShowEdge = 0;
  m->m_bShowCutLine = 0;
  m->StartCalculate();
  while (m->m_pThread.load() != 0 || m->m_bRunning.load() != 0) vx::platform::SleepMs(1);
  ASSERT_GE(m->GetResultCount(), 2);
  const PngImage run = render("inputs");
  EXPECT_EQ(at(run, housingTop), white);
  EXPECT_NE(at(run, bracket2Plate), white);

  m->m_nCurResult = 0;  // Bracket_1's plate and bolt
  m->m_nShowInsMode = 0;
  m->ShowCurrent();
  const PngImage pair = render("pair");
  EXPECT_NE(at(pair, bracket1Plate), white);
  EXPECT_EQ(at(pair, bracket2Plate), white) << "the other bracket goes too";

  m->ClearColisionTempNode(true);
  const PngImage after = render("restored");
  EXPECT_TRUE(after.bytes() == before.bytes()) << "the user's picture, pin still hidden";
  delete m;
  camera->unref();
  doc->unref();
}
