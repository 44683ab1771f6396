#include "imaging/image/gamma.h"

#include <gtest/gtest.h>

#include <limits>

#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {
namespace {

TEST(GammaTable, ExponentOneIsTheIdentity) {
  const TGammaTable table = BuildGammaTable(1.0L);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(table[i], i) << i;
}

TEST(GammaTable, PowerEdgeCases) {
  // 0 ^ e = 0, but a zero exponent gives 1 first, even for a zero base.
  EXPECT_EQ(GammaPower(0.0L, 2.0L), 0.0L);
  EXPECT_EQ(GammaPower(0.0L, -1.0L), 0.0L);
  EXPECT_EQ(GammaPower(0.0L, 0.0L), 1.0L);
  EXPECT_EQ(GammaPower(0.25L, 0.0L), 1.0L);
  EXPECT_NEAR(static_cast<double>(GammaPower(0.25L, 0.5L)), 0.5, 1e-15);
  try {
    GammaPower(-0.5L, 2.0L);
    FAIL() << "a negative base must raise";
  } catch (const EPixelGraphic& e) {
    EXPECT_STREQ(e.what(), "Invalid Argument");
  }
  EXPECT_THROW(GammaPower(-0.5L, 0.0L), EPixelGraphic);
}

TEST(GammaTable, EntriesRoundToNearestAndStayInTheByteRange) {
  const TGammaTable squared = BuildGammaTable(2.0L);
  EXPECT_EQ(squared[0], 0);
  EXPECT_EQ(squared[128], 64);   // 128^2 / 255 = 64.25
  EXPECT_EQ(squared[180], 127);  // 127.06
  EXPECT_EQ(squared[255], 255);
  const TGammaTable root = BuildGammaTable(0.5L);
  EXPECT_EQ(root[0], 0);
  EXPECT_EQ(root[64], 128);  // sqrt(64 * 255) = 127.75
  EXPECT_EQ(root[255], 255);
  // Zero exponent: every entry 255, 0 included.
  for (uint8_t v : BuildGammaTable(0.0L)) EXPECT_EQ(v, 255);
  // A negative exponent goes beyond 255 for every non-zero base: limited, not wrapped.
  const TGammaTable negative = BuildGammaTable(-1.0L);
  EXPECT_EQ(negative[0], 0);
  EXPECT_EQ(negative[1], 255);
  EXPECT_EQ(negative[255], 255);
  EXPECT_THROW(BuildGammaTable(std::numeric_limits<long double>::quiet_NaN()), EPixelGraphic);
}

TEST(GammaTable, AppliesToEveryColourByteOfTrueColourRows) {
  TPixelGraphic image;
  image.NewImage(3, 2, bc24Bit);  // 9 colour bytes and 3 bytes of padding per row
  for (int32_t y = 0; y < 2; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int i = 0; i < 12; ++i) row[i] = static_cast<uint8_t>(20 * i + y);
  }
  int changes = 0;
  image.OnChange = [&changes](const void*) { ++changes; };
  const TGammaTable table = BuildGammaTable(2.0L);
  ApplyGammaTable(image, table);
  EXPECT_EQ(changes, 1);
  for (int32_t y = 0; y < 2; ++y) {
    const uint8_t* row = image.ScanLine(y);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(row[i], table[20 * i + y]) << y << ' ' << i;
    for (int i = 9; i < 12; ++i) EXPECT_EQ(row[i], 20 * i + y) << "padding changed";
  }
}

TEST(GammaTable, AppliesToPaletteEntriesOnly) {
  TPixelGraphic image;
  image.NewImage(2, 1, bc8Bit);
  image.SetPaletteIdent(pGray4);
  image.SetPixels(0, 0, 1);
  image.SetPixels(1, 0, 3);
  image.BeginUpdate();  // inside an open update (as during loading) no event fires
  int changes = 0;
  image.OnChange = [&changes](const void*) { ++changes; };
  const TGammaTable table = BuildGammaTable(2.0L);
  ApplyGammaTable(image, table);
  EXPECT_EQ(changes, 0);
  ASSERT_EQ(image.PaletteCount(), 4);
  EXPECT_EQ(image.PaletteEntries(1), RGBColor(table[85], table[85], table[85]));
  EXPECT_EQ(image.PaletteEntries(3), RGBColor(255, 255, 255));
  EXPECT_EQ(image.PaletteIdent(), pUnknown);
  EXPECT_EQ(image.Pixels(0, 0), 1u);
  EXPECT_EQ(image.Pixels(1, 0), 3u);
  image.EndUpdate();
  EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace pg
