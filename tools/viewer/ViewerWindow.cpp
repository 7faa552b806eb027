// The viewer's main window. The check runs exactly as `vistrel check` runs
// it (same inputs: every leaf instance in group 1; same report through
// CheckReport), so "Save report" writes the JSON the command writes for the
// same options (file, tolerance, cut faces; the viewer has no globs yet).
//
// A shown result: the manager's ShowCurrent with the pair isolated (its
// show mode 0), the box, cut line, cut face and clip plane switched on, the
// pair coloured through the toolbox (first blue, second green) and the
// camera fitted to the pair. The manager's separator is drawn a second time
// with the depth test off so that the cut line shows through the parts.
//
// Re-check after a move: the moved instance alone on one side, the instances
// it was checked against in the last full run on the other (the same
// ignore list). The results between other instances stay as they were (none
// of them moved): the manager's result list becomes those kept results plus
// the new ones, in the order a full run lists them (by the instances'
// positions in the run's input order, first side first).
#include "tools/viewer/ViewerWindow.h"

#include <cmath>

#include <Inventor/Qt/viewers/SoQtExaminerViewer.h>
#include <Inventor/SbViewportRegion.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/SoPickedPoint.h>
#include <Inventor/SoSceneManager.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>
#include <Inventor/actions/SoRayPickAction.h>
#include <Inventor/actions/SoSearchAction.h>
#include <Inventor/draggers/SoDragger.h>
#include <Inventor/events/SoLocation2Event.h>
#include <Inventor/events/SoMouseButtonEvent.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoBaseColor.h>
#include <Inventor/nodes/SoCamera.h>
#include <Inventor/nodes/SoClipPlane.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoDepthBuffer.h>
#include <Inventor/nodes/SoDrawStyle.h>
#include <Inventor/nodes/SoEventCallback.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoLineSet.h>
#include <Inventor/nodes/SoMatrixTransform.h>
#include <Inventor/nodes/SoOrthographicCamera.h>
#include <Inventor/nodes/SoPerspectiveCamera.h>
#include <Inventor/nodes/SoPointSet.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoShapeHints.h>
#include <Inventor/nodes/SoSwitch.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGLWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "collision/CCollisionManager.h"
#include "draggers/CuttingPlaneManip.h"
#include "draggers/SoCenterballManip2.h"
#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "picking/SnappingFilter.h"
#include "picking/SoKRN_PointTracker.h"
#include "platform/Platform.h"
#include "tools/AssemblyImporter.h"
#include "tools/Commands.h"
#include "tools/viewer/ActionFilterGroup.h"
#include "tools/viewer/SectionCaps.h"
#include "tools/viewer/ViewFit.h"

namespace {

const SbVec3f kFirst(0.1f, 0.25f, 0.95f);
const SbVec3f kSecond(0.1f, 0.8f, 0.1f);
const SbVec3f kNoColour(-1, -1, -1);
const int kPathRole = Qt::UserRole + 1;

void perPairCB(void* data) {
  auto* p = static_cast<RunProgress*>(data);
  p->pairs.store(p->manager->m_nCurPair.load());
}

void finishCB(void* data) { static_cast<RunProgress*>(data)->finished.store(true); }

QString number(double v) { return QString::number(v, 'g', 5); }

// The library's questions (Del) as a Qt dialog on the UI thread. A message
// from the check's worker thread (low memory, an exception) cannot open a
// dialog there: it goes to stderr and takes the default answer.
vx::platform::MessageAnswer askUser(const std::wstring& text, vx::platform::MessageKind kind, void* data) {
  auto* window = static_cast<ViewerWindow*>(data);
  const QString message = QString::fromStdWString(text);
  const bool question = kind == vx::platform::MessageKind::YesNoQuestion;
  if (QThread::currentThread() != qApp->thread()) {
    std::fprintf(stderr, "vistrel view: %s\n", message.toLocal8Bit().constData());
    return question ? vx::platform::MessageAnswer::No : vx::platform::MessageAnswer::Ok;
  }
  return window->answer(message, question);
}

QString countText(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  QString text = QString::fromStdString(names.front());
  if (names.size() > 1) text += QString(" and %1 more").arg(names.size() - 1);
  return text;
}

// The 3D view. Coin's traversals are not thread-safe and a running check
// reads the document on its worker thread, so each redraw and each event
// handed to the scene takes the check's scene lock; the run lets go of it
// between pairs while we wait, so a redraw waits one pair at most.
class SceneLockingExaminer : public SoQtExaminerViewer {
public:
  SceneLockingExaminer(QWidget* parent, const std::unique_ptr<CCollisionManager>* manager)
      : SoQtExaminerViewer(parent), manager_(manager) {}

protected:
  void actualRedraw() override {
    Locked lock(*this);
    SoQtExaminerViewer::actualRedraw();
  }
  SbBool processSoEvent(const SoEvent* const event) override {
    Locked lock(*this);
    return SoQtExaminerViewer::processSoEvent(event);
  }

private:
  // Takes the lock on the outermost call only (an event may draw).
  struct Locked {
    explicit Locked(SceneLockingExaminer& v) : view(v), manager(v.depth_++ == 0 ? v.manager_->get() : nullptr) {
      if (manager) manager->LockScene();
    }
    ~Locked() {
      if (manager) manager->UnlockScene();
      --view.depth_;
    }
    SceneLockingExaminer& view;
    CCollisionManager* manager;
  };
  const std::unique_ptr<CCollisionManager>* manager_;  // the window's, replaced on each load
  int depth_ = 0;
};

}  // namespace

ViewerWindow::ViewerWindow() {
  setWindowTitle("vistrel view");
  auto* central = new QWidget(this);
  setCentralWidget(central);
  viewer_ = std::make_unique<SceneLockingExaminer>(central, &manager_);
  viewer_->setBackgroundColor(SbColor(1, 1, 1));
  viewer_->setDecoration(FALSE);
  viewer_->setStencilBuffer(TRUE);  // the section caps
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(0, 0, 0, 0);
  centralLayout->addWidget(viewer_->getWidget());

  root_.reset(new SoSeparator);
  overlay_ = new SoSeparator;
  auto* depth = new SoDepthBuffer;
  depth->test = FALSE;
  depth->write = FALSE;
  overlay_->addChild(depth);
  caps_ = std::make_unique<SectionCaps>();

  QDockWidget* treeDock = makeTreeDock();
  QDockWidget* checkDock = makeCheckDock();
  resizeDocks({treeDock, checkDock}, {210, 470}, Qt::Horizontal);
  connect(start_, &QPushButton::clicked, this, &ViewerWindow::startCheck);
  connect(stop_, &QPushButton::clicked, this, &ViewerWindow::stopCheck);
  connect(results_, &QTreeWidget::itemSelectionChanged, this, &ViewerWindow::resultSelectionChanged);
  connect(clipPlane_, &QCheckBox::toggled, this, &ViewerWindow::resultSelectionChanged);

  status_ = new QLabel;
  statusBar()->addWidget(status_, 1);

  makeMenus();
  connect(tree_, &QTreeWidget::itemSelectionChanged, this, &ViewerWindow::treeSelectionChanged);
  viewer_->getGLWidget()->installEventFilter(this);
  selectionDisplay_.reset(new SoSeparator);
  vx::platform::SetMessageHandler(&askUser, this);

  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &ViewerWindow::pollRun);

  viewer_->setSceneGraph(root_);
  resize(1280, 800);
}

// The assembly tree, docked on the left, with its context menu.
QDockWidget* ViewerWindow::makeTreeDock() {
  tree_ = new QTreeWidget;
  tree_->setHeaderLabels({"Instance"});
  tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto addTreeAction = [this](const char* text, void (ViewerWindow::*slot)()) {
    auto* a = new QAction(text, tree_);
    connect(a, &QAction::triggered, this, slot);
    tree_->addAction(a);
  };
  addTreeAction("Hide", &ViewerWindow::treeHide);
  addTreeAction("Show", &ViewerWindow::treeShow);
  addTreeAction("Isolate", &ViewerWindow::treeIsolate);
  addTreeAction("Show all", &ViewerWindow::treeShowAll);
  addTreeAction("Colour...", &ViewerWindow::treeColour);
  addTreeAction("Transparency...", &ViewerWindow::treeTransparency);
  auto* treeDock = new QDockWidget("Assembly", this);
  treeDock->setWidget(tree_);
  addDockWidget(Qt::LeftDockWidgetArea, treeDock);

  return treeDock;
}

