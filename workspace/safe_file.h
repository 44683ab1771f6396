// Writing files the user keeps (HTML, grid, slices) without ever leaving half a file behind: the
// data goes to a temporary file in the target's directory, which is renamed over the target only
// once it has been written and closed completely.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "imaging/image/stream.h"

namespace tessel {

class TSafeFileWriter {
 public:
  // Creates the temporary file; raises pg::EPGStreamError naming `target` when that fails.
  explicit TSafeFileWriter(const std::filesystem::path& target);
  // Removes the temporary file unless Commit succeeded.
  ~TSafeFileWriter();
  TSafeFileWriter(const TSafeFileWriter&) = delete;
  TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

  pg::TStream& Stream() { return *stream_; }
  // Closes the temporary file and renames it over the target; raises pg::EPGStreamError naming
  // the target on any failure (the target is then as it was).
  void Commit();

  const std::filesystem::path& Target() const { return target_; }
  const std::filesystem::path& TemporaryPath() const { return temporary_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::unique_ptr<pg::TFileStream> stream_;
  bool committed_ = false;
};

// Replaces `target` by `bytes` through a temporary file.
void WriteFileSafely(const std::filesystem::path& target, std::string_view bytes);

}  // namespace tessel
