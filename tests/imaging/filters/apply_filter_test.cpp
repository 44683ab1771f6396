#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "imaging/filters/filter.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/image/pixel_graphic.h"

namespace pg {
namespace {

// Records the calls ApplyFilter makes; the colour it gives encodes the position.
class TRecordingFilter : public TPGFilter {
 public:
  explicit TRecordingFilter(bool colorOnly = false) : colorOnly_(colorOnly) {}
  void Prepare(const TPixelGraphic& source) override {
    TPGFilter::Prepare(source);
    calls.push_back("Prepare");
  }
  TColor PixelColor(int32_t x, int32_t y) override {
    visited.emplace_back(x, y);
    if (x == throwAtX && y == throwAtY) throw EPixelGraphic("filter failed");
    return RGBColor(static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7);
  }
  void Finish() override {
    TPGFilter::Finish();
    calls.push_back("Finish");
  }
  bool ColorOnly() const override { return colorOnly_; }

  std::vector<std::string> calls;
  std::vector<std::pair<int32_t, int32_t>> visited;
  int32_t throwAtX = -1;
  int32_t throwAtY = -1;

 private:
  bool colorOnly_;
};

// Counts MapColor calls and otherwise behaves as its base; being a derived class it is driven
// through PixelColor when it cannot use a palette.
class TCountingRGBFilter : public TRGBFilter {
 public:
  TColor MapColor(TColor color) const override {
    ++mapped;
    return TRGBFilter::MapColor(color) ^ 0x000100;  // differs from the base in one bit of green
  }
  mutable int mapped = 0;
};

// Progress events as text: "start", "step y/max", "end"; aborts at the first step >= abortAtStep.
struct TProgressLog {
  explicit TProgressLog(TPixelGraphic& image, int32_t abortAtStep = -1) {
    image.OnProgressStart = [this](const void*) { events.push_back("start"); };
    image.OnProgress = [this, abortAtStep](const void*, int32_t step, int32_t max, bool& abort) {
      events.push_back("step " + std::to_string(step) + "/" + std::to_string(max));
      if (abortAtStep >= 0 && step >= abortAtStep) abort = true;
    };
    image.OnProgressEnd = [this](const void*) { events.push_back("end"); };
    image.OnChange = [this](const void*) { ++changes; };
  }
  std::vector<std::string> events;
  int changes = 0;
};

void FillPseudoRandom(TPixelGraphic& image, uint32_t seed) {
  for (int32_t y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < image.Width() * 3; ++x) {
      seed = seed * 1664525u + 1013904223u;
      row[x] = static_cast<uint8_t>(seed >> 24);
    }
  }
}

std::vector<uint8_t> PixelBytes(const TPixelGraphic& image) {
  return std::vector<uint8_t>(image.Bits(), image.Bits() + image.ImageSize());
}

TEST(ApplyFilter, PerPixelRunVisitsRowsInOrderWithProgressAndOneChange) {
  TPixelGraphic source;
  source.NewImage(3, 2, bc24Bit);
  TPixelGraphic target;
  TProgressLog log(target);
  TRecordingFilter filter;
  target.ApplyFilter(filter, source);

  EXPECT_EQ(target.Width(), 3);
  EXPECT_EQ(target.Height(), 2);
  EXPECT_EQ(target.BitCount(), bc24Bit);
  const std::vector<std::pair<int32_t, int32_t>> rowOrder = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}};
  EXPECT_EQ(filter.visited, rowOrder);
  EXPECT_EQ(filter.calls, (std::vector<std::string>{"Prepare", "Finish"}));
  EXPECT_EQ(filter.Source(), nullptr);
  EXPECT_EQ(log.events, (std::vector<std::string>{"start", "step 0/1", "step 1/1", "end"}));
  EXPECT_EQ(log.changes, 1);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(target.Pixels(x, y), RGBColor(uint8_t(x), uint8_t(y), 7));
}

TEST(ApplyFilter, InPlaceOnlyForColourOnlyFilters) {
  TPixelGraphic image;
  image.NewImage(2, 2, bc24Bit);
  image.SetPixels(1, 1, 0x123456);
  TProgressLog log(image);
  TRecordingFilter positional;
  try {
    image.ApplyFilter(positional, image);
    FAIL() << "no exception";
  } catch (const EPGFilter& e) {
    EXPECT_EQ(std::string(e.what()), MessageText(23));
  }
  EXPECT_TRUE(positional.calls.empty());
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(image.Pixels(1, 1), 0x123456u);

  TRecordingFilter colourOnly(true);
  image.ApplyFilter(colourOnly, image);
  EXPECT_EQ(image.Pixels(1, 1), RGBColor(1, 1, 7));
}

