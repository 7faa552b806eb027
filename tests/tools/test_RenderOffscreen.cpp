// Headless rendering checked on real pixels: lit faces against Lambert's law
// for the renderer's headlight, face modes, depth order, framing, clipping,
// lines, blending of transparent faces, and reuse of one renderer (and
// several) for many pictures. VX_RENDER_TEST_DUMP=<dir> keeps the pictures.
#include <gtest/gtest.h>

#include <Inventor/SbViewVolume.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoCube.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoFaceSet.h>
#include <Inventor/nodes/SoLightModel.h>
#include <Inventor/nodes/SoLineSet.h>
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

#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

constexpr int kWidth = 160, kHeight = 120;

// One renderer for the whole suite, as the clash checker keeps one for all its
// pictures; null (and the reason) when this machine has no headless GL.
OffscreenRenderer* sharedRenderer(std::string* why) {
  static std::unique_ptr<OffscreenRenderer> renderer(new OffscreenRenderer(kWidth, kHeight));
  *why = renderer->errorMessage();
  return renderer->isValid() ? renderer.get() : nullptr;
}

#define REQUIRE_RENDERER(r)                                         \
  std::string whyNoGl;                                              \
  OffscreenRenderer* r = sharedRenderer(&whyNoGl);                  \
  if (!r) GTEST_SKIP() << whyNoGl;                                  \
  r->setBackgroundColor(SbColor(0, 0, 0));                          \
  r->setFaceMode(OffscreenRenderer::FaceMode::TwoSided);            \
  r->setHeadlight(true);                                            \
  r->setAutoClipping(true)

// Owns a reference on a node for a test's length.
template <class T>
struct Ref {
  T* node;
  explicit Ref(T* n) : node(n) { node->ref(); }
  ~Ref() { node->unref(); }
  T* operator->() const { return node; }
  T* get() const { return node; }
};

struct Pixel {
  int x, y;
};
using Rgba = PngImage::Rgba;

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

SoPerspectiveCamera* fittedCamera(OffscreenRenderer& r, SoNode* scene) {
  SoPerspectiveCamera* camera = new SoPerspectiveCamera;
  r.cameraPlacer().viewAll(*camera, scene, r.viewport());
  return camera;
}

SoCube* box(float w, float h, float d) {
  SoCube* c = new SoCube;
  c->width = w, c->height = h, c->depth = d;
  return c;
}

// Points joined as one polygon (counter-clockwise as given), or as polylines
// of `counts` points each, two pixels wide.
SoGroup* polygon(const std::vector<SbVec3f>& points, const std::vector<int32_t>& counts = {}) {
  SoGroup* g = new SoGroup;
  SoCoordinate3* c = new SoCoordinate3;
  c->point.setValues(0, int(points.size()), points.data());
  g->addChild(c);
  if (counts.empty()) {
    g->addChild(new SoFaceSet);
    return g;
  }
  SoDrawStyle* style = new SoDrawStyle;
  style->lineWidth = 2;
  g->insertChild(style, 0);
  SoLineSet* lines = new SoLineSet;
  lines->numVertices.setValues(0, int(counts.size()), counts.data());
  g->addChild(lines);
  return g;
}

// One row of a scene table: a shape in its own separator, in one colour, lit
// through a material (default ambient 0.2) or unlit, moved by `at`.
struct Part {
  Part(SoNode* shape, SbColor colour, bool lit = true, SbVec3f at = SbVec3f(0, 0, 0), float transparency = 0)
      : shape(shape), colour(colour), lit(lit), at(at), transparency(transparency) {}
  SoNode* shape;
  SbColor colour;
  bool lit;
  SbVec3f at;
  float transparency;
};

SoSeparator* build(const std::vector<Part>& parts) {
  SoSeparator* scene = new SoSeparator;
  for (const Part& p : parts) {
    SoSeparator* s = new SoSeparator;
    if (!p.lit) {
      SoLightModel* model = new SoLightModel;
      model->model = SoLightModel::BASE_COLOR;
      s->addChild(model);
    }
    SoMaterial* m = new SoMaterial;
    m->diffuseColor = p.colour;
    m->transparency = p.transparency;
    s->addChild(m);
    SoTranslation* t = new SoTranslation;
    t->translation = p.at;
    s->addChild(t);
    s->addChild(p.shape);
    scene->addChild(s);
  }
  return scene;
}

