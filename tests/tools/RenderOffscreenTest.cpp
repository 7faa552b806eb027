// Headless rendering checked on real pixels: lit faces against Lambert's law
// for the renderer's headlight, face modes, depth order, framing, clipping,
// blending of transparent faces, and reuse of one renderer (and
// several) for many pictures. VX_RENDER_TEST_DUMP=<dir> keeps the pictures.
#include <gtest/gtest.h>

#include <Inventor/SbViewVolume.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoSphere.h>
#include <Inventor/nodes/SoTranslation.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_ModelDisplay.h"
#include "host/SoKRN_NodeKit.h"
#include "host/TpxProductData.h"
#include "support/MeshGen.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

constexpr int kWidth = 160, kHeight = 120;
using Rgba = PngImage::Rgba;
using Mode = OffscreenRenderer::FaceMode;

// One renderer for the whole suite, as the clash checker keeps one for all its
// pictures, reset to black background, two-sided faces, headlight and auto
// clipping; null (and the reason) when this machine has no headless GL.
OffscreenRenderer* sharedRenderer(std::string* why) {
  static std::unique_ptr<OffscreenRenderer> renderer(new OffscreenRenderer(kWidth, kHeight));
  *why = renderer->errorMessage();
  if (!renderer->isValid()) return nullptr;
  renderer->setBackgroundColor(SbColor(0, 0, 0));
  renderer->setFaceMode(Mode::TwoSided);
  renderer->setHeadlight(true);
  renderer->setAutoClipping(true);
  return renderer.get();
}

#define REQUIRE_RENDERER(r)                        \
  std::string whyNoGl;                             \
  OffscreenRenderer* r = sharedRenderer(&whyNoGl); \
  if (!r) GTEST_SKIP() << whyNoGl

template <class T>
vx::host::SoRef<T> held(T* node) {
  return vx::host::SoRef<T>(node);
}

struct Pixel {
  int x, y;
};

// Where a world point lands in a picture rendered through `camera`.
Pixel project(SoCamera* camera, const SbVec3f& world) {
  SbVec3f s;
  camera->getViewVolume(float(kWidth) / kHeight).projectToScreen(world, s);
  return {int(std::lround(s[0] * kWidth - 0.5)), int(std::lround((1.0f - s[1]) * kHeight - 0.5))};
}

// Mean of a (2r+1)^2 patch, channel by channel.
SbVec3f patchMean(const PngImage& p, Pixel c, int r = 2) {
  SbVec3f sum(0, 0, 0);
  for (int y = c.y - r; y <= c.y + r; ++y)
    for (int x = c.x - r; x <= c.x + r; ++x) sum += SbVec3f(p.pixel(x, y).r, p.pixel(x, y).g, p.pixel(x, y).b);
  return sum / float((2 * r + 1) * (2 * r + 1));
}

bool isBackground(const PngImage& p, Pixel at) { return p.pixel(at.x, at.y) == (Rgba{0, 0, 0, 255}); }

// Renders, and keeps the picture as $VX_RENDER_TEST_DUMP/<name>.png when set.
::testing::AssertionResult draw(OffscreenRenderer* r, SoNode* scene, SoCamera* camera, PngImage& picture,
                                const std::string& name) {
  if (!r->render(scene, camera, picture)) return ::testing::AssertionFailure() << r->errorMessage();
  std::string error;
  if (const char* dir = std::getenv("VX_RENDER_TEST_DUMP"))
    if (!picture.writeFile(std::string(dir) + "/" + name + ".png", error)) ADD_FAILURE() << error;
  return ::testing::AssertionSuccess();
}

// A perspective camera fitted to `scene`, looking along `view` (zero: the default).
SoPerspectiveCamera* fittedCamera(OffscreenRenderer& r, SoNode* scene, const SbVec3f& view = SbVec3f(0, 0, 0)) {
  SceneCamera placer = r.cameraPlacer();
  if (view != SbVec3f(0, 0, 0)) placer.setViewDirection(view);
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  placer.viewAll(*camera, scene, r.viewport());
  return camera;
}

SoCube* box(float w, float h, float d) {
  SoCube* c = new SoCube;
  c->width = w, c->height = h, c->depth = d;
  return c;
}

