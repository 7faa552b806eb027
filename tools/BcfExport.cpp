// BCF archives. The zip is written here (stored entries: the snapshots are
// PNG, already compressed, and the XML is small), so no zip library is
// needed. Limits: no project.bcfp / extensions file (both optional), no
// IFC GUIDs (our instances have none: the placement path is the
// authoring-tool id), one viewpoint per topic.
#include "tools/BcfExport.h"
#include "tools/MarkupText.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace {

std::string Num(double v, const char* format = "%.9g") {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xffff);
  Put16(out, v >> 16);
}

std::uint64_t Fnv1a(const std::string& s, std::uint64_t h) {
  for (unsigned char c : s) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  return h;
}

// A GUID from `key`: two 64-bit FNV-1a hashes, formatted with the version
// nibble 4 and the RFC 4122 variant bits, lower-case (as 3.0 requires).
std::string GuidFrom(const std::string& key) {
  const std::uint64_t a = Fnv1a(key, 0xcbf29ce484222325ULL);
  const std::uint64_t b = Fnv1a(key + "#", a ^ 0x9e3779b97f4a7c15ULL);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x-%04x-4%03x-%04x-%012llx", static_cast<unsigned>(a >> 32),
                static_cast<unsigned>((a >> 16) & 0xffff), static_cast<unsigned>(a & 0xfff),
                static_cast<unsigned>(0x8000 | ((b >> 48) & 0x3fff)),
                static_cast<unsigned long long>(b & 0xffffffffffffULL));
  return buf;
}

std::string ReadWhole(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  ok = static_cast<bool>(in) || in.eof();
  ok = ok && in.is_open();
  return ss.str();
}

std::string Vec(const char* tag, const float* v) {
  // + 0.0 turns -0 into 0.
  return std::string("<") + tag + "><X>" + Num(v[0] + 0.0) + "</X><Y>" + Num(v[1] + 0.0) + "</Y><Z>" + Num(v[2] + 0.0) +
         "</Z></" + tag + ">";
}

std::string Component(const std::string& path) {
  return "<Component><OriginatingSystem>vistrel</OriginatingSystem><AuthoringToolId>" + EscapeMarkup(path) +
         "</AuthoringToolId></Component>";
}

std::string Viewpoint(const CheckResultRow& r, const ResultCamera* cam, bool v3, const std::string& guid) {
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<VisualizationInfo Guid=\"" + guid + "\">\n";
  x += "<Components>\n<Selection>" + Component(r.path1) + Component(r.path2) + "</Selection>\n";
  x += "<Visibility DefaultVisibility=\"true\"/>\n<Coloring>\n";
  // The picture's colours: first instance red, second green.
  const char* colours[2] = {"E61A1A", "1ABF1A"};
  const std::string* paths[2] = {&r.path1, &r.path2};
  for (int k = 0; k < 2; ++k) {
    x += std::string("<Color Color=\"") + colours[k] + "\">" + (v3 ? "<Components>" : "") + Component(*paths[k]) +
         (v3 ? "</Components>" : "") + "</Color>\n";
  }
  x += "</Coloring>\n</Components>\n";
  if (cam && cam->valid) {
    const double fov = cam->heightAngle * 180.0 / 3.14159265358979323846;
    // 2.1 only admits 45 to 60 degrees; 3.0 anything in (0, 180).
    const bool fits = v3 ? (fov > 0 && fov < 180) : (fov >= 45 - 1e-4 && fov <= 60 + 1e-4);
    if (fits) {
      x += "<PerspectiveCamera>" + Vec("CameraViewPoint", cam->position) + Vec("CameraDirection", cam->direction) +
           Vec("CameraUpVector", cam->up) + "<FieldOfView>" + Num(v3 ? fov : std::min(60.0, std::max(45.0, fov))) +
           "</FieldOfView>";
      if (v3) x += "<AspectRatio>" + Num(cam->aspect) + "</AspectRatio>";
      x += "</PerspectiveCamera>\n";
    }
    if (cam->clip) {
      // BCF's direction points to the side clipped away; ours to the side kept.
      const float away[3] = {-cam->clipNormal[0], -cam->clipNormal[1], -cam->clipNormal[2]};
      x += "<ClippingPlanes><ClippingPlane>" + Vec("Location", cam->clipPoint) + Vec("Direction", away) +
           "</ClippingPlane></ClippingPlanes>\n";
    }
  }
  return x + "</VisualizationInfo>\n";
}