TEST(ApplyFilter, AbortStopsAfterTheRowAndStillFinishes) {
  TPixelGraphic image;
  image.NewImage(4, 5, bc24Bit);
  image.Clear();
  for (int32_t y = 0; y < 5; ++y) image.SetPixels(0, y, 0xABCDEF);
  TProgressLog log(image, 1);
  TRecordingFilter filter(true);
  image.ApplyFilter(filter, image);
  EXPECT_EQ(log.events, (std::vector<std::string>{"start", "step 0/4", "step 1/4", "end"}));
  EXPECT_EQ(filter.calls, (std::vector<std::string>{"Prepare", "Finish"}));
  EXPECT_EQ(image.Pixels(0, 1), RGBColor(0, 1, 7));
  for (int32_t y = 2; y < 5; ++y) EXPECT_EQ(image.Pixels(0, y), 0xABCDEFu) << y;
}

TEST(ApplyFilter, AbortOfARowPathLeavesLaterRowsAsTheyWere) {
  TPixelGraphic image;
  image.NewImage(600, 500, bc24Bit);
  FillPseudoRandom(image, 1);
  const std::vector<uint8_t> before = PixelBytes(image);
  TProgressLog log(image, 0);
  TRGBFilter filter;
  filter.SetAdjustment(100, 100, 100);
  image.ApplyFilter(filter, image);
  ASSERT_EQ(log.events.size(), 3u);
  EXPECT_EQ(log.events.back(), "end");
  EXPECT_EQ(image.Pixels(0, 0), 0xFFFFFFu);
  EXPECT_EQ(std::memcmp(image.ScanLine(499), before.data(), 600 * 3), 0);  // the bottom row comes first
  EXPECT_EQ(log.changes, 1);
}

TEST(ApplyFilter, FailureFinishesTheFilterAndClosesTheBrackets) {
  TPixelGraphic image;
  image.NewImage(3, 3, bc24Bit);
  TProgressLog log(image);
  TRecordingFilter filter(true);
  filter.throwAtX = 1;
  filter.throwAtY = 1;
  EXPECT_THROW(image.ApplyFilter(filter, image), EPixelGraphic);
  EXPECT_EQ(filter.calls, (std::vector<std::string>{"Prepare", "Finish"}));
  EXPECT_EQ(log.events.back(), "end");
  EXPECT_EQ(image.UpdateCount(), 0);
  EXPECT_EQ(log.changes, 1);
}

TEST(ApplyFilter, PaletteShortcutInPlaceMapsOnlyPaletteEntries) {
  TPixelGraphic image;
  image.NewImage(5, 3, bc8Bit);
  image.SetPaletteCount(4);
  const TColor colours[4] = {RGBColor(0, 0, 0), RGBColor(10, 20, 30), RGBColor(200, 100, 50),
                             RGBColor(1, 2, 3)};
  for (int32_t i = 0; i < 4; ++i) image.SetPaletteEntries(i, colours[i]);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) image.SetPixels(x, y, static_cast<uint32_t>((x + y) % 4));
  const std::vector<uint8_t> before = PixelBytes(image);
  TProgressLog log(image);

  TCountingRGBFilter filter;
  filter.SetAdjustment(50, 0, 0);
  image.ApplyFilter(filter, image);
  EXPECT_EQ(filter.mapped, 4);  // each entry once, no pixel visited
  EXPECT_EQ(PixelBytes(image), before);
  ASSERT_EQ(image.PaletteCount(), 4);
  for (int32_t i = 0; i < 4; ++i)
    EXPECT_EQ(image.PaletteEntries(i), filter.TRGBFilter::MapColor(colours[i]) ^ 0x100);
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(log.changes, 1);
}

