// Fuzz target of the PNG reader: decodes the input from memory with a lowered pixel limit, reads
// its header information, and writes what was decoded back in the same format.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/formats/png.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Fuzzers set a smaller limit to keep memory use low.
  static const bool limited = [] {
    pg::FormatOptions().MaxPixels = int64_t{1} << 22;
    return true;
  }();
  (void)limited;
  static const pg::TPNGFileFormatReader reader;

  pg::TPixelGraphic image;
  image.SetReadWarningAction(pg::pgwaIgnore);
  image.SetSaveColorResWarningAction(pg::pgwaIgnore);
  try {
    pg::TMemoryStream stream(data, size);
    reader.ReadFromStream(stream, image, 0);
    pg::TMemoryStream out;
    if (image.ImageSize() <= (1 << 18)) image.SaveToStream(out, "png");
  } catch (const pg::EPixelGraphic&) {
  }
  try {
    pg::TMemoryStream stream(data, size);
    int32_t count, bits, height, width;
    std::string colors, info, subFormat;
    reader.GetInfo(stream, 0, count, bits, colors, height, width, info, subFormat);
  } catch (const pg::EPixelGraphic&) {
  }
  return 0;
}
