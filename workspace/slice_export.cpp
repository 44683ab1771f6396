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

bool IsEmptyCell(const TGridCell& cell) {
  return cell.Width <= 0 || cell.Height <= 0;
}

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

// One export's fixed inputs, shared read-only by the workers.
struct TExportJob {
  const pg::TPixelGraphic& Source;
  const TSplitGrid& Grid;
  const TExportNames& Names;
  const THtmlStyle& Style;
  const std::string& Extension;
  const pg::TSaveOptions& SaveOptions;
  const TSliceTable& Slices;

  // The export's extension, or the slice's own format.
  std::string_view ExtensionOf(const TGridCell& cell) const {
    const std::string& format = Slices.Get({cell.Column, cell.Row}).Format;
    if (format.empty()) return Extension;
    const TSliceFormat* own = FindSliceFormat(format);
    if (own == nullptr) {
      throw EExportError("Slice " + std::to_string(cell.Number) + " (column " + std::to_string(cell.Column) +
                         ", row " + std::to_string(cell.Row) + ") asks for the format \"" + format +
                         "\", which is not one of " + SliceFormatChoices());
    }
    return own->Extension;
  }

  std::string SliceFileName(const TGridCell& cell) const {
    return Names.SliceFileName(cell.Column, cell.Row, Grid.ColumnCount(), Grid.RowCount(), ExtensionOf(cell));
  }

  // Cuts the cell into `work` at 24 bits per pixel.
  void CutSlice(pg::TPixelGraphic& work, const TGridCell& cell) const {
    work.NewImage(cell.Width, cell.Height, pg::bc24Bit);
    work.CopyRect(0, 0, cell.Width, cell.Height, cell.Left, cell.Top, Source);
  }

  // Cuts the cell and writes it through a temporary file, which takes the slice's name through
  // `commit` (see WriteFileSafely). Returns whether it did.
  bool WriteSlice(pg::TPixelGraphic& work, const TGridCell& cell,
                  const std::function<void(const std::function<void()>&)>& commit) const {
    CutSlice(work, cell);
    const std::string extension(ExtensionOf(cell));
    return pg::WriteFileSafely(
        Names.SlicePath(SliceFileName(cell)),
        [&](pg::TStream& stream) { pg::SaveImage(work, stream, extension, SaveOptions); }, commit);
  }

  std::string OpenTag(const TGridCell& cell) const {
    return Style.OpenImageTag(SliceFileName(cell), cell.Width, cell.Height);
  }

  std::string CellCodeOf(const TGridCell& cell) const {
    const TSliceProperties& properties = Slices.Get({cell.Column, cell.Row});
    return CellCode(OpenTag(cell), properties.Url, properties.Target, properties.Alt);
  }
};

// What a file of the export is to it; outputs first.
enum class TFileRole { Html, Grid, Slice, Input, GridInput };

bool IsOutput(TFileRole role) {
  return role <= TFileRole::Slice;
}

// One file the export writes or has read, reduced to its identity: an existing file by device and
// inode, a name not there yet by its folder's device and inode and a hash of the name. `Index` is
// the cell (slices) or the input's place in the request.
struct TFileEntry {
  dev_t Device = 0;
  ino_t Inode = 0;
  bool Named = false;
  size_t NameHash = 0;
  TFileRole Role = TFileRole::Slice;
  int64_t Index = 0;

  auto Key() const { return std::tie(Device, Inode, Named, NameHash); }
};