const SbColor kRed(1, 0, 0), kGreen(0, 1, 0);
Part redCube() { return Part(box(2, 2, 2), kRed); }  // 2 x 2 x 2 about the origin, lit

}  // namespace

TEST(RenderOffscreen, RedCubeFacesFollowLambertAndCornersStayBackground) {
  REQUIRE_RENDERER(r);
  Ref<SoSeparator> scene(build({redCube()}));
  Ref<SoPerspectiveCamera> camera(fittedCamera(*r, scene.get()));
  PngImage picture;
  ASSERT_TRUE(draw(r, scene.get(), camera.get(), picture, "red_cube"));
  ASSERT_EQ(picture.width(), kWidth);
  ASSERT_EQ(picture.height(), kHeight);

  // Red material, default ambient 0.2 under OpenGL's global ambient 0.2, one
  // white directional light: red = 0.04 + max(0, n . -L), green = blue = 0.04.
  const SbVec3f toLight = -OffscreenRenderer::headlightDirection(camera->orientation.getValue());
  float brightest = 0.0f;
  for (const SbVec3f& n : {SbVec3f(1, 0, 0), SbVec3f(0, -1, 0), SbVec3f(0, 0, 1)}) {  // the visible faces
    const SbVec3f mean = patchMean(picture, project(camera.get(), n));
    EXPECT_NEAR(mean[0], 255.0f * (0.04f + std::max(0.0f, n.dot(toLight))), 6.0f)
        << "face with normal " << n[0] << " " << n[1] << " " << n[2];
    EXPECT_GT(mean[0], 50.0f) << "a visible face is unlit";
    EXPECT_LT(std::max(mean[1], mean[2]), 16.0f);
    brightest = std::max(brightest, mean[0]);
  }
  EXPECT_NEAR(patchMean(picture, project(camera.get(), SbVec3f(0, 0, 1)))[0], brightest, 0.5f)
      << "the light comes from above: the top face is the brightest";
  for (Pixel corner : {Pixel{0, 0}, Pixel{kWidth - 1, 0}, Pixel{0, kHeight - 1}, Pixel{kWidth - 1, kHeight - 1}})
    EXPECT_TRUE(isBackground(picture, corner)) << corner.x << ", " << corner.y;
}

TEST(RenderOffscreen, DefaultCameraCentresTheSceneWithinItsMargin) {
  REQUIRE_RENDERER(shared);
  // A wide and a tall picture: the tall one checks that the fit follows Coin's
  // viewport mapping (heightAngle across the width when taller than wide).
  OffscreenRenderer tall(60, 120, 4);
  ASSERT_TRUE(tall.isValid()) << tall.errorMessage();
  Ref<SoSeparator> scene(build({redCube()}));
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
    EXPECT_TRUE(x0 <= mx + 1 || y0 <= my + 1) << w << " x " << h << ": x " << x0 << ".." << x1 << ", y " << y0
                                              << ".." << y1;
  }
}

TEST(RenderOffscreen, NearerShapeHidesFartherOneWhateverTheOrder) {
  REQUIRE_RENDERER(r);
  for (bool nearFirst : {true, false}) {
    const Part wall(box(6, 6, 2), kGreen, false, SbVec3f(0, 0, -5));
    Ref<SoSeparator> scene(nearFirst ? build({redCube(), wall}) : build({wall, redCube()}));
    Ref<SoPerspectiveCamera> camera(new SoPerspectiveCamera);
    camera->position.setValue(0, 0, 10);
    camera->nearDistance = 1, camera->farDistance = 30;
    PngImage picture;
    ASSERT_TRUE(draw(r, scene.get(), camera.get(), picture, nearFirst ? "depth_near_first" : "depth_far_first"));
    const Rgba centre = picture.pixel(kWidth / 2, kHeight / 2);
    EXPECT_GT(centre.r, 150) << "near first " << nearFirst;
    EXPECT_LT(centre.g, 30) << "near first " << nearFirst;
  }
}

