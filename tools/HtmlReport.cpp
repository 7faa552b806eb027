// The report as one HTML page. The table is plain HTML, so it reads without
// scripts; the small inline script only adds sorting (click a column head,
// again to reverse; "#sort=KEY" or "#sort=-KEY" in the address opens the page
// sorted) and a notice when pictures are missing beside the page. Sort keys
// sit in data- attributes as plain numbers and text, so the shown text may
// be formatted freely.
#include "tools/HtmlReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "tools/CheckReport.h"
#include "tools/MarkupText.h"
#include "tools/PngImage.h"

namespace {

std::string Num(double v, const char* format = "%.4g") {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

int KindRank(const std::string& kind) {
  return kind == "interference" ? 0 : kind == "contact" ? 1 : kind == "clearance" ? 2 : 3;
}

std::string PictureName(const char* stem, std::size_t index) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s_%03zu.png", stem, index + 1);
  return buf;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Averages `factor` x `factor` blocks (a box filter: enough for a thumbnail
// of a rendered picture, which has no fine periodic detail to alias).
PngImage Shrink(const PngImage& in, int factor) {
  const int w = in.width() / factor, h = in.height() / factor;
  PngImage out(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned sum[4] = {0, 0, 0, 0};
      for (int dy = 0; dy < factor; ++dy) {
        for (int dx = 0; dx < factor; ++dx) {
          const PngImage::Rgba p = in.pixel(x * factor + dx, y * factor + dy);
          sum[0] += p.r, sum[1] += p.g, sum[2] += p.b, sum[3] += p.a;
        }
      }
      const unsigned n = static_cast<unsigned>(factor * factor);
      out.setPixel(x, y,
                   PngImage::Rgba{static_cast<std::uint8_t>(sum[0] / n), static_cast<std::uint8_t>(sum[1] / n),
                                  static_cast<std::uint8_t>(sum[2] / n), static_cast<std::uint8_t>(sum[3] / n)});
    }
  }
  return out;
}

std::string Settings(const CheckReport& report) {
  const CheckOptions& o = report.options;
  std::string s = "tolerance " + Num(o.tolerance);
  if (o.distance >= 0) s += ", distance " + Num(o.distance);
  if (o.interferenceOnly)
    s += ", interference only (cut faces)";
  else if (o.cutFaces)
    s += ", cut faces";
  for (const std::string& g : o.group2) s += ", group 2: " + g;
  for (const std::string& g : o.ignore) s += ", ignored: " + g;
  for (const std::string& g : o.hidden) s += ", hidden: " + g;
  if (o.clip) s += ", clip plane shown";
  return s;
}

const char kStyle[] =
    "body{font-family:sans-serif;margin:1em;color:#222}"
    "table{border-collapse:collapse;font-size:13px}"
    "th,td{border:1px solid #ccc;padding:3px 6px;vertical-align:top;text-align:left}"
    "th[data-key]{cursor:pointer;background:#eef}th[data-key]:hover{background:#dde}"
    "td.num{text-align:right;white-space:nowrap}"
    ".k0{color:#b00;font-weight:bold}.k1{color:#c60}.k2{color:#990}.k3{color:#666}"
    ".path{color:#777;font-size:11px}.first{color:#c00}.second{color:#090}"
    "img.thumb{width:256px;display:block}#missing{color:#b00;font-weight:bold}"
    ".warn{color:#b00;font-weight:bold}";

const char kScript[] =
    "(function(){\n"
    "var body=document.getElementById('rows');\n"
    "var state={key:null,down:false};\n"
    "function value(row,key){var v=row.getAttribute('data-'+key);\n"
    "  return key==='name'||key==='status'?v:parseFloat(v);}\n"
    "function sortBy(key,down){\n"
    "  var rows=Array.prototype.slice.call(body.rows);\n"
    "  rows.sort(function(a,b){var x=value(a,key),y=value(b,key);\n"
    "    var c=x<y?-1:x>y?1:0;if(down)c=-c;\n"
    "    return c!==0?c:parseInt(a.getAttribute('data-index'))-parseInt(b.getAttribute('data-index'));});\n"
    "  rows.forEach(function(r){body.appendChild(r);});\n"
    "  state.key=key;state.down=down;document.body.setAttribute('data-sorted',(down?'-':'')+key);}\n"
    "Array.prototype.forEach.call(document.querySelectorAll('th[data-key]'),function(th){\n"
    "  th.addEventListener('click',function(){var k=th.getAttribute('data-key');\n"
    "    sortBy(k,state.key===k?!state.down:false);});});\n"
    "var m=/sort=(-?)(kind|distance|volume|name|status|group)/.exec(location.hash);\n"
    "if(m)sortBy(m[2],m[1]==='-');\n"
    "window.addEventListener('load',function(){\n"
    "  var missing=0;Array.prototype.forEach.call(document.images,function(i){\n"
    "    if(!i.complete||i.naturalWidth===0)missing++;});\n"
    "  document.body.setAttribute('data-missing',String(missing));\n"
    "  if(missing>0){var p=document.getElementById('missing');\n"
    "    p.textContent=missing+' picture(s) missing: keep the PNG files beside index.html.';}});\n"
    "})();\n";

bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
  std::string tmp = path + ".tmpXXXXXX";
  const int fd = ::mkstemp(&tmp[0]);
  if (fd < 0) {
    error = path + ": cannot write the HTML report";
    return false;
  }
  ::fchmod(fd, 0644);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool ok = done == text.size() && ::close(fd) == 0;
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    error = path + ": writing the HTML report failed";
    return false;
  }
  return true;
}

}  // namespace

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M UTC", &tm);
  return buf;
}

