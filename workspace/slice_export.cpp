#include "workspace/slice_export.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

#include "imaging/formats/image_io.h"
#include "imaging/formats/row_source.h"
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

// Bytes of a cell's slice: 24 bits per pixel, rows padded to 4 bytes.
int64_t SliceBytes(const TGridCell& cell) {
  return (3 * int64_t{cell.Width} + 3) / 4 * 4 * cell.Height;
}

// Every cell must lie inside the source; only the ends of the sorted lists can fall outside
// (a grid file may hold negative positions).
void CheckGridInsideImage(const TSplitGrid& grid, int32_t width, int32_t height) {
  if (grid.ColumnCount() == 0 || grid.RowCount() == 0) return;
  const auto check = [](const TIntegerList& list, int32_t size) {
    for (int32_t value : {list[0], list[list.Count() - 1]}) {
      if (value < 0 || value > size) {
        throw EExportError("Split position " + std::to_string(value) + " lies outside the image (0-" +
                           std::to_string(size) + ")");
      }
    }
  };
  check(grid.VerticalSplits, width);
  check(grid.HorizontalSplits, height);
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

// Takes a slice's complete file: gives it its name now, holds it to be named later, or drops it
// (the export has stopped). False when dropped.
using TPlaceFile = std::function<bool(std::unique_ptr<pg::TPendingFile>)>;

// One export's fixed inputs, shared read-only by the workers.
struct TExportJob {
  const pg::TPixelGraphic* Source;  // null while the source is decoded band by band
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
    work.CopyRect(0, 0, cell.Width, cell.Height, cell.Left, cell.Top, *Source);
  }

  // Writes the cell's pixels (`pixels`, the cell at source resolution) in each of its formats,
  // every file through a temporary one that `place` gives the slice's name, now or later, or drops
  // (see TPendingFile). A high-density export writes `pixels` as the full-resolution files and a
  // copy scaled to the page size as the page-size ones. `record` gets the files that took (or are
  // held to take) their names. Returns whether all did.
  bool WriteCellFiles(pg::TPixelGraphic& pixels, const TGridCell& cell, const TPlaceFile& place,
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
      const bool written =
          place(std::make_unique<pg::TPendingFile>(Names.SlicePath(name), [&](pg::TStream& stream) {
            pg::SaveImage(image, stream, format.Extension, options);
            bytes = stream.Size();
          }));
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
  bool WriteSlice(pg::TPixelGraphic& work, const TGridCell& cell, const TPlaceFile& place,
                  TSliceRecord& record) const {
    CutSlice(work, cell);
    return WriteCellFiles(work, cell, place, record);
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

// A cell handed over for writing: the slice already cut for it (a streamed export), or none (the
// worker cuts it from the whole source), or the failure of its cut.
struct TCut {
  std::unique_ptr<pg::TPixelGraphic> Slice;
  std::exception_ptr Failure;
};

// Slices in flight (cut, not yet written) are held to this many bytes, unless one grid row alone
// needs more.
constexpr int64_t kMaxBytesInFlight = int64_t{256} << 20;

// Written slices kept to be cut into again, up to this many bytes. A fresh slice costs the system
// a page fault for every 4 KiB the cut fills and the unmapping once it is written, more than the
// cut itself; a kept one is mapped already. But a kept slice is resident as a whole while a fresh
// one fills as the rows come, so the slices kept raise the peak by about their size and are
// bounded: a 24-megapixel picture cut ten by ten reuses five slices of every grid row after the
// second, for 4 MiB more at the peak.
constexpr int64_t kMaxSpareBytes = int64_t{4} << 20;

// The cells of the grid, written in their order on `threads` workers with one working image each
// (with one thread: on the calling thread, in `single`, as they are handed over). Cells are handed
// over as a prefix of the enumeration grows (all at once for a whole source, a grid row at a time
// for a streamed one). Progress is reported, and the cancel flag watched, on the calling thread. The
// first failure stops the export: from then on no slice takes its name, not even one a worker had
// already encoded; the failure of the earliest cell that failed is the one raised.
class TSliceQueue {
 public:
  TSliceQueue(const TExportRequest& request, const TExportJob& job, int32_t threads,
              pg::TPixelGraphic& single)
      : request_(request), job_(job), threads_(threads), single_(single), total_(job.Grid.CellCount()) {}
  ~TSliceQueue() { StopAndJoin(); }
  TSliceQueue(const TSliceQueue&) = delete;
  TSliceQueue& operator=(const TSliceQueue&) = delete;

  void Start() {
    if (threads_ <= 1) return;
    workers_.reserve(static_cast<size_t>(threads_));
    for (int32_t i = 0; i < threads_; ++i) {
      {
        std::lock_guard lock(mutex_);
        ++running_;
      }
      workers_.emplace_back([this] {
        pg::TPixelGraphic image;
        Work(image);
        std::lock_guard lock(mutex_);
        --running_;
        wake_.notify_all();
      });
    }
  }

  bool Stopped() const { return stop_.load(); }

  // Hands over the cells below `end` (cell `first` onward with `cuts`, one per cell, or none for a
  // whole source). With one thread they are written at once, up to the first failure.
  void Release(int64_t end, std::vector<TCut> cuts = {}) {
    const int64_t first = released_.load();
    if (threads_ <= 1) {
      for (int64_t index = first; index < end; ++index) {
        if (Cancelled(request_) || stop_.load()) {
          released_ = total_;
          return;
        }
        TCut cut;
        if (!cuts.empty()) cut = std::move(cuts[static_cast<size_t>(index - first)]);
        const int64_t bytes = cut.Slice ? cut.Slice->ImageSize() : 0;
        TSliceRecord record;
        try {
          if (WriteCell(single_, index, cut, record)) {
            ++slices_;
            records_.emplace_back(index, std::move(record));
          }
        } catch (...) {
          RecordFailure(index, std::current_exception());
          inFlight_ -= bytes;
          released_ = total_;
          return;
        }
        Recycle(cut.Slice);
        cut.Slice.reset();
        inFlight_ -= bytes;
        done_ = index + 1;
        Progress(request_, index + 1, total_);
      }
      released_ = end;
      return;
    }
    {
      std::lock_guard lock(mutex_);
      for (int64_t index = first; index < end && !cuts.empty(); ++index) {
        TCut& cut = cuts[static_cast<size_t>(index - first)];
        if (cut.Slice || cut.Failure) pending_.emplace(index, std::move(cut));
      }
      released_ = end;
    }
    wake_.notify_all();
  }

  // Waits until the slices in flight leave room for `bytes` more, then counts them in. False when
  // the export stopped or was cancelled meanwhile.
  bool Reserve(int64_t bytes, int64_t budget) {
    std::unique_lock lock(mutex_);
    while (inFlight_ > 0 && inFlight_ + bytes > budget && !stop_.load() && !Cancelled(request_)) {
      room_.wait_for(lock, std::chrono::milliseconds(50));
      lock.unlock();
      ReportProgress();
      lock.lock();
    }
    if (stop_.load() || Cancelled(request_)) return false;
    inFlight_ += bytes;
    return true;
  }
  // Slices reserved but never handed over.
  void Unreserve(int64_t bytes) {
    std::lock_guard lock(mutex_);
    inFlight_ -= bytes;
  }

  // A slice of `width` x `height` pixels at 24 bits to cut a cell into: a written one kept for
  // reuse (Recycle), or a new one. A slice of the same size is taken as it is: its pixels are old,
  // but the cut overwrites every one of them.
  std::unique_ptr<pg::TPixelGraphic> NewSlice(int32_t width, int32_t height) {
    std::unique_ptr<pg::TPixelGraphic> slice;
    {
      std::lock_guard lock(mutex_);
      if (!spares_.empty()) {
        auto found = std::find_if(spares_.begin(), spares_.end(), [&](const auto& spare) {
          return spare->Width() == width && spare->Height() == height;
        });
        if (found == spares_.end()) --found;
        slice = std::move(*found);
        *found = std::move(spares_.back());
        spares_.pop_back();
        spareBytes_ -= slice->ImageSize();
      }
    }
    if (!slice) slice = std::make_unique<pg::TPixelGraphic>();
    if (slice->Width() != width || slice->Height() != height || slice->BitCount() != pg::bc24Bit ||
        slice->Empty()) {
      slice->NewImage(width, height, pg::bc24Bit);
    }
    return slice;
  }

  // Slices take their names only in Finish, once the source has been read to its end: until then
  // they wait under temporary names (a streamed source can fail after slices were written).
  void HoldNames() { hold_ = true; }

  // The source failed: nothing more is written, and the slices held are dropped, as a picture that
  // fails to load leaves everything as it was.
  void FailSource(std::exception_ptr failure) {
    {
      std::lock_guard lock(mutex_);
      if (!sourceFailure_) sourceFailure_ = std::move(failure);
      stop_ = true;
      room_.notify_all();
    }
    wake_.notify_all();
  }

  // A slice failed (the export stopped) and the source is still to be read to its end.
  bool SliceFailed() {
    std::lock_guard lock(mutex_);
    return failure_ != nullptr && sourceFailure_ == nullptr;
  }

  void ReportProgress() {
    if (threads_ <= 1 || !request_.OnProgress) return;
    const int64_t now = done_.load();
    if (now != reported_) {
      reported_ = now;
      Progress(request_, now, total_);
    }
  }

  // Waits for every cell handed over to be written, joins the workers and raises the earliest
  // failure. Returns false when the export was cancelled before all cells were done. `records` get
  // the slices written, in cell order. With `help`, the calling thread writes cells beside the
  // workers once all are handed over, rather than only waiting for them (the cells left after a
  // streamed source's last rows would otherwise keep one processor idle).
  bool Finish(int64_t& written, std::vector<TSliceRecord>& records, bool help = false) {
    if (threads_ > 1) {
      if (help && released_.load() == total_) Work(single_, true);
      std::unique_lock lock(mutex_);
      while (running_ > 0) {
        wake_.wait_for(lock, std::chrono::milliseconds(50));
        lock.unlock();
        ReportProgress();
        lock.lock();
      }
    }
    StopAndJoin();
    if (sourceFailure_) {
      held_.clear();
      std::rethrow_exception(sourceFailure_);
    }
    // The slices held take their names in cell order, those before a failed cell only.
    std::sort(held_.begin(), held_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [index, file] : held_) {
      if (index < failedCell_) file->Commit();
    }
    held_.clear();
    written = slices_.load();
    std::sort(records_.begin(), records_.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : records_) records.push_back(std::move(entry.second));
    records_.clear();
    if (failure_) std::rethrow_exception(failure_);
    if (done_.load() < total_) return false;
    if (threads_ > 1 && reported_ != total_) Progress(request_, total_, total_);
    return true;
  }

 private:
  void RecordFailure(int64_t cell, std::exception_ptr failure) {
    if (cell < failedCell_) {
      failedCell_ = cell;
      failure_ = std::move(failure);
    }
    stop_ = true;
    room_.notify_all();
  }

  // Takes a written slice for a later cut (NewSlice) while the slices kept stay within
  // kMaxSpareBytes; a slice not taken is left to its owner to free. The caller holds the lock when
  // workers run.
  void Recycle(std::unique_ptr<pg::TPixelGraphic>& slice) {
    if (!slice || spareBytes_ + slice->ImageSize() > kMaxSpareBytes) return;
    spareBytes_ += slice->ImageSize();
    spares_.push_back(std::move(slice));
  }

  // Cuts (or takes the cut slice of) cell `index` and writes it; true when a slice took its name.
  bool WriteCell(pg::TPixelGraphic& image, int64_t index, TCut& cut, TSliceRecord& record) {
    if (cut.Failure) std::rethrow_exception(cut.Failure);
    const TGridCell cell = job_.Grid.CellAt(index);
    if (!job_.Shows(cell)) return false;
    const auto place = [this, index](std::unique_ptr<pg::TPendingFile> file) {
      std::lock_guard lock(mutex_);
      if (stop_.load()) return false;
      if (hold_) {
        held_.emplace_back(index, std::move(file));
      } else {
        file->Commit();
      }
      return true;
    };
    if (cut.Slice) return job_.WriteCellFiles(*cut.Slice, cell, place, record);
    return job_.WriteSlice(image, cell, place, record);
  }

  // Writes the cells handed over, in `image`, until none is left; `callingThread` reports progress
  // after each.
  void Work(pg::TPixelGraphic& image, bool callingThread = false) {
    for (;;) {
      int64_t index = 0;
      TCut cut;
      {
        std::unique_lock lock(mutex_);
        for (;;) {
          if (stop_.load() || Cancelled(request_) || next_ >= total_) return;
          if (next_ < released_.load()) break;
          wake_.wait_for(lock, std::chrono::milliseconds(50));
        }
        index = next_++;
        if (auto found = pending_.find(index); found != pending_.end()) {
          cut = std::move(found->second);
          pending_.erase(found);
        }
      }
      const int64_t bytes = cut.Slice ? cut.Slice->ImageSize() : 0;
      try {
        TSliceRecord record;
        if (WriteCell(image, index, cut, record)) {
          slices_.fetch_add(1);
          std::lock_guard lock(mutex_);
          records_.emplace_back(index, std::move(record));
        }
      } catch (...) {
        std::lock_guard lock(mutex_);
        RecordFailure(index, std::current_exception());
      }
      {
        std::lock_guard lock(mutex_);
        Recycle(cut.Slice);
        inFlight_ -= bytes;
      }
      cut.Slice.reset();
      room_.notify_all();
      done_.fetch_add(1);
      wake_.notify_all();
      if (callingThread) ReportProgress();
    }
  }

  // Whatever leaves the export (a failed thread start, a progress handler that throws), the workers
  // are stopped and joined first.
  void StopAndJoin() {
    {
      std::lock_guard lock(mutex_);
      if (!workers_.empty()) stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
      if (worker.joinable()) worker.join();
    }
    workers_.clear();
  }

  const TExportRequest& request_;
  const TExportJob& job_;
  const int32_t threads_;
  pg::TPixelGraphic& single_;
  const int64_t total_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;  // cells handed over, a cell done, a worker ended
  std::condition_variable room_;  // slices in flight written
  std::atomic<int64_t> released_{0};
  int64_t next_ = 0;
  std::map<int64_t, TCut> pending_;
  std::vector<std::unique_ptr<pg::TPixelGraphic>> spares_;  // slices written, kept for reuse
  int64_t spareBytes_ = 0;
  int64_t inFlight_ = 0;
  int32_t running_ = 0;
  std::atomic<int64_t> done_{0};
  std::atomic<int64_t> slices_{0};
  std::atomic<bool> stop_{false};
  std::vector<std::pair<int64_t, TSliceRecord>> records_;  // by cell index
  int64_t failedCell_ = INT64_MAX;
  std::exception_ptr failure_;
  std::exception_ptr sourceFailure_;
  bool hold_ = false;
  std::vector<std::pair<int64_t, std::unique_ptr<pg::TPendingFile>>> held_;  // by cell index
  int64_t reported_ = 0;
};

// Every slice from a whole source.
bool WriteSlices(const TExportRequest& request, const TExportJob& job, int32_t threads,
                 pg::TPixelGraphic& single, int64_t& written, std::vector<TSliceRecord>& records) {
  TSliceQueue queue(request, job, threads, single);
  queue.Start();
  queue.Release(job.Grid.CellCount());
  return queue.Finish(written, records);
}

// Every slice from a source decoded band by band: the rows of each grid row are decoded a piece at
// a time and copied into the row's slices, which go to the workers once the row is complete, while
// the next grid row decodes. Rows outside the grid are decoded too, as a whole load would, and the
// slices' files take their names only once the whole source has been read, so a damaged file
// fails alike and leaves every file as it was. Memory holds the slices of about two grid rows and
// one piece.
bool StreamSlices(const TExportRequest& request, const TExportJob& job, pg::TRowSource& rows, int32_t threads,
                  pg::TPixelGraphic& single, int64_t& written, std::vector<TSliceRecord>& records) {
  const TSplitGrid& grid = job.Grid;
  const int32_t columns = grid.ColumnCount();
  const int32_t gridRows = grid.RowCount();
  const int32_t height = rows.Height();

  // The bytes of each grid row's slices; two of the largest may be in flight at once.
  int64_t largestRow = 0;
  for (int32_t r = 1; r <= gridRows; ++r) {
    int64_t bytes = 0;
    for (int32_t c = 1; c <= columns; ++c) {
      const TGridCell cell = grid.Cell(c, r);
      if (job.Shows(cell)) bytes += SliceBytes(cell);
    }
    largestRow = std::max(largestRow, bytes);
  }
  const int64_t budget = std::min(kMaxBytesInFlight, 2 * largestRow);

  const int32_t pieceRows = static_cast<int32_t>(
      std::clamp<int64_t>(request.PieceBytes / std::max<int64_t>(rows.BytesPerRow(), 1), 1, height));
  pg::TPixelGraphic piece;
  rows.ShapeBand(piece, pieceRows);

  TSliceQueue queue(request, job, threads, single);
  queue.HoldNames();
  queue.Start();
  int32_t y = 0;
  // Decodes the source up to row `end`, handing each piece to `use(firstRow, count)`. False when the
  // export was cancelled, the source failed or (with `whileWriting`) the export stopped.
  const auto decodeTo = [&](int32_t end, const auto& use, bool whileWriting = true) {
    while (y < end) {
      if ((whileWriting && queue.Stopped()) || Cancelled(request)) return false;
      const int32_t count = std::min(pieceRows, end - y);
      try {
        rows.ReadRows(piece, count);
      } catch (...) {
        queue.FailSource(std::current_exception());
        return false;
      }
      use(y, count);
      y += count;
      queue.ReportProgress();
    }
    return true;
  };
  const auto skip = [](int32_t, int32_t) {};
  // The rest of the source and what follows its rows, as a whole load reads them.
  const auto finishSource = [&] {
    if (!decodeTo(height, skip, false)) return false;
    try {
      rows.Finish();
    } catch (...) {
      queue.FailSource(std::current_exception());
      return false;
    }
    return true;
  };

  bool complete = true;
  for (int32_t r = 1; r <= gridRows && complete; ++r) {
    const int64_t cellOfRow = static_cast<int64_t>(r - 1) * columns;
    const int32_t top = grid.HorizontalSplits[r - 1];
    const int32_t bottom = grid.HorizontalSplits[r];
    std::vector<TCut> cuts(static_cast<size_t>(columns));
    std::vector<TGridCell> cells(static_cast<size_t>(columns));
    int64_t bytes = 0;
    for (int32_t c = 1; c <= columns; ++c) {
      const TGridCell cell = grid.Cell(c, r);
      cells[static_cast<size_t>(c - 1)] = cell;
      if (job.Shows(cell)) bytes += SliceBytes(cell);
    }
    if (!queue.Reserve(bytes, budget)) {
      complete = false;
      break;
    }
    for (size_t i = 0; i < cells.size(); ++i) {
      if (!job.Shows(cells[i])) continue;
      TCut& cut = cuts[i];
      try {
        cut.Slice = queue.NewSlice(cells[i].Width, cells[i].Height);
      } catch (...) {
        cut.Failure = std::current_exception();
        cut.Slice.reset();
      }
    }
    complete = decodeTo(top, skip) && decodeTo(bottom, [&](int32_t first, int32_t count) {
                 for (size_t i = 0; i < cells.size(); ++i) {
                   TCut& cut = cuts[i];
                   if (!cut.Slice) continue;
                   const TGridCell& cell = cells[i];
                   try {
                     cut.Slice->CopyRect(0, first - top, cell.Width, count, cell.Left, 0, piece);
                   } catch (...) {
                     cut.Failure = std::current_exception();
                     cut.Slice.reset();
                   }
                 }
               });
    if (!complete) {
      queue.Unreserve(bytes);
      break;
    }
    queue.Release(cellOfRow + columns, std::move(cuts));
  }
  // Rows below the grid are decoded too. When a slice failed, the rest of the source is still read:
  // a damaged file fails the export as it fails a whole load, which comes before any slice.
  if (complete || queue.SliceFailed()) complete = finishSource() && complete;
  return queue.Finish(written, records, true) && complete;
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
  if ((request.Source == nullptr) == (request.SourceRows == nullptr) || request.Grid == nullptr ||
      request.Options == nullptr || request.Interaction == nullptr) {
    throw EExportError(
        "Export: one source (an image or its rows), grid, options and interaction are required");
  }
  TExportReport report;
  const pg::TPixelGraphic* source = request.Source;
  const int32_t sourceWidth = source != nullptr ? source->Width() : request.SourceRows->Width();
  const int32_t sourceHeight = source != nullptr ? source->Height() : request.SourceRows->Height();
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
  CheckGridInsideImage(grid, sourceWidth, sourceHeight);
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
  TExportJob job{source, grid, names, style, options, formats, saveOptions, report.Slices};
  CheckFilesToWrite(request, job, options.AlwaysGrid);

  // The one working image of a single thread: the caller's, or a local one.
  std::unique_ptr<pg::TPixelGraphic> localImage;
  pg::TPixelGraphic* work = request.WorkingImage;
  if (work == nullptr) {
    localImage = std::make_unique<pg::TPixelGraphic>();
    work = localImage.get();
  }
  // The questions show each slice before anything is written, so they need the whole picture.
  std::unique_ptr<pg::TPixelGraphic> whole;
  if (options.IncAltTags && source == nullptr) {
    whole = std::make_unique<pg::TPixelGraphic>();
    pg::TRowSource& rows = *request.SourceRows;
    rows.ShapeBand(*whole, rows.Height());
    rows.ReadRows(*whole, rows.Height());
    rows.Finish();
    job.Source = whole.get();
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
  const bool finished = job.Source != nullptr
                            ? WriteSlices(request, job, threads, *work, report.SlicesWritten, report.Records)
                            : StreamSlices(request, job, *request.SourceRows, threads, *work,
                                           report.SlicesWritten, report.Records);
  if (!finished || Cancelled(request)) return cancelled();

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
