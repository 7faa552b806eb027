// vistrel-view: the desktop viewer. `vistrel view [FILE]` runs this program.
//
// Besides FILE it takes options for scripted runs (the viewer test, the
// README's pictures): --tolerance T, --distance D, --cut-faces, --no-clip (no clip plane through the shown result),
// --check (start a check at once), --select N (then show result N, 1-based), --drag-section DX,DY (then turn the
// section tool on and drag its square by DX,DY pixels with synthetic mouse events; prints the plane before and after),
// --measure X1,Y1,Z1,X2,Y2,Z2 (then the measure tool, clicks where the two world points show in the 3D view; prints the
// taken points and their distance), --screenshot OUT.png (then write the 3D view and quit; exit 0 only when the result
// was shown and the picture written), --report OUT.json (write the report after the check), --group2 NAME and --ignore
// NAME (repeatable: instance name paths for the Check panel's lists), --pick X,Y,Z (repeatable: then clicks where the
// world points show, the first plainly, the others with Shift; prints the selection; with --delete yes|no then presses
// Del, answers the question so and prints how many instances are left; then presses Esc), --move NAME,DX,DY (then
// selects the instance, drags a rotator of the move tool by DX,DY pixels, and when the re-check is done prints the
// motion the scene applies to the instance and the re-checked results, then runs a full check and prints its results:
// the two lists must agree; with --select N it then shows result N again; --drag-screenshot OUT.png writes the 3D view
// while the drag's button is still down, --drag-screen-shot OUT.png the whole screen), --hold (the window stays open
// after the script, for pictures).
#include <Inventor/Qt/SoQt.h>

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoPath.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoShape.h>
#include <QKeyEvent>

#include "draggers/VistrelHostDraggers.h"
#include "host/VistrelHost.h"
#include "module/VistrelExt.h"
#include "tools/viewer/ActionFilterGroup.h"
#include "tools/viewer/ViewerWindow.h"

namespace {

const char kUsage[] =
    "usage: vistrel view [FILE] [--tolerance T] [--distance D] [--cut-faces] [--no-clip] [--check] [--select N]\n"
    "                    [--drag-section DX,DY] [--measure X1,Y1,Z1,X2,Y2,Z2]\n"
    "                    [--group2 NAME]... [--ignore NAME]... [--pick X,Y,Z]... [--delete yes|no]\n"
    "                    [--move NAME,DX,DY] [--drag-screenshot OUT.png] [--drag-screen-shot OUT.png]\n"
    "                    [--screenshot OUT.png]\n"
    "                    [--report OUT.json] [--hold]\n";

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
  std::string dragScreenshot;
  bool dragWholeScreen = false;
  std::string report;
  std::vector<std::string> group2, ignore;
  std::vector<SbVec3f> picks;
  bool del = false, delYes = false;
  bool hold = false;
  std::string moveName;
  int moveX = 0, moveY = 0;
};

// The results as the test compares them: id-free, one line each.
void printRows(const char* label, const ViewerWindow& w) {
  for (const CheckResultRow& r : w.rows())
    std::printf("%s %s %s %s %.4g %.4g\n", label, r.kind.c_str(), r.name1.c_str(), r.name2.c_str(), r.minDistance,
                r.cutLineLength);
  std::fflush(stdout);
}

// The world matrix of the first shape below the instance, as the scene's
// traversal applies it (the user matrix included: a callback action, as the
// check's own traversal).
SbMatrix shapeMatrix(SoFullPath* instance) {
  struct First {
    SbMatrix m = SbMatrix::identity();
    bool found = false;
  } first;
  SoCallbackAction action;
  action.addPreCallback(
      SoShape::getClassTypeId(),
      [](void* data, SoCallbackAction* a, const SoNode*) {
        auto* f = static_cast<First*>(data);
        if (!f->found) f->m = a->getModelMatrix();
        f->found = true;
        return SoCallbackAction::PRUNE;
      },
      &first);
  action.apply(instance);
  return first.m;
}

// --drag-section: the section tool on, its dragger dragged by the given
// pixels; prints the plane before and after.
void dragSection(ViewerWindow& window, const Script& script, int& status) {
  if (!window.startSection()) {
    std::fprintf(stderr, "vistrel view: no clip plane to section with\n");
    status = 2;
  } else {
    const SbPlane before = window.sectionPlane();
    if (!window.dragSection(script.dragX, script.dragY)) {
      std::fprintf(stderr, "vistrel view: the section's dragger is not in view\n");
      status = 2;
    }
    const SbPlane after = window.sectionPlane();
    std::printf("section before %g %g %g %g\nsection after %g %g %g %g\n", before.getNormal()[0], before.getNormal()[1],
                before.getNormal()[2], before.getDistanceFromOrigin(), after.getNormal()[0], after.getNormal()[1],
                after.getNormal()[2], after.getDistanceFromOrigin());
  }
}