fs::path PathOf(const TExportRequest& request, const TExportJob& job, const TFileEntry& entry) {
  switch (entry.Role) {
    case TFileRole::Slice:
      return job.Names.SlicePath(job.SliceFileName(job.Grid.CellAt(entry.Index)));
    case TFileRole::Html:
      return request.HtmlPath;
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
  const auto add = [&](const fs::path& path, TFileRole role, int64_t index) {
    pg::TFileIdentity identity;
    if (IsOutput(role)) {
      identity = pg::FileIdentity(path);
      const std::string kind = pg::NotRegularFileKind(identity.Type);
      if (!kind.empty()) {
        throw EExportError("Export refused: " + Describe(request, job, {.Role = role, .Index = index}) +
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
                       identity.Exists() ? 0 : std::hash<std::string>{}(identity.Name), role, index});
  };

  add(request.HtmlPath, TFileRole::Html, 0);
  if (writesGrid) add(job.Names.GridPath(), TFileRole::Grid, 0);
  for (int64_t index = 0; index < job.Grid.CellCount(); ++index) {
    if (!IsEmptyCell(job.Grid.CellAt(index)))
      add(PathOf(request, job, {.Index = index}), TFileRole::Slice, index);
  }
  for (size_t i = 0; i < request.InputPaths.size(); ++i) {
    if (!request.InputPaths[i].empty()) add(request.InputPaths[i], TFileRole::Input, static_cast<int64_t>(i));
  }
  if (!request.GridFilePath.empty()) add(request.GridFilePath, TFileRole::GridInput, 0);

  std::sort(entries.begin(), entries.end(), [](const TFileEntry& a, const TFileEntry& b) {
    return std::make_tuple(a.Key(), a.Role, a.Index) < std::make_tuple(b.Key(), b.Role, b.Index);
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
// false when cancelled; rethrows the failure of the earliest cell that failed.
bool WriteSlices(const TExportRequest& request, const TExportJob& job, int32_t threads,
                 pg::TPixelGraphic& single, int64_t& written) {
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
  const auto work = [&](pg::TPixelGraphic& image) {
    for (;;) {
      if (stop.load(std::memory_order_relaxed) || Cancelled(request)) break;
      const int64_t index = next.fetch_add(1);
      if (index >= total) break;
      const TGridCell cell = job.Grid.CellAt(index);
      try {
        if (!IsEmptyCell(cell) && job.WriteSlice(image, cell, commit)) slices.fetch_add(1);
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
      if (!IsEmptyCell(cell) && job.WriteSlice(single, cell, commit)) ++written;
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
  const auto thread = [&] {
    pg::TPixelGraphic image;
    work(image);
    std::lock_guard lock(mutex);
    --running;
    wake.notify_one();
  };
  int64_t reported = 0;
  try {
    for (int32_t i = 0; i < threads; ++i) workers.emplace_back(thread);
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
    if (!IsEmptyCell(job.Grid.CellAt(index))) asked.push_back(index);
  }
  const auto count = static_cast<int64_t>(asked.size());
  for (int64_t position = 0; position < count;) {
    const TGridCell cell = job.Grid.CellAt(asked[static_cast<size_t>(position)]);
    job.CutSlice(work, cell);
    const TSliceKey key{cell.Column, cell.Row};
    TSliceProperties properties = slices.Get(key);
    const TSliceAnswer answer =
        interaction.AskSlice(work, job.OpenTag(cell), cell, position + 1, count, properties);
    if (answer == TSliceAnswer::Cancel) return false;
    slices.Set(key, properties);
    position = answer == TSliceAnswer::Back ? std::max<int64_t>(position - 1, 0) : position + 1;
  }
  return true;
}

}  // namespace

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
  // The slices are written with the request's own save options, or a copy of the process-wide
  // defaults taken here, on the thread that owns them: the workers read no global setting.
  const pg::TSaveOptions saveOptions = request.SaveOptions ? *request.SaveOptions : pg::DefaultSaveOptions();
  if (request.Slices != nullptr) report.Slices = *request.Slices;
  const TExportJob job{source, grid, names, style, extension, saveOptions, report.Slices};
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
  lines.push_back(style.TableHead());
  for (int32_t r = 1; r <= grid.RowCount(); ++r) {
    std::string row = style.RowStart();
    for (int32_t c = 1; c <= grid.ColumnCount(); ++c) {
      const TGridCell cell = grid.Cell(c, r);
      row += style.CellStart();
      if (!IsEmptyCell(cell)) row += job.CellCodeOf(cell);
      row += style.CellEnd();
    }
    row += style.RowEnd();
    lines.push_back(std::move(row));
  }
  lines.emplace_back(kTableEnd);
  if (options.EditCode && !interaction.EditCode(lines)) {
    lines.clear();
    return cancelled();
  }
  if (Cancelled(request)) return cancelled();

  const int64_t total = grid.CellCount();
  Progress(request, 0, total);
  int32_t threads =
      request.Jobs > 0 ? request.Jobs : static_cast<int32_t>(std::thread::hardware_concurrency());
  threads = static_cast<int32_t>(std::clamp<int64_t>(std::min<int64_t>(threads, total), 1, 256));
  // A cancel that comes after the last slice still keeps the HTML and the grid file from being
  // written.
  if (!WriteSlices(request, job, threads, *work, report.SlicesWritten) || Cancelled(request))
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
  return report;
}

}  // namespace tessel