namespace {

// Thumbnails of the result pictures in `dir` (the page only names those
// that exist): which results have one; false with `error` when a picture
// cannot be read or its thumbnail written.
bool WriteThumbnails(const CheckReport& report, const std::string& dir, bool pictures, std::vector<bool>& havePicture,
                     std::string& error) {
  havePicture.assign(report.results.size(), false);
  for (std::size_t i = 0; pictures && i < report.results.size(); ++i) {
    const std::string full = dir + "/" + PictureName("result", i);
    if (!FileExists(full)) continue;
    PngImage picture;
    if (!picture.readFile(full, error)) return false;
    if (!Shrink(picture, 4).writeFile(dir + "/" + PictureName("thumb", i), error)) return false;
    havePicture[i] = true;
  }
  return true;
}

// The page's head: file, settings, counts, a partial run's warning, the
// baseline comparison and the groups.
std::string HeadHtml(const CheckReport& report, const std::string& generated) {
  int byKind[4] = {0, 0, 0, 0};
  for (const CheckResultRow& r : report.results) ++byKind[KindRank(r.kind)];

  std::string h;
  h += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Clash report: ";
  h += EscapeMarkup(report.file) + "</title>\n<style>" + kStyle + "</style></head>\n<body>\n";
  h += "<h1>Clash report</h1>\n<table class=\"head\">\n";
  h += "<tr><th>File</th><td>" + EscapeMarkup(report.file) + "</td></tr>\n";
  h += "<tr><th>Settings</th><td>" + EscapeMarkup(Settings(report)) + "</td></tr>\n";
  h += "<tr><th>Generated</th><td>" + EscapeMarkup(generated) + "</td></tr>\n";
  h += "<tr><th>Checked</th><td>" + std::to_string(report.instances) + " instances, " +
       std::to_string(report.triangles) + " triangles, " + std::to_string(report.pairsTested) + " of " +
       std::to_string(report.pairsTotal) + " pairs, " + Num(report.seconds, "%.3f") + " s</td></tr>\n";
  h += "<tr><th>Results</th><td id=\"counts\">" + std::to_string(report.results.size()) +
       ": <span class=\"k0\">interference " + std::to_string(byKind[0]) + "</span>, <span class=\"k1\">contact " +
       std::to_string(byKind[1]) + "</span>, <span class=\"k2\">clearance " + std::to_string(byKind[2]) +
       "</span>, <span class=\"k3\">near " + std::to_string(byKind[3]) + "</span></td></tr>\n";
  h += "</table>\n";
  if (report.stopped || report.aborted) {
    h += "<p class=\"warn\">The check was " + std::string(report.stopped ? "stopped" : "aborted") +
         " before its end: the results are partial.</p>\n";
  }
  if (report.baseline.used) {
    const BaselineComparison& b = report.baseline;
    int fresh = 0;
    for (const CheckResultRow& r : report.results) fresh += r.status == "new" ? 1 : 0;
    h += "<p id=\"baseline\">Compared with " + EscapeMarkup(b.file) + ": new " + std::to_string(fresh) + ", active " +
         std::to_string(static_cast<int>(report.results.size()) - fresh) + ", resolved " +
         std::to_string(b.resolved.size()) + "</p>\n";
    if (!b.differences.empty()) {
      h += "<p class=\"warn\">Partial comparison:</p><ul>";
      for (const std::string& d : b.differences) h += "<li>" + EscapeMarkup(d) + "</li>";
      h += "</ul>\n";
    }
  }
  if (!report.groupBy.empty()) {
    h += "<h2>Groups by " + EscapeMarkup(report.groupBy) + "</h2>\n<ul id=\"groups\">";
    for (const ResultGroup& g : report.groups) {
      h += "<li>" + EscapeMarkup(g.label) + ": " + std::to_string(g.members.size()) + " result" +
           (g.members.size() == 1 ? "" : "s") + " (";
      for (std::size_t k = 0; k < g.members.size(); ++k) {
        h += (k ? ", #" : "#") + std::to_string(report.results[g.members[k]].id);
      }
      h += ")</li>";
    }
    h += "</ul>\n";
  }
  return h;
}

// Row `i` of the results table; `picture`: its thumbnail exists.
std::string ResultRowHtml(const CheckReport& report, std::size_t i, bool picture) {
  const CheckResultRow& r = report.results[i];
  std::string h;
  const int rank = KindRank(r.kind);
  // Unknown volumes sort below every known one.
  const double volumeKey = r.hasVolume ? r.volume : -1.0;
  h += "<tr data-index=\"" + std::to_string(i) + "\" data-kind=\"" + std::to_string(rank) + "\" data-distance=\"" +
       Num(r.minDistance, "%.17g") + "\" data-volume=\"" + Num(volumeKey, "%.17g") + "\" data-name=\"" +
       EscapeMarkup(r.name1 + " " + r.name2) + "\" data-status=\"" + EscapeMarkup(r.status) + "\" data-group=\"" +
       std::to_string(r.group) + "\">";
  h += "<td class=\"num\">" + std::to_string(r.id) + "</td><td>";
  if (picture) {
    h += "<a href=\"" + PictureName("result", i) + "\"><img class=\"thumb\" src=\"" + PictureName("thumb", i) +
         "\" alt=\"result " + std::to_string(r.id) + "\"></a>";
  } else {
    h += "(no picture)";
  }
  h += "</td><td class=\"status\">" + EscapeMarkup(r.status.empty() ? "-" : r.status) + "</td>";
  h += "<td>" + (r.group >= 0 ? EscapeMarkup(report.groups[static_cast<std::size_t>(r.group)].label) : "-") + "</td>";
  h += "<td class=\"k" + std::to_string(rank) + "\">" + EscapeMarkup(r.kind) + "</td>";
  h += "<td><span class=\"first\">&#9632;</span> " + EscapeMarkup(r.name1) + "<br><span class=\"path\">" +
       EscapeMarkup(r.path1) + "</span><br><span class=\"second\">&#9632;</span> " + EscapeMarkup(r.name2) +
       "<br><span class=\"path\">" + EscapeMarkup(r.path2) + "</span></td>";
  h += "<td class=\"num\">" + Num(r.minDistance) + "</td><td class=\"num\">";
  if (r.hasVolume)
    h += Num(r.volume);
  else if (!r.volumeNote.empty())
    h += "<span title=\"" + EscapeMarkup(r.volumeNote) + "\">unknown: " + EscapeMarkup(r.volumeNote) + "</span>";
  else
    h += "&ndash;";
  h += "</td><td class=\"num\">" + Num(r.cutLineLength) + "</td>";
  h += "<td class=\"num\">(" + Num(r.box[0]) + ", " + Num(r.box[1]) + ", " + Num(r.box[2]) + ")<br>(" + Num(r.box[3]) +
       ", " + Num(r.box[4]) + ", " + Num(r.box[5]) + ")</td></tr>\n";
  return h;
}

// The baseline's results not found now.
std::string ResolvedHtml(const CheckReport& report) {
  if (report.baseline.resolved.empty()) return std::string();
  std::string h;
  h += "<h2>Resolved</h2>\n<p>In the baseline, not found now:</p>\n<table id=\"resolved\"><tr><th>Baseline #</th>"
       "<th>Kind</th><th>Instances</th></tr>\n";
  for (const CheckResultRow& r : report.baseline.resolved) {
    h += "<tr><td class=\"num\">" + std::to_string(r.id) + "</td><td>" + EscapeMarkup(r.kind) + "</td><td>" +
         EscapeMarkup(r.name1) + " <span class=\"path\">" + EscapeMarkup(r.path1) + "</span><br>" +
         EscapeMarkup(r.name2) + " <span class=\"path\">" + EscapeMarkup(r.path2) + "</span></td></tr>\n";
  }
  h += "</table>\n";
  return h;
}

}  // namespace