// --pick (and --delete): clicks on the points, the first alone, the others
// added with Shift; prints the selection, deletes it when asked, then Esc.
void pickAndDelete(ViewerWindow& window, const Script& script) {
  for (std::size_t k = 0; k < script.picks.size(); ++k) {
    const QPoint at = window.widgetPointOf(script.picks[k]);
    window.clickAt(at.x(), at.y(), k == 0 ? Qt::NoModifier : Qt::ShiftModifier);
  }
  auto printSelection = [&](const char* label) {
    std::printf("%s", label);
    for (const std::string& n : window.selectedNames()) std::printf(" %s", n.c_str());
    std::printf("\n");
  };
  printSelection("selected");
  if (script.del) {
    window.setAutoAnswer(script.delYes ? 1 : 0);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(window.glWidget(), &del);  // where the user's keys go
    std::printf("instances left %d\n", window.instanceCount());
  }
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(window.glWidget(), &esc);
  printSelection("after Esc");
  std::fflush(stdout);
}

// --measure: the tracker over the first point, then clicks on both; prints
// the tracker, the two points and their distance.
void measure(ViewerWindow& window, const Script& script, int& status) {
  window.setMeasuring(true);
  // The tracker first: the mouse over the first point, no click.
  window.hoverAtWorld(SbVec3f(script.measure[0], script.measure[1], script.measure[2]));
  SbVec3f hover;
  if (window.hoverPoint(hover))
    std::printf("measure tracker %g %g %g\n", hover[0], hover[1], hover[2]);
  else
    std::printf("measure tracker off\n");
  window.clickAtWorld(SbVec3f(script.measure[0], script.measure[1], script.measure[2]));
  window.clickAtWorld(SbVec3f(script.measure[3], script.measure[4], script.measure[5]));
  const auto& p = window.measurePoints();
  if (p.size() != 2) {
    std::fprintf(stderr, "vistrel view: the clicks did not hit the model\n");
    status = 2;
  } else {
    for (int k = 0; k < 2; ++k)
      std::printf("measure point %d %g %g %g %s\n", k + 1, p[k][0], p[k][1], p[k][2],
                  window.measureSnapped()[k] ? "snapped" : "free");
    std::printf("measure distance %g\n", (p[1] - p[0]).length());
  }
}

// The move's re-check has finished: prints how the instance moved (angle,
// shift of the ball's centre) and the re-check's results.
void reportMove(ViewerWindow& window, const SbMatrix& moveBefore, const SbVec3f& moveCentre) {
  SoFullPath* moved = window.movedPath();
  const SbMatrix after = shapeMatrix(moved);
  SbMatrix motion = moveBefore.inverse();
  motion.multRight(after);
  SbVec3f centre, t, s, axis;
  motion.multVecMatrix(moveCentre, centre);
  SbRotation r, so;
  motion.getTransform(t, r, s, so);
  float angle = 0;
  r.getValue(axis, angle);
  std::printf("move recheck %d\nmove angle %.3f\nmove centre shift %.6f\n", window.lastRunWasRecheck() ? 1 : 0,
              angle * 180.0 / M_PI, (centre - moveCentre).length());
  printRows("recheck", window);
}

// The window on the script's file with its settings, shown; null (after a
// message) when the file does not open.
std::unique_ptr<ViewerWindow> openWindow(const Script& script) {
  auto window = std::make_unique<ViewerWindow>();
  std::string error;
  if (!window->openFile(script.file, error)) {
    std::fprintf(stderr, "vistrel view: %s\n", error.c_str());
    return nullptr;
  }
  window->setTolerance(script.tolerance);
  window->setCutFaces(script.cutFaces);
  window->setDistance(script.distance);
  window->setClipPlane(!script.noClip);
  window->setGroup2(script.group2);
  window->setIgnored(script.ignore);
  window->show();
  window->activateWindow();  // keys reach the window's shortcuts (no window manager under Xvfb)
  return window;
}

