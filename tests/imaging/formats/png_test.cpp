#include "imaging/formats/png.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <filesystem>

#include "imaging/image/gamma.h"
#include "tests/imaging/formats/format_test_util.h"
#include "tests/imaging/formats/png_test_writer.h"

namespace pg {
namespace {

using namespace formattest;

// An independent plain decode for comparison: libpng expands every file to 8-bit RGBA (no palette,
// no gamma), the test composites it over the background and applies the load-time correction.
struct TReference {
  uint32_t Width = 0, Height = 0;
  std::vector<TColor> Colors;
};

TReference ReferenceDecode(const std::vector<uint8_t>& file, TColor imageBackground) {
  struct TSource {
    const std::vector<uint8_t>* Data;
    size_t Position;
  } source{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  TReference reference;
  std::vector<uint8_t> pixels;
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error("reference decode failed");
  }
  png_set_read_fn(png, &source, [](png_structp p, png_bytep out, size_t length) {
    auto* s = static_cast<TSource*>(png_get_io_ptr(p));
    if (s->Position + length > s->Data->size()) png_error(p, "short");
    std::copy_n(s->Data->data() + s->Position, length, out);
    s->Position += length;
  });
  png_read_info(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int colorType = png_get_color_type(png, info);
  TColor background = imageBackground;
  png_color_16p bkgd = nullptr;
  if (png_get_bKGD(png, info, &bkgd) != 0) {
    auto scale = [depth](uint32_t v) {
      return depth == 16 ? static_cast<uint8_t>((v * 255 + 32895) >> 16)
                         : static_cast<uint8_t>(v * 255 / ((1u << depth) - 1));
    };
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
      png_colorp plte;
      int count;
      png_get_PLTE(png, info, &plte, &count);
      background = RGBColor(plte[bkgd->index].red, plte[bkgd->index].green, plte[bkgd->index].blue);
    } else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
      background = RGBColor(scale(bkgd->gray), scale(bkgd->gray), scale(bkgd->gray));
    } else {
      background = RGBColor(scale(bkgd->red), scale(bkgd->green), scale(bkgd->blue));
    }
  }
  double fileGamma = 0;
  const bool hasGamma = png_get_gAMA(png, info, &fileGamma) != 0 && fileGamma > 0;
  png_set_expand(png);
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  reference.Width = png_get_image_width(png, info);
  reference.Height = png_get_image_height(png, info);
  pixels.resize(size_t{4} * reference.Width * reference.Height);
  for (uint32_t y = 0; y < reference.Height; ++y)
    rows.push_back(pixels.data() + size_t{4} * reference.Width * y);
  png_read_image(png, rows.data());
  png_destroy_read_struct(&png, &info, nullptr);

  TGammaTable table;
  for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  if (hasGamma) {
    const long double ratio = (1.0L / fileGamma) / 1.8L;
    if (std::fabs(ratio - 1) > 0.05L) table = BuildGammaTable(ratio);
  }
  auto blend = [](uint32_t v, uint32_t a, uint32_t b) {
    return static_cast<uint8_t>((v * a + b * (255 - a) + 127) / 255);
  };
  for (size_t i = 0; i < pixels.size(); i += 4) {
    const uint8_t a = pixels[i + 3];
    reference.Colors.push_back(RGBColor(table[blend(pixels[i], a, GetRValue(background))],
                                        table[blend(pixels[i + 1], a, GetGValue(background))],
                                        table[blend(pixels[i + 2], a, GetBValue(background))]));
  }
  return reference;
}

TEST(PngSuite, EveryGoodFileDecodesAsTheReference) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(DataPath("pngsuite"))) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".png" || name[0] == 'x') continue;
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = ReadBytes(entry.path());
    TPixelGraphic image;
    ASSERT_NO_THROW(Load(image, file));
    const TReference reference = ReferenceDecode(file, 0);
    ASSERT_EQ(image.Width(), static_cast<int32_t>(reference.Width));
    ASSERT_EQ(image.Height(), static_cast<int32_t>(reference.Height));
    int mismatches = 0;
    for (int32_t y = 0; y < image.Height() && mismatches < 3; ++y) {
      for (int32_t x = 0; x < image.Width() && mismatches < 3; ++x) {
        const TColor expected = reference.Colors[static_cast<size_t>(y) * reference.Width + x];
        if (image.Colors(x, y) != expected) {
          ++mismatches;
          ADD_FAILURE() << "(" << x << ", " << y << "): " << std::hex << image.Colors(x, y) << " expected "
                        << expected;
        }
      }
    }
    // The pixel format follows the file: palettes and low-depth grey stay palette images.
    const char type = name[5];  // "basn3p08": colour type 3, 'p'alette, depth 8
    const int depth = std::stoi(name.substr(6, 2));
    if (type == 'p' || (type == 'g' && name[4] == '0' && depth <= 8)) {
      EXPECT_NE(image.BitCount(), bc24Bit);
    }
    ++checked;
  }
  EXPECT_GT(checked, 150);
}

