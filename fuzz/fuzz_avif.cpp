// Fuzz target of the AVIF reader (see fuzz_reader.h).
#include "fuzz/fuzz_reader.h"
#include "imaging/formats/avif.h"
#include "imaging/formats/image_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const pg::TAVIFFileFormatReader reader;
  // Encoding AV1 is slow next to decoding: only small pictures are written back, at full speed.
  return fuzz::FuzzReader(reader, data, size, [](pg::TPixelGraphic& image, pg::TStream& out) {
    if (int64_t{image.Width()} * image.Height() > 64 * 64) return;
    pg::TSaveOptions options;
    options.AVIFSpeed = 10;
    options.EncoderThreads = 1;
    pg::SaveImage(image, out, "avif", options);
  });
}
