// The reader/writer framework: one reader class and one writer class per file format, the
// process-wide tables of them, reader choice by content (by extension only for formats without a
// signature), writer choice by extension, and the library-wide format options.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/image/types.h"

namespace pg {

class TStream;
class TPixelGraphic;

class TFileFormatReaderWriter {
 public:
  virtual ~TFileFormatReaderWriter() = default;
  bool ShowInFilter = true;
  std::string Extension;    // lower case, without the dot ("bmp")
  std::string Description;  // "Bitmap"
};

class TFileFormatReader : public TFileFormatReaderWriter {
 public:
  bool HasSignature = false;

  static constexpr size_t kHeaderSize = 17;

  // True when the first bytes of a stream (zero padded to 17) belong to this format.
  virtual bool IsFormat(const uint8_t* header) const;
  // Decodes image number `index` (0 = first) at the stream's position into `graphic`.
  virtual void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index) const;
  // Reads headers only. The base sets ImageCount 1 and everything else empty or 0; every reader
  // calls the base first and overwrites what it knows.
  virtual void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                       std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
                       std::string& subFormatText) const;
};

// A set over the eight colour resolutions.
using TColorResSet = std::set<TColorRes>;

class TFileFormatWriter : public TFileFormatReaderWriter {
 public:
  TColorResSet CanWriteResolutions;

  // Writes `graphic` as one complete file at the stream's position.
  virtual void WriteToStream(TStream& stream, TPixelGraphic& graphic) const;
  // Used only by the TIFF writer, whose WriteToStream calls the three in order.
  virtual void WriteHeader(TStream& stream) const;
  virtual void WriteImage(TStream& stream, TPixelGraphic& graphic) const;
  virtual void WriteTrailer(TStream& stream) const;
  // The class name, used in the "... .CanWriteResolutions is empty" message.
  virtual std::string ClassName() const { return "TFileFormatWriter"; }
};

// The two tables, built once at start-up in registration order and sorted by extension
// (case-insensitively) before first use; read-only afterwards, so several threads may load and
// save independent images at once.
const std::vector<std::unique_ptr<TFileFormatReader>>& FileFormatReaders();
const std::vector<std::unique_ptr<TFileFormatWriter>>& FileFormatWriters();

// The reader for the data at the stream's position: by signature first, then by extension for the
// readers without one. Never raises; nullptr when none fits.
const TFileFormatReader* FindFileFormatReader(TStream& stream, std::string extension);
// An extension as the tables compare it: one leading dot dropped, ASCII letters in lower case.
std::string NormalizeExtension(std::string_view extension);

// The writer for an extension (one leading dot dropped, case-insensitive), or nullptr.
const TFileFormatWriter* FindFileFormatWriter(std::string extension);

// The save negotiation shared by SaveToFile and SaveToStream: picks the writer for `extension`,
// finds the colour resolution it will hold (the fallback order), asks through the image's
// SaveColorResWarningAction when that differs from the image's own, converts into a temporary
// image when needed and hands the writer and the image to write to `write`.
void SaveGraphic(TPixelGraphic& graphic, std::string extension,
                 const std::function<void(const TFileFormatWriter& writer, TPixelGraphic& image)>& write);

// The first resolution of `current`'s fallback row that `allowed` contains; false when none.
bool FallbackColorRes(TColorRes current, const TColorResSet& allowed, TColorRes& target);

// Makes `target` a copy of `source` at colour resolution `res`: standard palettes for black and
// white, 16 greys, 16 system colours and 256 greys; palettes built from the source for 2, 16 and
// 252 (236 + 16 system) colours; 24 bits for 16.7 million. Takes over the source's progress handlers.
void ConvertToColorRes(const TPixelGraphic& source, TColorRes res, TPixelGraphic& target);

// The load-time gamma correction: when GammaCorrection is on and the image's gamma differs from
// DefaultGamma by more than 5 %, maps every colour through (i / 255) ^ (Gamma / DefaultGamma) and
// sets the image's gamma to DefaultGamma. Returns whether it corrected.
bool CorrectLoadedGamma(TPixelGraphic& graphic);

// Header-only information for the open dialog. Never raises; false when the file does not exist,
// cannot be opened, has no reader, or its reader raises.
bool GetGraphicFileInfo(const std::string& fileName, int32_t index, std::string& description,
                        int32_t& imageCount, int32_t& bitsPerPixel, std::string& colorsText, int32_t& height,
                        int32_t& width, std::string& infoText, std::string& subFormatText);

// The open dialog's filter string ("Image files|*.bmp; ...|BMP - Bitmap|*.bmp|...|All files|*.*").
std::string BuildReaderFilter();

// The name of a colour resolution (messages 8..15).
std::string ColorResName(TColorRes res);

inline constexpr int64_t kDefaultMaxPixels = int64_t{16384} * 16384;

// Library-wide format options. Set at start-up; the application may change them between
// operations (the JPEG settings are what the preview page and the export share).
struct TFormatOptions {
  long double DefaultGamma = 1.8L;
  bool GammaCorrection = true;
  int32_t JPEGReadDCTMethod = 0;   // JDCT_ISLOW
  int32_t JPEGWriteDCTMethod = 2;  // JDCT_FLOAT
  int32_t JPEGQuality = 80;
  bool JPEGProgressive = false;
  bool PNGUseFileBackground = true;
  bool PNMBinary = false;
  bool TIFFCountImages = false;
  int32_t TIFFMaxImages = 1000;
  int32_t TIFFCompression = 1;  // 1 none, 32773 PackBits
  bool TIFFWriteCMYK = false;
  bool TIFFWhiteIsZero = false;
  bool TIFFBigEndian = false;
  int32_t TIFFResolutionUnit = 1;  // 0 none, 1 inch, 2 centimetre
  uint32_t TIFFXResolutionNumerator = 300, TIFFXResolutionDenominator = 1;
  uint32_t TIFFYResolutionNumerator = 300, TIFFYResolutionDenominator = 1;
  // Largest image a reader may allocate, in pixels (width x height); larger files fail clearly.
  // 16384 x 16384 holds any real picture but not the gigapixel sizes hostile headers claim.
  int64_t MaxPixels = kDefaultMaxPixels;
};

TFormatOptions& FormatOptions();

}  // namespace pg
