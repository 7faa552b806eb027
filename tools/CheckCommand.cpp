// vistrel check [FILE]: one interference check, run exactly as a viewer runs
// it: a CCollisionManager on the document, the inputs added, StartCalculate on
// its worker thread, progress from the per-pair callback, Ctrl-C through
// StopCalculate, and the results read after the finish callback.
#include <fnmatch.h>
#include <signal.h>
#include <unistd.h>

#include <Inventor/SoFullPath.h>
#include <Inventor/lists/SoPathList.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/DocumentBuilder.h"
#include "host/SoKRN_ComponentKit.h"
#include "host/SoKRN_MainDoc.h"
#include "host/SoKRN_State.h"
#include "platform/Platform.h"
#include "tools/Baseline.h"
#include "tools/BcfExport.h"
#include "tools/CheckReport.h"
#include "tools/Commands.h"
#include "tools/CsvReport.h"
#include "tools/Grouping.h"
#include "tools/HtmlReport.h"
#include "tools/SafeOutput.h"
#include "tools/StepImporter.h"

namespace {

const char kHelp[] =
    "usage: vistrel check [FILE] [options]\n"
    "Checks every pair of leaf instances of the assembly in FILE (the embedded\n"
    "sample assembly without FILE) for interference and prints one row per result.\n"
    "\n"
    "Result kinds:\n"
    "  interference  the solids' interiors overlap: surfaces cross, faces lie on\n"
    "                each other facing the same way (with or without cut faces)\n"
    "  contact       the surfaces touch, the interiors do not overlap\n"
    "  clearance     closer than the clearance tolerance\n"
    "  near          closer than --distance\n"
    "\n"
    "Options:\n"
    "  --tolerance T        clearance tolerance (model units, default 0)\n"
    "  --distance D         report every pair closer than D\n"
    "  --cut-faces          compute cut faces and interference volumes (keeps every result)\n"
    "  --interference-only  cut faces, and drop results whose interference volume does\n"
    "                       not exceed the tolerance (touching-only contacts among them)\n"
    "  --group2 GLOB        two-group check: instances whose name path matches GLOB\n"
    "                       form group 2, the others group 1 (repeatable)\n"
    "  --ignore GLOB        leave matching instances out (repeatable)\n"
    "  --hidden GLOB        mark matching instances hidden and leave them out (repeatable)\n"
    "  --json FILE          write the report as JSON\n"
    "  --png DIR            write a picture per result and an overview into DIR\n"
    "  --clip               with --png: show the clip plane through each result\n"
    "  --html DIR           write an HTML report (index.html, pictures, thumbnails) into DIR\n"
    "  --csv FILE           write the results as CSV\n"
    "  --bcf FILE           write a BCF archive (.bcfzip): a topic per result with its\n"
    "                       viewpoint and picture\n"
    "  --bcf-version V      2.1 (default) or 3.0\n"
    "  --baseline OLD.json  compare with an earlier run's JSON report: each result new or\n"
    "                       active, and the baseline's results not found now resolved\n"
    "  --group-by MODE      instance: results sharing an instance together, largest group\n"
    "                       first; pair: results of the same pair; none (default)\n"
    "  --quiet              no progress bar\n"
    "  --deflection D       STEP files: largest distance of the triangles from the exact\n"
    "                       surfaces (model units; default 1/1000 of each part's size)\n"
    "  --allow-external     read the File nodes of an Inventor document (regular files only)\n"
    "Globs match the instance name path, e.g. \"Bracket_1/Bolt*\" (\"*\" also matches \"/\").\n"
    "Exit status: 0 nothing found, 1 results found, 2 bad usage or unreadable input,\n"
    "3 the check was stopped (Ctrl-C) or aborted before its end: partial results.\n";

volatile sig_atomic_t g_interrupted = 0;
void onSigint(int) { g_interrupted = 1; }

struct Progress {
  std::atomic<long long> pairs{0};
  std::atomic<bool> finished{false};
  CCollisionManager* manager = nullptr;
};

void perPairCB(void* data) {
  auto* p = static_cast<Progress*>(data);
  p->pairs.store(p->manager->m_nCurPair.load());
}

void finishCB(void* data) { static_cast<Progress*>(data)->finished.store(true); }

bool matchesAny(const std::vector<std::string>& globs, const std::string& name) {
  for (const std::string& g : globs) {
    if (fnmatch(g.c_str(), name.c_str(), 0) == 0) return true;
  }
  return false;
}

bool parseNumber(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && !text.empty() && std::isfinite(out) && out >= 0;
}

void drawProgress(long long done, long long total, double seconds) {
  const int width = 30;
  const double frac = total > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(total)) : 0.0;
  const int filled = static_cast<int>(frac * width);
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  const double left = rate > 0 && total > done ? static_cast<double>(total - done) / rate : 0.0;
  std::fprintf(stderr, "\r[%s%s] %lld/%lld pairs  %.0f pairs/s  %.0fs left ", std::string(filled, '#').c_str(),
               std::string(width - filled, '.').c_str(), done, total, rate, left);
  std::fflush(stderr);
}