TEST(RenderOffscreen, FaceModesDecideWhichSidesOfAnOpenFaceShowAndAreLit) {
  REQUIRE_RENDERER(r);
  // One grey quad in the z = 0 plane, counter-clockwise seen from +z, looked
  // at from above (+z) and from below. Red of its centre pixel, from Lambert:
  // 255 (0.04 + 0.8 max(0, n . -L)) with n the normal the renderer lights
  // (0: culled, background).
  Ref<SoSeparator> scene(build({Part(
      polygon({SbVec3f(-1, -1, 0), SbVec3f(1, -1, 0), SbVec3f(1, 1, 0), SbVec3f(-1, 1, 0)}), SbColor(.8f, .8f, .8f))}));
  using Mode = OffscreenRenderer::FaceMode;
  const struct {
    Mode mode;
    bool fromBelow;
    float litNormalZ;
    const char* what;
  } cases[] = {
      {Mode::TwoSided, false, 1, "two-sided, front"},  {Mode::TwoSided, true, -1, "two-sided, back lit as its own front"},
      {Mode::Solid, false, 1, "solid, front"},         {Mode::Solid, true, 0, "solid, back culled"},
      {Mode::FromScene, false, 1, "Coin defaults, front"},
      {Mode::FromScene, true, 1, "Coin defaults, back gets ambient only"},
  };
  for (const auto& k : cases) {
    r->setFaceMode(k.mode);
    SceneCamera placer;
    placer.setViewDirection(SbVec3f(0.3f, 0.4f, k.fromBelow ? 1.0f : -1.0f));
    Ref<SoPerspectiveCamera> camera(new SoPerspectiveCamera);
    placer.viewAll(*camera.get(), scene.get(), r->viewport());
    PngImage picture;
    ASSERT_TRUE(draw(r, scene.get(), camera.get(), picture, k.what));
    const Pixel centre = project(camera.get(), SbVec3f(0, 0, 0));
    const SbVec3f toLight = -OffscreenRenderer::headlightDirection(camera->orientation.getValue());
    if (k.litNormalZ == 0)
      EXPECT_TRUE(isBackground(picture, centre)) << k.what;
    else
      EXPECT_NEAR(patchMean(picture, centre)[0],
                  255.0f * (0.04f + 0.8f * std::max(0.0f, SbVec3f(0, 0, k.litNormalZ).dot(toLight))), 6.0f)
          << k.what;
  }
  r->setFaceMode(Mode::TwoSided);
}

TEST(RenderOffscreen, AutoClippingShowsWhatReachesOutOfTheFittedBox) {
  REQUIRE_RENDERER(r);
  // The camera is fitted to the red cube alone; far behind the cube stands a
  // green block that fills the picture. Near and far planes fitted to the cube
  // cut the block away; auto clipping brings it back.
  const SceneCamera placer;
  SbVec3f away = placer.viewDirection();
  away.normalize();
  Ref<SoSeparator> scene(build({redCube(), Part(box(40, 40, 40), kGreen, false, away * 40.0f)}));
  Ref<SoPerspectiveCamera> camera(new SoPerspectiveCamera);
  ASSERT_TRUE(placer.fit(*camera.get(), SbBox3f(-1, -1, -1, 1, 1, 1), float(kWidth) / kHeight));
  const float nearBefore = camera->nearDistance.getValue(), farBefore = camera->farDistance.getValue();
  for (bool autoClipping : {true, false}) {
    r->setAutoClipping(autoClipping);
    PngImage picture;
    ASSERT_TRUE(draw(r, scene.get(), camera.get(), picture, autoClipping ? "auto_clipping_on" : "auto_clipping_off"));
    EXPECT_GT(picture.pixel(kWidth / 2, kHeight / 2).r, 100) << "the cube, auto clipping " << autoClipping;
    if (autoClipping)
      EXPECT_GT(picture.pixel(2, 2).g, 100) << "the block behind";
    else
      EXPECT_TRUE(isBackground(picture, {2, 2})) << "the block lies beyond the fitted far plane";
  }
  EXPECT_EQ(camera->nearDistance.getValue(), nearBefore) << "the caller's camera was changed";
  EXPECT_EQ(camera->farDistance.getValue(), farBefore);
}

