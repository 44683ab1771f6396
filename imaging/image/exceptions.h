// Exceptions of the imaging library. Every one derives from EPixelGraphic and carries only its
// message text, which comes from the message table (or, for codec errors, the codec's own words).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pg {

class EPixelGraphic : public std::runtime_error {
 public:
  explicit EPixelGraphic(const std::string& message) : std::runtime_error(message) {}
};

#define PG_DECLARE_EXCEPTION(Name, Base)                         \
  class Name : public Base {                                     \
   public:                                                       \
    explicit Name(const std::string& message) : Base(message) {} \
  }

// Raster image
PG_DECLARE_EXCEPTION(EPGInvalidSize, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGInvalidBitCountNum, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGXYIndexOutOfRange, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGNoPalette, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGInvalidPaletteIndex, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGUnknownClipboardFormat, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGEmpty, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGFilter, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGSaturationHue, EPixelGraphic);
// Byte streams: a file that cannot be opened, read or written (the system's message)
PG_DECLARE_EXCEPTION(EPGStreamError, EPixelGraphic);
// An operation stopped on the user's request where stopping cannot leave a usable result (a file
// written only in part); message 29
PG_DECLARE_EXCEPTION(EPGAbort, EPixelGraphic);

// Format framework
PG_DECLARE_EXCEPTION(EPGUnknownFileFormat, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGUnknownExtension, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGFileFormatWritersEmpty, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGCanWriteResolutionsEmpty, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGCannotWriteColorRes, EPixelGraphic);

// One class per format, raised with the format's prefix ("BMP: ", "JPG: ", ...)
PG_DECLARE_EXCEPTION(EPGBMPFileFormatReader, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGJPGFileFormatReaderWriter, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGPNGFileFormatReaderWriter, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGTIFFileFormatReader, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGTIFFileFormatWriter, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGPCXFileFormatReader, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGTGAFileFormatReader, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGPxMFileFormatReader, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGPxMFileFormatWriter, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGWebPFileFormatReaderWriter, EPixelGraphic);
PG_DECLARE_EXCEPTION(EPGAVIFFileFormatReaderWriter, EPixelGraphic);

#undef PG_DECLARE_EXCEPTION

// An image larger than the pixel limit of the load. Readers raise it together with their own
// exception class (EPGPixelLimitOf<EPGPNGFileFormatReaderWriter>), so a handler of the format's
// error still catches it, while the CLI and the window catch this class to say how to raise the
// limit they control.
class EPGPixelLimit {
 public:
  EPGPixelLimit(int64_t width, int64_t height, int64_t limit)
      : width_(width), height_(height), limit_(limit) {}
  virtual ~EPGPixelLimit() = default;

  int64_t Width() const { return width_; }
  int64_t Height() const { return height_; }
  int64_t Limit() const { return limit_; }

 private:
  int64_t width_;
  int64_t height_;
  int64_t limit_;
};

template <class E>
class EPGPixelLimitOf : public E, public EPGPixelLimit {
 public:
  EPGPixelLimitOf(const std::string& message, int64_t width, int64_t height, int64_t limit)
      : E(message), EPGPixelLimit(width, height, limit) {}
};

}  // namespace pg