std::string Description(const CheckReport& report, const CheckResultRow& r) {
  std::string d =
      (r.status.empty() ? "" : r.status + " ") + r.kind + ", minimum distance " + Num(r.minDistance, "%.6g");
  if (r.hasVolume)
    d += ", interference volume " + Num(r.volume, "%.6g");
  else if (!r.volumeNote.empty())
    d += ", volume unknown (" + r.volumeNote + ")";
  d += ". Red: " + r.name1 + " [" + r.path1 + "]; green: " + r.name2 + " [" + r.path2 + "]. Box (" +
       Num(r.box[0], "%.6g") + ", " + Num(r.box[1], "%.6g") + ", " + Num(r.box[2], "%.6g") + ") - (" +
       Num(r.box[3], "%.6g") + ", " + Num(r.box[4], "%.6g") + ", " + Num(r.box[5], "%.6g") + ").";
  if (r.group >= 0) {
    const ResultGroup& g = report.groups[static_cast<std::size_t>(r.group)];
    d += " Group " + g.label + ": " + std::to_string(g.members.size()) + " results.";
  }
  return d;
}

std::string Markup(const CheckReport& report, const CheckResultRow& r, bool v3, const std::string& topicGuid,
                   const std::string& viewGuid, bool snapshot, const std::string& isoDate) {
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Markup>\n<Header>";
  x += v3 ? "<Files><File><Filename>" + EscapeMarkup(report.file) + "</Filename></File></Files>"
          : "<File><Filename>" + EscapeMarkup(report.file) + "</Filename></File>";
  x += "</Header>\n<Topic Guid=\"" + topicGuid + "\" TopicType=\"Clash\" TopicStatus=\"Open\">\n";
  x += "<Title>" + EscapeMarkup(std::to_string(r.id) + " " + r.kind + ": " + r.name1 + " / " + r.name2) + "</Title>\n";
  x += "<Index>" + std::to_string(r.id) + "</Index>\n";
  if (v3) {
    x += "<Labels><Label>" + EscapeMarkup(r.kind) + "</Label>";
    if (!r.status.empty()) x += "<Label>" + EscapeMarkup(r.status) + "</Label>";
    x += "</Labels>\n";
  } else {
    x += "<Labels>" + EscapeMarkup(r.kind) + "</Labels>\n";
    if (!r.status.empty()) x += "<Labels>" + EscapeMarkup(r.status) + "</Labels>\n";
  }
  x += "<CreationDate>" + isoDate + "</CreationDate>\n<CreationAuthor>vistrel</CreationAuthor>\n";
  x += "<Description>" + EscapeMarkup(Description(report, r)) + "</Description>\n";
  std::string view = v3 ? "<ViewPoint Guid=\"" + viewGuid + "\">" : "<Viewpoints Guid=\"" + viewGuid + "\">";
  view += "<Viewpoint>viewpoint.bcfv</Viewpoint>";
  if (snapshot) view += "<Snapshot>snapshot.png</Snapshot>";
  view += v3 ? "</ViewPoint>" : "</Viewpoints>";
  if (v3)
    x += "<Viewpoints>" + view + "</Viewpoints>\n</Topic>\n";
  else
    x += "</Topic>\n" + view + "\n";
  return x + "</Markup>\n";
}

}  // namespace

std::uint32_t Crc32(const std::string& data) {
  static std::uint32_t table[256];
  static const bool filled = [] {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return true;
  }();
  (void)filled;
  std::uint32_t crc = 0xffffffffu;
  for (unsigned char c : data) crc = table[(crc ^ c) & 0xff] ^ (crc >> 8);
  return crc ^ 0xffffffffu;
}

