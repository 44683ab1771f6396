// tessel-cli export: the window's export without a window. The grid starts as the image's edges
// or comes from a grid file, flags add splits, and the per-slice questions are answered from a
// tab-separated links file.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "imaging/formats/file_format.h"
#include "imaging/image/pixel_graphic.h"
#include "workspace/grid_file.h"
#include "workspace/html_table.h"
#include "workspace/integer_text.h"
#include "workspace/slice_export.h"

namespace tessel::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: tessel-cli export IMAGE --html OUT.html [--grid FILE.grd] [--vsplit X,X,...] [--hsplit Y,Y,...]\n"
    "       [--divide CxR] [--format jpg|bmp|tif|png] [--quality N] [--progressive] [--uppercase]\n"
    "       [--doublequote] [--save-grid] [--links FILE] [--force] [--jobs N]";

struct TUsageError {
  std::string Message;
};

struct TLinkAnswer {
  std::string Url, Target, Alt;
};

struct TExportArgs {
  std::string Image;
  std::string Html;
  std::string Grid;
  std::vector<std::string> VSplits, HSplits;
  std::optional<std::pair<int32_t, int32_t>> Divide;
  std::string Format = "jpg";
  int32_t Quality = 80;
  bool Progressive = false;
  bool UpperCase = false;
  bool DoubleQuote = false;
  bool SaveGrid = false;
  std::string Links;
  bool Force = false;
  int32_t Jobs = 0;
};

int32_t ParseNumber(const std::string& flag, const std::string& text, int32_t low, int32_t high) {
  int32_t value = 0;
  if (!TryStrToInt(text, value) || value < low || value > high) {
    throw TUsageError{flag + ": expected a number from " + std::to_string(low) + " to " +
                      std::to_string(high) + ", got \"" + text + "\""};
  }
  return value;
}

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

TExportArgs ParseArgs(const TArgs& args) {
  TExportArgs parsed;
  const auto value = [&](size_t& i) -> const std::string& {
    if (i + 1 >= args.size()) throw TUsageError{args[i] + " needs a value"};
    return args[++i];
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--html") {
      parsed.Html = value(i);
    } else if (arg == "--grid") {
      parsed.Grid = value(i);
    } else if (arg == "--vsplit") {
      for (const std::string& part : SplitOn(value(i), ',')) parsed.VSplits.push_back(part);
    } else if (arg == "--hsplit") {
      for (const std::string& part : SplitOn(value(i), ',')) parsed.HSplits.push_back(part);
    } else if (arg == "--divide") {
      const std::string& text = value(i);
      const size_t x = text.find_first_of("xX");
      if (x == std::string::npos) throw TUsageError{"--divide: expected CxR, got \"" + text + "\""};
      parsed.Divide = {ParseNumber("--divide", text.substr(0, x), 1, 1 << 20),
                       ParseNumber("--divide", text.substr(x + 1), 1, 1 << 20)};
    } else if (arg == "--format") {
      std::string format = value(i);
      if (!format.empty() && format[0] == '.') format.erase(0, 1);
      if (format != "jpg" && format != "bmp" && format != "tif" && format != "png") {
        throw TUsageError{"--format: expected jpg, bmp, tif or png, got \"" + format + "\""};
      }
      parsed.Format = format;
    } else if (arg == "--quality") {
      parsed.Quality = ParseNumber(arg, value(i), 1, 100);
    } else if (arg == "--progressive") {
      parsed.Progressive = true;
    } else if (arg == "--uppercase") {
      parsed.UpperCase = true;
    } else if (arg == "--doublequote") {
      parsed.DoubleQuote = true;
    } else if (arg == "--save-grid") {
      parsed.SaveGrid = true;
    } else if (arg == "--links") {
      parsed.Links = value(i);
    } else if (arg == "--force") {
      parsed.Force = true;
    } else if (arg == "--jobs") {
      parsed.Jobs = ParseNumber(arg, value(i), 1, 256);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw TUsageError{"unknown option " + arg};
    } else if (parsed.Image.empty()) {
      parsed.Image = arg;
    } else {
      throw TUsageError{"more than one image given"};
    }
  }
  if (parsed.Image.empty()) throw TUsageError{"no image given"};
  if (parsed.Html.empty()) throw TUsageError{"--html is required"};
  return parsed;
}

// Split positions from the command line: inside the image, each added once.
void AddSplits(TIntegerList& list, const std::vector<std::string>& values, const std::string& flag,
               int32_t size) {
  for (const std::string& text : values) {
    const int32_t position = ParseNumber(flag, text, 0, size);
    if (!list.Contains(position)) list.Add(position);
  }
}

// One line without its LF; a line longer than any link can need (a device such as /dev/zero)
// is refused instead of being read into memory without bound.
bool ReadLinkLine(std::istream& in, std::string& line, const std::string& path) {
  constexpr size_t kMaxLine = size_t{1} << 20;
  line.clear();
  std::istreambuf_iterator<char> it(in), end;
  if (it == end) return false;
  for (; it != end; ++it) {
    if (*it == '\n') {
      ++it;
      return true;
    }
    if (line.size() >= kMaxLine)
      throw std::runtime_error("File \"" + path + "\": line too long for a links file");
    line += *it;
  }
  return true;
}

