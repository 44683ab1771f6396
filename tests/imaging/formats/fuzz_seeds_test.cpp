// The seeds of the BMP, JPEG and PNG fuzz targets: small files of every kind each reader knows,
// made by our writers or copied from the format suites. Every seed must load; with
// TESSEL_WRITE_FUZZ_SEEDS set they are written to that folder (never into the source tree).
#include <gtest/gtest.h>

#include <map>

#include "imaging/formats/image_io.h"
#include "tests/imaging/formats/format_test_util.h"
#include "tests/imaging/formats/pixel_compare.h"
#include "tests/imaging/formats/png_test_writer.h"

namespace pg {
namespace {

using namespace formattest;

using TSeeds = std::map<std::string, std::vector<uint8_t>>;

TSeeds BmpSeeds() {
  TSeeds seeds;
  for (TBitCount bitCount : {bc1Bit, bc4Bit, bc8Bit}) {
    TPixelGraphic image;
    MakeIndexed(image, 7, 3, bitCount);
    seeds["indexed" + std::to_string(BitCountNum(bitCount)) + ".bmp"] = Save(image, "bmp");
  }
  TPixelGraphic rgb;
  MakeRGB(rgb, 5, 3);
  seeds["rgb24.bmp"] = Save(rgb, "bmp");
  // Copies of BMP Suite files for the other headers and encodings.
  for (const char* name :
       {"pal4rle.bmp", "pal8rle.bmp", "pal8os2.bmp", "pal8topdown.bmp", "pal8v5.bmp", "rgb16-565.bmp"}) {
    seeds[name] = ReadBytes(DataPath(std::string("bmpsuite/") + name));
  }
  return seeds;
}

TSeeds JpegSeeds() {
  TSeeds seeds;
  TPixelGraphic rgb;
  MakeRGB(rgb, 24, 17);
  TSaveOptions options;
  options.JPEGQuality = 50;
  auto save = [&](TPixelGraphic& image) {
    TMemoryStream stream;
    SaveImage(image, stream, "jpg", options);
    return stream.Data();
  };
  seeds["baseline.jpg"] = save(rgb);
  options.JPEGProgressive = true;
  seeds["progressive.jpg"] = save(rgb);
  TPixelGraphic grey;
  grey.NewImage(9, 9, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  for (int32_t y = 0; y < 9; ++y) {
    for (int32_t x = 0; x < 9; ++x) grey.SetPixels(x, y, static_cast<uint32_t>(x * 28));
  }
  seeds["grey-progressive.jpg"] = save(grey);
  return seeds;
}

TSeeds PngSeeds() {
  TSeeds seeds;
  for (const char* name :
       {"basn0g01.png", "basn0g02.png", "basi0g16.png", "basn2c16.png", "basi3p02.png", "basn4a08.png",
        "basi6a16.png", "tbbn3p08.png", "tbrn2c08.png", "bgyn6a16.png", "g25n3p04.png", "s01n3p01.png"}) {
    seeds[name] = ReadBytes(DataPath(std::string("pngsuite/") + name));
  }
  TPixelGraphic rgb;
  MakeRGB(rgb, 6, 4);
  seeds["rgb.png"] = Save(rgb, "png");
  return seeds;
}

// The committed seeds of a target (files of other encoders) and ours: lossy and lossless, opaque
// and from a palette image.
TSeeds CommittedSeeds(const std::string& target) {
  TSeeds seeds;
  for (const auto& entry : std::filesystem::directory_iterator(DataPath("fuzz/" + target)))
    seeds["committed-" + entry.path().filename().string()] = ReadBytes(entry.path());
  return seeds;
}

TSeeds WebPSeeds() {
  TSeeds seeds = CommittedSeeds("webp");
  TPixelGraphic rgb, indexed;
  MakeRGB(rgb, 13, 9);
  MakeIndexed(indexed, 9, 5, bc4Bit);
  TSaveOptions options;
  options.WebPQuality = 30;
  auto save = [&](TPixelGraphic& image) {
    TMemoryStream stream;
    SaveImage(image, stream, "webp", options);
    return stream.Data();
  };
  seeds["lossy.webp"] = save(rgb);
  options.WebPLossless = true;
  seeds["lossless.webp"] = save(rgb);
  seeds["lossless-palette.webp"] = save(indexed);
  return seeds;
}

TSeeds AvifSeeds() {
  TSeeds seeds = CommittedSeeds("avif");
  TPixelGraphic rgb;
  MakeRGB(rgb, 13, 9);
  TSaveOptions options;
  options.AVIFSpeed = 10;
  TMemoryStream stream;
  SaveImage(rgb, stream, "avif", options);
  seeds["ours.avif"] = stream.Data();
  return seeds;
}

void Check(const std::string& target, const TSeeds& seeds) {
  for (const auto& [name, bytes] : seeds) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(bytes.empty());
    EXPECT_LT(bytes.size(), 40000u);
    TPixelGraphic image;
    EXPECT_NO_THROW(Load(image, bytes));
    if (testing::WritingFuzzSeeds()) testing::WriteFuzzSeed(target, name, bytes);
  }
}

TEST(FuzzSeeds, Bmp) {
  Check("bmp", BmpSeeds());
}
TEST(FuzzSeeds, Jpeg) {
  Check("jpeg", JpegSeeds());
}
TEST(FuzzSeeds, Png) {
  Check("png", PngSeeds());
}
TEST(FuzzSeeds, WebP) {
  Check("webp", WebPSeeds());
}
TEST(FuzzSeeds, Avif) {
  Check("avif", AvifSeeds());
}

}  // namespace
}  // namespace pg
