#include "imaging/formats/pnm.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <sstream>
#include <tuple>

#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"
#include "tests/imaging/formats/pixel_compare.h"

namespace pg {
namespace {

using testing::Bytes;
using testing::Raises;
using testing::ReadWith;
using testing::SameColors;
using testing::WriteWith;

const std::string kPrefix = "PBM, PGM, PPM: ";
constexpr TColor kBlack = RGBColor(0, 0, 0);
constexpr TColor kWhite = RGBColor(255, 255, 255);

std::unique_ptr<TPixelGraphic> Read(const std::string& text) {
  auto image = std::make_unique<TPixelGraphic>();
  ReadWith(TPPMFileFormatReader(), Bytes(text), *image);
  return image;
}

TEST(PnmReader, PlainAndRawBitmapsGiveTheSamePixels) {
  // 1 is black; plain digits may be packed or spaced, comments may sit anywhere in the header.
  const auto plainPtr = Read("P1\n# made by hand\n10 # width\n2\n1010000001\n0 1 1 1 1 1 1 1 1 0\n");
  const TPixelGraphic& plain = *plainPtr;
  std::string raw = "P4 10 2\n";
  raw += static_cast<char>(0xA0);
  raw += static_cast<char>(0x40);
  raw += static_cast<char>(0x7F);
  raw += static_cast<char>(0x80);
  const auto binaryPtr = Read(raw);
  const TPixelGraphic& binary = *binaryPtr;
  ASSERT_EQ(plain.Width(), 10);
  ASSERT_EQ(plain.Height(), 2);
  EXPECT_EQ(plain.BitCount(), bc1Bit);
  EXPECT_EQ(plain.ColorRes(), crBlackWhite);
  EXPECT_EQ(plain.Colors(0, 0), kBlack);
  EXPECT_EQ(plain.Colors(1, 0), kWhite);
  EXPECT_EQ(plain.Colors(9, 0), kBlack);
  EXPECT_EQ(plain.Colors(0, 1), kWhite);
  EXPECT_EQ(plain.Colors(8, 1), kBlack);
  EXPECT_TRUE(SameColors(plain, binary));
}

TEST(PnmReader, GraymapsScaleMaxValToEightBits) {
  const auto plainPtr = Read("P2 3 1 15 0 15 #c\n 7\n");
  const TPixelGraphic& plain = *plainPtr;
  EXPECT_EQ(plain.BitCount(), bc8Bit);
  EXPECT_EQ(plain.ColorRes(), cr256Gray);
  EXPECT_EQ(plain.Colors(0, 0), kBlack);
  EXPECT_EQ(plain.Colors(1, 0), kWhite);
  EXPECT_EQ(plain.Colors(2, 0), RGBColor(119, 119, 119));  // 7 * 255 / 15

  // Two bytes per sample, most significant first, when maxval exceeds 255.
  std::string raw = "P5\n2 1\n65535\n";
  raw += std::string("\xFF\xFF\x80\x00", 4);
  const auto widePtr = Read(raw);
  const TPixelGraphic& wide = *widePtr;
  EXPECT_EQ(wide.Colors(0, 0), kWhite);
  EXPECT_EQ(wide.Colors(1, 0), RGBColor(128, 128, 128));
}

TEST(PnmReader, PixmapsKeepRedGreenBlue) {
  const auto plainPtr = Read("P3\n2 2\n255\n255 0 0  0 255 0\n0 0 255  1 2 3\n");
  const TPixelGraphic& plain = *plainPtr;
  std::string raw = "P6 2 2 255 ";
  raw += std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\x01\x02\x03", 12);
  const auto binaryPtr = Read(raw);
  const TPixelGraphic& binary = *binaryPtr;
  EXPECT_EQ(plain.BitCount(), bc24Bit);
  EXPECT_EQ(plain.Colors(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(plain.Colors(1, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(plain.Colors(0, 1), RGBColor(0, 0, 255));
  EXPECT_EQ(plain.Colors(1, 1), RGBColor(1, 2, 3));
  EXPECT_TRUE(SameColors(plain, binary));
}

TEST(PnmReader, EachReaderRecognisesItsTwoKinds) {
  const TPBMFileFormatReader pbm;
  const TPGMFileFormatReader pgm;
  const TPPMFileFormatReader ppm;
  std::array<uint8_t, 17> header{};
  const std::vector<std::tuple<char, const TFileFormatReader*, const char*>> kinds = {
      {'1', &pbm, "Portable Bitmap"},  {'4', &pbm, "Portable Bitmap"},   {'2', &pgm, "Portable Graymap"},
      {'5', &pgm, "Portable Graymap"}, {'3', &ppm, "Portable Pixelmap"}, {'6', &ppm, "Portable Pixelmap"}};
  for (const auto& [kind, owner, description] : kinds) {
    const std::string text = std::string("P") + kind + "\n1 1\n255\n";
    std::copy(text.begin(), text.end(), header.begin());
    for (const TFileFormatReader* reader :
         {static_cast<const TFileFormatReader*>(&pbm), static_cast<const TFileFormatReader*>(&pgm),
          static_cast<const TFileFormatReader*>(&ppm)}) {
      EXPECT_EQ(reader->IsFormat(header.data()), reader == owner) << kind << " " << reader->Extension;
    }
    // Found by content whatever the name.
    TMemoryStream stream(Bytes(text));
    const TFileFormatReader* found = FindFileFormatReader(stream, "tga");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Description, description);
  }
  header[1] = '7';
  EXPECT_FALSE(TPxMFileFormatReader().IsFormat(header.data()));
}

TEST(PnmReader, BadHeadersAndShortDataRaise) {
  struct TCase {
    const char* name;
    std::string data;
    const char* part;
  };
  const std::vector<TCase> cases = {
      {"truncated raw pixels", std::string("P6 2 2 255\n") + std::string(5, 'x'), "Unexpected end of file"},
      {"truncated plain pixels", "P2 2 2 255\n1 2 3", "Unexpected end of file"},
      {"header ends early", "P5 2", "Unexpected end of file"},
      {"unknown kind", "P7 1 1 255\n", ""},
      {"zero maxval", "P5 1 1 0\n", "MaxVal"},
      {"maxval too large", "P5 1 1 70000\n", "MaxVal"},
      {"zero width", "P5 0 1 255\n", "Width = 0"},
      {"huge size without data", "P6 2000000000 2000000000 255\n", ""},
      {"letter for a number", "P2 2 x 255\n", "Height"},
      {"bad plain bit", "P1 2 1\n0 2\n", "Pixel"},
  };
  for (const TCase& c : cases) {
    TPixelGraphic image;
    EXPECT_TRUE(Raises<EPGPxMFileFormatReader>(
        [&] { ReadWith(TPGMFileFormatReader(), Bytes(c.data), image); }, kPrefix, c.part))
        << c.name;
  }
}

TEST(PnmReader, IndexOtherThanZeroIsInvalid) {
  TPixelGraphic image;
  EXPECT_TRUE(Raises<EPGPxMFileFormatReader>(
      [&] { ReadWith(TPBMFileFormatReader(), Bytes("P1 1 1 1\n"), image, 1); }, kPrefix + "Index invalid"));
  TMemoryStream stream(Bytes("P1 1 1 1\n"));
  int32_t count = 0, bits = 0, height = 0, width = 0;
  std::string colors, info, sub;
  EXPECT_TRUE(Raises<EPGPxMFileFormatReader>(
      [&] {
        TPBMFileFormatReader().GetInfo(stream, 1, count, bits, colors, height, width, info, sub,
                                       DefaultLoadOptions());
      },
      kPrefix + "Invalid value for Index"));
}

TEST(PnmReader, GetInfoReadsTheHeader) {
  TMemoryStream stream(Bytes("P6\n# c\n640 480\n255\n"));
  int32_t count = 0, bits = 0, height = 0, width = 0;
  std::string colors, info, sub;
  TPPMFileFormatReader().GetInfo(stream, 0, count, bits, colors, height, width, info, sub,
                                 DefaultLoadOptions());
  EXPECT_EQ(count, 1);
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(sub, "P6 (raw)");
}

TEST(PnmReader, AbortAfterTheFirstRowKeepsTheImageSize) {
  TPixelGraphic image;
  int starts = 0, ends = 0;
  image.OnProgressStart = [&](const void*) { ++starts; };
  image.OnProgressEnd = [&](const void*) { ++ends; };
  image.OnProgress = [&](const void*, int32_t step, int32_t max, bool& abort) {
    EXPECT_EQ(step, 0);
    EXPECT_EQ(max, 3);
    abort = true;
  };
  ReadWith(TPGMFileFormatReader(), Bytes("P2 2 3 255\n10 20\n30 40\n50 60\n"), image);
  EXPECT_EQ(image.Height(), 3);
  EXPECT_EQ(image.Colors(1, 0), RGBColor(20, 20, 20));
  EXPECT_EQ(image.Colors(0, 1), kBlack);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
}

class PnmWriter : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    saved_ = FormatOptions().PNMBinary;
    FormatOptions().PNMBinary = GetParam();
  }
  void TearDown() override { FormatOptions().PNMBinary = saved_; }

  static void CheckPlainLines(const std::vector<uint8_t>& data) {
    std::istringstream lines(std::string(data.begin(), data.end()));
    std::string line;
    while (std::getline(lines, line)) EXPECT_LE(line.size(), 70u);
  }

 private:
  bool saved_ = false;
};

TEST_P(PnmWriter, EachKindReadsBackEqual) {
  // 37 columns make plain rows wrap and raw bitmap rows end inside a byte.
  TPixelGraphic bitmap;
  bitmap.NewImage(37, 5, bc1Bit);
  bitmap.SetPaletteIdent(pBlackWhite);
  testing::FillPattern(bitmap);
  TPixelGraphic gray;
  gray.NewImage(37, 5, bc8Bit);
  gray.SetPaletteIdent(pGray256);
  testing::FillPattern(gray);
  for (int32_t x = 0; x < 37; ++x) gray.SetPixels(x, 0, static_cast<uint32_t>(x * 7));
  TPixelGraphic color;
  testing::MakeImage(color, 37, 5, bc24Bit);

  TPBMFileFormatWriter pbm;
  TPGMFileFormatWriter pgm;
  TPPMFileFormatWriter ppm;
  for (auto [writer, source] :
       {std::pair<TPXMFileFormatWriter*, TPixelGraphic*>{&pbm, &bitmap}, {&pgm, &gray}, {&ppm, &color}}) {
    const std::vector<uint8_t> data = WriteWith(*writer, *source);
    const char kind = static_cast<char>(data.at(1));
    const char expected = static_cast<char>((writer == &pbm   ? '1'
                                             : writer == &pgm ? '2'
                                                              : '3') +
                                            (GetParam() ? 3 : 0));
    EXPECT_EQ(kind, expected) << writer->Extension;
    if (!GetParam()) CheckPlainLines(data);
    TPixelGraphic back;
    ReadWith(TPPMFileFormatReader(), data, back);
    EXPECT_EQ(back.BitCount(), source->BitCount()) << writer->Extension;
    EXPECT_TRUE(SameColors(*source, back)) << writer->Extension;
  }
}

INSTANTIATE_TEST_SUITE_P(RawAndPlain, PnmWriter, ::testing::Bool());

TEST(PnmWriterTable, ResolutionsAndNames) {
  EXPECT_EQ(TPBMFileFormatWriter().CanWriteResolutions, TColorResSet{crBlackWhite});
  EXPECT_EQ(TPGMFileFormatWriter().CanWriteResolutions, TColorResSet{cr256Gray});
  EXPECT_EQ(TPPMFileFormatWriter().CanWriteResolutions, TColorResSet{cr16MColors});
  EXPECT_EQ(TPGMFileFormatWriter().ClassName(), "TPGMFileFormatWriter");
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

TEST(PnmFuzzSeeds, Write) {
  if (!testing::WritingFuzzSeeds()) GTEST_SKIP() << "set TESSEL_WRITE_FUZZ_SEEDS to write the seeds";
  const std::vector<std::pair<std::string, std::string>> seeds = {
      {"p1.pbm", "P1\n# c\n5 2\n10101\n0 1 0 1 0\n"},
      {"p2.pgm", "P2 3 2 15\n0 7 15\n# c\n1 2 3\n"},
      {"p3.ppm", "P3\n2 1\n255\n255 0 0 0 0 255\n"},
      {"p4.pbm", std::string("P4 9 2\n\xA5\x80\x5A\x00", 11)},
      {"p5.pgm", std::string("P5 2 2 65535\n\x00\x01\xFF\xFF\x80\x00\x12\x34", 21)},
      {"p6.ppm", std::string("P6 2 1 255\n\x01\x02\x03\xFA\xFB\xFC", 17)},
  };
  for (const auto& [name, text] : seeds) testing::WriteFuzzSeed("pnm", name, Bytes(text));
}

}  // namespace
}  // namespace pg
