#include "workspace/slice_export.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/safe_file.h"
#include "workspace/errors.h"
#include "workspace/export_report.h"
#include "workspace/grid_file.h"
#include "workspace/html_table.h"
#include "workspace/output_formats.h"

namespace tessel {

namespace {

namespace fs = std::filesystem;

bool Cancelled(const TExportRequest& request) {
  return request.Cancel != nullptr && request.Cancel->load(std::memory_order_relaxed);
}

void Progress(const TExportRequest& request, int64_t done, int64_t total) {
  if (request.OnProgress) request.OnProgress(done, total);
}

// More cells than any page can use; a grid file full of repeated positions would otherwise make
// the export build gigabytes of table text.
constexpr int64_t kMaxCells = int64_t{1} << 24;

// Every cell must lie inside the source; only the ends of the sorted lists can fall outside
// (a grid file may hold negative positions).
void CheckGridInsideImage(const TSplitGrid& grid, const pg::TPixelGraphic& source) {
  if (grid.ColumnCount() == 0 || grid.RowCount() == 0) return;
  const auto check = [](const TIntegerList& list, int32_t size) {
    for (int32_t value : {list[0], list[list.Count() - 1]}) {
      if (value < 0 || value > size) {
        throw EExportError("Split position " + std::to_string(value) + " lies outside the image (0-" +
                           std::to_string(size) + ")");
      }
    }
  };
  check(grid.VerticalSplits, source.Width());
  check(grid.HorizontalSplits, source.Height());
}

// The formats of the export, preferred first: the picture formats, then the request's own
// extension (also one outside the list of slice formats, as before). Refuses names that are not
// slice formats, a format named twice, and what the classic table cannot show.
std::vector<TSliceFormat> ExportFormats(const std::string& extension, const TExportOptions& options) {
  if (options.Density < 1 || options.Density > kMaxDensity) {
    throw EExportError("The density must be 1 to " + std::to_string(kMaxDensity) + ", not " +
                       std::to_string(options.Density));
  }
  if (options.Style == TOutputStyle::Classic && options.Density > 1) {
    throw EExportError("The classic table cannot show high-density slices (density " +
                       std::to_string(options.Density) + "); choose the email or responsive style");
  }
  if (options.Style == TOutputStyle::Classic && !options.PictureFormats.empty()) {
    throw EExportError(
        "The classic table shows one format only; choose the email or responsive style to write "
        "several");
  }
  std::vector<TSliceFormat> formats;
  for (const std::string& name : options.PictureFormats) {
    const TSliceFormat* format = FindSliceFormat(name);
    if (format == nullptr)
      throw EExportError("\"" + name + "\" is not a slice format; choose " + SliceFormatChoices());
    formats.push_back(*format);
  }
  const TSliceFormat* own = FindSliceFormat(extension);
  formats.push_back(
      own != nullptr ? *own
                     : TSliceFormat{std::string_view(extension).substr(1), extension, "", "", "", nullptr});
  for (size_t i = 0; i < formats.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (formats[i].Extension == formats[j].Extension)
        throw EExportError("The format " + std::string(formats[i].Name) + " is named twice");
    }
  }
  return formats;
}

// One export's fixed inputs, shared read-only by the workers.
struct TExportJob {
  const pg::TPixelGraphic& Source;
  const TSplitGrid& Grid;
  const TExportNames& Names;
  const THtmlStyle& Style;
  const TExportOptions& Options;
  const std::vector<TSliceFormat>& Formats;
  // The request's save options; each format sets in its copy what it writes (TSliceFormat).
  const pg::TSaveOptions& SaveOptions;
  const TSliceTable& Slices;

