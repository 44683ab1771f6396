#include "imaging/formats/tiff.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include "imaging/formats/image_io.h"
#include "imaging/formats/row_source.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/question.h"
#include "imaging/image/stream.h"
#include "tests/imaging/formats/pixel_compare.h"

namespace pg {
namespace {

using testing::Raises;
using testing::ReadWith;
using testing::SameColors;
using testing::WriteWith;

const std::string kPrefix = "TIFF: ";
constexpr int32_t kWidth = 21;  // partial tiles and bit rows that end inside a byte
constexpr int32_t kHeight = 18;

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path TempPath(const std::string& name) {
  return std::filesystem::path(::testing::TempDir()) / ("formats2_" + name + ".tif");
}

// One page written through libtiff: `sample(x, y, s)` gives sample s of pixel (x, y).
struct TPage {
  uint16_t photometric = PHOTOMETRIC_RGB;
  uint16_t bits = 8;
  uint16_t samples = 3;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  uint16_t extra = 0;  // EXTRASAMPLE_* of a last alpha sample, 0 for none
  uint16_t predictor = 1;
  bool tiled = false;
  int32_t width = kWidth;
  int32_t height = kHeight;
  std::function<uint32_t(int32_t, int32_t, int)> sample;
};

uint16_t PaletteValue(int i, int channel) {
  const int v = channel == 0 ? (i * 3) & 255 : channel == 1 ? 255 - i : (i * 7) & 255;
  return static_cast<uint16_t>(v * 257);
}

void WritePage(TIFF* tif, const TPage& p) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(p.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(p.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, p.planar);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
  if (p.photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
  if (p.predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, p.predictor);
  if (p.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  if (p.extra != 0) {
    const uint16_t types[] = {p.extra};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, types);
  }
  if (p.compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
  if (p.photometric == PHOTOMETRIC_PALETTE) {
    const size_t n = size_t{1} << p.bits;
    std::vector<uint16_t> r(n), g(n), b(n);
    for (size_t i = 0; i < n; ++i) {
      r[i] = PaletteValue(static_cast<int>(i), 0);
      g[i] = PaletteValue(static_cast<int>(i), 1);
      b[i] = PaletteValue(static_cast<int>(i), 2);
    }
    TIFFSetField(tif, TIFFTAG_COLORMAP, r.data(), g.data(), b.data());
  }
  const bool separate = p.planar == PLANARCONFIG_SEPARATE;
  const int perPixel = separate ? 1 : p.samples;
  // Packs samples of rows [y0, y0 + rows) and columns [x0, x0 + cols) of plane `plane`.
  auto pack = [&](int32_t x0, int32_t y0, int32_t cols, int32_t rows, int plane) {
    const size_t rowBytes = (static_cast<size_t>(cols) * perPixel * p.bits + 7) / 8;
    std::vector<uint8_t> out(rowBytes * rows, 0);
    for (int32_t r = 0; r < rows; ++r) {
      size_t bit = 0;
      for (int32_t c = 0; c < cols; ++c) {
        for (int s = 0; s < perPixel; ++s) {
          const int32_t x = x0 + c, y = y0 + r;
          const uint32_t v = (x < p.width && y < p.height) ? p.sample(x, y, separate ? plane : s) : 0;
          uint8_t* row = &out[r * rowBytes];
          if (p.bits == 16) {
            const auto v16 = static_cast<uint16_t>(v);
            std::memcpy(row + bit / 8, &v16, 2);
          } else if (p.bits == 8) {
            row[bit / 8] = static_cast<uint8_t>(v);
          } else {
            row[bit / 8] = static_cast<uint8_t>(row[bit / 8] | (v << (8 - p.bits - bit % 8)));
          }
          bit += p.bits;
        }
      }
    }
    return out;
  };
  const int planes = separate ? p.samples : 1;
  if (p.tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    for (int plane = 0; plane < planes; ++plane) {
      for (int32_t ty = 0; ty < p.height; ty += 16) {
        for (int32_t tx = 0; tx < p.width; tx += 16) {
          std::vector<uint8_t> tile = pack(tx, ty, 16, 16, plane);
          ASSERT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<uint16_t>(plane)), 0);
        }
      }
    }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.compression == COMPRESSION_JPEG ? 16 : 5);
    for (int plane = 0; plane < planes; ++plane) {
      for (int32_t y = 0; y < p.height; ++y) {
        std::vector<uint8_t> line = pack(0, y, p.width, 1, plane);
        ASSERT_GE(TIFFWriteScanline(tif, line.data(), y, static_cast<uint16_t>(plane)), 0);
      }
    }
  }
  TIFFWriteDirectory(tif);
}

std::vector<uint8_t> MakeFile(const std::vector<TPage>& pages, const std::string& name,
                              bool bigEndian = false) {
  const std::filesystem::path path = TempPath(name);
  TIFF* tif = TIFFOpen(path.c_str(), bigEndian ? "wb" : "wl");
  EXPECT_NE(tif, nullptr);
  for (const TPage& page : pages) WritePage(tif, page);
  TIFFClose(tif);
  std::vector<uint8_t> data = FileBytes(path);
  std::filesystem::remove(path);
  return data;
}

uint8_t Scale(uint32_t v, int bits) {
  return static_cast<uint8_t>(v * 255 / ((1u << bits) - 1));
}

struct TVariant {
  std::string name;
  TPage page;
  std::function<TColor(int32_t, int32_t)> expected;
  int tolerance = 0;
  TBitCount bitCount = bc24Bit;
  bool transposed = false;   // orientations 5 to 8 swap width and height
  double meanTolerance = 0;  // lossy variants: largest mean difference per component
};

uint32_t Gray(int32_t x, int32_t y, int bits) {
  return static_cast<uint32_t>(x + 2 * y + x * y) % (1u << bits);
}
uint8_t Channel(int32_t x, int32_t y, int s) {
  return static_cast<uint8_t>((x * 11 + y * 13 * (s + 1) + s * 70) & 255);
}
TColor RGBAt(int32_t x, int32_t y) {
  return RGBColor(Channel(x, y, 0), Channel(x, y, 1), Channel(x, y, 2));
}

std::vector<TVariant> Variants() {
  std::vector<TVariant> v;
  for (int bits : {1, 2, 4, 8}) {
    for (uint16_t photometric : {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_MINISWHITE}) {
      TPage p;
      p.photometric = photometric;
      p.bits = static_cast<uint16_t>(bits);
      p.samples = 1;
      p.sample = [bits](int32_t x, int32_t y, int) { return Gray(x, y, bits); };
      const bool white = photometric == PHOTOMETRIC_MINISWHITE;
      v.push_back({"grey " + std::to_string(bits) + (white ? " min-is-white" : " min-is-black"), p,
                   [bits, white](int32_t x, int32_t y) {
                     uint8_t g = Scale(Gray(x, y, bits), bits);
                     if (white) g = static_cast<uint8_t>(255 - g);
                     return RGBColor(g, g, g);
                   },
                   0,
                   bits == 1   ? bc1Bit
                   : bits <= 4 ? bc4Bit
                               : bc8Bit});
    }
    TPage p;
    p.photometric = PHOTOMETRIC_PALETTE;
    p.bits = static_cast<uint16_t>(bits);
    p.samples = 1;
    p.sample = [bits](int32_t x, int32_t y, int) { return Gray(x, y, bits); };
    v.push_back({"palette " + std::to_string(bits), p,
                 [bits](int32_t x, int32_t y) {
                   const int i = static_cast<int>(Gray(x, y, bits));
                   return RGBColor(PaletteValue(i, 0) >> 8, PaletteValue(i, 1) >> 8, PaletteValue(i, 2) >> 8);
                 },
                 0,
                 bits == 1   ? bc1Bit
                 : bits <= 4 ? bc4Bit
                             : bc8Bit});
  }
  {
    TPage p;
    p.photometric = PHOTOMETRIC_MINISBLACK;
    p.bits = 16;
    p.samples = 1;
    p.sample = [](int32_t x, int32_t y, int) { return static_cast<uint32_t>((x * 3001 + y * 997) & 0xFFFF); };
    v.push_back({"grey 16", p,
                 [](int32_t x, int32_t y) {
                   const auto g = static_cast<uint8_t>(((x * 3001 + y * 997) & 0xFFFF) >> 8);
                   return RGBColor(g, g, g);
                 },
                 0, bc8Bit});
  }
  TPage rgb;
  rgb.sample = [](int32_t x, int32_t y, int s) { return Channel(x, y, s); };
  auto rgbAt = [](int32_t x, int32_t y) { return RGBAt(x, y); };
  v.push_back({"rgb 8", rgb, rgbAt, 0, bc24Bit});
  for (uint16_t compression : {COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS}) {
    TPage p = rgb;
    p.compression = compression;
    v.push_back({"rgb 8 compression " + std::to_string(compression), p, rgbAt, 0, bc24Bit});
  }
  {
    TPage p = rgb;
    p.compression = COMPRESSION_LZW;
    p.predictor = 2;
    v.push_back({"rgb 8 lzw predictor", p, rgbAt, 0, bc24Bit});
  }
  {
    TPage p = rgb;
    p.compression = COMPRESSION_JPEG;
    TVariant t{"rgb 8 jpeg", p, rgbAt, 48, bc24Bit};
    t.meanTolerance = 4;
    v.push_back(t);
  }
  {
    TPage p = rgb;
    p.planar = PLANARCONFIG_SEPARATE;
    v.push_back({"rgb 8 planar", p, rgbAt, 0, bc24Bit});
  }
  {
    TPage p = rgb;
    p.tiled = true;
    v.push_back({"rgb 8 tiled", p, rgbAt, 0, bc24Bit});
    p.planar = PLANARCONFIG_SEPARATE;
    p.compression = COMPRESSION_ADOBE_DEFLATE;
    v.push_back({"rgb 8 tiled planar deflate", p, rgbAt, 0, bc24Bit});
  }
  {
    TPage p = rgb;
    p.bits = 16;
    p.sample = [](int32_t x, int32_t y, int s) { return Channel(x, y, s) * 257u; };
    v.push_back({"rgb 16", p, rgbAt, 0, bc24Bit});
  }
  {
    TPage p = rgb;
    p.orientation = ORIENTATION_BOTLEFT;
    v.push_back(
        {"rgb 8 bottom-left", p, [](int32_t x, int32_t y) { return RGBAt(x, kHeight - 1 - y); }, 0, bc24Bit});
    p.orientation = ORIENTATION_TOPRIGHT;
    v.push_back(
        {"rgb 8 top-right", p, [](int32_t x, int32_t y) { return RGBAt(kWidth - 1 - x, y); }, 0, bc24Bit});
  }
  {
    TPage p;
    p.photometric = PHOTOMETRIC_MINISBLACK;
    p.samples = 1;
    p.orientation = ORIENTATION_BOTLEFT;
    p.sample = [](int32_t x, int32_t y, int) { return Gray(x, y, 8); };
    v.push_back({"grey 8 bottom-left", p,
                 [](int32_t x, int32_t y) {
                   const auto g = static_cast<uint8_t>(Gray(x, kHeight - 1 - y, 8));
                   return RGBColor(g, g, g);
                 },
                 0, bc8Bit});
  }
  {
    TPage p;
    p.photometric = PHOTOMETRIC_SEPARATED;
    p.samples = 4;
    p.sample = [](int32_t x, int32_t y, int s) {
      return s == 3 ? static_cast<uint32_t>(x * 5) : Channel(x, y, s);
    };
    v.push_back({"cmyk 8", p,
                 [](int32_t x, int32_t y) {
                   const int k = 255 - x * 5;
                   auto c = [&](int s) { return static_cast<uint8_t>(k * (255 - Channel(x, y, s)) / 255); };
                   return RGBColor(c(0), c(1), c(2));
                 },
                 1, bc24Bit});
  }
  for (uint16_t extra : {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_ASSOCALPHA}) {
    TPage p = rgb;
    p.samples = 4;
    p.extra = extra;
    // Opaque, transparent and half-transparent columns; associated alpha stores premultiplied colour.
    auto alpha = [](int32_t x) { return x % 3 == 0 ? 255u : x % 3 == 1 ? 0u : 128u; };
    p.sample = [alpha, extra](int32_t x, int32_t y, int s) {
      if (s == 3) return alpha(x);
      const uint32_t c = Channel(x, y, s);
      return extra == EXTRASAMPLE_ASSOCALPHA ? (c * alpha(x) + 127) / 255 : c;
    };
    // Read over a white background.
    v.push_back({"rgba " + std::to_string(extra), p,
                 [alpha](int32_t x, int32_t y) {
                   auto c = [&](int s) {
                     return static_cast<uint8_t>(
                         (Channel(x, y, s) * alpha(x) + 255 * (255 - alpha(x)) + 127) / 255);
                   };
                   return RGBColor(c(0), c(1), c(2));
                 },
                 2, bc24Bit});
  }
  {
    TPage p = rgb;
    p.orientation = ORIENTATION_RIGHTTOP;
    TVariant t{"rgb 8 right-top", p, [](int32_t x, int32_t y) { return RGBAt(y, kHeight - 1 - x); }};
    t.transposed = true;
    v.push_back(t);
    t.page.orientation = ORIENTATION_LEFTBOT;
    t.name = "rgb 8 left-bottom";
    t.expected = [](int32_t x, int32_t y) { return RGBAt(kWidth - 1 - y, x); };
    v.push_back(t);
  }
  {
    // Smooth colours: chroma subsampling blurs sharp edges.
    TPage p = rgb;
    p.photometric = PHOTOMETRIC_YCBCR;
    p.compression = COMPRESSION_JPEG;
    p.sample = [](int32_t x, int32_t y, int s) { return static_cast<uint32_t>(40 + x * 4 + y * 3 + s * 30); };
    TVariant t{"ycbcr jpeg", p,
               [](int32_t x, int32_t y) {
                 auto c = [&](int s) { return static_cast<uint8_t>(40 + x * 4 + y * 3 + s * 30); };
                 return RGBColor(c(0), c(1), c(2));
               },
               40, bc24Bit};
    t.meanTolerance = 6;
    v.push_back(t);
  }
  for (uint16_t compression : {COMPRESSION_CCITTFAX3, COMPRESSION_CCITTFAX4}) {
    TPage p;
    p.photometric = PHOTOMETRIC_MINISWHITE;
    p.bits = 1;
    p.samples = 1;
    p.compression = compression;
    p.sample = [](int32_t x, int32_t y, int) { return Gray(x, y, 1); };
    v.push_back({"fax " + std::to_string(compression), p,
                 [](int32_t x, int32_t y) {
                   const uint8_t g = Gray(x, y, 1) ? 0 : 255;
                   return RGBColor(g, g, g);
                 },
                 0, bc1Bit});
  }
  return v;
}

TEST(TiffReader, EveryVariantGivesTheExpectedPixels) {
  TTIFFileFormatReader reader;
  for (bool bigEndian : {false, true}) {
    for (const TVariant& variant : Variants()) {
      SCOPED_TRACE(variant.name + (bigEndian ? " MM" : " II"));
      const std::vector<uint8_t> file = MakeFile({variant.page}, "variant", bigEndian);
      EXPECT_TRUE(reader.IsFormat(file.data()));
      TPixelGraphic image;
      image.NewImage(1, 1, bc24Bit);
      image.SetBackgroundValue(RGBColor(255, 255, 255));
      try {
        ReadWith(reader, file, image);
      } catch (const EPixelGraphic& e) {
        ADD_FAILURE() << e.what();
        continue;
      }
      const int32_t width = variant.transposed ? kHeight : kWidth;
      const int32_t height = variant.transposed ? kWidth : kHeight;
      ASSERT_EQ(image.Width(), width);
      ASSERT_EQ(image.Height(), height);
      EXPECT_EQ(image.BitCount(), variant.bitCount);
      // Grey files of 1, 4 and 8 bits keep a standard palette, whichever way their ramp runs.
      if (variant.name.rfind("grey 1 ", 0) == 0) {
        EXPECT_EQ(image.ColorRes(), crBlackWhite);
      }
      if (variant.name.rfind("grey 4 ", 0) == 0) {
        EXPECT_EQ(image.ColorRes(), cr16Gray);
      }
      if (variant.name.rfind("grey 8 m", 0) == 0) {
        EXPECT_EQ(image.ColorRes(), cr256Gray);
      }
      double total = 0;
      int failures = 0;
      for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
          const TColor got = image.Colors(x, y), want = variant.expected(x, y);
          for (int shift : {0, 8, 16}) {
            const int d =
                std::abs(static_cast<int>((got >> shift) & 255) - static_cast<int>((want >> shift) & 255));
            total += d;
            if (d > variant.tolerance && failures++ == 0) {
              ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got << " vs " << want;
            }
          }
        }
      }
      if (variant.meanTolerance > 0) {
        EXPECT_LE(total / (3.0 * width * height), variant.meanTolerance);
      }
    }
  }
}

