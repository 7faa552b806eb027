// vistrel-view: the desktop viewer. `vistrel view [FILE]` runs this program.
//
// Besides FILE it takes options for scripted runs (the viewer test, the
// README's pictures): --tolerance T, --distance D, --cut-faces, --no-clip (no clip plane through the shown result), --check (start a check at
// once), --select N (then show result N, 1-based), --drag-section DX,DY (then
// turn the section tool on and drag its square by DX,DY pixels with synthetic
// mouse events; prints the plane before and after), --measure X1,Y1,Z1,X2,Y2,Z2
// (then the measure tool, clicks where the two world points show in the
// 3D view; prints the taken points and their distance), --screenshot OUT.png
// (then write the 3D view and quit; exit 0 only when the result was shown
// and the picture written), --report OUT.json (write the report after the
// check).
#include <Inventor/Qt/SoQt.h>

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/VistrelHost.h"
#include "host/VistrelHostDraggers.h"
#include "module/VistrelExt.h"
#include "tools/viewer/ViewerWindow.h"

namespace {

const char kUsage[] =
    "usage: vistrel view [FILE] [--tolerance T] [--distance D] [--cut-faces] [--no-clip] [--check] [--select N]\n"
    "                    [--drag-section DX,DY] [--measure X1,Y1,Z1,X2,Y2,Z2]\n"
    "                    [--screenshot OUT.png] [--report OUT.json]\n";

struct Script {
  std::string file;
  double tolerance = 0;
  double distance = -1;
  bool cutFaces = false;
  bool noClip = false;
  bool check = false;
  int select = 0;
  int dragX = 0, dragY = 0;
  bool drag = false;
  float measure[6] = {0, 0, 0, 0, 0, 0};
  bool doMeasure = false;
  std::string screenshot;
  std::string report;
};

bool parse(int argc, char** argv, Script& s) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--tolerance") {
      const char* v = value();
      char* end = nullptr;
      s.tolerance = v ? std::strtod(v, &end) : -1;
      if (!v || *end || s.tolerance < 0) return false;
    } else if (a == "--distance") {
      const char* v = value();
      char* end = nullptr;
      s.distance = v ? std::strtod(v, &end) : -1;
      if (!v || *end || s.distance < 0) return false;
    } else if (a == "--cut-faces") {
      s.cutFaces = true;
    } else if (a == "--no-clip") {
      s.noClip = true;
    } else if (a == "--drag-section") {
      const char* v = value();
      if (!v || std::sscanf(v, "%d,%d", &s.dragX, &s.dragY) != 2) return false;
      s.drag = true;
    } else if (a == "--measure") {
      const char* v = value();
      if (!v || std::sscanf(v, "%f,%f,%f,%f,%f,%f", &s.measure[0], &s.measure[1], &s.measure[2], &s.measure[3],
                             &s.measure[4], &s.measure[5]) != 6)
        return false;
      s.doMeasure = true;
    } else if (a == "--check") {
      s.check = true;
    } else if (a == "--select") {
      const char* v = value();
      s.select = v ? std::atoi(v) : 0;
      if (s.select < 1) return false;
      s.check = true;
    } else if (a == "--screenshot" || a == "--report") {
      const char* v = value();
      if (!v) return false;
      (a == "--screenshot" ? s.screenshot : s.report) = v;
      if (a == "--report") s.check = true;
    } else if (!a.empty() && a[0] == '-') {
      return false;
    } else if (!s.file.empty()) {
      return false;
    } else {
      s.file = a;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Script script;
  if (!parse(argc, argv, script)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  QApplication app(argc, argv);
  ViewerWindow* window = nullptr;
  SoQt::init(static_cast<QWidget*>(nullptr));
  VistrelHostInit();
  initVistrelExtClass();
  VistrelHostInitCuttingPlane();

  window = new ViewerWindow;
  std::string error;
  if (!window->openFile(script.file, error)) {
    std::fprintf(stderr, "vistrel view: %s\n", error.c_str());
    delete window;
    return 2;
  }
  window->setTolerance(script.tolerance);
  window->setCutFaces(script.cutFaces);
  window->setDistance(script.distance);
  window->setClipPlane(!script.noClip);
  window->show();

  int status = 0;
  const bool scripted = !script.screenshot.empty() || !script.report.empty();
  QObject::connect(window, &ViewerWindow::checkFinished, [&]() {
    if (!script.report.empty() && !window->saveReport(script.report, error)) {
      std::fprintf(stderr, "vistrel view: %s\n", error.c_str());
      status = 2;
    }
    if (script.select > 0 && !window->selectResult(script.select - 1)) {
      std::fprintf(stderr, "vistrel view: no result %d (%d results)\n", script.select, window->resultCount());
      status = 2;
    }
    if (!script.screenshot.empty() || script.drag || script.doMeasure) {
      // Let the window lay out and draw once before the picture is taken.
      QTimer::singleShot(500, window, [&]() {
        if (script.drag) {
          if (!window->startSection()) {
            std::fprintf(stderr, "vistrel view: no clip plane to section with\n");
            status = 2;
          } else {
            const SbPlane before = window->sectionPlane();
            if (!window->dragSection(script.dragX, script.dragY)) {
              std::fprintf(stderr, "vistrel view: the section's dragger is not in view\n");
              status = 2;
            }
            const SbPlane after = window->sectionPlane();
            std::printf("section before %g %g %g %g\nsection after %g %g %g %g\n", before.getNormal()[0],
                        before.getNormal()[1], before.getNormal()[2], before.getDistanceFromOrigin(),
                        after.getNormal()[0], after.getNormal()[1], after.getNormal()[2],
                        after.getDistanceFromOrigin());
          }
        }
        if (script.doMeasure) {
          window->setMeasuring(true);
          window->clickAtWorld(SbVec3f(script.measure[0], script.measure[1], script.measure[2]));
          window->clickAtWorld(SbVec3f(script.measure[3], script.measure[4], script.measure[5]));
          const auto& p = window->measurePoints();
          if (p.size() != 2) {
            std::fprintf(stderr, "vistrel view: the clicks did not hit the model\n");
            status = 2;
          } else {
            for (int k = 0; k < 2; ++k)
              std::printf("measure point %d %g %g %g %s\n", k + 1, p[k][0], p[k][1], p[k][2],
                          window->measureSnapped()[k] ? "snapped" : "free");
            std::printf("measure distance %g\n", (p[1] - p[0]).length());
          }
        }
        std::fflush(stdout);
        if (script.screenshot.empty()) {
          if (scripted) app.quit();  // else the window stays open
          return;
        }
        if (!window->saveScreenshot(QString::fromStdString(script.screenshot))) {
          std::fprintf(stderr, "vistrel view: cannot write %s\n", script.screenshot.c_str());
          status = 2;
        }
        app.quit();
      });
    } else if (scripted) {
      app.quit();
    }
  });
  if (script.check) QTimer::singleShot(0, window, &ViewerWindow::startCheck);
  if (!script.check && !script.screenshot.empty()) {
    QTimer::singleShot(500, window, [&]() {
      if (!window->saveScreenshot(QString::fromStdString(script.screenshot))) status = 2;
      app.quit();
    });
  }
  const int rc = app.exec();
  delete window;
  return status != 0 ? status : rc;
}
