#pragma once
#include <string>
#include <vector>

// Options of `vistrel check`.
struct CheckOptions {
  std::string file;        // empty: the embedded sample assembly
  double tolerance = 0.0;  // clearance tolerance
  double distance = -1.0;  // < 0: not given
  bool cutFaces = false;
  bool interferenceOnly = false;
  std::vector<std::string> group2;  // name-path globs
  std::vector<std::string> ignore;
  std::vector<std::string> hidden;
  std::string jsonFile;
  std::string pngDir;
  std::string htmlDir;  // HTML report; its pictures go there too
  std::string csvFile;
  std::string bcfFile;
  std::string groupBy;             // instance, pair, none
  std::string baselineFile;        // an earlier run's JSON report
  std::string bcfVersion = "2.1";  // or "3.0"
  bool clip = false;
  bool quiet = false;
  bool allowExternal = false;  // read Inventor File nodes (regular files only)
};
