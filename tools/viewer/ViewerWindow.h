#pragma once
// The viewer's main window: an examiner viewer on one document, the
// assembly tree, the check panel and the results list.
//
// Selection: the tree's selection is the viewer's; a click in the 3D view
// (without a drag) selects the instance under it and its tree row, and the
// document's selection list follows the tree (the toolbox deletes from it).
//
// Threads: everything here runs on the Qt (UI) thread except the manager's
// run. Its per-pair and finish callbacks run on the worker and only store
// into the atomics of RunProgress; a QTimer on the UI thread polls them, and
// the results are read only after the worker has left the manager.
#include <QMainWindow>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <Inventor/SbBox.h>
#include <Inventor/SbMatrix.h>
#include <Inventor/SbPlane.h>
#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>
#include <QPoint>

#include "collision/CollisionRecords.h"
#include "host/SoRef.h"
#include "platform/Platform.h"
#include "tools/CheckReport.h"

class CCollisionManager;
class CuttingPlaneManip;
class SnappingFilter;
class SoEventCallback;
class QCheckBox;
class SoCenterballManip2;
class SoDragger;
class QDockWidget;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class SoClipPlane;
class SoFullPath;
class SoKRN_MainDoc;
class SoQtExaminerViewer;
class SoSeparator;
class SectionCaps;

struct RunProgress {
  std::atomic<long long> pairs{0};
  std::atomic<bool> finished{false};
  CCollisionManager* manager = nullptr;
};

class ViewerWindow : public QMainWindow {
  Q_OBJECT
public:
  ViewerWindow();
  ~ViewerWindow() override;

  // Replaces the document by the assembly of `file` (the embedded sample
  // when empty). False with `error` set when it cannot be read; the open
  // document then stays.
  bool openFile(const std::string& file, std::string& error);

  // For scripted runs (tests, screenshots).
  void setTolerance(double t);
  void setCutFaces(bool on);
  void setDistance(double d);  // < 0: off
  void setClipPlane(bool on);
  int resultCount() const { return static_cast<int>(rows_.size()); }
  bool isChecking() const;
  // Selects the result with list index `index` (0-based); false when none.
  bool selectResult(int index);
  // Renders now and writes the GL area's framebuffer as PNG.
  bool saveScreenshot(const QString& file);
  bool saveReport(const std::string& file, std::string& error) const;
  // The section tool: a cutting-plane manip in place of the shown result's
  // clip plane; false (and nothing changed) when no clip plane is shown.
  bool startSection();
  void endSection();
  // The plane the section cuts with (a zero normal when the tool is off).
  SbPlane sectionPlane() const;
  // Drags the section's square by (dx, dy) pixels with synthetic mouse
  // events on the GL widget, as a user would; false when the tool is off.
  bool dragSection(int dx, int dy);
  // The measure tool: each left click picks a point of the model, snapped
  // by the snapping filter to a characteristic point of a picked edge (the
  // picked point itself when nothing snaps); two points give a distance.
  void setMeasuring(bool on);
  // Clicks where the world point shows in the 3D view, as a user would.
  void clickAtWorld(const SbVec3f& point);
  // The points taken so far (0, 1 or 2) and whether each snapped.
  const std::vector<SbVec3f>& measurePoints() const { return measurePoints_; }
  const std::vector<bool>& measureSnapped() const { return measureSnapped_; }
  // While measuring, the point tracker marks where a click would snap as
  // the mouse moves: its point, false when it is off (nothing snaps there).
  bool hoverPoint(SbVec3f& at) const;
  // Moves the mouse (no button) to where the world point shows.
  void hoverAtWorld(const SbVec3f& point);

  // Selection by instance name path (as the tree shows it): replaces the
  // selection, or adds to it; false when no instance has that name path.
  bool selectInstance(const std::string& namePath, bool add);
  std::vector<std::string> selectedNames() const;
  // Clicks at widget pixel (x, y), rows from the top, as a user would.
  void clickAt(int x, int y, Qt::KeyboardModifiers modifiers);
  // Where a world point shows in the GL widget (rows from the top).
  QPoint widgetPointOf(const SbVec3f& world);
  // Check panel groups, by instance name path: group 2 (a two-group check,
  // group 1 being the rest) and the ignored instances.
  void setGroup2(const std::vector<std::string>& names);
  void setIgnored(const std::vector<std::string>& names);
  // Del: asks through the library's message handler (a Qt dialog; with
  // setAutoAnswer the given answer, for scripted runs), then deletes the
  // selected instances through the toolbox. Returns how many went.
  int deleteSelected();
  void setAutoAnswer(int answer) { autoAnswer_ = answer; }  // -1 ask, 0 no, 1 yes
  // The message handler's answer: a dialog, or the automatic answer (the
  // message then goes to stdout).
  vx::platform::MessageAnswer answer(const QString& message, bool question);
  int instanceCount() const { return static_cast<int>(leaves_.size()); }
  QWidget* glWidget() const;  // the 3D view's GL widget

