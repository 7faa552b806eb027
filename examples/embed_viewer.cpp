// How a viewer embeds the library: start-up, a document, an interference
// check on the library's worker thread, stepping through the results,
// stopping a run, teardown.
//
// The viewer here has no window: its "user-interface thread" is main(), and
// its event loop is a queue that the library's callbacks post into. In a
// real viewer the same messages go to the toolkit's own queue (a queued
// signal, a posted event, an idle callback).
//
// Built against the installed package, either way:
//   cmake -S examples -B build-example -DCMAKE_PREFIX_PATH=PREFIX
//   c++ -std=c++17 embed_viewer.cpp $(pkg-config --cflags --libs vistrelext)
#include <Inventor/SbMatrix.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/lists/SoPathList.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoGroup.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/OmbrelTools.h"
#include "host/SoBrepFaceSet.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/VistrelHost.h"
#include "module/VistrelExt.h"
#include "platform/Platform.h"

namespace {

// ---- the viewer's document (normally loaded by its own library) ----------

// A part prototype holding one box, min..max in millimetres.
SoKRN_ComponentKit* BoxPart(SoKRN_MainDoc* doc, const wchar_t* name, SbVec3f lo, SbVec3f hi) {
  auto* proto = new SoKRN_ComponentKit;
  proto->componentType.setValue(SoKRN_ComponentKit::PART);
  proto->setKRNName(name);
  proto->elementId.setValue(doc->newElementId());
  auto* coords = new SoCoordinate3;
  for (int i = 0; i < 8; ++i) {  // corner i: bit 0 x, bit 1 y, bit 2 z
    coords->point.set1Value(i, i & 1 ? hi[0] : lo[0], i & 2 ? hi[1] : lo[1], i & 4 ? hi[2] : lo[2]);
  }
  // The check collects the host's face sets (SoBrepFaceSet) only.
  auto* faces = new SoBrepFaceSet;  // quads, counter-clockwise seen from outside
  const int32_t quads[] = {0, 2, 3, 1, -1, 4, 5, 7, 6, -1, 0, 1, 5, 4, -1,
                           2, 6, 7, 3, -1, 0, 4, 6, 2, -1, 1, 3, 7, 5, -1};
  faces->coordIndex.setValues(0, sizeof quads / sizeof quads[0], quads);
  proto->getBodies()->addChild(coords);
  proto->getBodies()->addChild(faces);
  return proto;
}

// Places `proto` under the document's top prototype with placement id `plc`.
void Place(SoKRN_MainDoc* doc, SoKRN_ComponentKit* proto, uint32_t plc, const wchar_t* name) {
  auto* inst = new SoKRN_ComponentKit;  // an instance by default
  inst->plcId.setValue(plc);
  inst->elementId.setValue(doc->newElementId());
  inst->setKRNName(name);
  inst->setPrototype(proto);
  inst->setMatrix(SbMatrix::identity(), false);
  doc->getTopPrototype()->addEleChild(inst);
}

// A base plate with a block standing on it (touch), a bolt through it
// (penetration, 10 x 10 x 5 mm overlap) and a lamp 0.5 mm above it
// (clearance). Returned referenced once.
SoKRN_MainDoc* BuildDocument() {
  auto* doc = new SoKRN_MainDoc;
  doc->ref();
  Place(doc, BoxPart(doc, L"Base", SbVec3f(0, 0, 0), SbVec3f(100, 100, 10)), 0, L"Base");
  Place(doc, BoxPart(doc, L"Block", SbVec3f(20, 20, 10), SbVec3f(40, 40, 30)), 1, L"Block");
  Place(doc, BoxPart(doc, L"Bolt", SbVec3f(60, 60, 5), SbVec3f(70, 70, 30)), 2, L"Bolt");
  Place(doc, BoxPart(doc, L"Lamp", SbVec3f(20, 60, 10.5f), SbVec3f(40, 80, 20)), 3, L"Lamp");
  doc->adoptTree();  // the document's state on every kit
  return doc;
}

// ---- the viewer's event queue and the library's callbacks -----------------

// What the callbacks share with the UI thread. The callbacks run on the
// library's worker thread: they may read the manager's atomic counters and
// post messages, and a per-pair callback may call StopCalculate() (on the
// worker it only sets the stop flag). They must not touch the scene, the
// inputs or the results, and must not block on the UI thread.
struct Ui {
  CCollisionManager* manager = nullptr;
  std::mutex lock;
  std::deque<std::string> posted;
  std::atomic<int64_t> stopAtPair{0};  // 0: run to the end