// The check panel (settings, start and stop, progress) and the results,
// docked on the right.
QDockWidget* ViewerWindow::makeCheckDock() {
  auto* panel = new QWidget;
  auto* form = new QFormLayout;
  tolerance_ = new QDoubleSpinBox;
  tolerance_->setDecimals(4);
  tolerance_->setRange(0, 1e6);
  form->addRow("Clearance tolerance", tolerance_);
  near_ = new QCheckBox("Also pairs closer than");
  distance_ = new QDoubleSpinBox;
  distance_->setDecimals(4);
  distance_->setRange(0, 1e6);
  distance_->setEnabled(false);
  connect(near_, &QCheckBox::toggled, distance_, &QWidget::setEnabled);
  form->addRow(near_, distance_);
  // Group 2 and the ignore list come from the tree's selection.
  auto groupRow = [this, form](const char* title, QLabel*& label, void (ViewerWindow::*take)(),
                               std::vector<std::string>& names) {
    auto* row = new QHBoxLayout;
    label = new QLabel("none");
    auto* set = new QPushButton("From selection");
    auto* clear = new QPushButton("Clear");
    row->addWidget(label, 1);
    row->addWidget(set);
    row->addWidget(clear);
    connect(set, &QPushButton::clicked, this, take);
    connect(clear, &QPushButton::clicked, this, [this, &names]() {
      names.clear();
      updateGroupLabels();
    });
    form->addRow(title, row);
  };
  groupRow("Group 2", group2Label_, &ViewerWindow::group2FromSelection, group2_);
  groupRow("Ignore", ignoreLabel_, &ViewerWindow::ignoreFromSelection, ignored_);
  cutFaces_ = new QCheckBox("Cut faces and volumes");
  form->addRow(cutFaces_);
  clipPlane_ = new QCheckBox("Clip plane through the shown result");
  clipPlane_->setChecked(true);
  form->addRow(clipPlane_);
  auto* buttons = new QHBoxLayout;
  start_ = new QPushButton("Start");
  stop_ = new QPushButton("Stop");
  stop_->setEnabled(false);
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  bar_ = new QProgressBar;
  bar_->setRange(0, 1000);
  bar_->setValue(0);
  results_ = new QTreeWidget;
  // The columns fit the panel: short headers, numbers sized to their
  // contents, the two names sharing the rest, elided in the middle (the
  // ends of a name path tell instances apart), in full as a tooltip.
  results_->setHeaderLabels({"#", "Kind", "Dist.", "Volume", "Instance 1", "Instance 2"});
  results_->headerItem()->setToolTip(2, "minimum distance");
  results_->setRootIsDecorated(false);
  results_->setTextElideMode(Qt::ElideMiddle);
  results_->header()->setStretchLastSection(false);
  for (int c = 0; c < 4; ++c) results_->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  for (int c = 4; c < 6; ++c) results_->header()->setSectionResizeMode(c, QHeaderView::Stretch);
  results_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->addLayout(form);
  panelLayout->addLayout(buttons);
  panelLayout->addWidget(bar_);
  panelLayout->addWidget(results_, 1);
  auto* checkDock = new QDockWidget("Check", this);
  checkDock->setWidget(panel);
  addDockWidget(Qt::RightDockWidgetArea, checkDock);
  return checkDock;
}

// The menus and the window-wide shortcuts.
void ViewerWindow::makeMenus() {
  QMenu* fileMenu = menuBar()->addMenu("&File");
  fileMenu->addAction("&Open...", this, &ViewerWindow::openDialog, QKeySequence::Open);
  fileMenu->addAction("&Save report...", this, &ViewerWindow::saveReportDialog, QKeySequence::Save);
  fileMenu->addAction("&Quit", qApp, &QApplication::quit, QKeySequence::Quit);
  QMenu* viewMenu = menuBar()->addMenu("&View");
  // Window shortcuts, so that the keys work whichever child has the focus
  // (the 3D view's own key handling would take Esc otherwise); a text
  // field keeps the keys it edits with.
  auto key = [this](QMenu* menu, const char* text, void (ViewerWindow::*slot)(), QList<QKeySequence> keys) {
    QAction* a = menu->addAction(text);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, slot);
  };
  key(viewMenu, "&Fit all", &ViewerWindow::fitAll, {Qt::Key_F});
  key(viewMenu, "&Clear: end the tool, the selection, the shown result", &ViewerWindow::escape, {Qt::Key_Escape});
  key(viewMenu, "&Delete selected instances...", &ViewerWindow::deleteSelectedAsked, {QKeySequence::Delete});
  key(viewMenu, "&Next result", &ViewerWindow::nextResult, {Qt::Key_N, Qt::Key_PageDown});
  key(viewMenu, "&Previous result", &ViewerWindow::previousResult, {Qt::Key_P, Qt::Key_PageUp});
  QMenu* toolsMenu = menuBar()->addMenu("&Tools");
  sectionAction_ = toolsMenu->addAction("&Section (drag the clip plane)");
  sectionAction_->setCheckable(true);
  connect(sectionAction_, &QAction::toggled, this, &ViewerWindow::toggleSection);
  measureAction_ = toolsMenu->addAction("&Measure (two snapped points)");
  measureAction_->setCheckable(true);
  connect(measureAction_, &QAction::toggled, this, &ViewerWindow::toggleMeasure);
  moveAction_ = toolsMenu->addAction("M&ove (rotate the selected instance)");
  moveAction_->setCheckable(true);
  connect(moveAction_, &QAction::toggled, this, &ViewerWindow::toggleMove);
}

ViewerWindow::~ViewerWindow() {
  vx::platform::SetMessageHandler(nullptr, nullptr);
  timer_->stop();
  endSection();
  endMove();
  setMeasuring(false);
  deleteManager();
  releaseDocument();
  viewer_->setSceneGraph(nullptr);
  root_.reset();
  selectionDisplay_.reset();
  viewer_.reset();
}

void ViewerWindow::releaseDocument() {
  for (SoFullPath* p : leaves_) p->unref();
  leaves_.clear();
  tree_->clear();
  caps_->clear();
  root_->removeAllChildren();
  if (doc_) {
    if (CGraphOperation::GetActiveMainDocKit() == doc_) CGraphOperation::SetActiveMainDocKit(nullptr);
    doc_.reset();
  }
}

void ViewerWindow::deleteManager() {
  if (!manager_) return;
  clearPresentation();
  caps_->clear();
  overlay_->removeChild(manager_->m_pRoot);
  manager_.reset();  // stops a running check first
  releaseHeldPaths();
  recheckQueue_.clear();
  recheckRun_ = false;
  rows_.clear();
  results_->clear();
}

bool ViewerWindow::openFile(const std::string& file, std::string& error) {
  if (isChecking()) {
    error = "a check is running: stop it first";
    return false;
  }
  // The import runs on this thread (it has no progress of its own to
  // report): a busy cursor and the file's name in the status bar, painted
  // before it starts, say that the window is loading, not stuck.
  status_->setText(
      QString("loading %1...").arg(file.empty() ? QString("the embedded sample") : QString::fromStdString(file)));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  status_->repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  vx::host::SoRef<SoKRN_MainDoc> doc = LoadAssembly(file, error);
  QApplication::restoreOverrideCursor();
  if (!doc) {
    status_->setText(QString("could not open %1").arg(QString::fromStdString(file)));
    return false;
  }
  endSection();
  endMove();
  setMeasuring(false);
  deleteManager();
  releaseDocument();
  group2_.clear();
  ignored_.clear();
  updateGroupLabels();
  doc_ = std::move(doc);
  file_ = file;
  CGraphOperation::SetActiveMainDocKit(doc_);
  // Both sides of every face lit: a part cut open by a clip plane shows its
  // inside lit, not black (Coin lights both sides only when it knows the
  // vertex ordering and the shape is not solid).
  auto* hints = new SoShapeHints;
  hints->vertexOrdering = SoShapeHints::COUNTERCLOCKWISE;
  hints->shapeType = SoShapeHints::UNKNOWN_SHAPE_TYPE;
  root_->addChild(hints);
  root_->addChild(doc_);
  root_->addChild(caps_->root());
  root_->addChild(overlay_);
  selectionDisplay_->removeAllChildren();
  root_->addChild(selectionDisplay_);
  resultShown_ = false;
  buildTree();
  setWindowTitle(QString("vistrel view - %1").arg(file.empty() ? "(embedded sample)" : QString::fromStdString(file)));
  status_->setText(QString("%1 instances").arg(leaves_.size()));
  viewer_->viewAll();
  return true;
}

// One item per name-path segment; leaves carry the index of their path.
void ViewerWindow::buildTree() {
  if (const vx::host::SoRef<SoFullPath> top = TopPrototypePath(doc_)) {
    CGraphOperation::GetAllChildIns(doc_, top, leaves_, true, false);
    if (leaves_.size() == 1 && leaves_[0] == top) leaves_.clear();  // an empty assembly: borrowed
  }
  std::map<QString, QTreeWidgetItem*> items;
  for (std::size_t i = 0; i < leaves_.size(); ++i) {
    const QStringList parts = QString::fromStdString(InstanceNamePath(leaves_[i])).split('/');
    QString key;
    QTreeWidgetItem* parent = nullptr;
    for (int k = 0; k < parts.size(); ++k) {
      key += "/" + parts[k];
      QTreeWidgetItem*& item = items[key];
      if (!item || k + 1 == parts.size()) {
        item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        item->setText(0, parts[k]);
      }
      parent = item;
    }
    parent->setData(0, kPathRole, static_cast<qulonglong>(i));
  }
  tree_->expandToDepth(0);
}

