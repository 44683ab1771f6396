// Fuzz target of the PNG reader (see fuzz_reader.h).
#include "fuzz/fuzz_reader.h"
#include "imaging/formats/image_io.h"
#include "imaging/formats/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const pg::TPNGFileFormatReader reader;
  return fuzz::FuzzReader(reader, data, size,
                          [](pg::TPixelGraphic& image, pg::TStream& out) { image.SaveToStream(out, "png"); });
}
