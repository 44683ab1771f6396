// Portable bitmap, graymap and pixelmap (PBM, PGM, PPM) readers and writers, plain (P1-P3) and
// raw (P4-P6). Each reader recognises its own two kinds, so a file is described by its content,
// and reads all six.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

class TPxMFileFormatReader : public TFileFormatReader {
 public:
  TPxMFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  std::unique_ptr<TRowDecoder> OpenRows(TStream& stream, TPixelGraphic& graphic, int32_t index,
                                        const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;

 protected:
  // The plain and raw kind digits this reader recognises ("14" for bitmaps); all six when empty.
  std::string kinds_;
};

class TPBMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPBMFileFormatReader();
};

class TPGMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPGMFileFormatReader();
};

class TPPMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPPMFileFormatReader();
};

// Writes the kind its extension names: PBM from 1-bit, PGM from 8-bit grey, PPM from 24-bit images.
class TPXMFileFormatWriter : public TFileFormatWriter {
 public:
  TPXMFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TPXMFileFormatWriter"; }
};

class TPBMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPBMFileFormatWriter();
  std::string ClassName() const override { return "TPBMFileFormatWriter"; }
};

class TPGMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPGMFileFormatWriter();
  std::string ClassName() const override { return "TPGMFileFormatWriter"; }
};

class TPPMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPPMFileFormatWriter();
  std::string ClassName() const override { return "TPPMFileFormatWriter"; }
};

}  // namespace pg
