// The export: cuts the source image along the (sorted) split grid, writes every cell as an image
// file of its own and one HTML file whose table puts the slices back together, and optionally the
// grid file. Everything it asks of the user goes through TExportInteraction, so it runs and is
// tested without a window.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imaging/formats/format_options.h"
#include "workspace/html_styles.h"
#include "workspace/slice_properties.h"
#include "workspace/split_grid.h"

namespace pg {
class TPixelGraphic;
class TRowSource;
}  // namespace pg

namespace tessel {

// The export options: the six check boxes, and how the page is written beyond the classic table.
struct TExportOptions {
  bool IncAltTags = false;   // ask for link and ALT text per slice
  bool EditCode = false;     // let the user edit the whole HTML text before it is written
  bool AlwaysGrid = false;   // also write base.grd beside the HTML file
  bool DoubleQuote = false;  // " instead of ' around the SRC value (classic only)
  bool UpperCase = false;    // <TAG> instead of <tag> (classic only)
  bool ShowOptions = true;   // show the options at the start of every export

  TOutputStyle Style = TOutputStyle::Classic;
  // Formats every slice is also written in, offered before the export's own format in a <picture>,
  // preferred first ("avif", "webp"). Not with the classic style.
  std::vector<std::string> PictureFormats;
  // Pixels of the source per page pixel (1 to kMaxDensity). Above 1 every slice is written at full
  // resolution as base_CR@2x.ext and scaled down to page size as base_CR.ext. Not with the classic
  // style.
  int32_t Density = 1;
  std::string BaseUrl;    // put before every slice's URL (e-mail and responsive styles)
  bool Fragment = false;  // responsive style: only the part to paste, not a whole document