  // The export's formats, or the one the slice asks for.
  std::vector<TSliceFormat> FormatsOf(const TGridCell& cell) const {
    const std::string& format = Slices.Get({cell.Column, cell.Row}).Format;
    if (format.empty()) return Formats;
    const TSliceFormat* own = FindSliceFormat(format);
    if (own == nullptr) {
      throw EExportError("Slice " + std::to_string(cell.Number) + " (column " + std::to_string(cell.Column) +
                         ", row " + std::to_string(cell.Row) + ") asks for the format \"" + format +
                         "\", which is not one of " + SliceFormatChoices());
    }
    return {*own};
  }

  int32_t Density() const { return Options.Density; }

  // The cell's file in `format`; with `dense` the full-resolution file of a high-density export.
  std::string SliceFileName(const TGridCell& cell, const TSliceFormat& format, bool dense = false) const {
    return Names.SliceFileName(cell.Column, cell.Row, Grid.ColumnCount(), Grid.RowCount(), format.Extension,
                               dense ? Density() : 1);
  }
  // Every file of the cell: for each format the page-size file, then the full-resolution one.
  std::vector<std::string> SliceFileNames(const TGridCell& cell) const {
    std::vector<std::string> names;
    for (const TSliceFormat& format : FormatsOf(cell)) {
      names.push_back(SliceFileName(cell, format));
      if (Density() > 1) names.push_back(SliceFileName(cell, format, true));
    }
    return names;
  }

  // The cell on the page: its edges divided by the density, rounded.
  int32_t PageWidth(const TGridCell& cell) const {
    return PageEdge(cell.Left + cell.Width, Density()) - PageEdge(cell.Left, Density());
  }
  int32_t PageHeight(const TGridCell& cell) const {
    return PageEdge(cell.Top + cell.Height, Density()) - PageEdge(cell.Top, Density());
  }
  // A cell that is empty on the page has no slice.
  bool Shows(const TGridCell& cell) const { return PageWidth(cell) > 0 && PageHeight(cell) > 0; }

  // Cuts the cell into `work` at 24 bits per pixel.
  void CutSlice(pg::TPixelGraphic& work, const TGridCell& cell) const {
    work.NewImage(cell.Width, cell.Height, pg::bc24Bit);
    work.CopyRect(0, 0, cell.Width, cell.Height, cell.Left, cell.Top, Source);
  }

  // Writes the cell's pixels (`pixels`, the cell at source resolution) in each of its formats,
  // every file through a temporary one that takes the slice's name through `commit` (see
  // WriteFileSafely). A high-density export writes `pixels` as the full-resolution files and a
  // copy scaled to the page size as the page-size ones. `record` gets the files that took their
  // names. Returns whether all did.
  bool WriteCellFiles(pg::TPixelGraphic& pixels, const TGridCell& cell,
                      const std::function<void(const std::function<void()>&)>& commit,
                      TSliceRecord& record) const {
    const std::vector<TSliceFormat> formats = FormatsOf(cell);
    record.Cell = cell;
    record.PageLeft = PageEdge(cell.Left, Density()) - PageEdge(Grid.VerticalSplits[0], Density());
    record.PageTop = PageEdge(cell.Top, Density()) - PageEdge(Grid.HorizontalSplits[0], Density());
    record.PageWidth = PageWidth(cell);
    record.PageHeight = PageHeight(cell);
    record.Files.assign(formats.size(), {});
    bool all = true;
    const auto write = [&](pg::TPixelGraphic& image, const std::string& name, const TSliceFormat& format,
                           int64_t& bytes) {
      const pg::TSaveOptions options = format.OptionsFrom(SaveOptions);
      const bool written = pg::WriteFileSafely(
          Names.SlicePath(name),
          [&](pg::TStream& stream) {
            pg::SaveImage(image, stream, format.Extension, options);
            bytes = stream.Size();
          },
          commit);
      if (!written) bytes = 0;
      all = all && written;
      return written;
    };
    const bool dense = Density() > 1;
    for (size_t i = 0; i < formats.size(); ++i) {
      TSliceFile& file = record.Files[i];
      file.Format = formats[i].Name;
      if (dense) {
        const std::string name = SliceFileName(cell, formats[i], true);
        if (write(pixels, name, formats[i], file.DenseBytes)) file.DenseFile = name;
      } else {
        const std::string name = SliceFileName(cell, formats[i]);
        if (write(pixels, name, formats[i], file.Bytes)) file.File = name;
      }
    }
    if (!dense) return all;
    pg::TPixelGraphic page;
    page.NewImage(record.PageWidth, record.PageHeight, pg::bc24Bit);
    page.SetStretchMode(pg::smPrecise);
    page.CopyFrom(pixels);
    for (size_t i = 0; i < formats.size(); ++i) {
      TSliceFile& file = record.Files[i];
      const std::string name = SliceFileName(cell, formats[i]);
      if (write(page, name, formats[i], file.Bytes)) file.File = name;
    }
    return all;
  }

