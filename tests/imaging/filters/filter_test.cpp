#include "imaging/filters/filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"

namespace pg {
namespace {

// Every colour whose channels are multiples of `step` (0 and 255 included for 3, 5, 15, 17):
// 86^3 colours for the default.
template <class Check>
void ForDenseSample(Check check, int step = 3) {
  for (int r = 0; r <= 255; r += step)
    for (int g = 0; g <= 255; g += step)
      for (int b = 0; b <= 255; b += step)
        check(RGBColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)));
}

TEST(FilterTables, PercentAndHueTablesTruncateAndWrap) {
  EXPECT_EQ(PercentTable(0), IdentityTable());
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(PercentTable(100)[i], 255);
    EXPECT_EQ(PercentTable(-100)[i], 0);
    EXPECT_EQ(PercentTable(50)[i], std::min(i + 127, 255));
    EXPECT_EQ(PercentTable(-50)[i], std::max(i - 127, 0));
    // 33 * 255 = 8415; truncating toward zero gives 84 both ways, not 85 below zero.
    EXPECT_EQ(PercentTable(-33)[i], std::max(i - 84, 0));
  }
  EXPECT_EQ(HueTable(180)[0], 128);
  EXPECT_EQ(HueTable(180)[200], 72);
  EXPECT_EQ(HueTable(-180)[0], 128);
  EXPECT_EQ(HueTable(90)[255], 63);
  EXPECT_EQ(HueTable(-1), IdentityTable());  // -256 / 360 truncates to 0
  EXPECT_EQ(HueTable(-2)[0], 255);
  EXPECT_EQ(HueTable(-2)[1], 0);
  EXPECT_EQ(HueTable(0), IdentityTable());
}

TEST(FilterClasses, BaseAndTableFilterDefaults) {
  TPGFilter base;
  EXPECT_FALSE(base.ColorOnly());
  EXPECT_EQ(base.MapColor(0x123456), 0x123456u);
  EXPECT_EQ(base.PixelColor(3, 4), 0u);
  EXPECT_EQ(base.Source(), nullptr);

  THLSFilter hls;
  EXPECT_TRUE(hls.ColorOnly());
  EXPECT_EQ(hls.Table1(), IdentityTable());
  EXPECT_EQ(hls.Table2(), IdentityTable());
  EXPECT_EQ(hls.Table3(), IdentityTable());
}

TEST(RGBFilter, ZeroAdjustmentKeepsEveryColourAndChannelsMove) {
  TRGBFilter rgb;
  rgb.SetAdjustment(0, 0, 0);
  ForDenseSample([&](TColor c) { ASSERT_EQ(rgb.MapColor(c), c); });

  rgb.SetAdjustment(100, 0, 0);
  EXPECT_EQ(rgb.MapColor(RGBColor(0, 10, 20)), RGBColor(255, 10, 20));
  rgb.SetAdjustment(-100, 0, 0);
  EXPECT_EQ(rgb.MapColor(RGBColor(200, 10, 20)), RGBColor(0, 10, 20));
  rgb.SetAdjustment(50, 0, 0);
  EXPECT_EQ(rgb.MapColor(RGBColor(100, 10, 20)), RGBColor(227, 10, 20));
  EXPECT_EQ(rgb.MapColor(RGBColor(200, 10, 20)), RGBColor(255, 10, 20));
  // Green and blue tables act on their own channels.
  rgb.SetAdjustment(0, 50, -50);
  EXPECT_EQ(rgb.MapColor(RGBColor(1, 2, 200)), RGBColor(1, 129, 73));
}

TEST(CMYFilter, ZeroAdjustmentKeepsEveryColourAndCyanLowersRed) {
  TCMYFilter cmy;
  ForDenseSample([&](TColor c) { ASSERT_EQ(cmy.MapColor(c), c); });

  cmy.SetAdjustment(50, 0, 0);
  EXPECT_EQ(cmy.MapColor(RGBColor(200, 10, 20)), RGBColor(73, 10, 20));
  EXPECT_EQ(cmy.MapColor(RGBColor(100, 10, 20)), RGBColor(0, 10, 20));  // floor at 0
  cmy.SetAdjustment(0, -50, 100);
  EXPECT_EQ(cmy.MapColor(RGBColor(5, 100, 200)), RGBColor(5, 227, 0));
}

