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
  if ((y & 1) == 0) {
    for (int32_t i = 0; i < count; ++i)
      DitherAt(row, minX + i, y, GetRValue(colors[i]), GetGValue(colors[i]), GetBValue(colors[i]));
  } else {
    for (int32_t i = count - 1; i >= 0; --i)
      DitherAt(row, minX + i, y, GetRValue(colors[i]), GetGValue(colors[i]), GetBValue(colors[i]));
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
