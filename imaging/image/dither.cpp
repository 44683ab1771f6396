// Error-diffusion dithering (Floyd-Steinberg weights 7/5/3/1, serpentine rows) with a limit on the
// error carried to neighbours, chosen by the target palette.
#include <algorithm>

#include "imaging/image/pixel_graphic.h"
#include "imaging/image/pixel_graphic_internal.h"
#include "imaging/image/standard_palettes.h"

namespace pg {

namespace {

// Accumulated error (16 times the pixel's share) back to a channel error, rounding half away from 0.
inline int32_t ScaleError(int32_t sum) {
  return sum >= 0 ? (sum + 8) / 16 : -((-sum + 8) / 16);
}

inline int32_t Limit(int32_t v) {
  return std::clamp(v, 0, 255);
}

struct DitherSpanArgs {
  int32_t* current;
  int32_t* next;
  const int32_t* transfer;  // indexed -255 .. 255
  const TColor* colors;     // colours of pixels minX .. minX + count - 1
  int32_t minX;
  int32_t count;
  int32_t y;
  bool rgbWeighting;
};

// The diffusion over one row: the same steps as DitherPixel, with the palette lookup, the entry
// colour and the pixel store handed in so that each pixel format gets a loop of its own.
template <bool kGray, typename Lookup, typename EntryOf, typename Store>
void DitherSpan(const DitherSpanArgs& a, Lookup&& lookup, EntryOf&& entryOf, Store&& store) {
  const int32_t* t = a.transfer;
  auto transfer = [t](int32_t sum) { return t[std::clamp(ScaleError(sum), -255, 255)]; };
  const bool even = (a.y & 1) == 0;
  const int32_t ahead = even ? 3 : -3;
  const int32_t step = even ? 1 : -1;
  int32_t i = even ? 0 : a.count - 1;
  for (int32_t n = 0; n < a.count; ++n, i += step) {
    const int32_t x = a.minX + i;
    const TColor color = a.colors[i];
    int32_t* cur = a.current + 3 * (static_cast<size_t>(x) + 1);
    int32_t* nxt = a.next + 3 * (static_cast<size_t>(x) + 1);
    if constexpr (kGray) {
      const int32_t g = Limit(
          Gray3(GetRValue(color), GetGValue(color), GetBValue(color), a.rgbWeighting) / 3 + transfer(cur[1]));
      const TColor corrected = static_cast<TColor>(g) * 0x010101u;
      const uint32_t index = lookup(corrected);
      const int32_t e = g - GetGValue(entryOf(index, corrected));
      cur[ahead + 1] += 7 * e;
      nxt[1] += 5 * e;
      nxt[-ahead + 1] += 3 * e;
      nxt[ahead + 1] += e;
      store(x, index);
    } else {
      const int32_t r = Limit(GetRValue(color) + transfer(cur[0]));
      const int32_t g = Limit(GetGValue(color) + transfer(cur[1]));
      const int32_t b = Limit(GetBValue(color) + transfer(cur[2]));
      const TColor corrected =
          RGBColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
      const uint32_t index = lookup(corrected);
      const TColor entry = entryOf(index, corrected);
      const int32_t er = r - GetRValue(entry), eg = g - GetGValue(entry), eb = b - GetBValue(entry);
      cur[ahead] += 7 * er;
      cur[ahead + 1] += 7 * eg;
      cur[ahead + 2] += 7 * eb;
      nxt[0] += 5 * er;
      nxt[1] += 5 * eg;
      nxt[2] += 5 * eb;
      nxt[-ahead] += 3 * er;
      nxt[-ahead + 1] += 3 * eg;
      nxt[-ahead + 2] += 3 * eb;
      nxt[ahead] += er;
      nxt[ahead + 1] += eg;
      nxt[ahead + 2] += eb;
      store(x, index);
    }
  }
}

}  // namespace

void TPixelGraphic::DitherBegin() {
  ditherState_.reset();
  auto state = std::make_unique<DitherState>();
  state->width = width_;
  const size_t cells = 3 * (static_cast<size_t>(width_) + 2);
  state->current.assign(cells, 0);
  state->next.assign(cells, 0);
  state->gray = IsGrayPalette();

  int32_t limit = ditherErrorLimit_;
  bool soft = ditherErrorLimitSoft_;
  if (ditherErrorLimitAuto_) {
    soft = true;
    switch (paletteIdent_) {
      case pBlackWhite:
        limit = 255;
        break;
      case pSysGray4:
      case pSys16:
      case pGray4:
        limit = 128;
        break;
      case pGray236:
        limit = 3;
        break;
      case pGray256:
        limit = 2;
        break;
      case pSpecial125:
      case pSpecial252:
        limit = 104;
        break;
      case pSpecial216:
        limit = 86;
        break;
      default:
        limit = 32;
        break;
    }
  }
  std::array<int32_t, 256> t{};
  for (int32_t e = 0; e < 256; ++e) t[e] = (limit != 255 && e >= limit) ? limit : e;
  if (soft)
    for (int32_t e = limit / 2; e <= (3 * limit) / 2 && e < 255; ++e) t[e] = e / 2 + limit / 4;
  for (int32_t e = 0; e < 256; ++e) {
    state->transfer[255 + e] = t[e];
    state->transfer[255 - e] = -t[e];
  }
  ditherState_ = std::move(state);
}

void TPixelGraphic::DitherNextRow() {
  if (!ditherState_) return;
  DitherState& s = *ditherState_;
  std::swap(s.current, s.next);
  std::fill(s.next.begin(), s.next.end(), 0);
}

void TPixelGraphic::DitherPixel(int32_t x, int32_t y, int32_t red, int32_t green, int32_t blue) {
  if (!ditherState_ || x < 0 || x >= ditherState_->width) {
    // No error row covers this pixel: plain nearest colour.
    SetPixels(x, y,
              ColorToIndex(RGBColor(static_cast<uint8_t>(Limit(red)), static_cast<uint8_t>(Limit(green)),
                                    static_cast<uint8_t>(Limit(blue)))));
    return;
  }
  uint8_t* row = nullptr;
  if (Inside(x, y))
    row = ScanLine(y);
  else
    OutOfRange();
  DitherAt(row, x, y, red, green, blue);
}

void TPixelGraphic::DitherRow(uint8_t* row, int32_t y, const TColor* colors, int32_t minX, int32_t count) {
  DitherState& s = *ditherState_;
  const bool trueColor = paletteIdent_ == pTrueColor;
  const TColor* palette = palette_.data();
  const size_t paletteSize = palette_.size();
  // The palette entry an index stands for; `fallback` (no error) for an index outside the palette.
  auto entryOf = [&](uint32_t index, TColor fallback) {
    return trueColor ? index : index < paletteSize ? palette[index] : fallback;
  };
  auto lookup = [this](TColor c) { return LookupIndex(c); };
  DitherSpanArgs args{s.current.data(), s.next.data(), s.transfer.data() + 255, colors, minX, count, y,
                      rgbWeighting_};
  switch (bitCount_) {
    case bc8Bit: {
      auto store = [row](int32_t x, uint32_t index) { row[x] = static_cast<uint8_t>(index); };
      s.gray ? DitherSpan<true>(args, lookup, entryOf, store)
             : DitherSpan<false>(args, lookup, entryOf, store);
      break;
    }
    default: {
      auto store = [this, row](int32_t x, uint32_t index) { SetRawPixel(row, x, index); };
      s.gray ? DitherSpan<true>(args, lookup, entryOf, store)
             : DitherSpan<false>(args, lookup, entryOf, store);
      break;
    }
  }
}

// One pixel of the diffusion; x lies inside the error rows, `row` is nullptr when the pixel itself
// lies outside the image (its error is still passed on).
inline void TPixelGraphic::DitherAt(uint8_t* row, int32_t x, int32_t y, int32_t red, int32_t green,
                                    int32_t blue) {
  DitherState& s = *ditherState_;
  const int32_t* t = s.transfer.data() + 255;
  auto transfer = [t](int32_t sum) { return t[std::clamp(ScaleError(sum), -255, 255)]; };
  int32_t* cur = s.current.data() + 3 * (static_cast<size_t>(x) + 1);
  int32_t* nxt = s.next.data() + 3 * (static_cast<size_t>(x) + 1);
  const int32_t ahead = (y & 1) == 0 ? 3 : -3;

  uint32_t index;
  if (s.gray) {
    const int32_t g = Limit(Gray3(red, green, blue, rgbWeighting_) / 3 + transfer(cur[1]));
    index = LookupIndex(RGBColor(static_cast<uint8_t>(g), static_cast<uint8_t>(g), static_cast<uint8_t>(g)));
    TColor entry = static_cast<TColor>(g) * 0x010101u;
    if (paletteIdent_ == pTrueColor)
      entry = index;
    else if (index < palette_.size())
      entry = palette_[index];
    const int32_t e = g - GetGValue(entry);
    cur[ahead + 1] += 7 * e;
    nxt[1] += 5 * e;
    nxt[-ahead + 1] += 3 * e;
    nxt[ahead + 1] += e;
  } else {
    const int32_t r = Limit(red + transfer(cur[0]));
    const int32_t g = Limit(green + transfer(cur[1]));
    const int32_t b = Limit(blue + transfer(cur[2]));
    const TColor corrected =
        RGBColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
    index = LookupIndex(corrected);
    TColor entry = corrected;
    if (paletteIdent_ == pTrueColor)
      entry = index;
    else if (index < palette_.size())
      entry = palette_[index];
    const int32_t err[3] = {r - GetRValue(entry), g - GetGValue(entry), b - GetBValue(entry)};
    // Ahead is x + 1 on even rows and x - 1 on odd rows; the cells at both ends absorb the overflow.
    for (int32_t c = 0; c < 3; ++c) {
      const int32_t e = err[c];
      cur[ahead + c] += 7 * e;
      nxt[c] += 5 * e;
      nxt[-ahead + c] += 3 * e;
      nxt[ahead + c] += e;
    }
  }
  if (row != nullptr) SetRawPixel(row, x, index);
}

void TPixelGraphic::DitherEnd() {
  ditherState_.reset();
}

int32_t TPixelGraphic::DitherTransfer(int32_t e) const {
  e = std::clamp(e, -255, 255);
  return ditherState_ ? ditherState_->transfer[255 + e] : e;
}

}  // namespace pg
