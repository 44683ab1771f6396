// PNG reader and writer on libpng, attached to our streams through I/O callbacks.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

// Reads every colour type and bit depth into the nearest pixel format: palette images keep their
// palette, grey 1/2/4/8 become grey palette images, 16 bits are reduced to 8, alpha is composited
// over the file's background (PNGUseFileBackground) or the image's background colour. The file's
// gamma (1 / gAMA) is handed to the load-time correction.
class TPNGFileFormatReader : public TFileFormatReader {
 public:
  TPNGFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  // Files that are not interlaced.
  std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                        const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

// Writes every pixel format (grey palettes as grey images, other palettes as palette images, 24
// bits as RGB) and no gamma chunk, so browsers show the pixels as they are.
class TPNGFileFormatWriter : public TFileFormatWriter {
 public:
  TPNGFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TPNGFileFormatWriter"; }
};

}  // namespace pg
