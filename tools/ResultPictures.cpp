// Pictures of the results of a check: for each result the scene as
// ShowCurrent leaves it (only the two instances and their ancestors visible,
// result box, cut line, cut face, clip plane with --clip), the camera fitted
// to the result box; then an overview of the whole assembly with every box.
#include <sys/stat.h>

#include <Inventor/SbBox3f.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "collision/CCollisionManager.h"
#include "host/SoKRN_MainDoc.h"
#include "tools/CheckReport.h"
#include "tools/OffscreenRenderer.h"
#include "tools/PngImage.h"

namespace {

const int kWidth = 1024;
const int kHeight = 768;

// The result box grown to at least a third of the pair's size, so that the
// picture shows where the two parts meet and some of both around it.
SbBox3f resultView(CCollisionManager& manager, int i) {
  SbVec3f lo, hi;
  manager.GetResultBoundingBox(i).getBounds(lo, hi);
  const SbBox3f pair = manager.GetResultInsPairBoundingBox(i).project();
  if (lo[0] > hi[0] || lo[1] > hi[1] || lo[2] > hi[2]) return pair;
  if (lo == hi && lo == SbVec3f(0, 0, 0)) return pair;  // no cut points: a clearance
  SbBox3f box(lo, hi);
  float pairSize = 0, boxSize = 0;
  if (!pair.isEmpty()) {
    SbVec3f s = pair.getSize();
    pairSize = std::max(s[0], std::max(s[1], s[2]));
  }
  SbVec3f s = box.getSize();
  boxSize = std::max(s[0], std::max(s[1], s[2]));
  const float want = std::max(boxSize, pairSize / 3.0f);
  const SbVec3f c = box.getCenter();
  const SbVec3f h(std::max(s[0], want) / 2, std::max(s[1], want) / 2, std::max(s[2], want) / 2);
  return SbBox3f(c - h, c + h);
}

bool ensureDir(const std::string& dir, std::string& error) {
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    error = dir + ": not a directory";
    return false;
  }
  if (mkdir(dir.c_str(), 0777) != 0) {
    error = dir + ": cannot create the directory (" + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

}  // namespace

bool WriteResultPictures(CCollisionManager& manager, SoKRN_MainDoc* doc, const CheckOptions& options,
                         std::string& error) {
  if (!ensureDir(options.pngDir, error)) return false;
  OffscreenRenderer renderer(kWidth, kHeight);
  if (!renderer.isValid()) {
    error = "no offscreen rendering: " + renderer.errorMessage();
    return false;
  }
  renderer.setBackgroundColor(SbColor(1.0f, 1.0f, 1.0f));
  // The clip plane keeps the side y < centre of each result: look from the
  // side it cuts away, onto the cut.
  const SbVec3f viewDirection = renderer.cameraPlacer().viewDirection();
  if (options.clip) renderer.cameraPlacer().setViewDirection(SbVec3f(-1.0f, -1.5f, -1.0f));

  manager.m_bShowEdge = 1;
  manager.m_bShowCutLine = 1;
  manager.m_bShowCutFace = manager.m_bCalcCrossMesh ? 1 : 0;
  manager.m_bShowClipPlane = options.clip ? 1 : 0;
  manager.m_nShowInsMode = 0;

  bool ok = true;
  auto* camera = new SoPerspectiveCamera;
  camera->ref();
  PngImage picture;
  const float aspect = static_cast<float>(kWidth) / kHeight;
  for (int i = 0; ok && i < manager.GetResultCount(); ++i) {
    manager.m_nCurResult = i;
    manager.ShowCurrent();
    if (!renderer.cameraPlacer().fit(*camera, resultView(manager, i), aspect)) continue;
    char name[64];
    std::snprintf(name, sizeof name, "/result_%03d.png", i + 1);
    ok = renderer.render(doc, camera, picture) && picture.writeFile(options.pngDir + name, error);
    if (!ok && error.empty()) error = options.pngDir + name + ": " + renderer.errorMessage();
  }
  renderer.cameraPlacer().setViewDirection(viewDirection);
  if (ok) {
    // The whole assembly: every instance visible again, every result box drawn.
    manager.ClearColisionTempNode(true);
    manager.m_bShowClipPlane = 0;
    if (manager.GetResultCount() > 0) manager.ShowAllWithoutClear();
    ok = renderer.render(doc, nullptr, picture) && picture.writeFile(options.pngDir + "/overview.png", error);
    if (!ok && error.empty()) error = options.pngDir + "/overview.png: " + renderer.errorMessage();
  }
  manager.ClearColisionTempNode(true);
  camera->unref();
  return ok;
}
