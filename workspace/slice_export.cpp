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

  std::string SliceFileName(const TGridCell& cell) const {
    return Names.SliceFileName(cell.Column, cell.Row, Grid.ColumnCount(), Grid.RowCount(), Extension);
  }

  // Cuts the cell into `work` at 24 bits per pixel and writes it through a temporary file.
  void WriteSlice(pg::TPixelGraphic& work, const TGridCell& cell) const {
    work.NewImage(cell.Width, cell.Height, pg::bc24Bit);
    work.CopyRect(0, 0, cell.Width, cell.Height, cell.Left, cell.Top, Source);
    pg::WriteFileSafely(Names.SlicePath(SliceFileName(cell)),
                        [&](pg::TStream& stream) { pg::SaveImage(work, stream, Extension, SaveOptions); });
  }

  std::string OpenTag(const TGridCell& cell) const {
    return Style.OpenImageTag(SliceFileName(cell), cell.Width, cell.Height);
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
// each. Progress is reported, and the cancel flag watched, on the calling thread. Returns false
// when cancelled; rethrows the failure of the earliest cell that failed.
bool WriteSlicesInParallel(const TExportRequest& request, const TExportJob& job, int32_t threads,
                           int64_t& written) {
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

  const auto work = [&] {
    pg::TPixelGraphic image;
    for (;;) {
      if (stop.load(std::memory_order_relaxed) || Cancelled(request)) break;
      const int64_t index = next.fetch_add(1);
      if (index >= total) break;
      const TGridCell cell = job.Grid.CellAt(index);
      try {
        if (!IsEmptyCell(cell)) {
          job.WriteSlice(image, cell);
          slices.fetch_add(1);
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
    std::lock_guard lock(mutex);
    --running;
    wake.notify_one();
  };

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
  int64_t reported = 0;
  try {
    for (int32_t i = 0; i < threads; ++i) workers.emplace_back(work);
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

  std::error_code ignored;
  if (fs::exists(request.HtmlPath, ignored) &&
      !interaction.ConfirmOverwrite(request.HtmlPath, OverwriteQuestion(request.HtmlPath),
                                    kOverwriteCaption)) {
    report.Result = TExportResult::Declined;
    return report;
  }
  if (request.Options->ShowOptions) interaction.ShowOptions(*request.Options);
  const TExportOptions options = *request.Options;

  const THtmlStyle style{options.UpperCase, options.DoubleQuote};
  const TExportNames names = TExportNames::FromHtmlPath(request.HtmlPath);
  std::string extension = request.Extension;
  if (!extension.empty() && extension[0] != '.') extension.insert(0, 1, '.');

  std::vector<std::string>& lines = report.Lines;
  lines.push_back(style.TableHead());

  grid.SortSplits();
  CheckGridInsideImage(grid, source);
  if (grid.CellCount() > kMaxCells) {
    throw EExportError("The grid has " + std::to_string(grid.CellCount()) + " cells; at most " +
                       std::to_string(kMaxCells) + " can be exported");
  }
  // The slices are written with the request's own save options, or a copy of the process-wide
  // defaults taken here, on the thread that owns them: the workers read no global setting.
  const pg::TSaveOptions saveOptions = request.SaveOptions ? *request.SaveOptions : pg::DefaultSaveOptions();
  const TExportJob job{source, grid, names, style, extension, saveOptions};
  CheckFilesToWrite(request, job, options.AlwaysGrid);
  const int32_t rows = grid.RowCount();
  const int32_t columns = grid.ColumnCount();
  const int64_t total = grid.CellCount();
  Progress(request, 0, total);

  int32_t threads =
      request.Jobs > 0 ? request.Jobs : static_cast<int32_t>(std::thread::hardware_concurrency());
  threads = static_cast<int32_t>(std::clamp<int64_t>(std::min<int64_t>(threads, total), 1, 256));
  const bool parallel = !options.IncAltTags && threads > 1;

  if (parallel && !WriteSlicesInParallel(request, job, threads, report.SlicesWritten)) {
    report.Result = TExportResult::Cancelled;
    return report;
  }

  // The rows, in order; with one thread the slices are cut and written here as well.
  std::unique_ptr<pg::TPixelGraphic> localImage;
  pg::TPixelGraphic* work = request.WorkingImage;
  if (!parallel && work == nullptr) {
    localImage = std::make_unique<pg::TPixelGraphic>();
    work = localImage.get();
  }
  int64_t done = 0;
  for (int32_t r = 1; r <= rows; ++r) {
    std::string row = style.RowStart();
    for (int32_t c = 1; c <= columns; ++c) {
      const TGridCell cell = grid.Cell(c, r);
      row += style.CellStart();
      if (!IsEmptyCell(cell)) {
        const std::string tag = job.OpenTag(cell);
        if (parallel) {
          row += tag + ">";
        } else {
          if (Cancelled(request)) {
            report.Result = TExportResult::Cancelled;
            return report;
          }
          job.WriteSlice(*work, cell);
          ++report.SlicesWritten;
          row += options.IncAltTags ? interaction.AskSliceCode(*work, tag, cell) : tag + ">";
        }
      }
      row += style.CellEnd();
      if (!parallel) Progress(request, ++done, total);
    }
    row += style.RowEnd();
    lines.push_back(std::move(row));
  }
  lines.emplace_back(kTableEnd);

  if (options.EditCode) interaction.EditCode(lines);
  if (Cancelled(request)) {
    report.Result = TExportResult::Cancelled;
    return report;
  }

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