std::vector<SoFullPath*> ViewerWindow::selectedTreePaths() const {
  std::vector<SoFullPath*> out;
  std::vector<QTreeWidgetItem*> stack;
  for (QTreeWidgetItem* item : tree_->selectedItems()) stack.push_back(item);
  std::vector<char> taken(leaves_.size(), 0);
  while (!stack.empty()) {  // a selected branch stands for every leaf below it
    QTreeWidgetItem* item = stack.back();
    stack.pop_back();
    const QVariant v = item->data(0, kPathRole);
    if (v.isValid() && v.toULongLong() < leaves_.size() && !taken[v.toULongLong()]) {
      taken[v.toULongLong()] = 1;
      out.push_back(leaves_[v.toULongLong()]);
    }
    for (int c = 0; c < item->childCount(); ++c) stack.push_back(item->child(c));
  }
  return out;
}

void ViewerWindow::treeHide() {
  for (SoFullPath* p : selectedTreePaths()) CGraphOperation::SetVisibilityBySoPath(doc_, p, 0);
  redraw();
}

void ViewerWindow::treeShow() {
  for (SoFullPath* p : selectedTreePaths()) {
    CGraphOperation::SetVisibilityBySoPath(doc_, p, 1);
    CGraphOperation::SetParentVisibility(doc_, p, 1);
  }
  redraw();
}

void ViewerWindow::treeIsolate() {
  const std::vector<SoFullPath*> keep = selectedTreePaths();
  if (keep.empty()) return;
  for (SoFullPath* p : leaves_) {
    const bool kept = std::find(keep.begin(), keep.end(), p) != keep.end();
    CGraphOperation::SetVisibilityBySoPath(doc_, p, kept ? 1 : 0);
    if (kept) CGraphOperation::SetParentVisibility(doc_, p, 1);
  }
  redraw();
}

void ViewerWindow::treeShowAll() {
  for (SoFullPath* p : leaves_) {
    CGraphOperation::SetVisibilityBySoPath(doc_, p, 1);
    CGraphOperation::SetParentVisibility(doc_, p, 1);
  }
  redraw();
}

void ViewerWindow::treeColour() {
  const std::vector<SoFullPath*> paths = selectedTreePaths();
  if (paths.empty()) return;
  const QColor c = QColorDialog::getColor(Qt::red, this, "Instance colour");
  if (!c.isValid()) return;
  for (SoFullPath* p : paths)
    CGraphOperation::SetColorBySoPath(doc_, p, nullptr, SbVec3f(c.redF(), c.greenF(), c.blueF()));
  redraw();
}

void ViewerWindow::treeTransparency() {
  const std::vector<SoFullPath*> paths = selectedTreePaths();
  if (paths.empty()) return;
  bool ok = false;
  const double t =
      QInputDialog::getDouble(this, "Transparency", "0 opaque .. 1 invisible; -1 removes it", 0.5, -1, 1, 2, &ok);
  if (!ok) return;
  for (SoFullPath* p : paths)
    CGraphOperation::SetTransparencyBySoPath(doc_, p, nullptr, t < 0 ? -1.0f : static_cast<float>(t));
  redraw();
}

void ViewerWindow::setTolerance(double t) { tolerance_->setValue(t); }
void ViewerWindow::setCutFaces(bool on) { cutFaces_->setChecked(on); }
void ViewerWindow::setDistance(double d) {
  near_->setChecked(d >= 0);
  if (d >= 0) distance_->setValue(d);
}
void ViewerWindow::setClipPlane(bool on) { clipPlane_->setChecked(on); }

bool ViewerWindow::isChecking() const {
  return manager_ && (manager_->m_pThread.load() != 0 || manager_->m_bRunning.load() != 0 || timer_->isActive());
}

void ViewerWindow::startCheck() {
  if (!doc_ || isChecking()) return;
  endMove();  // the run must not see the scene change under it
  deleteManager();
  manager_ = std::make_unique<CCollisionManager>(doc_, "CollisionManager");
  overlay_->addChild(manager_->m_pRoot);
  manager_->m_fTolerance = static_cast<float>(tolerance_->value());
  // The settings `vistrel check` makes for the same options.
  const bool nearOn = near_->isChecked();
  const bool cut = cutFaces_->isChecked();
  manager_->m_nCalcType = nearOn ? 2 : cut ? 1 : 0;
  if (nearOn) manager_->m_fTolerance2 = static_cast<float>(distance_->value());
  manager_->m_bCalcCrossMesh = cut ? 1 : 0;
  manager_->m_b2Group = group2_.empty() ? 0 : 1;
  runGroup1_.clear();
  runGroup2_.clear();
  runIgnored_.clear();
  {
    // As `vistrel check --group2 ... --ignore ...` with the name paths as
    // patterns: group 1 is every instance not in group 2.
    auto has = [](const std::vector<std::string>& names, const std::string& name) {
      return std::find(names.begin(), names.end(), name) != names.end();
    };
    SoPathList group1, group2, ignored;
    for (std::size_t i = 0; i < leaves_.size(); ++i) {
      const std::string name = InstanceNamePath(leaves_[i]);
      if (has(ignored_, name)) {
        ignored.append(leaves_[i]);
        runIgnored_.push_back(static_cast<int>(i));
      }
      const bool second = has(group2_, name);
      (second ? group2 : group1).append(leaves_[i]);
      (second ? runGroup2_ : runGroup1_).push_back(static_cast<int>(i));
    }
    manager_->AddIns1(&group1, 0);
    if (manager_->m_b2Group) manager_->AddIns2(&group2, 0);
    manager_->AddIgnoreIns(&ignored, 0);
  }
  report_ = CheckReport();
  report_.file = file_.empty() ? "(embedded sample)" : file_;
  report_.options.file = file_;
  report_.options.tolerance = tolerance_->value();
  report_.options.cutFaces = cut;
  report_.options.distance = nearOn ? distance_->value() : -1.0;
  report_.options.group2 = group2_;
  report_.options.ignore = ignored_;
  recheckRun_ = false;
  report_.instances = static_cast<int>(leaves_.size());
  for (SoFullPath* leaf : leaves_) {
    auto* kit = static_cast<SoKRN_ComponentKit*>(leaf->getTail());
    if (kit->getPrototype()) report_.triangles += vx::host::CountTriangles(kit->getPrototype());
  }
  progress_.pairs.store(0);
  progress_.finished.store(false);
  progress_.manager = manager_.get();
  manager_->SetCalculateCB(&perPairCB, &progress_);
  manager_->SetCalculateFinshCB(&finishCB, &progress_);
  runStart_ = std::chrono::steady_clock::now();
  start_->setEnabled(false);
  stop_->setEnabled(true);
  bar_->setValue(0);
  status_->setText("checking...");
  manager_->StartCalculate();
  timer_->start();
}

void ViewerWindow::stopCheck() {
  if (!manager_ || !timer_->isActive()) return;
  report_.stopped = true;
  manager_->StopCalculate();  // blocks until the worker has ended
  pollRun();
}

void ViewerWindow::pollRun() {
  if (!manager_) return;
  const long long total = manager_->m_nTotalPairs.load();
  const long long done = progress_.pairs.load();
  if (total > 0) bar_->setValue(static_cast<int>(1000.0 * static_cast<double>(std::min(done, total)) / total));
  if (manager_->m_pThread.load() != 0 || manager_->m_bRunning.load() != 0) return;
  finishRun();
}

