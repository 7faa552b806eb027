#include "tools/Grouping.h"

#include <algorithm>
#include <map>

namespace {

std::string Label(const std::string& name, const std::string& path) { return name + " [" + path + "]"; }

}  // namespace

bool GroupResults(CheckReport& report, const std::string& mode) {
  report.groups.clear();
  report.groupBy.clear();
  for (CheckResultRow& r : report.results) r.group = -1;
  if (mode.empty() || mode == "none") return true;
  if (mode != "instance" && mode != "pair") return false;
  report.groupBy = mode;
  std::vector<CheckResultRow>& rows = report.results;
  if (mode == "pair") {
    std::map<std::string, std::vector<std::size_t>> byPair;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      std::string a = Label(rows[i].name1, rows[i].path1), b = Label(rows[i].name2, rows[i].path2);
      if (b < a) std::swap(a, b);
      byPair[a + " x " + b].push_back(i);
    }
    for (auto& e : byPair) report.groups.push_back({e.first, e.second});
  } else {
    std::vector<bool> done(rows.size(), false);
    std::size_t left = rows.size();
    while (left > 0) {
      // Ungrouped results per instance (placement path -> label, members).
      std::map<std::string, std::pair<std::string, std::vector<std::size_t>>> byInstance;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        if (done[i]) continue;
        auto& a = byInstance[rows[i].path1];
        a.first = Label(rows[i].name1, rows[i].path1);
        a.second.push_back(i);
        if (rows[i].path2 == rows[i].path1) continue;
        auto& b = byInstance[rows[i].path2];
        b.first = Label(rows[i].name2, rows[i].path2);
        b.second.push_back(i);
      }
      auto best = byInstance.begin();
      for (auto it = byInstance.begin(); it != byInstance.end(); ++it) {
        if (it->second.second.size() > best->second.second.size()) best = it;
      }
      for (std::size_t i : best->second.second) done[i] = true;
      left -= best->second.second.size();
      report.groups.push_back({best->second.first, best->second.second});
    }
  }
  std::stable_sort(report.groups.begin(), report.groups.end(),
                   [](const ResultGroup& a, const ResultGroup& b) { return a.members.size() > b.members.size(); });
  for (std::size_t g = 0; g < report.groups.size(); ++g) {
    for (std::size_t i : report.groups[g].members) rows[i].group = static_cast<int>(g);
  }
  return true;
}

void PrintGroups(const CheckReport& report, std::FILE* out) {
  if (report.groupBy.empty()) return;
  std::fprintf(out, "groups by %s: %zu\n", report.groupBy.c_str(), report.groups.size());
  for (const ResultGroup& g : report.groups) {
    std::string ids;
    for (std::size_t i : g.members) ids += (ids.empty() ? "#" : ", #") + std::to_string(report.results[i].id);
    std::fprintf(out, "  %s: %zu result%s (%s)\n", g.label.c_str(), g.members.size(), g.members.size() == 1 ? "" : "s",
                 ids.c_str());
  }
}
