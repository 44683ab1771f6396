// A directory only the current user can enter, for files such as the JPEG preview that must not be
// replaceable by another user of the machine (a link planted under a known name in a shared
// temporary directory would make us write through it).
#pragma once

#include <filesystem>

namespace tessel {

// Creates `path` (and missing parents) if needed, then makes sure it is a real directory (not a
// link) owned by this user with permissions 0700, tightening them when they are wider. Raises
// std::runtime_error with a readable message when the path cannot be made safe.
void EnsurePrivateDirectory(const std::filesystem::path& path);

}  // namespace tessel