  void Post(std::string message) {
    std::lock_guard<std::mutex> hold(lock);
    posted.push_back(std::move(message));
  }
  // UI thread: handles what the worker posted.
  void Drain() {
    std::lock_guard<std::mutex> hold(lock);
    for (const std::string& m : posted) std::printf("  [worker] %s\n", m.c_str());
    posted.clear();
  }
};

// Worker thread, as each pair begins; pairs that the broad phase skips
// advance the counter in bulk (see CCollisionManager.h).
void OnPair(void* data) {
  auto* ui = static_cast<Ui*>(data);
  const int64_t pair = ui->manager->m_nCurPair.load();
  ui->Post("pair " + std::to_string(pair) + " of " + std::to_string(ui->manager->m_nTotalPairs.load()));
  const int64_t stopAt = ui->stopAtPair.load();
  if (stopAt > 0 && pair >= stopAt) {
    ui->manager->StopCalculate();  // on the worker: only asks, returns at once
  }
}

void OnFinish(void* data) {  // worker thread, once, when the run has ended
  static_cast<Ui*>(data)->Post("run ended");
}

// The library's modal messages: a run stopped by the memory guard or by an
// exception says so from the worker thread, the toolbox asks yes/no
// questions from the UI thread. A handler that waits for the UI thread
// while on the worker would deadlock against a UI thread blocked in
// StopCalculate(): post the exclamation and return.
vx::platform::MessageAnswer OnMessage(const std::wstring& text, vx::platform::MessageKind kind, void* data) {
  if (kind == vx::platform::MessageKind::YesNoQuestion) return vx::platform::MessageAnswer::No;
  static_cast<Ui*>(data)->Post("message: " + vx::platform::WideToNarrow(text));
  return vx::platform::MessageAnswer::Ok;
}

// UI thread: keeps handling events until the worker has left the manager.
// That, not the finish callback, is the signal that the results may be read
// and the scene changed again: a run that fails to start, or that an
// exception ends, calls no finish callback.
void RunEventLoop(Ui& ui) {
  while (ui.manager->m_pThread.load() != 0 || ui.manager->m_bRunning.load() != 0) {
    ui.Drain();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ui.Drain();
}

std::string Name(SoFullPath* path) {
  std::wstring wide;
  CGraphOperation::GetInsName(path, wide);
  return std::string(wide.begin(), wide.end());  // our names are ASCII
}

const char* Kind(const _collisionResult& r) {
  if (r.nType == 0) return r.Penetrates() ? "penetration" : "touch";
  return r.nType == 1 ? "clearance" : "beyond the tolerance";
}

}  // namespace

int main() {
  // 1. Start-up, once: the host's own (Coin, its document kits), then ours.
  VistrelHostInit();
  initVistrelExtClass();

  // 2. A document, made active for the toolbox's fallbacks.
  SoKRN_MainDoc* doc = BuildDocument();
  CGraphOperation::SetActiveMainDocKit(doc);

  // 3. A manager on the document. It hangs its display separator under the
  //    document's temporary children (replacing an earlier manager of that
  //    name) and owns everything it creates.
  auto* manager = new CCollisionManager(doc, "CollisionManager");
  manager->m_fTolerance = 1.0f;   // report pairs closer than 1 mm as clearance
  manager->m_nCalcType = 1;       // touch, penetration and clearance
  manager->m_bCalcCrossMesh = 1;  // cut faces with their volumes
  manager->m_bShowCutFace = 1;    // drawn when a result is shown

  // 4. Inputs: instances by placement path. The manager copies the paths,
  //    so the list can go right after.
  {
    SoPathList inputs;
    for (const char* plc : {"0", "1", "2", "3"}) {
      auto* path = new SoPath(4);
      path->ref();
      OmbrelTools::StrPathToSoPath(doc, plc, *path);
      inputs.append(path);
      path->unref();  // the list holds it
    }
    manager->AddIns1(&inputs, 0);
  }

  // 5. Callbacks (function + user data), then the run on the worker.
  Ui ui;
  ui.manager = manager;
  manager->SetCalculateCB(&OnPair, &ui);
  manager->SetCalculateFinshCB(&OnFinish, &ui);
  vx::platform::SetMessageHandler(&OnMessage, &ui);
  std::printf("checking %d instances\n", static_cast<int>(manager->GetIns().size()));
  manager->StartCalculate();  // returns at once; the scene is the run's until it ends
  RunEventLoop(ui);

  // 6. Results: read, and stepped through in the scene (UI thread only).
  const int count = manager->GetResultCount();
  std::printf("results: %d\n", count);
  manager->m_nCurResult = 0;
  for (int i = 0; i < count; ++i) {
    if (i == 0) {
      manager->ShowCurrent();  // box and cut face of result 1 under the manager's separator
    } else {
      manager->ShowNext();
    }
    const _collisionResult& r = manager->Results()[manager->m_nCurResult];
    std::printf("result %d: %s - %s  %s  distance %.3f", r.nID, Name(r.pPath1).c_str(), Name(r.pPath2).c_str(), Kind(r),
                r.fMinDist);
    if (std::isnan(r.fCompacity)) {
      std::printf("  volume unknown (%s)", r.volumeNote.c_str());
    } else if (r.fCompacity > 0) {
      std::printf("  volume %.1f", r.fCompacity);
    }
    std::printf("\n");
  }
  manager->ClearColisionTempNode(true);  // displays gone, visibility restored

  // 7. Stopping. A Stop button calls StopCalculate() on the UI thread: it
  //    blocks until the worker has ended, so the results are final when it
  //    returns. Here the run stops itself from its per-pair callback (say, a
  //    limit on the pairs tested), which on the worker only sets the flag.
  //    What was found before the stop is kept; a pair cut short is dropped
  //    and named in m_pStoppedPath1/2.
  ui.stopAtPair = 2;
  manager->StartCalculate();
  RunEventLoop(ui);
  std::printf("second run: %d results kept", manager->GetResultCount());
  if (manager->m_pStoppedPath1) {
    std::printf(", stopped in pair %s - %s", Name(manager->m_pStoppedPath1).c_str(),
                Name(manager->m_pStoppedPath2).c_str());
  }
  std::printf("\n");

  // 8. Teardown: the manager first (it stops a run, removes its separator
  //    and restores visibility), then the document.
  delete manager;
  vx::platform::SetMessageHandler(nullptr, nullptr);  // back to stderr; `ui` goes
  CGraphOperation::SetActiveMainDocKit(nullptr);
  doc->unref();
  return count == 3 ? 0 : 1;
}
