#include "imaging/image/stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "imaging/image/exceptions.h"

namespace pg {

namespace {

[[noreturn]] void RaiseSystemError(const std::string& what, const std::filesystem::path& path, int error) {
  throw EPGStreamError(what + " \"" + path.string() + "\". " + std::strerror(error));
}

}  // namespace

int64_t TStream::Remaining() {
  const int64_t position = Position();
  const int64_t size = Size();
  return position < size ? size - position : 0;
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  if (Write(buffer, count) != count) throw EPGStreamError("Stream write error");
}

TFileStream::TFileStream(const std::filesystem::path& path, TFileMode mode) : path_(path) {
  const char* flags = mode == TFileMode::Read ? "rb" : mode == TFileMode::Create ? "w+b" : "r+b";
  file_ = std::fopen(path.c_str(), flags);
  if (file_ == nullptr) {
    RaiseSystemError(mode == TFileMode::Create ? "Cannot create file" : "Cannot open file", path, errno);
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

TFileStream::TFileStream(int descriptor, const std::filesystem::path& path) : path_(path) {
  file_ = ::fdopen(descriptor, "w+b");
  if (file_ == nullptr) {
    const int error = errno;
    ::close(descriptor);
    RaiseSystemError("Cannot create file", path, error);
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

TFileStream::~TFileStream() {
  if (file_ != nullptr) std::fclose(file_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  if (file_ == nullptr || count == 0) return 0;
  return std::fread(buffer, 1, count, file_);
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  if (file_ == nullptr || count == 0) return 0;
  errno = 0;
  const size_t written = std::fwrite(buffer, 1, count, file_);
  if (written != count && writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
  return written;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (file_ == nullptr) return 0;
  const int whence = origin == TSeekOrigin::Begin     ? SEEK_SET
                     : origin == TSeekOrigin::Current ? SEEK_CUR
                                                      : SEEK_END;
  if (!(origin == TSeekOrigin::Current && offset == 0)) {
    if (fseeko(file_, static_cast<off_t>(offset), whence) != 0)
      RaiseSystemError("Cannot seek in file", path_, errno);
  }
  return static_cast<int64_t>(ftello(file_));
}

int64_t TFileStream::Size() {
  if (file_ == nullptr) return 0;
  const off_t position = ftello(file_);
  fseeko(file_, 0, SEEK_END);
  const off_t size = ftello(file_);
  fseeko(file_, position, SEEK_SET);
  return static_cast<int64_t>(size);
}

void TFileStream::Close() {
  if (file_ == nullptr) return;
  const bool flushFailed = std::fflush(file_) != 0;
  const int flushError = errno;
  const bool closeFailed = std::fclose(file_) != 0;
  const int closeError = errno;
  file_ = nullptr;
  if (flushFailed) RaiseSystemError("Cannot write file", path_, flushError);
  if (closeFailed) RaiseSystemError("Cannot write file", path_, closeError);
  if (writeError_ != 0) RaiseSystemError("Cannot write file", path_, writeError_);
}

int TFileStream::Flush(bool sync) {
  if (writeError_ != 0) return writeError_;
  if (file_ == nullptr) return EBADF;
  if (std::fflush(file_) != 0) return writeError_ = errno != 0 ? errno : EIO;
  if (sync && ::fsync(::fileno(file_)) != 0) return writeError_ = errno;
  return 0;
}

int TFileStream::Descriptor() const {
  return file_ != nullptr ? ::fileno(file_) : -1;
}

TMemoryStream::TMemoryStream(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  const int64_t size = Size();
  if (position_ >= size || count == 0) return 0;
  const size_t available = static_cast<size_t>(size - position_);
  const size_t n = count < available ? count : available;
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += static_cast<int64_t>(n);
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  const size_t end = static_cast<size_t>(position_) + count;
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ = static_cast<int64_t>(end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? position_ : Size();
  int64_t target = base + offset;
  if (target < 0) target = 0;
  position_ = target;
  return position_;
}

}  // namespace pg