void ViewerWindow::finishRun() {
  timer_->stop();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart_).count();
  if (recheckRun_) {
    recheckSeconds_ += seconds;
    if (manager_->m_bAborted.load() != 0) report_.aborted = true;
  } else {
    report_.seconds = seconds;
  }
  if (recheckRun_) {
    // The totals stay the full run's: the kept results and the re-checked
    // pairs together cover the pairs it tested.
    for (const _collisionResult& r : manager_->Results()) {
      for (SoPath* p : {r.pPath1, r.pTopPath1, r.pPath2, r.pTopPath2}) {
        if (p) heldPaths_.emplace_back(p);  // the next run releases the manager's copies
      }
      kept_.push_back(r);
    }
    if (!recheckQueue_.empty() && !report_.stopped && !report_.aborted) {
      startRecheckRun();
      return;
    }
    report_.seconds += recheckSeconds_;
    // The re-check's runs showed their own inputs only: back to what the
    // user had.
    manager_->ClearColisionTempNode(true);
    std::vector<_collisionResult> merged = std::move(kept_);
    kept_.clear();
    std::vector<std::pair<std::pair<int, int>, std::size_t>> order;
    for (std::size_t i = 0; i < merged.size(); ++i)
      order.push_back({{leafIndex(merged[i].pPath1), leafIndex(merged[i].pPath2)}, i});
    std::sort(order.begin(), order.end());
    manager_->m_Result.clear();
    for (const auto& o : order) {
      manager_->m_Result.push_back(std::move(merged[o.second]));
      manager_->m_Result.back().nID = static_cast<int32_t>(manager_->m_Result.size());
    }
    manager_->m_nCurResult = 0;
  } else {
    report_.aborted = manager_->m_bAborted.load() != 0;
    report_.pairsTotal = manager_->m_nTotalPairs.load();
    report_.pairsTested = manager_->m_nCurPair.load();
    report_.twoGroup = manager_->m_b2Group != 0;
  }
  report_.calcType = manager_->m_nCalcType;
  report_.Collect(*manager_);
  rows_ = report_.results;
  bar_->setValue(report_.pairsTotal > 0 && report_.pairsTested >= report_.pairsTotal ? 1000 : bar_->value());
  start_->setEnabled(true);
  stop_->setEnabled(false);
  results_->clear();
  for (const CheckResultRow& r : rows_) {
    auto* item = new QTreeWidgetItem(results_);
    item->setText(0, QString::number(r.id));
    item->setText(1, QString::fromStdString(r.kind));
    item->setText(2, number(r.minDistance));
    item->setText(3, r.hasVolume ? number(r.volume) : QString("unknown"));
    if (!r.hasVolume && !r.volumeNote.empty()) item->setToolTip(3, QString::fromStdString(r.volumeNote));
    item->setText(4, QString::fromStdString(r.name1));
    item->setText(5, QString::fromStdString(r.name2));
    item->setToolTip(4, item->text(4));
    item->setToolTip(5, item->text(5));
  }
  QString text = QString("%1 results, %2 of %3 pairs, %4 s")
                     .arg(rows_.size())
                     .arg(report_.pairsTested)
                     .arg(report_.pairsTotal)
                     .arg(report_.seconds, 0, 'f', 2);
  if (report_.stopped) text += " (stopped: partial results)";
  if (report_.aborted) text += " (aborted: partial results)";
  status_->setText(text);
  emit checkFinished();
}

void ViewerWindow::clearPairLook() {
  for (SoFullPath* p : lookPaths_) {
    CGraphOperation::SetColorBySoPath(doc_, p, nullptr, kNoColour);
    CGraphOperation::SetTransparencyBySoPath(doc_, p, nullptr, -1.0f);
  }
  lookPaths_.clear();
  updateCaps();
}

void ViewerWindow::updateCaps() {
  SoSFPlane* plane = nullptr;
  if (section_) {
    if (section_->on.getValue()) plane = &section_->plane;
  } else if (SoClipPlane* p = doc_ ? CGraphOperation::FindClipPlane(doc_, nullptr) : nullptr) {
    if (p->on.getValue()) plane = &p->plane;
  }
  if (!plane || lookPaths_.empty()) {
    caps_->clear();
    return;
  }
  caps_->set(std::vector<SoPath*>(lookPaths_.begin(), lookPaths_.end()), {kFirst, kSecond}, plane);
}

// The camera looks at the box's centre from the distance that shows every
// corner within the view, less a margin, and turns about that centre (its
// focal distance).
void ViewerWindow::frameBox(const SbBox3f& box, const SbRotation& orientation) {
  SoCamera* camera = viewer_->getCamera();
  if (!camera || box.isEmpty()) return;
  const float margin = 0.08f;
  const float aspect = viewer_->getViewportRegion().getViewportAspectRatio();
  const bool perspective = camera->isOfType(SoPerspectiveCamera::getClassTypeId());
  const float angle = perspective ? static_cast<SoPerspectiveCamera*>(camera)->heightAngle.getValue() : 0.0f;
  const ViewHalfExtent half = ViewHalfExtentOf(perspective, angle, aspect, margin);
  SbVec3f dir;
  orientation.multVec(SbVec3f(0, 0, -1), dir);
  float distance = 0;
  if (perspective) {
    distance = FitPerspectiveDistance(box, orientation, half, 1e-3f);
  } else {
    static_cast<SoOrthographicCamera*>(camera)->height = FitOrthographicHeight(box, orientation, half);
    SbVec3f size = box.getMax() - box.getMin();
    distance = size.length() + 1;  // in front of the box; the viewer sets the clipping planes
  }
  camera->orientation = orientation;
  camera->position = box.getCenter() - dir * distance;
  camera->focalDistance = distance;
}

void ViewerWindow::clearPresentation() {
  if (!manager_ || isChecking()) return;
  endSection();
  clearPairLook();
  manager_->ClearColisionTempNode(true);
  {
    const QSignalBlocker block(results_);
    results_->clearSelection();
  }
  redraw();
}

void ViewerWindow::showResult(int index) {
  if (!manager_ || isChecking() || index < 0 || index >= manager_->GetResultCount()) return;
  endSection();
  clearPairLook();
  manager_->ClearColisionTempNode(true);
  manager_->m_nCurResult = index;
  manager_->m_bShowEdge = 1;
  manager_->m_bShowCutLine = 1;
  manager_->m_bShowCutFace = manager_->m_bCalcCrossMesh ? 1 : 0;
  manager_->m_bShowClipPlane = clipPlane_->isChecked() ? 1 : 0;
  manager_->m_nShowInsMode = 0;  // the pair alone
  manager_->ShowCurrent();
  const _collisionResult& r = manager_->Results()[static_cast<std::size_t>(index)];
  for (int side = 0; side < 2; ++side) {
    SoFullPath* p = side == 0 ? r.pPath1 : r.pPath2;
    if (!p) continue;
    CGraphOperation::SetColorBySoPath(doc_, p, nullptr, side == 0 ? kFirst : kSecond);
    lookPaths_.push_back(p);
  }
  updateCaps();
  // The camera frames the pair. The first result shown after opening looks
  // at it obliquely, z up; later ones keep the user's view direction unless
  // a clip plane is on and the camera is not on the side it cuts away (the
  // cut would face away): then the oblique view, onto the cut.
  SoCamera* camera = viewer_->getCamera();
  const SbBox3f pair = manager_->GetResultInsPairBoundingBox(index).project();
  if (camera && !pair.isEmpty()) {
    SbRotation orientation = camera->orientation.getValue();
    SbVec3f dir;
    orientation.multVec(SbVec3f(0, 0, -1), dir);
    const SoClipPlane* clip = CGraphOperation::FindClipPlane(doc_, nullptr);
    SbVec3f n(0, 0, 0);  // into the kept side
    if (clip && clip->on.getValue()) {
      n = clip->plane.getValue().getNormal();
      n.normalize();
    }
    const bool clipped = n.length() > 0;
    const bool firstView = !resultShown_;
    resultShown_ = true;
    if (firstView || (clipped && dir.dot(n) < 0.3f)) {
      dir = SbVec3f(-1.0f, -1.5f, -1.0f);
      dir.normalize();
      if (clipped && dir.dot(n) < 0.3f) dir -= n * (2 * dir.dot(n));  // mirrored onto the removed side
      if (clipped && dir.dot(n) < 0.3f) dir = n;
      SbVec3f up(0, 0, 1);
      if (std::fabs(dir.dot(up)) > 0.99f) up.setValue(0, 1, 0);
      SbVec3f right = dir.cross(up);
      right.normalize();
      up = right.cross(dir);
      const SbMatrix axes(right[0], right[1], right[2], 0, up[0], up[1], up[2], 0, -dir[0], -dir[1], -dir[2], 0, 0, 0,
                          0, 1);
      orientation = SbRotation(axes);
    }
    frameBox(pair, orientation);
  }
  status_->setText(QString("result %1 of %2: %3, %4 / %5")
                       .arg(index + 1)
                       .arg(rows_.size())
                       .arg(QString::fromStdString(rows_[static_cast<std::size_t>(index)].kind))
                       .arg(QString::fromStdString(rows_[static_cast<std::size_t>(index)].name1))
                       .arg(QString::fromStdString(rows_[static_cast<std::size_t>(index)].name2)));
  redraw();
}

void ViewerWindow::resultSelectionChanged() {
  const QList<QTreeWidgetItem*> sel = results_->selectedItems();
  if (sel.isEmpty()) return;
  showResult(results_->indexOfTopLevelItem(sel.front()));
}

bool ViewerWindow::selectResult(int index) {
  if (index < 0 || index >= results_->topLevelItemCount()) return false;
  results_->setCurrentItem(results_->topLevelItem(index));
  return true;
}

