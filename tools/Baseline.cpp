#include "tools/Baseline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <tuple>

#include "tools/JsonRead.h"
#include "tools/JsonWriter.h"

namespace {

// Both instances in a fixed order, so that a swapped pair is the same pair.
std::string PairKey(const CheckResultRow& r) {
  std::string a = r.name1 + "[" + r.path1 + "]", b = r.name2 + "[" + r.path2 + "]";
  if (b < a) std::swap(a, b);
  return a + " x " + b;
}

double BoxSize(const CheckResultRow& r) {
  return std::max({r.box[3] - r.box[0], r.box[4] - r.box[1], r.box[5] - r.box[2], 0.0f});
}

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4g", v + 0.0);
  return buf;
}

std::string Text(const JsonValue& v) { return v.kind == JsonValue::String ? v.s : std::string(); }

std::string SettingText(const JsonValue& v) {
  switch (v.kind) {
    case JsonValue::Null:
      return "none";
    case JsonValue::Bool:
      return v.b ? "on" : "off";
    case JsonValue::Number:
      return Num(v.n);
    case JsonValue::String:
      return v.s;
    case JsonValue::Array: {
      std::string s;
      for (const JsonValue& i : v.items) s += (s.empty() ? "" : " ") + SettingText(i);
      return "[" + s + "]";
    }
    default:
      return "?";
  }
}

}  // namespace

void ResultCentre(const CheckResultRow& r, double c[3]) {
  if (!r.cutPoints.empty()) {
    c[0] = c[1] = c[2] = 0;
    for (const _vtx& p : r.cutPoints) c[0] += p.x, c[1] += p.y, c[2] += p.z;
    for (int k = 0; k < 3; ++k) c[k] /= static_cast<double>(r.cutPoints.size());
    return;
  }
  for (int k = 0; k < 3; ++k) c[k] = 0.5 * (static_cast<double>(r.box[k]) + r.box[3 + k]);
}

std::string Fingerprint(const CheckResultRow& r) {
  double c[3];
  ResultCentre(r, c);
  return PairKey(r) + " @ (" + Num(c[0]) + " " + Num(c[1]) + " " + Num(c[2]) + ")";
}

CheckResultRow RowFromJson(const JsonValue& v) {
  CheckResultRow r;
  r.id = static_cast<int>(v["id"].n);
  r.type = static_cast<int>(v["type"].n);
  r.kind = Text(v["kind"]);
  r.name1 = Text(v["name1"]), r.name2 = Text(v["name2"]);
  r.path1 = Text(v["path1"]), r.path2 = Text(v["path2"]);
  r.minDistance = v["min_distance"].n;
  r.hasVolume = v["volume"].kind == JsonValue::Number;
  r.volume = v["volume"].n;
  r.volumeNote = Text(v["volume_note"]);
  const JsonValue& box = v["box"];
  for (std::size_t k = 0; k < 6 && k < box.items.size(); ++k) r.box[k] = static_cast<float>(box.items[k].n);
  for (const JsonValue& p : v["cut_line"]["points"].items) {
    if (p.items.size() != 3) continue;
    _vtx q;
    q.x = static_cast<float>(p.items[0].n), q.y = static_cast<float>(p.items[1].n),
    q.z = static_cast<float>(p.items[2].n);
    r.cutPoints.push_back(q);
  }
  for (const JsonValue& sgm : v["cut_line"]["segments"].items) {
    if (sgm.items.size() != 2) continue;
    const int a = static_cast<int>(sgm.items[0].n), b = static_cast<int>(sgm.items[1].n);
    if (a < 0 || b < 0 || static_cast<std::size_t>(a) >= r.cutPoints.size() ||
        static_cast<std::size_t>(b) >= r.cutPoints.size()) {
      continue;
    }
    r.cutSegments.emplace_back(a, b);
    const _vtx& p = r.cutPoints[static_cast<std::size_t>(a)];
    const _vtx& q = r.cutPoints[static_cast<std::size_t>(b)];
    r.cutLineLength += std::sqrt((p.x - q.x) * (p.x - q.x) + (p.y - q.y) * (p.y - q.y) + (p.z - q.z) * (p.z - q.z));
  }
  for (const JsonValue& p : v["cut_face"]["points"].items) {
    if (p.items.size() != 3) continue;
    _vtx q;
    q.x = static_cast<float>(p.items[0].n), q.y = static_cast<float>(p.items[1].n),
    q.z = static_cast<float>(p.items[2].n);
    r.facePoints.push_back(q);
  }
  for (const JsonValue& t : v["cut_face"]["triangles"].items) {
    if (t.items.size() != 3) continue;
    for (const JsonValue& k : t.items) r.faceTriangles.push_back(static_cast<int>(k.n));
  }
  return r;
}

