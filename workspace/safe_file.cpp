#include "workspace/safe_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <system_error>

#include "imaging/image/exceptions.h"

namespace tessel {

namespace {

[[noreturn]] void RaiseWriteError(const std::string& what, const std::filesystem::path& path, int error) {
  throw pg::EPGStreamError(what + " \"" + path.string() + "\". " + std::strerror(error));
}

// A short name, so that a target name of 255 characters still leaves room in its directory.
std::filesystem::path CreateTemporaryBeside(const std::filesystem::path& target) {
  static std::atomic<uint32_t> counter{0};
  static const uint32_t seed = std::random_device{}();
  std::filesystem::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  const std::string base = ".tessel-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint32_t n = counter.fetch_add(1) ^ (seed << 12);
    std::filesystem::path candidate = directory / (base + std::to_string(n) + ".tmp");
    // O_EXCL claims the name; the mode follows the umask like any new file.
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return candidate;
    }
    if (errno != EEXIST) RaiseWriteError("Cannot create file", target, errno);
  }
  RaiseWriteError("Cannot create file", target, EEXIST);
}

}  // namespace

TSafeFileWriter::TSafeFileWriter(const std::filesystem::path& target)
    : target_(target), temporary_(CreateTemporaryBeside(target)) {
  try {
    stream_ = std::make_unique<pg::TFileStream>(temporary_, pg::TFileMode::Create);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    throw;
  }
}

TSafeFileWriter::~TSafeFileWriter() {
  if (committed_) return;
  stream_.reset();
  std::error_code ignored;
  std::filesystem::remove(temporary_, ignored);
}

void TSafeFileWriter::Commit() {
  try {
    stream_->Close();
  } catch (const pg::EPGStreamError& e) {
    // Name the file the user asked for, not the temporary one.
    std::string message = e.what();
    const std::string temporaryName = temporary_.string();
    if (const size_t at = message.find(temporaryName); at != std::string::npos) {
      message.replace(at, temporaryName.size(), target_.string());
    }
    throw pg::EPGStreamError(message);
  }
  std::error_code error;
  std::filesystem::rename(temporary_, target_, error);
  if (error) RaiseWriteError("Cannot write file", target_, error.value());
  committed_ = true;
}

void WriteFileSafely(const std::filesystem::path& target, std::string_view bytes) {
  TSafeFileWriter writer(target);
  writer.Stream().WriteBuffer(bytes.data(), bytes.size());
  writer.Commit();
}

}  // namespace tessel