void ViewerWindow::nextResult() {
  const int n = results_->topLevelItemCount();
  if (n == 0) return;
  QTreeWidgetItem* cur = results_->currentItem();
  selectResult(cur ? (results_->indexOfTopLevelItem(cur) + 1) % n : 0);
}

void ViewerWindow::previousResult() {
  const int n = results_->topLevelItemCount();
  if (n == 0) return;
  QTreeWidgetItem* cur = results_->currentItem();
  selectResult(cur ? (results_->indexOfTopLevelItem(cur) + n - 1) % n : n - 1);
}

void ViewerWindow::fitAll() { viewer_->viewAll(); }

QWidget* ViewerWindow::glWidget() const { return viewer_->getGLWidget(); }

void ViewerWindow::escape() {
  endSection();
  endMove();
  setMeasuring(false);
  tree_->clearSelection();
  clearPresentation();
}

void ViewerWindow::deleteSelectedAsked() { deleteSelected(); }

void ViewerWindow::redraw() { viewer_->scheduleRedraw(); }

bool ViewerWindow::saveScreenshot(const QString& file) {
  auto* gl = qobject_cast<QGLWidget*>(viewer_->getGLWidget());
  if (!gl) return false;
  viewer_->render();
  return gl->grabFrameBuffer().save(file, "PNG");
}

bool ViewerWindow::saveReport(const std::string& file, std::string& error) const {
  if (!manager_ || timer_->isActive()) {
    error = "no finished check to report";
    return false;
  }
  return report_.WriteJson(file, error);
}

void ViewerWindow::openDialog() {
  const QString file = QFileDialog::getOpenFileName(
      this, "Open assembly", QString(),
      QString("Assemblies (*%1);;All files (*)").arg(QString(ImportAssemblyExtensions()).replace(" ", " *")));
  if (file.isEmpty()) return;
  std::string error;
  if (!openFile(file.toStdString(), error)) QMessageBox::warning(this, "Open", QString::fromStdString(error));
}

void ViewerWindow::saveReportDialog() {
  const QString file = QFileDialog::getSaveFileName(this, "Save report", "report.json", "JSON (*.json)");
  if (file.isEmpty()) return;
  std::string error;
  if (!saveReport(file.toStdString(), error)) QMessageBox::warning(this, "Save report", QString::fromStdString(error));
}

namespace {

// The first path from `root` to `node`, held; null when absent.
vx::host::SoRef<SoPath> pathTo(SoNode* root, SoNode* node) {
  SoSearchAction search;
  search.setNode(node);
  search.setInterest(SoSearchAction::FIRST);
  search.apply(root);
  return vx::host::SoRef<SoPath>(search.getPath());
}

}  // namespace

void ViewerWindow::toggleSection(bool on) {
  if (on == (section_ != nullptr)) return;
  if (!on) {
    endSection();
  } else if (!startSection()) {
    const QSignalBlocker block(sectionAction_);
    sectionAction_->setChecked(false);
    status_->setText("section: show a result with its clip plane first");
  }
}

bool ViewerWindow::startSection() {
  if (section_ || !doc_ || !manager_ || isChecking()) return section_ != nullptr;
  SoClipPlane* plane = CGraphOperation::FindClipPlane(doc_, nullptr);
  if (!plane) return false;
  const SbPlane before = plane->plane.getValue();
  // Put in front of the document, whose clip plane is switched off
  // meanwhile: the document's own clip-plane group is drawn but not
  // picked, so a dragger inside it could not be grabbed, and the document
  // keeps pointers to its plane.
  section_.reset(new CuttingPlaneManip);
  section_->on = plane->on.getValue();
  root_->insertChild(section_, 0);
  plane->on = FALSE;
  sectionOriginal_.reset(plane);
  // The square sized to the shown pair, then put back on the plane.
  const int shown = manager_->m_nCurResult;
  SbBox3f box = manager_->GetResultInsPairBoundingBox(shown).project();
  if (box.isEmpty()) box = SbBox3f(-1, -1, -1, 1, 1, 1);
  section_->setValue(box, before.getNormal(), 1.0f);
  section_->plane = before;
  viewer_->setViewing(FALSE);  // the mouse goes to the dragger
  {
    const QSignalBlocker block(sectionAction_);
    sectionAction_->setChecked(true);
  }
  updateCaps();  // the caps follow the dragged plane
  redraw();
  return true;
}

void ViewerWindow::endSection() {
  if (!section_) return;
  // The document's plane takes the dragged position (showing another
  // result removes the document's clip planes itself).
  sectionOriginal_->plane = section_->plane.getValue();
  sectionOriginal_->on = section_->on.getValue();
  root_->removeChild(section_);
  sectionOriginal_.reset();
  section_.reset();
  viewer_->setViewing(TRUE);
  const QSignalBlocker block(sectionAction_);
  sectionAction_->setChecked(false);
  updateCaps();
  redraw();
}

SbPlane ViewerWindow::sectionPlane() const {
  return section_ ? section_->plane.getValue() : SbPlane(SbVec3f(0, 0, 0), 0.0f);
}

bool ViewerWindow::dragSection(int dx, int dy) {
  if (!section_) return false;
  QWidget* gl = viewer_->getGLWidget();
  SoCamera* camera = viewer_->getCamera();
  if (!gl || !camera) return false;
  viewer_->render();
  // A pixel where a pick meets the dragger: along the row and the column
  // through its centre, the nearest first (its square is a wire frame).
  const SbViewportRegion& vp = viewer_->getViewportRegion();
  SoGetBoundingBoxAction boxAction(vp);
  {
    const vx::host::SoRef<SoPath> path = pathTo(root_, section_);
    if (!path) return false;
    boxAction.apply(path);
  }
  SbVec3f ndc;
  camera->getViewVolume(vp.getViewportAspectRatio()).projectToScreen(boxAction.getBoundingBox().getCenter(), ndc);
  const SbVec2s size = vp.getViewportSizePixels();
  const int cx = static_cast<int>(ndc[0] * size[0]), cy = static_cast<int>(ndc[1] * size[1]);
  SoDragger* dragger = section_->getDragger();
  bool found = false;
  int hx = 0, hy = 0;
  for (int r = 0; r < std::max(size[0], size[1]) && !found; r += 2) {
    const int cand[4][2] = {{cx + r, cy}, {cx - r, cy}, {cx, cy + r}, {cx, cy - r}};
    for (const auto& c : cand) {
      if (c[0] < 0 || c[1] < 0 || c[0] >= size[0] || c[1] >= size[1]) continue;
      SoRayPickAction pick(vp);
      pick.setPoint(SbVec2s(static_cast<short>(c[0]), static_cast<short>(c[1])));
      pick.apply(viewer_->getSceneManager()->getSceneGraph());  // with the viewer's camera
      const SoPickedPoint* pp = pick.getPickedPoint();
      if (pp && pp->getPath()->containsNode(dragger)) {
        hx = c[0];
        hy = c[1];
        found = true;
        break;
      }
    }
  }
  if (!found) return false;
  const QPointF start(hx, size[1] - 1 - hy);  // Qt counts rows from the top
  auto send = [gl](QEvent::Type type, const QPointF& at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(gl, &event);
  };
  send(QEvent::MouseButtonPress, start, Qt::LeftButton);
  const int steps = 10;
  for (int i = 1; i <= steps; ++i)
    send(QEvent::MouseMove, start + QPointF(dx * i / double(steps), dy * i / double(steps)), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, start + QPointF(dx, dy), Qt::NoButton);
  redraw();
  return true;
}

void ViewerWindow::toggleMeasure(bool on) { setMeasuring(on); }

void ViewerWindow::setMeasuring(bool on) {
  if (on == (measureEvents_ != nullptr)) return;
  if (on) {
    if (!doc_) return;
    endSection();
    snapper_ = std::make_unique<SnappingFilter>(doc_);
    if (SoKRN_State* state = doc_->getKRNState())
      state->setSnappingFilterType({"PNT"}, {"END", "MID", "CENT", "VTX"}, {});
    measureEvents_ = new SoEventCallback;
    measureEvents_->addEventCallback(SoMouseButtonEvent::getClassTypeId(), &ViewerWindow::measureEventCB, this);
    measureEvents_->addEventCallback(SoLocation2Event::getClassTypeId(), &ViewerWindow::measureEventCB, this);
    root_->insertChild(measureEvents_, 0);
    // The point a click would take, marked while the mouse moves; in root_,
    // not in the document, which a running check may be reading.
    hoverTracker_ = std::make_unique<SoKRN_PointTracker>(doc_);
    hoverTracker_->Off();
    root_->addChild(hoverTracker_->getSwitch());
    viewer_->getGLWidget()->setMouseTracking(true);
    measureDisplay_ = new SoSeparator;
    root_->addChild(measureDisplay_);
    measurePoints_.clear();
    measureSnapped_.clear();
    viewer_->setViewing(FALSE);
    status_->setText("measure: click two points");
  } else {
    root_->removeChild(measureEvents_);
    measureEvents_ = nullptr;
    root_->removeChild(measureDisplay_);
    measureDisplay_ = nullptr;
    root_->removeChild(hoverTracker_->getSwitch());
    hoverTracker_.reset();
    snapper_.reset();
    viewer_->setViewing(TRUE);
  }
  const QSignalBlocker block(measureAction_);
  measureAction_->setChecked(on);
}

