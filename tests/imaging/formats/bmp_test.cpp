#include "imaging/formats/bmp.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "imaging/formats/image_io.h"
#include "tests/imaging/formats/format_test_util.h"

namespace pg {
namespace {

using namespace formattest;

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

struct TBmpSpec {
  int32_t Width = 1;
  int32_t Height = 1;
  uint16_t BitCount = 8;
  uint32_t Compression = 0;
  uint32_t ColorsUsed = 0;
  uint32_t HeaderSize = 40;
  std::vector<uint32_t> Masks;  // written after the header when given
  std::vector<TColor> Palette;  // written as B, G, R, 0
  std::vector<uint8_t> Pixels;  // as stored in the file
  int64_t SizeImage = -1;       // -1: the pixel byte count
};

std::vector<uint8_t> MakeBmp(const TBmpSpec& spec) {
  std::vector<uint8_t> dib;
  Put32(dib, spec.HeaderSize);
  Put32(dib, static_cast<uint32_t>(spec.Width));
  Put32(dib, static_cast<uint32_t>(spec.Height));
  Put16(dib, 1);
  Put16(dib, spec.BitCount);
  Put32(dib, spec.Compression);
  Put32(dib, static_cast<uint32_t>(spec.SizeImage < 0 ? spec.Pixels.size() : spec.SizeImage));
  Put32(dib, 0);
  Put32(dib, 0);
  Put32(dib, spec.ColorsUsed);
  Put32(dib, 0);
  for (uint32_t m : spec.Masks) Put32(dib, m);
  while (dib.size() < spec.HeaderSize) dib.push_back(0);
  for (TColor c : spec.Palette) {
    dib.push_back(GetBValue(c));
    dib.push_back(GetGValue(c));
    dib.push_back(GetRValue(c));
    dib.push_back(0);
  }
  std::vector<uint8_t> file = {'B', 'M'};
  Put32(file, static_cast<uint32_t>(14 + dib.size() + spec.Pixels.size()));
  Put32(file, 0);
  Put32(file, static_cast<uint32_t>(14 + dib.size()));
  file.insert(file.end(), dib.begin(), dib.end());
  file.insert(file.end(), spec.Pixels.begin(), spec.Pixels.end());
  return file;
}

std::string BmpError(const std::vector<uint8_t>& file) {
  TPixelGraphic image;
  return ErrorOf<EPGBMPFileFormatReader>([&] { Load(image, file); });
}

// The good set of BMP Suite against its reference renderings (read with our own PNG reader).
TEST(BmpSuite, GoodFilesMatchTheirReferences) {
  std::ifstream table(DataPath("bmpsuite/reference.tsv"));
  std::string line;
  int compared = 0;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string file, reference;
    fields >> file >> reference;
    SCOPED_TRACE(file);
    TPixelGraphic image;
    ASSERT_NO_THROW(image.LoadFromFile(DataPath("bmpsuite/" + file).string()));
    if (reference == "-") {
      EXPECT_GT(image.Width(), 0);
      continue;
    }
    TOptionsGuard options;
    FormatOptions().GammaCorrection = false;  // the renderings are compared as stored
    TPixelGraphic expected;
    ASSERT_NO_THROW(expected.LoadFromFile(DataPath("bmpsuite/" + reference).string()));
    EXPECT_TRUE(SameColors(image, expected));
    ++compared;
  }
  EXPECT_EQ(compared, 26);
}

TEST(BmpSuite, FormatsAndPalettes) {
  TPixelGraphic image;
  image.LoadFromFile(DataPath("bmpsuite/pal8.bmp").string());
  EXPECT_EQ(image.BitCount(), bc8Bit);
  EXPECT_EQ(image.PaletteCount(), 252);  // colours used
  image.LoadFromFile(DataPath("bmpsuite/pal8-0.bmp").string());
  EXPECT_EQ(image.PaletteCount(), 256);  // colours used 0: the full table
  image.LoadFromFile(DataPath("bmpsuite/pal4rle.bmp").string());
  EXPECT_EQ(image.BitCount(), bc4Bit);
  EXPECT_EQ(image.PaletteCount(), 12);
  image.LoadFromFile(DataPath("bmpsuite/pal8os2.bmp").string());
  EXPECT_EQ(image.PaletteCount(), 256);
  image.LoadFromFile(DataPath("bmpsuite/rgb32bf.bmp").string());
  EXPECT_EQ(image.BitCount(), bc24Bit);
  EXPECT_EQ(image.PaletteIdent(), pTrueColor);
}

TEST(BmpReader, SixteenBitsWithoutBitFieldsUse555) {
  TBmpSpec spec;
  spec.Width = 3;
  spec.BitCount = 16;
  // 0x7C00 red, 0x03E0 green, 0x001F blue (+ 2 bytes padding)
  spec.Pixels = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0};
  TPixelGraphic image;
  Load(image, MakeBmp(spec));
  EXPECT_EQ(image.Colors(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(image.Colors(1, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(image.Colors(2, 0), RGBColor(0, 0, 255));

  // 565 bit fields: 0xF800 is full red, and 0x0400 is green 32 of 63.
  spec.Compression = 3;
  spec.Masks = {0xF800, 0x07E0, 0x001F};
  spec.Pixels = {0x00, 0xF8, 0x00, 0x04, 0x01, 0x00, 0, 0};
  Load(image, MakeBmp(spec));
  EXPECT_EQ(image.Colors(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(image.Colors(1, 0), RGBColor(0, 130, 0));
  EXPECT_EQ(image.Colors(2, 0), RGBColor(0, 0, 8));
}

TEST(BmpReader, ColoursUsedZeroReadsTheFullTable) {
  TBmpSpec spec;
  spec.Width = 2;
  spec.Palette.resize(256);
  spec.Palette[255] = RGBColor(1, 2, 3);
  spec.Pixels = {255, 0, 0, 0};
  TPixelGraphic image;
  Load(image, MakeBmp(spec));
  EXPECT_EQ(image.PaletteCount(), 256);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(1, 2, 3));
}

TEST(BmpReader, Rle8EscapesAndEarlyEnd) {
  TBmpSpec spec;
  spec.Width = 6;
  spec.Height = 4;
  spec.Compression = 1;
  spec.Palette = {0, RGBColor(255, 0, 0), RGBColor(0, 255, 0), RGBColor(0, 0, 255)};
  spec.ColorsUsed = 4;
  spec.Pixels = {
      3, 1,              // bottom row: 3 x index 1
      0, 3, 2, 3, 2, 0,  // literal 2, 3, 2 (+ pad)
      0, 0,              // end of line
      0, 2, 1, 0,        // delta: right 1
      2, 3,              // row 1: x = 1, 2 -> 3
      0, 1,              // end of bitmap: rows 2 and 3 stay zero
      9, 9,
  };
  TPixelGraphic image;
  Load(image, MakeBmp(spec));
  ASSERT_EQ(image.BitCount(), bc8Bit);
  const std::vector<uint32_t> bottom = {1, 1, 1, 2, 3, 2};
  for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(image.Pixels(x, 3), bottom[static_cast<size_t>(x)]) << x;
  EXPECT_EQ(image.Pixels(0, 2), 0u);
  EXPECT_EQ(image.Pixels(1, 2), 3u);
  EXPECT_EQ(image.Pixels(2, 2), 3u);
  EXPECT_EQ(image.Pixels(3, 2), 0u);
  for (int32_t x = 0; x < 6; ++x) {
    EXPECT_EQ(image.Pixels(x, 1), 0u);
    EXPECT_EQ(image.Pixels(x, 0), 0u);
  }
}

TEST(BmpReader, Rle4Nibbles) {
  TBmpSpec spec;
  spec.Width = 5;
  spec.Height = 2;
  spec.BitCount = 4;
  spec.Compression = 2;
  spec.Palette.resize(16);
  spec.Pixels = {
      5, 0x12,              // 1 2 1 2 1
      0, 0,                 // end of line
      0, 3,    0xAB, 0xC0,  // literal A B C (two bytes, already even)
      0, 2,    1,    5,     // delta up 5: beyond the top, decoding stops
  };
  TPixelGraphic image;
  Load(image, MakeBmp(spec));
  const std::vector<uint32_t> bottom = {1, 2, 1, 2, 1}, top = {10, 11, 12, 0, 0};
  for (int32_t x = 0; x < 5; ++x) {
    EXPECT_EQ(image.Pixels(x, 1), bottom[static_cast<size_t>(x)]) << x;
    EXPECT_EQ(image.Pixels(x, 0), top[static_cast<size_t>(x)]) << x;
  }
}

TEST(BmpReader, TopDownRowsAreTurned) {
  TBmpSpec spec;
  spec.Width = 1;
  spec.Height = -2;
  spec.Palette = {0, RGBColor(9, 9, 9)};
  spec.ColorsUsed = 2;
  spec.Pixels = {1, 0, 0, 0, 0, 0, 0, 0};  // first stored row is the top
  TPixelGraphic image;
  Load(image, MakeBmp(spec));
  EXPECT_EQ(image.Height(), 2);
  EXPECT_EQ(image.Pixels(0, 0), 1u);
  EXPECT_EQ(image.Pixels(0, 1), 0u);
}

TEST(BmpReader, HostileHeaders) {
  TBmpSpec good;
  good.Width = 2;
  good.Height = 2;
  good.BitCount = 24;
  good.Pixels.assign(16, 0x55);
  EXPECT_EQ(BmpError(MakeBmp(good)), "");

  TBmpSpec spec = good;
  spec.BitCount = 7;
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: BitmapInfoHeader.biBitCount invalid");
  spec = good;
  spec.Compression = 1;  // RLE8 with 24 bits
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: BitmapInfoHeader.biCompression invalid");
  spec = good;
  spec.Compression = 3;  // bit fields need 16 or 32 bits
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: BitmapInfoHeader.biCompression invalid");
  spec = good;
  spec.HeaderSize = 20;
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: BitmapInfoHeader.biSize invalid");
  spec = good;
  spec.Width = -2;
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: BitmapInfoHeader.biWidth invalid");
  spec = good;
  spec.Height = -2;
  spec.BitCount = 8;
  spec.Compression = 1;  // RLE cannot be top-down
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: BitmapInfoHeader.biCompression invalid");

  std::vector<uint8_t> planes = MakeBmp(good);
  planes[26] = 2;
  EXPECT_EQ(BmpError(planes), "BMP: BitmapInfoHeader.biPlanes invalid");

  // Sizes the data cannot fill fail before anything is allocated.
  spec = good;
  spec.Width = 10000;
  spec.Height = 10000;
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: Unexpected end of file");
  spec = good;
  spec.Width = 0x7FFFFFFF;
  spec.Height = 0x7FFFFFFF;
  EXPECT_NE(BmpError(MakeBmp(spec)), "");
  spec = good;
  spec.BitCount = 8;
  spec.ColorsUsed = 0xFFFFFFFF;
  EXPECT_EQ(BmpError(MakeBmp(spec)), "BMP: Unexpected end of file");
  spec = good;
  spec.BitCount = 8;
  spec.Compression = 1;
  spec.Width = 60000;
  spec.Height = 60000;
  spec.ColorsUsed = 1;
  spec.Palette = {0};
  spec.Pixels = {0, 1};
  EXPECT_EQ(
      BmpError(MakeBmp(spec)),
      "BMP: Image of 60000 x 60000 pixels exceeds the pixel limit of 268,435,456 (MaxPixels); raise the "
      "limit to load it");

  std::vector<uint8_t> cut = MakeBmp(good);
  cut.resize(cut.size() - 1);
  EXPECT_EQ(BmpError(cut), "BMP: Unexpected end of file");
  cut.resize(20);
  EXPECT_EQ(BmpError(cut), "BMP: Unexpected end of file");
}

// A file with a 12-byte core header: 16-bit width and height, 3-byte palette entries.
std::vector<uint8_t> MakeCoreBmp(uint16_t planes, uint16_t bitCount) {
  std::vector<uint8_t> dib;
  Put32(dib, 12);
  Put16(dib, 3);  // width
  Put16(dib, 1);  // height
  Put16(dib, planes);
  Put16(dib, bitCount);
  for (uint8_t c : {0, 0, 0, 30, 20, 10}) dib.push_back(c);  // black; B 30, G 20, R 10
  std::vector<uint8_t> file = {'B', 'M'};
  Put32(file, static_cast<uint32_t>(14 + dib.size() + 4));
  Put32(file, 0);
  Put32(file, static_cast<uint32_t>(14 + dib.size()));
  file.insert(file.end(), dib.begin(), dib.end());
  for (uint8_t b : {0x40, 0, 0, 0}) file.push_back(b);  // pixels 0 1 0
  return file;
}

TEST(BmpReader, CoreHeader) {
  TPixelGraphic image;
  Load(image, MakeCoreBmp(1, 1));
  EXPECT_EQ(image.BitCount(), bc1Bit);
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.PaletteCount(), 2);
  EXPECT_EQ(image.Colors(1, 0), RGBColor(10, 20, 30));
  EXPECT_EQ(image.Colors(0, 0), 0u);
  EXPECT_EQ(BmpError(MakeCoreBmp(2, 1)), "BMP: BitmapCoreHeader.bcPlanes invalid");
  EXPECT_EQ(BmpError(MakeCoreBmp(1, 16)), "BMP: BitmapCoreHeader.bcBitCount invalid");
}

TEST(BmpWriter, SixteenEntryPaletteOfAnEightBitImage) {
  TPixelGraphic image;
  MakeIndexed(image, 3, 2, bc8Bit, 16);
  TMemoryStream stream;
  image.WriteDIB(stream);
  const std::vector<uint8_t>& dib = stream.Data();
  ASSERT_EQ(static_cast<int64_t>(dib.size()), 40 + 16 * 4 + image.ImageSize());
  EXPECT_EQ(dib[32], 16);  // colours used
  EXPECT_EQ(dib[14], 8);   // bit count
  EXPECT_EQ(static_cast<int64_t>(dib.size()) + 18, image.DIBSize());

  const std::vector<uint8_t> file = Save(image, "bmp");
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[10], 14 + 40 + 64);
  TPixelGraphic back;
  Load(back, file);
  EXPECT_EQ(back.PaletteCount(), 16);
  EXPECT_TRUE(SameColors(image, back));

  TMemoryStream dibStream(dib);
  TPixelGraphic fromDib;
  fromDib.ReadDIB(dibStream, false);
  EXPECT_TRUE(SameColors(image, fromDib));
}

// Colours used 0 would tell readers to expect a full table, so a full (black) table is written.
TEST(BmpWriter, PaletteImageWithoutEntriesKeepsItsPixels) {
  TPixelGraphic image;
  image.NewImage(4, 2, bc8Bit);
  image.SetPaletteCount(0);
  image.SetPixels(1, 0, 7);
  image.SetPixels(3, 1, 200);
  TPixelGraphic back;
  Load(back, Save(image, "bmp"));
  EXPECT_EQ(back.PaletteCount(), 256);
  EXPECT_EQ(back.Pixels(1, 0), 7u);
  EXPECT_EQ(back.Pixels(3, 1), 200u);
  EXPECT_EQ(back.Pixels(0, 0), 0u);
}

TEST(BmpWriter, RoundTripsEveryFormat) {
  for (TBitCount bitCount : {bc1Bit, bc4Bit, bc8Bit}) {
    TPixelGraphic image;
    MakeIndexed(image, 37, 5, bitCount);
    TPixelGraphic back;
    Load(back, Save(image, "dib"));
    EXPECT_EQ(back.BitCount(), bitCount);
    EXPECT_TRUE(SameColors(image, back));
  }
  TPixelGraphic image;
  MakeRGB(image, 33, 7);
  TMemoryStream stream;
  image.SaveToStream(stream);  // no extension: BMP
  TPixelGraphic back;
  stream.SetPosition(0);
  back.LoadFromStream(stream, "");
  EXPECT_EQ(back.BitCount(), bc24Bit);
  EXPECT_TRUE(SameColors(image, back));
}

}  // namespace
}  // namespace pg
