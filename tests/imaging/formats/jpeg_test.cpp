#include "imaging/formats/jpeg.h"

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdio>

#include "imaging/image/messages.h"
#include "tests/imaging/formats/format_test_util.h"

namespace pg {
namespace {

using namespace formattest;

// A JPEG of `components` channels written with libjpeg directly (CMYK when 4).
std::vector<uint8_t> MakeJpeg(int width, int height, int components) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = components == 4 ? JCS_CMYK : components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width * components), 100);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

bool HasMarker(const std::vector<uint8_t>& file, uint8_t marker) {
  for (size_t i = 0; i + 1 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == marker) return true;
  }
  return false;
}

TEST(JpegReader, CmykIsRefused) {
  TPixelGraphic image;
  EXPECT_EQ(ErrorOf<EPGJPGFileFormatReaderWriter>([&] { Load(image, MakeJpeg(8, 8, 4)); }),
            "JPG: " + MessageText(30));
}

TEST(JpegReader, GreyLoadsAsEightBitGreyAndSavesAsOneComponent) {
  TPixelGraphic image;
  Load(image, MakeJpeg(9, 5, 1));
  EXPECT_EQ(image.BitCount(), bc8Bit);
  EXPECT_EQ(image.PaletteIdent(), pGray256);
  EXPECT_EQ(image.ColorRes(), cr256Gray);
  EXPECT_EQ(image.Colors(4, 2), RGBColor(100, 100, 100));

  TScriptedQuestions questions(TQuestionAnswer::Cancel);  // no reduction may be needed
  const std::vector<uint8_t> file = Save(image, "jpg");
  EXPECT_TRUE(questions.Texts.empty());
  TPixelGraphic back;
  Load(back, file);
  EXPECT_EQ(back.BitCount(), bc8Bit);
  EXPECT_TRUE(SameColors(image, back, 1));
}

TEST(JpegWriter, RoundTripWithinASmallError) {
  TPixelGraphic image;
  MakeRGB(image, 64, 48);
  TOptionsGuard options;
  FormatOptions().JPEGQuality = 95;
  TPixelGraphic back;
  Load(back, Save(image, "jpeg"));
  EXPECT_EQ(back.BitCount(), bc24Bit);
  EXPECT_TRUE(SameColors(image, back, 12));

  // Colours are not swapped: a pure blue stays blue.
  TPixelGraphic blue;
  blue.NewImage(16, 16, bc24Bit);
  blue.SetBackgroundValue(RGBColor(0, 0, 255));
  blue.Clear();
  Load(back, Save(blue, "jpg"));
  const TColor c = back.Colors(8, 8);
  EXPECT_GT(GetBValue(c), 240);
  EXPECT_LT(GetRValue(c), 15);
}

TEST(JpegWriter, OptionsQualityProgressiveAndDct) {
  TPixelGraphic image;
  MakeRGB(image, 40, 40);
  TOptionsGuard options;
  FormatOptions().JPEGQuality = 1;
  const std::vector<uint8_t> low = Save(image, "jpg");
  FormatOptions().JPEGQuality = 100;
  const std::vector<uint8_t> high = Save(image, "jpg");
  EXPECT_LT(low.size(), high.size());
  EXPECT_TRUE(HasMarker(high, 0xC0));  // baseline
  EXPECT_FALSE(HasMarker(high, 0xC2));

  FormatOptions().JPEGProgressive = true;
  for (int32_t method : {0, 1, 2}) {
    FormatOptions().JPEGWriteDCTMethod = method;
    FormatOptions().JPEGReadDCTMethod = method;
    const std::vector<uint8_t> progressive = Save(image, "jpg");
    EXPECT_TRUE(HasMarker(progressive, 0xC2));
    TPixelGraphic back;
    Load(back, progressive);
    EXPECT_TRUE(SameColors(image, back, 12));
  }
  TPixelGraphic fast;
  fast.SetFastDecoding(true);
  Load(fast, Save(image, "jpg"));
  EXPECT_TRUE(SameColors(image, fast, 14));
}

