// vistrel report OLD.json --tolerance T: the results of an earlier check
// re-classified for a smaller clearance tolerance, without loading the model
// or running the check again.
//
// Why this is exact: the check searches every pair within its tolerance (or
// --distance), and a result keeps the smallest distance between its
// instances' triangles; classification and the interference-only filter
// use nothing else. For a tolerance T at or below the one searched, a
// result stays when the search at T would have found it (distance below
// T + 0.001, the search's margin), and its kind follows from its distance
// exactly as the check decides it (below 0.001 touching or interfering,
// below T + 0.001 clearance, else near); interference-only runs drop
// volumes not above T + 0.001 as the check does. Results are renumbered in
// their stored order, as a fresh check numbers them.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/Baseline.h"
#include "tools/CheckReport.h"
#include "tools/Commands.h"
#include "tools/CsvReport.h"
#include "tools/HtmlReport.h"
#include "tools/JsonRead.h"

namespace {

const char kHelp[] =
    "usage: vistrel report OLD.json --tolerance T [--json FILE] [--csv FILE] [--html DIR]\n"
    "Re-classifies the results of an earlier `vistrel check --json` for the clearance\n"
    "tolerance T (at most the tolerance, or --distance, the check searched with) without\n"
    "running the check again. --html writes a page without pictures.\n";

std::vector<std::string> Strings(const JsonValue& v) {
  std::vector<std::string> out;
  for (const JsonValue& i : v.items) out.push_back(i.s);
  return out;
}

struct ReportArgs {
  std::string in, json, csv, html;
  double tolerance = -1;
};

// Sentinel of ParseReportArgs and ReadOldReport: the command goes on.
constexpr int kGoOn = -1;

// The command line; kGoOn, or the exit status (0 after --help, 2 on bad
// usage with its message).
int ParseReportArgs(const std::vector<std::string>& args, ReportArgs& out) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (a == "--tolerance" || a == "--json" || a == "--csv" || a == "--html") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "vistrel report: %s needs a value\n", a.c_str());
        return 2;
      }
      const std::string& v = args[++i];
      if (a == "--tolerance") {
        char* end = nullptr;
        out.tolerance = std::strtod(v.c_str(), &end);
        if (v.empty() || *end != '\0' || !std::isfinite(out.tolerance) || out.tolerance < 0) {
          std::fprintf(stderr, "vistrel report: --tolerance takes a number >= 0, not '%s'\n", v.c_str());
          return 2;
        }
      } else {
        (a == "--json" ? out.json : a == "--csv" ? out.csv : out.html) = v;
      }
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "vistrel report: unknown option '%s' (see --help)\n", a.c_str());
      return 2;
    } else if (!out.in.empty()) {
      std::fprintf(stderr, "vistrel report: more than one report given\n");
      return 2;
    } else {
      out.in = a;
    }
  }
  if (out.in.empty() || out.tolerance < 0) {
    std::fputs(kHelp, stderr);
    return 2;
  }
  return kGoOn;
}

// The earlier report, refused (exit status 2, with its message) when it is
// not a finished check's report or searched with less than `tolerance`.
int ReadOldReport(const std::string& in, double tolerance, JsonValue& old) {
  std::ifstream file(in, std::ios::binary);
  std::stringstream ss;
  ss << file.rdbuf();
  std::string error;
  if (!file || !ReadJson(ss.str(), old, error) || old["results"].kind != JsonValue::Array ||
      old["settings"].kind != JsonValue::Object) {
    std::fprintf(stderr, "vistrel: %s: not a readable report of vistrel check%s%s\n", in.c_str(),
                 error.empty() ? "" : ": ", error.c_str());
    return 2;
  }
  const JsonValue& s = old["settings"];
  if (old["stopped"].b || old["aborted"].b) {
    std::fprintf(stderr, "vistrel: %s: the check did not finish; its results cannot be re-classified\n", in.c_str());
    return 2;
  }
  const int calcType = static_cast<int>(s["calc_type"].n);
  const double searched = calcType == 2 ? s["distance"].n : s["tolerance"].n;
  if (tolerance > searched) {
    std::fprintf(stderr,
                 "vistrel report: --tolerance %g is larger than the %g the check searched with: "
                 "pairs beyond that were never measured; run the check again\n",
                 tolerance, searched);
    return 2;
  }
  return kGoOn;
}

// The old report's results as a check at `tolerance` would have given them.
CheckReport Reclassify(const JsonValue& old, double tolerance) {
  const JsonValue& s = old["settings"];
  const int calcType = static_cast<int>(s["calc_type"].n);
  CheckReport report;
  report.file = old["file"].s;
  report.instances = static_cast<int>(old["instances"].n);
  report.triangles = static_cast<long long>(old["triangles"].n);
  report.pairsTotal = static_cast<long long>(old["pairs_total"].n);
  report.pairsTested = static_cast<long long>(old["pairs_tested"].n);
  report.seconds = 0;
  report.calcType = calcType;
  report.twoGroup = s["two_group"].b;
  report.options.tolerance = tolerance;
  report.options.distance = calcType == 2 ? s["distance"].n : -1.0;
  report.options.cutFaces = s["cut_faces"].b;
  report.options.interferenceOnly = calcType == 0 && s["cut_faces"].b;
  report.options.group2 = Strings(s["group2"]);
  report.options.ignore = Strings(s["ignore"]);
  report.options.hidden = Strings(s["hidden"]);
  const double typeTol = tolerance + 0.001;
  for (const JsonValue& v : old["results"].items) {
    CheckResultRow r = RowFromJson(v);
    const double d = r.minDistance;
    if (calcType != 2 && !(d < typeTol)) continue;  // not found by a search at T
    if (report.options.interferenceOnly && r.hasVolume && typeTol > r.volume) continue;
    r.type = 0.001 > d ? 0 : (typeTol > d ? 1 : 2);
    if (r.type != 0) r.kind = r.type == 1 ? "clearance" : "near";
    r.id = static_cast<int>(report.results.size()) + 1;
    report.results.push_back(std::move(r));
  }
  return report;
}

}  // namespace

int RunReport(const std::vector<std::string>& args) {
  ReportArgs a;
  if (const int exitNow = ParseReportArgs(args, a); exitNow != kGoOn) return exitNow;
  JsonValue old;
  if (const int exitNow = ReadOldReport(a.in, a.tolerance, old); exitNow != kGoOn) return exitNow;
  const CheckReport report = Reclassify(old, a.tolerance);

  report.PrintTable(stdout);
  std::printf("re-classified from %s for tolerance %g (no check run)\n", a.in.c_str(), a.tolerance);
  std::string error;
  if (!a.json.empty() && !report.WriteJson(a.json, error)) {
    std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    return 2;
  }
  if (!a.csv.empty() && !WriteCsvReport(report, a.csv, error)) {
    std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    return 2;
  }
  if (!a.html.empty()) {
    if ((::mkdir(a.html.c_str(), 0755) != 0 && errno != EEXIST) ||
        !WriteHtmlReport(report, a.html, UtcNow(), error, false)) {
      std::fprintf(stderr, "vistrel: %s\n",
                   error.empty() ? (a.html + ": cannot make the directory").c_str() : error.c_str());
      return 2;
    }
  }
  return report.results.empty() ? 0 : 1;
}
