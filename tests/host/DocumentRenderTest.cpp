// What the document shows when rendered: hidden occurrences vanish, user
// matrices move them, clip planes under the document clip the model but not
// the temporary children, and the info kit's draw style hides the model.
#include <gtest/gtest.h>

#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoGLCacheContextElement.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoTranslation.h>

#include "GlTestContext.h"
#include "HostTestUtil.h"
#include "host/SoKRN_InfoKit.h"
#include "host/SoKRN_State.h"

namespace {

using hosttest::ResolvedPath;
using hosttest::Translation;

const int kSize = 64;

// Boxes of 10 x 10 x 10 as occurrences "1|0" (x 0..10) and "2|0" (x 30..40)
// of one sub-assembly, seen from above by an orthographic camera showing
// x -12..52, y -27..37: one world unit per pixel.
class RenderFixture : public ::testing::Test {
protected:
  void SetUp() override {
    m_gl.reset(new GlTestContext(kSize, kSize));
    if (!m_gl->ok()) GTEST_SKIP() << "no OpenGL context: " << m_gl->error();
    doc = vhost::NewDocument();
    doc->ref();
    SoKRN_ComponentKit* box = hosttest::MakeBox(doc, L"B", SbVec3f(0, 0, 0), SbVec3f(10, 10, 10));
    SoKRN_ComponentKit* sub = vhost::MakeAssemblyPrototype(doc, L"S");
    vhost::PlaceInstance(doc, sub, box, SbMatrix::identity(), L"", 0);
    vhost::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(0, 0, 0), L"", 1);
    vhost::PlaceInstance(doc, doc->getTopPrototype(), sub, Translation(30, 0, 0), L"", 2);

    m_root = new SoSeparator;
    m_root->ref();
    auto* camera = new SoOrthographicCamera;
    camera->position.setValue(20, 5, 100);
    camera->height = kSize;
    camera->nearDistance = 1;
    camera->farDistance = 200;
    auto* light = new SoLightModel;
    light->model = SoLightModel::BASE_COLOR;
    auto* color = new SoBaseColor;
    color->rgb.setValue(1, 1, 1);
    m_root->addChild(camera);
    m_root->addChild(light);
    m_root->addChild(color);
    m_root->addChild(doc);
  }
  void TearDown() override {
    if (m_root) m_root->unref();
    if (doc) doc->unref();
  }

  // Lit pixels in the world rectangle [x0, x1] x [y0, y1] (z ignored).
  int litIn(float x0, float x1, float y0, float y1) {
    m_gl->clear();
    SoGLRenderAction ra(SbViewportRegion(kSize, kSize));
    ra.setCacheContext(m_cacheContext);
    ra.apply(m_root);
    const std::vector<unsigned char> px = m_gl->readPixels();
    auto toPixel = [](float w, float lo) { return static_cast<int>(w - lo); };
    int lit = 0;
    for (int y = std::max(0, toPixel(y0, -27)); y < std::min(kSize, toPixel(y1, -27)); ++y)
      for (int x = std::max(0, toPixel(x0, -12)); x < std::min(kSize, toPixel(x1, -12)); ++x)
        lit += px[4 * (y * kSize + x)] > 128;
    return lit;
  }
  int leftBox() { return litIn(1, 9, 1, 9); }
  int rightBox() { return litIn(31, 39, 1, 9); }

  void setVisible(const char* path, int v) {
    ResolvedPath p(doc, path);
    doc->getKRNState()->setDocEleVisible(p.get(), v, TRUE);
  }

  SoKRN_MainDoc* doc = nullptr;

private:
  std::unique_ptr<GlTestContext> m_gl;
  SoSeparator* m_root = nullptr;
  uint32_t m_cacheContext = SoGLCacheContextElement::getUniqueCacheContext();
};

// One scene changed step by step; each step renders again, so caches formed
// by earlier renders must follow every change.
TEST_F(RenderFixture, VisibilityUserMatricesClipPlanesAndDrawStyle) {
  const int full = leftBox();
  ASSERT_GT(full, 50);
  EXPECT_EQ(rightBox(), full);
  setVisible("1|0", 0);
  EXPECT_EQ(leftBox(), 0);
  EXPECT_EQ(rightBox(), full);
  setVisible("1|0", -1);
  EXPECT_EQ(leftBox(), full);
  setVisible("2", 0);  // the parent hides its sub-tree
  EXPECT_EQ(rightBox(), 0);
  EXPECT_EQ(leftBox(), full);
  setVisible("2", -1);
  EXPECT_EQ(rightBox(), full);

  // A user matrix moves one occurrence of the shared box only.
  ResolvedPath p(doc, "2|0");
  doc->getKRNState()->setUserMatrix(p.get(), Translation(0, 15, 0), TRUE);
  EXPECT_EQ(rightBox(), 0);
  EXPECT_EQ(litIn(31, 39, 16, 24), full);
  EXPECT_EQ(leftBox(), full);

  // Keep x < 20: the moved box goes, a temporary child there stays (not clipped).
  auto* marker = new SoSeparator;
  auto* move = new SoTranslation;
  move->translation.setValue(35, 5, -20);
  auto* cube = new SoCube;
  cube->width = cube->height = cube->depth = 8;
  marker->addChild(move);
  marker->addChild(cube);
  doc->addTmpChild(marker);
  auto* plane = new SoClipPlane;
  plane->plane.setValue(SbPlane(SbVec3f(-1, 0, 0), -20));
  doc->getClipPlaneChildren()->addChild(plane);
  EXPECT_EQ(leftBox(), full);
  EXPECT_EQ(litIn(31, 39, 16, 24), 0);
  EXPECT_GT(litIn(32, 38, 2, 8), 0);

  // The info kit's draw style hides the model.
  auto* style = static_cast<SoDrawStyle*>(doc->getKRN_Info()->getPart("drawStyle", FALSE));
  ASSERT_NE(style, nullptr);
  style->style = SoDrawStyle::INVISIBLE;
  EXPECT_EQ(leftBox(), 0);
}

}  // namespace