// The command runs in five steps, each below: parse the command line, check
// the options against each other, configure a manager, select its inputs,
// run it, and report.

// Sentinel of ParseArgs and CheckUsage: no exit status yet, the check goes on.
constexpr int kGoOn = -1;

// The command line into `opt`. Returns kGoOn, or the exit status when the
// command ends here (0 after --help, 2 on bad usage, with its message).
int ParseArgs(const std::vector<std::string>& args, CheckOptions& opt) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "vistrel check: %s needs a value\n", a.c_str());
        return false;
      }
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--tolerance" || a == "--distance") {
      double d = 0;
      if (!value(v)) return 2;
      if (!parseNumber(v, d)) {
        std::fprintf(stderr, "vistrel check: %s takes a number >= 0, not '%s'\n", a.c_str(), v.c_str());
        return 2;
      }
      (a == "--tolerance" ? opt.tolerance : opt.distance) = d;
    } else if (a == "--deflection") {
      if (!TakeDeflectionOption(args, i, "vistrel check")) return 2;
    } else if (a == "--cut-faces") {
      opt.cutFaces = true;
    } else if (a == "--interference-only") {
      opt.interferenceOnly = true;
    } else if (a == "--group2" || a == "--ignore" || a == "--hidden") {
      if (!value(v)) return 2;
      (a == "--group2" ? opt.group2 : a == "--ignore" ? opt.ignore : opt.hidden).push_back(v);
    } else if (a == "--json" || a == "--png" || a == "--html" || a == "--csv" || a == "--bcf" || a == "--baseline") {
      if (!value(v)) return 2;
      if (v.empty()) {
        std::fprintf(stderr, "vistrel check: %s needs a value (an empty path was given)\n", a.c_str());
        return 2;
      }
      (a == "--json"   ? opt.jsonFile
       : a == "--png"  ? opt.pngDir
       : a == "--html" ? opt.htmlDir
       : a == "--csv"  ? opt.csvFile
       : a == "--bcf"  ? opt.bcfFile
                       : opt.baselineFile) = v;
    } else if (a == "--allow-external") {
      opt.allowExternal = true;
    } else if (a == "--group-by") {
      if (!value(v)) return 2;
      if (v != "instance" && v != "pair" && v != "none") {
        std::fprintf(stderr, "vistrel check: --group-by takes instance, pair or none, not '%s'\n", v.c_str());
        return 2;
      }
      opt.groupBy = v;
    } else if (a == "--bcf-version") {
      if (!value(v)) return 2;
      if (v != "2.1" && v != "3.0") {
        std::fprintf(stderr, "vistrel check: --bcf-version takes 2.1 or 3.0, not '%s'\n", v.c_str());
        return 2;
      }
      opt.bcfVersion = v;
    } else if (a == "--clip") {
      opt.clip = true;
    } else if (a == "--quiet" || a == "-q") {
      opt.quiet = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "vistrel check: unknown option '%s' (see --help)\n", a.c_str());
      return 2;
    } else if (!opt.file.empty()) {
      std::fprintf(stderr, "vistrel check: more than one file given\n");
      return 2;
    } else {
      opt.file = a;
    }
  }
  return kGoOn;
}