std::string ZipArchive(const std::vector<ZipEntry>& entries, std::uint16_t dosDate, std::uint16_t dosTime) {
  // No zip64: entries and archive stay below 4 GiB (a check's snapshots are
  // a few hundred kB each).
  std::string out, central;
  for (const ZipEntry& e : entries) {
    const std::uint32_t crc = Crc32(e.data);
    const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    const auto size = static_cast<std::uint32_t>(e.data.size());
    const auto nameLen = static_cast<std::uint32_t>(e.name.size());
    Put32(out, 0x04034b50);
    Put16(out, 10), Put16(out, 0x0800), Put16(out, 0);  // version, flags (UTF-8 names), stored
    Put16(out, dosTime), Put16(out, dosDate), Put32(out, crc), Put32(out, size), Put32(out, size);
    Put16(out, nameLen), Put16(out, 0);
    out += e.name;
    out += e.data;
    Put32(central, 0x02014b50);
    Put16(central, 20), Put16(central, 10), Put16(central, 0x0800), Put16(central, 0);
    Put16(central, dosTime), Put16(central, dosDate), Put32(central, crc), Put32(central, size), Put32(central, size);
    Put16(central, nameLen), Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0);
    Put32(central, 0), Put32(central, offset);
    central += e.name;
  }
  const auto centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0), Put16(out, 0), Put16(out, static_cast<std::uint32_t>(entries.size())),
      Put16(out, static_cast<std::uint32_t>(entries.size()));
  Put32(out, static_cast<std::uint32_t>(central.size())), Put32(out, centralOffset), Put16(out, 0);
  return out;
}

std::vector<ZipEntry> BcfEntries(const CheckReport& report, const std::vector<ResultCamera>& cameras,
                                 const std::string& pictureDir, const std::string& version,
                                 const std::string& isoDate) {
  const bool v3 = version == "3.0";
  std::vector<ZipEntry> out;
  out.push_back({"bcf.version", v3 ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Version VersionId=\"3.0\"/>\n"
                                   : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Version VersionId=\"2.1\">"
                                     "<DetailedVersion>2.1</DetailedVersion></Version>\n"});
  for (std::size_t i = 0; i < report.results.size(); ++i) {
    const CheckResultRow& r = report.results[i];
    std::string key = report.file + "|" + r.path1 + "|" + r.path2 + "|" + r.kind;
    for (float b : r.box) key += "|" + Num(b, "%.3g");
    const std::string topic = GuidFrom(key), view = GuidFrom(key + "|viewpoint");
    char name[48];
    std::snprintf(name, sizeof name, "/result_%03zu.png", i + 1);
    bool havePicture = false;
    std::string png;
    if (!pictureDir.empty()) png = ReadWhole(pictureDir + name, havePicture);
    havePicture = havePicture && !png.empty();
    const ResultCamera* cam = i < cameras.size() ? &cameras[i] : nullptr;
    out.push_back({topic + "/markup.bcf", Markup(report, r, v3, topic, view, havePicture, isoDate)});
    out.push_back({topic + "/viewpoint.bcfv", Viewpoint(r, cam, v3, view)});
    if (havePicture) out.push_back({topic + "/snapshot.png", png});
  }
  return out;
}

bool WriteBcf(const CheckReport& report, const std::vector<ResultCamera>& cameras, const std::string& pictureDir,
              const std::string& version, const std::string& path, std::string& error) {
  const std::string bytes = ZipArchive(BcfEntries(report, cameras, pictureDir, version, IsoUtcNow()));
  const std::string tmp = path + ".part";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) {
      std::remove(tmp.c_str());
      error = path + ": cannot write the BCF file";
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    error = path + ": cannot write the BCF file";
    return false;
  }
  return true;
}

std::string IsoUtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::string MakeScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base && *base ? base : "/tmp") + "/vistrel-bcf-XXXXXX";
  return ::mkdtemp(&dir[0]) ? dir : std::string();
}

void RemoveScratchDir(const std::string& dir) {
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") ::unlink((dir + "/" + name).c_str());
    }
    ::closedir(d);
  }
  ::rmdir(dir.c_str());
}