// Every variant in strips stored from the top down streams its rows, which are the rows of the
// whole read (natively read layouts and those of the colour conversion alike, separate planes,
// subsampled YCbCr and a mirrored orientation included); tiles and the other orientations do not
// stream.
TEST(TiffReader, StripsFromTheTopStreamTheRowsOfTheWholeRead) {
  int streamed = 0;
  std::vector<TVariant> variants = Variants();
  // Separate planes in strips of more than a megabyte each, which stream through handles of their own.
  TVariant wide{"wide separate planes with alpha", {}, nullptr};
  wide.page.samples = 4;
  wide.page.extra = EXTRASAMPLE_ASSOCALPHA;
  wide.page.planar = PLANARCONFIG_SEPARATE;
  wide.page.width = 240000;
  wide.page.height = 12;
  wide.page.sample = [](int32_t x, int32_t y, int s) {
    return static_cast<uint32_t>(s == 3 ? 200 : (x * 7 + y * 3 + s * 50) % 200);
  };
  variants.push_back(wide);
  for (const TVariant& variant : variants) {
    SCOPED_TRACE(variant.name);
    const std::vector<uint8_t> file = MakeFile({variant.page}, "rows");
    TPixelGraphic whole;
    TMemoryStream wholeStream(file);
    whole.LoadFromStream(wholeStream, "tif");
    const std::unique_ptr<TRowSource> rows =
        TRowSource::Open(std::make_unique<TMemoryStream>(file), "tif", DefaultLoadOptions());
    const uint16_t o = variant.page.orientation;
    if (variant.page.tiled || (o != ORIENTATION_TOPLEFT && o != ORIENTATION_TOPRIGHT)) {
      EXPECT_EQ(rows, nullptr);
      continue;
    }
    if (rows == nullptr) {
      EXPECT_EQ(o, ORIENTATION_TOPRIGHT);  // only the natively read layouts leave that one whole
      continue;
    }
    ++streamed;
    TPixelGraphic band;
    rows->ShapeBand(band, 3);
    ASSERT_EQ(band.BitCount(), whole.BitCount());
    EXPECT_EQ(band.PaletteData(), whole.PaletteData());
    const size_t rowBytes =
        (static_cast<size_t>(band.BitCountNum()) * static_cast<size_t>(band.Width()) + 7) / 8;
    for (int32_t y = 0; y < rows->Height();) {
      const int32_t count = std::min(3, rows->Height() - y);
      rows->ReadRows(band, count);
      for (int32_t i = 0; i < count; ++i, ++y)
        EXPECT_EQ(0, std::memcmp(band.ScanLine(i), whole.ScanLine(y), rowBytes)) << "row " << y;
    }
    rows->Finish();
  }
  EXPECT_GT(streamed, 20);
}

