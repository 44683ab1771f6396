// tessel-cli export: the window's export without a window. The grid starts as the image's edges
// or comes from a grid file, flags add splits, and the per-slice questions are answered from a
// tab-separated links file.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "cli/image_files.h"
#include "imaging/formats/file_format.h"
#include "imaging/formats/row_source.h"
#include "imaging/image/pixel_graphic.h"
#include "workspace/grid_file.h"
#include "workspace/html_table.h"
#include "workspace/integer_text.h"
#include "workspace/output_formats.h"
#include "workspace/project_file.h"
#include "workspace/slice_export.h"

namespace tessel::cli {

namespace {

namespace fs = std::filesystem;

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

// The positions of every --vsplit or --hsplit, in command-line order. Their syntax is checked
// before the image is read; their range once its size is known.
std::vector<int64_t> SplitPositions(const TArguments& args, const std::string& option) {
  std::vector<int64_t> positions;
  for (const std::string& text : args.Values(option)) {
    for (int64_t position : WholeNumberList(option, text, INT32_MIN, INT32_MAX))
      positions.push_back(position);
  }
  return positions;
}

// Split positions from the command line: inside the image, each added once.
void AddSplits(TIntegerList& list, const std::vector<int64_t>& positions, const std::string& option,
               int32_t size) {
  for (const int64_t position : positions) {
    if (position < 0 || position > size) {
      throw EUsageError(option + ": " + std::to_string(position) + " lies outside the image (0 to " +
                        std::to_string(size) + ")");
    }
    if (!list.Contains(static_cast<int32_t>(position))) list.Add(static_cast<int32_t>(position));
  }
}

// --divide CxR: columns and rows, each at least 1.
std::optional<std::pair<int32_t, int32_t>> DivideFrom(const TArguments& args) {
  if (!args.Has("--divide")) return std::nullopt;
  const std::string text = args.Value("--divide");
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) throw EUsageError("--divide: expected CxR such as 3x2, got \"" + text + "\"");
  return std::make_pair(static_cast<int32_t>(WholeNumber("--divide", text.substr(0, x), 1, 1 << 20)),
                        static_cast<int32_t>(WholeNumber("--divide", text.substr(x + 1), 1, 1 << 20)));
}

// --format NAME[,NAME...]: the slices' formats, preferred first; the last is the one every page
// shows when it cannot show the others.
// The formats of --format, or else the project's (its picture formats, then its own), or else the
// default one.
std::vector<const TSliceFormat*> FormatsFrom(const TArguments& args, const TProject* project) {
  if (!args.Has("--format") && project != nullptr) {
    std::vector<const TSliceFormat*> formats;
    for (const std::string& name : project->Export.Options.PictureFormats)
      formats.push_back(FindSliceFormat(name));
    formats.push_back(FindSliceFormat(project->Export.Format));
    return formats;
  }
  const std::string text = args.Value("--format", std::string(DefaultSliceFormat().Name));
  std::vector<const TSliceFormat*> formats;
  for (const std::string_view item : SplitList(text)) {
    const std::string format(item);
    const TSliceFormat* found = FindSliceFormat(format);
    // Only the names as they are listed; FindSliceFormat would also take "PNG" and ".png".
    if (found == nullptr || (found->Name != format && found->Extension != format)) {
      throw EUsageError("--format: expected " + SliceFormatChoices() +
                        " (or several, separated by commas), got \"" + format + "\"");
    }
    if (std::find(formats.begin(), formats.end(), found) != formats.end())
      throw EUsageError("--format: " + std::string(found->Name) + " is listed twice in \"" + text + "\"");
    formats.push_back(found);
  }
  return formats;
}

// --style, --density, --base-url and --fragment over what `options` hold (a project's settings or
// the defaults), checked against each other and the formats: the classic table shows one format at
// one density, and the other options belong to other styles.
void PageOptionsFrom(const TArguments& args, size_t formatCount, TExportOptions& options) {
  const std::string style = args.Value("--style", std::string(OutputStyleName(options.Style)));
  const std::optional<TOutputStyle> found = FindOutputStyle(style);
  if (!found) throw EUsageError("--style: expected " + OutputStyleChoices() + ", got \"" + style + "\"");
  options.Style = *found;
  if (args.Has("--density"))
    options.Density = static_cast<int32_t>(WholeNumber("--density", args.Value("--density"), 1, kMaxDensity));
  options.BaseUrl = args.Value("--base-url", options.BaseUrl);
  options.Fragment = options.Fragment || args.Has("--fragment");
  if (options.Style == TOutputStyle::Classic) {
    const std::string other = " (--style email or --style responsive)";
    if (formatCount > 1) {
      throw EUsageError("--format " + args.Value("--format") +
                        ": the classic table shows one format only; several need another style" + other);
    }
    if (options.Density > 1) {
      throw EUsageError("--density " + std::to_string(options.Density) +
                        ": the classic table has no high-density slices; they need another style" + other);
    }
    if (args.Has("--base-url"))
      throw EUsageError("--base-url: the classic table takes none; it needs another style" + other);
  }
  if (options.Fragment && options.Style != TOutputStyle::Responsive)
    throw EUsageError("--fragment: only the responsive style writes a whole document (--style responsive)");
}

// One line per format: the slices written in it and the bytes of their files.
void PrintTotals(const std::string& html, const TExportReport& report) {
  for (const TFormatTotal& total : report.Totals()) {
    std::cout << html << ": " << total.Format << ": " << total.Slices
              << (total.Slices == 1 ? " slice, " : " slices, ") << total.Bytes
              << (total.Bytes == 1 ? " byte\n" : " bytes\n");
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

// column \t row \t URL \t target \t ALT, one slice a line; empty lines are skipped. A later line
// for the same slice replaces an earlier one's link, target and ALT text.
void ReadLinks(const std::string& path, TSliceTable& slices) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
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
    TSliceProperties properties = slices.Get({column, row});
    properties.Url = fields[2];
    properties.Target = fields[3];
    properties.Alt = fields[4];
    slices.Set({column, row}, properties);
  }
}

// Answers without asking: an existing HTML file is replaced only with --force, and the links come
// in as the slices' properties, so there is nothing to ask per slice.
class TCommandLineInteraction : public TExportInteraction {
 public:
  explicit TCommandLineInteraction(bool force) : force_(force) {}

