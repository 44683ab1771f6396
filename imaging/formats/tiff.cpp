#include "imaging/formats/tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imaging/formats/format_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/question.h"
#include "imaging/image/stream.h"

namespace pg {

namespace {

const std::string kPrefix = "TIFF: ";
const formats::TFormatErrors<EPGTIFFileFormatReader> kErrors{kPrefix};
constexpr size_t kTIFFHeaderSize = 8;
// Distinct warnings shown for one file at most; hostile files can produce thousands.
constexpr size_t kMaxWarnings = 8;
// Pixels converted to colour at once, in a band of rows (or of a tile's rows).
constexpr int64_t kRGBAChunkPixels = int64_t{1} << 20;

// libtiff talks to one of these through its client callbacks. Messages are collected and turned
// into exceptions after the libtiff call returns: an exception must not cross libtiff's C frames.
struct TTIFFContext {
  TStream* stream = nullptr;
  int64_t base = 0;  // stream position of the TIFF header; file offsets count from here
  int64_t end = 0;   // stream position after the last byte written
  std::string error;
  std::vector<std::string> warnings;
  size_t warningsShown = 0;
  // The settings of the call: the reader's limits, how warnings are treated and who is asked.
  int64_t maxPixels = kDefaultMaxPixels;
  int32_t maxImages = 1000;
  TPGWarningAction warningAction = pgwaIgnore;
  TQuestionHandler question;
};

// A context for reading with the settings of the load.
TTIFFContext ReadContext(TStream& stream, const TLoadOptions& options, TPGWarningAction imageAction) {
  TTIFFContext ctx;
  ctx.stream = &stream;
  ctx.base = stream.Position();
  ctx.maxPixels = options.MaxPixels;
  ctx.maxImages = options.TIFFMaxImages;
  ctx.warningAction = options.WarningActionFor(imageAction);
  ctx.question = options.Question;
  return ctx;
}

TTIFFContext& Context(thandle_t handle) {
  return *static_cast<TTIFFContext*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  TTIFFContext& ctx = Context(handle);
  try {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(ctx.stream->Read(buffer, static_cast<size_t>(size)));
  } catch (const std::exception& e) {
    if (ctx.error.empty()) ctx.error = e.what();
    return -1;
  }
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  TTIFFContext& ctx = Context(handle);
  try {
    if (size <= 0) return 0;
    const size_t written = ctx.stream->Write(buffer, static_cast<size_t>(size));
    ctx.end = std::max(ctx.end, ctx.stream->Position());
    return static_cast<tmsize_t>(written);
  } catch (const std::exception& e) {
    if (ctx.error.empty()) ctx.error = e.what();
    return -1;
  }
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  TTIFFContext& ctx = Context(handle);
  try {
    const auto off = static_cast<int64_t>(offset);
    int64_t pos = 0;
    switch (whence) {
      case SEEK_SET:
        pos = ctx.stream->Seek(ctx.base + off, TSeekOrigin::Begin);
        break;
      case SEEK_CUR:
        pos = ctx.stream->Seek(off, TSeekOrigin::Current);
        break;
      case SEEK_END:
        pos = ctx.stream->Seek(off, TSeekOrigin::End);
        break;
      default:
        return static_cast<toff_t>(-1);
    }
    if (pos < ctx.base) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(pos - ctx.base);
  } catch (const std::exception& e) {
    if (ctx.error.empty()) ctx.error = e.what();
    return static_cast<toff_t>(-1);
  }
}

int CloseProc(thandle_t) {
  return 0;
}

toff_t SizeProc(thandle_t handle) {
  TTIFFContext& ctx = Context(handle);
  try {
    return static_cast<toff_t>(std::max<int64_t>(ctx.stream->Size() - ctx.base, 0));
  } catch (const std::exception&) {
    return 0;
  }
}

// No memory mapping: every read goes through the stream, so a file on disk is never copied whole.
int MapProc(thandle_t, void**, toff_t*) {
  return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}

std::string FormatMessage(const char* module, const char* format, va_list args) {
  std::array<char, 1024> text{};
  std::vsnprintf(text.data(), text.size(), format, args);
  std::string result = text.data();
  if (result.empty() && module != nullptr) result = module;
  return result;
}

int ErrorHandler(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto& ctx = *static_cast<TTIFFContext*>(user);
  if (ctx.error.empty()) ctx.error = FormatMessage(module, format, args);
  return 1;
}

int WarningHandler(TIFF*, void* user, const char* module, const char* format, va_list args) {
  auto& ctx = *static_cast<TTIFFContext*>(user);
  std::string text = FormatMessage(module, format, args);
  if (ctx.warnings.size() < kMaxWarnings &&
      std::find(ctx.warnings.begin(), ctx.warnings.end(), text) == ctx.warnings.end()) {
    ctx.warnings.push_back(std::move(text));
  }
  return 1;
}

// The largest single buffer a read may take: several bytes per pixel for the largest image allowed,
// so a buffer never exceeds what an image within the limit needs.
int64_t MaxSingleAllocation(int64_t maxPixels) {
  const int64_t limit = std::max<int64_t>(maxPixels, 1 << 20);
  return std::min<int64_t>(limit, INT64_MAX / 16) * 8;
}

// Owns an open libtiff handle on a context.
class TTIFFHandle {
 public:
  // The handlers are the handle's own; libtiff's process-wide ones belong to the host program.
  TTIFFHandle(TTIFFContext& ctx, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, ErrorHandler, &ctx);
    TIFFOpenOptionsSetWarningHandlerExtR(options, WarningHandler, &ctx);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(MaxSingleAllocation(ctx.maxPixels)));
    tif_ = TIFFClientOpenExt("stream", mode, &ctx, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                             MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
  }
  ~TTIFFHandle() { Close(); }
  TTIFFHandle(const TTIFFHandle&) = delete;
  TTIFFHandle& operator=(const TTIFFHandle&) = delete;

  TIFF* get() const { return tif_; }
  void Close() {
    if (tif_ != nullptr) TIFFClose(tif_);
    tif_ = nullptr;
  }