TEST(TiffReader, IndexSelectsTheImageAndGetInfoCountsThem) {
  std::vector<TPage> pages;
  for (int i = 0; i < 3; ++i) {
    TPage p;
    p.width = 4 + i;
    p.height = 2;
    p.sample = [i](int32_t, int32_t, int s) { return static_cast<uint32_t>(s == 0 ? i * 100 : 0); };
    pages.push_back(p);
  }
  const std::vector<uint8_t> file = MakeFile(pages, "pages", true);
  TTIFFileFormatReader reader;
  TPixelGraphic image;
  ReadWith(reader, file, image, 2);
  EXPECT_EQ(image.Width(), 6);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(200, 0, 0));
  EXPECT_TRUE(
      Raises<EPGTIFFileFormatReader>([&] { ReadWith(reader, file, image, 3); }, kPrefix + "Index invalid"));
  EXPECT_TRUE(
      Raises<EPGTIFFileFormatReader>([&] { ReadWith(reader, file, image, -1); }, kPrefix + "Index invalid"));

  TFormatOptions& options = FormatOptions();
  const TFormatOptions saved = options;
  auto info = [&](int32_t index, int32_t& count, int32_t& width) {
    TMemoryStream stream(file);
    int32_t bits = 0, height = 0;
    std::string colors, text, sub;
    reader.GetInfo(stream, index, count, bits, colors, height, width, text, sub, DefaultLoadOptions());
  };
  int32_t count = 0, width = 0;
  info(1, count, width);
  EXPECT_EQ(count, 1);  // not counted unless asked
  EXPECT_EQ(width, 5);
  options.TIFFCountImages = true;
  info(0, count, width);
  EXPECT_EQ(count, 3);
  options.TIFFMaxImages = 2;
  info(0, count, width);
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(
      Raises<EPGTIFFileFormatReader>([&] { info(2, count, width); }, kPrefix + "Invalid value for Index"));
  options = saved;
}