// The rectangle [x0, x1] x [y0, y1] in the plane at height z, facing +z.
SoGroup* rectangle(float x0, float y0, float x1, float y1, float z) {
  SoGroup* g = new SoGroup;
  SoCoordinate3* c = new SoCoordinate3;
  const SbVec3f corners[4] = {SbVec3f(x0, y0, z), SbVec3f(x1, y0, z), SbVec3f(x1, y1, z), SbVec3f(x0, y1, z)};
  c->point.setValues(0, 4, corners);
  g->addChild(c);
  g->addChild(new SoFaceSet);
  return g;
}

// A shape in its own separator: one colour, lit (default ambient 0.2) or unlit, moved by `at`.
struct Part {
  SoNode* shape;
  SbColor colour;
  bool lit = true;
  SbVec3f at = SbVec3f(0, 0, 0);
  float transparency = 0;
};

SoSeparator* build(const std::vector<Part>& parts) {
  SoSeparator* scene = new SoSeparator;
  for (const Part& p : parts) {
    SoSeparator* s = new SoSeparator;
    SoLightModel* model = new SoLightModel;
    model->model = p.lit ? SoLightModel::PHONG : SoLightModel::BASE_COLOR;
    SoMaterial* m = new SoMaterial;
    m->diffuseColor = p.colour;
    m->transparency = p.transparency;
    SoTranslation* t = new SoTranslation;
    t->translation = p.at;
    for (SoNode* node : {static_cast<SoNode*>(model), static_cast<SoNode*>(m), static_cast<SoNode*>(t), p.shape})
      s->addChild(node);
    scene->addChild(s);
  }
  return scene;
}

const SbColor kRed(1, 0, 0), kGreen(0, 1, 0);
Part redCube() { return {box(2, 2, 2), kRed}; }  // 2 x 2 x 2 about the origin, lit

}  // namespace

TEST(RenderOffscreen, LitFacesFollowLambertForEachFaceMode) {
  REQUIRE_RENDERER(r);
  // Default ambient 0.2 under OpenGL's global ambient 0.2, one white
  // directional light: channel = 255 (0.04 + diffuse max(0, n . -L)) with n
  // the normal the renderer lights the face with; n = 0 means culled. The red
  // cube shows three faces from the default view; the grey quad lies in the
  // z = 0 plane, counter-clockwise seen from +z, seen from above and below.
  auto cube = held(build({redCube()}));
  const SbColor grey(.8f, .8f, .8f);
  auto quad = held(build({{rectangle(-1, -1, 1, 1, 0), grey}}));
  const SbVec3f front(0, 0, 0), above(0.3f, 0.4f, -1), below(0.3f, 0.4f, 1), x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  const struct {
    SoSeparator* scene;
    Mode mode;
    SbVec3f view, at, litNormal;
    const char* what;
  } cases[] = {
      {cube.get(), Mode::TwoSided, front, x, x, "cube, right face"},
      {cube.get(), Mode::TwoSided, front, -y, -y, "cube, front face"},
      {cube.get(), Mode::TwoSided, front, z, z, "cube, top face"},
      {quad.get(), Mode::TwoSided, above, front, z, "two-sided, front"},
      {quad.get(), Mode::TwoSided, below, front, -z, "two-sided, back lit as its own front"},
      {quad.get(), Mode::Solid, above, front, z, "solid, front"},
      {quad.get(), Mode::Solid, below, front, front, "solid, back culled"},
      {quad.get(), Mode::FromScene, above, front, z, "Coin defaults, front"},
      {quad.get(), Mode::FromScene, below, front, z, "Coin defaults, back gets ambient only"},
  };
  float brightestCubeFace = 0, cubeTop = 0;
  for (const auto& k : cases) {
    r->setFaceMode(k.mode);
    auto camera = held(fittedCamera(*r, k.scene, k.view));
    PngImage picture;
    ASSERT_TRUE(draw(r, k.scene, camera.get(), picture, k.what));
    const Pixel spot = project(camera.get(), k.at);
    if (k.litNormal == front) {
      EXPECT_TRUE(isBackground(picture, spot)) << k.what;
      continue;
    }
    const SbColor& diffuse = k.scene == cube.get() ? kRed : grey;
    const SbVec3f toLight = -OffscreenRenderer::headlightDirection(camera->orientation.getValue());
    const SbVec3f mean = patchMean(picture, spot);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(mean[i], 255.0f * (0.04f + diffuse[i] * std::max(0.0f, k.litNormal.dot(toLight))), 6.0f)
          << k.what << " channel " << i;
    if (k.scene != cube.get()) continue;
    EXPECT_GT(mean[0], 50.0f) << k.what << " is unlit";
    brightestCubeFace = std::max(brightestCubeFace, mean[0]);
    if (k.at == z) cubeTop = mean[0];
  }
  EXPECT_NEAR(cubeTop, brightestCubeFace, 0.5f) << "the light comes from above: the top face is the brightest";
}