 private:
  TIFF* tif_ = nullptr;
};

template <class E>
[[noreturn]] void Raise(const TTIFFContext& ctx, const std::string& fallback) {
  throw E(kPrefix + (ctx.error.empty() ? fallback : ctx.error));
}

// Shows or raises the warnings libtiff reported so far, as the call's warning action says.
void HandleWarnings(TTIFFContext& ctx) {
  while (ctx.warningsShown < ctx.warnings.size()) {
    const std::string text = kPrefix + ctx.warnings[ctx.warningsShown++];
    if (HandleWarning(ctx.warningAction, ctx.question, MessageText(28), text) != TWarningOutcome::Continue)
      throw EPGTIFFileFormatReader(text);
  }
}

struct TImageFields {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bitsPerSample = 1;
  uint16_t samplesPerPixel = 1;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  uint16_t extraSamples = 0;
};

TImageFields ReadFields(TIFF* tif) {
  TImageFields f;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &f.bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samplesPerPixel);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric)) {
    f.photometric = f.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  }
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &f.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &f.compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &f.orientation);
  uint16_t* types = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &f.extraSamples, &types);
  return f;
}

// Checks the open handle and moves to directory `index`; E is the exception raised on faults.
template <class E>
void OpenDirectory(TTIFFHandle& handle, TTIFFContext& ctx, int32_t index, const std::string& indexText) {
  if (handle.get() == nullptr) Raise<E>(ctx, MessageText(34, "TIFF"));
  if (index < 0 || index >= std::max(ctx.maxImages, 1)) throw E(kPrefix + indexText);
  if (index > 0 && !TIFFSetDirectory(handle.get(), static_cast<tdir_t>(index))) throw E(kPrefix + indexText);
}

// Decodes the layouts the image holds as they are: palette, grey of 1 to 16 bits, 8-bit RGB.
bool CanReadNatively(TIFF* tif, const TImageFields& f) {
  if (TIFFIsTiled(tif)) return false;
  switch (f.compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
      break;
    default:
      return false;
  }
  uint16_t sampleFormat = SAMPLEFORMAT_UINT;
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  if (sampleFormat != SAMPLEFORMAT_UINT) return false;
  if (f.orientation != ORIENTATION_TOPLEFT && f.orientation != ORIENTATION_BOTLEFT) return false;
  const uint16_t bps = f.bitsPerSample;
  switch (f.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
      return f.samplesPerPixel == 1 && (bps == 1 || bps == 2 || bps == 4 || bps == 8 || bps == 16);
    case PHOTOMETRIC_PALETTE:
      return f.samplesPerPixel == 1 && (bps == 1 || bps == 2 || bps == 4 || bps == 8);
    case PHOTOMETRIC_RGB:
      return f.samplesPerPixel == 3 && bps == 8 && f.planar == PLANARCONFIG_CONTIG;
    default:
      return false;
  }
}

// Gives `graphic` the width, pixel format and palette of a picture read natively, with `rows` rows
// (the whole height, or none for a decoder of rows).
void ShapeNative(TIFF* tif, TTIFFContext& ctx, const TImageFields& f, TPixelGraphic& graphic, bool allRows) {
  const int32_t width = static_cast<int32_t>(f.width);
  const int32_t height = static_cast<int32_t>(f.height);
  const uint16_t bps = f.bitsPerSample;
  const bool rgb = f.photometric == PHOTOMETRIC_RGB;
  const TBitCount bitCount = rgb ? bc24Bit : bps == 1 ? bc1Bit : bps <= 4 ? bc4Bit : bc8Bit;

  const tmsize_t lineSize = TIFFScanlineSize(tif);
  const int64_t expected = (int64_t{width} * bps * f.samplesPerPixel + 7) / 8;
  if (lineSize <= 0 || lineSize < expected)
    Raise<EPGTIFFileFormatReader>(ctx, MessageText(7, "ScanlineSize"));

  graphic.NewImage(width, allRows ? height : 0, bitCount);
  if (!rgb) {
    const int32_t levels = 1 << std::min<int>(bps, 8);
    std::vector<TColor> colors(static_cast<size_t>(levels));
    if (f.photometric == PHOTOMETRIC_PALETTE) {
      uint16_t* red = nullptr;
      uint16_t* green = nullptr;
      uint16_t* blue = nullptr;
      if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        Raise<EPGTIFFileFormatReader>(ctx, MessageText(7, "ColorMap"));
      }
      // Some writers store 8-bit values instead of 16-bit ones.
      bool eightBit = true;
      for (int32_t i = 0; i < levels; ++i)
        eightBit = eightBit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
      const int shift = eightBit ? 0 : 8;
      for (int32_t i = 0; i < levels; ++i) {
        colors[i] = RGBColor(static_cast<uint8_t>(red[i] >> shift), static_cast<uint8_t>(green[i] >> shift),
                             static_cast<uint8_t>(blue[i] >> shift));
      }
    } else {
      for (int32_t i = 0; i < levels; ++i) {
        // Always an ascending ramp (a standard grey or black-and-white palette); min-is-white
        // data is inverted as it is read.
        const auto v = static_cast<uint8_t>(i * 255 / (levels - 1));
        colors[i] = RGBColor(v, v, v);
      }
    }
    graphic.SetPaletteCount(levels);
    for (int32_t i = 0; i < levels; ++i) graphic.SetPaletteEntries(i, colors[i]);
    graphic.RecognizePalette();
  }
}

// The rows of a picture read natively (see ShapeNative), in file order: from the top down unless
// the orientation is bottom-up. A decoder of rows owns the handle it reads (Own).
class TTIFFNativeRows : public TRowDecoder {
 public:
  TTIFFNativeRows(TIFF* tif, TTIFFContext& ctx, const TImageFields& f)
      : TRowDecoder(static_cast<int32_t>(f.height)),
        tif_(tif),
        ctx_(ctx),
        f_(f),
        expected_((int64_t{f.width} * f.bitsPerSample * f.samplesPerPixel + 7) / 8),
        lineSize_(static_cast<size_t>(TIFFScanlineSize(tif))) {}

  void Own(std::unique_ptr<TTIFFContext> ctx, std::unique_ptr<TTIFFHandle> handle) {
    ownContext_ = std::move(ctx);
    ownHandle_ = std::move(handle);
  }