TEST(PngSuite, CorruptFilesFailCleanly) {
  for (const auto& entry : std::filesystem::directory_iterator(DataPath("pngsuite"))) {
    const std::string name = entry.path().filename().string();
    if (name[0] != 'x' || entry.path().extension() != ".png") continue;
    SCOPED_TRACE(name);
    TPixelGraphic image;
    try {
      Load(image, ReadBytes(entry.path()), "png");
      ADD_FAILURE() << "loaded";
    } catch (const EPGPNGFileFormatReaderWriter& e) {
      EXPECT_EQ(std::string(e.what()).rfind("PNG: ", 0), 0u);
    } catch (const EPGUnknownFileFormat&) {
      // a broken signature is not recognised as PNG at all
    }
  }
}

TEST(PngReader, PixelFormatsOfMadeFiles) {
  TPixelGraphic image;
  TPngSpec spec;
  spec.Width = 4;

  spec.BitDepth = 2;     // grey 2 bits: a 4-bit image with 4 greys
  spec.Rows = {{0x1B}};  // 0 1 2 3
  Load(image, WritePng(spec));
  EXPECT_EQ(image.BitCount(), bc4Bit);
  EXPECT_EQ(image.PaletteCount(), 4);
  for (uint32_t x = 0; x < 4; ++x) {
    EXPECT_EQ(image.Pixels(static_cast<int32_t>(x), 0), x);
    EXPECT_EQ(image.Colors(static_cast<int32_t>(x), 0), RGBColor(85 * x, 85 * x, 85 * x));
  }

  spec.BitDepth = 16;  // grey 16 bits: 8-bit grey
  spec.Rows = {{0x00, 0x00, 0x80, 0x80, 0xFF, 0xFF, 0x12, 0x12}};
  Load(image, WritePng(spec));
  EXPECT_EQ(image.BitCount(), bc8Bit);
  EXPECT_EQ(image.ColorRes(), cr256Gray);
  EXPECT_EQ(image.Colors(1, 0), RGBColor(0x80, 0x80, 0x80));
  EXPECT_EQ(image.Colors(3, 0), RGBColor(0x12, 0x12, 0x12));

  spec.ColorType = PNG_COLOR_TYPE_RGB;  // RGB 16 bits: 24 bits, not swapped
  spec.Width = 1;
  spec.Rows = {{0xFF, 0xFF, 0x40, 0x40, 0x00, 0x00}};
  Load(image, WritePng(spec));
  EXPECT_EQ(image.BitCount(), bc24Bit);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(255, 0x40, 0));

  spec = TPngSpec();  // palette of three entries with 2-bit indices: kept as it is
  spec.Width = 3;
  spec.ColorType = PNG_COLOR_TYPE_PALETTE;
  spec.BitDepth = 2;
  spec.Palette = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
  spec.Rows = {{0x24}};  // 0 2 1
  Load(image, WritePng(spec));
  EXPECT_EQ(image.BitCount(), bc4Bit);
  EXPECT_EQ(image.PaletteCount(), 3);
  EXPECT_EQ(image.Colors(1, 0), RGBColor(70, 80, 90));
  EXPECT_EQ(image.Colors(2, 0), RGBColor(40, 50, 60));
}

TEST(PngReader, AlphaOverTheFileOrTheImageBackground) {
  TPngSpec spec;
  spec.Width = 3;
  spec.ColorType = PNG_COLOR_TYPE_RGB_ALPHA;
  spec.Rows = {{200, 100, 0, 255, 200, 100, 0, 0, 200, 100, 0, 128}};
  spec.HasBackground = true;
  spec.Background.red = 0;
  spec.Background.green = 0;
  spec.Background.blue = 255;
  const std::vector<uint8_t> file = WritePng(spec);

  TPixelGraphic image;
  Load(image, file);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(200, 100, 0));
  EXPECT_EQ(image.Colors(1, 0), RGBColor(0, 0, 255));
  EXPECT_EQ(image.Colors(2, 0), RGBColor(100, 50, 127));

  TOptionsGuard options;
  FormatOptions().PNGUseFileBackground = false;
  image.NewImage(0, 0, bc24Bit);
  image.SetBackgroundValue(RGBColor(255, 255, 255));
  Load(image, file);
  EXPECT_EQ(image.Colors(1, 0), RGBColor(255, 255, 255));

  // Grey with alpha over a grey background stays a grey image; a transparent palette entry
  // takes the background colour, leaving the palette in place.
  spec = TPngSpec();
  spec.Width = 2;
  spec.ColorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  spec.Rows = {{50, 255, 50, 0}};
  image.SetBackgroundValue(0);
  Load(image, WritePng(spec));
  EXPECT_EQ(image.BitCount(), bc8Bit);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(50, 50, 50));
  EXPECT_EQ(image.Colors(1, 0), 0u);

  spec = TPngSpec();
  spec.Width = 2;
  spec.ColorType = PNG_COLOR_TYPE_PALETTE;
  spec.Palette = {{1, 2, 3}, {4, 5, 6}};
  spec.TransparentAlpha = {0};
  spec.Rows = {{0, 1}};
  image.SetBackgroundValue(RGBColor(9, 9, 9));
  Load(image, WritePng(spec));
  EXPECT_EQ(image.BitCount(), bc8Bit);
  EXPECT_EQ(image.PaletteCount(), 2);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(9, 9, 9));
  EXPECT_EQ(image.Colors(1, 0), RGBColor(4, 5, 6));
}

