// JPEG reader and writer on libjpeg-turbo, fed row by row straight from and into the image's rows.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

class TJPGFileFormatReader : public TFileFormatReader {
 public:
  TJPGFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  // Files of one scan (baseline and extended sequential).
  std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                        const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
 public:
  TJPEGFileFormatReader();
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
 public:
  TJIFFileFormatReader();
};

// Writes 24-bit images as three-component and 8-bit images with the 256-grey palette as
// one-component JPEG, with the quality, progression and DCT method of the save options.
class TJPGFileFormatWriter : public TFileFormatWriter {
 public:
  TJPGFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TJPGFileFormatWriter"; }
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
 public:
  TJPEGFileFormatWriter();
  std::string ClassName() const override { return "TJPEGFileFormatWriter"; }
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
 public:
  TJIFFileFormatWriter();
  std::string ClassName() const override { return "TJIFFileFormatWriter"; }
};

}  // namespace pg
