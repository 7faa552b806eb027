#include "tools/CheckReport.h"

#include <Inventor/SbViewportRegion.h>
#include <Inventor/SbXfBox3f.h>
#include <Inventor/SoFullPath.h>
#include <Inventor/actions/SoGetBoundingBoxAction.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <cmath>
#include <fstream>
#include <utility>

#include "collision/CCollisionManager.h"
#include "graphops/CGraphOperation.h"
#include "host/SoKRN_ComponentKit.h"
#include "platform/Platform.h"
#include "tools/Baseline.h"
#include "tools/Grouping.h"
#include "tools/JsonWriter.h"
#include "tools/SafeOutput.h"

namespace {

std::string plcPath(const SoPath* p) {
  std::string s;
  CGraphOperation::GetNodePlcPath(p, s, true);
  return s;
}

SbBox3f BoxOf(SoPath* path) {
  SoGetBoundingBoxAction action{SbViewportRegion()};
  if (path) action.apply(path);
  return action.getBoundingBox();
}

double dist(const _vtx& a, const _vtx& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

}  // namespace

std::string InstanceNamePath(const SoPath* path) {
  std::string out;
  if (!path) return out;
  const auto* full = static_cast<const SoFullPath*>(path);
  for (int i = 0; i < full->getLength(); ++i) {
    SoNode* node = full->getNode(i);
    if (!node->isOfType(SoKRN_ComponentKit::getClassTypeId())) continue;
    auto* kit = static_cast<SoKRN_ComponentKit*>(node);
    if (!kit->isInstance()) continue;
    std::wstring name;
    kit->getKRNName(name);
    if (!out.empty()) out += '/';
    out += vx::platform::WideToNarrow(name);
  }
  return out;
}

const char* ResultKind(const _collisionResult& r) {
  if (r.nType == 0) return r.Penetrates() ? "interference" : "contact";
  return r.nType == 1 ? "clearance" : "near";
}

void CheckReport::Collect(CCollisionManager& manager) {
  results.clear();
  inProgress1 = manager.m_pStoppedPath1 ? plcPath(manager.m_pStoppedPath1) : std::string();
  inProgress2 = manager.m_pStoppedPath2 ? plcPath(manager.m_pStoppedPath2) : std::string();
  const bool cutFaces = manager.m_bCalcCrossMesh != 0;
  for (int i = 0; i < manager.GetResultCount(); ++i) {
    const _collisionResult& r = manager.Results()[static_cast<std::size_t>(i)];
    CheckResultRow row;
    row.id = r.nID;
    row.type = r.nType;
    // Without cut faces there is no volume; with them a volume that cannot be
    // computed soundly (an open surface) is absent with its reason.
    row.hasVolume = cutFaces && std::isfinite(r.fCompacity);
    row.volume = row.hasVolume ? std::fabs(static_cast<double>(r.fCompacity)) : 0.0;
    row.penetrationDepth = row.hasVolume ? r.penetrationDepth : -1;
    if (cutFaces && !row.hasVolume) row.volumeNote = r.volumeNote.empty() ? "not computed" : r.volumeNote;
    // The kind comes from how the triangles met, with or without cut faces.
    row.kind = ResultKind(r);
    row.path1 = plcPath(r.pPath1);
    row.path2 = plcPath(r.pPath2);
    row.name1 = InstanceNamePath(r.pPath1);
    row.name2 = InstanceNamePath(r.pPath2);
    row.minDistance = r.fMinDist;
    row.cutPoints = r.cutLinePnts;
    for (const auto& seg : r.cutLines) {
      if (seg.size() != 2) continue;
      row.cutSegments.emplace_back(seg[0], seg[1]);
      row.cutLineLength +=
          dist(r.cutLinePnts[static_cast<std::size_t>(seg[0])], r.cutLinePnts[static_cast<std::size_t>(seg[1])]);
    }
    row.facePoints = r.cutFacePnts;
    row.faceTriangles.assign(r.cutFaceTris.begin(), r.cutFaceTris.end());
    SbVec3f lo, hi;
    manager.GetResultBoundingBox(i).getBounds(lo, hi);
    if (lo == hi && lo == SbVec3f(0, 0, 0)) {
      // No cut points (a clearance, or a touch in one point): where the
      // two instances' boxes meet.
      SbBox3f a = BoxOf(r.pPath1), b = BoxOf(r.pPath2);
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::max(a.getMin()[k], b.getMin()[k]);
        hi[k] = std::min(a.getMax()[k], b.getMax()[k]);
      }
    }
    for (int k = 0; k < 3; ++k) {
      row.box[k] = lo[k];
      row.box[3 + k] = hi[k];
    }
    results.push_back(std::move(row));
  }
}