// The options against each other and the file system, before anything is
// read: output paths that would overwrite an input, exclusive options, the
// HTML report's picture directory (set into opt.pngDir), a bad baseline.
// Returns kGoOn or 2 (with its message).
int CheckUsage(CheckOptions& opt) {
  for (const auto& [option, path] : {std::make_pair("--json", opt.jsonFile), std::make_pair("--png", opt.pngDir),
                                     std::make_pair("--html", opt.htmlDir), std::make_pair("--csv", opt.csvFile),
                                     std::make_pair("--bcf", opt.bcfFile)}) {
    std::vector<std::string> inputs{opt.file};
    if (!opt.baselineFile.empty()) inputs.push_back(opt.baselineFile);
    const std::string why = path.empty() ? std::string() : safeoutput::CheckOutputPath(option, path, inputs);
    if (!why.empty()) {
      std::fprintf(stderr, "vistrel check: %s\n", why.c_str());
      return 2;
    }
  }
  if (opt.distance >= 0 && opt.interferenceOnly) {
    std::fprintf(stderr, "vistrel check: --distance and --interference-only exclude each other\n");
    return 2;
  }

  if (!opt.htmlDir.empty()) {
    // The page links its pictures by bare file name.
    if (!opt.pngDir.empty() && opt.pngDir != opt.htmlDir) {
      std::fprintf(stderr,
                   "vistrel check: --html writes its pictures into its own directory; "
                   "give --png the same directory or leave it out\n");
      return 2;
    }
    opt.pngDir = opt.htmlDir;
  }

  if (!opt.baselineFile.empty()) {
    std::string error;
    CheckReport probe;  // a bad baseline is refused before the run, not after it
    if (!ApplyBaseline(probe, opt.baselineFile, error)) {
      std::fprintf(stderr, "vistrel: %s\n", error.c_str());
      return 2;
    }
  }
  return kGoOn;
}

// The manager's calculation settings from the options.
void Configure(CCollisionManager& manager, const CheckOptions& opt) {
  manager.m_fTolerance = static_cast<float>(opt.tolerance);
  if (opt.distance >= 0) {
    manager.m_nCalcType = 2;
    manager.m_fTolerance2 = static_cast<float>(opt.distance);
  } else if (opt.interferenceOnly) {
    manager.m_nCalcType = 0;
  } else if (opt.cutFaces) {
    manager.m_nCalcType = 1;
  }
  manager.m_bCalcCrossMesh = (opt.cutFaces || opt.interferenceOnly) ? 1 : 0;
  manager.m_b2Group = opt.group2.empty() ? 0 : 1;
}

// The manager's inputs: every leaf instance, sorted into the groups, the
// ignore list and the hidden ones by name path; counts the instances and
// their triangles into `report`.
void SelectInputs(CCollisionManager& manager, SoKRN_MainDoc* doc, const CheckOptions& opt, CheckReport& report) {
  std::vector<SoFullPath*> leaves;  // each referenced for us
  if (const vx::host::SoRef<SoFullPath> root = TopPrototypePath(doc)) {
    CGraphOperation::GetAllChildIns(doc, root, leaves, true, true);  // temporary: the scene stays
    if (leaves.size() == 1 && leaves[0] == root) leaves.clear();     // an empty assembly
  }
  {
    SoPathList group1, group2, ignored;
    const int tag = opt.hidden.empty() ? 0 : 2;
    for (SoFullPath* leaf : leaves) {
      const std::string name = InstanceNamePath(leaf);
      if (matchesAny(opt.hidden, name)) doc->getKRNState()->setDocEleVisible(leaf, 0, FALSE);
      if (matchesAny(opt.ignore, name)) ignored.append(leaf);
      (matchesAny(opt.group2, name) ? group2 : group1).append(leaf);
      auto* kit = static_cast<SoKRN_ComponentKit*>(leaf->getTail());
      if (kit->getPrototype()) report.triangles += vx::host::CountTriangles(kit->getPrototype());
      ++report.instances;
    }
    manager.AddIns1(&group1, tag);
    if (manager.m_b2Group) manager.AddIns2(&group2, tag);
    manager.AddIgnoreIns(&ignored, 0);
  }
  // The lists hold copies. Released oldest first, the order in which Coin
  // finds a dying path among the paths through a group cheapest.
  for (SoFullPath* leaf : leaves) leaf->unref();
}

