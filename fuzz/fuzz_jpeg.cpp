// Fuzz target of the JPEG reader (see fuzz_reader.h).
#include "fuzz/fuzz_reader.h"
#include "imaging/formats/image_io.h"
#include "imaging/formats/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const pg::TJPGFileFormatReader reader;
  return fuzz::FuzzReader(reader, data, size,
                          [](pg::TPixelGraphic& image, pg::TStream& out) { image.SaveToStream(out, "jpg"); });
}