// A little-endian file of one 2 x 1 grey image built by hand, with an optional tag libtiff does not know.
std::vector<uint8_t> HandMadeFile(bool unknownTag) {
  std::vector<uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  struct TEntry {
    uint16_t tag, type;
    uint32_t count, value;
  };
  std::vector<TEntry> entries = {{256, 3, 1, 2}, {257, 3, 1, 1}, {258, 3, 1, 8},
                                 {259, 3, 1, 1}, {262, 3, 1, 1}, {273, 4, 1, 0},
                                 {277, 3, 1, 1}, {278, 3, 1, 1}, {279, 4, 1, 2}};
  if (unknownTag) entries.push_back({65000, 3, 1, 7});
  const uint32_t dataOffset = 8 + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  entries[5].value = dataOffset;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(static_cast<uint32_t>(entries.size()), 2);
  for (const TEntry& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(e.count, 4);
    put(e.value, 4);
  }
  put(0, 4);
  out.push_back(10);
  out.push_back(250);
  return out;
}

TEST(TiffReader, WarningsFollowTheWarningAction) {
  const std::vector<uint8_t> file = HandMadeFile(true);
  TPixelGraphic image;
  image.SetReadWarningAction(pgwaIgnore);
  ReadWith(TTIFFileFormatReader(), file, image);
  EXPECT_EQ(image.Colors(1, 0), RGBColor(250, 250, 250));

  image.SetReadWarningAction(pgwaRaise);
  EXPECT_TRUE(Raises<EPGTIFFileFormatReader>([&] { ReadWith(TTIFFileFormatReader(), file, image); }, kPrefix,
                                             "65000"));

  std::vector<std::string> asked;
  TQuestionHandler previous =
      SetQuestionHandler([&](const std::string&, const std::string& text, TQuestionButtons) {
        asked.push_back(text);
        return TQuestionAnswer::Cancel;
      });
  image.SetReadWarningAction(pgwaOKCancelBox);
  EXPECT_TRUE(
      Raises<EPGTIFFileFormatReader>([&] { ReadWith(TTIFFileFormatReader(), file, image); }, kPrefix));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].rfind(kPrefix, 0), 0u);
  image.SetReadWarningAction(pgwaOKBox);
  ReadWith(TTIFFileFormatReader(), file, image);
  EXPECT_EQ(asked.size(), 2u) << ::testing::PrintToString(asked);
  SetQuestionHandler(previous);

  image.SetReadWarningAction(pgwaRaise);
  ReadWith(TTIFFileFormatReader(), HandMadeFile(false), image);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(10, 10, 10));
}

