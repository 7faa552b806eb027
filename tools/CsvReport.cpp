#include "tools/CsvReport.h"

#include <cstdio>
#include <fstream>

#include "tools/CheckReport.h"

namespace {

std::string Field(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string Num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

}  // namespace

std::string CsvText(const CheckReport& report) {
  std::string t =
      "id,status,group,kind,name1,path1,name2,path2,min_distance,volume,volume_note,cut_line_length,"
      "box_min_x,box_min_y,box_min_z,box_max_x,box_max_y,box_max_z\r\n";
  for (const CheckResultRow& r : report.results) {
    t += std::to_string(r.id) + ',' + Field(r.status) + ',' +
         Field(r.group >= 0 ? report.groups[static_cast<std::size_t>(r.group)].label : std::string()) + ',' +
         Field(r.kind) + ',' + Field(r.name1) + ',' + Field(r.path1) + ',' + Field(r.name2) + ',' + Field(r.path2) +
         ',' + Num(r.minDistance) + ',' + (r.hasVolume ? Num(r.volume) : std::string()) + ',' + Field(r.volumeNote) +
         ',' + Num(r.cutLineLength);
    for (float b : r.box) t += ',' + Num(b);
    t += "\r\n";
  }
  return t;
}

bool WriteCsvReport(const CheckReport& report, const std::string& path, std::string& error) {
  const std::string tmp = path + ".part";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << CsvText(report);
    out.close();
    if (!out) {
      std::remove(tmp.c_str());
      error = path + ": cannot write the CSV report";
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    error = path + ": cannot write the CSV report";
    return false;
  }
  return true;
}