  void ReadRow(uint8_t* dst) override {
    // Allocated with the first row: a decoder of rows is checked for the size of its rows first.
    line_.resize(lineSize_);
    if (TIFFReadScanline(tif_, line_.data(), next_++, 0) < 0) {
      Raise<EPGTIFFileFormatReader>(ctx_, MessageText(31, "TIFFReadScanline"));
    }
    HandleWarnings(ctx_);
    if (f_.photometric == PHOTOMETRIC_MINISWHITE) {
      for (uint8_t& b : line_) b = static_cast<uint8_t>(~b);
    }
    const auto width = static_cast<int32_t>(f_.width);
    if (f_.photometric == PHOTOMETRIC_RGB) {
      for (int32_t x = 0; x < width; ++x) {
        dst[3 * x] = line_[3 * x + 2];
        dst[3 * x + 1] = line_[3 * x + 1];
        dst[3 * x + 2] = line_[3 * x];
      }
    } else if (f_.bitsPerSample == 2) {
      for (int32_t x = 0; x < width; ++x) {
        const uint8_t v = (line_[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        dst[x >> 1] = static_cast<uint8_t>((x & 1) ? ((dst[x >> 1] & 0xF0) | v) : (v << 4));
      }
    } else if (f_.bitsPerSample == 16) {
      const auto* samples = reinterpret_cast<const uint16_t*>(line_.data());
      for (int32_t x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(samples[x] >> 8);
    } else {
      std::copy_n(line_.data(), static_cast<size_t>(expected_), dst);
    }
  }

 private:
  std::unique_ptr<TTIFFContext> ownContext_;
  std::unique_ptr<TTIFFHandle> ownHandle_;  // closed before its context goes
  TIFF* tif_;
  TTIFFContext& ctx_;
  TImageFields f_;
  int64_t expected_;
  size_t lineSize_;
  std::vector<uint8_t> line_;
  uint32_t next_ = 0;
};

void ReadNative(TIFF* tif, TTIFFContext& ctx, const TImageFields& f, TPixelGraphic& graphic,
                const void* sender) {
  ShapeNative(tif, ctx, f, graphic, true);
  TTIFFNativeRows rows(tif, ctx, f);
  if (f.orientation != ORIENTATION_BOTLEFT) {
    ReadRowsInto(rows, graphic, sender);
    return;
  }
  const int32_t height = rows.Height();
  const TProgressScope progress(graphic, sender);
  for (int32_t r = 0; r < height; ++r) {
    rows.ReadRow(graphic.ScanLine(height - 1 - r));
    if (progress.Step(r, height)) break;
  }
}

// Buffers of the colour-converted path are held to libtiff's own limit for one buffer.
void CheckAllocation(const TTIFFContext& ctx, uint64_t bytes) {
  if (bytes > static_cast<uint64_t>(MaxSingleAllocation(ctx.maxPixels))) {
    throw EPGTIFFileFormatReader(
        kPrefix + "a buffer of " + std::to_string(bytes) +
        " bytes for the strips or tiles is larger than 8 bytes for every pixel of the "
        "pixel limit (MaxPixels)");
  }
}

// Uninitialised memory for decoded data: pages the decoder does not reach are never touched, and
// a failed decode raises before anything reads them.
class TDecodeBuffer {
 public:
  uint8_t* Get(const TTIFFContext& ctx, uint64_t bytes) {
    CheckAllocation(ctx, bytes);
    if (bytes > capacity_) {
      data_.reset();
      data_.reset(new uint8_t[static_cast<size_t>(bytes)]);
      capacity_ = bytes;
    }
    return data_.get();
  }
  uint8_t* Data() const { return data_.get(); }

 private:
  std::unique_ptr<uint8_t[]> data_;
  uint64_t capacity_ = 0;
};

// The rows of one sample plane of a strip image for libtiff's RGBA conversion, each strip decoded
// once: a strip of moderate size whole, a larger one row by row as the bands ask for its rows, so
// neither the time nor the memory of a read grows beyond the strip's own data. Planes of a
// separate-plane image each stream through a handle of their own, since libtiff keeps one decoding
// position per handle.
class TPlaneRows {
 public:
  TPlaneRows(TIFF* tif, TTIFFContext& ctx, uint16_t sample, uint32_t blockRows,
             std::function<TIFF*()> openOwnHandle)
      : tif_(tif),
        ctx_(ctx),
        sample_(sample),
        blockRows_(blockRows),
        openOwnHandle_(std::move(openOwnHandle)) {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip_);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height_);
    rowsPerStrip_ = std::clamp<uint32_t>(rowsPerStrip_, 1, std::max<uint32_t>(height_, 1));
    scanline_ = TIFFScanlineSize64(tif);
    if (scanline_ == 0) Raise<EPGTIFFileFormatReader>(ctx, MessageText(7, "ScanlineSize"));
  }

  uint32_t RowsPerStrip() const { return rowsPerStrip_; }

  // `count` rows from file row `row` on, all inside one strip, `scanline` bytes apart.
  uint8_t* Rows(uint32_t row, uint32_t count) {
    const uint32_t first = row - row % rowsPerStrip_;
    const uint32_t stripRows = std::min(rowsPerStrip_, height_ - first);
    const uint64_t stripBytes = TIFFVStripSize64(tif_, stripRows);
    if (stripBytes == 0) Raise<EPGTIFFileFormatReader>(ctx_, MessageText(7, "StripSize"));
    // Subsampled rows come in blocks: streaming needs the strip to end on a whole block.
    if (stripBytes <= kWholeStripBytes || stripRows % blockRows_ != 0)
      return WholeStrip(row, first, stripBytes);
    if (streamTif_ == nullptr) streamTif_ = sample_ == 0 ? tif_ : openOwnHandle_();
    const uint32_t readRows = (count + blockRows_ - 1) / blockRows_ * blockRows_;
    uint8_t* data = Buffer(readRows * scanline_);
    for (uint32_t i = 0; i < readRows; ++i) {
      if (TIFFReadScanline(streamTif_, data + i * scanline_, row + i, sample_) < 0)
        Raise<EPGTIFFileFormatReader>(ctx_, MessageText(31, "TIFFReadScanline"));
    }
    return data;
  }

 private:
  static constexpr uint64_t kWholeStripBytes = uint64_t{1} << 20;

  uint8_t* WholeStrip(uint32_t row, uint32_t first, uint64_t stripBytes) {
    const uint32_t strip = TIFFComputeStrip(tif_, row, sample_);
    if (strip != loaded_) {
      loaded_ = UINT32_MAX;
      uint8_t* data = Buffer(stripBytes);
      if (TIFFReadEncodedStrip(tif_, strip, data, static_cast<tmsize_t>(stripBytes)) < 0)
        Raise<EPGTIFFileFormatReader>(ctx_, MessageText(31, "TIFFReadEncodedStrip"));
      loaded_ = strip;
    }
    return buffer_.Data() + static_cast<size_t>((row - first) * scanline_);
  }

  uint8_t* Buffer(uint64_t bytes) { return buffer_.Get(ctx_, bytes); }

  TIFF* tif_;
  TTIFFContext& ctx_;
  uint16_t sample_;
  uint32_t blockRows_;
  std::function<TIFF*()> openOwnHandle_;
  TIFF* streamTif_ = nullptr;
  uint32_t rowsPerStrip_ = 0;
  uint32_t height_ = 0;
  uint64_t scanline_ = 0;
  uint32_t loaded_ = UINT32_MAX;
  TDecodeBuffer buffer_;
};

// libtiff's RGBA conversion (its put routines) of one directory, begun on construction and ended
// on destruction, with the layout of the data it converts.
class TRGBAConversion {
 public:
  TRGBAConversion(TIFF* tif) {
    std::array<char, 1024> message{};
    if (!TIFFRGBAImageOK(tif, message.data())) throw EPGTIFFileFormatReader(kPrefix + message.data());
    if (!TIFFRGBAImageBegin(&image_, tif, 1, message.data()))
      throw EPGTIFFileFormatReader(kPrefix + message.data());
    // Subsampled YCbCr data (not upsampled by the codec) comes in blocks of several rows.
    if (image_.photometric == PHOTOMETRIC_YCBCR) {
      uint16_t horizontal = 1, vertical = 1;
      TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &horizontal, &vertical);
      blockRows_ = std::clamp<uint32_t>(vertical, 1, 4);
    }
    // The planes the separate-plane conversion reads: colour (one or three), then alpha or black.
    colorPlanes_ = image_.photometric == PHOTOMETRIC_MINISWHITE ||
                           image_.photometric == PHOTOMETRIC_MINISBLACK ||
                           image_.photometric == PHOTOMETRIC_PALETTE
                       ? 1
                       : 3;
    const bool fourthPlane = image_.alpha != 0 || image_.photometric == PHOTOMETRIC_SEPARATED;
    planeCount_ = image_.isContig ? 1 : colorPlanes_ + (fourthPlane ? 1 : 0);
  }
  ~TRGBAConversion() { TIFFRGBAImageEnd(&image_); }
  TRGBAConversion(const TRGBAConversion&) = delete;
  TRGBAConversion& operator=(const TRGBAConversion&) = delete;

