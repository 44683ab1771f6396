#include "imaging/image/safe_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>

#include "imaging/image/exceptions.h"
#include "imaging/image/safe_file_internal.h"

namespace pg {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Raise(const fs::path& target, const std::string& cause) {
  throw EPGStreamError(target.string() + ": " + cause);
}

[[noreturn]] void Raise(const fs::path& target, int error) {
  Raise(target, std::strerror(error));
}

// The system gives up on a path after this many symbolic links as well.
constexpr int kMaxLinks = 40;

// Names tried before giving up; a taken name is only ever a planted or leftover file.
constexpr int kNameTries = 64;

// /proc tells the umask without changing it; setting and restoring it would race with any thread
// that creates a file meanwhile.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      try {
        return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
      } catch (const std::exception&) {
        break;
      }
    }
  }
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

}  // namespace

namespace safe_file_detail {

// The temporary file of one replacement; removed again unless the rename over the target happened.
class TReplacement {
 public:
  explicit TReplacement(const fs::path& target) : target_(target), destination_(WriteDestination(target)) {
    struct stat status {};
    if (::lstat(destination_.c_str(), &status) == 0) {
      if (!S_ISREG(status.st_mode)) {
        Raise(target_,
              "is " + NotRegularFileKind(status.st_mode & S_IFMT) + ", not a regular file; left as it is");
      }
      existing_ = true;
      mode_ = status.st_mode & 0777;
      owner_ = status.st_uid;
      group_ = status.st_gid;
    } else if (errno == ENOENT) {
      mode_ = 0666 & ~CurrentUmask();
    } else {
      Raise(target_, errno);
    }
    const int descriptor = safe_file_detail::CreateTemporaryFile(
        destination_.parent_path(), safe_file_detail::RandomTemporaryName, temporary_);
    if (descriptor < 0) Raise(target_, errno);
    try {
      // Messages of the stream name the user's file, never the temporary one.
      stream_ = std::make_unique<TFileStream>(descriptor, target_);
    } catch (...) {
      ::unlink(temporary_.c_str());
      throw;
    }
  }

  ~TReplacement() {
    if (committed_) return;
    stream_.reset();
    ::unlink(temporary_.c_str());
  }

  TReplacement(const TReplacement&) = delete;
  TReplacement& operator=(const TReplacement&) = delete;

  TFileStream& Stream() { return *stream_; }

  // The data on the disk first (flushed, owner and mode set, closed), then the name: a crash in
  // between leaves the old file.
  void Prepare() {
    if (const int error = stream_->Flush(true)) Raise(target_, error);
    const int descriptor = stream_->Descriptor();
    if (existing_ && (owner_ != ::geteuid() || group_ != ::getegid())) {
      // Keep the owner and group where the system allows it; otherwise the new file is the writer's
      // as any new file would be.
      if (::fchown(descriptor, owner_, group_) != 0)
        (void)::fchown(descriptor, static_cast<uid_t>(-1), group_);
    }
    if (::fchmod(descriptor, mode_) != 0) Raise(target_, errno);
    stream_->Close();
  }

  void Rename() {
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) Raise(target_, errno);
    committed_ = true;
  }

  bool Committed() const { return committed_; }

 private:
  fs::path target_;
  fs::path destination_;
  fs::path temporary_;
  std::unique_ptr<TFileStream> stream_;
  bool existing_ = false;
  mode_t mode_ = 0;
  uid_t owner_ = 0;
  gid_t group_ = 0;
  bool committed_ = false;
};

int CreateTemporaryFile(const fs::path& directory, const std::function<std::string()>& nextName,
                        fs::path& created) {
  for (int attempt = 0; attempt < kNameTries; ++attempt) {
    fs::path candidate = directory / nextName();
    // O_EXCL fails on any existing name, a symbolic link included; O_NOFOLLOW says so twice.
    const int descriptor =
        ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
      created = std::move(candidate);
      return descriptor;
    }
    if (errno != EEXIST && errno != ELOOP) return -1;
  }
  errno = EEXIST;
  return -1;
}

std::string RandomTemporaryName() {
  unsigned char bytes[6];
  if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
    // No kernel randomness yet (early boot): the library's generator, seeded once per thread.
    thread_local std::mt19937_64 generator{std::random_device{}()};
    const uint64_t value = generator();
    std::memcpy(bytes, &value, sizeof bytes);
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = ".tessel-";
  for (unsigned char byte : bytes) {
    name += kDigits[byte >> 4];
    name += kDigits[byte & 15];
  }
  return name + ".tmp";
}

}  // namespace safe_file_detail

void WriteFileSafely(const fs::path& target, const std::function<void(TStream&)>& write) {
  WriteFileSafely(target, write, [](const std::function<void()>& replace) { replace(); });
}

TPendingFile::TPendingFile(const fs::path& target, const std::function<void(TStream&)>& write)
    : replacement_(std::make_unique<safe_file_detail::TReplacement>(target)) {
  try {
    write(replacement_->Stream());
  } catch (...) {
    // A codec reports a failed write in its own words ("Stream write error"); the cause lies with
    // the file, so that is what the user is told.
    if (const int error = replacement_->Stream().WriteError()) Raise(target, error);
    throw;
  }
  replacement_->Prepare();
}

TPendingFile::~TPendingFile() = default;

void TPendingFile::Commit() {
  replacement_->Rename();
}

bool TPendingFile::Committed() const {
  return replacement_->Committed();
}

bool WriteFileSafely(const fs::path& target, const std::function<void(TStream&)>& write,
                     const std::function<void(const std::function<void()>& replace)>& commit) {
  TPendingFile file(target, write);
  commit([&file] { file.Commit(); });
  return file.Committed();
}

void WriteFileSafely(const fs::path& target, std::string_view bytes) {
  WriteFileSafely(target, [bytes](TStream& stream) { stream.WriteBuffer(bytes.data(), bytes.size()); });
}

fs::path WriteDestination(const fs::path& target) {
  fs::path path = target;
  for (int links = 0;; ++links) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    if (links == kMaxLinks) Raise(target, ELOOP);
    std::error_code error;
    const fs::path link = fs::read_symlink(path, error);
    if (error) Raise(target, error.value());
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
}

TFileIdentity FileIdentity(const fs::path& path) {
  const fs::path destination = WriteDestination(path);
  TFileIdentity identity;
  struct stat status {};
  if (::stat(destination.c_str(), &status) == 0) {
    identity.Device = status.st_dev;
    identity.Inode = status.st_ino;
    identity.Type = status.st_mode & S_IFMT;
    return identity;
  }
  if (errno != ENOENT) Raise(path, errno);
  identity.Name = destination.filename().string();
  if (identity.Name.empty()) Raise(path, ENOENT);
  const fs::path folder = destination.has_parent_path() ? destination.parent_path() : fs::path(".");
  if (::stat(folder.c_str(), &status) != 0) Raise(path, errno);
  if (!S_ISDIR(status.st_mode)) Raise(path, ENOTDIR);
  identity.Device = status.st_dev;
  identity.Inode = status.st_ino;
  return identity;
}

std::string NotRegularFileKind(mode_t type) {
  switch (type & S_IFMT) {
    case 0:
    case S_IFREG:
      return {};
    case S_IFDIR:
      return "a folder";
    case S_IFIFO:
      return "a named pipe";
    case S_IFCHR:
    case S_IFBLK:
      return "a device";
    case S_IFSOCK:
      return "a socket";
    default:
      return "a special file";
  }
}

}  // namespace pg
