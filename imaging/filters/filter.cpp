#include "imaging/filters/filter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {

namespace {

// Divisions by 255 and 360 are done as multiplications with these, in long double throughout.
constexpr long double kInv255 = 1.0L / 255.0L;
constexpr long double kInv360 = 1.0L / 360.0L;

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
// std::nearbyint for 0 <= x < 2^62 (to nearest, ties to even, in the default rounding mode),
// without the library call's costly save and restore of the floating-point environment: adding
// 2^63 leaves no fraction bits in the 64-bit significand, which then holds 2^63 + the integer.
int64_t RoundNonNegative(long double x) {
  const long double shifted = x + 0x1p63L;
  uint64_t significand;
  std::memcpy(&significand, &shifted, sizeof significand);
  return static_cast<int64_t>(significand - (uint64_t{1} << 63));
}
#else
int64_t RoundNonNegative(long double x) {
  return static_cast<int64_t>(std::nearbyint(x));
}
#endif

// std::floor for 0 <= x < 2^62, as an integer.
int64_t FloorNonNegative(long double x) {
  const int64_t n = RoundNonNegative(x);
  return static_cast<long double>(n) > x ? n - 1 : n;
}

// The table position and the fraction of a non-negative table coordinate; positions beyond the
// table (only from rounding just outside the range) are clamped.
struct TTablePosition {
  int p;
  long double f;
};
TTablePosition Position(long double x) {
  if (!(x > 0)) return {0, 0};
  const int64_t n = FloorNonNegative(x);
  if (n > 255) return {255, 0};
  return {static_cast<int>(n), x - static_cast<long double>(n)};
}

}  // namespace

// ---- TPGFilter ------------------------------------------------------------------------------

void TPGFilter::Prepare(const TPixelGraphic& source) {
  source_ = &source;
}

TColor TPGFilter::PixelColor(int32_t, int32_t) {
  return 0;
}

void TPGFilter::Finish() {
  source_ = nullptr;
}

bool TPGFilter::ColorOnly() const {
  return false;
}

TColor TPGFilter::MapColor(TColor color) const {
  return color;
}

// ---- Tables -----------------------------------------------------------------------------------

TFilterTable IdentityTable() {
  TFilterTable table;
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
  return table;
}

TFilterTable PercentTable(int32_t percent) {
  // 64-bit so that an out-of-range argument cannot overflow; the clamp covers it.
  const int64_t shift = static_cast<int64_t>(percent) * 255 / 100;
  TFilterTable table;
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(std::clamp<int64_t>(i + shift, 0, 255));
  return table;
}

TFilterTable HueTable(int32_t degrees) {
  int64_t shift = static_cast<int64_t>(degrees) * 256 / 360 % 256;
  if (shift < 0) shift += 256;
  TFilterTable table;
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>((i + shift) % 256);
  return table;
}

// ---- TXXXFilter -------------------------------------------------------------------------------

TXXXFilter::TXXXFilter() : table1_(IdentityTable()), table2_(IdentityTable()), table3_(IdentityTable()) {}

TColor TXXXFilter::PixelColor(int32_t x, int32_t y) {
  // Without a prepared source there is no colour to filter; answer like the base.
  if (source_ == nullptr) return TPGFilter::PixelColor(x, y);
  return MapColor(source_->Colors(x, y));
}

bool TXXXFilter::ColorOnly() const {
  return true;
}

// ---- TRGBFilter / TCMYFilter ------------------------------------------------------------------

TColor TRGBFilter::MapColor(TColor color) const {
  return RGBColor(table1_[GetRValue(color)], table2_[GetGValue(color)], table3_[GetBValue(color)]);
}

void TRGBFilter::SetAdjustment(int32_t red, int32_t green, int32_t blue) {
  table1_ = PercentTable(red);
  table2_ = PercentTable(green);
  table3_ = PercentTable(blue);
}

TColor TCMYFilter::MapColor(TColor color) const {
  const uint8_t cyan = 255 - GetRValue(color);
  const uint8_t magenta = 255 - GetGValue(color);
  const uint8_t yellow = 255 - GetBValue(color);
  return RGBColor(static_cast<uint8_t>(255 - table1_[cyan]), static_cast<uint8_t>(255 - table2_[magenta]),
                  static_cast<uint8_t>(255 - table3_[yellow]));
}