TEST(JpegWriter, SixteenColoursBecomeThreeComponents) {
  TPixelGraphic image;
  MakeIndexed(image, 16, 16, bc4Bit);
  image.SetSaveColorResWarningAction(pgwaIgnore);
  TPixelGraphic back;
  Load(back, Save(image, "jpg"));
  EXPECT_EQ(back.BitCount(), bc24Bit);

  // The writer itself accepts only 24 bits and 256 greys.
  TJPGFileFormatWriter writer;
  TMemoryStream stream;
  EXPECT_EQ(ErrorOf<EPGJPGFileFormatReaderWriter>(
                [&] { writer.WriteToStream(stream, image, DefaultSaveOptions()); }),
            "JPG: Invalid value for BitCount");
}

TEST(JpegReader, WarningsFollowTheWarningAction) {
  TPixelGraphic source;
  MakeRGB(source, 128, 128);
  std::vector<uint8_t> file = Save(source, "jpg");
  file.resize(file.size() * 3 / 4);  // the codec warns about the premature end and fills in the rest

  TPixelGraphic image;
  {
    TScriptedQuestions questions(TQuestionAnswer::OK);
    EXPECT_NO_THROW(Load(image, file));
    ASSERT_EQ(questions.Texts.size(), 1u);
    EXPECT_EQ(questions.Captions[0], "JPG Warning");
    EXPECT_EQ(image.Width(), 128);
  }
  {
    TScriptedQuestions questions(TQuestionAnswer::Cancel);
    EXPECT_EQ(ErrorOf<EPGJPGFileFormatReaderWriter>([&] { Load(image, file); }), "JPG: " + MessageText(29));
    image.SetReadWarningAction(pgwaIgnore);
    EXPECT_NO_THROW(Load(image, file));
    image.SetReadWarningAction(pgwaRaise);
    const std::string text = ErrorOf<EPGJPGFileFormatReaderWriter>([&] { Load(image, file); });
    EXPECT_EQ(text.rfind("JPG: ", 0), 0u);
    EXPECT_GT(text.size(), 5u);
    EXPECT_EQ(questions.Texts.size(), 1u);
  }
}

TEST(JpegReader, BrokenDataFailsClearly) {
  TPixelGraphic image;
  const std::vector<std::vector<uint8_t>> bad = {
      {0xFF, 0xD8},
      {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x03},
      {0xFF, 0xD8, 0xFF, 0xD9},
  };
  for (const auto& file : bad) {
    const std::string text = ErrorOf<EPGJPGFileFormatReaderWriter>([&] { Load(image, file); });
    EXPECT_EQ(text.rfind("JPG: ", 0), 0u) << text;
  }
  // Larger than the pixel limit: refused before decoding.
  TOptionsGuard options;
  FormatOptions().MaxPixels = 100;
  EXPECT_NE(ErrorOf<EPGJPGFileFormatReaderWriter>([&] { Load(image, MakeJpeg(20, 20, 3)); }).find("limit"),
            std::string::npos);
}

TEST(JpegReader, InfoFromTheHeader) {
  TJPGFileFormatReader reader;
  TMemoryStream stream(MakeJpeg(21, 13, 1));
  int32_t count, bits, height, width;
  std::string colors, info, subFormat;
  reader.GetInfo(stream, 0, count, bits, colors, height, width, info, subFormat, DefaultLoadOptions());
  EXPECT_EQ(width, 21);
  EXPECT_EQ(height, 13);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(ErrorOf<EPGJPGFileFormatReaderWriter>([&] {
              reader.GetInfo(stream, 2, count, bits, colors, height, width, info, subFormat,
                             DefaultLoadOptions());
            }),
            "JPG: Invalid value for Index");
}

}  // namespace
}  // namespace pg