bool WriteHtmlReport(const CheckReport& report, const std::string& dir, const std::string& generated,
                     std::string& error, bool pictures) {
  // Thumbnails first: the page only names those that exist.
  std::vector<bool> havePicture;
  if (!WriteThumbnails(report, dir, pictures, havePicture, error)) return false;

  std::string h = HeadHtml(report, generated);
  h += "<p id=\"missing\"></p>\n";
  if (pictures && FileExists(dir + "/overview.png")) {
    h += "<p><a href=\"overview.png\">Overview of the assembly</a> (instances coloured by their worst "
         "result: interference red, contact orange, clearance yellow)</p>\n";
  }
  h += "<p>In each picture the first instance is red, the second green. Click a column head to sort.</p>\n";
  h += "<table id=\"results\">\n<thead><tr><th>#</th><th>Picture</th><th data-key=\"status\">Status</th><th "
       "data-key=\"group\">Group</th><th data-key=\"kind\">Kind</th>"
       "<th data-key=\"name\">Instances (name / placement path)</th><th data-key=\"distance\">Min. distance</th>"
       "<th data-key=\"volume\">Volume</th><th>Cut line</th><th>Box</th></tr></thead>\n<tbody id=\"rows\">\n";
  for (std::size_t i = 0; i < report.results.size(); ++i) h += ResultRowHtml(report, i, havePicture[i]);
  h += "</tbody></table>\n";
  h += ResolvedHtml(report);
  if (report.results.empty()) h += "<p>No results.</p>\n";
  h += "<script>\n" + std::string(kScript) + "</script>\n</body></html>\n";
  return WriteWhole(dir + "/index.html", h, error);
}
