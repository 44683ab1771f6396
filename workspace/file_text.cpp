#include "workspace/file_text.h"

#include <system_error>

#include "imaging/image/exceptions.h"
#include "imaging/image/stream.h"

namespace tessel {

std::string ReadFileText(const std::filesystem::path& path, size_t maxBytes, std::string_view kind,
                         std::string_view choice) {
  // A directory opens for reading on this system but yields no data; say what it is instead.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw pg::EPGStreamError(path.string() + " is a folder, not " + std::string(kind) + "; choose " +
                             std::string(choice));
  }
  pg::TFileStream stream(path, pg::TFileMode::Read);
  std::string text;
  char buffer[1 << 16];
  // Read in blocks rather than trusting Size(): the file may change or be a pipe.
  for (;;) {
    const size_t n = stream.Read(buffer, sizeof buffer);
    if (n == 0) break;
    if (n > maxBytes - text.size()) {
      throw pg::EPGStreamError("File \"" + path.string() + "\" is too large for " + std::string(kind));
    }
    text.append(buffer, n);
  }
  return text;
}

}  // namespace tessel