TEST(RenderOffscreen, DefaultCameraCentresTheSceneWithinItsMargin) {
  REQUIRE_RENDERER(shared);
  // A wide and a tall picture: the tall one checks that the fit follows Coin's
  // viewport mapping (heightAngle across the width when taller than wide).
  OffscreenRenderer tall(60, 120, 4);
  ASSERT_TRUE(tall.isValid()) << tall.errorMessage();
  auto scene = held(build({redCube()}));
  for (OffscreenRenderer* r : {shared, &tall}) {
    const int w = r->width(), h = r->height();
    PngImage picture;
    ASSERT_TRUE(draw(r, scene.get(), nullptr, picture, w > h ? "framed_wide" : "framed_tall"));
    int x0 = w, x1 = -1, y0 = h, y1 = -1;  // bounding rectangle of the drawn pixels
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (!isBackground(picture, {x, y}))
          x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    ASSERT_GE(x1, 0) << "nothing drawn";
    const float m = r->cameraPlacer().margin();
    const int mx = int(std::lround(m * w)), my = int(std::lround(m * h));
    // Inside the margins, centred, and touching the margins on two opposite
    // sides; a pixel of slack for antialiased edges.
    EXPECT_GE(x0, mx - 1);
    EXPECT_GE(y0, my - 1);
    EXPECT_NEAR(x0, w - 1 - x1, 1.5);
    EXPECT_NEAR(y0, h - 1 - y1, 1.5);
    EXPECT_TRUE(x0 <= mx + 1 || y0 <= my + 1)
        << w << " x " << h << ": x " << x0 << ".." << x1 << ", y " << y0 << ".." << y1;
  }
}

TEST(RenderOffscreen, NearerShapeHidesFartherOneAndAutoClippingShowsWhatLiesBeyondTheFit) {
  REQUIRE_RENDERER(r);
  // The camera is fitted to the red cube alone; far behind the cube stands a
  // green block that fills the picture. The cube hides the block whichever
  // comes first in the graph; near and far planes fitted to the cube cut the
  // block away, and auto clipping brings it back.
  const SceneCamera placer;
  SbVec3f away = placer.viewDirection();
  away.normalize();
  auto camera = held(new SoPerspectiveCamera);
  ASSERT_TRUE(placer.fit(*camera.get(), SbBox3f(-1, -1, -1, 1, 1, 1), float(kWidth) / kHeight));
  const float nearBefore = camera->nearDistance.getValue(), farBefore = camera->farDistance.getValue();
  for (const auto& [nearFirst, autoClipping] : {std::pair<bool, bool>{true, true}, {false, true}, {true, false}}) {
    const std::string what =
        std::string(nearFirst ? "cube first" : "block first") + ", auto clipping " + (autoClipping ? "on" : "off");
    const Part block{box(40, 40, 40), kGreen, false, away * 40.0f};
    auto scene = held(nearFirst ? build({redCube(), block}) : build({block, redCube()}));
    r->setAutoClipping(autoClipping);
    PngImage picture;
    ASSERT_TRUE(draw(r, scene.get(), camera.get(), picture, what));
    const Rgba centre = picture.pixel(kWidth / 2, kHeight / 2);
    EXPECT_GT(centre.r, 100) << what;
    EXPECT_LT(centre.g, 30) << what;
    if (autoClipping)
      EXPECT_GT(picture.pixel(2, 2).g, 100) << what << ": the block behind";
    else
      EXPECT_TRUE(isBackground(picture, {2, 2})) << "the block lies beyond the fitted far plane";
  }
  EXPECT_TRUE(camera->nearDistance.getValue() == nearBefore && camera->farDistance.getValue() == farBefore)
      << "the caller's camera was changed";
}