  friend bool operator==(const TExportOptions&, const TExportOptions&) = default;
};

// The caption and text of the overwrite question for an existing HTML file.
inline constexpr const char* kOverwriteCaption = "File already exists!";
std::string OverwriteQuestion(const std::filesystem::path& htmlPath);

// The answer to the question about one slice.
enum class TSliceAnswer {
  Next,    // go on with the next slice (the properties as the user left them)
  Back,    // ask about the previous slice again
  Cancel,  // end the export with nothing written
};

// What the export asks of the user. The window answers with dialogs, tessel-cli with its flags,
// tests with fakes. All calls come from the thread that runs the export, and all come before the
// export writes anything.
class TExportInteraction {
 public:
  virtual ~TExportInteraction() = default;
  // The HTML file exists: replace it? (text "Overwrite <path>?", caption "File already exists!",
  // OK and Cancel). False ends the export with nothing written.
  virtual bool ConfirmOverwrite(const std::filesystem::path& htmlPath, const std::string& text,
                                const std::string& caption) = 0;
  // The options dialog; the export continues with `options` as they stand afterwards, or ends with
  // nothing written when this returns false.
  virtual bool ShowOptions(TExportOptions& options) = 0;
  // Link, target and ALT text of the slice `cell` (number `position` of `count` slices asked
  // about), shown as `slice`; `properties` come filled with what the slice has stored and are
  // changed to the answers. The cell code follows from the markup and the answers (markup.Code).
  virtual TSliceAnswer AskSlice(const pg::TPixelGraphic& slice, const TCellMarkup& markup,
                                const TGridCell& cell, int64_t position, int64_t count,
                                TSliceProperties& properties) = 0;
  // The whole HTML text before anything is written; the lines are replaced by the edited ones.
  // False ends the export with nothing written.
  virtual bool EditCode(std::vector<std::string>& lines) = 0;
  // The grid file was written (the window puts it at the top of its recent grids).
  virtual void GridSaved(const std::filesystem::path& gridPath) { (void)gridPath; }
  // The slices' save options as the request gives them, after the options were shown and before
  // any slice is cut: the window sets what its options dialog holds for WebP, AVIF and png8.
  virtual void CompleteSaveOptions(pg::TSaveOptions& options) { (void)options; }
};

enum class TExportResult {
  Done,
  Declined,   // the user declined to overwrite the HTML file: nothing written
  Cancelled,  // a dialog's Cancel (nothing written) or the cancel flag (slices written so far
              // stay, no HTML and no grid)
};

struct TExportRequest {
  std::filesystem::path HtmlPath;
  // The picture to cut: the whole image, or its rows decoded band by band (a streamed export, which
  // never holds the whole picture: the slices of a grid row are cut as its rows decode and written
  // while the next rows decode, and take their names once the whole picture has been read). Exactly
  // one of the two is given; the files are the same, and so is what a failure leaves.
  const pg::TPixelGraphic* Source = nullptr;
  pg::TRowSource* SourceRows = nullptr;
  // Bytes of source rows a streamed export decodes at once (at least one row); with the slices of
  // about two grid rows, what it holds in memory.
  int64_t PieceBytes = int64_t{1} << 20;
  TSplitGrid* Grid = nullptr;  // sorted in place; the order stays
  // The slices' format: a listed format's name or extension ("png8", "webp-lossless", ".png"),
  // which also sets what it writes in the save options, or any writer's extension (a missing dot
  // is added).
  std::string Extension = ".jpg";
  // Link, target, ALT text and format of the slices that have any, by their cell in the sorted
  // grid; none when null.
  const TSliceTable* Slices = nullptr;
  TExportOptions* Options = nullptr;
  TExportInteraction* Interaction = nullptr;
  // Used for the slices when one thread cuts them (the window keeps one for every export); a
  // local one when null.
  pg::TPixelGraphic* WorkingImage = nullptr;
  // Worker threads when no question is asked per slice; 0 means one per processor. The files are
  // the same, byte for byte, whatever the count.
  int32_t Jobs = 0;
  // Slices done of all cells, called on the exporting thread (also with 0 at the start).
  std::function<void(int64_t done, int64_t total)> OnProgress;
  // Raised by the caller (from any thread) to stop the export.
  const std::atomic<bool>* Cancel = nullptr;
  // Files read for this export (the source image's file, a links file, a project file): no file
  // the export writes may be one of them.
  std::vector<std::filesystem::path> InputPaths;
  // The grid file the grid was loaded from, if any. Only the grid written on export may replace
  // it (writing the grid back is what that option is for); no slice or HTML file may.
  std::filesystem::path GridFilePath;
  // How the slices are saved (JPEG quality and progression, WebP and AVIF quality, the colours of
  // an indexed PNG, ...); unset: the process-wide defaults as they stand when the export starts.
  // Without EncoderThreads the slices' encoders share the processors among the workers.
  std::optional<pg::TSaveOptions> SaveOptions;
  // Where to write the size report (JSON) after the page; none when empty.
  std::filesystem::path ReportPath;
};

// One format of a written slice.
struct TSliceFile {
  std::string Format;  // "png"
  std::string File;    // the file's name (at page size in a high-density export)
  int64_t Bytes = 0;
  std::string DenseFile;  // a high-density export's full-resolution file; empty otherwise
  int64_t DenseBytes = 0;
};

// A written slice: its cell in source pixels, its size on the page and its files.
struct TSliceRecord {
  TGridCell Cell;
  int32_t PageLeft = 0, PageTop = 0, PageWidth = 0, PageHeight = 0;
  std::vector<TSliceFile> Files;  // one per format, in the export's order
};

// The slices and bytes written in one format.
struct TFormatTotal {
  std::string Format;
  int64_t Slices = 0;
  int64_t Bytes = 0;  // all its files, full-resolution ones included
};

struct TExportReport {
  TExportResult Result = TExportResult::Done;
  std::vector<std::string> Lines;  // the HTML lines as written
  int64_t SlicesWritten = 0;
  // The slices' properties as the export used them: the request's, with the answers of the
  // per-slice questions.
  TSliceTable Slices;
  // The options as the export used them, and its formats (preferred first; the last is the <img>'s).
  TExportOptions Options;
  std::vector<std::string> Formats;
  // Every slice written, in cell order (row by row).
  std::vector<TSliceRecord> Records;

  // Slices and bytes per format: the export's formats in their order, then any format a slice
  // asked for on its own.
  std::vector<TFormatTotal> Totals() const;
  int64_t TotalBytes() const;
};

// Runs the export. Before anything is written, every file it will write is worked out and the
// export is refused (EExportError naming both paths) when one of them is an input file or another
// output under a different name, or when a folder, pipe or device stands where a file goes.
// Every question is asked before anything is written. Failures later (a slice or the HTML that
// cannot be written) raise with the error's text and stop the export there: no slice is written
// after one failed, slices written before stay, and neither the HTML nor the grid file is written.
TExportReport ExportSlices(const TExportRequest& request);

}  // namespace tessel
