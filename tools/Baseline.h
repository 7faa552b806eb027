#pragma once
// Results matched with an earlier run (`vistrel check --baseline OLD.json`).
//
// A result is the same as one of the baseline when it is between the same
// two instances (names and placement paths, in either order) and in the
// same place: its centre (the centroid of its cut points, else the centre of
// its box) within a quarter of the larger box size of the two results (plus
// a relative 1e-6), so that a clash that moved slightly stays the same one
// and one that moved away is resolved and new. Each baseline result matches
// at most one current result, nearest first. The fingerprint stored in the
// JSON (pair and centre rounded to 4 significant digits) is for people and
// other tools; matching does not compare fingerprints, so rounding
// boundaries cannot split a result.
#include <string>

#include "tools/CheckReport.h"

class JsonWriter;
struct JsonValue;

std::string Fingerprint(const CheckResultRow& row);
void ResultCentre(const CheckResultRow& row, double centre[3]);

// A result as a JSON report stores it (kind, names, paths, box, cut points,
// distance, volume).
CheckResultRow RowFromJson(const JsonValue& v);

// Reads the baseline report at `path` and sets every result's status and
// report.baseline (resolved results, and the differences that make the
// comparison partial). False with `error` when the file cannot be read or is
// not a report.
bool ApplyBaseline(CheckReport& report, const std::string& path, std::string& error);

void WriteBaselineJson(const BaselineComparison& b, JsonWriter& w);
void PrintBaseline(const CheckReport& report, std::FILE* out);
