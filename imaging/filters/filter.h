// Colour filters: the base class that ApplyFilter drives, the three table-driven colour
// adjustments (RGB, CMY, HLS), and ApplyFilter itself with the image's member forwarding to it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/image/pixel_graphic.h"
#include "imaging/image/types.h"

namespace pg {

class TPixelGraphic;

// The root of the filter classes.
class TPGFilterClass {
 public:
  virtual ~TPGFilterClass() = default;
};

// A filter computes a new colour for every pixel of a source image. ApplyFilter calls Prepare, then
// PixelColor for every pixel, then Finish; a colour-only filter may instead be given palette
// entries through MapColor.
class TPGFilter : public TPGFilterClass {
 public:
  // Remembers the source image (not owned) for the run.
  virtual void Prepare(const TPixelGraphic& source);
  // The filtered colour of the source pixel at (x, y), 0x00BBGGRR. The base gives 0.
  virtual TColor PixelColor(int32_t x, int32_t y);
  // Forgets the source image.
  virtual void Finish();
  // True when the result depends on the pixel's colour alone, so the filter can run in place and
  // on a palette. The base says false.
  virtual bool ColorOnly() const;
  // The filtered value of one colour. The base leaves it unchanged.
  virtual TColor MapColor(TColor color) const;

  const TPixelGraphic* Source() const { return source_; }

 protected:
  const TPixelGraphic* source_ = nullptr;
};

using TFilterTable = std::array<uint8_t, 256>;

// A colour-only filter driven by three 256-entry lookup tables, identities at creation.
class TXXXFilter : public TPGFilter {
 public:
  TXXXFilter();

  TColor PixelColor(int32_t x, int32_t y) override;  // MapColor of the source's colour at (x, y)
  bool ColorOnly() const override;

  TFilterTable& Table1() { return table1_; }
  TFilterTable& Table2() { return table2_; }
  TFilterTable& Table3() { return table3_; }
  const TFilterTable& Table1() const { return table1_; }
  const TFilterTable& Table2() const { return table2_; }
  const TFilterTable& Table3() const { return table3_; }

 protected:
  TFilterTable table1_;
  TFilterTable table2_;
  TFilterTable table3_;
};

// Tables from adjustment values.
// Percent -100..+100: entry i = clamp(i + percent * 255 / 100, 0, 255), the division truncating.
TFilterTable PercentTable(int32_t percent);
// Hue rotation in degrees -180..+180: entry i = i + degrees * 256 / 360, wrapped into 0..255.
TFilterTable HueTable(int32_t degrees);
TFilterTable IdentityTable();

// Tables: red, green, blue.
class TRGBFilter : public TXXXFilter {
 public:
  TColor MapColor(TColor color) const override;
  // Fills the three tables from percent adjustments of red, green and blue.
  void SetAdjustment(int32_t red, int32_t green, int32_t blue);
};

// Tables: cyan, magenta, yellow. A positive cyan adjustment lowers red, and so on.
class TCMYFilter : public TXXXFilter {
 public:
  TColor MapColor(TColor color) const override;
  // Fills the three tables from percent adjustments of cyan, magenta and yellow.
  void SetAdjustment(int32_t cyan, int32_t magenta, int32_t yellow);
};

// Tables: hue (256 steps for a full turn, index 0 at -180 degrees), lightness, saturation. The
// colour is taken to hue, lightness and saturation, each is looked up with linear interpolation
// between neighbouring entries, and the result is taken back to RGB, all in long double.
class THLSFilter : public TXXXFilter {
 public:
  TColor MapColor(TColor color) const override;
  // Fills the tables from a hue rotation in degrees and percent adjustments of lightness and
  // saturation.
  void SetAdjustment(int32_t hueDegrees, int32_t lightness, int32_t saturation);

  // The hue (degrees in [0, 360)) after the hue table, interpolated across the 255 -> 0 wrap.
  long double MapHue(long double hue) const;
  // Lightness or saturation (0..1) through a table with linear interpolation.
  static long double MapLevel(const TFilterTable& table, long double level);
};

// THLSFilter::MapColor's results at a lower cost per colour, for mapping many colours: what depends
// only on the largest and smallest channel (lightness, saturation, their table lookups and the
// levels of the back conversion) is worked out once per pair with MapColor's own arithmetic. The
// hue part runs in double first; only when a channel lands so near a rounding boundary that the
// two precisions could round differently is it worked out again in long double. The filter's
// tables must not change while the mapper is in use.
class THLSMapper {
 public:
  explicit THLSMapper(const THLSFilter& filter);
  TColor MapColor(TColor color) const;
  // The same without the double-precision pass (for comparison).
  TColor MapColorExact(TColor color) const;

 private:
  // Kept small: the double pass reads only these.
  struct TPair {
    double m1Quick = 0;
    double m2Quick = 0;
    double sixtyOverD = 0;  // 60 / (largest - smallest channel as fractions of 255)
    uint8_t grey = 0;       // the result when the colour ends without hue
    bool hasHue = false;
  };
  struct TExactLevels {
    long double m1 = 0;
    long double m2 = 0;
  };
  bool MapQuick(uint8_t red, uint8_t green, uint8_t blue, int largest, const TPair& pair,
                TColor& result) const;

  const THLSFilter& filter_;
  std::vector<TPair> pairs_;         // by (largest, smallest channel), largest >= smallest
  std::vector<TExactLevels> exact_;  // the same order
};

// The hue of a colour without one (red = green = blue).
inline constexpr long double kHueUndefined = 1.0e10L;

// RGB to hue (degrees in [0, 360), or kHueUndefined), lightness and saturation (0..1).
void RGBToHLS(TColor color, long double& hue, long double& lightness, long double& saturation);
// Back to RGB, each channel rounded half to even and clamped. Saturation 0 with a defined hue
// raises EPGSaturationHue.
TColor HLSToRGB(long double hue, long double lightness, long double saturation);

// Runs `filter` from `source` into `target`, which keeps its pixel format and takes the source's
// size; one OnChange at the end, also after a failure. A source identical to the target is refused
// with EPGFilter (message 23) unless the filter works on colours alone.
void ApplyFilter(TPixelGraphic& target, TPGFilter& filter, const TPixelGraphic& source);

}  // namespace pg

inline void pg::TPixelGraphic::ApplyFilter(TPGFilter& filter, const TPixelGraphic& source) {
  pg::ApplyFilter(*this, filter, source);
}