void TCMYFilter::SetAdjustment(int32_t cyan, int32_t magenta, int32_t yellow) {
  table1_ = PercentTable(cyan);
  table2_ = PercentTable(magenta);
  table3_ = PercentTable(yellow);
}

// ---- HLS conversion ---------------------------------------------------------------------------
//
// The steps are small functions of their own so that THLSMapper runs exactly the same arithmetic
// as MapColor, only fewer times.

namespace {

// Lightness and saturation from the largest and smallest channel (mx > mn), and their difference.
void LightnessSaturation(long double mx, long double mn, long double& lightness, long double& saturation,
                         long double& d) {
  lightness = (mx + mn) / 2;
  d = mx - mn;
  saturation = lightness <= 0.5L ? d / (mx + mn) : d / (2 - mx - mn);
}

// Hue in degrees [0, 360) of a colour with mx > mn; d = mx - mn.
long double HueOf(long double r, long double g, long double b, long double mx, long double d) {
  long double hue;
  if (r == mx) {
    hue = (g - b) / d;
  } else if (g == mx) {
    hue = 2 + (b - r) / d;
  } else {
    hue = 4 + (r - g) / d;
  }
  hue = hue * 60;
  if (hue < 0) hue = hue + 360;
  return hue;
}

// The two levels of the back conversion.
void BackLevels(long double lightness, long double saturation, long double& m1, long double& m2) {
  m2 = lightness <= 0.5L ? lightness * (1 + saturation) : lightness + saturation - lightness * saturation;
  m1 = 2 * lightness - m2;
}

// One channel of the back conversion; h is the channel's hue in degrees.
long double HueValue(long double m1, long double m2, long double h) {
  if (h > 360) h = h - 360;
  if (h < 0) h = h + 360;
  if (h < 60) return m1 + (m2 - m1) * h / 60;
  if (h < 180) return m2;
  if (h < 240) return m1 + (m2 - m1) * (240 - h) / 60;
  return m1;
}

// value * 255 rounded to the nearest integer (ties to even), clamped to 0..255.
uint8_t ToByte(long double value) {
  const long double scaled = value * 255;
  if (!(scaled > 0)) return 0;  // rounds to 0 or below; also NaN
  if (scaled >= 255) return 255;
  return static_cast<uint8_t>(RoundNonNegative(scaled));
}

TColor HueChannels(long double hue, long double m1, long double m2) {
  return RGBColor(ToByte(HueValue(m1, m2, hue + 120)), ToByte(HueValue(m1, m2, hue)),
                  ToByte(HueValue(m1, m2, hue - 120)));
}

}  // namespace

void RGBToHLS(TColor color, long double& hue, long double& lightness, long double& saturation) {
  const long double r = GetRValue(color) * kInv255;
  const long double g = GetGValue(color) * kInv255;
  const long double b = GetBValue(color) * kInv255;
  const long double mx = std::max({r, g, b});
  const long double mn = std::min({r, g, b});
  if (mx == mn) {
    lightness = (mx + mn) / 2;
    saturation = 0;
    hue = kHueUndefined;
    return;
  }
  long double d;
  LightnessSaturation(mx, mn, lightness, saturation, d);
  hue = HueOf(r, g, b, mx, d);
}

TColor HLSToRGB(long double hue, long double lightness, long double saturation) {
  long double m1;
  long double m2;
  BackLevels(lightness, saturation, m1, m2);
  if (saturation == 0) {
    if (hue != kHueUndefined) throw EPGSaturationHue(MessageText(40));
    const uint8_t grey = ToByte(lightness);
    return RGBColor(grey, grey, grey);
  }
  return HueChannels(hue, m1, m2);
}

// ---- THLSFilter -------------------------------------------------------------------------------

long double THLSFilter::MapHue(long double hue) const {
  long double x = (hue + 180) * 256 * kInv360;
  if (x >= 256) x = x - 256;
  const auto [p, f] = Position(x);
  const int a = table1_[p];
  int n = p == 255 ? table1_[0] : table1_[p + 1];
  // The table wraps around: bring the upper neighbour within half a turn of the lower one.
  if (a - n > 128) n = n + 256;
  if (a - n + 128 < 0) n = n - 256;
  const long double y = (1 - f) * a + f * n;
  long double result = y * 360 / 256 - 180;
  while (result < 0) result = result + 360;
  while (result >= 360) result = result - 360;
  return result;
}