  // The move tool: a centre-ball manip on the one selected instance. Each
  // motion writes the instance's user matrix; the release writes it and
  // re-checks the instance against the rest (checkFinished follows).
  bool startMove();
  void endMove();
  // Drags a rotator of the manip by (dx, dy) pixels with synthetic mouse
  // events; false when the tool is off or no rotator is under a pixel. With
  // `shotWhileDragging`, writes the 3D view (or the whole screen) there
  // before the release (false when it cannot).
  bool dragMove(int dx, int dy, const QString& shotWhileDragging = QString(), bool wholeScreen = false);
  SoFullPath* movedPath() const { return movePath_; }
  SbVec3f moveCentre() const;  // the centre the tool turns about, world
  bool lastRunWasRecheck() const { return recheckRun_; }
  const std::vector<CheckResultRow>& rows() const { return rows_; }

signals:
  void checkFinished();

public slots:
  void startCheck();
  void stopCheck();
  void fitAll();
  void clearPresentation();
  void nextResult();
  void previousResult();
  void escape();  // ends a tool, clears the selection and the shown result

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
  void pollRun();
  void resultSelectionChanged();
  void openDialog();
  void saveReportDialog();
  void treeHide();
  void treeShow();
  void treeIsolate();
  void treeShowAll();
  void treeColour();
  void treeTransparency();
  void toggleSection(bool on);
  void toggleMeasure(bool on);
  void toggleMove(bool on);
  void deleteSelectedAsked();
  void treeSelectionChanged();
  void group2FromSelection();
  void ignoreFromSelection();

private:
  void buildTree();
  void releaseDocument();
  void deleteManager();
  void finishRun();
  void showResult(int index);
  void clearPairLook();
  // The caps of the shown pair, on the plane that cuts it (the section
  // tool's, else the document's clip plane when on); none otherwise.
  void updateCaps();
  // Frames `box` in the view with a margin, looking along `orientation`.
  void frameBox(const SbBox3f& box, const SbRotation& orientation);
  std::vector<SoFullPath*> selectedTreePaths() const;
  void redraw();
  void updateGroupLabels();
  void drawSelection();
  int leafIndex(const SoPath* path) const;  // -1 when no leaf has that instance chain
  void applyMove();
  void recheckMoved();
  void releaseHeldPaths();
  QDockWidget* makeTreeDock();
  QDockWidget* makeCheckDock();
  void makeMenus();
  void startRecheckRun();
  static void moveChangedCB(void* data, SoDragger* dragger);
  static void moveFinishedCB(void* data, SoDragger* dragger);

  std::unique_ptr<SoQtExaminerViewer> viewer_;
  vx::host::SoRef<SoSeparator> root_;  // the document, then the manager's displays on top
  SoSeparator* overlay_ = nullptr;     // depth test off, holds the manager's separator
  vx::host::SoRef<SoKRN_MainDoc> doc_;
  std::string file_;
  std::vector<SoFullPath*> leaves_;  // one reference each
  std::unique_ptr<CCollisionManager> manager_;
  RunProgress progress_;
  std::chrono::steady_clock::time_point runStart_;
  CheckReport report_;
  std::vector<CheckResultRow> rows_;
  std::vector<SoFullPath*> lookPaths_;  // instances coloured for the shown result
  bool resultShown_ = false;            // since the document was opened
  std::unique_ptr<SectionCaps> caps_;   // its root in root_, after the document

  QTreeWidget* tree_ = nullptr;
  QTreeWidget* results_ = nullptr;
  QDoubleSpinBox* tolerance_ = nullptr;
  QCheckBox* near_ = nullptr;
  QDoubleSpinBox* distance_ = nullptr;
  QCheckBox* cutFaces_ = nullptr;
  QCheckBox* clipPlane_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* timer_ = nullptr;
  QLabel* group2Label_ = nullptr;
  QLabel* ignoreLabel_ = nullptr;
  std::vector<std::string> group2_, ignored_;      // name paths
  vx::host::SoRef<SoSeparator> selectionDisplay_;  // boxes of the selected instances, in root_
  QPoint pressAt_{-1, -1};
  int autoAnswer_ = -1;
  // The last full run's groups (indices into leaves_), for re-checks.
  std::vector<int> runGroup1_, runGroup2_, runIgnored_;
  bool recheckRun_ = false;
  double recheckSeconds_ = 0;
  std::vector<std::pair<std::vector<int>, std::vector<int>>>
      recheckQueue_;  // runs still to go: side 1, side 2  // the running or last run re-checks one instance
  SoFullPath* recheckPath_ = nullptr;
  std::vector<_collisionResult> kept_;              // results a re-check leaves as they were
  std::vector<vx::host::SoRef<SoPath>> heldPaths_;  // paths of kept_ results
  QAction* moveAction_ = nullptr;
  vx::host::SoRef<SoSeparator> moveRoot_;  // while the tool is on
  SoCenterballManip2* moveManip_ = nullptr;
  vx::host::SoRef<SoFullPath> movePath_;  // while the tool is on
  SbMatrix moveFrame_, moveGlobal0_, moveLocal0_;
  QAction* sectionAction_ = nullptr;
  vx::host::SoRef<CuttingPlaneManip> section_;  // while the tool is on
  vx::host::SoRef<SoClipPlane> sectionOriginal_;
  QAction* measureAction_ = nullptr;
  std::unique_ptr<SnappingFilter> snapper_;
  SoEventCallback* measureEvents_ = nullptr;  // in root_ while measuring
  SoSeparator* measureDisplay_ = nullptr;     // the points and their line, in root_
  std::vector<SbVec3f> measurePoints_;
  std::vector<bool> measureSnapped_;
  std::unique_ptr<class SoKRN_PointTracker> hoverTracker_;  // its switch in root_ while measuring
  static void measureEventCB(void* data, SoEventCallback* node);
  // The snapping filter on a picked point: true with the snapped point,
  // false with the picked point itself.
  bool snap(const class SoPickedPoint* pp, SbVec3f& out);
  void takeMeasurePoint(const class SoPickedPoint* pp);
  void drawMeasurement();  // the clip plane it stands in for (one reference)
};
