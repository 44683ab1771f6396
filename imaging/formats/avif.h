// AVIF reader and writer on libavif.
#pragma once

#include "imaging/formats/file_format.h"

namespace pg {

// Reads the first picture of an AVIF file (brand avif or avis) of any depth into 24 bits; alpha
// is composited over the image's background colour. libavif's limits on picture size and side
// follow the load's pixel limit, and the file is read through the stream, never more of it than
// the decoder asks for.
class TAVIFFileFormatReader : public TFileFormatReader {
 public:
  TAVIFFileFormatReader();
  bool IsFormat(const uint8_t* header) const override;
  void ReadFromStream(TStream& stream, TPixelGraphic& graphic, int32_t index,
                      const TLoadOptions& options) const override;
  void GetInfo(TStream& stream, int32_t index, int32_t& imageCount, int32_t& bitsPerPixel,
               std::string& colorsText, int32_t& height, int32_t& width, std::string& infoText,
               std::string& subFormatText, const TLoadOptions& options) const override;
};

// Writes every pixel format as 8-bit 4:2:0 AVIF in sRGB, at AVIFQuality and AVIFSpeed, with at
// most EncoderThreads threads.
class TAVIFFileFormatWriter : public TFileFormatWriter {
 public:
  TAVIFFileFormatWriter();
  void WriteToStream(TStream& stream, TPixelGraphic& graphic, const TSaveOptions& options) const override;
  std::string ClassName() const override { return "TAVIFFileFormatWriter"; }
};

// The AV1 quantiser (0 finest .. 63 coarsest) of a quality of 0 (smallest files) to 100 (finest).
int32_t AVIFQuantizerOf(int32_t quality);

}  // namespace pg
