// Truevision Targa reader and writer. Targa files carry no signature, so the reader is chosen by
// the extension "tga" only.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

class TTGAFileFormatReader : public TFileFormatReader {
 public:
  TTGAFileFormatReader();
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  // Files stored from the top down, and uncompressed ones stored from the bottom up.
  std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                        const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

class TTGAFileFormatWriter : public TFileFormatWriter {
 public:
  TTGAFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TTGAFileFormatWriter"; }
};

}  // namespace pg
