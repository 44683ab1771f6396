#include "imaging/formats/pcx.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"
#include "tests/imaging/formats/pixel_compare.h"

namespace pg {
namespace {

using testing::Raises;
using testing::ReadWith;

const std::string kPrefix = "PCX: ";
constexpr int32_t kWidth = 13;  // not a multiple of 8: bit rows end inside a byte
constexpr int32_t kHeight = 4;

TColor HeaderColor(int32_t i) {
  return RGBColor(static_cast<uint8_t>(i * 16), static_cast<uint8_t>(200 - i), 77);
}
TColor TrailerColor(int32_t i) {
  return RGBColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i / 2), static_cast<uint8_t>(255 - i));
}
uint32_t IndexAt(int32_t x, int32_t y, int32_t bits) {
  return static_cast<uint32_t>((x * 5 + y * 3 + x * y) % (1 << bits));
}
TColor ColorAt(int32_t x, int32_t y) {
  return RGBColor(static_cast<uint8_t>(x * 19), static_cast<uint8_t>(y * 60 + 1),
                  static_cast<uint8_t>(0xC0 + x));
}

struct TLayout {
  uint8_t version = 5;
  uint8_t bits = 8;
  uint8_t planes = 1;
  bool encoded = true;
  bool trailer = true;
};

// Scan lines of the picture in `layout`'s plane layout, bytesPerLine even as the format asks.
std::vector<uint8_t> Lines(const TLayout& layout, uint16_t& bytesPerLine) {
  bytesPerLine = static_cast<uint16_t>(((kWidth * layout.bits + 7) / 8 + 1) & ~1);
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int p = 0; p < layout.planes; ++p) {
      std::vector<uint8_t> plane(bytesPerLine, 0);
      for (int32_t x = 0; x < kWidth; ++x) {
        if (layout.bits == 8 && layout.planes == 3) {
          const TColor c = ColorAt(x, y);
          plane[x] = p == 0 ? GetRValue(c) : p == 1 ? GetGValue(c) : GetBValue(c);
        } else if (layout.bits == 8) {
          plane[x] = static_cast<uint8_t>(IndexAt(x, y, 8));
        } else if (layout.planes > 1) {
          const uint32_t bit = (IndexAt(x, y, layout.planes) >> p) & 1;
          plane[x / 8] = static_cast<uint8_t>(plane[x / 8] | (bit << (7 - x % 8)));
        } else {
          const int perByte = 8 / layout.bits;
          const uint32_t v = IndexAt(x, y, layout.bits);
          plane[x / perByte] =
              static_cast<uint8_t>(plane[x / perByte] | (v << ((perByte - 1 - x % perByte) * layout.bits)));
        }
      }
      out.insert(out.end(), plane.begin(), plane.end());
    }
  }
  return out;
}

// Runs over the whole data, so runs may cross scan lines; bytes of 0xC0 and up always go as runs.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < data.size()) {
    size_t n = 1;
    while (i + n < data.size() && n < 63 && data[i + n] == data[i]) ++n;
    if (n > 1 || data[i] >= 0xC0) {
      out.push_back(static_cast<uint8_t>(0xC0 | n));
    }
    out.push_back(data[i]);
    i += n;
  }
  return out;
}

std::vector<uint8_t> MakeFile(const TLayout& layout) {
  uint16_t bytesPerLine = 0;
  const std::vector<uint8_t> lines = Lines(layout, bytesPerLine);
  std::vector<uint8_t> out(128, 0);
  out[0] = 0x0A;
  out[1] = layout.version;
  out[2] = layout.encoded ? 1 : 0;
  out[3] = layout.bits;
  out[4] = 2;  // xMin = 2, yMin = 0
  out[8] = static_cast<uint8_t>(2 + kWidth - 1);
  out[10] = kHeight - 1;
  for (int i = 0; i < 16; ++i) {
    out[16 + 3 * i] = GetRValue(HeaderColor(i));
    out[17 + 3 * i] = GetGValue(HeaderColor(i));
    out[18 + 3 * i] = GetBValue(HeaderColor(i));
  }
  out[65] = layout.planes;
  out[66] = static_cast<uint8_t>(bytesPerLine & 0xFF);
  out[67] = static_cast<uint8_t>(bytesPerLine >> 8);
  out[68] = 1;
  const std::vector<uint8_t> data = layout.encoded ? Encode(lines) : lines;
  out.insert(out.end(), data.begin(), data.end());
  if (layout.bits == 8 && layout.planes == 1 && layout.trailer) {
    out.push_back(0x0C);
    for (int i = 0; i < 256; ++i) {
      out.push_back(GetRValue(TrailerColor(i)));
      out.push_back(GetGValue(TrailerColor(i)));
      out.push_back(GetBValue(TrailerColor(i)));
    }
  }
  return out;
}

