// The checks every reader shares: one pixel limit with one text naming the limit and how to raise it.
#include "imaging/formats/format_io.h"

#include <gtest/gtest.h>

#include "tests/imaging/formats/format_test_util.h"

namespace pg {
namespace {

using namespace formattest;

// A 20 x 10 image in the format of `extension`, made by our own writer (PCX has none: a header and
// a few bytes of data, enough to reach the size check).
std::vector<uint8_t> TwentyByTen(const std::string& extension) {
  if (extension == "pcx") {
    std::vector<uint8_t> file(128 + 8, 0);
    file[0] = 0x0A;  // manufacturer
    file[1] = 5;     // version
    file[2] = 1;     // run-length encoded
    file[3] = 8;     // bits per pixel
    file[8] = 19;    // xMax
    file[10] = 9;    // yMax
    file[65] = 1;    // planes
    file[66] = 20;   // bytes per line
    return file;
  }
  TPixelGraphic image;
  MakeRGB(image, 20, 10);
  image.SetSaveColorResWarningAction(pgwaIgnore);
  return Save(image, extension);
}

TEST(PixelLimit, EveryReaderRefusesWithTheSameTextAndLoadsAtTheLimit) {
  const std::vector<std::pair<std::string, std::string>> formats = {
      {"bmp", "BMP: "},           {"jpg", "JPG: "},           {"png", "PNG: "},
      {"pcx", "PCX: "},           {"tga", "TGA: "},           {"tif", "TIFF: "},
      {"pbm", "PBM, PGM, PPM: "}, {"pgm", "PBM, PGM, PPM: "}, {"ppm", "PBM, PGM, PPM: "}};
  TOptionsGuard guard;
  for (const auto& [extension, prefix] : formats) {
    SCOPED_TRACE(extension);
    const std::vector<uint8_t> file = TwentyByTen(extension);
    TPixelGraphic image;
    FormatOptions().MaxPixels = 199;
    try {
      Load(image, file, extension);
      ADD_FAILURE() << "no exception";
    } catch (const EPGPixelLimit& e) {
      EXPECT_EQ(e.Width(), 20);
      EXPECT_EQ(e.Height(), 10);
      EXPECT_EQ(e.Limit(), 199);
      const auto* error = dynamic_cast<const EPixelGraphic*>(&e);
      ASSERT_NE(error, nullptr);
      EXPECT_EQ(std::string(error->what()),
                prefix +
                    "Image of 20 x 10 pixels exceeds the pixel limit of 199 (MaxPixels); raise the limit to "
                    "load it");
    }
    FormatOptions().MaxPixels = 200;
    if (extension != "pcx") {
      EXPECT_NO_THROW(Load(image, file, extension));
      EXPECT_EQ(image.Width(), 20);
    }
  }
}

TEST(PixelLimit, TheDefaultHolds16384Squared) {
  EXPECT_EQ(TFormatOptions().MaxPixels, 268435456);
  EXPECT_EQ(formats::PixelLimitText(16385, 16384, TFormatOptions().MaxPixels),
            "Image of 16385 x 16384 pixels exceeds the pixel limit of 268,435,456 (MaxPixels); raise the "
            "limit to load it");
  const formats::TFormatErrors<EPGPNGFileFormatReaderWriter> errors{"PNG: "};
  EXPECT_NO_THROW(errors.CheckPixelLimit(16384, 16384, kDefaultMaxPixels));
  EXPECT_THROW(errors.CheckPixelLimit(16384, 16385, kDefaultMaxPixels), EPGPNGFileFormatReaderWriter);
  // Products beyond 64 bits are still refused, and empty images pass.
  EXPECT_THROW(errors.CheckPixelLimit(INT64_MAX / 2, INT64_MAX / 2, kDefaultMaxPixels), EPGPixelLimit);
  EXPECT_NO_THROW(errors.CheckPixelLimit(0, INT64_MAX, kDefaultMaxPixels));
  EXPECT_THROW(errors.CheckImageSize(0, 5, kDefaultMaxPixels), EPGPNGFileFormatReaderWriter);
  // A limit raised beyond what the image can address still refuses such sizes.
  EXPECT_THROW(errors.CheckPixelLimit(int64_t{1} << 32, 1, INT64_MAX), EPGPNGFileFormatReaderWriter);
}

TEST(PixelLimit, NumbersAreGroupedByThousands) {
  EXPECT_EQ(formats::GroupedNumber(0), "0");
  EXPECT_EQ(formats::GroupedNumber(999), "999");
  EXPECT_EQ(formats::GroupedNumber(1000), "1,000");
  EXPECT_EQ(formats::GroupedNumber(-1234567), "-1,234,567");
}

}  // namespace
}  // namespace pg
