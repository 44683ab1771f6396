// The reader/writer framework: one reader class and one writer class per file format, the
// process-wide tables of them, reader choice by content (by extension only for formats without a
// signature), writer choice by extension, and the save negotiation of colour resolutions. Readers
// and writers take their settings from the options of the call (format_options.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/formats/format_options.h"
#include "imaging/image/gamma.h"
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

// The rows of one picture from the top down, one at a time, for work that never holds the whole
// picture at once (the streaming export). Made by a reader's OpenRows once the headers are read.
class TRowDecoder {
 public:
  explicit TRowDecoder(int32_t height) : height_(height) {}
  virtual ~TRowDecoder() = default;
  TRowDecoder(const TRowDecoder&) = delete;
  TRowDecoder& operator=(const TRowDecoder&) = delete;

  int32_t Height() const { return height_; }
  // Decodes the next row, counted from the top, into `row`: one row in the layout of the image
  // OpenRows shaped (its BytesPerRow bytes, of which the padding is left alone).
  virtual void ReadRow(uint8_t* row) = 0;
  // After the last row: reads and checks what follows the pixels, as a whole read does.
  virtual void Finish() {}

 private:
  int32_t height_;
};

// Reads every row of `decoder` into `graphic`, shaped with all of them, from the top down, with
// progress reported for `sender`; then what follows the rows (Finish). An Abort from the progress
// handler stops at once and leaves the rest unread.
void ReadRowsInto(TRowDecoder& decoder, TPixelGraphic& graphic, const void* sender);

class TFileFormatReader : public TFileFormatReaderWriter {
 public:
  bool HasSignature = false;

  static constexpr size_t kHeaderSize = 17;

  // True when the first bytes of a stream (zero padded to 17) belong to this format.
  virtual bool IsFormat(const uint8_t* header) const;
  // Decodes image number `index` (0 = first) at the stream's position into `graphic`.
  virtual void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                              const TLoadOptions& options) const;
  // Reads the headers of image `index` at the stream's position and gives `graphic` the width,
  // pixel format, palette and gamma ReadFromStream would give it, without rows (height 0). Returns
  // the decoder of the rows, whose pixels are those ReadFromStream stores, or nullptr when this
  // file cannot deliver its rows from the top down without the whole picture (interlaced,
  // progressive, tiled, bottom-up and compressed, ...). The stream must outlive the decoder.
  // The base returns nullptr.
  virtual std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                                const TLoadOptions& options) const;
  // Reads headers only. The base sets ImageCount 1 and everything else empty or 0; every reader
  // calls the base first and overwrites what it knows.
  virtual void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                       std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
                       std::string& subFormatText, const TLoadOptions& options) const;
};

// A set over the eight colour resolutions.
using TColorResSet = std::set<TColorRes>;

class TFileFormatWriter : public TFileFormatReaderWriter {
 public:
  TColorResSet CanWriteResolutions;

  // Writes `graphic` as one complete file at the stream's position.
  virtual void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const;
  // Used only by the TIFF writer, whose WriteToStream calls the three in order.
  virtual void WriteHeader(TStream& stream, const TSaveOptions& options) const;
  virtual void WriteImage(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const;
  virtual void WriteTrailer(TStream& stream, const TSaveOptions& options) const;
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
// The same for callers that want the reason: the stream's error, or EPGUnknownFileFormat.
const TFileFormatReader& FileFormatReaderFor(TStream& stream, std::string_view extension);
// An extension as the tables compare it: one leading dot dropped, ASCII letters in lower case.
std::string NormalizeExtension(std::string_view extension);

// The writer for an extension (one leading dot dropped, case-insensitive), or nullptr.
const TFileFormatWriter* FindFileFormatWriter(std::string extension);

// The save negotiation shared by saving to files and streams: recognises the image's palette,
// picks the writer for `extension`, finds the colour resolution it will hold (the fallback order),
// asks as the colour-resolution warning action of the options or the image says when that differs
// from the image's own, converts into a temporary image when needed and hands the writer and the
// image to write to `write`. With PNGIndexed a PNG is written from an indexed copy of at most
// PNGColors colours (ReduceToPalette) instead.
void SaveGraphic(TPixelGraphic& graphic, std::string_view extension, const TSaveOptions& options,
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
bool CorrectLoadedGamma(TPixelGraphic& graphic, const TLoadSettings& settings);
// The table that correction maps through for an image of `graphic`'s gamma; none when it leaves
// the image as it is.
std::optional<TGammaTable> LoadedGammaTable(const TPixelGraphic& graphic, const TLoadSettings& settings);

// Header-only information of one image of a file.
struct TGraphicFileInfo {
  std::string Description;
  int32_t ImageCount = 0;
  int32_t BitsPerPixel = 0;
  std::string ColorsText;
  int32_t Height = 0;
  int32_t Width = 0;
  std::string InfoText;
  std::string SubFormatText;
};

// Header-only information for the open dialog. Never raises; false when the file does not exist,
// cannot be opened, has no reader, or its reader raises.
bool GetGraphicFileInfo(const std::string& fileName, int32_t index, std::string& description,
                        int32_t& imageCount, int32_t& bitsPerPixel, std::string& colorsText, int32_t& height,
                        int32_t& width, std::string& infoText, std::string& subFormatText);
// The same for callers that want the reason of a failure: fills `info` as far as it gets and
// raises the file's error, EPGUnknownFileFormat or the reader's error. Unlike GetGraphicFileInfo
// it needs no extension (one only chooses the readers without a signature).
void ReadGraphicFileInfo(const std::string& fileName, int32_t index, TGraphicFileInfo& info,
                         const TLoadOptions& options = DefaultLoadOptions());

// The open dialog's filter string ("Image files|*.bmp; ...|BMP - Bitmap|*.bmp|...|All files|*.*").
std::string BuildReaderFilter();

// The name of a colour resolution (messages 8..15).
std::string ColorResName(TColorRes res);

}  // namespace pg