void ViewerWindow::measureEventCB(void* data, SoEventCallback* node) {
  const SoEvent* event = node->getEvent();
  auto* self = static_cast<ViewerWindow*>(data);
  if (event->isOfType(SoLocation2Event::getClassTypeId())) {
    SbVec3f at;
    const SoPickedPoint* pp = node->getPickedPoint();
    if (pp && self->snap(pp, at)) {
      self->hoverTracker_->SetPosition(at, SbMatrix::identity());
      self->hoverTracker_->On();
    } else {
      self->hoverTracker_->Off();
    }
    self->redraw();
    return;
  }
  if (!SO_MOUSE_PRESS_EVENT(event, BUTTON1)) return;
  self->takeMeasurePoint(node->getPickedPoint());
  node->setHandled();
}

bool ViewerWindow::snap(const SoPickedPoint* pp, SbVec3f& out) {
  SoKRN_State* state = doc_->getKRNState();
  if (state) state->clearPickData();
  {
    // The snapped path comes unreferenced: holding it for a moment frees it.
    const vx::host::SoRef<SoPath> snapped(SnappingFilter::SnappingPickCB(snapper_.get(), pp));
  }
  const bool ok = state && state->hasPickData();
  out = ok ? state->getPickData().snappedPoint : pp->getPoint();
  SnappingFilter::DeHighlightPathCB(snapper_.get(), nullptr);  // the next point starts afresh
  return ok;
}

bool ViewerWindow::hoverPoint(SbVec3f& at) const {
  if (!hoverTracker_ || hoverTracker_->getSwitch()->whichChild.getValue() != 0) return false;
  at = hoverTracker_->getCoordinates()->point[0];
  return true;
}

void ViewerWindow::hoverAtWorld(const SbVec3f& point) {
  const QPoint at = widgetPointOf(point);
  QMouseEvent event(QEvent::MouseMove, QPointF(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(viewer_->getGLWidget(), &event);
}

void ViewerWindow::takeMeasurePoint(const SoPickedPoint* pp) {
  if (!pp || !snapper_) return;
  if (measurePoints_.size() == 2) {
    measurePoints_.clear();
    measureSnapped_.clear();
  }
  SbVec3f at;
  measureSnapped_.push_back(snap(pp, at));
  measurePoints_.push_back(at);
  drawMeasurement();
}

void ViewerWindow::drawMeasurement() {
  measureDisplay_->removeAllChildren();
  auto* depth = new SoDepthBuffer;
  depth->test = FALSE;
  measureDisplay_->addChild(depth);
  auto* colour = new SoBaseColor;
  colour->rgb = SbColor(1.0f, 0.55f, 0.0f);
  measureDisplay_->addChild(colour);
  auto* style = new SoDrawStyle;
  style->pointSize = 9;
  style->lineWidth = 3;
  measureDisplay_->addChild(style);
  auto* coords = new SoCoordinate3;
  coords->point.setValues(0, static_cast<int>(measurePoints_.size()), measurePoints_.data());
  measureDisplay_->addChild(coords);
  measureDisplay_->addChild(new SoPointSet);
  if (measurePoints_.size() == 2) {
    measureDisplay_->addChild(new SoLineSet);
    const SbVec3f d = measurePoints_[1] - measurePoints_[0];
    status_->setText(QString("distance %1 (dx %2, dy %3, dz %4)%5")
                         .arg(number(d.length()))
                         .arg(number(d[0]))
                         .arg(number(d[1]))
                         .arg(number(d[2]))
                         .arg(measureSnapped_[0] && measureSnapped_[1] ? "" : "  [a point did not snap: free pick]"));
  } else {
    status_->setText(QString("measure: point 1 at (%1, %2, %3)%4; click the second")
                         .arg(number(measurePoints_[0][0]))
                         .arg(number(measurePoints_[0][1]))
                         .arg(number(measurePoints_[0][2]))
                         .arg(measureSnapped_[0] ? " snapped" : ""));
  }
  redraw();
}

void ViewerWindow::clickAtWorld(const SbVec3f& point) {
  const QPoint at = widgetPointOf(point);
  clickAt(at.x(), at.y(), Qt::NoModifier);
}

// ---- selection ------------------------------------------------------------

vx::platform::MessageAnswer ViewerWindow::answer(const QString& message, bool question) {
  if (autoAnswer_ >= 0) {
    std::printf("%s %s -> %s\n", question ? "question" : "message", message.toLocal8Bit().constData(),
                !question     ? "ok"
                : autoAnswer_ ? "yes"
                              : "no");
    std::fflush(stdout);
    if (!question) return vx::platform::MessageAnswer::Ok;
    return autoAnswer_ ? vx::platform::MessageAnswer::Yes : vx::platform::MessageAnswer::No;
  }
  if (!question) {
    QMessageBox::warning(this, "vistrel view", message);
    return vx::platform::MessageAnswer::Ok;
  }
  return QMessageBox::question(this, "vistrel view", message) == QMessageBox::Yes ? vx::platform::MessageAnswer::Yes
                                                                                  : vx::platform::MessageAnswer::No;
}

int ViewerWindow::leafIndex(const SoPath* path) const {
  if (!path) return -1;
  for (std::size_t i = 0; i < leaves_.size(); ++i)
    if (CGraphOperation::IsSameIns(leaves_[i], static_cast<SoFullPath*>(const_cast<SoPath*>(path))))
      return static_cast<int>(i);
  return -1;
}

std::vector<std::string> ViewerWindow::selectedNames() const {
  std::vector<std::string> names;
  for (SoFullPath* p : selectedTreePaths()) {
    std::string name = InstanceNamePath(p);
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
  }
  return names;
}

bool ViewerWindow::selectInstance(const std::string& namePath, bool add) {
  std::vector<QTreeWidgetItem*> items;
  for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
    const QVariant v = (*it)->data(0, kPathRole);
    if (v.isValid() && v.toULongLong() < leaves_.size() && InstanceNamePath(leaves_[v.toULongLong()]) == namePath)
      items.push_back(*it);
  }
  if (items.empty()) return false;
  {
    const QSignalBlocker block(tree_);
    if (!add) tree_->clearSelection();
    for (QTreeWidgetItem* item : items) {
      item->setSelected(true);
      tree_->scrollToItem(item);
    }
  }
  treeSelectionChanged();
  return true;
}

// The document's selection list and the boxes follow the tree.
void ViewerWindow::treeSelectionChanged() {
  if (!doc_) return;
  doc_->deselectAll(FALSE);
  for (SoFullPath* p : selectedTreePaths()) doc_->select(p);
  drawSelection();
}

void ViewerWindow::drawSelection() {
  selectionDisplay_->removeAllChildren();
  const std::vector<SoFullPath*> paths = selectedTreePaths();
  if (paths.empty() || !doc_) return redraw();
  auto* depth = new SoDepthBuffer;
  depth->test = FALSE;
  selectionDisplay_->addChild(depth);
  auto* colour = new SoBaseColor;
  colour->rgb = SbColor(0.0f, 0.8f, 0.9f);
  selectionDisplay_->addChild(colour);
  auto* style = new SoDrawStyle;
  style->lineWidth = 2;
  selectionDisplay_->addChild(style);
  auto* coords = new SoCoordinate3;
  auto* lines = new SoLineSet;
  SoGetBoundingBoxAction boxAction(viewer_->getViewportRegion());
  int n = 0;
  for (SoFullPath* p : paths) {
    boxAction.apply(p);
    const SbBox3f box = boxAction.getBoundingBox();
    if (box.isEmpty()) continue;
    const SbVec3f& lo = box.getMin();
    const SbVec3f& hi = box.getMax();
    auto corner = [&](int k) { return SbVec3f(k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2]); };
    // The twelve edges of the box, as two-point lines.
    for (int k = 0; k < 8; ++k)
      for (int bit : {1, 2, 4})
        if (!(k & bit)) {
          coords->point.set1Value(n, corner(k));
          coords->point.set1Value(n + 1, corner(k | bit));
          lines->numVertices.set1Value(n / 2, 2);
          n += 2;
        }
  }
  selectionDisplay_->addChild(coords);
  selectionDisplay_->addChild(lines);
  redraw();
}

