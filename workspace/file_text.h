// Reading a small file the user chose (a grid file, a project file) whole, with a bound on its size,
// so that a device or pipe that never ends, or a huge file, is refused instead of filling memory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessel {

// The bytes of `path`. A folder raises pg::EPGStreamError "<path> is a folder, not <kind>; choose
// <choice>", a file of more than `maxBytes` bytes "File "<path>" is too large for <kind>"; a file
// that cannot be read raises with the system's message.
std::string ReadFileText(const std::filesystem::path& path, size_t maxBytes, std::string_view kind,
                         std::string_view choice);

}  // namespace tessel