TEST(RenderOffscreen, RedLinesShowWherePut) {
  REQUIRE_RENDERER(r);
  // A square outline with one diagonal, in the z = 0 plane, unlit red lines.
  const SbVec3f o(0, 0, 0), a(4, 0, 0), b(4, 4, 0), c(0, 4, 0);
  Ref<SoSeparator> scene(build({Part(polygon({o, a, b, c, o, o, b}, {5, 2}), kRed, false)}));
  Ref<SoPerspectiveCamera> camera(fittedCamera(*r, scene.get()));
  PngImage picture;
  ASSERT_TRUE(draw(r, scene.get(), camera.get(), picture, "red_lines"));
  auto redNear = [&](const SbVec3f& world) {
    const Pixel at = project(camera.get(), world);
    for (int y = at.y - 1; y <= at.y + 1; ++y)
      for (int x = at.x - 1; x <= at.x + 1; ++x)
        if (picture.pixel(x, y).r > 150 && picture.pixel(x, y).g < 60 && picture.pixel(x, y).b < 60) return true;
    return false;
  };
  for (const SbVec3f& onLine : {SbVec3f(2, 0, 0), SbVec3f(4, 2, 0), SbVec3f(2, 4, 0), SbVec3f(0, 2, 0),
                                SbVec3f(1, 1, 0), SbVec3f(3, 3, 0)})
    EXPECT_TRUE(redNear(onLine)) << "no red line at " << onLine[0] << ", " << onLine[1];
  for (const SbVec3f& off : {SbVec3f(3, 1, 0), SbVec3f(1, 3, 0)})  // inside the square, off every line
    EXPECT_TRUE(isBackground(picture, project(camera.get(), off))) << "at " << off[0] << ", " << off[1];
  int redPixels = 0;  // lines, not filled area: few red pixels
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) redPixels += picture.pixel(x, y).r > 100;
  EXPECT_GT(redPixels, 200);
  EXPECT_LT(redPixels, kWidth * kHeight / 8);
}

