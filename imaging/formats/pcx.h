// PCX (Paintbrush) reader: versions 0 to 5, run-length encoded, 1, 4, 8 and 24 bits per pixel.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

class TPCXFileFormatReader : public TFileFormatReader {
 public:
  TPCXFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                        const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

}  // namespace pg