  uint32_t BlockRows() const { return blockRows_; }
  int PlaneCount() const { return planeCount_; }

  // Converts `n` rows of `w` pixels from the planes' data into `raster`, `fromSkew` pixels of
  // source skipped after each row.
  void Convert(uint32_t* raster, uint32_t x, uint32_t y, uint32_t w, uint32_t n, int32_t fromSkew,
               uint8_t* const* data) {
    if (image_.isContig) {
      image_.put.contig(&image_, raster, x, y, w, n, fromSkew, 0, data[0]);
    } else {
      uint8_t* fourth = planeCount_ > colorPlanes_ ? data[colorPlanes_] : nullptr;
      const int g = colorPlanes_ == 1 ? 0 : 1, b = colorPlanes_ == 1 ? 0 : 2;
      image_.put.separate(&image_, raster, x, y, w, n, fromSkew, 0, data[0], data[g], data[b], fourth);
    }
  }

 private:
  TIFFRGBAImage image_{};
  uint32_t blockRows_ = 1;
  int colorPlanes_ = 3;
  int planeCount_ = 1;
};

// The converted rows of a picture in strips, in file order, a band of rows at a time (a band never
// crosses the end of a strip). `openHandle` opens the same directory on a new handle, for planes
// that stream through a handle of their own.
class TRGBAStripRows {
 public:
  TRGBAStripRows(TIFF* tif, TTIFFContext& ctx, TRGBAConversion& conversion, int32_t width, int32_t height,
                 std::function<std::unique_ptr<TTIFFHandle>()> openHandle)
      : ctx_(ctx),
        conversion_(conversion),
        width_(width),
        height_(height),
        openHandle_(std::move(openHandle)) {
    const uint32_t blockRows = conversion.BlockRows();
    planes_.reserve(static_cast<size_t>(conversion.PlaneCount()));
    for (int p = 0; p < conversion.PlaneCount(); ++p) {
      planes_.emplace_back(tif, ctx, static_cast<uint16_t>(p), blockRows, [this]() {
        ownHandles_.push_back(openHandle_());
        return ownHandles_.back()->get();
      });
    }
    stripRows_ = planes_[0].RowsPerStrip();
    bandRows_ = std::clamp<int64_t>(kRGBAChunkPixels / width / blockRows * blockRows, blockRows,
                                    std::max<int64_t>(stripRows_, blockRows));
    CheckAllocation(ctx, static_cast<uint64_t>(bandRows_) * static_cast<uint64_t>(width) * sizeof(uint32_t));
    raster_.resize(static_cast<size_t>(bandRows_ * width));
  }
  TRGBAStripRows(const TRGBAStripRows&) = delete;
  TRGBAStripRows& operator=(const TRGBAStripRows&) = delete;

