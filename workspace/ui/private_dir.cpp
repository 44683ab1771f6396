#include "workspace/ui/private_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tessel {

void EnsurePrivateDirectory(const std::filesystem::path& path) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::runtime_error("Cannot create " + path.string() + ": " + std::strerror(errno));
  }
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    throw std::runtime_error("Cannot examine " + path.string() + ": " + std::strerror(errno));
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    throw std::runtime_error(path.string() + " is not a private directory of this user.");
  }
  if ((info.st_mode & 0777) != 0700 && ::chmod(path.c_str(), 0700) != 0) {
    throw std::runtime_error("Cannot protect " + path.string() + ": " + std::strerror(errno));
  }
}

}  // namespace tessel
