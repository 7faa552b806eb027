#pragma once
// The HTML form of a check report: DIR/index.html and a thumbnail per result
// beside the pictures that WriteResultPictures put into DIR
// (result_NNN.png, NNN the 1-based position in report.results, and
// overview.png). The page needs nothing but those files: no script or style
// from elsewhere, so it opens offline and survives being zipped and mailed.
#include <string>

class CheckReport;

// `generated` is the date shown in the header (the caller's clock, so that
// tests can fix it). Writes thumb_NNN.png (a quarter of the picture's size)
// for every result picture found and then index.html. On failure returns
// false with `error` naming the file; an earlier index.html is left as it
// was (written under a temporary name and renamed).
// With `pictures` false the page names no pictures, whatever lies in DIR
// (re-classified reports: their numbering differs from the pictures').
bool WriteHtmlReport(const CheckReport& report, const std::string& dir, const std::string& generated,
                     std::string& error, bool pictures = true);

// The current UTC time as "YYYY-MM-DD HH:MM UTC".
std::string UtcNow();
