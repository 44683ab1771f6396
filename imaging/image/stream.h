// Byte streams: a readable, writable, seekable sequence of bytes with a position. Every reader and
// writer works on a TStream; files and memory blocks are the two kinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace pg {

enum class TSeekOrigin { Begin, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to `count` bytes; returns how many were read (fewer at the end of the data).
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes `count` bytes; returns how many were written (fewer only on failure).
  virtual size_t Write(const void* buffer, size_t count) = 0;
  // Moves the position; returns the new position. Positions past the end are allowed.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Begin); }
  // Bytes from the position to the end (0 when the position is at or past the end).
  int64_t Remaining();

  // Reads exactly `count` bytes; returns false (position after what could be read) on a short read.
  bool ReadExact(void* buffer, size_t count) { return Read(buffer, count) == count; }
  // Writes exactly `count` bytes or raises EPGStreamError.
  void WriteBuffer(const void* buffer, size_t count);
};

enum class TFileMode {
  Read,    // existing file, read only
  Create,  // new or truncated file, read and write
  Update,  // existing file, read and write
};

class TFileStream : public TStream {
 public:
  // Raises EPGStreamError with the system's message when the file cannot be opened.
  TFileStream(const std::filesystem::path& path, TFileMode mode);
  // Takes over `descriptor`, open for reading and writing; `path` names the file in messages.
  TFileStream(int descriptor, const std::filesystem::path& path);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;

  // Flushes and closes; raises EPGStreamError when buffered data cannot be written (disk full).
  // The destructor closes silently.
  void Close();
  // Hands buffered data to the system and, with `sync`, has it written to the disk. Returns 0, or
  // the errno of the first failure, an earlier failed Write included.
  int Flush(bool sync);
  // The errno of the first Write that failed; 0 while none has.
  int WriteError() const { return writeError_; }
  // The open file's descriptor (-1 once closed).
  int Descriptor() const;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  int writeError_ = 0;
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  TMemoryStream(const void* data, size_t size);
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  const std::vector<uint8_t>& Data() const { return data_; }
  std::vector<uint8_t>& Data() { return data_; }
  void Clear() {
    data_.clear();
    position_ = 0;
  }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace pg
