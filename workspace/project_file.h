// The project file (.tessel): one slicing job kept whole in a JSON document: the picture (by path,
// relative to the project file where it can be), the grid, every slice's properties and the export
// settings. The document carries its version; keys a reader does not know are passed over and keys
// it misses take their defaults, so later versions can add settings that older files lack. The
// file is hostile input like any other: every value is checked for its kind and range, and a
// fault raises EProjectError naming the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/output_formats.h"
#include "workspace/slice_export.h"
#include "workspace/slice_properties.h"
#include "workspace/split_grid.h"

namespace tessel {

// The version this program writes, and the newest it reads.
inline constexpr int32_t kProjectVersion = 1;
inline constexpr std::string_view kProjectExtension = ".tessel";
// The value of the document's "format" key, which tells a project from other JSON.
inline constexpr std::string_view kProjectFormat = "tessel-project";

// How the project is exported.
struct TProjectExport {
  std::string Format = "jpg";  // the slice format the export writes (a name of SliceFormats())
  TExportOptions Options;
  int32_t JpegQuality = 80;  // 0..100
  bool JpegProgressive = false;
  TFormatSettings Encoding;  // WebP, AVIF and png8

  friend bool operator==(const TProjectExport&, const TProjectExport&) = default;
};

struct TProject {
  // The picture; absolute once read (a relative path in the file is taken from the project's folder).
  std::filesystem::path ImagePath;
  TSplitGrid Grid;
  TSliceTable Slices;
  TProjectExport Export;

  friend bool operator==(const TProject&, const TProject&) = default;
};

// The document for `project` as it is saved at `projectPath`: the picture's path relative to the
// project's folder where the two share a root, absolute otherwise. Raises EProjectError when a text
// of the project cannot be written as JSON (a path that is not UTF-8).
std::string FormatProjectText(const TProject& project, const std::filesystem::path& projectPath);

// Reads a document; `projectPath` names the file in messages and anchors a relative picture path.
// The slices must lie in the grid, each named once.
TProject ParseProjectText(std::string_view text, const std::filesystem::path& projectPath);

// Writes the document through a temporary file renamed over `path`.
void SaveProject(const TProject& project, const std::filesystem::path& path);
// Reads and parses the file; a folder, a file too large for a project, or one that cannot be read
// raises pg::EPGStreamError, a bad document EProjectError.
TProject LoadProject(const std::filesystem::path& path);

// Raises EProjectError naming the project and its picture when the picture is not there (or is a
// folder), saying what to do.
void CheckProjectImage(const TProject& project, const std::filesystem::path& projectPath);

}  // namespace tessel