// --move: the instance selected, the move tool on it and its ball dragged
// (the rows and the instance's matrix and ball centre before, for
// reportMove); false after a message when any of it fails. The drag's
// re-check reports its end through checkFinished.
bool startMove(ViewerWindow& window, const Script& script, SbMatrix& moveBefore, SbVec3f& moveCentre) {
  if (!window.selectInstance(script.moveName, false) || !window.startMove()) {
    std::fprintf(stderr, "vistrel view: cannot move %s\n", script.moveName.c_str());
    return false;
  }
  printRows("before", window);
  moveBefore = shapeMatrix(window.movedPath());
  moveCentre = window.moveCentre();
  if (!window.dragMove(script.moveX, script.moveY, QString::fromStdString(script.dragScreenshot),
                       script.dragWholeScreen)) {
    std::fprintf(stderr, "vistrel view: no rotator of the move tool in view, or no picture written\n");
    return false;
  }
  return true;
}

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
    } else if (a == "--group2" || a == "--ignore") {
      const char* v = value();
      if (!v) return false;
      (a == "--group2" ? s.group2 : s.ignore).push_back(v);
    } else if (a == "--pick") {
      const char* v = value();
      float x, y, z;
      if (!v || std::sscanf(v, "%f,%f,%f", &x, &y, &z) != 3) return false;
      s.picks.emplace_back(x, y, z);
      s.check = true;
    } else if (a == "--delete") {
      const char* v = value();
      if (!v || (std::strcmp(v, "yes") != 0 && std::strcmp(v, "no") != 0)) return false;
      s.del = true;
      s.delYes = std::strcmp(v, "yes") == 0;
    } else if (a == "--move") {
      const char* v = value();
      const char* comma = v ? std::strchr(v, ',') : nullptr;
      if (!comma || std::sscanf(comma, ",%d,%d", &s.moveX, &s.moveY) != 2) return false;
      s.moveName.assign(v, comma);
      s.check = true;
    } else if (a == "--drag-screenshot" || a == "--drag-screen-shot") {
      const char* v = value();
      if (!v) return false;
      s.dragScreenshot = v;
      s.dragWholeScreen = a == "--drag-screen-shot";
    } else if (a == "--hold") {
      s.hold = true;
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
  SoQt::init(static_cast<QWidget*>(nullptr));
  VistrelHostInit();
  initVistrelExtClass();
  VistrelHostInitCuttingPlane();
  ActionFilterGroup::initClass();

  const std::unique_ptr<ViewerWindow> window = openWindow(script);
  if (!window) return 2;
  std::string error;

  int status = 0;
  const bool scripted =
      !script.screenshot.empty() || !script.report.empty() || !script.picks.empty() || !script.moveName.empty();
  auto finish = [&]() {
    if (!script.screenshot.empty() && !window->saveScreenshot(QString::fromStdString(script.screenshot))) {
      std::fprintf(stderr, "vistrel view: cannot write %s\n", script.screenshot.c_str());
      status = 2;
    }
    if (scripted && !script.hold) app.quit();  // else the window stays open
  };
  // The move: the re-check's results, then a full check's.
  int moveStage = 0;
  SbMatrix moveBefore;
  SbVec3f moveCentre;
  QObject::connect(window.get(), &ViewerWindow::checkFinished, [&]() {
    if (moveStage == 1) {
      moveStage = 2;
      reportMove(*window, moveBefore, moveCentre);
      window->endMove();
      window->startCheck();
      return;
    }
    if (moveStage == 2) {
      printRows("full", *window);
      if (script.select > 0) window->selectResult(script.select - 1);
      QTimer::singleShot(500, window.get(), finish);
      return;
    }
    if (!script.report.empty() && !window->saveReport(script.report, error)) {
      std::fprintf(stderr, "vistrel view: %s\n", error.c_str());
      status = 2;
    }
    if (script.select > 0 && !window->selectResult(script.select - 1)) {
      std::fprintf(stderr, "vistrel view: no result %d (%d results)\n", script.select, window->resultCount());
      status = 2;
    }
    if (!script.screenshot.empty() || script.drag || script.doMeasure || !script.picks.empty() ||
        !script.moveName.empty()) {
      // Let the window lay out and draw once before the picture is taken.
      QTimer::singleShot(500, window.get(), [&]() {
        if (script.drag) dragSection(*window, script, status);
        if (!script.picks.empty()) pickAndDelete(*window, script);
        if (!script.moveName.empty()) {
          moveStage = 1;
          if (!startMove(*window, script, moveBefore, moveCentre)) {
            status = 2;
            app.quit();
          }
          return;  // the re-check's end goes on
        }
        if (script.doMeasure) measure(*window, script, status);
        std::fflush(stdout);
        finish();
      });
    } else if (scripted) {
      app.quit();
    }
  });
  if (script.check) QTimer::singleShot(0, window.get(), &ViewerWindow::startCheck);
  if (!script.check && !script.screenshot.empty()) {
    QTimer::singleShot(500, window.get(), [&]() {
      if (!window->saveScreenshot(QString::fromStdString(script.screenshot))) status = 2;
      app.quit();
    });
  }
  const int rc = app.exec();
  return status != 0 ? status : rc;
}
