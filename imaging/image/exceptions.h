// Exceptions of the imaging library. Every one derives from EPixelGraphic and carries only its
// message text, which comes from the message table (or, for codec errors, the codec's own words).
#pragma once

#include <stdexcept>
#include <string>

namespace pg {

class EPixelGraphic : public std::runtime_error {
 public:
  explicit EPixelGraphic(const std::string& message) : std::runtime_error(message) {}
};

#define PG_DECLARE_EXCEPTION(Name, Base)                                 \
  class Name : public Base {                                             \
   public:                                                               \
    explicit Name(const std::string& message) : Base(message) {}         \
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

#undef PG_DECLARE_EXCEPTION

}  // namespace pg
