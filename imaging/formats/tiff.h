// TIFF reader and writer, built on libtiff driven through callbacks on our own byte streams.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

class TTIFFileFormatReader : public TFileFormatReader {
 public:
  TTIFFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  // Pictures in strips whose rows the image holds as they are, stored from the top down.
  std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                        const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
 public:
  TTIFFFileFormatReader();
};

class TTIFFileFormatWriter : public TFileFormatWriter {
 public:
  TTIFFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  void WriteHeader(TStream& stream, const TSaveOptions& options) const override;
  void WriteImage(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  void WriteTrailer(TStream& stream, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TTIFFileFormatWriter"; }
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
 public:
  TTIFFFileFormatWriter();
  std::string ClassName() const override { return "TTIFFFileFormatWriter"; }
};

}  // namespace pg
