// Fuzz target of the TIFF reader (see fuzz_reader.h).
#include "fuzz/fuzz_reader.h"
#include "imaging/formats/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two directories are tried, and the image count is walked, with small limits.
  pg::TLoadOptions options;
  options.TIFFCountImages = true;
  options.TIFFMaxImages = 16;
  static const pg::TTIFFileFormatReader reader;
  return fuzz::FuzzReader(
      reader, data, size,
      [](pg::TPixelGraphic& image, pg::TStream& out) {
        pg::TTIFFileFormatWriter().WriteToStream(out, image, pg::TSaveOptions());
      },
      2, options);
}