// The EGA colours that 16-colour files without a palette of their own use.
constexpr std::array<TColor, 16> kEGA = {
    RGBColor(0, 0, 0),          RGBColor(0, 0, 0xAA),       RGBColor(0, 0xAA, 0),
    RGBColor(0, 0xAA, 0xAA),    RGBColor(0xAA, 0, 0),       RGBColor(0xAA, 0, 0xAA),
    RGBColor(0xAA, 0x55, 0),    RGBColor(0xAA, 0xAA, 0xAA), RGBColor(0x55, 0x55, 0x55),
    RGBColor(0x55, 0x55, 0xFF), RGBColor(0x55, 0xFF, 0x55), RGBColor(0x55, 0xFF, 0xFF),
    RGBColor(0xFF, 0x55, 0x55), RGBColor(0xFF, 0x55, 0xFF), RGBColor(0xFF, 0xFF, 0x55),
    RGBColor(0xFF, 0xFF, 0xFF),
};

TColor Expected(const TLayout& layout, int32_t x, int32_t y) {
  const int bits = layout.bits * layout.planes;
  if (layout.bits == 8 && layout.planes == 3) return ColorAt(x, y);
  if (bits == 8) {
    const uint32_t i = IndexAt(x, y, 8);
    return layout.trailer ? TrailerColor(static_cast<int32_t>(i)) : RGBColor(i, i, i);
  }
  const uint32_t i = IndexAt(x, y, bits);
  if (bits == 1) return i ? RGBColor(255, 255, 255) : RGBColor(0, 0, 0);
  return layout.version == 3 ? kEGA[i] : HeaderColor(static_cast<int32_t>(i));
}

TEST(PcxReader, EveryLayoutAndEncoding) {
  std::vector<TLayout> layouts;
  for (bool encoded : {true, false}) {
    layouts.push_back({0, 1, 1, encoded, false});
    layouts.push_back({2, 1, 4, encoded, false});
    layouts.push_back({3, 1, 4, encoded, false});
    layouts.push_back({5, 1, 3, encoded, false});
    layouts.push_back({5, 2, 1, encoded, false});
    layouts.push_back({5, 4, 1, encoded, false});
    layouts.push_back({5, 8, 1, encoded, true});
    layouts.push_back({5, 8, 1, encoded, false});
    layouts.push_back({5, 8, 3, encoded, false});
  }
  for (const TLayout& layout : layouts) {
    SCOPED_TRACE(::testing::Message()
                 << "version " << int{layout.version} << " bits " << int{layout.bits} << " planes "
                 << int{layout.planes} << " encoded " << layout.encoded << " trailer " << layout.trailer);
    const std::vector<uint8_t> file = MakeFile(layout);
    TPCXFileFormatReader reader;
    std::array<uint8_t, 17> header{};
    std::copy_n(file.begin(), header.size(), header.begin());
    EXPECT_TRUE(reader.IsFormat(header.data()));
    TPixelGraphic image;
    ReadWith(reader, file, image);
    ASSERT_EQ(image.Width(), kWidth);
    ASSERT_EQ(image.Height(), kHeight);
    const int bits = layout.bits * layout.planes;
    EXPECT_EQ(image.BitCount(), bits == 1 ? bc1Bit : bits <= 4 ? bc4Bit : bits == 8 ? bc8Bit : bc24Bit);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = 0; x < kWidth; ++x)
        ASSERT_EQ(image.Colors(x, y), Expected(layout, x, y)) << x << "," << y;
    }
  }
}

