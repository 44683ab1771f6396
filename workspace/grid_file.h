// The grid file (.grd): plain text, one item per line, every line ended by CR LF: the horizontal
// positions in list order, a line "-", then the vertical positions in list order. No header, no
// count, no image size; the edges are ordinary entries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/split_grid.h"

namespace tessel {

struct TGridFileHooks {
  // One call per value above the image size, with "Grid larger than image, line N out of bounds!",
  // for the first kClampMessagesShown such values; one more call sums up the rest. The window
  // shows a box, tessel-cli prints it, tests collect it.
  std::function<void(const std::string& message)> OnClamp;
  // After a successful save or load: the window puts the path at the top of its recent grids.
  std::function<void(const std::filesystem::path& path)> OnUsed;
};

// The file's text for `grid`.
std::string FormatGridText(const TSplitGrid& grid);

// Clamped values told one by one; a file full of them gets one message for the rest.
inline constexpr size_t kClampMessagesShown = 5;

struct TParsedGrid {
  TIntegerList HorizontalSplits;
  TIntegerList VerticalSplits;
  // In reading order: one per clamped value for the first kClampMessagesShown, then one summary.
  std::vector<std::string> ClampMessages;
  int64_t ClampedValues = 0;
};

// Reads grid text (lines end at CR LF, lone CR or lone LF). Values above `height` (horizontal
// block) or `width` (vertical block) are replaced by that size, with a message each (see
// kClampMessagesShown); values below 0 are kept. A line that is not an integer raises
// EConvertError "<source>:<line>: '<text>' is not a valid integer value", the text quoted with
// QuoteForMessage; `sourceName` names the file in messages (without it: "line <n>: ..."). Empty
// text and text with control bytes (binary data) raise EConvertError saying what a grid file is.
TParsedGrid ParseGridText(std::string_view text, int32_t width, int32_t height,
                          std::string_view sourceName = {});

// Positions above `height` (horizontal list) or `width` (vertical list) replaced by that size, with
// the messages a grid file gives (kClampMessagesShown of them, then one summing up the rest and
// naming `sourceName`) added to `messages`. Returns how many were replaced.
int64_t ClampGridToImage(TSplitGrid& grid, int32_t width, int32_t height, std::string_view sourceName,
                         std::vector<std::string>& messages);

// Writes the grid through a temporary file renamed over `path`, so a failed write leaves any
// previous file as it was. Raises pg::EPGStreamError with the system's message.
void SaveGrid(const TSplitGrid& grid, const std::filesystem::path& path, const TGridFileHooks& hooks = {});

// Replaces both lists with the file's contents (no edges added). A file that cannot be read or
// holds a line that is not an integer raises and leaves `grid` exactly as it was; the clamp
// messages are delivered only for a grid that is actually loaded.
void LoadGrid(TSplitGrid& grid, const std::filesystem::path& path, int32_t width, int32_t height,
              const TGridFileHooks& hooks = {});

}  // namespace tessel
