// Private parts of TPixelGraphic shared by its implementation files: the inverse colour map of
// pUnknown palettes and the pixel accessors of the row loops.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/image/dither.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/standard_palettes.h"

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

// Dithering for the length of a copy: set up (or dropped when `on` is false) at the start, freed
// at the end on every path.
class TDitherRun {
 public:
  TDitherRun(TPixelGraphic& graphic, bool on) : graphic_(graphic) {
    if (on)
      graphic_.DitherBegin();
    else
      graphic_.DitherEnd();
  }
  ~TDitherRun() { graphic_.DitherEnd(); }
  TDitherRun(const TDitherRun&) = delete;
  TDitherRun& operator=(const TDitherRun&) = delete;

 private:
  TPixelGraphic& graphic_;
};

inline TColor TPixelGraphic::EntryColor(uint32_t index, TColor fallback) const {
  if (paletteIdent_ == pTrueColor) return index;
  return index < palette_.size() ? palette_[index] : fallback;
}

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

// Colour to index through the last lookup, then by the palette's rule.
inline uint32_t TPixelGraphic::LookupIndex(TColor color) {
  color &= 0x00FFFFFFu;
  if (lastLookupValid_ && lastColor_ == color) return lastIndex_;
  const uint32_t index = ComputeIndex(color);
  lastColor_ = color;
  lastIndex_ = index;
  lastLookupValid_ = true;
  return index;
}

inline uint32_t TPixelGraphic::ComputeIndex(TColor color) {
  const int32_t r = GetRValue(color);
  const int32_t g = GetGValue(color);
  const int32_t b = GetBValue(color);
  switch (paletteIdent_) {
    case pNone:
      throw EPGNoPalette(MessageText(2));
    case pTrueColor:
      return color;
    case pBlackWhite:
      return static_cast<uint32_t>((Gray3(r, g, b, rgbWeighting_) + 1) / 384);
    case pSysGray4: {
      const int32_t gray = Gray3(r, g, b, rgbWeighting_);
      return gray > 192 ? (gray > 480 ? (gray > 670 ? 3 : 2) : 1) : 0;
    }
    case pSys16:
      return Sys16Index(color);
    case pGray4:
      return static_cast<uint32_t>((Gray3(r, g, b, rgbWeighting_) + 127) / 255);
    case pGray16:
      return static_cast<uint32_t>((Gray3(r, g, b, rgbWeighting_) + 25) / 51);
    case pGray236:
      return Gray236Index(Gray3(r, g, b, rgbWeighting_));
    case pGray256:
      return static_cast<uint32_t>((Gray3(r, g, b, rgbWeighting_) + 1) / 3);
    case pSpecial125: {
      // 224 lies nearer to 255 than to 191 on the levels 0, 64, 128, 191, 255.
      auto level = [](int32_t v) { return ((v == 224 ? 225 : v) + 31) / 64; };
      return static_cast<uint32_t>(25 * level(r) + 5 * level(g) + level(b));
    }
    case pSpecial216:
      return static_cast<uint32_t>(36 * ((r + 24) / 51) + 6 * ((g + 24) / 51) + (b + 24) / 51);
    case pSpecial252:
      return Special252Index(color);
    default:  // pUnknown
      if (!useColorCache_ || palette_.empty()) return NearestEntry(palette_, color);
      return ColorMapIndex(color);
  }
}

}  // namespace pg
