#include "imaging/formats/pnm.h"

#include "imaging/image/exceptions.h"

namespace pg {

TPxMFileFormatReader::TPxMFileFormatReader() {
  HasSignature = true;
}

TPBMFileFormatReader::TPBMFileFormatReader() {
  Extension = "pbm";
  Description = "Portable Bitmap";
}

TPGMFileFormatReader::TPGMFileFormatReader() {
  Extension = "pgm";
  Description = "Portable Graymap";
}

TPPMFileFormatReader::TPPMFileFormatReader() {
  Extension = "ppm";
  Description = "Portable Pixelmap";
}

bool TPxMFileFormatReader::IsFormat(const uint8_t* header) const {
  return header[0] == 'P' && header[1] >= '1' && header[1] <= '6';
}

void TPxMFileFormatReader::ReadFromStream(TStream&, TPixelGraphic&, int32_t) const {
  throw EPGPxMFileFormatReader("PBM, PGM, PPM: not supported yet");
}

void TPxMFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText);
  throw EPGPxMFileFormatReader("PBM, PGM, PPM: not supported yet");
}

TPXMFileFormatWriter::TPXMFileFormatWriter() = default;

TPBMFileFormatWriter::TPBMFileFormatWriter() {
  Extension = "pbm";
  Description = "Portable Bitmap";
  CanWriteResolutions = {crBlackWhite};
}

TPGMFileFormatWriter::TPGMFileFormatWriter() {
  Extension = "pgm";
  Description = "Portable Graymap";
  CanWriteResolutions = {cr256Gray};
}

TPPMFileFormatWriter::TPPMFileFormatWriter() {
  Extension = "ppm";
  Description = "Portable Pixelmap";
  CanWriteResolutions = {cr16MColors};
}

void TPXMFileFormatWriter::WriteToStream(TStream&, TPixelGraphic&) const {
  throw EPGPxMFileFormatWriter("PBM, PGM, PPM: not supported yet");
}

}  // namespace pg
