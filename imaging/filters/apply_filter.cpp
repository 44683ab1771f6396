// ApplyFilter: runs a colour filter from a source image into a target image.
//
// Three ways through:
// - a colour-only filter into a palette image at least as rich as the source maps the palette
//   entries and copies the pixel indices as they are;
// - the three adjustment filters between 24-bit images run on whole rows: RGB and CMY as one table
//   lookup per byte, HLS through THLSMapper with a small table of the colours met lately, both
//   split over two threads;
// - anything else asks the filter for every pixel, row by row.

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>
#include <typeinfo>

#include "imaging/filters/filter.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {

namespace {

// Runs work() between the filter's Prepare and Finish; Finish also when work fails.
template <class Work>
void Prepared(TPGFilter& filter, const TPixelGraphic& source, Work work) {
  filter.Prepare(source);
  try {
    work();
  } catch (...) {
    filter.Finish();
    throw;
  }
  filter.Finish();
}

// Gives the target the source's size, keeping its own pixel format.
void SizeLikeSource(TPixelGraphic& target, const TPixelGraphic& source) {
  if (target.Width() != source.Width() || target.Height() != source.Height())
    target.NewImage(source.Width(), source.Height(), target.BitCount());
}

// ---- Palette shortcut -------------------------------------------------------------------------

uint32_t IndexAt(const uint8_t* row, int32_t x, TBitCount bitCount) {
  switch (bitCount) {
    case bc1Bit:
      return (row[x / 8] & (128u >> (x % 8))) != 0 ? 1 : 0;
    case bc4Bit:
      return x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
    default:
      return row[x];
  }
}

void SetIndexAt(uint8_t* row, int32_t x, TBitCount bitCount, uint32_t index) {
  if (bitCount == bc4Bit) {
    uint8_t& byte = row[x / 2];
    byte = x % 2 == 0 ? static_cast<uint8_t>((byte & 0x0F) | (index << 4))
                      : static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F));
  } else {
    row[x] = static_cast<uint8_t>(index);
  }
}

// Copies the source's pixel indices and palette into the target, whose format holds at least as
// many colours, so that every index keeps its meaning; then maps each palette entry once.
void ApplyToPalette(TPixelGraphic& target, TPGFilter& filter, const TPixelGraphic& source) {
  if (&source != &target) {
    SizeLikeSource(target, source);
    if (!target.Empty() && !source.Empty()) {
      const TBitCount from = source.BitCount();
      const TBitCount to = target.BitCount();
      for (int32_t y = 0; y < source.Height(); ++y) {
        const uint8_t* src = source.ScanLine(y);
        uint8_t* dst = target.ScanLine(y);
        if (from == to) {
          std::memcpy(dst, src, static_cast<size_t>(target.BytesPerRow()));
        } else {
          for (int32_t x = 0; x < source.Width(); ++x) SetIndexAt(dst, x, to, IndexAt(src, x, from));
        }
      }
    }
    target.AssignPalette(source);
  }
  // Map the colours as they stand before any entry is written, so that an in-place run reads
  // only unmapped entries.
  const int32_t count = target.PaletteCount();
  std::vector<TColor> mapped(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i)
    mapped[static_cast<size_t>(i)] = filter.MapColor(target.PaletteEntries(i));
  for (int32_t i = 0; i < count; ++i) target.SetPaletteEntries(i, mapped[static_cast<size_t>(i)]);
  if (count > 0) target.RecognizePalette();
}

// ---- Per-pixel loop ---------------------------------------------------------------------------

void ApplyPerPixel(TPixelGraphic& target, TPGFilter& filter, const TPixelGraphic& source) {
  SizeLikeSource(target, source);
  if (target.Width() <= 0 || target.Height() <= 0) return;
  const int32_t width = target.Width();
  const int32_t height = target.Height();
  const bool trueColor = target.BitCount() == bc24Bit;
  Prepared(filter, source, [&] {
    const TProgressScope progress(target, &target);
    for (int32_t y = 0; y < height; ++y) {
      if (trueColor) {
        uint8_t* row = target.ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
          const TColor color = filter.PixelColor(x, y);
          row[3 * x] = GetBValue(color);
          row[3 * x + 1] = GetGValue(color);
          row[3 * x + 2] = GetRValue(color);
        }
      } else {
        for (int32_t x = 0; x < width; ++x) target.SetColors(x, y, filter.PixelColor(x, y));
      }
      if (progress.Step(y, height - 1)) break;
    }
  });
}

// ---- Row paths for 24-bit images ----------------------------------------------------------------

// Runs mapRows(firstRow, endRow) over all rows in bands; each band of a large image is split
// between the calling thread and one worker. Progress is reported after each band; an abort stops
// before the next band. Exceptions of the worker are passed on.
template <class MapRows>
void RunInBands(TPixelGraphic& target, MapRows mapRows) {
  const int32_t height = target.Height();
  constexpr int32_t kBands = 32;
  const int32_t bandRows = std::max<int32_t>(1, (height + kBands - 1) / kBands);
  // Splitting small images costs more than it saves.
  const bool twoThreads = std::thread::hardware_concurrency() >= 2 &&
                          static_cast<int64_t>(target.Width()) * height >= (int64_t{1} << 18) && height >= 2;
  const TProgressScope progress(target, &target);
  for (int32_t first = 0; first < height; first += bandRows) {
    const int32_t end = std::min(height, first + bandRows);
    if (twoThreads && end - first >= 2) {
      const int32_t middle = first + (end - first) / 2;
      std::exception_ptr workerError;
      std::thread worker([&] {
        try {
          mapRows(middle, end);
        } catch (...) {
          workerError = std::current_exception();
        }
      });
      try {
        mapRows(first, middle);
      } catch (...) {
        worker.join();
        throw;
      }
      worker.join();
      if (workerError) std::rethrow_exception(workerError);
    } else {
      mapRows(first, end);
    }
    if (progress.Step(end - 1, height - 1)) break;
  }
}