// libtiff's process-wide handlers belong to the program that embeds the library: reading a file
// with warnings, and one libtiff refuses, neither replaces nor calls them.
int gHostErrors = 0;
int gHostWarnings = 0;
void HostError(const char*, const char*, va_list) {
  ++gHostErrors;
}
void HostWarning(const char*, const char*, va_list) {
  ++gHostWarnings;
}

TEST(TiffReader, TheProcessWideHandlersStayTheHosts) {
  const TIFFErrorHandler previousError = TIFFSetErrorHandler(HostError);
  const TIFFErrorHandler previousWarning = TIFFSetWarningHandler(HostWarning);
  gHostErrors = gHostWarnings = 0;
  TPixelGraphic image;
  image.SetReadWarningAction(pgwaIgnore);
  ReadWith(TTIFFileFormatReader(), HandMadeFile(true), image);
  const std::vector<uint8_t> good = MakeFile({Variants()[0].page}, "host");
  const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  EXPECT_THROW(ReadWith(TTIFFileFormatReader(), cut, image), EPGTIFFileFormatReader);
  EXPECT_EQ(TIFFSetErrorHandler(previousError), &HostError);
  EXPECT_EQ(TIFFSetWarningHandler(previousWarning), &HostWarning);
  EXPECT_EQ(gHostErrors, 0);
  EXPECT_EQ(gHostWarnings, 0);
}

