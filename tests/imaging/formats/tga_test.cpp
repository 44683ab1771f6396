#include "imaging/formats/tga.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"
#include "tests/imaging/formats/pixel_compare.h"

namespace pg {
namespace {

using testing::Raises;
using testing::ReadWith;
using testing::SameColors;
using testing::WriteWith;

const std::string kPrefix = "TGA: ";
constexpr int32_t kWidth = 5;
constexpr int32_t kHeight = 3;

// The reference picture, top row first; every component a multiple of 8 plus its top bits
// repeated, so that 15/16-bit files hold it exactly.
TColor Expand5(uint8_t five) {
  return static_cast<uint8_t>((five << 3) | (five >> 2));
}
TColor Reference(int32_t x, int32_t y) {
  const auto r = static_cast<uint8_t>(Expand5(static_cast<uint8_t>((x * 7 + y) & 31)));
  const auto g = static_cast<uint8_t>(Expand5(static_cast<uint8_t>((y * 9) & 31)));
  const auto b = static_cast<uint8_t>(Expand5(static_cast<uint8_t>(x == y ? 31 : 2)));
  return RGBColor(r, g, b);
}
// Palette index of the reference pixel in the indexed variants.
uint8_t ReferenceIndex(int32_t x, int32_t y) {
  return static_cast<uint8_t>((x + 2 * y) % 6);
}
TColor MapColor(int32_t i) {
  return RGBColor(static_cast<uint8_t>(i * 40), static_cast<uint8_t>(255 - i * 8), 99);
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutColor(std::vector<uint8_t>& out, TColor c, int bits) {
  if (bits == 15 || bits == 16) {
    Put16(out, ((GetRValue(c) >> 3) << 10) | ((GetGValue(c) >> 3) << 5) | (GetBValue(c) >> 3));
  } else {
    out.push_back(GetBValue(c));
    out.push_back(GetGValue(c));
    out.push_back(GetRValue(c));
    if (bits == 32) out.push_back(0x80);
  }
}

struct TLayout {
  uint8_t type = 2;
  int bits = 24;
  int mapBits = 24;
  uint16_t mapFirst = 0;
  bool topDown = false;
  bool rle = false;
};

// A file of the reference picture (or indices into a 6-entry map for type 1) in `layout`'s layout.
// RLE files hold one run across each row end and raw packets elsewhere.
std::vector<uint8_t> MakeFile(const TLayout& layout) {
  std::vector<uint8_t> out;
  const bool mapped = layout.type == 1;
  out.push_back(3);  // image ID length
  out.push_back(mapped ? 1 : 0);
  out.push_back(static_cast<uint8_t>(layout.type | (layout.rle ? 8 : 0)));
  Put16(out, mapped ? layout.mapFirst : 0);
  Put16(out, mapped ? 6 : 0);
  out.push_back(static_cast<uint8_t>(mapped ? layout.mapBits : 0));
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, kWidth);
  Put16(out, kHeight);
  out.push_back(static_cast<uint8_t>(layout.bits));
  out.push_back(static_cast<uint8_t>(layout.topDown ? 0x20 : 0));
  out.insert(out.end(), {'I', 'D', '!'});
  if (mapped) {
    for (int i = 0; i < 6; ++i) PutColor(out, MapColor(i), layout.mapBits);
  }
  // Pixels in file order.
  std::vector<std::vector<uint8_t>> pixels;
  for (int32_t r = 0; r < kHeight; ++r) {
    const int32_t y = layout.topDown ? r : kHeight - 1 - r;
    for (int32_t x = 0; x < kWidth; ++x) {
      std::vector<uint8_t> p;
      if (mapped) {
        const uint32_t index = ReferenceIndex(x, y) + layout.mapFirst;
        if (layout.bits == 16) {
          Put16(p, index);
        } else {
          p.push_back(static_cast<uint8_t>(index));
        }
      } else if (layout.type == 3) {
        p.push_back(GetRValue(Reference(x, y)));
        if (layout.bits == 16) p.push_back(0xFF);
      } else {
        PutColor(p, Reference(x, y), layout.bits);
      }
      pixels.push_back(p);
    }
  }
  if (!layout.rle) {
    for (const auto& p : pixels) out.insert(out.end(), p.begin(), p.end());
    return out;
  }
  // Raw packets of the first kWidth - 1 pixels of each row, then a run of 2 spanning the row end
  // where the two pixels are equal, else raw.
  size_t i = 0;
  while (i < pixels.size()) {
    if (i + 1 < pixels.size() && pixels[i] == pixels[i + 1]) {
      out.push_back(0x81);
      out.insert(out.end(), pixels[i].begin(), pixels[i].end());
      i += 2;
    } else {
      const size_t n = std::min<size_t>(3, pixels.size() - i);
      out.push_back(static_cast<uint8_t>(n - 1));
      for (size_t k = 0; k < n; ++k) out.insert(out.end(), pixels[i + k].begin(), pixels[i + k].end());
      i += n;
    }
  }
  return out;
}

TColor Expected(const TLayout& layout, int32_t x, int32_t y) {
  if (layout.type == 1) {
    TColor c = MapColor(ReferenceIndex(x, y));
    if (layout.mapBits == 15 || layout.mapBits == 16) {
      c = RGBColor(static_cast<uint8_t>(Expand5(GetRValue(c) >> 3)),
                   static_cast<uint8_t>(Expand5(GetGValue(c) >> 3)),
                   static_cast<uint8_t>(Expand5(GetBValue(c) >> 3)));
    }
    return c;
  }
  if (layout.type == 3) {
    const uint8_t v = GetRValue(Reference(x, y));
    return RGBColor(v, v, v);
  }
  return Reference(x, y);
}

TEST(TgaReader, EveryTypeDepthMapAndOrigin) {
  std::vector<TLayout> layouts;
  for (bool rle : {false, true}) {
    for (bool topDown : {false, true}) {
      for (int bits : {15, 16, 24, 32}) layouts.push_back({2, bits, 0, 0, topDown, rle});
      for (int mapBits : {15, 16, 24, 32}) layouts.push_back({1, 8, mapBits, 2, topDown, rle});
      layouts.push_back({1, 16, 24, 300, topDown, rle});
      layouts.push_back({3, 8, 0, 0, topDown, rle});
      layouts.push_back({3, 16, 0, 0, topDown, rle});
    }
  }
  for (const TLayout& layout : layouts) {
    SCOPED_TRACE(::testing::Message()
                 << "type " << int{layout.type} << " bits " << layout.bits << " map " << layout.mapBits
                 << " rle " << layout.rle << " top-down " << layout.topDown);
    TPixelGraphic image;
    ReadWith(TTGAFileFormatReader(), MakeFile(layout), image);
    ASSERT_EQ(image.Width(), kWidth);
    ASSERT_EQ(image.Height(), kHeight);
    const bool indexed = (layout.type == 1 && layout.bits == 8) || layout.type == 3;
    EXPECT_EQ(image.BitCount(), indexed ? bc8Bit : bc24Bit);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x)
        ASSERT_EQ(image.Colors(x, y), Expected(layout, x, y)) << x << "," << y;
    }
  }
}

