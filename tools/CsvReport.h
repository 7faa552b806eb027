#pragma once
// The results of a check as CSV for spreadsheets: a header row, then one row
// per result (RFC 4180: comma separated, fields with a comma, quote or line
// break quoted, quotes doubled; CRLF line ends). An unknown volume is an
// empty field with its reason in volume_note.
#include <string>

class CheckReport;

std::string CsvText(const CheckReport& report);
// Writes CsvText to `path` (under a temporary name, renamed when complete).
bool WriteCsvReport(const CheckReport& report, const std::string& path, std::string& error);
