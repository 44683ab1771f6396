// Fuzz target of the PBM/PGM/PPM reader (see fuzz_reader.h).
#include "fuzz/fuzz_reader.h"
#include "imaging/formats/pnm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const pg::TPPMFileFormatReader reader;
  return fuzz::FuzzReader(reader, data, size, [](pg::TPixelGraphic& image, pg::TStream& out) {
    pg::TPPMFileFormatWriter().WriteToStream(out, image, pg::TSaveOptions());
  });
}