QPoint ViewerWindow::widgetPointOf(const SbVec3f& world) {
  SoCamera* camera = viewer_->getCamera();
  if (!camera) return QPoint(-1, -1);
  QApplication::processEvents();  // the layout settles first
  viewer_->render();
  const SbViewportRegion& vp = viewer_->getViewportRegion();
  const float aspect = vp.getViewportAspectRatio();
  SbViewVolume volume = camera->getViewVolume(aspect);
  // A camera adjusted to a viewport taller than wide draws with its view
  // volume widened by 1/aspect.
  if (aspect < 1.0f && camera->viewportMapping.getValue() == SoCamera::ADJUST_CAMERA) volume.scale(1.0f / aspect);
  SbVec3f ndc;
  volume.projectToScreen(world, ndc);
  const SbVec2s size = vp.getViewportSizePixels();
  return QPoint(static_cast<int>(ndc[0] * size[0]), size[1] - 1 - static_cast<int>(ndc[1] * size[1]));
}

void ViewerWindow::clickAt(int x, int y, Qt::KeyboardModifiers modifiers) {
  QWidget* gl = viewer_->getGLWidget();
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
    QMouseEvent event(type, QPointF(x, y), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, modifiers);
    QApplication::sendEvent(gl, &event);
  }
}

// A left click that did not drag, in viewing mode (the tools take the
// clicks otherwise): the nearest instance under the cursor is selected;
// Shift adds it, Ctrl toggles it; a click on the background clears.
bool ViewerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != viewer_->getGLWidget() || !viewer_->isViewing() || !doc_)
    return QMainWindow::eventFilter(watched, event);
  if (event->type() == QEvent::MouseButtonPress) {
    auto* e = static_cast<QMouseEvent*>(event);
    pressAt_ = e->button() == Qt::LeftButton ? e->pos() : QPoint(-1, -1);
  } else if (event->type() == QEvent::MouseButtonRelease && pressAt_.x() >= 0) {
    auto* e = static_cast<QMouseEvent*>(event);
    const bool click = e->button() == Qt::LeftButton && (e->pos() - pressAt_).manhattanLength() <= 3;
    pressAt_ = QPoint(-1, -1);
    if (click) {
      const SbViewportRegion& vp = viewer_->getViewportRegion();
      const SbVec2s size = vp.getViewportSizePixels();
      SoRayPickAction pick(vp);
      pick.setPoint(SbVec2s(static_cast<short>(e->pos().x()), static_cast<short>(size[1] - 1 - e->pos().y())));
      pick.setRadius(3);
      pick.setPickAll(TRUE);
      pick.apply(viewer_->getSceneManager()->getSceneGraph());  // with the viewer's camera
      int hit = -1;
      const SoPickedPointList& picked = pick.getPickedPointList();
      for (int i = 0; i < picked.getLength() && hit < 0; ++i) {
        // The picked path runs through root_, the document, ..., the
        // shape: the leaf whose path (from the document) it continues.
        const auto* path = static_cast<const SoFullPath*>(picked[i]->getPath());
        const int at = path->findNode(doc_);
        if (at < 0) continue;
        for (std::size_t k = 0; k < leaves_.size() && hit < 0; ++k) {
          const SoFullPath* leaf = leaves_[k];
          if (leaf->getLength() + at > path->getLength()) continue;
          bool same = true;
          for (int d = 0; d < leaf->getLength() && same; ++d) same = leaf->getNode(d) == path->getNode(d + at);
          if (same) hit = static_cast<int>(k);
        }
      }
      const bool add = e->modifiers() & Qt::ShiftModifier, toggle = e->modifiers() & Qt::ControlModifier;
      {
        const QSignalBlocker block(tree_);
        if (!add && !toggle) tree_->clearSelection();
        for (QTreeWidgetItemIterator it(tree_); hit >= 0 && *it; ++it) {
          const QVariant v = (*it)->data(0, kPathRole);
          if (!v.isValid() || v.toULongLong() != static_cast<qulonglong>(hit)) continue;
          (*it)->setSelected(toggle ? !(*it)->isSelected() : true);
          tree_->scrollToItem(*it);
        }
      }
      treeSelectionChanged();
      if (hit >= 0)
        status_->setText(QString("selected %1").arg(QString::fromStdString(InstanceNamePath(leaves_[hit]))));
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void ViewerWindow::updateGroupLabels() {
  group2Label_->setText(countText(group2_));
  ignoreLabel_->setText(countText(ignored_));
}

void ViewerWindow::setGroup2(const std::vector<std::string>& names) {
  group2_ = names;
  updateGroupLabels();
}

void ViewerWindow::setIgnored(const std::vector<std::string>& names) {
  ignored_ = names;
  updateGroupLabels();
}

void ViewerWindow::group2FromSelection() { setGroup2(selectedNames()); }
void ViewerWindow::ignoreFromSelection() { setIgnored(selectedNames()); }

int ViewerWindow::deleteSelected() {
  if (!doc_ || isChecking()) return 0;
  treeSelectionChanged();
  if (doc_->getNumSelected() == 0) return 0;
  endSection();
  endMove();
  clearPresentation();
  const std::size_t before = leaves_.size();
  // A deleted instance's paths lose their nodes, and the manager's
  // temporary paths hold none: the selected instances' nodes stay alive
  // until the manager has let go of them.
  std::vector<vx::host::SoRef<SoNode>> alive;
  for (SoFullPath* p : selectedTreePaths())
    for (int i = 0; i < p->getLength(); ++i) alive.emplace_back(p->getNode(i));
  CGraphOperation::DelSelectedIns(doc_);  // asks first
  // Rebuild the tree from the document; what was deleted leaves with it.
  std::vector<SoFullPath*> old;
  old.swap(leaves_);
  tree_->clear();
  doc_->deselectAll(FALSE);
  buildTree();
  const int gone = static_cast<int>(before) - static_cast<int>(leaves_.size());
  if (gone != 0) deleteManager();  // its results may name deleted instances
  for (SoFullPath* p : old) p->unref();
  alive.clear();
  drawSelection();
  status_->setText(gone > 0 ? QString("%1 instances deleted, %2 left").arg(gone).arg(leaves_.size())
                            : QString("nothing deleted"));
  return gone;
}

// ---- the move tool ------------------------------------------------------------

void ViewerWindow::toggleMove(bool on) {
  if (on == (moveManip_ != nullptr)) return;
  if (!on) {
    endMove();
  } else if (!startMove()) {
    const QSignalBlocker block(moveAction_);
    moveAction_->setChecked(false);
    status_->setText("move: select one instance (tree or click) first; not while checking");
  }
}

bool ViewerWindow::startMove() {
  if (moveManip_ || !doc_ || isChecking()) return moveManip_ != nullptr;
  const std::vector<SoFullPath*> sel = selectedTreePaths();
  if (sel.size() != 1) return false;
  SoGetBoundingBoxAction boxAction(viewer_->getViewportRegion());
  boxAction.apply(sel[0]);
  const SbBox3f box = boxAction.getBoundingBox();
  if (box.isEmpty()) return false;
  endSection();
  setMeasuring(false);
  movePath_.reset(sel[0]);
  CGraphOperation::GetInsMatrixBySoPath(doc_, movePath_, moveGlobal0_, true, true);
  CGraphOperation::GetInsMatrixBySoPath(doc_, movePath_, moveLocal0_, false, true);
  // The manip works in a frame at the instance's box centre, scaled to it
  // (the unit centre ball then encloses the instance).
  float dx, dy, dz;
  box.getSize(dx, dy, dz);
  const float radius = std::max(0.5f * SbVec3f(dx, dy, dz).length(), 1e-3f);
  moveFrame_.setTransform(box.getCenter(), SbRotation::identity(), SbVec3f(radius, radius, radius));
  moveRoot_.reset(new SoSeparator);
  auto* frame = new SoMatrixTransform;
  frame->matrix = moveFrame_;
  moveRoot_->addChild(frame);
  moveManip_ = new SoCenterballManip2;
  moveRoot_->addChild(moveManip_);
  // The ball takes the mouse before the document's selection node does
  // (first in root_), and is drawn after the scene (last), so that its
  // see-through parts, drawn on top, blend over the instance.
  auto* events = new ActionFilterGroup;
  events->setMode(ActionFilterGroup::Mode::AllButRender);
  events->addChild(moveRoot_);
  root_->insertChild(events, 0);
  auto* draw = new ActionFilterGroup;
  draw->setMode(ActionFilterGroup::Mode::RenderOnly);
  draw->addChild(moveRoot_);
  root_->addChild(draw);
  SoDragger* dragger = moveManip_->getDragger();
  dragger->addValueChangedCallback(&ViewerWindow::moveChangedCB, this);
  dragger->addFinishCallback(&ViewerWindow::moveFinishedCB, this);
  viewer_->setViewing(FALSE);  // the mouse goes to the dragger
  {
    const QSignalBlocker block(moveAction_);
    moveAction_->setChecked(true);
  }
  status_->setText(QString("move: drag the ball to turn %1 about its centre")
                       .arg(QString::fromStdString(InstanceNamePath(movePath_))));
  redraw();
  return true;
}

void ViewerWindow::endMove() {
  if (!moveManip_) return;
  for (int i = root_->getNumChildren() - 1; i >= 0; --i)
    if (root_->getChild(i)->isOfType(ActionFilterGroup::getClassTypeId())) root_->removeChild(i);
  moveRoot_.reset();
  moveManip_ = nullptr;
  movePath_.reset();
  viewer_->setViewing(TRUE);
  const QSignalBlocker block(moveAction_);
  moveAction_->setChecked(false);
  redraw();
}

// The manip's transform T lives in the frame F, so the world moves by
// D = F^-1 T F (row vectors, as Coin's matrices act). With the instance's
// global matrix G and its local matrix L (both with the user matrix) at the
// tool's start, the new local matrix is C = G D G^-1 L: C times the parent's
// matrix (L^-1 G) is G D.
void ViewerWindow::applyMove() {
  if (!moveManip_ || !movePath_) return;
  SbMatrix transform;
  transform.setTransform(moveManip_->translation.getValue(), moveManip_->rotation.getValue(),
                         moveManip_->scaleFactor.getValue(), moveManip_->scaleOrientation.getValue(),
                         moveManip_->center.getValue());
  SbMatrix delta = moveFrame_.inverse();
  delta.multRight(transform);
  delta.multRight(moveFrame_);
  SbMatrix local = moveGlobal0_;
  local.multRight(delta);
  local.multRight(moveGlobal0_.inverse());
  local.multRight(moveLocal0_);
  CGraphOperation::SetInsMatrixBySoPath(doc_, movePath_, local, true);
  if (caps_->active()) updateCaps();  // their triangles are copies: taken again
  redraw();
}

SbVec3f ViewerWindow::moveCentre() const {
  SbVec3f centre;
  moveFrame_.multVecMatrix(SbVec3f(0, 0, 0), centre);
  return centre;
}

void ViewerWindow::moveChangedCB(void* data, SoDragger*) { static_cast<ViewerWindow*>(data)->applyMove(); }

void ViewerWindow::moveFinishedCB(void* data, SoDragger*) {
  auto* self = static_cast<ViewerWindow*>(data);
  self->applyMove();
  self->drawSelection();
  // Out of the dragger's event handling before the run starts.
  QTimer::singleShot(0, self, &ViewerWindow::recheckMoved);
}

void ViewerWindow::releaseHeldPaths() {
  kept_.clear();
  heldPaths_.clear();
}

void ViewerWindow::recheckMoved() {
  if (!manager_ || !movePath_ || isChecking()) return;
  const int moved = leafIndex(movePath_);
  auto in = [](const std::vector<int>& v, int i) { return std::find(v.begin(), v.end(), i) != v.end(); };
  // Each pair keeps the sides it had in the full run (a pair's cut line is
  // computed from its first side, so the sides matter): in a one-group run
  // the instances before the moved one against it, then it against those
  // after it.
  recheckQueue_.clear();
  if (moved < 0 || in(runIgnored_, moved)) {
  } else if (runGroup2_.empty() && in(runGroup1_, moved)) {
    std::vector<int> before, after;
    for (int i : runGroup1_) (i < moved ? before : after).push_back(i);
    after.erase(std::remove(after.begin(), after.end(), moved), after.end());
    if (!before.empty()) recheckQueue_.push_back({before, {moved}});
    if (!after.empty()) recheckQueue_.push_back({{moved}, after});
  } else if (in(runGroup1_, moved)) {
    recheckQueue_.push_back({{moved}, runGroup2_});
  } else if (in(runGroup2_, moved)) {
    recheckQueue_.push_back({runGroup1_, {moved}});
  }
  if (recheckQueue_.empty()) {
    status_->setText("moved; not re-checked (the instance took no part in the check)");
    return;
  }
  clearPairLook();
  manager_->ClearColisionTempNode(true);
  {
    const QSignalBlocker block(results_);
    results_->clearSelection();
  }
  // Results without the moved instance stay; the manager lets go of its
  // copies of their paths at the run's start, so they are held here.
  std::vector<_collisionResult> kept;
  for (const _collisionResult& r : manager_->Results()) {
    if (CGraphOperation::IsSameIns(r.pPath1, movePath_) || CGraphOperation::IsSameIns(r.pPath2, movePath_)) continue;
    for (SoPath* p : {r.pPath1, r.pTopPath1, r.pPath2, r.pTopPath2})
      if (p) heldPaths_.emplace_back(p);
    kept.push_back(r);
  }
  kept_ = std::move(kept);
  recheckRun_ = true;
  recheckSeconds_ = 0;
  start_->setEnabled(false);
  stop_->setEnabled(true);
  status_->setText(QString("re-checking %1...").arg(QString::fromStdString(InstanceNamePath(movePath_))));
  startRecheckRun();
}

void ViewerWindow::startRecheckRun() {
  const auto sides = recheckQueue_.front();
  recheckQueue_.erase(recheckQueue_.begin());
  manager_->DelAllIns1();
  manager_->DelAllIns2();
  manager_->DelAllIgnoreIns();
  SoPathList a, b, ignored;
  for (int i : sides.first) a.append(leaves_[static_cast<std::size_t>(i)]);
  for (int i : sides.second) b.append(leaves_[static_cast<std::size_t>(i)]);
  for (int i : runIgnored_) ignored.append(leaves_[static_cast<std::size_t>(i)]);
  manager_->m_b2Group = 1;
  manager_->AddIns1(&a, 0);
  manager_->AddIns2(&b, 0);
  manager_->AddIgnoreIns(&ignored, 0);
  progress_.pairs.store(0);
  progress_.finished.store(false);
  runStart_ = std::chrono::steady_clock::now();
  bar_->setValue(0);
  manager_->StartCalculate();
  timer_->start();
}

bool ViewerWindow::dragMove(int dx, int dy, const QString& shotWhileDragging, bool wholeScreen) {
  if (!moveManip_) return false;
  QWidget* gl = viewer_->getGLWidget();
  viewer_->render();
  // A pixel where a pick meets one of the rotators (not a centre arrow),
  // searched outward from the ball's centre.
  SoDragger* dragger = moveManip_->getDragger();
  std::vector<SoNode*> rotators;
  for (const char* part : {"rotator", "XRotator", "YRotator", "ZRotator"})
    if (SoNode* n = dragger->getPart(part, FALSE)) rotators.push_back(n);
  SbVec3f centre;
  moveFrame_.multVecMatrix(SbVec3f(0, 0, 0), centre);
  const QPoint c = widgetPointOf(centre);
  const SbViewportRegion& vp = viewer_->getViewportRegion();
  const SbVec2s size = vp.getViewportSizePixels();
  QPoint hit(-1, -1);
  for (int r = 0; r < std::max(size[0], size[1]) && hit.x() < 0; r += 2) {
    for (const QPoint& q : {c + QPoint(r, 0), c - QPoint(r, 0), c + QPoint(0, r), c - QPoint(0, r)}) {
      if (q.x() < 0 || q.y() < 0 || q.x() >= size[0] || q.y() >= size[1]) continue;
      SoRayPickAction pick(vp);
      pick.setPoint(SbVec2s(static_cast<short>(q.x()), static_cast<short>(size[1] - 1 - q.y())));
      pick.apply(viewer_->getSceneManager()->getSceneGraph());
      const SoPickedPoint* pp = pick.getPickedPoint();
      if (!pp) continue;
      const auto* path = static_cast<const SoFullPath*>(pp->getPath());
      bool onRotator = false;
      for (SoNode* n : rotators) onRotator = onRotator || path->containsNode(n);
      if (onRotator) {
        hit = q;
        break;
      }
    }
  }
  if (hit.x() < 0) return false;
  auto send = [gl](QEvent::Type type, const QPointF& at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(gl, &event);
  };
  const QPointF start(hit);
  send(QEvent::MouseButtonPress, start, Qt::LeftButton);
  const int steps = 10;
  for (int i = 1; i <= steps; ++i)
    send(QEvent::MouseMove, start + QPointF(dx * i / double(steps), dy * i / double(steps)), Qt::LeftButton);
  bool shot = true;
  if (!shotWhileDragging.isEmpty() && wholeScreen) {
    viewer_->render();
    QApplication::processEvents();
    QScreen* screen = QGuiApplication::primaryScreen();
    shot = screen && screen->grabWindow(0).save(shotWhileDragging, "PNG");
  } else if (!shotWhileDragging.isEmpty()) {
    shot = saveScreenshot(shotWhileDragging);
  }
  send(QEvent::MouseButtonRelease, start + QPointF(dx, dy), Qt::NoButton);
  return shot;
}