long double THLSFilter::MapLevel(const TFilterTable& table, long double level) {
  const auto [p, f] = Position(level * 255);
  if (p > 254) return table[p] * kInv255;
  return ((1 - f) * table[p] + f * table[p + 1]) * kInv255;
}

TColor THLSFilter::MapColor(TColor color) const {
  long double hue;
  long double lightness;
  long double saturation;
  RGBToHLS(color, hue, lightness, saturation);
  if (hue != kHueUndefined) hue = MapHue(hue);
  lightness = MapLevel(table2_, lightness);
  saturation = MapLevel(table3_, saturation);
  // A colour without hue stays grey, whatever the saturation table says.
  if (saturation == 0 || hue == kHueUndefined) {
    saturation = 0;
    hue = kHueUndefined;
  }
  return HLSToRGB(hue, lightness, saturation);
}

void THLSFilter::SetAdjustment(int32_t hueDegrees, int32_t lightness, int32_t saturation) {
  table1_ = HueTable(hueDegrees);
  table2_ = PercentTable(lightness);
  table3_ = PercentTable(saturation);
}

// ---- THLSMapper -------------------------------------------------------------------------------

namespace {

// Position of the pair (largest, smallest channel) with largest >= smallest.
inline int PairIndex(int largest, int smallest) {
  return largest * (largest + 1) / 2 + smallest;
}

}  // namespace

THLSMapper::THLSMapper(const THLSFilter& filter)
    : filter_(filter), pairs_(256 * 257 / 2), exact_(256 * 257 / 2) {
  for (int largest = 0; largest < 256; ++largest) {
    for (int smallest = 0; smallest <= largest; ++smallest) {
      TPair& pair = pairs_[static_cast<size_t>(PairIndex(largest, smallest))];
      TExactLevels& levels = exact_[static_cast<size_t>(PairIndex(largest, smallest))];
      const long double mx = largest * kInv255;
      const long double mn = smallest * kInv255;
      if (largest == smallest) {
        // No hue: step 5 makes it grey of the mapped lightness.
        pair.grey = ToByte(THLSFilter::MapLevel(filter.Table2(), (mx + mn) / 2));
        pair.hasHue = false;
        continue;
      }
      long double lightness;
      long double saturation;
      long double d;
      LightnessSaturation(mx, mn, lightness, saturation, d);
      lightness = THLSFilter::MapLevel(filter.Table2(), lightness);
      saturation = THLSFilter::MapLevel(filter.Table3(), saturation);
      if (saturation == 0) {
        pair.grey = ToByte(lightness);
        pair.hasHue = false;
        continue;
      }
      pair.hasHue = true;
      BackLevels(lightness, saturation, levels.m1, levels.m2);
      pair.m1Quick = static_cast<double>(levels.m1);
      pair.m2Quick = static_cast<double>(levels.m2);
      pair.sixtyOverD = 60 / static_cast<double>(d);
    }
  }
}

namespace {

// A channel value of the double pass to a byte as ToByte would give it from the long double value,
// or false when the value lies so near a rounding boundary (k + 1/2) that the long double value,
// which differs by far less than kGuard, might lie on its other side.
bool QuickByte(double value, uint8_t& byte) {
  constexpr double kGuard = 1e-7;
  const double scaled = value * 255;
  if (scaled <= 0) {
    byte = 0;
    return true;
  }
  if (scaled >= 255) {
    byte = 255;
    return true;
  }
  const auto whole = static_cast<int>(scaled);  // scaled > 0: truncation is floor
  const double fraction = scaled - whole;
  if (std::fabs(fraction - 0.5) < kGuard) return false;
  byte = static_cast<uint8_t>(fraction > 0.5 ? whole + 1 : whole);
  return true;
}

double QuickHueValue(double m1, double m2, double h) {
  constexpr double kInv60 = 1.0 / 60.0;
  if (h > 360) h = h - 360;
  if (h < 0) h = h + 360;
  if (h < 60) return m1 + (m2 - m1) * h * kInv60;
  if (h < 180) return m2;
  if (h < 240) return m1 + (m2 - m1) * (240 - h) * kInv60;
  return m1;
}

}  // namespace

