#include "imaging/formats/pcx.h"

#include "imaging/image/exceptions.h"

namespace pg {

TPCXFileFormatReader::TPCXFileFormatReader() {
  Extension = "pcx";
  Description = "Paintbrush";
  HasSignature = true;
}

bool TPCXFileFormatReader::IsFormat(const uint8_t* header) const {
  return header[0] == 0x0A && header[1] <= 5 && header[2] <= 1;
}

void TPCXFileFormatReader::ReadFromStream(TStream&, TPixelGraphic&, int32_t) const {
  throw EPGPCXFileFormatReader("PCX: not supported yet");
}

void TPCXFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText);
  throw EPGPCXFileFormatReader("PCX: not supported yet");
}

}  // namespace pg