TEST(TiffReader, DamagedFilesRaise) {
  const std::vector<uint8_t> good = MakeFile({Variants()[0].page}, "damaged");
  std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 8);
  std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
  std::vector<uint8_t> badOffset = good;
  badOffset[4] = badOffset[5] = badOffset[6] = 0x7F;
  std::vector<uint8_t> stripCut = HandMadeFile(false);
  stripCut.pop_back();
  std::vector<uint8_t> hugeSize = HandMadeFile(false);
  hugeSize[8 + 2 + 8] = 0xFF;  // width 65535
  hugeSize[8 + 2 + 12 + 8] = 0xFF;
  hugeSize[8 + 2 + 12 + 9] = 0xFF;  // height 65535
  // 16000 x 16000 is within the pixel limit, but uncompressed pixels must be in the file.
  std::vector<uint8_t> largeSize = HandMadeFile(false);
  largeSize[8 + 2 + 8] = largeSize[8 + 2 + 12 + 8] = 0x80;
  largeSize[8 + 2 + 9] = largeSize[8 + 2 + 12 + 9] = 0x3E;
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"header only", headerOnly},
      {"first half", cut},
      {"directory offset past the end", badOffset},
      {"strip cut short", stripCut},
      {"huge size, two bytes of data", hugeSize},
      {"large size, two bytes of data", largeSize},
  };
  for (const auto& [name, data] : cases) {
    TPixelGraphic image;
    image.SetReadWarningAction(pgwaIgnore);
    EXPECT_TRUE(
        Raises<EPGTIFFileFormatReader>([&] { ReadWith(TTIFFileFormatReader(), data, image); }, kPrefix))
        << name;
    if (std::string(name).find("size") != std::string::npos) {
      EXPECT_LE(int64_t{image.Width()} * image.Height(), 4) << name << ": nothing allocated for it";
    }
  }
}

