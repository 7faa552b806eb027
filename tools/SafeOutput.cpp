#include "tools/SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace safeoutput {

bool WriteFile(const std::string& path, const std::function<bool(std::FILE*, std::string&)>& write,
               std::string& error) {
  if (path.empty()) {
    error = "cannot write: no file name given";
    return false;
  }
  const std::filesystem::path target(path);
  const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
  // mkstemp opens with O_CREAT | O_EXCL: a name that exists (a symlink
  // included) is never opened, another name is tried.
  std::string temp = folder + "/." + target.filename().string() + ".XXXXXX";
  const int fd = mkstemp(&temp[0]);
  if (fd < 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  // mkstemp gives 0600; a finished file gets what the umask allows.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  std::FILE* file = fdopen(fd, "wb");
  if (!file) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    close(fd);
    unlink(temp.c_str());
    return false;
  }
  std::string why;
  const bool written = write(file, why);
  int ioErrno = 0;  // a full disk shows up at flush or close, not before
  if (std::fflush(file) != 0) ioErrno = errno;
  if (std::fclose(file) != 0 && ioErrno == 0) ioErrno = errno;
  if (!written || ioErrno != 0) {
    unlink(temp.c_str());
    error = "cannot write " + path + ": " + (!written ? why : std::string(std::strerror(ioErrno)));
    return false;
  }
  // rename replaces a symlink at `path` itself, never the file it points at.
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  std::error_code ec1, ec2;
  const auto pa = std::filesystem::weakly_canonical(a, ec1), pb = std::filesystem::weakly_canonical(b, ec2);
  return !ec1 && !ec2 && pa == pb;
}

std::string CheckOutputPath(const std::string& option, const std::string& path,
                            const std::vector<std::string>& inputs) {
  if (path.empty()) return option + " needs a value (an empty path was given)";
  for (const std::string& input : inputs) {
    if (!input.empty() && SameFile(path, input))
      return option + " " + path + " names the input file; refusing to overwrite it";
  }
  return std::string();
}

}  // namespace safeoutput