TEST(TgaReader, RightToLeftRowsAreMirrored) {
  for (TLayout layout : {TLayout{2, 24, 0, 0, true, false}, TLayout{1, 8, 24, 0, false, true},
                         TLayout{3, 8, 0, 0, true, true}}) {
    std::vector<uint8_t> file = MakeFile(layout);
    file[17] |= 0x10;
    TPixelGraphic image;
    ReadWith(TTGAFileFormatReader(), file, image);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x) ASSERT_EQ(image.Colors(x, y), Expected(layout, kWidth - 1 - x, y));
    }
  }
}

TEST(TgaReader, GreyIgnoresAColourMapItCarries) {
  // A map of 6 entries in front of grey pixels must not limit the grey values.
  std::vector<uint8_t> file = MakeFile({3, 8, 0, 0, true, false});
  std::vector<uint8_t> withMap(file.begin(), file.begin() + 18 + 3);
  withMap[1] = 1;
  withMap[5] = 6;
  withMap[7] = 24;
  withMap.insert(withMap.end(), 18, 0x55);
  withMap.insert(withMap.end(), file.begin() + 18 + 3, file.end());
  TPixelGraphic image;
  ReadWith(TTGAFileFormatReader(), withMap, image);
  EXPECT_EQ(image.Colors(4, 2), Expected({3, 8, 0, 0, true, false}, 4, 2));
}

TEST(TgaWriter, PaletteAndTrueColourReadBackEqual) {
  for (TBitCount bitCount : {bc8Bit, bc24Bit, bc4Bit}) {
    TPixelGraphic source;
    testing::MakeImage(source, 300, 7, bitCount);
    // A flat stretch longer than one packet.
    for (int32_t x = 0; x < 200; ++x) source.SetPixels(x, 2, source.Pixels(0, 2));
    const std::vector<uint8_t> data = WriteWith(TTGAFileFormatWriter(), source);
    EXPECT_EQ(data.at(2), bitCount == bc24Bit ? 10 : 9) << "RLE type";
    TPixelGraphic back;
    ReadWith(TTGAFileFormatReader(), data, back);
    EXPECT_EQ(back.BitCount(), bitCount == bc24Bit ? bc24Bit : bc8Bit);
    EXPECT_TRUE(SameColors(source, back)) << BitCountNum(bitCount);
  }
  EXPECT_EQ(TTGAFileFormatWriter().CanWriteResolutions, (TColorResSet{cr256Colors, cr16MColors}));
}

