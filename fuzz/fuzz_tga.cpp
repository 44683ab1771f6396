// Fuzz target of the TGA reader (see fuzz_reader.h).
#include "fuzz/fuzz_reader.h"
#include "imaging/formats/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const pg::TTGAFileFormatReader reader;
  return fuzz::FuzzReader(reader, data, size, [](pg::TPixelGraphic& image, pg::TStream& out) {
    pg::TTGAFileFormatWriter().WriteToStream(out, image, pg::TSaveOptions());
  });
}