void CheckReport::PrintTable(std::FILE* out) const {
  std::fprintf(out, "assembly: %s\n", file.c_str());
  if (results.empty()) {
    std::fprintf(out, "no interferences found\n");
  } else {
    std::fprintf(out, "%4s  %-12s  %10s  %10s  %10s  %s\n", "#", "kind", "min.dist", "cut line", "volume", "instances");
    bool footnote = false;
    for (const CheckResultRow& r : results) {
      char volume[32] = "-";
      if (r.hasVolume) std::snprintf(volume, sizeof volume, "%.4g", r.volume);
      if (!r.volumeNote.empty()) {
        std::snprintf(volume, sizeof volume, "-*");
        footnote = true;
      }
      std::fprintf(out, "%4d  %-12s  %10.4g  %10.4g  %10s  %s [%s]\n", r.id, r.kind.c_str(), r.minDistance,
                   r.cutLineLength, volume, r.name1.c_str(), r.path1.c_str());
      std::fprintf(out, "%4s  %-12s  %10s  %10s  %10s  %s [%s]\n", "", "", "", "", "", r.name2.c_str(),
                   r.path2.c_str());
      std::fprintf(out, "%4s  box (%.4g %.4g %.4g)-(%.4g %.4g %.4g)\n", "", r.box[0], r.box[1], r.box[2], r.box[3],
                   r.box[4], r.box[5]);
      if (r.penetrationDepth > 0) std::fprintf(out, "%4s  penetration depth >= %.4g\n", "", r.penetrationDepth);
      if (!r.volumeNote.empty()) std::fprintf(out, "%4s  * no volume: %s\n", "", r.volumeNote.c_str());
      if (!r.status.empty()) std::fprintf(out, "%4s  status: %s\n", "", r.status.c_str());
    }
    if (footnote) std::fprintf(out, "(-* volume unknown, reason given under the result)\n");
  }
  int byKind[4] = {0, 0, 0, 0};
  for (const CheckResultRow& r : results) {
    byKind[r.kind == "interference" ? 0 : r.kind == "contact" ? 1 : r.kind == "clearance" ? 2 : 3] += 1;
  }
  std::fprintf(out,
               "instances: %d  triangles: %lld  pairs tested: %lld of %lld\n"
               "results: %zu (interference %d, contact %d, clearance %d, near %d)  time: %.3f s%s%s\n",
               instances, triangles, pairsTested, pairsTotal, results.size(), byKind[0], byKind[1], byKind[2],
               byKind[3], seconds, stopped ? "  [stopped by user: partial results]" : "", aborted ? "  [aborted]" : "");
  if (baseline.used) PrintBaseline(*this, out);
  PrintGroups(*this, out);
  if ((stopped || aborted) && !inProgress1.empty()) {
    std::fprintf(out, "unfinished pair (not listed): %s and %s\n", inProgress1.c_str(), inProgress2.c_str());
  }
}

