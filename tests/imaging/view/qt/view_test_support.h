// Pictures for the view's widget tests.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/image/pixel_graphic.h"

namespace pg::test {

// A 24-bit image whose pixel (x, y) is red 7, green y mod 256, blue x mod 256.
inline std::unique_ptr<TPixelGraphic> MakeImage(int32_t w, int32_t h) {
  auto g = std::make_unique<TPixelGraphic>();
  g->NewImage(w, h, bc24Bit);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = g->ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(x);
      row[3 * x + 1] = static_cast<uint8_t>(y);
      row[3 * x + 2] = 7;
    }
  }
  return g;
}

}  // namespace pg::test