// The steps of RGBToHLS, MapHue and the back conversion in double. Every step is continuous (the
// hue up to whole turns, which the back conversion ignores), so the two precisions differ only by
// their rounding errors, magnified along the way: the hue before the table is off by at most
// about 7e-12 degrees (channel roundings of about 4.4e-16 over a difference of at least 1/255,
// times 60); a hue table step of at most 128 entries per entry magnifies that to under 1e-9
// degrees, and the back conversion, of slope at most 255 / 60 per degree, to under 4e-9 on the
// 0..255 scale. QuickByte's guard of 1e-7 lies well beyond that, so only a value that could round
// either way goes to the long double path.
bool THLSMapper::MapQuick(uint8_t red, uint8_t green, uint8_t blue, int largest, const TPair& pair,
                          TColor& result) const {
  // Divisions become multiplications here; the error stays far below the rounding guard.
  constexpr double kInv255Quick = 1.0 / 255.0;
  constexpr double kInv360Quick = 1.0 / 360.0;
  const double r = red * kInv255Quick;
  const double g = green * kInv255Quick;
  const double b = blue * kInv255Quick;
  double hue;
  if (red == largest) {
    hue = (g - b) * pair.sixtyOverD;
  } else if (green == largest) {
    hue = 120 + (b - r) * pair.sixtyOverD;
  } else {
    hue = 240 + (r - g) * pair.sixtyOverD;
  }
  if (hue < 0) hue = hue + 360;

  double x = (hue + 180) * (256 * kInv360Quick);
  if (x >= 256) x = x - 256;
  int p = x > 0 ? static_cast<int>(x) : 0;
  if (p > 255) p = 255;
  const double f = x - p;
  const TFilterTable& table = filter_.Table1();
  const int a = table[p];
  int n = p == 255 ? table[0] : table[p + 1];
  if (a - n > 128) n = n + 256;
  if (a - n + 128 < 0) n = n - 256;
  const double y = (1 - f) * a + f * n;
  double h = y * (360.0 / 256) - 180;
  while (h < 0) h = h + 360;
  while (h >= 360) h = h - 360;

  uint8_t bytes[3];
  if (!QuickByte(QuickHueValue(pair.m1Quick, pair.m2Quick, h + 120), bytes[0]) ||
      !QuickByte(QuickHueValue(pair.m1Quick, pair.m2Quick, h), bytes[1]) ||
      !QuickByte(QuickHueValue(pair.m1Quick, pair.m2Quick, h - 120), bytes[2]))
    return false;
  result = RGBColor(bytes[0], bytes[1], bytes[2]);
  return true;
}

TColor THLSMapper::MapColor(TColor color) const {
  const uint8_t red = GetRValue(color);
  const uint8_t green = GetGValue(color);
  const uint8_t blue = GetBValue(color);
  const int largest = std::max({red, green, blue});
  const int smallest = std::min({red, green, blue});
  const TPair& pair = pairs_[static_cast<size_t>(PairIndex(largest, smallest))];
  if (!pair.hasHue) return RGBColor(pair.grey, pair.grey, pair.grey);
  TColor result;
  if (MapQuick(red, green, blue, largest, pair, result)) return result;
  return MapColorExact(color);
}

TColor THLSMapper::MapColorExact(TColor color) const {
  const uint8_t red = GetRValue(color);
  const uint8_t green = GetGValue(color);
  const uint8_t blue = GetBValue(color);
  const int largest = std::max({red, green, blue});
  const int smallest = std::min({red, green, blue});
  const size_t index = static_cast<size_t>(PairIndex(largest, smallest));
  const TPair& pair = pairs_[index];
  if (!pair.hasHue) return RGBColor(pair.grey, pair.grey, pair.grey);
  const long double mx = largest * kInv255;
  const long double d = mx - smallest * kInv255;
  const long double hue = HueOf(red * kInv255, green * kInv255, blue * kInv255, mx, d);
  return HueChannels(filter_.MapHue(hue), exact_[index].m1, exact_[index].m2);
}

}  // namespace pg
