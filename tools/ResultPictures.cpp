// Pictures of the results of a check. For each result: the inputs as
// ShowCurrent leaves them with every input shown (result box, cut line, cut
// face, clip plane with --clip), coloured through the toolbox: the pair red
// and green and opaque, every other input ghosted; the camera fitted to the
// result box. The manager's displays are drawn a second time over the whole
// picture (depth test off), so the cut face and cut line show through the
// parts. Then an overview of the whole assembly, every instance of a result
// coloured by its worst kind, with every box.
//
// Instances whose prototype has children are not ghosted: an override wins
// over those set below it, so it would also hide the pair's colours.
#include <sys/stat.h>

#include <Inventor/SbBox3f.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/nodes/SoDepthBuffer.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoRef.h"
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

void recordCamera(const SoPerspectiveCamera& camera, float aspect, bool clip, CCollisionManager& manager, int i,
                  ResultCamera& out) {
  SbVec3f dir, up;
  const SbRotation rot = camera.orientation.getValue();
  rot.multVec(SbVec3f(0, 0, -1), dir);
  rot.multVec(SbVec3f(0, 1, 0), up);
  const SbVec3f pos = camera.position.getValue();
  for (int k = 0; k < 3; ++k) out.position[k] = pos[k], out.direction[k] = dir[k], out.up[k] = up[k];
  out.heightAngle = camera.heightAngle.getValue();
  out.aspect = aspect;
  out.valid = true;
  out.clip = clip;
  if (clip) {
    // Where the manager puts its clip plane: normal (0, -1, 0) through the
    // centre of the result box (the origin when the box is empty).
    SbVec3f lo, hi, centre(0, 0, 0);
    manager.GetResultBoundingBox(i).getBounds(lo, hi);
    if (lo[0] <= hi[0]) centre = (lo + hi) * 0.5f;
    for (int k = 0; k < 3; ++k) out.clipPoint[k] = centre[k], out.clipNormal[k] = k == 1 ? -1.0f : 0.0f;
  }
}

const SbVec3f kFirst(0.9f, 0.1f, 0.1f);
const SbVec3f kSecond(0.1f, 0.75f, 0.1f);
const SbVec3f kGhost(0.85f, 0.85f, 0.85f);
const float kGhostTransparency = 0.8f;
const SbVec3f kNoColour(-1, -1, -1);

SoKRN_ComponentKit* tailKit(const SoFullPath* path) {
  SoNode* tail = path && path->getLength() > 0 ? path->getTail() : nullptr;
  return tail && tail->isOfType(SoKRN_ComponentKit::getClassTypeId()) ? static_cast<SoKRN_ComponentKit*>(tail)
                                                                      : nullptr;
}

bool hasChildren(SoKRN_ComponentKit* kit) { return kit && kit->getNumEleChildren() > 0; }

// Every input path (the manager's expanded inputs) and the result pairs.
std::vector<SoFullPath*> inputPaths(CCollisionManager& manager) {
  std::vector<SoFullPath*> out;
  for (const auto& entry : manager.m_InsChildren) out.push_back(entry.first);
  return out;
}

void setLook(SoKRN_MainDoc* doc, SoFullPath* path, const SbVec3f& colour, float transparency) {
  CGraphOperation::SetColorBySoPath(doc, path, nullptr, colour);
  CGraphOperation::SetTransparencyBySoPath(doc, path, nullptr, transparency);
}

// Takes back every override made for the pictures.
void clearLooks(SoKRN_MainDoc* doc, const std::vector<SoFullPath*>& paths) {
  for (SoFullPath* path : paths) {
    CGraphOperation::SetColorBySoPath(doc, path, nullptr, kNoColour);
    CGraphOperation::SetTransparencyBySoPath(doc, path, nullptr, -1.0f);
  }
}

