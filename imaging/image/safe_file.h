// The one way the program replaces a file the user keeps (images, slices, HTML, grid files): the
// data goes to a new file of a short random name beside the target, opened exclusively and never
// through a symbolic link, is flushed to the disk and then renamed over the target. A failure
// therefore never leaves half a file where a good one stood, and nobody who can write into the
// folder can redirect the write by planting a link. The replaced file's permission bits are kept;
// a new file gets 0666 less the umask. A target that is a symbolic link is written through to the
// file it points to. Hard links to the old file keep the old contents (the rename gives the name a
// new file). Errors name the target and the cause ("photo.bmp: No space left on device").
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "imaging/image/stream.h"

namespace pg {

// Writes `target` with `write`, which gets a stream positioned at the start of an empty file.
// Raises EPGStreamError naming `target` when the target is not a regular file (a folder, a named
// pipe, a device: left alone) or the file cannot be created, written or renamed; an exception of
// `write` propagates unless it was caused by a failed write, which is reported as such. The target
// is either replaced completely or left as it was; no temporary file remains.
void WriteFileSafely(const std::filesystem::path& target, const std::function<void(TStream&)>& write);
void WriteFileSafely(const std::filesystem::path& target, std::string_view bytes);
// The same, but the complete new file takes the target's name only through `commit`, which is
// handed that last step (a rename) and runs it, under a lock of its own say, or does not. Without
// the step the target is left as it was and no temporary file remains. Returns whether the target
// was replaced.
bool WriteFileSafely(const std::filesystem::path& target, const std::function<void(TStream&)>& write,
                     const std::function<void(const std::function<void()>& replace)>& commit);

namespace safe_file_detail {
class TReplacement;
}

// A complete new file for `target`, written with `write` as WriteFileSafely writes it, that waits
// under its temporary name until it is committed: Commit renames it over the target; destroyed
// uncommitted, it is removed and the target left as it was. Work that must not replace anything
// until all of it has succeeded holds its files this way.
class TPendingFile {
 public:
  TPendingFile(const std::filesystem::path& target, const std::function<void(TStream&)>& write);
  ~TPendingFile();
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  void Commit();
  bool Committed() const;

 private:
  std::unique_ptr<safe_file_detail::TReplacement> replacement_;
};

// The file a write to `target` replaces: `target` with symbolic links in its last component
// followed (to a name that need not exist yet). Raises EPGStreamError on a loop of links.
std::filesystem::path WriteDestination(const std::filesystem::path& target);

// Which file a path names, for telling whether two paths are the same file whatever their spelling
// (relative, through symbolic or hard links). An existing file is its device and inode; a name not
// there yet is its folder's device and inode plus the name.
struct TFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  std::string Name;  // empty for an existing file
  mode_t Type = 0;   // S_IFMT bits of an existing file; 0 for a name not there yet

  bool Exists() const { return Name.empty(); }
  friend bool operator==(const TFileIdentity& a, const TFileIdentity& b) {
    return a.Device == b.Device && a.Inode == b.Inode && a.Name == b.Name;
  }
};

// The identity of the file a write to `path` would replace (symbolic links followed). Raises
// EPGStreamError naming `path` when neither the file nor its folder can be reached.
TFileIdentity FileIdentity(const std::filesystem::path& path);

// "a folder", "a named pipe", ... for a file type that cannot be replaced by writing; empty for a
// regular file or a name not there yet.
std::string NotRegularFileKind(mode_t type);

}  // namespace pg