  // Cuts the cell and writes its files.
  bool WriteSlice(pg::TPixelGraphic& work, const TGridCell& cell,
                  const std::function<void(const std::function<void()>&)>& commit,
                  TSliceRecord& record) const {
    CutSlice(work, cell);
    return WriteCellFiles(work, cell, commit, record);
  }

  TCellMarkup Markup(const TGridCell& cell) const {
    const std::vector<TSliceFormat> formats = FormatsOf(cell);
    if (Options.Style == TOutputStyle::Classic)
      return {TOutputStyle::Classic,
              Style.OpenImageTag(SliceFileName(cell, formats.back()), cell.Width, cell.Height),
              {}};
    TStyledSlice slice;
    for (const TSliceFormat& format : formats) {
      slice.Images.push_back({format.MimeType, SliceFileName(cell, format),
                              Density() > 1 ? SliceFileName(cell, format, true) : std::string()});
    }
    slice.Width = PageWidth(cell);
    slice.Height = PageHeight(cell);
    slice.Top = PageEdge(cell.Top, Density()) - PageEdge(Grid.HorizontalSplits[0], Density());
    slice.Density = Density();
    slice.BaseUrl = Options.BaseUrl;
    return StyledCellMarkup(Options.Style, slice);
  }

  std::string CellCodeOf(const TGridCell& cell) const {
    const TSliceProperties& properties = Slices.Get({cell.Column, cell.Row});
    return Markup(cell).Code(properties.Url, properties.Target, properties.Alt);
  }

  // The grid as the page shows it, with every cell's code.
  TPageGrid PageGrid() const {
    TPageGrid page;
    const auto sizes = [this](const TIntegerList& splits, std::vector<int32_t>& sizes) {
      for (int32_t i = 1; i < splits.Count(); ++i)
        sizes.push_back(PageEdge(splits[i], Density()) - PageEdge(splits[i - 1], Density()));
    };
    sizes(Grid.VerticalSplits, page.ColumnWidths);
    sizes(Grid.HorizontalSplits, page.RowHeights);
    page.CellCode = [this](int32_t column, int32_t row) { return CellCodeOf(Grid.Cell(column, row)); };
    return page;
  }
};

// What a file of the export is to it; outputs first.
enum class TFileRole { Html, Grid, Report, Slice, Input, GridInput };

bool IsOutput(TFileRole role) {
  return role <= TFileRole::Slice;
}

// One file the export writes or has read, reduced to its identity: an existing file by device and
// inode, a name not there yet by its folder's device and inode and a hash of the name. `Index` is
// the cell (slices) or the input's place in the request; `File` which of a slice's files it is.
struct TFileEntry {
  dev_t Device = 0;
  ino_t Inode = 0;
  bool Named = false;
  size_t NameHash = 0;
  TFileRole Role = TFileRole::Slice;
  int64_t Index = 0;
  size_t File = 0;