  // The converted pixels of the next file row.
  const uint32_t* Next() {
    if (next_ >= bandFirst_ + bandCount_) {
      bandFirst_ = next_;
      bandCount_ = static_cast<int32_t>(
          std::min<int64_t>({bandRows_, height_ - next_, stripRows_ - next_ % stripRows_}));
      const auto r = static_cast<uint32_t>(bandFirst_), n = static_cast<uint32_t>(bandCount_);
      uint8_t* data[4] = {};
      for (size_t p = 0; p < planes_.size(); ++p) data[p] = planes_[p].Rows(r, n);
      conversion_.Convert(raster_.data(), 0, r, static_cast<uint32_t>(width_), n, 0, data);
      HandleWarnings(ctx_);
    }
    return &raster_[static_cast<size_t>(next_++ - bandFirst_) * static_cast<size_t>(width_)];
  }

 private:
  TTIFFContext& ctx_;
  TRGBAConversion& conversion_;
  int32_t width_;
  int32_t height_;
  std::function<std::unique_ptr<TTIFFHandle>()> openHandle_;
  std::vector<std::unique_ptr<TTIFFHandle>> ownHandles_;
  std::vector<TPlaneRows> planes_;
  int64_t stripRows_ = 1;
  int64_t bandRows_ = 1;
  std::vector<uint32_t> raster_;
  int32_t bandFirst_ = 0;
  int32_t bandCount_ = 0;
  int32_t next_ = 0;
};

// One converted pixel over the background colour `background` into B, G, R: the alpha libtiff
// returns is premultiplied, so compositing adds the background's share.
void Composite(uint32_t p, TColor background, uint8_t* dst) {
  const uint32_t rest = 255 - TIFFGetA(p);
  dst[0] =
      static_cast<uint8_t>(std::min<uint32_t>(TIFFGetB(p) + (GetBValue(background) * rest + 127) / 255, 255));
  dst[1] =
      static_cast<uint8_t>(std::min<uint32_t>(TIFFGetG(p) + (GetGValue(background) * rest + 127) / 255, 255));
  dst[2] =
      static_cast<uint8_t>(std::min<uint32_t>(TIFFGetR(p) + (GetRValue(background) * rest + 127) / 255, 255));
}

// Everything else goes through libtiff's RGBA conversion, a band of rows at a time. Strips come
// from TRGBAStripRows; tiles are decoded one at a time, each once, and converted a few rows at a
// time, so neither needs more than one decoded tile and a small band of converted pixels.
// `openHandle` opens the same directory on a new handle.
void ReadRGBA(TIFF* tif, TTIFFContext& ctx, const TImageFields& f, TPixelGraphic& graphic, const void* sender,
              const std::function<std::unique_ptr<TTIFFHandle>()>& openHandle) {
  TRGBAConversion conversion(tif);
  const int32_t width = static_cast<int32_t>(f.width);
  const int32_t height = static_cast<int32_t>(f.height);
  const bool tiled = TIFFIsTiled(tif);
  const uint32_t blockRows = conversion.BlockRows();
  const int planeCount = conversion.PlaneCount();

  // Orientations 5 to 8 store the picture transposed: file rows are the image's columns.
  const uint16_t o = f.orientation;
  const bool transposed = o >= ORIENTATION_LEFTTOP && o <= ORIENTATION_LEFTBOT;
  const bool flipV = o == ORIENTATION_BOTRIGHT || o == ORIENTATION_BOTLEFT;
  const bool flipH = o == ORIENTATION_TOPRIGHT || o == ORIENTATION_BOTRIGHT;
  const bool mirrorX = o == ORIENTATION_RIGHTTOP || o == ORIENTATION_RIGHTBOT;
  const bool mirrorY = o == ORIENTATION_RIGHTBOT || o == ORIENTATION_LEFTBOT;
  if (transposed) {
    graphic.NewImage(height, width, bc24Bit);
  } else {
    graphic.NewImage(width, height, bc24Bit);
  }
  const TColor background = graphic.BackgroundColor();
  // Stores `n` converted pixels of file row r from column c0 on, in the image's orientation.
  auto store = [&](int32_t r, int32_t c0, int32_t n, const uint32_t* src) {
    uint8_t* line = transposed ? nullptr : graphic.ScanLine(flipV ? height - 1 - r : r);
    const int32_t column = mirrorX ? height - 1 - r : r;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t c = c0 + i;
      uint8_t* dst = transposed
                         ? graphic.ScanLine(mirrorY ? width - 1 - c : c) + 3 * static_cast<size_t>(column)
                         : line + 3 * static_cast<size_t>(flipH ? width - 1 - c : c);
      Composite(src[i], background, dst);
    }
  };

  TProgressScope progress(graphic, sender);
  if (tiled) {
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
    const uint64_t tileBytes = TIFFTileSize64(tif);
    if (tileWidth == 0 || tileLength == 0 || tileBytes == 0)
      Raise<EPGTIFFileFormatReader>(ctx, MessageText(7, "TileSize"));
    const int64_t chunk = std::clamp<int64_t>(kRGBAChunkPixels / tileWidth / blockRows * blockRows, blockRows,
                                              std::max(tileLength, blockRows));
    CheckAllocation(ctx, tileBytes);
    CheckAllocation(ctx, uint64_t{tileWidth} * static_cast<uint64_t>(chunk) * sizeof(uint32_t));
    std::vector<uint32_t> raster(static_cast<size_t>(chunk) * tileWidth);
    std::vector<TDecodeBuffer> tiles(static_cast<size_t>(planeCount));
    for (uint32_t ty = 0; ty < static_cast<uint32_t>(height); ty += tileLength) {
      const uint32_t bandRows = std::min<uint32_t>(tileLength, height - ty);
      for (uint32_t tx = 0; tx < static_cast<uint32_t>(width); tx += tileWidth) {
        const uint32_t w = std::min<uint32_t>(tileWidth, width - tx);
        uint8_t* data[4] = {};
        for (int p = 0; p < planeCount; ++p) {
          data[p] = tiles[p].Get(ctx, tileBytes);
          if (TIFFReadTile(tif, data[p], tx, ty, 0, static_cast<uint16_t>(p)) < 0)
            Raise<EPGTIFFileFormatReader>(ctx, MessageText(31, "TIFFReadTile"));
        }
        for (uint32_t sub = 0; sub < bandRows; sub += static_cast<uint32_t>(chunk)) {
          const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(chunk), bandRows - sub);
          const uint64_t offset = TIFFVTileSize64(tif, sub);
          uint8_t* at[4] = {};
          for (int p = 0; p < planeCount; ++p) at[p] = data[p] + offset;
          conversion.Convert(raster.data(), tx, ty + sub, w, n, static_cast<int32_t>(tileWidth - w), at);
          for (uint32_t i = 0; i < n; ++i)
            store(static_cast<int32_t>(ty + sub + i), static_cast<int32_t>(tx), static_cast<int32_t>(w),
                  &raster[static_cast<size_t>(i) * w]);
        }
      }
      HandleWarnings(ctx);
      for (uint32_t i = 0; i < bandRows; ++i) {
        if (progress.Step(static_cast<int32_t>(ty + i), height)) return;
      }
    }
    return;
  }

  TRGBAStripRows rows(tif, ctx, conversion, width, height, openHandle);
  for (int32_t row = 0; row < height; ++row) {
    store(row, 0, width, rows.Next());
    if (progress.Step(row, height)) return;
  }
}

