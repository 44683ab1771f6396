// Error diffusion (Floyd-Steinberg weights 7/5/3/1 over serpentine rows) with a limit on the error
// carried to the neighbours. One kernel serves the pixel-by-pixel interface of the image
// (DitherPixel) and the row loops of its copies.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "imaging/image/standard_palettes.h"
#include "imaging/image/types.h"

namespace pg {

class TDitherer {
 public:
  // Error rows for pixels 0 .. width - 1 and the error transfer of `limit` (softened around it
  // when `soft`). With `gray` only the green sums are used: the palette is all grey.
  TDitherer(int32_t width, int32_t limit, bool soft, bool gray, bool rgbWeighting);

  // The error limit the automatic setting chooses for a palette.
  static int32_t AutoLimit(TPaletteIdent ident);

  int32_t Width() const { return width_; }
  // The transfer of an error e in -255 .. 255.
  int32_t Transfer(int32_t e) const { return transfer_[static_cast<size_t>(255 + std::clamp(e, -255, 255))]; }
  // Before each row: the next row's errors become the current ones.
  void NextRow();

  // Dithers the colour (red, green, blue) of pixel x (0 .. Width - 1) of image row y, whose parity
  // gives the direction the error travels. `lookup(colour)` gives the palette index of a colour,
  // `entryOf(index, colour)` the colour an index stands for. Returns the index.
  template <class Lookup, class EntryOf>
  uint32_t Pixel(int32_t x, int32_t y, int32_t red, int32_t green, int32_t blue, Lookup&& lookup,
                 EntryOf&& entryOf) {
    const TRows rows = Rows();
    const int32_t ahead = (y & 1) == 0 ? 3 : -3;
    return gray_ ? Diffuse<true>(rows, x, ahead, red, green, blue, lookup, entryOf)
                 : Diffuse<false>(rows, x, ahead, red, green, blue, lookup, entryOf);
  }

  // Dithers the colours of pixels minX .. minX + count - 1 of image row y, left to right on even
  // rows and right to left on odd ones, and hands each index to `store(x, index)`.
  template <class Lookup, class EntryOf, class Store>
  void Row(int32_t y, const TColor* colors, int32_t minX, int32_t count, Lookup&& lookup, EntryOf&& entryOf,
           Store&& store) {
    if (gray_) {
      RowOf<true>(y, colors, minX, count, lookup, entryOf, store);
    } else {
      RowOf<false>(y, colors, minX, count, lookup, entryOf, store);
    }
  }

 private:
  // What the kernel works on, copied out of the object: the lookups it calls write memory the
  // compiler cannot tell apart from the object's, while locals stay in registers.
  struct TRows {
    int32_t* current;
    int32_t* next;
    const int32_t* transfer;  // indexed -255 .. 255
    bool rgbWeighting;
  };
  TRows Rows() { return {current_.data(), next_.data(), transfer_.data() + 255, rgbWeighting_}; }

  static int32_t Limit(int32_t v) { return std::clamp(v, 0, 255); }
  // The accumulated error of a cell (16 times the pixel's share) as a channel error, rounded half
  // away from zero, through the transfer.
  static int32_t TransferOf(const TRows& rows, int32_t sum) {
    return rows.transfer[std::clamp(sum >= 0 ? (sum + 8) / 16 : -((-sum + 8) / 16), -255, 255)];
  }
  // 7/16 ahead in this row, 5/16 below, 3/16 below behind and 1/16 below ahead.
  static void Spread(int32_t* cur, int32_t* next, int32_t ahead, int32_t e) {
    cur[ahead] += 7 * e;
    next[0] += 5 * e;
    next[-ahead] += 3 * e;
    next[ahead] += e;
  }

  // The kernel: one pixel's corrected colour, its index and the spread of its error. Cell x + 1 of
  // the error rows belongs to pixel x, so its neighbours always exist.
  template <bool kGray, class Lookup, class EntryOf>
  static uint32_t Diffuse(const TRows& rows, int32_t x, int32_t ahead, int32_t red, int32_t green,
                          int32_t blue, Lookup& lookup, EntryOf& entryOf) {
    int32_t* cur = rows.current + 3 * (static_cast<size_t>(x) + 1);
    int32_t* next = rows.next + 3 * (static_cast<size_t>(x) + 1);
    if constexpr (kGray) {
      const int32_t g = Limit(Gray3(red, green, blue, rows.rgbWeighting) / 3 + TransferOf(rows, cur[1]));
      const TColor corrected = static_cast<TColor>(g) * 0x010101u;
      const uint32_t index = lookup(corrected);
      Spread(cur + 1, next + 1, ahead, g - GetGValue(entryOf(index, corrected)));
      return index;
    } else {
      const int32_t r = Limit(red + TransferOf(rows, cur[0]));
      const int32_t g = Limit(green + TransferOf(rows, cur[1]));
      const int32_t b = Limit(blue + TransferOf(rows, cur[2]));
      const TColor corrected =
          RGBColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
      const uint32_t index = lookup(corrected);
      const TColor entry = entryOf(index, corrected);
      Spread(cur, next, ahead, r - GetRValue(entry));
      Spread(cur + 1, next + 1, ahead, g - GetGValue(entry));
      Spread(cur + 2, next + 2, ahead, b - GetBValue(entry));
      return index;
    }
  }

  template <bool kGray, class Lookup, class EntryOf, class Store>
  void RowOf(int32_t y, const TColor* colors, int32_t minX, int32_t count, Lookup& lookup, EntryOf& entryOf,
             Store& store) {
    const TRows rows = Rows();
    const bool even = (y & 1) == 0;
    const int32_t ahead = even ? 3 : -3;
    const int32_t step = even ? 1 : -1;
    int32_t i = even ? 0 : count - 1;
    for (int32_t n = 0; n < count; ++n, i += step) {
      const TColor c = colors[i];
      const int32_t x = minX + i;
      store(x, Diffuse<kGray>(rows, x, ahead, GetRValue(c), GetGValue(c), GetBValue(c), lookup, entryOf));
    }
  }

  int32_t width_;
  bool gray_;
  bool rgbWeighting_;
  std::vector<int32_t> current_;  // three sums (red, green, blue) per cell, width + 2 cells
  std::vector<int32_t> next_;
  std::array<int32_t, 511> transfer_{};  // indexed 255 + e
};

}  // namespace pg
