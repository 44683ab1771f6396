// The body every reader's fuzz target shares: decode the input from memory under a lowered pixel
// limit, write what decoded back in the same format, and query the header information.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace fuzz {

// Images above this size are decoded but not written back, to keep each run short.
inline constexpr int64_t kMaxWriteBackBytes = int64_t{1} << 18;

// Runs `reader` with `options` on the data for the image indexes 0 .. indexCount - 1, the first
// with reader warnings ignored and the others with warnings raised; `writeBack(image, out)` writes a
// decoded image to a memory stream.
template <class Reader, class WriteBack>
int FuzzReader(const Reader& reader, const uint8_t* data, size_t size, WriteBack writeBack,
               int32_t indexCount = 1, pg::TLoadOptions options = {}) {
  // Fuzzers set a smaller limit to keep memory use low.
  options.MaxPixels = int64_t{1} << 22;
  for (int32_t index = 0; index < indexCount; ++index) {
    pg::TPixelGraphic image;
    image.SetReadWarningAction(index == 0 ? pg::pgwaIgnore : pg::pgwaRaise);
    image.SetSaveColorResWarningAction(pg::pgwaIgnore);
    try {
      pg::TMemoryStream stream(data, size);
      reader.ReadFromStream(stream, image, index, options);
      pg::TMemoryStream out;
      if (image.ImageSize() <= kMaxWriteBackBytes) writeBack(image, out);
    } catch (const pg::EPixelGraphic&) {
    }
  }
  // The rows one at a time, as a streamed export reads them.
  try {
    pg::TMemoryStream stream(data, size);
    pg::TPixelGraphic shape;
    if (auto rows = reader.OpenRows(stream, shape, 0, options)) {
      std::vector<uint8_t> row(static_cast<size_t>(std::max(shape.BytesPerRow(), 1)));
      for (int32_t y = 0; y < rows->Height(); ++y) rows->ReadRow(row.data());
      rows->Finish();
    }
  } catch (const pg::EPixelGraphic&) {
  }
  try {
    pg::TMemoryStream stream(data, size);
    int32_t count = 0, bits = 0, height = 0, width = 0;
    std::string colors, info, subFormat;
    reader.GetInfo(stream, 0, count, bits, colors, height, width, info, subFormat, options);
  } catch (const pg::EPixelGraphic&) {
  }
  return 0;
}

}  // namespace fuzz