// The rows of a picture in strips, stored from the top down (left to right or mirrored), through
// the RGBA conversion over the background colour. Owns its handle and what reads through it.
class TTIFFRGBARows : public TRowDecoder {
 public:
  TTIFFRGBARows(std::unique_ptr<TTIFFContext> ctx, std::unique_ptr<TTIFFHandle> handle, const TImageFields& f,
                TColor background, std::function<std::unique_ptr<TTIFFHandle>()> openHandle)
      : TRowDecoder(static_cast<int32_t>(f.height)),
        ctx_(std::move(ctx)),
        handle_(std::move(handle)),
        conversion_(std::make_unique<TRGBAConversion>(handle_->get())),
        rows_(std::make_unique<TRGBAStripRows>(handle_->get(), *ctx_, *conversion_,
                                               static_cast<int32_t>(f.width), static_cast<int32_t>(f.height),
                                               std::move(openHandle))),
        width_(static_cast<int32_t>(f.width)),
        flipH_(f.orientation == ORIENTATION_TOPRIGHT),
        background_(background) {}

  void ReadRow(uint8_t* dst) override {
    const uint32_t* src = rows_->Next();
    for (int32_t x = 0; x < width_; ++x)
      Composite(src[x], background_, dst + 3 * static_cast<size_t>(flipH_ ? width_ - 1 - x : x));
  }

 private:
  std::unique_ptr<TTIFFContext> ctx_;
  std::unique_ptr<TTIFFHandle> handle_;
  std::unique_ptr<TRGBAConversion> conversion_;
  std::unique_ptr<TRGBAStripRows> rows_;  // destroyed first: its own handles close before the main one
  int32_t width_;
  bool flipH_;
  TColor background_;
};

// Uncompressed pixel data must be in the file before the image is allocated for it.
void CheckUncompressedSize(TIFF* tif, TTIFFContext& ctx, const TImageFields& f) {
  if (f.compression != COMPRESSION_NONE) return;
  long double needed = 0;
  if (TIFFIsTiled(tif)) {
    needed = static_cast<long double>(TIFFTileSize64(tif)) * TIFFNumberOfTiles(tif);
  } else {
    const long double planes = f.planar == PLANARCONFIG_SEPARATE ? f.samplesPerPixel : 1;
    needed = static_cast<long double>(TIFFScanlineSize64(tif)) * f.height * planes;
  }
  const int64_t available = ctx.stream->Size() - ctx.base;
  if (needed > static_cast<long double>(available)) throw EPGTIFFileFormatReader(kPrefix + MessageText(32));
}

std::string PhotometricName(uint16_t photometric) {
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
      return "min-is-white";
    case PHOTOMETRIC_MINISBLACK:
      return "min-is-black";
    case PHOTOMETRIC_RGB:
      return "RGB";
    case PHOTOMETRIC_PALETTE:
      return "palette";
    case PHOTOMETRIC_SEPARATED:
      return "separated";
    case PHOTOMETRIC_YCBCR:
      return "YCbCr";
    default:
      return "photometric " + std::to_string(photometric);
  }
}

}  // namespace

TTIFFileFormatReader::TTIFFileFormatReader() {
  Extension = "tif";
  Description = "Tagged Image File Format";
  HasSignature = true;
}

TTIFFFileFormatReader::TTIFFFileFormatReader() {
  Extension = "tiff";
}

bool TTIFFileFormatReader::IsFormat(const uint8_t* header) const {
  return (header[0] == 'I' && header[1] == 'I' && header[2] == 42 && header[3] == 0) ||
         (header[0] == 'M' && header[1] == 'M' && header[2] == 0 && header[3] == 42);
}

void TTIFFileFormatReader::ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                          const TLoadOptions& options) const {
  if (index < 0) throw EPGTIFFileFormatReader(kPrefix + MessageText(7, "Index"));
  graphic.SetGamma(options.DefaultGamma);

  TTIFFContext ctx = ReadContext(stream, options, graphic.ReadWarningAction());
  TTIFFHandle handle(ctx, "rm");
  OpenDirectory<EPGTIFFileFormatReader>(handle, ctx, index, MessageText(7, "Index"));
  HandleWarnings(ctx);

  TIFF* tif = handle.get();
  const TImageFields f = ReadFields(tif);
  kErrors.CheckImageSize(f.width, f.height, options.MaxPixels);
  CheckUncompressedSize(tif, ctx, f);
  if (CanReadNatively(tif, f)) {
    ReadNative(tif, ctx, f, graphic, this);
    return;
  }
  // Separate planes of large strips each stream through a handle of their own.
  auto openHandle = [&]() {
    stream.SetPosition(ctx.base);
    auto another = std::make_unique<TTIFFHandle>(ctx, "rm");
    OpenDirectory<EPGTIFFileFormatReader>(*another, ctx, index, MessageText(7, "Index"));
    return another;
  };
  ReadRGBA(tif, ctx, f, graphic, this, openHandle);
}

