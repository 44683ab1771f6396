#include "workspace/grid_file.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "imaging/image/exceptions.h"
#include "imaging/image/safe_file.h"
#include "imaging/image/stream.h"
#include "workspace/errors.h"
#include "workspace/file_text.h"
#include "workspace/integer_text.h"
#include "workspace/message_text.h"

namespace tessel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Control bytes no text file of numbers holds (tab, line feed and carriage return are allowed).
bool IsBinaryByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F;
}
constexpr std::string_view kSeparator = "-";

std::string ClampMessage(int32_t value) {
  return "Grid larger than image, line " + std::to_string(value) + " out of bounds!";
}

std::string ClampSummary(int64_t more, std::string_view sourceName) {
  std::string text = "Grid larger than image, " + std::to_string(more) + " more lines out of bounds";
  if (!sourceName.empty()) text += " in \"" + QuoteForMessage(sourceName, 4 * kQuotedCharacters) + "\"";
  return text + "!";
}

// Where a line is, for messages: "file:12: " or "line 12: ".
std::string LineLocation(std::string_view sourceName, int64_t lineNumber) {
  if (sourceName.empty()) return "line " + std::to_string(lineNumber) + ": ";
  return QuoteForMessage(sourceName, 4 * kQuotedCharacters) + ":" + std::to_string(lineNumber) + ": ";
}

// Far more than any grid can use (the export refuses grids of more than 2^24 cells).
constexpr size_t kMaxGridFileBytes = size_t{64} << 20;

// Values above the image's size replaced by it, horizontal list first, with the messages of a grid
// file. Returns how many were replaced.
int64_t ClampSplits(TIntegerList& horizontal, TIntegerList& vertical, int32_t width, int32_t height,
                    std::string_view sourceName, std::vector<std::string>& messages) {
  int64_t clamped = 0;
  const auto clamp = [&](TIntegerList& list, int32_t size) {
    std::vector<int32_t> values = list.Values();
    bool changed = false;
    for (int32_t& value : values) {
      if (value <= size) continue;
      if (++clamped <= static_cast<int64_t>(kClampMessagesShown)) messages.push_back(ClampMessage(value));
      value = size;
      changed = true;
    }
    if (changed) list.Assign(std::move(values));
  };
  clamp(horizontal, height);
  clamp(vertical, width);
  if (clamped > static_cast<int64_t>(kClampMessagesShown)) {
    messages.push_back(ClampSummary(clamped - static_cast<int64_t>(kClampMessagesShown), sourceName));
  }
  return clamped;
}

}  // namespace

int64_t ClampGridToImage(TSplitGrid& grid, int32_t width, int32_t height, std::string_view sourceName,
                         std::vector<std::string>& messages) {
  return ClampSplits(grid.HorizontalSplits, grid.VerticalSplits, width, height, sourceName, messages);
}

std::string FormatGridText(const TSplitGrid& grid) {
  std::string text;
  for (int32_t value : grid.HorizontalSplits.Values()) text.append(std::to_string(value)).append(kLineEnd);
  text.append(kSeparator).append(kLineEnd);
  for (int32_t value : grid.VerticalSplits.Values()) text.append(std::to_string(value)).append(kLineEnd);
  return text;
}

TParsedGrid ParseGridText(std::string_view text, int32_t width, int32_t height, std::string_view sourceName) {
  const std::string name =
      sourceName.empty() ? std::string("The grid") : QuoteForMessage(sourceName, 4 * kQuotedCharacters);
  // An empty file would load as a grid without a single line; a binary one would be reported as a
  // number that is not one. Both say what a grid file is instead.
  if (text.empty()) {
    throw EConvertError(name +
                        " is empty; a grid file holds split positions, one number a line. The grid was "
                        "left as it was.");
  }
  if (std::any_of(text.begin(), text.end(), IsBinaryByte)) {
    throw EConvertError(name +
                        " is not a grid file: it holds binary data. A grid file is text with one "
                        "split position a line, as Save Grid writes it.");
  }
  TParsedGrid result;
  bool vertical = false;
  size_t start = 0;
  int64_t lineNumber = 0;
  while (start < text.size()) {
    ++lineNumber;
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end;
    if (start < text.size()) {
      start += (text[start] == '\r' && start + 1 < text.size() && text[start + 1] == '\n') ? 2 : 1;
    }

    if (line == kSeparator) {
      vertical = true;
      continue;
    }
    int32_t value = 0;
    if (!TryStrToInt(line, value)) {
      throw EConvertError(LineLocation(sourceName, lineNumber) +
                          InvalidIntegerMessage(QuoteForMessage(line)));
    }
    (vertical ? result.VerticalSplits : result.HorizontalSplits).Add(value);
  }
  // The horizontal block comes first in the file, so list order is reading order.
  result.ClampedValues = ClampSplits(result.HorizontalSplits, result.VerticalSplits, width, height,
                                     sourceName, result.ClampMessages);
  return result;
}

void SaveGrid(const TSplitGrid& grid, const std::filesystem::path& path, const TGridFileHooks& hooks) {
  pg::WriteFileSafely(path, FormatGridText(grid));
  if (hooks.OnUsed) hooks.OnUsed(path);
}

void LoadGrid(TSplitGrid& grid, const std::filesystem::path& path, int32_t width, int32_t height,
              const TGridFileHooks& hooks) {
  TParsedGrid parsed = ParseGridText(ReadFileText(path, kMaxGridFileBytes, "a grid file", "a .grd file"),
                                     width, height, path.string());
  if (hooks.OnClamp) {
    for (const std::string& message : parsed.ClampMessages) hooks.OnClamp(message);
  }
  grid.HorizontalSplits = std::move(parsed.HorizontalSplits);
  grid.VerticalSplits = std::move(parsed.VerticalSplits);
  if (hooks.OnUsed) hooks.OnUsed(path);
}

}  // namespace tessel
