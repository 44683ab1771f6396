// Fuzz target of the PCX reader (see fuzz_reader.h).
#include "fuzz/fuzz_reader.h"
#include "imaging/formats/image_io.h"
#include "imaging/formats/pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // There is no PCX writer: what decodes is written back as BMP.
  static const pg::TPCXFileFormatReader reader;
  return fuzz::FuzzReader(reader, data, size,
                          [](pg::TPixelGraphic& image, pg::TStream& out) { image.SaveToStream(out, "bmp"); });
}