  auto Key() const { return std::tie(Device, Inode, Named, NameHash); }
};

fs::path PathOf(const TExportRequest& request, const TExportJob& job, const TFileEntry& entry) {
  switch (entry.Role) {
    case TFileRole::Slice:
      return job.Names.SlicePath(job.SliceFileNames(job.Grid.CellAt(entry.Index))[entry.File]);
    case TFileRole::Html:
      return request.HtmlPath;
    case TFileRole::Report:
      return request.ReportPath;
    case TFileRole::Grid:
      return job.Names.GridPath();
    case TFileRole::Input:
      return request.InputPaths[static_cast<size_t>(entry.Index)];
    case TFileRole::GridInput:
      return request.GridFilePath;
  }
  return {};
}

std::string Describe(const TExportRequest& request, const TExportJob& job, const TFileEntry& entry) {
  const std::string path = "\"" + PathOf(request, job, entry).string() + "\"";
  switch (entry.Role) {
    case TFileRole::Slice:
      return "the slice " + path;
    case TFileRole::Html:
      return "the HTML file " + path;
    case TFileRole::Grid:
      return "the grid file " + path;
    case TFileRole::Report:
      return "the report " + path;
    case TFileRole::Input:
    case TFileRole::GridInput:
      return path;
  }
  return path;
}

// Refuses the export, before anything is written, when a file it writes is one it read, when two
// of its files are the same file under different names, or when something other than a regular
// file stands where one goes. Identities, not spellings, are compared, so "./a.png", symbolic
// links and hard links are caught too.
void CheckFilesToWrite(const TExportRequest& request, const TExportJob& job, bool writesGrid) {
  std::vector<TFileEntry> entries;
  const auto add = [&](const fs::path& path, TFileRole role, int64_t index, size_t file = 0) {
    pg::TFileIdentity identity;
    if (IsOutput(role)) {
      identity = pg::FileIdentity(path);
      const std::string kind = pg::NotRegularFileKind(identity.Type);
      if (!kind.empty()) {
        throw EExportError(
            "Export refused: " + Describe(request, job, {.Role = role, .Index = index, .File = file}) +
            " is " + kind + ", not a regular file; nothing was written");
      }
    } else {
      try {
        identity = pg::FileIdentity(path);
      } catch (const std::exception&) {
        return;  // an input whose folder is gone shares no file with the outputs
      }
    }
    entries.push_back({identity.Device, identity.Inode, !identity.Exists(),
                       identity.Exists() ? 0 : std::hash<std::string>{}(identity.Name), role, index, file});
  };

  add(request.HtmlPath, TFileRole::Html, 0);
  if (writesGrid) add(job.Names.GridPath(), TFileRole::Grid, 0);
  if (!request.ReportPath.empty()) add(request.ReportPath, TFileRole::Report, 0);
  for (int64_t index = 0; index < job.Grid.CellCount(); ++index) {
    const TGridCell cell = job.Grid.CellAt(index);
    if (!job.Shows(cell)) continue;
    const std::vector<std::string> names = job.SliceFileNames(cell);
    for (size_t file = 0; file < names.size(); ++file)
      add(job.Names.SlicePath(names[file]), TFileRole::Slice, index, file);
  }
  for (size_t i = 0; i < request.InputPaths.size(); ++i) {
    if (!request.InputPaths[i].empty()) add(request.InputPaths[i], TFileRole::Input, static_cast<int64_t>(i));
  }
  if (!request.GridFilePath.empty()) add(request.GridFilePath, TFileRole::GridInput, 0);

  std::sort(entries.begin(), entries.end(), [](const TFileEntry& a, const TFileEntry& b) {
    return std::make_tuple(a.Key(), a.Role, a.Index, a.File) <
           std::make_tuple(b.Key(), b.Role, b.Index, b.File);
  });
  const auto sameFile = [&](const TFileEntry& a, const TFileEntry& b) {
    if (a.Key() != b.Key()) return false;
    // Names not there yet in the same folder: equal hashes, so compare the names themselves.
    return !a.Named || pg::WriteDestination(PathOf(request, job, a)).filename() ==
                           pg::WriteDestination(PathOf(request, job, b)).filename();
  };
  for (size_t first = 0; first < entries.size();) {
    size_t end = first + 1;
    while (end < entries.size() && entries[end].Key() == entries[first].Key()) ++end;
    // Outputs sort before inputs within a group of equal keys.
    for (size_t a = first; a < end && IsOutput(entries[a].Role); ++a) {
      for (size_t b = a + 1; b < end; ++b) {
        const TFileEntry& output = entries[a];
        const TFileEntry& other = entries[b];
        if (!sameFile(output, other)) continue;
        if (output.Role == TFileRole::Grid && other.Role == TFileRole::GridInput) continue;
        if (IsOutput(other.Role)) {
          throw EExportError("Export refused: " + Describe(request, job, output) + " and " +
                             Describe(request, job, other) + " are the same file; nothing was written");
        }
        throw EExportError("Export refused: " + Describe(request, job, output) + " would overwrite " +
                           Describe(request, job, other) + ", a file the export reads; nothing was written");
      }
    }
    first = end;
  }
}

// The slices of every non-empty cell, cut and encoded on `threads` workers with one working image
// each (with one thread: on the calling thread, in `single`). Progress
// is reported, and the cancel flag watched, on the calling thread. The first failure stops the
// export: from then on no slice takes its name, not even one a worker had already encoded. Returns
// false when cancelled; rethrows the failure of the earliest cell that failed. `records` get the
// slices written, in cell order.
bool WriteSlices(const TExportRequest& request, const TExportJob& job, int32_t threads,
                 pg::TPixelGraphic& single, int64_t& written, std::vector<TSliceRecord>& records) {
  const int64_t total = job.Grid.CellCount();
  std::atomic<int64_t> next{0};
  std::atomic<int64_t> done{0};
  std::atomic<int64_t> slices{0};
  std::atomic<bool> stop{false};
  std::mutex mutex;
  std::condition_variable wake;
  int32_t running = threads;
  int64_t failedCell = total;
  std::exception_ptr failure;

  // A slice is renamed into place only while nothing has failed; failures are recorded under the
  // same lock, so no slice appears after the first failure.
  const auto commit = [&](const std::function<void()>& replace) {
    std::lock_guard lock(mutex);
    if (!stop.load()) replace();
  };
  // Each worker keeps the records of its slices with their cell's index; they are merged at the end.
  using TIndexedRecords = std::vector<std::pair<int64_t, TSliceRecord>>;
  const auto work = [&](pg::TPixelGraphic& image, TIndexedRecords& doneRecords) {
    for (;;) {
      if (stop.load(std::memory_order_relaxed) || Cancelled(request)) break;
      const int64_t index = next.fetch_add(1);
      if (index >= total) break;
      const TGridCell cell = job.Grid.CellAt(index);
      try {
        TSliceRecord record;
        if (job.Shows(cell) && job.WriteSlice(image, cell, commit, record)) {
          slices.fetch_add(1);
          doneRecords.emplace_back(index, std::move(record));
        }
      } catch (...) {
        std::lock_guard lock(mutex);
        if (index < failedCell) {
          failedCell = index;
          failure = std::current_exception();
        }
        stop = true;
      }
      done.fetch_add(1);
      wake.notify_one();
    }
  };

  if (threads <= 1) {
    // On the calling thread, with the caller's working image; a failure simply ends the loop.
    for (int64_t index = 0; index < total; ++index) {
      if (Cancelled(request)) return false;
      const TGridCell cell = job.Grid.CellAt(index);
      TSliceRecord record;
      if (job.Shows(cell) && job.WriteSlice(single, cell, commit, record)) {
        ++written;
        records.push_back(std::move(record));
      }
      Progress(request, index + 1, total);
    }
    return true;
  }

  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(threads));
  // Whatever leaves this function (a failed thread start, a progress handler that throws), the
  // workers are stopped and joined first.
  const auto stopAndJoin = [&] {
    stop = true;
    for (std::thread& worker : workers) {
      if (worker.joinable()) worker.join();
    }
  };
  std::vector<TIndexedRecords> threadRecords(static_cast<size_t>(threads));
  const auto thread = [&](size_t number) {
    pg::TPixelGraphic image;
    work(image, threadRecords[number]);
    std::lock_guard lock(mutex);
    --running;
    wake.notify_one();
  };
  int64_t reported = 0;
  try {
    for (int32_t i = 0; i < threads; ++i) workers.emplace_back(thread, static_cast<size_t>(i));
    std::unique_lock lock(mutex);
    while (running > 0) {
      wake.wait_for(lock, std::chrono::milliseconds(50));
      const int64_t now = done.load();
      if (now != reported && request.OnProgress) {
        reported = now;
        lock.unlock();
        Progress(request, now, total);
        lock.lock();
      }
    }
  } catch (...) {
    stopAndJoin();
    throw;
  }
  stopAndJoin();
  written = slices.load();
  TIndexedRecords merged;
  for (TIndexedRecords& part : threadRecords) {
    for (auto& entry : part) merged.push_back(std::move(entry));
  }
  std::sort(merged.begin(), merged.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : merged) records.push_back(std::move(entry.second));
  if (failure) std::rethrow_exception(failure);
  if (Cancelled(request) && done.load() < total) return false;
  if (reported != total) Progress(request, total, total);
  return true;
}