// column \t row \t URL \t target \t ALT, one slice a line; empty lines are skipped.
std::map<std::pair<int32_t, int32_t>, TLinkAnswer> ReadLinks(const std::string& path) {
  std::error_code ignored;
  std::ifstream in(path, std::ios::binary);
  if (!in || fs::is_directory(path, ignored)) throw std::runtime_error("Cannot open file \"" + path + "\"");
  std::map<std::pair<int32_t, int32_t>, TLinkAnswer> links;
  std::string line;
  int lineNumber = 0;
  while (ReadLinkLine(in, line, path)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::string> fields = SplitOn(line, '\t');
    int32_t column = 0, row = 0;
    if (fields.size() < 2 || !TryStrToInt(fields[0], column) || !TryStrToInt(fields[1], row)) {
      throw std::runtime_error(path + ":" + std::to_string(lineNumber) +
                               ": expected column, row, URL, target and ALT text separated by tabs");
    }
    fields.resize(5);
    links[{column, row}] = {fields[2], fields[3], fields[4]};
  }
  return links;
}

class TCommandLineInteraction : public TExportInteraction {
 public:
  TCommandLineInteraction(bool force, std::map<std::pair<int32_t, int32_t>, TLinkAnswer> links)
      : force_(force), links_(std::move(links)) {}

  bool ConfirmOverwrite(const fs::path&, const std::string&, const std::string&) override { return force_; }
  void ShowOptions(TExportOptions&) override {}
  std::string AskSliceCode(const pg::TPixelGraphic&, const std::string& openTag,
                           const TGridCell& cell) override {
    const auto it = links_.find({cell.Column, cell.Row});
    if (it == links_.end()) return CellCode(openTag, "", "", "");
    return CellCode(openTag, it->second.Url, it->second.Target, it->second.Alt);
  }
  void EditCode(std::vector<std::string>&) override {}

 private:
  bool force_;
  std::map<std::pair<int32_t, int32_t>, TLinkAnswer> links_;
};

// A one-line bar redrawn in place; only used while standard error is a terminal.
void DrawProgress(int64_t done, int64_t total) {
  constexpr int kWidth = 40;
  const int filled = total > 0 ? static_cast<int>(done * kWidth / total) : kWidth;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(stderr, "\rslices [%s] %lld/%lld", bar.c_str(), static_cast<long long>(done),
               static_cast<long long>(total));
  std::fflush(stderr);
}

}  // namespace

int RunExport(const TArgs& args) {
  TExportArgs parsed;
  try {
    parsed = ParseArgs(args);
  } catch (const TUsageError& e) {
    std::cerr << "tessel-cli export: " << e.Message << "\n" << kUsage << "\n";
    return 2;
  }

  pg::TPixelGraphic source;
  source.LoadFromFile(parsed.Image);
  const int32_t width = source.Width();
  const int32_t height = source.Height();

  TSplitGrid grid;
  if (parsed.Grid.empty()) {
    grid.ResetGrid(width, height);
  } else {
    TGridFileHooks hooks;
    hooks.OnClamp = [](const std::string& message) { std::cerr << message << "\n"; };
    LoadGrid(grid, parsed.Grid, width, height, hooks);
  }
  try {
    AddSplits(grid.VerticalSplits, parsed.VSplits, "--vsplit", width);
    AddSplits(grid.HorizontalSplits, parsed.HSplits, "--hsplit", height);
    if (parsed.Divide) {
      const auto [columns, rows] = *parsed.Divide;
      if (columns > std::max(width, 1) || rows > std::max(height, 1)) {
        throw TUsageError{"--divide: more columns or rows than the image has pixels"};
      }
      grid.Divide(columns, rows, width, height);
    }
  } catch (const TUsageError& e) {
    std::cerr << "tessel-cli export: " << e.Message << "\n" << kUsage << "\n";
    return 2;
  }

  auto links =
      parsed.Links.empty() ? std::map<std::pair<int32_t, int32_t>, TLinkAnswer>{} : ReadLinks(parsed.Links);
  TCommandLineInteraction interaction(parsed.Force, std::move(links));

  TExportOptions options;
  options.ShowOptions = false;
  options.IncAltTags = !parsed.Links.empty();
  options.AlwaysGrid = parsed.SaveGrid;
  options.UpperCase = parsed.UpperCase;
  options.DoubleQuote = parsed.DoubleQuote;

  pg::FormatOptions().JPEGQuality = parsed.Quality;
  pg::FormatOptions().JPEGProgressive = parsed.Progressive;

  TExportRequest request;
  request.HtmlPath = parsed.Html;
  request.Source = &source;
  request.Grid = &grid;
  request.Extension = "." + parsed.Format;
  request.Options = &options;
  request.Interaction = &interaction;
  request.Jobs = parsed.Jobs;
  const bool showProgress = ::isatty(STDERR_FILENO) == 1;
  if (showProgress) request.OnProgress = DrawProgress;

  TExportReport report;
  try {
    report = ExportSlices(request);
  } catch (...) {
    if (showProgress) std::fputc('\n', stderr);
    throw;
  }
  if (showProgress) std::fputc('\n', stderr);
  if (report.Result == TExportResult::Declined) {
    std::cerr << kOverwriteCaption << " " << parsed.Html << " (use --force to replace it)\n";
    return 1;
  }
  std::cout << parsed.Html << ": " << report.SlicesWritten << " slices\n";
  return 0;
}

}  // namespace tessel::cli
