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

// Pixel x of a row in the image's format (value as Pixels reads and writes it).
inline uint32_t TPixelGraphic::RawPixel(const uint8_t* row, int32_t x) const {
  switch (bitCount_) {
    case bc1Bit:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case bc4Bit:
      return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
    case bc8Bit:
      return row[x];
    default: {
      const uint8_t* p = row + 3 * static_cast<int64_t>(x);
      return RGBColor(p[2], p[1], p[0]);
    }
  }
}

inline void TPixelGraphic::SetRawPixel(uint8_t* row, int32_t x, uint32_t value) {
  switch (bitCount_) {
    case bc1Bit: {
      const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
      if (value == 1)
        row[x >> 3] |= mask;
      else
        row[x >> 3] &= static_cast<uint8_t>(~mask);
      break;
    }
    case bc4Bit: {
      uint8_t& b = row[x >> 1];
      if (x & 1)
        b = static_cast<uint8_t>((b & 0xF0u) | (value & 0x0Fu));
      else
        b = static_cast<uint8_t>((b & 0x0Fu) | ((value & 0x0Fu) << 4));
      break;
    }
    case bc8Bit:
      row[x] = static_cast<uint8_t>(value);
      break;
    default: {
      uint8_t* p = row + 3 * static_cast<int64_t>(x);
      p[0] = GetBValue(value);
      p[1] = GetGValue(value);
      p[2] = GetRValue(value);
      break;
    }
  }
}

}  // namespace pg