TEST(RenderOffscreen, HalfTransparentMagentaBlendsOverGrey) {
  REQUIRE_RENDERER(r);
  // Looking down -z: a grey square at z = 0, and nearer, at z = 1, a magenta
  // square half over the grey one and half over the background. The
  // transparent face comes first in the graph: only sorted blending (opaque
  // shapes first) puts the grey under it.
  auto scene = held(build({{rectangle(0, -1, 3, 1, 1), SbColor(1, 0, 1), false, SbVec3f(0, 0, 0), 0.5f},
                           {rectangle(-2, -2, 2, 2, 0), SbColor(0.5f, 0.5f, 0.5f), false}}));
  auto camera = held(new SoOrthographicCamera);
  camera->position.setValue(0, 0, 10);
  camera->height = 8, camera->nearDistance = 1, camera->farDistance = 20;
  PngImage picture;
  ASSERT_TRUE(draw(r, scene.get(), camera.get(), picture, "transparent_over_grey"));
  const struct {
    float x;
    SbVec3f rgb;
    const char* what;
  } spots[] = {{-1, SbVec3f(0.5f, 0.5f, 0.5f), "grey alone"},
               {1, SbVec3f(0.75f, 0.25f, 0.75f), "magenta over grey"},
               {2.5f, SbVec3f(0.5f, 0.0f, 0.5f), "magenta over background"},
               {3.5f, SbVec3f(0, 0, 0), "background"}};
  for (const auto& s : spots) {
    const SbVec3f mean = patchMean(picture, project(camera.get(), SbVec3f(s.x, 0, 0)), 1);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(mean[i], 255.0f * s.rgb[i], 3.0f) << s.what << " channel " << i;
  }
  EXPECT_TRUE(picture.isOpaque()) << "an opaque background gives an opaque picture";
}

TEST(RenderOffscreen, ClipPlaneDisplayCutsTheDocumentAndShowsItsPlane) {
  REQUIRE_RENDERER(r);
  // A 2-unit cube part, its front half (z > 1) clipped away by a display
  // whose plane is z = 1, drawn half-transparent red over [-1, 3]^3.
  SoKRN_MainDoc* doc = vx::host::NewDocument();
  auto docRef = held(doc);
  const vxtest::Mesh cube = vxtest::Box(SbVec3f(0, 0, 0), SbVec3f(2, 2, 2));
  vx::host::PlaceInstance(doc, doc->getTopPrototype(), vx::host::MakePartPrototype(doc, L"Cube", cube.xyz, cube.tris),
                          SbMatrix::identity());
  SoKRN_NodeKit* kit =
      SoKRN_NodeKit::createNode(SoKRN_NodeKit::MODEL_DISPLAY, doc->getTopPrototype()->getRootNode(), nullptr, 0);
  auto* display = static_cast<SoKRN_ModelDisplay*>(kit->getNodeEnt());
  ASSERT_TRUE(display->createClipPlane(SbBox3f(-1, -1, -1, 3, 3, 3), SbVec3f(1, 1, 1), SbVec3f(0, 0, -1), 0,
                                       TPX_RGBA32{1, 0, 0, 0.5f}));
  auto camera = held(new SoOrthographicCamera);
  camera->position.setValue(1, 1, 10);
  camera->height = 6, camera->nearDistance = 1, camera->farDistance = 20;
  PngImage picture;
  ASSERT_TRUE(draw(r, doc, camera.get(), picture, "clip_plane_display"));
  // Where the cube's front face was, the plane is now nearest: red over the
  // inside of the cube's back half, not the grey of a front face.
  const SbVec3f centre = patchMean(picture, project(camera.get(), SbVec3f(1, 1, 1)));
  EXPECT_GT(centre[0], centre[1] + 60) << "red over the cut";
  EXPECT_GT(centre[1], 20) << "with the cube behind it";
  // Beside the cube the plane lies over the background alone; beyond it, nothing.
  const SbVec3f beside = patchMean(picture, project(camera.get(), SbVec3f(-0.5f, 1, 1)));
  EXPECT_NEAR(beside[0], 127.5f, 12);
  EXPECT_LT(beside[1], 10);
  EXPECT_TRUE(isBackground(picture, project(camera.get(), SbVec3f(-1.6f, 1, 1))));
}

