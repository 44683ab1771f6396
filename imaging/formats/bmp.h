// BMP, DIB and RLE: the 14-byte file header ("BM") around the bitmap-info header, colour table and
// pixels that TPixelGraphic::ReadDIB and WriteDIB read and write.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

class TBMPFileFormatReader : public TFileFormatReader {
 public:
  TBMPFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  // Files without run-length compression, bottom-up ones read from the end a block at a time.
  std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                        const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

class TDIBFileFormatReader : public TBMPFileFormatReader {
 public:
  TDIBFileFormatReader();
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
 public:
  TRLEFileFormatReader();
};

class TBMPFileFormatWriter : public TFileFormatWriter {
 public:
  TBMPFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TBMPFileFormatWriter"; }
};

class TDIBFileFormatWriter : public TBMPFileFormatWriter {
 public:
  TDIBFileFormatWriter();
  std::string ClassName() const override { return "TDIBFileFormatWriter"; }
};

// Reads a bitmap-info header (or, with `coreHeader`, a 12-byte core header), its colour table and
// its pixels into `graphic`, refusing more than `maxPixels` pixels; progress events carry `sender`.
// When `pixelOffset` is not negative, the pixels start at that stream position (the file header's
// offset) if it lies after the table.
void ReadDIBFromStream(TStream& stream, TPixelGraphic& graphic, bool coreHeader, const void* sender,
                       int64_t maxPixels, int64_t pixelOffset = -1);

// Writes the 40-byte info header, the colour table and the pixel memory of `graphic`.
void WriteDIBToStream(TStream& stream, const TPixelGraphic& graphic);

}  // namespace pg
