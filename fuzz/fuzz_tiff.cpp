// Feeds arbitrary bytes to the TIFF reader (every image index up to 2 and the header query);
// what decodes is written back through the TIFF writer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/formats/file_format.h"
#include "imaging/formats/tiff.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Fuzzers set smaller limits to keep memory use low.
  pg::FormatOptions().MaxPixels = int64_t{1} << 22;
  pg::FormatOptions().TIFFCountImages = true;
  pg::FormatOptions().TIFFMaxImages = 16;
  const pg::TTIFFileFormatReader reader;
  for (int32_t index = 0; index < 2; ++index) {
    pg::TMemoryStream stream(data, size);
    pg::TPixelGraphic image;
    image.SetReadWarningAction(index == 0 ? pg::pgwaIgnore : pg::pgwaRaise);
    try {
      reader.ReadFromStream(stream, image, index);
      pg::TMemoryStream out;
      pg::TTIFFileFormatWriter().WriteToStream(out, image);
    } catch (const pg::EPixelGraphic&) {
    }
  }
  try {
    pg::TMemoryStream stream(data, size);
    int32_t count = 0, bits = 0, height = 0, width = 0;
    std::string colors, info, sub;
    reader.GetInfo(stream, 0, count, bits, colors, height, width, info, sub);
  } catch (const pg::EPixelGraphic&) {
  }
  return 0;
}