TEST(ApplyFilter, PaletteShortcutIntoARicherTargetKeepsEveryIndex) {
  TPixelGraphic source;
  source.NewImage(7, 3, bc4Bit);
  source.SetPaletteCount(16);
  for (int32_t i = 0; i < 16; ++i)
    source.SetPaletteEntries(i, RGBColor(static_cast<uint8_t>(i * 16), 50, static_cast<uint8_t>(255 - i)));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) source.SetPixels(x, y, static_cast<uint32_t>((x * 5 + y * 3) % 16));
  const std::vector<uint8_t> sourceBefore = PixelBytes(source);

  TPixelGraphic target;
  target.NewImage(2, 2, bc8Bit);
  target.SetPaletteCount(2);
  target.SetPaletteEntries(1, 0xFFFFFF);
  TCMYFilter filter;
  filter.SetAdjustment(20, -40, 60);
  target.ApplyFilter(filter, source);

  ASSERT_EQ(target.Width(), 7);
  ASSERT_EQ(target.Height(), 3);
  EXPECT_EQ(target.BitCount(), bc8Bit);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) {
      EXPECT_EQ(target.Pixels(x, y), source.Pixels(x, y)) << x << "," << y;
      EXPECT_EQ(target.Colors(x, y), filter.MapColor(source.Colors(x, y)));
    }
  ASSERT_EQ(target.PaletteCount(), 16);
  EXPECT_EQ(PixelBytes(source), sourceBefore);
  EXPECT_EQ(source.PaletteEntries(3), RGBColor(48, 50, 252));

  // 1 bit into 4 bit as well.
  TPixelGraphic bw;
  bw.NewImage(9, 2, bc1Bit);
  bw.SetPaletteCount(2);
  bw.SetPaletteEntries(0, 0);
  bw.SetPaletteEntries(1, 0xFFFFFF);
  bw.SetPixels(8, 1, 1);
  bw.SetPixels(0, 0, 1);
  TPixelGraphic four;
  four.NewImage(1, 1, bc4Bit);
  TRGBFilter red;
  red.SetAdjustment(0, -100, -100);
  four.ApplyFilter(red, bw);
  EXPECT_EQ(four.Pixels(8, 1), 1u);
  EXPECT_EQ(four.Pixels(0, 0), 1u);
  EXPECT_EQ(four.Pixels(1, 0), 0u);
  EXPECT_EQ(four.PaletteEntries(1), RGBColor(255, 0, 0));
}

// The row paths (in place and into another image) give exactly what MapColor gives; a derived
// class is asked through PixelColor.
TEST(ApplyFilter, RowPathsGiveExactlyMapColorsResults) {
  TPixelGraphic original;
  original.NewImage(641, 480, bc24Bit);  // large enough for two threads; rows with padding
  FillPseudoRandom(original, 7);
  for (int32_t x = 0; x < 256; ++x) original.SetPixels(x, 5, RGBColor(uint8_t(x), uint8_t(x), uint8_t(x)));

  TRGBFilter rgb;
  rgb.SetAdjustment(30, -40, 100);
  TCMYFilter cmy;
  cmy.SetAdjustment(50, -20, -100);
  THLSFilter hls;
  hls.SetAdjustment(75, -20, 40);
  TCountingRGBFilter derived;
  derived.SetAdjustment(10, 0, 0);
  for (TPGFilter* filter : std::vector<TPGFilter*>{&rgb, &cmy, &hls, &derived}) {
    TPixelGraphic inPlace;
    inPlace.Assign(&original);
    inPlace.ApplyFilter(*filter, inPlace);
    TPixelGraphic other;
    other.ApplyFilter(*filter, original);
    ASSERT_EQ(other.Width(), 641);
    ASSERT_EQ(other.Height(), 480);
    for (int32_t y = 0; y < 480; ++y)
      for (int32_t x = 0; x < 641; ++x) {
        const TColor expected = filter->MapColor(original.Pixels(x, y));
        ASSERT_EQ(inPlace.Pixels(x, y), expected) << typeid(*filter).name() << " " << x << "," << y;
        ASSERT_EQ(other.Pixels(x, y), expected) << typeid(*filter).name() << " " << x << "," << y;
      }
  }
}

TEST(ApplyFilter, EmptySourceGivesEmptyTargetWithoutProgress) {
  TPixelGraphic source;
  TPixelGraphic target;
  target.NewImage(4, 4, bc24Bit);
  TProgressLog log(target);
  THLSFilter filter;
  target.ApplyFilter(filter, source);
  EXPECT_TRUE(target.Empty());
  EXPECT_EQ(target.Width(), 0);
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(log.changes, 1);
}

}  // namespace
}  // namespace pg
