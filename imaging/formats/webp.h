// WebP reader and writer on libwebp.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

// Reads still WebP files, lossy and lossless, into 24 bits; alpha is composited over the image's
// background colour. The file is fed to the decoder as it is read, and the rows it finishes are
// reported as progress.
class TWebPFileFormatReader : public TFileFormatReader {
 public:
  TWebPFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

// Writes every pixel format as lossy WebP at WebPQuality, or lossless with WebPLossless, with the
// effort WebPMethod. Pictures of more than 16383 pixels a side do not fit the format.
class TWebPFileFormatWriter : public TFileFormatWriter {
 public:
  TWebPFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TWebPFileFormatWriter"; }
};

}  // namespace pg
