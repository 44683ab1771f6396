// Private parts of TPixelGraphic shared by its implementation files: the inverse colour map of
// pUnknown palettes and the error rows of the dithering.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/image/pixel_graphic.h"

namespace pg {

// 65536 palette indices addressed by a 5-6-5 bit key of the colour, and one bit per cell saying
// whether it holds an index yet.
struct TPixelGraphic::ColorMap {
  std::array<uint8_t, 65536> index{};
  std::array<uint64_t, 1024> filled{};

  static uint32_t Key(TColor color) {
    return (GetRValue(color) / 8u) * 2048u + (GetGValue(color) / 4u) * 32u + GetBValue(color) / 8u;
  }
  bool IsFilled(uint32_t key) const { return (filled[key >> 6] >> (key & 63)) & 1u; }
  void Fill(uint32_t key, uint32_t entry) {
    index[key] = static_cast<uint8_t>(entry);
    filled[key >> 6] |= uint64_t{1} << (key & 63);
  }
};

// Two rows of accumulated errors (three sums per cell, cell x + 1 for pixel x) and the transfer
// table indexed -255 .. 255.
struct TPixelGraphic::DitherState {
  int32_t width = 0;
  bool gray = false;
  std::vector<int32_t> current;
  std::vector<int32_t> next;
  std::array<int32_t, 511> transfer{};
};

}  // namespace pg