TEST(TgaReader, BadHeadersAndDataRaise) {
  auto withByte = [](size_t at, uint8_t value) {
    std::vector<uint8_t> data = MakeFile({});
    data[at] = value;
    return data;
  };
  std::vector<uint8_t> truncated = MakeFile({});
  truncated.resize(truncated.size() - 4);
  std::vector<uint8_t> truncatedRLE = MakeFile({2, 24, 0, 0, false, true});
  truncatedRLE.resize(truncatedRLE.size() - 2);
  std::vector<uint8_t> cut = MakeFile({});
  cut.resize(10);
  std::vector<uint8_t> huge = MakeFile({});
  huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"header cut short", cut},
      {"unknown image type", withByte(2, 4)},
      {"no image data type", withByte(2, 0)},
      {"colour-mapped without map", withByte(2, 1)},
      {"odd pixel depth", withByte(16, 7)},
      {"zero width", withByte(12, 0)},
      {"pixels cut short", truncated},
      {"run-length data cut short", truncatedRLE},
      {"huge size, little data", huge},
  };
  for (const auto& [name, data] : cases) {
    TPixelGraphic image;
    EXPECT_TRUE(
        Raises<EPGTGAFileFormatReader>([&] { ReadWith(TTGAFileFormatReader(), data, image); }, kPrefix))
        << name;
  }
  TPixelGraphic image;
  EXPECT_TRUE(Raises<EPGTGAFileFormatReader>(
      [&] { ReadWith(TTGAFileFormatReader(), MakeFile({}), image, 1); }, kPrefix + "Index invalid"));
}

TEST(TgaReader, ProgressEndsAfterAbortAndAfterFailure) {
  // Bottom-left origin: the first row in the file is the image's last.
  TPixelGraphic image;
  int starts = 0, steps = 0, ends = 0;
  image.OnProgressStart = [&](const void*) { ++starts; };
  image.OnProgressEnd = [&](const void*) { ++ends; };
  image.OnProgress = [&](const void*, int32_t step, int32_t max, bool& abort) {
    EXPECT_EQ(step, steps);
    EXPECT_EQ(max, kHeight);
    ++steps;
    abort = true;
  };
  ReadWith(TTGAFileFormatReader(), MakeFile({2, 24, 0, 0, false, true}), image);
  EXPECT_EQ(image.Height(), kHeight);
  EXPECT_EQ(image.Colors(2, kHeight - 1), Reference(2, kHeight - 1));
  EXPECT_EQ(image.Colors(2, 0), RGBColor(0, 0, 0));
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(ends, 1);

  image.OnProgress = nullptr;
  std::vector<uint8_t> cut = MakeFile({2, 24, 0, 0, false, true});
  cut.resize(cut.size() - 3);
  EXPECT_TRUE(Raises<EPGTGAFileFormatReader>([&] { ReadWith(TTGAFileFormatReader(), cut, image); },
                                             kPrefix + "Unexpected end of file"));
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(ends, 2);
}

TEST(TgaReader, RecognisedOnlyByTheExtension) {
  TMemoryStream stream(MakeFile({}));
  EXPECT_EQ(FindFileFormatReader(stream, "bmp"), nullptr);
  EXPECT_EQ(FindFileFormatReader(stream, ""), nullptr);
  const TFileFormatReader* reader = FindFileFormatReader(stream, ".TGA");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Description, "Truevision Targa");
  TPixelGraphic image;
  stream.SetPosition(0);
  image.LoadFromStream(stream, "tga");
  EXPECT_EQ(image.Width(), kWidth);
  EXPECT_EQ(image.Colors(1, 2), Reference(1, 2));
}

TEST(TgaReader, GetInfo) {
  TMemoryStream stream(MakeFile({1, 8, 24, 0, false, true}));
  int32_t count = 0, bits = 0, height = 0, width = 0;
  std::string colors, info, sub;
  TTGAFileFormatReader().GetInfo(stream, 0, count, bits, colors, height, width, info, sub,
                                 DefaultLoadOptions());
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(colors, "6");
  EXPECT_EQ(info, "RLE compressed");
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

TEST(TgaFuzzSeeds, Write) {
  if (!testing::WritingFuzzSeeds()) GTEST_SKIP() << "set TESSEL_WRITE_FUZZ_SEEDS to write the seeds";
  const std::vector<std::pair<std::string, TLayout>> seeds = {
      {"type1_map16.tga", {1, 8, 16, 2, false, false}}, {"type2_24.tga", {2, 24, 0, 0, false, false}},
      {"type2_16_top.tga", {2, 16, 0, 0, true, false}}, {"type3.tga", {3, 8, 0, 0, false, false}},
      {"type9.tga", {1, 8, 24, 0, false, true}},        {"type10_32.tga", {2, 32, 0, 0, true, true}},
      {"type11_16.tga", {3, 16, 0, 0, false, true}},
  };
  for (const auto& [name, layout] : seeds) testing::WriteFuzzSeed("tga", name, MakeFile(layout));
}

}  // namespace
}  // namespace pg