// The document, then the manager's displays again over it.
SoSeparator* pictureScene(SoKRN_MainDoc* doc, CCollisionManager& manager) {
  auto* scene = new SoSeparator;
  scene->addChild(doc);
  if (manager.m_pRoot) {
    auto* over = new SoSeparator;
    auto* depth = new SoDepthBuffer;
    depth->test = FALSE;
    depth->write = FALSE;
    over->addChild(depth);
    over->addChild(manager.m_pRoot);
    scene->addChild(over);
  }
  return scene;
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

namespace {

// One picture per result, result_NNN.png: its first instance red, its
// second green, the other inputs ghosted; with `cameras`, each picture's
// camera. False with `error` at the first picture that fails.
bool WriteEachResult(CCollisionManager& manager, SoKRN_MainDoc* doc, const CheckOptions& options,
                     OffscreenRenderer& renderer, SoSeparator* scene, std::string& error,
                     std::vector<ResultCamera>* cameras) {
  bool ok = true;
  const vx::host::SoRef<SoPerspectiveCamera> camera(new SoPerspectiveCamera);
  PngImage picture;
  const float aspect = static_cast<float>(kWidth) / kHeight;
  for (int i = 0; ok && i < manager.GetResultCount(); ++i) {
    manager.m_nCurResult = i;
    manager.ShowCurrent();
    const _collisionResult& r = manager.Results()[static_cast<std::size_t>(i)];
    setLook(doc, r.pPath1, kFirst, 0.0f);
    setLook(doc, r.pPath2, kSecond, 0.0f);
    if (renderer.cameraPlacer().fit(*camera, resultView(manager, i), aspect)) {
      char name[64];
      std::snprintf(name, sizeof name, "/result_%03d.png", i + 1);
      ok = renderer.render(scene, camera, picture) && picture.writeFile(options.pngDir + name, error);
      if (!ok && error.empty()) error = options.pngDir + name + ": " + renderer.errorMessage();
      if (ok && cameras)
        recordCamera(*camera, aspect, options.clip, manager, i, (*cameras)[static_cast<std::size_t>(i)]);
    }
    for (SoFullPath* path : {r.pPath1, r.pPath2}) {
      if (hasChildren(tailKit(path))) {
        clearLooks(doc, {path});
      } else {
        setLook(doc, path, kGhost, kGhostTransparency);
      }
    }
  }
  return ok;
}

// overview.png: every instance visible again, those of a result coloured by
// their worst kind, every result box drawn. False with `error`.
bool WriteOverview(CCollisionManager& manager, SoKRN_MainDoc* doc, const CheckOptions& options,
                   OffscreenRenderer& renderer, std::string& error) {
  manager.ClearColisionTempNode(true);
  manager.m_bShowClipPlane = 0;
  std::map<std::string, std::pair<int, SoFullPath*>> worst;  // placement path -> (rank, path)
  for (const _collisionResult& r : manager.Results()) {
    const std::string kind = ResultKind(r);
    const int rank = kind == "interference" ? 3 : kind == "contact" ? 2 : 1;
    for (SoFullPath* path : {r.pPath1, r.pPath2}) {
      if (!tailKit(path)) continue;
      std::string key;
      CGraphOperation::GetNodePlcPath(path, key, true);
      auto it = worst.find(key);
      if (it == worst.end() || it->second.first < rank) worst[key] = {rank, path};
    }
  }
  static const SbVec3f kByRank[4] = {SbVec3f(), SbVec3f(0.95f, 0.9f, 0.1f), SbVec3f(1.0f, 0.55f, 0.0f),
                                     SbVec3f(0.9f, 0.1f, 0.1f)};
  std::vector<SoFullPath*> coloured;
  for (const auto& entry : worst) {
    CGraphOperation::SetColorBySoPath(doc, entry.second.second, nullptr, kByRank[entry.second.first]);
    coloured.push_back(entry.second.second);
  }
  if (manager.GetResultCount() > 0) manager.ShowAllWithoutClear();
  PngImage picture;
  const bool ok = renderer.render(doc, nullptr, picture) && picture.writeFile(options.pngDir + "/overview.png", error);
  if (!ok && error.empty()) error = options.pngDir + "/overview.png: " + renderer.errorMessage();
  clearLooks(doc, coloured);
  return ok;
}

}  // namespace

bool WriteResultPictures(CCollisionManager& manager, SoKRN_MainDoc* doc, const CheckOptions& options,
                         std::string& error, std::vector<ResultCamera>* cameras) {
  if (!ensureDir(options.pngDir, error)) return false;
  if (cameras) cameras->assign(static_cast<std::size_t>(manager.GetResultCount()), ResultCamera{});
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
  manager.m_nShowInsMode = 1;  // every input shown, the others ghosted

  const std::vector<SoFullPath*> inputs = inputPaths(manager);
  for (SoFullPath* path : inputs) {
    if (!hasChildren(tailKit(path))) setLook(doc, path, kGhost, kGhostTransparency);
  }
  const vx::host::SoRef<SoSeparator> scene(pictureScene(doc, manager));

  bool ok = WriteEachResult(manager, doc, options, renderer, scene, error, cameras);
  clearLooks(doc, inputs);
  renderer.cameraPlacer().setViewDirection(viewDirection);
  if (ok) ok = WriteOverview(manager, doc, options, renderer, error);
  manager.ClearColisionTempNode(true);
  return ok;
}