// The per-slice questions, before anything is written: every non-empty cell in turn, cut into
// `work` to be shown, with Back to the one before. Returns false when the user cancelled.
bool AskSlices(TExportInteraction& interaction, const TExportJob& job, pg::TPixelGraphic& work,
               TSliceTable& slices) {
  std::vector<int64_t> asked;
  for (int64_t index = 0; index < job.Grid.CellCount(); ++index) {
    if (job.Shows(job.Grid.CellAt(index))) asked.push_back(index);
  }
  const auto count = static_cast<int64_t>(asked.size());
  for (int64_t position = 0; position < count;) {
    const TGridCell cell = job.Grid.CellAt(asked[static_cast<size_t>(position)]);
    job.CutSlice(work, cell);
    const TSliceKey key{cell.Column, cell.Row};
    TSliceProperties properties = slices.Get(key);
    const TSliceAnswer answer =
        interaction.AskSlice(work, job.Markup(cell), cell, position + 1, count, properties);
    if (answer == TSliceAnswer::Cancel) return false;
    slices.Set(key, properties);
    position = answer == TSliceAnswer::Back ? std::max<int64_t>(position - 1, 0) : position + 1;
  }
  return true;
}

}  // namespace

std::vector<TFormatTotal> TExportReport::Totals() const {
  std::vector<TFormatTotal> totals;
  const auto totalOf = [&totals](const std::string& format) -> TFormatTotal& {
    for (TFormatTotal& total : totals) {
      if (total.Format == format) return total;
    }
    return totals.emplace_back(TFormatTotal{format});
  };
  for (const std::string& format : Formats) totalOf(format);
  for (const TSliceRecord& record : Records) {
    for (const TSliceFile& file : record.Files) {
      TFormatTotal& total = totalOf(file.Format);
      ++total.Slices;
      total.Bytes += file.Bytes + file.DenseBytes;
    }
  }
  return totals;
}