TEST(TiffReader, AbortAfterTheFirstRowKeepsTheImageSize) {
  // Grey goes the native way, CMYK through the RGBA interface.
  for (const char* name : {"grey 8 min-is-black", "cmyk 8"}) {
    TVariant variant;
    for (const TVariant& v : Variants()) {
      if (v.name == name) variant = v;
    }
    ASSERT_EQ(variant.name, name);
    SCOPED_TRACE(variant.name);
    TPixelGraphic image;
    int starts = 0, steps = 0, ends = 0;
    image.OnProgressStart = [&](const void*) { ++starts; };
    image.OnProgressEnd = [&](const void*) { ++ends; };
    image.OnProgress = [&](const void*, int32_t step, int32_t max, bool& abort) {
      EXPECT_EQ(step, 0);
      EXPECT_EQ(max, kHeight);
      ++steps;
      abort = true;
    };
    ReadWith(TTIFFileFormatReader(), MakeFile({variant.page}, "abort"), image);
    EXPECT_EQ(image.Width(), kWidth);
    EXPECT_EQ(image.Height(), kHeight);
    EXPECT_EQ(image.Colors(3, 0), variant.expected(3, 0));
    EXPECT_EQ(image.Colors(3, 1), variant.bitCount == bc24Bit ? RGBColor(0, 0, 0) : image.PaletteEntries(0));
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(ends, 1);
  }
}

// ---- Writer ---------------------------------------------------------------------------------------

struct TWriterCase {
  const char* name;
  TBitCount bitCount;
  TPaletteIdent ident;  // pUnknown: a palette of distinct colours
};

class TiffWriter : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = FormatOptions(); }
  void TearDown() override { FormatOptions() = saved_; }

 private:
  TFormatOptions saved_;
};

TEST_F(TiffWriter, EveryLayoutAndOptionReadsBackEqual) {
  const std::vector<TWriterCase> cases = {
      {"black and white", bc1Bit, pBlackWhite},
      {"2 colours", bc1Bit, pUnknown},
      {"16 greys", bc4Bit, pGray16},
      {"16 colours", bc4Bit, pUnknown},
      {"16 system colours", bc4Bit, pSys16},
      {"256 greys", bc8Bit, pGray256},
      {"256 colours", bc8Bit, pUnknown},
      {"true colour", bc24Bit, pTrueColor},
  };
  for (const TWriterCase& c : cases) {
    for (int options = 0; options < 16; ++options) {
      FormatOptions().TIFFBigEndian = options & 1;
      FormatOptions().TIFFCompression = (options & 2) ? 32773 : 1;
      FormatOptions().TIFFWhiteIsZero = options & 4;
      FormatOptions().TIFFWriteCMYK = options & 8;
      SCOPED_TRACE(::testing::Message() << c.name << " options " << options);
      TPixelGraphic source;
      testing::MakeImage(source, 37, 9, c.bitCount);
      if (c.ident != pUnknown) {
        source.SetPaletteIdent(c.ident);
        testing::FillPattern(source);
      }
      const std::vector<uint8_t> data = WriteWith(TTIFFileFormatWriter(), source);
      ASSERT_GE(data.size(), 8u);
      EXPECT_EQ(data[0], (options & 1) ? 'M' : 'I');
      TPixelGraphic back;
      ReadWith(TTIFFileFormatReader(), data, back);
      EXPECT_EQ(back.BitCount(), source.BitCount());
      EXPECT_TRUE(SameColors(source, back));

      TMemoryStream stream(data);
      int32_t count = 0, bits = 0, height = 0, width = 0;
      std::string colors, info, sub;
      TTIFFileFormatReader().GetInfo(stream, 0, count, bits, colors, height, width, info, sub,
                                     DefaultLoadOptions());
      const bool gray = c.ident == pBlackWhite || c.ident == pGray16 || c.ident == pGray256;
      const char* expected = c.bitCount == bc24Bit ? ((options & 8) ? "separated" : "RGB")
                             : gray                ? ((options & 4) ? "min-is-white" : "min-is-black")
                                                   : "palette";
      EXPECT_EQ(sub, expected);
      EXPECT_EQ(info, (options & 2) ? "PackBits" : "None");
    }
  }
}