TEST(PngReader, InterlacedEqualsPlain) {
  TPngSpec spec;
  spec.Width = 11;
  spec.Height = 9;
  spec.ColorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  for (uint32_t y = 0; y < spec.Height; ++y) {
    std::vector<uint8_t> row;
    for (uint32_t x = 0; x < spec.Width; ++x) {
      row.push_back(static_cast<uint8_t>(x * 20 + y));
      row.push_back(static_cast<uint8_t>(255 - y * 25));
    }
    spec.Rows.push_back(row);
  }
  TPixelGraphic plain, interlaced;
  Load(plain, WritePng(spec));
  spec.Interlaced = true;
  Load(interlaced, WritePng(spec));
  EXPECT_TRUE(SameColors(plain, interlaced));
}

// Interlaced files report rows of the image as every reader does (Step = the row just done, Max =
// the height), however many passes they take, both when libpng fills the rows and when the reader
// places each pass itself (grey with alpha).
TEST(PngReader, InterlacedProgressCountsRowsOfTheImage) {
  for (int colorType : {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA}) {
    SCOPED_TRACE(colorType);
    TPngSpec spec;
    spec.Width = 13;
    spec.Height = 21;
    spec.ColorType = colorType;
    spec.Interlaced = true;
    for (uint32_t y = 0; y < spec.Height; ++y) {
      std::vector<uint8_t> row;
      for (uint32_t x = 0; x < spec.Width; ++x) {
        row.push_back(static_cast<uint8_t>(x * 9 + y));
        if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) row.push_back(200);
      }
      spec.Rows.push_back(row);
    }
    TPixelGraphic image;
    std::vector<int32_t> steps;
    image.OnProgress = [&](const void*, int32_t step, int32_t max, bool&) {
      EXPECT_EQ(max, 21);
      steps.push_back(step);
    };
    Load(image, WritePng(spec));
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.front(), 0);
    EXPECT_EQ(steps.back(), 20);
  }
}

TEST(PngReader, HostileFiles) {
  TPixelGraphic source;
  MakeRGB(source, 20, 20);
  const std::vector<uint8_t> file = Save(source, "png");
  TPixelGraphic image;
  for (size_t cut : {9u, 20u, 40u, static_cast<unsigned>(file.size() - 20)}) {
    std::vector<uint8_t> shortFile(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
    const std::string text = ErrorOf<EPGPNGFileFormatReaderWriter>([&] { Load(image, shortFile); });
    EXPECT_EQ(text.rfind("PNG: ", 0), 0u) << cut << ": " << text;
  }
  std::vector<uint8_t> shortFile(file.begin(), file.begin() + 30);
  EXPECT_EQ(ErrorOf<EPGPNGFileFormatReaderWriter>([&] { Load(image, shortFile); }),
            "PNG: Unexpected end of file");

  TOptionsGuard options;
  FormatOptions().MaxPixels = 399;
  EXPECT_NE(ErrorOf<EPGPNGFileFormatReaderWriter>([&] { Load(image, file); }), "");
}

TEST(PngWriter, EveryResolutionRoundTripsWithoutGammaChunk) {
  TPixelGraphic rgb;
  MakeRGB(rgb, 23, 9);
  for (TColorRes res :
       {crBlackWhite, cr2Colors, cr16Gray, cr16SysColors, cr16Colors, cr256Gray, cr256Colors, cr16MColors}) {
    SCOPED_TRACE(static_cast<int>(res));
    TPixelGraphic image;
    ConvertToColorRes(rgb, res, image);
    const std::vector<uint8_t> file = Save(image, "png");
    const std::string text(file.begin(), file.end());
    EXPECT_EQ(text.find("gAMA"), std::string::npos);
    TPixelGraphic back;
    Load(back, file);
    EXPECT_EQ(back.BitCount(), image.BitCount());
    EXPECT_EQ(back.ColorRes(), image.ColorRes());
    EXPECT_TRUE(SameColors(image, back));
  }
  // A palette shorter than the indices in use is completed, so the file stays readable.
  TPixelGraphic partial;
  MakeIndexed(partial, 5, 5, bc8Bit, 3);
  partial.SetPaletteCount(2);
  TPixelGraphic back;
  Load(back, Save(partial, "png"));
  EXPECT_EQ(back.Colors(2, 0), 0u);
}

}  // namespace
}  // namespace pg
