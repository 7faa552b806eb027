#pragma once
// What `vistrel check` reports: one row per result and the totals, as a
// table and as JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "host/MeshTypes.h"
#include "tools/CheckOptions.h"

class CCollisionManager;
class SoKRN_MainDoc;
class SoPath;

struct CheckResultRow {
  int id = 0;
  int type = 0;
  std::string kind;          // interference, contact, clearance, near
  std::string path1, path2;  // full placement paths
  std::string name1, name2;  // name paths
  double minDistance = 0;
  double cutLineLength = 0;
  bool hasVolume = false;
  double volume = 0;
  std::string volumeNote;        // why the volume is unknown (cut faces on, no volume)
  double penetrationDepth = -1;  // lower bound with the volume; negative: not computed
  float box[6] = {0, 0, 0, 0, 0, 0};
  std::vector<_vtx> cutPoints;
  std::vector<std::pair<int, int>> cutSegments;
  std::vector<_vtx> facePoints;
  std::vector<int> faceTriangles;
  std::string status;  // with a baseline: "new" or "active"; else empty
  int group = -1;      // index into CheckReport::groups (--group-by), else -1
};

// Results put together by a common cause (--group-by): the instance or
// pair they share. `members` index CheckReport::results.
struct ResultGroup {
  std::string label;  // "Duct_12 [PATH|0|12]" or "A [..] x B [..]"
  std::vector<std::size_t> members;
};

// The comparison with an earlier run's JSON report (--baseline).
struct BaselineComparison {
  bool used = false;
  std::string file;
  // Why the comparison is partial (inputs or settings differ, a run was
  // incomplete); empty: both runs checked the same thing.
  std::vector<std::string> differences;
  std::vector<CheckResultRow> resolved;  // in the baseline, not found now
};

class CheckReport {
public:
  std::string file;
  CheckOptions options;
  int instances = 0;
  long long triangles = 0;
  long long pairsTotal = 0;
  long long pairsTested = 0;
  double seconds = 0;
  bool stopped = false;
  bool aborted = false;
  // The pair being tested when the run was stopped or aborted (placement
  // paths; empty when it ended between pairs). Its result is not listed.
  std::string inProgress1, inProgress2;
  bool twoGroup = false;
  int calcType = 0;
  std::vector<CheckResultRow> results;
  BaselineComparison baseline;
  std::string groupBy;  // "instance", "pair" or empty
  std::vector<ResultGroup> groups;

  // Reads the manager's results (after its run has ended).
  void Collect(CCollisionManager& manager);
  void PrintTable(std::FILE* out) const;
  std::string Json() const;
  bool WriteJson(const std::string& path, std::string& error) const;
};

struct _collisionResult;
// "interference", "contact", "clearance" or "near": what a result is, told
// from how its triangles met, with or without cut faces computed.
const char* ResultKind(const _collisionResult& r);

// The names of the instances on a path, head to tail, joined by "/"
// ("Bracket_1/Bolt_2"): what users see and what the globs match.
std::string InstanceNamePath(const SoPath* path);

// Pictures of every result and an overview into options.pngDir. In a
// result's picture its first instance is red and its second green, the
// other inputs ghosted (light grey, mostly transparent), and the result's
// box, cut line and cut face are drawn over everything, so they show
// through the parts. The overview colours every instance that takes part in
// a result by its worst kind: interference red, contact orange, clearance
// yellow (near: as clearance); the others keep their colours.
//
// With `cameras`, one entry per result: the camera of its picture, so that
// other outputs (BCF viewpoints) open on the same view.
struct ResultCamera {
  bool valid = false;  // false: no picture was taken (no box to frame)
  float position[3] = {0, 0, 0};
  float direction[3] = {0, 0, -1};  // unit
  float up[3] = {0, 1, 0};          // unit
  float heightAngle = 0;            // radians, spanning the picture's height
  float aspect = 1;                 // width / height
  bool clip = false;                // the clip plane was shown: the side where
  float clipPoint[3] = {0, 0, 0};   // clipNormal points is kept
  float clipNormal[3] = {0, -1, 0};
};
bool WriteResultPictures(CCollisionManager& manager, SoKRN_MainDoc* doc, const CheckOptions& options,
                         std::string& error, std::vector<ResultCamera>* cameras = nullptr);