int64_t TExportReport::TotalBytes() const {
  int64_t bytes = 0;
  for (const TFormatTotal& total : Totals()) bytes += total.Bytes;
  return bytes;
}

std::string OverwriteQuestion(const fs::path& htmlPath) {
  return "Overwrite " + htmlPath.string() + "?";
}

TExportReport ExportSlices(const TExportRequest& request) {
  if (request.Source == nullptr || request.Grid == nullptr || request.Options == nullptr ||
      request.Interaction == nullptr) {
    throw EExportError("Export: source image, grid, options and interaction are required");
  }
  TExportReport report;
  const pg::TPixelGraphic& source = *request.Source;
  TSplitGrid& grid = *request.Grid;
  TExportInteraction& interaction = *request.Interaction;
  const auto cancelled = [&report] {
    report.Result = TExportResult::Cancelled;
    return report;
  };

  std::error_code ignored;
  if (fs::exists(request.HtmlPath, ignored) &&
      !interaction.ConfirmOverwrite(request.HtmlPath, OverwriteQuestion(request.HtmlPath),
                                    kOverwriteCaption)) {
    report.Result = TExportResult::Declined;
    return report;
  }
  if (request.Options->ShowOptions && !interaction.ShowOptions(*request.Options)) return cancelled();
  const TExportOptions options = *request.Options;

  const THtmlStyle style{options.UpperCase, options.DoubleQuote};
  const TExportNames names = TExportNames::FromHtmlPath(request.HtmlPath);
  std::string extension = request.Extension;
  if (!extension.empty() && extension[0] != '.') extension.insert(0, 1, '.');

  grid.SortSplits();
  CheckGridInsideImage(grid, source);
  if (grid.CellCount() > kMaxCells) {
    throw EExportError("The grid has " + std::to_string(grid.CellCount()) + " cells; at most " +
                       std::to_string(kMaxCells) + " can be exported");
  }
  const int64_t total = grid.CellCount();
  const auto processors = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  int32_t threads = request.Jobs > 0 ? request.Jobs : processors;
  threads = static_cast<int32_t>(std::clamp<int64_t>(std::min<int64_t>(threads, total), 1, 256));
  // The slices are written with the request's own save options, or a copy of the process-wide
  // defaults taken here, on the thread that owns them: the workers read no global setting. Slices
  // encoded side by side share the processors: each encoder gets its share of them.
  pg::TSaveOptions saveOptions = request.SaveOptions ? *request.SaveOptions : pg::DefaultSaveOptions();
  interaction.CompleteSaveOptions(saveOptions);
  if (saveOptions.EncoderThreads <= 0) saveOptions.EncoderThreads = std::max(1, processors / threads);
  if (request.Slices != nullptr) report.Slices = *request.Slices;
  const std::vector<TSliceFormat> formats = ExportFormats(extension, options);
  report.Options = options;
  for (const TSliceFormat& format : formats) report.Formats.emplace_back(format.Name);
  const TExportJob job{source, grid, names, style, options, formats, saveOptions, report.Slices};
  CheckFilesToWrite(request, job, options.AlwaysGrid);

  // The one working image of a single thread: the caller's, or a local one.
  std::unique_ptr<pg::TPixelGraphic> localImage;
  pg::TPixelGraphic* work = request.WorkingImage;
  if (work == nullptr) {
    localImage = std::make_unique<pg::TPixelGraphic>();
    work = localImage.get();
  }
  if (options.IncAltTags && !AskSlices(interaction, job, *work, report.Slices)) return cancelled();

  std::vector<std::string>& lines = report.Lines;
  lines = PageLines(options.Style, style, job.PageGrid(), names.Base, options.Fragment);
  if (options.EditCode && !interaction.EditCode(lines)) {
    lines.clear();
    return cancelled();
  }
  if (Cancelled(request)) return cancelled();

  Progress(request, 0, total);
  // A cancel that comes after the last slice still keeps the HTML and the grid file from being
  // written.
  if (!WriteSlices(request, job, threads, *work, report.SlicesWritten, report.Records) || Cancelled(request))
    return cancelled();

  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + kHtmlLineEnd.size();
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) text.append(line).append(kHtmlLineEnd);
  pg::WriteFileSafely(request.HtmlPath, text);

  if (options.AlwaysGrid) {
    const fs::path gridPath = names.GridPath();
    SaveGrid(grid, gridPath);
    interaction.GridSaved(gridPath);
  }
  if (!request.ReportPath.empty())
    pg::WriteFileSafely(request.ReportPath, ExportReportJson(report, request.HtmlPath));
  return report;
}

}  // namespace tessel
