#pragma once
// Writing output files (pictures, reports) so that nothing but the named file
// changes: the bytes go to a fresh temporary file created exclusively in the
// target's folder (never through a pre-placed file or symlink of the same
// name) and are renamed over the target only when complete. A failed write
// leaves any earlier file untouched and no temporary file behind.
//
// And the checks of output paths given on the command line: not empty, and
// not one of the input files (which the report would overwrite).
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace safeoutput {

// Calls `write` with a stream open on the temporary file; `write` returns
// false with `error` set when it fails. False with a sentence naming `path`
// in `error` on any failure.
bool WriteFile(const std::string& path, const std::function<bool(std::FILE*, std::string&)>& write, std::string& error);

// True when `a` and `b` name the same existing file (hard links and
// symlinks included), or the same path when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// The reason an output path `path` given for `option` cannot be used, empty
// when it can: "" for an empty value, or one of `inputs`.
std::string CheckOutputPath(const std::string& option, const std::string& path, const std::vector<std::string>& inputs);

}  // namespace safeoutput