std::unique_ptr<TRowDecoder> TTIFFileFormatReader::OpenRows(TStream& stream, TPixelGraphic& graphic,
                                                            int32_t index,
                                                            const TLoadOptions& options) const {
  if (index < 0) throw EPGTIFFileFormatReader(kPrefix + MessageText(7, "Index"));
  graphic.SetGamma(options.DefaultGamma);

  auto ctx = std::make_unique<TTIFFContext>(ReadContext(stream, options, graphic.ReadWarningAction()));
  auto handle = std::make_unique<TTIFFHandle>(*ctx, "rm");
  OpenDirectory<EPGTIFFileFormatReader>(*handle, *ctx, index, MessageText(7, "Index"));
  HandleWarnings(*ctx);

  TIFF* tif = handle->get();
  const TImageFields f = ReadFields(tif);
  kErrors.CheckImageSize(f.width, f.height, options.MaxPixels);
  CheckUncompressedSize(tif, *ctx, f);
  // Strips from the top down; tiles and the other orientations are read whole.
  if (TIFFIsTiled(tif)) return nullptr;
  if (CanReadNatively(tif, f)) {
    if (f.orientation != ORIENTATION_TOPLEFT) return nullptr;
    ShapeNative(tif, *ctx, f, graphic, false);
    auto rows = std::make_unique<TTIFFNativeRows>(tif, *ctx, f);
    rows->Own(std::move(ctx), std::move(handle));
    return rows;
  }
  if (f.orientation != ORIENTATION_TOPLEFT && f.orientation != ORIENTATION_TOPRIGHT) return nullptr;
  graphic.NewImage(static_cast<int32_t>(f.width), 0, bc24Bit);
  // Separate planes of large strips each stream through a handle of their own.
  TTIFFContext* context = ctx.get();
  auto openHandle = [&stream, context, index]() {
    stream.SetPosition(context->base);
    auto another = std::make_unique<TTIFFHandle>(*context, "rm");
    OpenDirectory<EPGTIFFileFormatReader>(*another, *context, index, MessageText(7, "Index"));
    return another;
  };
  return std::make_unique<TTIFFRGBARows>(std::move(ctx), std::move(handle), f, graphic.BackgroundColor(),
                                         openHandle);
}

void TTIFFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText,
                                   const TLoadOptions& options) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText, options);
  TTIFFContext ctx = ReadContext(stream, options, pgwaIgnore);
  TTIFFHandle handle(ctx, "rm");
  OpenDirectory<EPGTIFFileFormatReader>(handle, ctx, 0, MessageText(20, "Index"));
  TIFF* tif = handle.get();
  if (options.TIFFCountImages) {
    // Walks the directory chain up to the configured maximum; libtiff stops at loops.
    int32_t count = 1;
    while (count < options.TIFFMaxImages && TIFFReadDirectory(tif)) ++count;
    imageCount = count;
    if (!TIFFSetDirectory(tif, 0)) Raise<EPGTIFFileFormatReader>(ctx, MessageText(20, "Index"));
  }
  OpenDirectory<EPGTIFFileFormatReader>(handle, ctx, index, MessageText(20, "Index"));

  const TImageFields f = ReadFields(tif);
  width = static_cast<int32_t>(std::min<uint32_t>(f.width, INT32_MAX));
  height = static_cast<int32_t>(std::min<uint32_t>(f.height, INT32_MAX));
  if (f.orientation >= ORIENTATION_LEFTTOP && f.orientation <= ORIENTATION_LEFTBOT) std::swap(width, height);
  // Both counts are 16-bit fields of the file: their product can exceed an int.
  bitsPerPixel =
      static_cast<int32_t>(std::min<uint32_t>(uint32_t{f.bitsPerSample} * f.samplesPerPixel, INT32_MAX));
  colorsText = formats::ColorsTextOf(std::min(bitsPerPixel, 24));
  subFormatText = PhotometricName(f.photometric);
  const TIFFCodec* codec = TIFFFindCODEC(f.compression);
  infoText = codec != nullptr ? codec->name : "compression " + std::to_string(f.compression);
  if (TIFFIsTiled(tif)) infoText += ", tiled";
}

// ---- Writer -------------------------------------------------------------------------------------

TTIFFileFormatWriter::TTIFFileFormatWriter() {
  Extension = "tif";
  Description = "Tagged Image File Format";
  CanWriteResolutions = {crBlackWhite, cr16Gray,    cr16SysColors, cr16Colors,
                         cr256Gray,    cr256Colors, cr16MColors};
}

TTIFFFileFormatWriter::TTIFFFileFormatWriter() {
  Extension = "tiff";
  ShowInFilter = false;
}

void TTIFFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic,
                                         const TSaveOptions& options) const {
  WriteHeader(stream, options);
  WriteImage(stream, graphic, options);
  WriteTrailer(stream, options);
}

// The 8-byte file header with no directory yet; WriteImage appends the image's directory and
// links it into the header.
void TTIFFileFormatWriter::WriteHeader(TStream& stream, const TSaveOptions& options) const {
  std::array<uint8_t, kTIFFHeaderSize> header{};
  if (options.TIFFBigEndian) {
    header = {'M', 'M', 0, 42, 0, 0, 0, 0};
  } else {
    header = {'I', 'I', 42, 0, 0, 0, 0, 0};
  }
  stream.WriteBuffer(header.data(), header.size());
}

namespace {

[[noreturn]] void FailWrite(const std::string& text) {
  throw EPGTIFFileFormatWriter(kPrefix + text);
}

// How index values of a palette image map to grey: +1 ascending (0 = black), -1 descending
// (0 = white), 0 not a linear grey ramp.
int GrayRamp(const TPixelGraphic& graphic) {
  const int32_t levels = graphic.ColorCount();
  if (graphic.PaletteCount() != levels) return 0;
  bool up = true;
  bool down = true;
  for (int32_t i = 0; i < levels; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (levels - 1));
    const TColor c = graphic.PaletteEntries(i);
    up = up && c == RGBColor(v, v, v);
    down = down && c == RGBColor(255 - v, 255 - v, 255 - v);
  }
  return up ? 1 : down ? -1 : 0;
}

}  // namespace