TEST(RenderOffscreen, BackgroundsBorrowedNodesAndBadRequests) {
  REQUIRE_RENDERER(r);
  // Nodes nobody references come back unreferenced and unchanged.
  SoSeparator* scene = build({redCube()});
  SoPerspectiveCamera* camera = fittedCamera(*r, scene);
  const int children = scene->getNumChildren();
  r->setBackgroundColor(SbColor(0.0f, 0.2f, 1.0f));
  PngImage picture;
  ASSERT_TRUE(r->render(scene, camera, picture)) << r->errorMessage();
  EXPECT_EQ(picture.pixel(0, 0), (Rgba{0, 51, 255, 255}));
  EXPECT_TRUE(scene->getRefCount() == 0 && camera->getRefCount() == 0 && scene->getNumChildren() == children);
  auto cube = held(scene);
  auto heldCamera = held(camera);
  r->setBackgroundColor(SbColor(1, 1, 1), 0.0f);
  ASSERT_TRUE(r->render(scene, picture)) << r->errorMessage();
  EXPECT_EQ(picture.pixel(0, 0).a, 0);
  EXPECT_EQ(picture.pixel(kWidth / 2, kHeight / 2).a, 255);
  // Failures give a reason and keep the picture.
  PngImage kept(2, 2, {7, 7, 7, 255});
  EXPECT_FALSE(r->render(nullptr, kept));
  auto empty = held(new SoSeparator);
  EXPECT_FALSE(r->render(empty.get(), kept));
  EXPECT_NE(r->errorMessage().find("no extent"), std::string::npos) << r->errorMessage();
  EXPECT_EQ(kept.pixel(1, 1), (Rgba{7, 7, 7, 255}));
  OffscreenRenderer zero(0, 10);
  EXPECT_FALSE(zero.isValid());
  EXPECT_NE(zero.errorMessage().find("0 x 10"), std::string::npos) << zero.errorMessage();
  EXPECT_FALSE(zero.render(empty.get(), kept));
}

TEST(RenderOffscreen, OneRendererManyPicturesAndTwoRenderersAtOnce) {
  REQUIRE_RENDERER(r);
  auto cube = held(build({redCube()}));
  auto sphere = held(build({{new SoSphere, SbColor(0, 0, 1)}}));
  PngImage first, second, small, again;
  ASSERT_TRUE(r->render(cube.get(), first));
  ASSERT_TRUE(r->render(sphere.get(), second));
  EXPECT_GT(second.pixel(kWidth / 2, kHeight / 2).b, 100);
  auto sameAsFirst = [&] { return r->render(cube.get(), again) && again.bytes() == first.bytes(); };
  EXPECT_TRUE(sameAsFirst()) << "a render left state behind that changed the next one";
  {
    // A second, differently sized renderer alive at the same time; renders
    // alternate between the two contexts.
    OffscreenRenderer other(64, 48, 0);
    ASSERT_TRUE(other.render(sphere.get(), small)) << other.errorMessage();
    EXPECT_TRUE(sameAsFirst());
    EXPECT_GT(small.pixel(32, 24).b, 100);
  }
  EXPECT_TRUE(sameAsFirst()) << "the other renderer is gone; the shared display must still serve this one";
}

TEST(RenderOffscreen, EglAndOsMesaDrawTheSamePicture) {
  REQUIRE_RENDERER(r);
  OffscreenRenderer egl(kWidth, kHeight, 4, OffscreenRenderer::Backend::EglSurfaceless);
  OffscreenRenderer osmesa(kWidth, kHeight, 4, OffscreenRenderer::Backend::OSMesa);
  if (!egl.isValid() || !osmesa.isValid())
    GTEST_SKIP() << "needs both back ends: " << egl.errorMessage() << " " << osmesa.errorMessage();
  auto scene = held(build({redCube()}));
  PngImage a, b;
  ASSERT_TRUE(egl.render(scene.get(), a)) << egl.errorMessage();
  ASSERT_TRUE(osmesa.render(scene.get(), b)) << osmesa.errorMessage();
  int differing = 0;
  for (std::size_t i = 0; i < a.bytes().size(); ++i) differing += std::abs(int(a.bytes()[i]) - int(b.bytes()[i])) > 8;
  EXPECT_LT(differing, 50) << "the two back ends disagree on " << differing << " channel values";
  EXPECT_GT(b.pixel(kWidth / 2, kHeight / 2).r, 100);
}