TEST(RenderOffscreen, HalfTransparentMagentaBlendsOverGrey) {
  REQUIRE_RENDERER(r);
  // Looking down -z: a grey square at z = 0, and nearer, at z = 1, a magenta
  // square half over the grey one and half over the background. The
  // transparent face comes first in the graph: only sorted blending (opaque
  // shapes first) puts the grey under it.
  Ref<SoSeparator> scene(build(
      {Part(polygon({SbVec3f(0, -1, 1), SbVec3f(3, -1, 1), SbVec3f(3, 1, 1), SbVec3f(0, 1, 1)}), SbColor(1, 0, 1),
            false, SbVec3f(0, 0, 0), 0.5f),
       Part(polygon({SbVec3f(-2, -2, 0), SbVec3f(2, -2, 0), SbVec3f(2, 2, 0), SbVec3f(-2, 2, 0)}),
            SbColor(0.5f, 0.5f, 0.5f), false)}));
  Ref<SoOrthographicCamera> camera(new SoOrthographicCamera);
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

TEST(RenderOffscreen, BackgroundsBorrowedNodesAndBadRequests) {
  REQUIRE_RENDERER(r);
  SoSeparator* scene = build({redCube()});  // no reference held by anyone
  SoPerspectiveCamera* camera = fittedCamera(*r, scene);
  const int children = scene->getNumChildren();
  r->setBackgroundColor(SbColor(0.0f, 0.2f, 1.0f));
  PngImage picture;
  ASSERT_TRUE(r->render(scene, camera, picture)) << r->errorMessage();
  EXPECT_EQ(picture.pixel(0, 0), (Rgba{0, 51, 255, 255}));
  EXPECT_EQ(scene->getRefCount(), 0);
  EXPECT_EQ(camera->getRefCount(), 0);
  EXPECT_EQ(scene->getNumChildren(), children) << "the scene was changed";
  Ref<SoSeparator> cube(scene);
  Ref<SoPerspectiveCamera> held(camera);
  r->setBackgroundColor(SbColor(1, 1, 1), 0.0f);
  ASSERT_TRUE(r->render(scene, picture)) << r->errorMessage();
  EXPECT_EQ(picture.pixel(0, 0).a, 0);
  EXPECT_EQ(picture.pixel(kWidth / 2, kHeight / 2).a, 255);

  // Failures give a reason and keep the picture.
  PngImage kept(2, 2, {7, 7, 7, 255});
  EXPECT_FALSE(r->render(nullptr, kept));
  EXPECT_FALSE(r->errorMessage().empty());
  Ref<SoSeparator> empty(new SoSeparator);
  EXPECT_FALSE(r->render(empty.get(), kept));
  EXPECT_NE(r->errorMessage().find("no extent"), std::string::npos) << r->errorMessage();
  EXPECT_EQ(kept.width(), 2);
  EXPECT_EQ(kept.pixel(1, 1), (Rgba{7, 7, 7, 255}));
  OffscreenRenderer zero(0, 10);
  EXPECT_FALSE(zero.isValid());
  EXPECT_NE(zero.errorMessage().find("0 x 10"), std::string::npos) << zero.errorMessage();
  EXPECT_FALSE(zero.render(empty.get(), kept));
}

TEST(RenderOffscreen, OneRendererManyPicturesAndTwoRenderersAtOnce) {
  REQUIRE_RENDERER(r);
  Ref<SoSeparator> cube(build({redCube()}));
  Ref<SoSeparator> sphere(build({Part(new SoSphere, SbColor(0, 0, 1))}));
  PngImage first, second, third, small, again, after;
  ASSERT_TRUE(r->render(cube.get(), first));
  ASSERT_TRUE(r->render(sphere.get(), second));
  ASSERT_TRUE(r->render(cube.get(), third));
  EXPECT_TRUE(first.bytes() == third.bytes()) << "a render left state behind that changed the next one";
  EXPECT_FALSE(first.bytes() == second.bytes());
  EXPECT_GT(second.pixel(kWidth / 2, kHeight / 2).b, 100);
  {
    // A second, differently sized renderer alive at the same time; renders
    // alternate between the two contexts.
    OffscreenRenderer other(64, 48, 0);
    ASSERT_TRUE(other.isValid()) << other.errorMessage();
    ASSERT_TRUE(other.render(sphere.get(), small)) << other.errorMessage();
    ASSERT_TRUE(r->render(cube.get(), again));
    EXPECT_TRUE(again.bytes() == first.bytes());
    EXPECT_EQ(small.width(), 64);
    EXPECT_GT(small.pixel(32, 24).b, 100);
  }
  // The other one is gone; the shared display must still serve this one.
  ASSERT_TRUE(r->render(cube.get(), after)) << r->errorMessage();
  EXPECT_TRUE(after.bytes() == first.bytes());
}

TEST(RenderOffscreen, EglAndOsMesaDrawTheSamePicture) {
  REQUIRE_RENDERER(r);
  OffscreenRenderer egl(kWidth, kHeight, 4, OffscreenRenderer::Backend::EglSurfaceless);
  OffscreenRenderer osmesa(kWidth, kHeight, 4, OffscreenRenderer::Backend::OSMesa);
  if (!egl.isValid() || !osmesa.isValid())
    GTEST_SKIP() << "needs both back ends: " << egl.errorMessage() << " " << osmesa.errorMessage();
  EXPECT_EQ(egl.backend(), OffscreenRenderer::Backend::EglSurfaceless);
  EXPECT_EQ(osmesa.backend(), OffscreenRenderer::Backend::OSMesa);
  Ref<SoSeparator> scene(build({redCube()}));
  PngImage a, b;
  ASSERT_TRUE(egl.render(scene.get(), a)) << egl.errorMessage();
  ASSERT_TRUE(osmesa.render(scene.get(), b)) << osmesa.errorMessage();
  int differing = 0;
  for (std::size_t i = 0; i < a.bytes().size(); ++i) differing += std::abs(int(a.bytes()[i]) - int(b.bytes()[i])) > 8;
  EXPECT_LT(differing, 50) << "the two back ends disagree on " << differing << " channel values";
  EXPECT_GT(b.pixel(kWidth / 2, kHeight / 2).r, 100);
}
