#include "imaging/formats/tiff.h"

#include "imaging/image/exceptions.h"

namespace pg {

TTIFFileFormatReader::TTIFFileFormatReader() {
  Extension = "tif";
  Description = "Tagged Image File Format";
  HasSignature = true;
}

TTIFFFileFormatReader::TTIFFFileFormatReader() {
  Extension = "tiff";
}

bool TTIFFileFormatReader::IsFormat(const uint8_t* header) const {
  return (header[0] == 'I' && header[1] == 'I' && header[2] == 42 && header[3] == 0) ||
         (header[0] == 'M' && header[1] == 'M' && header[2] == 0 && header[3] == 42);
}

void TTIFFileFormatReader::ReadFromStream(TStream&, TPixelGraphic&, int32_t) const {
  throw EPGTIFFileFormatReader("TIFF: not supported yet");
}

void TTIFFileFormatReader::GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
                                   std::string& colorsText, int32_t& height, int32_t& width,
                                   std::string& infoText, std::string& subFormatText) const {
  TFileFormatReader::GetInfo(stream, index, imageCount, bitsPerPixel, colorsText, height, width, infoText,
                             subFormatText);
  throw EPGTIFFileFormatReader("TIFF: not supported yet");
}

TTIFFileFormatWriter::TTIFFileFormatWriter() {
  Extension = "tif";
  Description = "Tagged Image File Format";
  CanWriteResolutions = {crBlackWhite, cr16Gray,    cr16SysColors, cr16Colors,
                         cr256Gray,    cr256Colors, cr16MColors};
}

TTIFFFileFormatWriter::TTIFFFileFormatWriter() {
  Extension = "tiff";
  ShowInFilter = false;
}

void TTIFFileFormatWriter::WriteToStream(TStream& stream, TPixelGraphic& graphic) const {
  WriteHeader(stream);
  WriteImage(stream, graphic);
  WriteTrailer(stream);
}

void TTIFFileFormatWriter::WriteHeader(TStream&) const {}

void TTIFFileFormatWriter::WriteImage(TStream&, TPixelGraphic&) const {
  throw EPGTIFFileFormatWriter("TIFF: not supported yet");
}

void TTIFFileFormatWriter::WriteTrailer(TStream&) const {}

}  // namespace pg