TEST(HLSFilter, ZeroAdjustmentKeepsColoursWithinRounding) {
  THLSFilter hls;
  int changed = 0;
  ForDenseSample([&](TColor c) {
    const TColor m = hls.MapColor(c);
    if (m != c) ++changed;
    ASSERT_LE(std::abs(GetRValue(m) - GetRValue(c)), 1) << std::hex << c;
    ASSERT_LE(std::abs(GetGValue(m) - GetGValue(c)), 1) << std::hex << c;
    ASSERT_LE(std::abs(GetBValue(m) - GetBValue(c)), 1) << std::hex << c;
  });
  // Rounding may move a channel now and then, not as a rule.
  EXPECT_LT(changed, 86 * 86 * 86 / 100);
}

TEST(HLSFilter, GreyStaysGreyUnderAnyHueRotationWithOnlyLightnessActing) {
  THLSFilter hls;
  for (int hue = -180; hue <= 180; hue += 15) {
    hls.SetAdjustment(hue, 30, 100);  // saturation +100 must not colour a grey
    for (int v = 0; v < 256; ++v) {
      const auto grey = static_cast<uint8_t>(v);
      const TColor m = hls.MapColor(RGBColor(grey, grey, grey));
      ASSERT_EQ(m, RGBColor(hls.Table2()[v], hls.Table2()[v], hls.Table2()[v])) << hue << " " << v;
    }
  }
}

TEST(HLSFilter, HalfTurnMapsRedToCyanBothWays) {
  THLSFilter hls;
  hls.SetAdjustment(180, 0, 0);
  EXPECT_EQ(hls.MapColor(0x0000FF), 0xFFFF00u);
  hls.SetAdjustment(-180, 0, 0);
  EXPECT_EQ(hls.MapColor(0x0000FF), 0xFFFF00u);
  // A third of a turn takes red towards green.
  hls.SetAdjustment(120, 0, 0);
  const TColor m = hls.MapColor(0x0000FF);
  EXPECT_LT(GetRValue(m), 8);
  EXPECT_GT(GetGValue(m), 247);
  EXPECT_LT(GetBValue(m), 8);
}

TEST(HLSFilter, LightnessAndSaturationTables) {
  THLSFilter hls;
  hls.SetAdjustment(0, 100, 0);
  EXPECT_EQ(hls.MapColor(RGBColor(10, 120, 200)), 0xFFFFFFu);
  hls.SetAdjustment(0, -100, 0);
  EXPECT_EQ(hls.MapColor(RGBColor(10, 120, 200)), 0u);
  hls.SetAdjustment(0, 0, -100);
  const TColor grey = hls.MapColor(RGBColor(0, 0, 255));  // L = 0.5 -> 127.5 -> ties to even
  EXPECT_EQ(grey, RGBColor(128, 128, 128));
}

TEST(HLSFilter, HueInterpolationAcrossTheWrapUnwrapsBy256) {
  THLSFilter hls;
  // Identity: hue 179 degrees lies between entries 255 and 0; the upper neighbour is table1[0]
  // taken as 256, so the hue comes back unchanged.
  EXPECT_NEAR(static_cast<double>(hls.MapHue(179)), 179.0, 1e-9);
  // A colour there survives a zero adjustment.
  EXPECT_EQ(hls.MapColor(RGBColor(0, 255, 250)), RGBColor(0, 255, 250));

  // A jump from 250 at entry 255 to 10 at entry 0: the neighbour counts as 266.
  hls.Table1()[255] = 250;
  hls.Table1()[0] = 10;
  const long double hue = (255.25L * 360 / 256) - 180;  // x = 255.25
  const long double y = 0.75L * 250 + 0.25L * 266;
  EXPECT_NEAR(static_cast<double>(hls.MapHue(hue)), static_cast<double>(y * 360 / 256 - 180), 1e-9);

  // And downwards: from 2 to 250 the neighbour counts as -6.
  hls.Table1() = IdentityTable();
  hls.Table1()[10] = 2;
  hls.Table1()[11] = 250;
  const long double hue2 = 10.5L * 360 / 256 - 180 + 360;
  EXPECT_NEAR(static_cast<double>(hls.MapHue(hue2)), -2.0 * 360 / 256 - 180 + 360, 1e-9);
}