TEST(PcxReader, GammaIsTheDefault) {
  const long double saved = FormatOptions().DefaultGamma;
  FormatOptions().DefaultGamma = 2.2L;
  TPixelGraphic image;
  ReadWith(TPCXFileFormatReader(), MakeFile({}), image);
  EXPECT_EQ(image.Gamma(), 2.2L);
  FormatOptions().DefaultGamma = saved;
}

TEST(PcxReader, BadHeadersAndDataRaise) {
  auto withByte = [](size_t at, uint8_t value) {
    std::vector<uint8_t> data = MakeFile({5, 8, 3, true, false});
    data[at] = value;
    return data;
  };
  std::vector<uint8_t> cut = MakeFile({});
  cut.resize(60);
  std::vector<uint8_t> truncated = MakeFile({5, 8, 3, true, false});
  truncated.resize(truncated.size() - 10);
  std::vector<uint8_t> huge = withByte(9, 0xFF);
  huge[11] = 0xFF;
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"header cut short", cut},
      {"version 1", withByte(1, 1)},
      {"unknown encoding", withByte(2, 2)},
      {"two 8-bit planes", withByte(65, 2)},
      {"bytes per line too small", withByte(66, 4)},
      {"right edge left of the left edge", withByte(8, 1)},
      {"pixels cut short", truncated},
      {"huge size, little data", huge},
  };
  for (const auto& [name, data] : cases) {
    TPixelGraphic image;
    EXPECT_TRUE(
        Raises<EPGPCXFileFormatReader>([&] { ReadWith(TPCXFileFormatReader(), data, image); }, kPrefix))
        << name;
  }
  TPixelGraphic image;
  EXPECT_TRUE(Raises<EPGPCXFileFormatReader>(
      [&] { ReadWith(TPCXFileFormatReader(), MakeFile({}), image, 1); }, kPrefix + "Index invalid"));
}

TEST(PcxReader, AbortAfterTheFirstRowKeepsTheImageSize) {
  TPixelGraphic image;
  int steps = 0, ends = 0;
  image.OnProgressEnd = [&](const void*) { ++ends; };
  image.OnProgress = [&](const void*, int32_t, int32_t max, bool& abort) {
    EXPECT_EQ(max, kHeight);
    ++steps;
    abort = true;
  };
  ReadWith(TPCXFileFormatReader(), MakeFile({5, 8, 3, true, false}), image);
  EXPECT_EQ(image.Height(), kHeight);
  EXPECT_EQ(image.Colors(4, 0), ColorAt(4, 0));
  EXPECT_EQ(image.Colors(4, 1), RGBColor(0, 0, 0));
  EXPECT_EQ(steps, 1);
  EXPECT_EQ(ends, 1);
}

TEST(PcxReader, GetInfoAndLoadThroughTheFramework) {
  TMemoryStream stream(MakeFile({5, 8, 3, true, false}));
  int32_t count = 0, bits = 0, height = 0, width = 0;
  std::string colors, info, sub;
  TPCXFileFormatReader().GetInfo(stream, 0, count, bits, colors, height, width, info, sub,
                                 DefaultLoadOptions());
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);
  EXPECT_EQ(sub, "Version 5");
  stream.SetPosition(0);
  TPixelGraphic image;
  image.LoadFromStream(stream, "tga");  // recognised by content whatever the name
  EXPECT_EQ(image.Colors(3, 2), ColorAt(3, 2));
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

TEST(PcxFuzzSeeds, Write) {
  if (!testing::WritingFuzzSeeds()) GTEST_SKIP() << "set TESSEL_WRITE_FUZZ_SEEDS to write the seeds";
  const std::vector<std::pair<std::string, TLayout>> seeds = {
      {"mono.pcx", {0, 1, 1, true, false}},   {"ega.pcx", {3, 1, 4, true, false}},
      {"cga.pcx", {5, 2, 1, true, false}},    {"nibbles.pcx", {5, 4, 1, false, false}},
      {"palette.pcx", {5, 8, 1, true, true}}, {"rgb.pcx", {5, 8, 3, true, false}},
  };
  for (const auto& [name, layout] : seeds) testing::WriteFuzzSeed("pcx", name, MakeFile(layout));
}

}  // namespace
}  // namespace pg