bool ApplyBaseline(CheckReport& report, const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the baseline";
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  JsonValue old;
  std::string why;
  if (!ReadJson(ss.str(), old, why)) {
    error = path + ": not a JSON report (" + why + ")";
    return false;
  }
  if (old.kind != JsonValue::Object || old["results"].kind != JsonValue::Array ||
      old["settings"].kind != JsonValue::Object) {
    error = path + ": not a report of vistrel check (no results or settings)";
    return false;
  }
  BaselineComparison& b = report.baseline;
  b = BaselineComparison();
  b.used = true;
  b.file = path;
  if (Text(old["file"]) != report.file)
    b.differences.push_back("file: " + Text(old["file"]) + " then, " + report.file + " now");
  // The settings as this run would write them, compared one by one.
  JsonValue now;
  ReadJson(report.Json(), now, why);
  for (const auto& entry : now["settings"].fields) {
    const JsonValue& then = old["settings"][entry.first];
    const std::string a = SettingText(then), c = SettingText(entry.second);
    if (old["settings"].fields.count(entry.first) == 0) {
      b.differences.push_back(entry.first + ": not recorded in the baseline");
    } else if (a != c) {
      b.differences.push_back(entry.first + ": " + a + " then, " + c + " now");
    }
  }
  if (old["stopped"].b || old["aborted"].b) b.differences.push_back("the baseline run did not finish");
  if (report.stopped || report.aborted) b.differences.push_back("this run did not finish");

  std::vector<CheckResultRow> before;
  for (const JsonValue& v : old["results"].items) before.push_back(RowFromJson(v));
  // Candidate matches, nearest first; each side used once.
  std::vector<std::tuple<double, std::size_t, std::size_t>> candidates;
  for (std::size_t i = 0; i < report.results.size(); ++i) {
    const CheckResultRow& r = report.results[i];
    double c[3];
    ResultCentre(r, c);
    for (std::size_t j = 0; j < before.size(); ++j) {
      if (PairKey(before[j]) != PairKey(r)) continue;
      double d[3];
      ResultCentre(before[j], d);
      const double dist =
          std::sqrt((c[0] - d[0]) * (c[0] - d[0]) + (c[1] - d[1]) * (c[1] - d[1]) + (c[2] - d[2]) * (c[2] - d[2]));
      const double scale = std::max({std::fabs(c[0]), std::fabs(c[1]), std::fabs(c[2]), 1.0});
      if (dist <= 0.25 * std::max(BoxSize(r), BoxSize(before[j])) + 1e-6 * scale) candidates.emplace_back(dist, i, j);
    }
  }
  std::sort(candidates.begin(), candidates.end());
  std::vector<bool> taken(before.size(), false);
  for (CheckResultRow& r : report.results) r.status = "new";
  std::vector<bool> matched(report.results.size(), false);
  for (const auto& c : candidates) {
    const std::size_t i = std::get<1>(c), j = std::get<2>(c);
    if (matched[i] || taken[j]) continue;
    matched[i] = taken[j] = true;
    report.results[i].status = "active";
  }
  for (std::size_t j = 0; j < before.size(); ++j) {
    if (!taken[j]) {
      before[j].status = "resolved";
      b.resolved.push_back(before[j]);
    }
  }
  return true;
}

void WriteBaselineJson(const BaselineComparison& b, JsonWriter& w) {
  w.Key("baseline");
  w.BeginObject();
  w.Key("file"), w.String(b.file);
  w.Key("partial"), w.Bool(!b.differences.empty());
  w.Key("differences");
  w.BeginArray();
  for (const std::string& d : b.differences) w.String(d);
  w.EndArray();
  w.Key("resolved");
  w.BeginArray();
  for (const CheckResultRow& r : b.resolved) {
    w.BeginObject();
    w.Key("id"), w.Int(r.id);
    w.Key("kind"), w.String(r.kind);
    w.Key("fingerprint"), w.String(Fingerprint(r));
    w.Key("name1"), w.String(r.name1);
    w.Key("path1"), w.String(r.path1);
    w.Key("name2"), w.String(r.name2);
    w.Key("path2"), w.String(r.path2);
    w.Key("box");
    w.BeginArray();
    for (float v : r.box) w.Number(v);
    w.EndArray();
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
}

void PrintBaseline(const CheckReport& report, std::FILE* out) {
  const BaselineComparison& b = report.baseline;
  int fresh = 0, active = 0;
  for (const CheckResultRow& r : report.results) (r.status == "new" ? fresh : active) += 1;
  std::fprintf(out, "against %s: new %d, active %d, resolved %zu%s\n", b.file.c_str(), fresh, active, b.resolved.size(),
               b.differences.empty() ? "" : "  [partial comparison]");
  for (const std::string& d : b.differences) std::fprintf(out, "  differs: %s\n", d.c_str());
  for (const CheckResultRow& r : b.resolved) {
    std::fprintf(out, "  resolved: %s (baseline #%d, %s)\n", Fingerprint(r).c_str(), r.id, r.kind.c_str());
  }
}