// Per-channel tables in the byte order of a 24-bit row.
struct TRowTables {
  TFilterTable blue;
  TFilterTable green;
  TFilterTable red;
};

void MapRowsByTables(TPixelGraphic& target, const TPixelGraphic& source, const TRowTables& tables) {
  const int32_t width = target.Width();
  RunInBands(target, [&](int32_t first, int32_t end) {
    for (int32_t y = first; y < end; ++y) {
      const uint8_t* src = source.ScanLine(y);
      uint8_t* dst = target.ScanLine(y);
      for (int32_t x = 0; x < width; ++x, src += 3, dst += 3) {
        const uint8_t b = src[0];
        const uint8_t g = src[1];
        const uint8_t r = src[2];
        dst[0] = tables.blue[b];
        dst[1] = tables.green[g];
        dst[2] = tables.red[r];
      }
    }
  });
}

// The results of MapColor for the colours a thread has met lately: a direct-mapped table small
// enough to stay in the core's cache, keyed by the whole colour. Neighbouring pixels mostly repeat
// colours met shortly before; a colour not in the table is worked out again.
class THLSRecentColours {
 public:
  explicit THLSRecentColours(const THLSMapper& mapper) : mapper_(mapper), slots_(size_t{1} << kBits, 0) {}

  TColor Map(TColor color) {
    // The key is the colour with bit 24 set, so that an empty slot (0) never matches.
    const uint64_t key = static_cast<uint64_t>(color | 0x01000000u) << 32;
    uint64_t& slot = slots_[(color * 2654435761u) >> (32 - kBits)];
    if ((slot & 0xFFFFFFFF00000000u) == key) return static_cast<TColor>(slot);
    const TColor result = mapper_.MapColor(color);
    slot = key | result;
    return result;
  }

 private:
  static constexpr int kBits = 15;  // 256 KiB per thread
  const THLSMapper& mapper_;
  std::vector<uint64_t> slots_;
};

void MapRowsByHLS(TPixelGraphic& target, const TPixelGraphic& source, const THLSFilter& filter) {
  const THLSMapper mapper(filter);
  const int32_t width = target.Width();
  RunInBands(target, [&](int32_t first, int32_t end) {
    THLSRecentColours recent(mapper);
    for (int32_t y = first; y < end; ++y) {
      const uint8_t* src = source.ScanLine(y);
      uint8_t* dst = target.ScanLine(y);
      for (int32_t x = 0; x < width; ++x, src += 3, dst += 3) {
        const TColor result = recent.Map(RGBColor(src[2], src[1], src[0]));
        dst[0] = GetBValue(result);
        dst[1] = GetGValue(result);
        dst[2] = GetRValue(result);
      }
    }
  });
}

// The row paths are taken only for the exact classes, whose MapColor they reproduce; a derived
// class may answer differently and goes through PixelColor.
bool ApplyByRows(TPixelGraphic& target, TPGFilter& filter, const TPixelGraphic& source) {
  if (source.BitCount() != bc24Bit || target.BitCount() != bc24Bit) return false;
  const std::type_info& type = typeid(filter);
  if (type != typeid(TRGBFilter) && type != typeid(TCMYFilter) && type != typeid(THLSFilter)) return false;
  SizeLikeSource(target, source);
  if (target.Width() <= 0 || target.Height() <= 0 || source.Empty()) return true;
  if (type == typeid(THLSFilter)) {
    Prepared(filter, source, [&] { MapRowsByHLS(target, source, static_cast<const THLSFilter&>(filter)); });
    return true;
  }
  const auto& tableFilter = static_cast<const TXXXFilter&>(filter);
  TRowTables tables;
  if (type == typeid(TRGBFilter)) {
    tables = {tableFilter.Table3(), tableFilter.Table2(), tableFilter.Table1()};
  } else {
    // CMY: channel v becomes 255 - table[255 - v].
    for (int v = 0; v < 256; ++v) {
      tables.red[v] = static_cast<uint8_t>(255 - tableFilter.Table1()[255 - v]);
      tables.green[v] = static_cast<uint8_t>(255 - tableFilter.Table2()[255 - v]);
      tables.blue[v] = static_cast<uint8_t>(255 - tableFilter.Table3()[255 - v]);
    }
  }
  Prepared(filter, source, [&] { MapRowsByTables(target, source, tables); });
  return true;
}

}  // namespace

void ApplyFilter(TPixelGraphic& target, TPGFilter& filter, const TPixelGraphic& source) {
  const bool colorOnly = filter.ColorOnly();
  if (&source == &target && !colorOnly) throw EPGFilter(MessageText(23));
  const TUpdateScope update(target);
  if (colorOnly && target.BitCount() != bc24Bit && target.BitCountNum() >= source.BitCountNum()) {
    ApplyToPalette(target, filter, source);
  } else if (!ApplyByRows(target, filter, source)) {
    ApplyPerPixel(target, filter, source);
  }
}

}  // namespace pg