TEST_F(TiffWriter, ResolutionComesFromTheOptions) {
  TPixelGraphic source;
  testing::MakeImage(source, 3, 2, bc24Bit);
  auto resolution = [&](float& x, float& y, uint16_t& unit) {
    const std::vector<uint8_t> data = WriteWith(TTIFFileFormatWriter(), source);
    const std::filesystem::path path = TempPath("resolution");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFClose(tif);
    std::filesystem::remove(path);
  };
  float x = 0, y = 0;
  uint16_t unit = 0;
  resolution(x, y, unit);
  EXPECT_EQ(x, 300.0f);
  EXPECT_EQ(y, 300.0f);
  EXPECT_EQ(unit, RESUNIT_INCH);
  FormatOptions().TIFFResolutionUnit = 2;
  FormatOptions().TIFFXResolutionNumerator = 236;
  FormatOptions().TIFFYResolutionNumerator = 59;
  FormatOptions().TIFFYResolutionDenominator = 2;
  resolution(x, y, unit);
  EXPECT_EQ(x, 236.0f);
  EXPECT_EQ(y, 29.5f);
  EXPECT_EQ(unit, RESUNIT_CENTIMETER);

  FormatOptions().TIFFCompression = 5;
  EXPECT_TRUE(Raises<EPGTIFFileFormatWriter>([&] { WriteWith(TTIFFileFormatWriter(), source); }, kPrefix,
                                             "TIFFCompression"));
}

TEST_F(TiffWriter, WritesAfterDataAlreadyInTheStream) {
  TPixelGraphic source;
  testing::MakeImage(source, 5, 4, bc8Bit);
  TMemoryStream stream;
  stream.WriteBuffer("prefix", 6);
  TTIFFileFormatWriter().WriteToStream(stream, source, DefaultSaveOptions());
  EXPECT_EQ(stream.Position(), stream.Size());
  stream.SetPosition(6);
  TPixelGraphic back;
  TTIFFileFormatReader().ReadFromStream(stream, back, 0, DefaultLoadOptions());
  EXPECT_TRUE(SameColors(source, back));
}

TEST_F(TiffWriter, TableEntries) {
  const TColorResSet all = {crBlackWhite, cr16Gray,    cr16SysColors, cr16Colors,
                            cr256Gray,    cr256Colors, cr16MColors};
  EXPECT_EQ(TTIFFileFormatWriter().CanWriteResolutions, all);
  EXPECT_EQ(TTIFFFileFormatWriter().CanWriteResolutions, all);
  EXPECT_FALSE(TTIFFFileFormatWriter().ShowInFilter);
  EXPECT_EQ(TTIFFFileFormatWriter().ClassName(), "TTIFFFileFormatWriter");
}

TEST_F(TiffWriter, TwoColourImageSavedThroughTheFrameworkBecomesSixteenColours) {
  TPixelGraphic source;
  testing::MakeImage(source, 9, 3, bc1Bit);
  source.SetSaveColorResWarningAction(pgwaIgnore);
  TMemoryStream stream;
  source.SaveToStream(stream, "TIFF");
  stream.SetPosition(0);
  TPixelGraphic back;
  back.LoadFromStream(stream, "");
  EXPECT_EQ(back.BitCount(), bc4Bit);
  EXPECT_TRUE(SameColors(source, back));
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

TEST(TiffFuzzSeeds, Write) {
  if (!testing::WritingFuzzSeeds()) GTEST_SKIP() << "set TESSEL_WRITE_FUZZ_SEEDS to write the seeds";
  // Small pages keep the seeds short.
  const std::vector<std::string> wanted = {
      "grey 1 min-is-white",        "palette 4", "grey 16", "rgb 8 compression 5", "rgb 8 jpeg",
      "rgb 8 tiled planar deflate", "cmyk 8",    "rgba 2",  "rgb 8 bottom-left"};
  int n = 0;
  for (TVariant variant : Variants()) {
    if (std::find(wanted.begin(), wanted.end(), variant.name) == wanted.end()) continue;
    variant.page.width = 9;
    variant.page.height = variant.page.compression == COMPRESSION_JPEG ? 16 : 5;
    testing::WriteFuzzSeed("tiff", "variant" + std::to_string(n++) + ".tif",
                           MakeFile({variant.page}, "seed"));
  }
  TPage small;
  small.width = 3;
  small.height = 2;
  small.sample = [](int32_t x, int32_t y, int s) { return static_cast<uint32_t>(x * 50 + y * 20 + s); };
  testing::WriteFuzzSeed("tiff", "pages.tif", MakeFile({small, small}, "seed", true));
  testing::WriteFuzzSeed("tiff", "unknown_tag.tif", HandMadeFile(true));
}

}  // namespace
}  // namespace pg
