// Grid file parser: any bytes must either parse or raise EConvertError with a short, printable
// message, and what parses must respect the clamp to the image size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "workspace/errors.h"
#include "workspace/grid_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr int32_t kWidth = 640;
  constexpr int32_t kHeight = 480;
  try {
    const tessel::TParsedGrid grid =
        tessel::ParseGridText(std::string_view(reinterpret_cast<const char*>(data), size), kWidth, kHeight);
    for (int32_t y : grid.HorizontalSplits.Values()) {
      if (y > kHeight) std::abort();
    }
    for (int32_t x : grid.VerticalSplits.Values()) {
      if (x > kWidth) std::abort();
    }
    tessel::TSplitGrid copy;
    copy.HorizontalSplits = grid.HorizontalSplits;
    copy.VerticalSplits = grid.VerticalSplits;
    // What was read writes back to text that reads the same.
    const tessel::TParsedGrid again = tessel::ParseGridText(tessel::FormatGridText(copy), kWidth, kHeight);
    if (!(again.HorizontalSplits == grid.HorizontalSplits && again.VerticalSplits == grid.VerticalSplits)) {
      std::abort();
    }
  } catch (const tessel::EConvertError& e) {
    // The message quotes a bounded part of the line, with no control byte left raw.
    const std::string_view message = e.what();
    if (message.size() > 1000) std::abort();
    for (char c : message) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    }
  }
  return 0;
}
