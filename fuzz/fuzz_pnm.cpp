// Feeds arbitrary bytes to the PBM/PGM/PPM reader and its header query; what decodes is written back
// through the PBM/PGM/PPM writer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imaging/formats/file_format.h"
#include "imaging/formats/pnm.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Fuzzers set smaller limits to keep memory use low.
  pg::FormatOptions().MaxPixels = int64_t{1} << 22;
  const pg::TPPMFileFormatReader reader;
  try {
    pg::TMemoryStream stream(data, size);
    pg::TPixelGraphic image;
    reader.ReadFromStream(stream, image, 0);
    pg::TMemoryStream out;
    pg::TPPMFileFormatWriter().WriteToStream(out, image);
  } catch (const pg::EPixelGraphic&) {
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