namespace {

// A number, or null when it is not known.
void NumberOrNull(JsonWriter& w, bool known, double value) {
  if (known) {
    w.Number(value);
  } else {
    w.Null();
  }
}

// Points as [x, y, z] arrays.
void WritePoints(JsonWriter& w, const std::vector<_vtx>& points) {
  w.BeginArray();
  for (const _vtx& p : points) {
    w.BeginArray(), w.Number(p.x), w.Number(p.y), w.Number(p.z), w.EndArray();
  }
  w.EndArray();
}

// The "settings" object: what the run was asked to do.
void WriteSettingsJson(JsonWriter& w, const CheckReport& report) {
  const CheckOptions& options = report.options;
  w.Key("settings");
  w.BeginObject();
  w.Key("tolerance"), w.Number(options.tolerance);
  w.Key("distance");
  NumberOrNull(w, options.distance >= 0, options.distance);
  w.Key("calc_type"), w.Int(report.calcType);
  w.Key("cut_faces"), w.Bool(options.cutFaces || options.interferenceOnly);
  w.Key("two_group"), w.Bool(report.twoGroup);
  for (const auto& globs : {std::make_pair("group2", &options.group2), std::make_pair("ignore", &options.ignore),
                            std::make_pair("hidden", &options.hidden)}) {
    w.Key(globs.first);
    w.BeginArray();
    for (const std::string& g : *globs.second) w.String(g);
    w.EndArray();
  }
  w.EndObject();
}

// The "groups" object: how results were grouped and each group's result ids.
void WriteGroupsJson(JsonWriter& w, const CheckReport& report) {
  w.Key("groups");
  w.BeginObject();
  w.Key("by"), w.String(report.groupBy);
  w.Key("list");
  w.BeginArray();
  for (const ResultGroup& g : report.groups) {
    w.BeginObject();
    w.Key("label"), w.String(g.label);
    w.Key("results");
    w.BeginArray();
    for (std::size_t i : g.members) w.Int(report.results[i].id);
    w.EndArray();
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
}

// One result: its kind and instances, figures, box, cut line and cut face.
void WriteResultJson(JsonWriter& w, const CheckReport& report, const CheckResultRow& r) {
  w.BeginObject();
  w.Key("id"), w.Int(r.id);
  w.Key("type"), w.Int(r.type);
  w.Key("kind"), w.String(r.kind);
  w.Key("fingerprint"), w.String(Fingerprint(r));
  if (!r.status.empty()) w.Key("status"), w.String(r.status);
  if (r.group >= 0) w.Key("group"), w.String(report.groups[static_cast<std::size_t>(r.group)].label);
  w.Key("path1"), w.String(r.path1);
  w.Key("path2"), w.String(r.path2);
  w.Key("name1"), w.String(r.name1);
  w.Key("name2"), w.String(r.name2);
  w.Key("min_distance"), w.Number(r.minDistance);
  w.Key("volume");
  NumberOrNull(w, r.hasVolume, r.volume);
  if (!r.volumeNote.empty()) w.Key("volume_note"), w.String(r.volumeNote);
  w.Key("penetration_depth");
  NumberOrNull(w, r.penetrationDepth >= 0, r.penetrationDepth);
  w.Key("box");
  w.BeginArray();
  for (float v : r.box) w.Number(v);
  w.EndArray();
  w.Key("cut_line");
  w.BeginObject();
  w.Key("points");
  WritePoints(w, r.cutPoints);
  w.Key("segments");
  w.BeginArray();
  for (const auto& s : r.cutSegments) {
    w.BeginArray(), w.Int(s.first), w.Int(s.second), w.EndArray();
  }
  w.EndArray();
  w.EndObject();
  w.Key("cut_face");
  w.BeginObject();
  w.Key("points");
  WritePoints(w, r.facePoints);
  w.Key("triangles");
  w.BeginArray();
  for (std::size_t i = 0; i + 2 < r.faceTriangles.size(); i += 3) {
    w.BeginArray(), w.Int(r.faceTriangles[i]), w.Int(r.faceTriangles[i + 1]), w.Int(r.faceTriangles[i + 2]);
    w.EndArray();
  }
  w.EndArray();
  w.EndObject();
  w.EndObject();
}

}  // namespace

std::string CheckReport::Json() const {
  JsonWriter w;
  w.BeginObject();
  w.Key("file"), w.String(file);
  w.Key("instances"), w.Int(instances);
  w.Key("triangles"), w.Int(triangles);
  w.Key("pairs_total"), w.Int(pairsTotal);
  w.Key("pairs_tested"), w.Int(pairsTested);
  w.Key("seconds"), w.Number(seconds);
  w.Key("stopped"), w.Bool(stopped);
  w.Key("aborted"), w.Bool(aborted);
  w.Key("unfinished_pair");
  if (inProgress1.empty()) {
    w.Null();
  } else {
    w.BeginArray();
    w.String(inProgress1);
    w.String(inProgress2);
    w.EndArray();
  }
  WriteSettingsJson(w, *this);
  if (baseline.used) WriteBaselineJson(baseline, w);
  if (!groupBy.empty()) WriteGroupsJson(w, *this);
  w.Key("results");
  w.BeginArray();
  for (const CheckResultRow& r : results) WriteResultJson(w, *this, r);
  w.EndArray();
  w.EndObject();
  return w.Text();
}

bool CheckReport::WriteJson(const std::string& path, std::string& error) const {
  const std::string text = Json() + '\n';
  std::string why;
  if (!safeoutput::WriteFile(
          path,
          [&text](std::FILE* file, std::string& message) {
            const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
            if (!ok) message = std::strerror(errno);
            return ok;
          },
          why)) {
    error = why + " (the JSON report)";
    return false;
  }
  return true;
}