TEST(HLSConversion, BackConversionRefusesSaturationZeroWithHue) {
  try {
    HLSToRGB(120, 0.5L, 0);
    FAIL() << "no exception";
  } catch (const EPGSaturationHue& e) {
    EXPECT_EQ(std::string(e.what()), MessageText(40));
  }
  EXPECT_EQ(HLSToRGB(kHueUndefined, 0.5L, 0), RGBColor(128, 128, 128));
  EXPECT_EQ(HLSToRGB(0, 0.5L, 1), RGBColor(255, 0, 0));
  EXPECT_EQ(HLSToRGB(240, 0.5L, 1), RGBColor(0, 0, 255));

  long double h;
  long double l;
  long double s;
  RGBToHLS(RGBColor(7, 7, 7), h, l, s);
  EXPECT_EQ(h, kHueUndefined);
  EXPECT_EQ(s, 0);
  RGBToHLS(RGBColor(0, 255, 255), h, l, s);
  EXPECT_NEAR(static_cast<double>(h), 180.0, 1e-12);
  EXPECT_NEAR(static_cast<double>(l), 0.5, 1e-12);
  EXPECT_NEAR(static_cast<double>(s), 1.0, 1e-12);
  RGBToHLS(RGBColor(255, 0, 64), h, l, s);  // negative before the wrap
  EXPECT_GT(h, 300);
  EXPECT_LT(h, 360);
}

TEST(HLSMapper, GivesExactlyMapColorsResults) {
  const int adjustments[][3] = {{0, 0, 0},     {45, 10, -20}, {-180, 50, 50},
                                {90, -100, 0}, {15, 0, 100},  {-60, 30, -100}};
  for (const auto& a : adjustments) {
    THLSFilter filter;
    filter.SetAdjustment(a[0], a[1], a[2]);
    const THLSMapper mapper(filter);
    ForDenseSample(
        [&](TColor c) {
          const TColor expected = filter.MapColor(c);
          ASSERT_EQ(mapper.MapColor(c), expected) << std::hex << c;
          ASSERT_EQ(mapper.MapColorExact(c), expected) << std::hex << c;
        },
        5);
    for (uint32_t v = 0; v < 256; ++v) {
      const TColor nearGrey = v * 0x010101u ^ 0x000001u;
      ASSERT_EQ(mapper.MapColor(nearGrey), filter.MapColor(nearGrey));
    }
  }
}

TEST(HLSFilter, ExactHalvesRoundToEven) {
  // A quarter turn puts many channels exactly on k + 1/2: pure red's red channel becomes
  // 0.5 * 255 = 127.5 and rounds to 128; blue 57.5 rounds up to 58 and 56.5 down to 56.
  THLSFilter hls;
  hls.SetAdjustment(90, 0, 0);
  EXPECT_EQ(hls.MapColor(RGBColor(255, 0, 0)), RGBColor(128, 255, 0));
  EXPECT_EQ(hls.MapColor(RGBColor(0, 255, 0)), RGBColor(0, 128, 255));
  EXPECT_EQ(hls.MapColor(RGBColor(0, 0, 255)), RGBColor(255, 0, 128));
  EXPECT_EQ(hls.MapColor(RGBColor(63, 80, 1)), RGBColor(1, 80, 58));
  EXPECT_EQ(hls.MapColor(RGBColor(44, 65, 6)), RGBColor(6, 65, 56));
  // The mapper's double pass cannot tell such a half from one a hair away; it must defer to the
  // long double arithmetic there.
  const THLSMapper mapper(hls);
  for (const TColor c : {RGBColor(255, 0, 0), RGBColor(0, 255, 0), RGBColor(0, 0, 255), RGBColor(63, 80, 1),
                         RGBColor(44, 65, 6)})
    EXPECT_EQ(mapper.MapColor(c), hls.MapColor(c)) << std::hex << c;
}

TEST(HLSMapper, ExactWithSteepAndRandomTables) {
  // Neighbouring hue entries up to half a turn apart magnify the double pass's hue error most;
  // lightness and saturation tables that jump about move the levels of the back conversion.
  THLSFilter filter;
  for (int i = 0; i < 256; ++i) filter.Table1()[i] = static_cast<uint8_t>(i % 2 != 0 ? 129 : 0);
  uint32_t seed = 99;
  for (int i = 0; i < 256; ++i) {
    seed = seed * 1664525u + 1013904223u;
    filter.Table2()[i] = static_cast<uint8_t>(seed >> 24);
    filter.Table3()[i] = static_cast<uint8_t>(seed >> 16);
  }
  for (int round = 0; round < 2; ++round) {
    const THLSMapper mapper(filter);
    ForDenseSample([&](TColor c) { ASSERT_EQ(mapper.MapColor(c), filter.MapColor(c)) << std::hex << c; }, 5);
    for (int i = 0; i < 256; ++i) {
      seed = seed * 1664525u + 1013904223u;
      filter.Table1()[i] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

}  // namespace
}  // namespace pg