void TTIFFileFormatWriter::WriteImage(TStream& stream, TPixelGraphic& graphic,
                                      const TSaveOptions& options) const {
  const int32_t width = graphic.Width();
  const int32_t height = graphic.Height();
  if (width <= 0 || height <= 0 || graphic.Empty()) FailWrite(MessageText(35));

  uint16_t compression = COMPRESSION_NONE;
  if (options.TIFFCompression == COMPRESSION_PACKBITS) {
    compression = COMPRESSION_PACKBITS;
  } else if (options.TIFFCompression != COMPRESSION_NONE) {
    FailWrite(MessageText(7, "TIFFCompression"));
  }
  uint16_t unit = RESUNIT_INCH;
  switch (options.TIFFResolutionUnit) {
    case 0:
      unit = RESUNIT_NONE;
      break;
    case 1:
      unit = RESUNIT_INCH;
      break;
    case 2:
      unit = RESUNIT_CENTIMETER;
      break;
    default:
      FailWrite(MessageText(7, "TIFFResolutionUnit"));
  }
  if (options.TIFFXResolutionDenominator == 0) FailWrite(MessageText(7, "TIFFXResolution"));
  if (options.TIFFYResolutionDenominator == 0) FailWrite(MessageText(7, "TIFFYResolution"));

  // The sample layout written for the image.
  const bool trueColor = graphic.BitCount() == bc24Bit;
  const bool cmyk = trueColor && options.TIFFWriteCMYK;
  const int ramp = trueColor ? 0 : GrayRamp(graphic);
  const uint16_t bits = trueColor ? 8 : static_cast<uint16_t>(graphic.BitCountNum());
  const uint16_t samples = cmyk ? 4 : trueColor ? 3 : 1;
  uint16_t photometric = PHOTOMETRIC_RGB;
  bool invert = false;
  if (cmyk) {
    photometric = PHOTOMETRIC_SEPARATED;
  } else if (!trueColor && ramp != 0) {
    photometric = options.TIFFWhiteIsZero ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
    invert = (ramp > 0) == options.TIFFWhiteIsZero;
  } else if (!trueColor) {
    photometric = PHOTOMETRIC_PALETTE;
  }

  // WriteHeader has just put the header before the current position.
  TTIFFContext ctx;
  ctx.stream = &stream;
  ctx.base = stream.Position() - static_cast<int64_t>(kTIFFHeaderSize);
  ctx.end = stream.Position();
  if (ctx.base < 0) FailWrite(MessageText(7, "Header"));
  // libtiff reads the header from the current position when it opens for appending.
  stream.SetPosition(ctx.base);
  TTIFFHandle handle(ctx, "am");
  TIFF* tif = handle.get();
  if (tif == nullptr) Raise<EPGTIFFileFormatWriter>(ctx, MessageText(31, "TIFFClientOpen"));

  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width)) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height)) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, compression) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, unit) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION,
                         static_cast<float>(static_cast<double>(options.TIFFXResolutionNumerator) /
                                            options.TIFFXResolutionDenominator)) &&
            TIFFSetField(tif, TIFFTAG_YRESOLUTION,
                         static_cast<float>(static_cast<double>(options.TIFFYResolutionNumerator) /
                                            options.TIFFYResolutionDenominator)) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  if (ok && cmyk) ok = TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  if (ok && photometric == PHOTOMETRIC_PALETTE) {
    const size_t levels = size_t{1} << bits;
    std::vector<uint16_t> red(levels), green(levels), blue(levels);
    const std::vector<TColor> palette = formats::PaletteTable(graphic);
    for (size_t i = 0; i < levels; ++i) {
      red[i] = static_cast<uint16_t>(GetRValue(palette[i]) * 257);
      green[i] = static_cast<uint16_t>(GetGValue(palette[i]) * 257);
      blue[i] = static_cast<uint16_t>(GetBValue(palette[i]) * 257);
    }
    ok = TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }
  if (!ok) Raise<EPGTIFFileFormatWriter>(ctx, MessageText(31, "TIFFSetField"));

  const size_t lineBytes = (static_cast<size_t>(width) * bits * samples + 7) / 8;
  std::vector<uint8_t> line(lineBytes);
  TProgressScope progress(graphic, this);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = graphic.ScanLine(y);
    if (cmyk) {
      // No black generation: C, M, Y = 255 - R, G, B read back exactly.
      for (int32_t x = 0; x < width; ++x) {
        line[4 * x] = static_cast<uint8_t>(255 - src[3 * x + 2]);
        line[4 * x + 1] = static_cast<uint8_t>(255 - src[3 * x + 1]);
        line[4 * x + 2] = static_cast<uint8_t>(255 - src[3 * x]);
        line[4 * x + 3] = 0;
      }
    } else if (trueColor) {
      for (int32_t x = 0; x < width; ++x) {
        line[3 * x] = src[3 * x + 2];
        line[3 * x + 1] = src[3 * x + 1];
        line[3 * x + 2] = src[3 * x];
      }
    } else {
      std::copy_n(src, lineBytes, line.begin());
      if (invert) {
        for (uint8_t& b : line) b = static_cast<uint8_t>(~b);
      }
    }
    if (TIFFWriteScanline(tif, line.data(), static_cast<uint32_t>(y), 0) < 0) {
      Raise<EPGTIFFileFormatWriter>(ctx, MessageText(31, "TIFFWriteScanline"));
    }
    // A file cut short is no file: an abort makes the save fail, so the caller keeps the old one.
    if (progress.Step(y, height)) throw EPGAbort(MessageText(29));
  }
  if (!TIFFFlush(tif)) Raise<EPGTIFFileFormatWriter>(ctx, MessageText(31, "TIFFFlush"));
  handle.Close();
  if (!ctx.error.empty()) Raise<EPGTIFFileFormatWriter>(ctx, "");
  // Leave the stream after the file, where the caller expects the end of what was written.
  stream.SetPosition(ctx.end);
}

// Nothing follows the directory, which libtiff writes when the image is closed.
void TTIFFileFormatWriter::WriteTrailer(TStream&, const TSaveOptions&) const {}

}  // namespace pg