  bool ConfirmOverwrite(const fs::path&, const std::string&, const std::string&) override { return force_; }
  bool ShowOptions(TExportOptions&) override { return true; }
  TSliceAnswer AskSlice(const pg::TPixelGraphic&, const TCellMarkup&, const TGridCell&, int64_t, int64_t,
                        TSliceProperties&) override {
    return TSliceAnswer::Next;
  }
  bool EditCode(std::vector<std::string>&) override { return true; }

 private:
  bool force_;
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

// The project of --project, or none.
std::optional<TProject> ProjectFrom(const TArguments& args) {
  if (!args.Has("--project")) return std::nullopt;
  const std::string path = args.Value("--project");
  if (args.Has("--grid")) throw EUsageError("--grid: the project of --project has its grid already");
  RefuseFolder(path, "a project file");
  return LoadProject(path);
}

int RunExport(const TArguments& args) {
  const std::optional<TProject> project = ProjectFrom(args);
  const std::string projectPath = args.Value("--project");
  if (args.Operands.empty() && !project) throw EUsageError("expected one IMAGE, or --project FILE");
  if (project && args.Operands.empty()) CheckProjectImage(*project, projectPath);
  // A picture given with a project stands in for the project's (a later version of it, say).
  const std::string imagePath = args.Operands.empty() ? project->ImagePath.string() : args.Operands[0];
  if (!args.Has("--html")) throw EUsageError("--html OUT.html is required");
  const std::string html = args.Value("--html");
  const std::string gridPath = args.Value("--grid");
  const std::string linksPath = args.Value("--links");
  const std::vector<int64_t> vsplits = SplitPositions(args, "--vsplit");
  const std::vector<int64_t> hsplits = SplitPositions(args, "--hsplit");
  const auto divide = DivideFrom(args);
  const std::vector<const TSliceFormat*> formats = FormatsFrom(args, project ? &*project : nullptr);
  TExportOptions options = project ? project->Export.Options : TExportOptions{};
  options.PictureFormats.clear();
  PageOptionsFrom(args, formats.size(), options);
  for (size_t i = 0; i + 1 < formats.size(); ++i) options.PictureFormats.emplace_back(formats[i]->Name);
  const std::string reportPath = args.Value("--report");
  const auto jobs =
      static_cast<int32_t>(args.Has("--jobs") ? WholeNumber("--jobs", args.Value("--jobs"), 1, 256) : 0);
  const TImagePolicy policy = ImagePolicyFrom(args);
  // The slices are written with the request's own save options: the JPEG settings and a warning
  // printer naming the page, which the worker threads may call at once.
  pg::TSaveOptions saveOptions = SaveOptionsFor(html, policy, args);
  if (project) {
    if (!args.Has("--quality")) saveOptions.JPEGQuality = project->Export.JpegQuality;
    if (!args.Has("--progressive")) saveOptions.JPEGProgressive = project->Export.JpegProgressive;
    // The project's WebP, AVIF and png8 settings, each unless its option is given.
    TFormatSettings encoding = project->Export.Encoding;
    if (args.Has("--quality")) encoding.WebPQuality = encoding.AVIFQuality = saveOptions.WebPQuality;
    if (args.Has("--speed")) encoding.AVIFSpeed = saveOptions.AVIFSpeed;
    if (args.Has("--colors")) encoding.PNGColors = saveOptions.PNGColors;
    if (!args.Last({"--dither", "--no-dither"}).empty()) encoding.PNGDither = saveOptions.PNGDither;
    encoding.ApplyTo(saveOptions);
  }

  if (!gridPath.empty()) RefuseFolder(gridPath, "a grid file");
  if (!linksPath.empty()) RefuseFolder(linksPath, "a links file");

  // The picture is decoded band by band while the slices are written, when its format allows;
  // otherwise it is loaded whole first.
  pg::TPixelGraphic source;
  const pg::TLoadOptions loadOptions = LoadOptionsFor(imagePath, policy);
  std::unique_ptr<pg::TRowSource> rows = OpenImageRows(imagePath, loadOptions);
  if (rows == nullptr) LoadImageFile(source, imagePath, loadOptions);
  const int32_t width = rows != nullptr ? rows->Width() : source.Width();
  const int32_t height = rows != nullptr ? rows->Height() : source.Height();

  TSplitGrid grid;
  TSliceTable slices;
  if (project) {
    grid = project->Grid;
    slices = project->Slices;
    // Positions beyond this picture come back to its edges, as a grid file's do.
    std::vector<std::string> messages;
    ClampGridToImage(grid, width, height, projectPath, messages);
    for (const std::string& message : messages) std::cerr << NameFile(projectPath, message) << "\n";
  } else if (gridPath.empty()) {
    grid.ResetGrid(width, height);
  } else {
    TGridFileHooks hooks;
    hooks.OnClamp = [](const std::string& message) { std::cerr << message << "\n"; };
    try {
      LoadGrid(grid, gridPath, width, height, hooks);
    } catch (const std::exception& e) {
      throw std::runtime_error(NameFile(gridPath, e.what()));
    }
  }
  const TSplitGrid given = grid;
  AddSplits(grid.VerticalSplits, vsplits, "--vsplit", width);
  AddSplits(grid.HorizontalSplits, hsplits, "--hsplit", height);
  if (divide) {
    const auto [columns, rows] = *divide;
    if (columns > std::max(width, 1) || rows > std::max(height, 1)) {
      throw EUsageError("--divide: more columns or rows than the image has pixels");
    }
    grid.Divide(columns, rows, width, height);
  }

  // Lines added here move the project's slice properties along with their cells.
  slices.Follow(TCellMap(given, grid));
  if (!linksPath.empty()) ReadLinks(linksPath, slices);
  TCommandLineInteraction interaction(args.Has("--force"));

  // Nobody is asked: the options dialog, the per-slice questions and the code editor are off.
  options.ShowOptions = false;
  options.IncAltTags = false;
  options.EditCode = false;
  options.AlwaysGrid = options.AlwaysGrid || args.Has("--save-grid");
  options.UpperCase = options.UpperCase || args.Has("--uppercase");
  options.DoubleQuote = options.DoubleQuote || args.Has("--doublequote");

  TExportRequest request;
  request.HtmlPath = html;
  if (rows != nullptr) {
    request.SourceRows = rows.get();
  } else {
    request.Source = &source;
  }
  request.Grid = &grid;
  request.Extension = formats.back()->Name;
  request.ReportPath = reportPath;
  request.Options = &options;
  request.Slices = &slices;
  request.Interaction = &interaction;
  request.Jobs = jobs;
  request.InputPaths = {imagePath};
  if (!linksPath.empty()) request.InputPaths.emplace_back(linksPath);
  if (project) request.InputPaths.emplace_back(projectPath);
  request.GridFilePath = gridPath;
  const bool showProgress = ::isatty(STDERR_FILENO) == 1;
  if (showProgress) request.OnProgress = DrawProgress;

  request.SaveOptions = saveOptions;
  TExportReport report;
  try {
    report = ExportSlices(request);
  } catch (const std::exception& e) {
    if (showProgress) std::fputc('\n', stderr);
    // The picture's own errors, met while it decodes, name its file as a load's would.
    if (rows != nullptr && rows->Failure() != nullptr && rows->Failure() == std::current_exception())
      throw std::runtime_error(NameFile(imagePath, e.what()));
    throw;
  } catch (...) {
    if (showProgress) std::fputc('\n', stderr);
    throw;
  }
  if (showProgress) std::fputc('\n', stderr);
  if (report.Result == TExportResult::Declined) {
    std::cerr << kOverwriteCaption << " " << html << " (use --force to replace it)\n";
    return 1;
  }
  PrintTotals(html, report);
  return 0;
}

}  // namespace

TCommand ExportCommand() {
  TCommandSpec spec;
  spec.Name = "export";
  std::string formatNames;
  for (const TSliceFormat& format : SliceFormats())
    formatNames += (formatNames.empty() ? "" : "|") + std::string(format.Name);
  spec.Synopsis =
      "(IMAGE | --project FILE.tessel [IMAGE]) --html OUT.html [--grid FILE.grd] [--vsplit X,..] [--hsplit "
      "Y,..] [--divide CxR] [--format " +
      formatNames +
      "[,..]] [--style classic|email|responsive] [--fragment] [--base-url URL] [--density N] "
      "[--quality N] [--progressive] [--speed N] [--colors N] [--dither|--no-dither] [--uppercase] "
      "[--doublequote] [--save-grid] [--links FILE] "
      "[--report FILE.json] [--force] [--jobs N] [--strict] [--max-pixels N]";
  spec.Summary = "cut an image into slices and write the HTML table that puts them together";
  spec.Description =
      "Cuts IMAGE along a grid of split lines and writes every cell as an image file of its own, named "
      "after OUT.html with the cell's column and row (OUT_11.jpg, OUT_21.jpg, ...), and OUT.html with the "
      "page that puts the slices back together. The grid starts as the image's edges or comes from a "
      "grid file; --vsplit, --hsplit and --divide add lines to it. A project file saved by the window "
      "brings the picture, the grid, every slice's link, target and ALT text and the export settings; "
      "options given as well take their place. Afterwards one line per format gives the slices written "
      "and the bytes of their files.";
  spec.Options = {
      {"--html", "OUT.html", "the HTML file to write (required); the slices go beside it"},
      {"--project", "FILE.tessel",
       "export a project saved by the window: its picture (or IMAGE, when given), grid, slice properties and "
       "export settings; options given here take the place of its settings"},
      {"--grid", "FILE.grd", "start from the split lines of a grid file (not with --project)"},
      {"--vsplit", "X,..",
       "add vertical split lines at these columns (0 to the image's width); may be repeated"},
      {"--hsplit", "Y,..",
       "add horizontal split lines at these rows (0 to the image's height); may be repeated"},
      {"--divide", "CxR", "add the lines that divide the image into C columns and R rows of equal size"},
      {"--format", "FORMAT,..",
       "the slices' format: " + SliceFormatChoices() + "; " + std::string(DefaultSliceFormat().Name) +
           " when not given. png8 is an indexed PNG of at most --colors colours, webp-lossless WebP without "
           "loss. Several, separated by commas, write every slice in each; the email and "
           "responsive pages offer them in that order in a <picture>, the last in its <img> for whatever "
           "shows no other"},
      {"--style", "STYLE",
       "the page: classic, the default, is the table of earlier versions; email is a table for e-mails "
       "and pages that start with <!DOCTYPE html>, its images shown as blocks without gaps and always with "
       "ALT text; responsive is an HTML5 document whose slices scale with the window, never wider than the "
       "image"},
      {"--fragment", "", "with --style responsive: only the part to paste into a page, not a whole document"},
      {"--base-url", "URL",
       "put URL before every slice's file name in the page, for images kept elsewhere (as e-mails need); "
       "email and responsive styles"},
      {"--density", "N",
       "IMAGE has N pixels per page pixel (2 or 3, for high-density screens): every slice is written at "
       "full resolution as OUT_11@2x.jpg and scaled down as OUT_11.jpg, and the page offers both; email "
       "and responsive styles"},
  };
  for (TOptionSpec& option : CodecOptions("slices", false)) spec.Options.push_back(std::move(option));
  spec.Options.insert(
      spec.Options.end(),
      {
          {"--uppercase", "", "write the HTML tags in capitals"},
          {"--doublequote", "", "put double quotes around the slices' file names"},
          {"--save-grid", "", "also write the grid beside the HTML file (OUT.grd)"},
          {"--links", "FILE",
           "link, target frame and ALT text per slice from a file with one slice a line: column, row, URL, "
           "target and ALT text, separated by tabs"},
          {"--report", "FILE.json",
           "also write a report of every slice: column, row, x, y, width, height and, per format, its file "
           "and bytes"},
          {"--force", "", "replace an existing HTML file"},
          {"--jobs", "N",
           "cut and write the slices on N threads (1 to 256); one per processor when not given"},
      });
  for (TOptionSpec& option : ImagePolicyOptions()) spec.Options.push_back(std::move(option));
  // IMAGE may be left out with --project, which names the picture.
  spec.MinOperands = 0;
  spec.MaxOperands = 1;
  spec.OperandsText = "one IMAGE";
  return {spec, RunExport};
}

}  // namespace tessel::cli
