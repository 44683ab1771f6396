#include "imaging/formats/tga.h"

#include "imaging/image/exceptions.h"

namespace pg {

TTGAFileFormatReader::TTGAFileFormatReader() {
  Extension = "tga";
  Description = "Truevision Targa";
  HasSignature = false;
}

void TTGAFileFormatReader::ReadFromStream(TStream&, TPixelGraphic&, int32_t) const {
  throw EPGTGAFileFormatReader("TGA: not supported yet");
}

void TTGAFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText);
  throw EPGTGAFileFormatReader("TGA: not supported yet");
}

TTGAFileFormatWriter::TTGAFileFormatWriter() {
  Extension = "tga";
  Description = "Truevision Targa";
  CanWriteResolutions = {cr256Colors, cr16MColors};
}

void TTGAFileFormatWriter::WriteToStream(TStream&, TPixelGraphic&) const {
  throw EPGTGAFileFormatReader("TGA: not supported yet");
}

}  // namespace pg