// Runs the check on the manager's worker thread to its end or to Ctrl-C,
// with a progress bar on a terminal, and records how the run went (time,
// pairs, stopped or aborted) and its results in `report`.
void RunToEnd(CCollisionManager& manager, const CheckOptions& opt, CheckReport& report) {
  Progress progress;
  progress.manager = &manager;
  manager.SetCalculateCB(&perPairCB, &progress);
  manager.SetCalculateFinshCB(&finishCB, &progress);

  const bool showProgress = !opt.quiet && isatty(STDERR_FILENO);
  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  manager.StartCalculate();
  bool stopRequested = false;
  // Until the worker has left the manager: finished, or aborted by a guard.
  while (manager.m_pThread.load() != 0 || manager.m_bRunning.load() != 0) {
    if (g_interrupted && !stopRequested) {
      stopRequested = true;
      if (showProgress) std::fputs("\nstopping...\n", stderr);
      manager.StopCalculate();
      break;
    }
    if (showProgress) drawProgress(progress.pairs.load(), manager.m_nTotalPairs.load(), seconds());
    vx::platform::SleepMs(100);
  }
  while (manager.m_pThread.load() != 0) vx::platform::SleepMs(5);
  if (showProgress && !stopRequested) {
    drawProgress(manager.m_nCurPair.load(), manager.m_nTotalPairs.load(), seconds());
    std::fputc('\n', stderr);
  }
  report.seconds = seconds();
  report.stopped = stopRequested;
  report.aborted = manager.m_bAborted.load() != 0;
  report.pairsTotal = manager.m_nTotalPairs.load();
  report.pairsTested = manager.m_nCurPair.load();
  report.twoGroup = manager.m_b2Group != 0;
  report.calcType = manager.m_nCalcType;
  report.Collect(manager);
}

// The table on stdout and every output the options ask for; returns the exit
// status (0 nothing found, 1 results, 2 an output failed, 3 incomplete run).
int Report(CCollisionManager& manager, SoKRN_MainDoc* doc, CheckOptions& opt, CheckReport& report) {
  int status = 0;
  std::string error;
  auto failed = [&] {
    std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    status = 2;
  };
  if (!opt.baselineFile.empty() && !ApplyBaseline(report, opt.baselineFile, error)) failed();

  GroupResults(report, opt.groupBy);
  report.PrintTable(stdout);
  if (!opt.jsonFile.empty() && !report.WriteJson(opt.jsonFile, error)) failed();
  // The BCF snapshots are the pictures: taken into a scratch directory
  // when no other output keeps them.
  std::vector<ResultCamera> cameras;
  std::string scratch;
  if (status == 0 && !opt.bcfFile.empty() && opt.pngDir.empty()) {
    scratch = MakeScratchDir();
    if (scratch.empty()) {
      std::fprintf(stderr, "vistrel: no temporary directory for the BCF snapshots\n");
      status = 2;
    }
    opt.pngDir = scratch;
  }
  if (status == 0 && !opt.pngDir.empty() &&
      !WriteResultPictures(manager, doc, opt, error, opt.bcfFile.empty() ? nullptr : &cameras))
    failed();
  if (status == 0 && !opt.bcfFile.empty() && !WriteBcf(report, cameras, opt.pngDir, opt.bcfVersion, opt.bcfFile, error))
    failed();
  if (!scratch.empty()) RemoveScratchDir(scratch);
  if (status == 0 && !opt.htmlDir.empty() && !WriteHtmlReport(report, opt.htmlDir, UtcNow(), error)) failed();
  if (status == 0 && !opt.csvFile.empty() && !WriteCsvReport(report, opt.csvFile, error)) failed();
  if (status == 0) status = report.results.empty() ? 0 : 1;
  if (status != 2 && (report.stopped || report.aborted)) status = 3;  // never "clean" when incomplete
  return status;
}

}  // namespace

void CatchInterrupts() {
  g_interrupted = 0;
  struct sigaction sa {};
  sa.sa_handler = &onSigint;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
}

int RunCheck(const std::vector<std::string>& args) {
  CheckOptions opt;
  if (const int exitNow = ParseArgs(args, opt); exitNow != kGoOn) return exitNow;
  if (const int exitNow = CheckUsage(opt); exitNow != kGoOn) return exitNow;

  std::string error;
  const vx::host::SoRef<SoKRN_MainDoc> doc = LoadAssembly(opt.file, error, opt.allowExternal);
  if (!doc) {
    std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    return 2;
  }
  CGraphOperation::SetActiveMainDocKit(doc);

  CheckReport report;
  report.file = opt.file.empty() ? "(embedded sample)" : opt.file;
  report.options = opt;
  int status = 0;
  {
    const auto manager = std::make_unique<CCollisionManager>(doc, "CollisionManager");
    Configure(*manager, opt);
    SelectInputs(*manager, doc, opt, report);
    RunToEnd(*manager, opt, report);
    status = Report(*manager, doc, opt, report);
  }
  CGraphOperation::SetActiveMainDocKit(nullptr);
  return status;
}
