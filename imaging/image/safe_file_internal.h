// The safe writer's temporary file, open to tests that choose the names it tries.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace pg::safe_file_detail {

// A new file of mode 0600 in `directory`, created exclusively and never through a symbolic link,
// under the first name from `nextName` that is free (a bounded number of tries). Returns its
// descriptor and sets `created`; returns -1 with errno set on failure.
int CreateTemporaryFile(const std::filesystem::path& directory, const std::function<std::string()>& nextName,
                        std::filesystem::path& created);

// ".tessel-" and 12 random hexadecimal digits: short, so that a target name near the system's
// limit still leaves room, and unpredictable.
std::string RandomTemporaryName();

}  // namespace pg::safe_file_detail
