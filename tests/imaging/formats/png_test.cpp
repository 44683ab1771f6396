#include "imaging/formats/png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>

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
  EXPECT_EQ(
      ErrorOf<EPGPNGFileFormatReaderWriter>([&] { Load(image, file); }),
      "PNG: Image of 20 x 20 pixels exceeds the pixel limit of 399 (MaxPixels); raise the limit to load it");
  // A side longer than the whole limit is refused by the same check, for whole and streamed reads.
  for (const auto& [width, height] : {std::pair{400, 1}, std::pair{1, 3000}}) {
    TPixelGraphic narrow;
    MakeRGB(narrow, width, height);
    const std::vector<uint8_t> narrowFile = Save(narrow, "png");
    try {
      Load(image, narrowFile);
      ADD_FAILURE() << "loaded";
    } catch (const EPGPixelLimit& e) {
      EXPECT_EQ(e.Width(), width);
      EXPECT_EQ(e.Height(), height);
      EXPECT_EQ(std::string(dynamic_cast<const std::exception&>(e).what()).rfind("PNG: Image of ", 0), 0u);
    }
    TMemoryStream stream(narrowFile);
    TPixelGraphic shape;
    TLoadOptions limited;
    limited.MaxPixels = 399;
    EXPECT_THROW(TPNGFileFormatReader().OpenRows(stream, shape, 0, limited), EPGPixelLimit);
  }
}

// ---- Reads against libpng alone -----------------------------------------------------------------
//
// Whole and row-by-row reads of a file have ISA-L inflate the image data and hand libpng stored
// blocks; from a stream that cannot seek, libpng inflates it alone. All three must give the same
// rows, and the same error for damaged data.

struct TChunk {
  std::string Type;
  std::vector<uint8_t> Data;
};

std::vector<TChunk> ChunksOf(const std::vector<uint8_t>& file) {
  std::vector<TChunk> chunks;
  for (size_t at = 8; at + 12 <= file.size();) {
    const uint32_t length = (uint32_t{file[at]} << 24) | (uint32_t{file[at + 1]} << 16) |
                            (uint32_t{file[at + 2]} << 8) | file[at + 3];
    chunks.push_back({std::string(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                  file.begin() + static_cast<std::ptrdiff_t>(at + 8)),
                      std::vector<uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                           file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length))});
    at += 12 + length;
  }
  return chunks;
}

// The file of `chunks` with correct CRCs, except that chunk number `badCrc` gets a wrong one.
std::vector<uint8_t> FileOf(const std::vector<TChunk>& chunks, int badCrc = -1) {
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (size_t i = 0; i < chunks.size(); ++i) {
    const auto put = [&file](uint32_t v) {
      for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(v >> shift));
    };
    put(static_cast<uint32_t>(chunks[i].Data.size()));
    std::vector<uint8_t> body(chunks[i].Type.begin(), chunks[i].Type.end());
    body.insert(body.end(), chunks[i].Data.begin(), chunks[i].Data.end());
    file.insert(file.end(), body.begin(), body.end());
    const auto crc = static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
    put(static_cast<int>(i) == badCrc ? crc ^ 1 : crc);
  }
  return file;
}

// The file's IDAT data joined, and the file with `data` in IDAT chunks of `chunkSize` bytes instead.
std::vector<uint8_t> IdatData(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> data;
  for (const TChunk& chunk : ChunksOf(file)) {
    if (chunk.Type == "IDAT") data.insert(data.end(), chunk.Data.begin(), chunk.Data.end());
  }
  return data;
}

std::vector<uint8_t> WithIdat(const std::vector<uint8_t>& file, const std::vector<uint8_t>& data,
                              size_t chunkSize) {
  std::vector<TChunk> chunks;
  for (const TChunk& chunk : ChunksOf(file)) {
    if (chunk.Type == "IDAT") {
      if (chunks.back().Type == "IDAT") continue;
      for (size_t at = 0; at < data.size(); at += chunkSize) {
        const size_t end = std::min(data.size(), at + chunkSize);
        chunks.push_back({"IDAT", std::vector<uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(at),
                                                       data.begin() + static_cast<std::ptrdiff_t>(end))});
      }
    } else {
      chunks.push_back(chunk);
    }
  }
  return FileOf(chunks);
}

// The zlib stream of `raw` at `level` with a window of 2^windowBits bytes.
std::vector<uint8_t> Deflated(const std::vector<uint8_t>& raw, int level, int windowBits) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(raw.size())));
  z.next_in = const_cast<Bytef*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<uint8_t> Inflated(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out(size_t{4} << 20);
  uLongf size = out.size();
  uncompress(out.data(), &size, data.data(), static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

// A stream read from start to end that cannot seek (a pipe): tells its position, nothing more.
class TForwardStream : public TStream {
 public:
  explicit TForwardStream(const std::vector<uint8_t>& data) : inner_(data) {}
  size_t Read(void* buffer, size_t count) override { return inner_.Read(buffer, count); }
  size_t Write(const void*, size_t) override { throw std::runtime_error("read only"); }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    if (offset != 0 || origin != TSeekOrigin::Current) throw std::runtime_error("cannot seek");
    return inner_.Position();
  }
  int64_t Size() override { throw std::runtime_error("size unknown"); }

 private:
  TMemoryStream inner_;
};

enum class TReadKind { Whole, RowByRow, LibpngAlone };

// The packed rows a read leaves (or "error: " and the message).
std::string ReadOutcome(const std::vector<uint8_t>& file, TReadKind kind) {
  const TPNGFileFormatReader reader;
  TMemoryStream memory(file);
  TForwardStream forward(file);
  TStream& stream = kind == TReadKind::LibpngAlone ? static_cast<TStream&>(forward) : memory;
  const bool rowByRow = kind == TReadKind::RowByRow;
  TPixelGraphic image;
  std::string rows;
  try {
    if (rowByRow) {
      auto decoder = reader.OpenRows(stream, image, 0, TLoadOptions{});
      if (decoder == nullptr) return "no row decoder";
      const auto bytes = static_cast<size_t>((int64_t{image.Width()} * image.BitCountNum() + 7) / 8);
      std::vector<uint8_t> row(static_cast<size_t>(image.BytesPerRow()));
      for (int32_t y = 0; y < decoder->Height(); ++y) {
        decoder->ReadRow(row.data());
        rows.append(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(bytes));
      }
      decoder->Finish();
    } else {
      reader.ReadFromStream(stream, image, 0, TLoadOptions{});
      const auto bytes = static_cast<size_t>((int64_t{image.Width()} * image.BitCountNum() + 7) / 8);
      for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.ScanLine(y);
        rows.append(row, row + bytes);
      }
    }
  } catch (const EPixelGraphic& e) {
    return std::string("error: ") + e.what();
  }
  return rows;
}

void ExpectSameReads(const std::vector<uint8_t>& file, const std::string& what) {
  SCOPED_TRACE(what);
  const std::string alone = ReadOutcome(file, TReadKind::LibpngAlone);
  const std::string whole = ReadOutcome(file, TReadKind::Whole);
  const std::string rows = ReadOutcome(file, TReadKind::RowByRow);
  EXPECT_EQ(whole.size(), alone.size());
  EXPECT_TRUE(whole == alone) << "whole: " << whole.substr(0, 80)
                              << "\n  libpng alone: " << alone.substr(0, 80);
  EXPECT_TRUE(rows == alone) << "rows: " << rows.substr(0, 80) << "\n  libpng alone: " << alone.substr(0, 80);
}

// Noisy samples, so that the data compresses little and every filter is chosen somewhere.
TPngSpec NoisySpec(uint32_t width, uint32_t height, int colorType, int depth, uint32_t seed) {
  TPngSpec spec;
  spec.Width = width;
  spec.Height = height;
  spec.ColorType = colorType;
  spec.BitDepth = depth;
  const int channels = colorType == PNG_COLOR_TYPE_RGB          ? 3
                       : colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                       : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                : 1;
  const size_t rowBytes = (size_t{width} * static_cast<size_t>(channels * depth) + 7) / 8;
  std::mt19937 random(seed);
  for (uint32_t y = 0; y < height; ++y) {
    std::vector<uint8_t> row(rowBytes);
    for (size_t i = 0; i < rowBytes; ++i) {
      row[i] = static_cast<uint8_t>((i * 3 + y * 5) / 7 + (random() % 24));  // gradient and noise
    }
    spec.Rows.push_back(row);
  }
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    for (int i = 0; i < (1 << depth); ++i) {
      spec.Palette.push_back(png_color{static_cast<uint8_t>(i * 13), static_cast<uint8_t>(255 - i),
                                       static_cast<uint8_t>(i * 101)});
    }
    spec.TransparentAlpha = {0, 128};
  }
  return spec;
}

TEST(PngReader, ReadsGiveTheRowsOfLibpngAlone) {
  // Every pixel format the reader makes, with data across several stored blocks and served chunks
  // (the 800 x 700 RGB rows are 1.7 MB inflated).
  const std::vector<uint8_t> big = WritePng(NoisySpec(800, 700, PNG_COLOR_TYPE_RGB, 8, 1));
  ExpectSameReads(big, "RGB 8");
  const std::vector<uint8_t> rgba = WritePng(NoisySpec(130, 90, PNG_COLOR_TYPE_RGB_ALPHA, 16, 2));
  ExpectSameReads(rgba, "RGBA 16");
  ExpectSameReads(WithIdat(rgba, IdatData(rgba), 1), "IDATs of one byte");
  ExpectSameReads(WritePng(NoisySpec(131, 40, PNG_COLOR_TYPE_GRAY_ALPHA, 8, 3)), "grey alpha 8");
  ExpectSameReads(WritePng(NoisySpec(97, 33, PNG_COLOR_TYPE_GRAY, 2, 4)), "grey 2");
  ExpectSameReads(WritePng(NoisySpec(97, 33, PNG_COLOR_TYPE_GRAY, 16, 5)), "grey 16");
  ExpectSameReads(WritePng(NoisySpec(61, 20, PNG_COLOR_TYPE_PALETTE, 4, 6)), "palette 4 with tRNS");
  ExpectSameReads(WritePng(NoisySpec(61, 20, PNG_COLOR_TYPE_PALETTE, 1, 7)), "palette 1");

  const std::vector<uint8_t> data = IdatData(big);
  const std::vector<uint8_t> raw = Inflated(data);
  ASSERT_EQ(raw.size(), size_t{700} * (1 + 800 * 3));
  ExpectSameReads(WithIdat(big, data, data.size()), "one IDAT");
  ExpectSameReads(WithIdat(big, Deflated(raw, 9, 14), 100000), "16 KiB window");
  ExpectSameReads(WithIdat(big, Deflated(raw, 0, 15), 100000), "stored blocks");

  // Zero-length IDATs among the others, and chunks before and after the image data.
  std::vector<TChunk> chunks = ChunksOf(WithIdat(big, data, 300000));
  chunks.insert(chunks.begin() + 1, TChunk{"tEXt", {'a', 0, 'b'}});
  chunks.insert(chunks.begin() + 3, TChunk{"IDAT", {}});
  chunks.insert(chunks.end() - 1, TChunk{"IDAT", {}});
  chunks.insert(chunks.end() - 1, TChunk{"tIME", {7, 234, 1, 2, 3, 4, 5}});
  ExpectSameReads(FileOf(chunks), "empty IDATs and other chunks");
  EXPECT_EQ(ReadOutcome(FileOf(chunks), TReadKind::Whole), ReadOutcome(big, TReadKind::RowByRow));
}

TEST(PngReader, ReadsOfDamagedDataFailLikeLibpngAlone) {
  // A small picture, whose data is all read before the first row is delivered, and a large one
  // damaged far in, after many rows have been delivered from ISA-L's inflate.
  for (const auto& [width, height] : {std::pair{400u, 300u}, std::pair{1500u, 700u}}) {
    SCOPED_TRACE(testing::Message() << width << " x " << height);
    const std::vector<uint8_t> file = WritePng(NoisySpec(width, height, PNG_COLOR_TYPE_RGB, 8, 8));
    const std::vector<uint8_t> data = IdatData(file);
    const std::vector<uint8_t> raw = Inflated(data);
    ASSERT_EQ(raw.size(), size_t{height} * (1 + width * 3));
    const size_t rowBytes = 1 + width * 3;
    const std::vector<uint8_t> split = WithIdat(file, data, 50000);
    std::vector<TChunk> chunks = ChunksOf(split);
    ASSERT_EQ(chunks[2].Type, "IDAT");
    const size_t idats = static_cast<size_t>(
        std::count_if(chunks.begin(), chunks.end(), [](const TChunk& c) { return c.Type == "IDAT"; }));
    const size_t late = 1 + idats * 3 / 4;  // an IDAT three quarters into the data
    ASSERT_EQ(chunks[late].Type, "IDAT");

    ExpectSameReads(FileOf(chunks, 2), "CRC error in the second IDAT");
    ExpectSameReads(FileOf(chunks, static_cast<int>(late)), "CRC error in a late IDAT");
    ExpectSameReads(FileOf(chunks, static_cast<int>(chunks.size()) - 1), "CRC error in IEND");
    std::vector<TChunk> damaged = chunks;
    damaged[2].Data[1000] ^= 0x55;
    ExpectSameReads(FileOf(damaged), "damaged deflate data");
    damaged = chunks;
    damaged[late].Data[1000] ^= 0x55;
    ExpectSameReads(FileOf(damaged), "damaged deflate data late");
    ExpectSameReads(std::vector<uint8_t>(split.begin(), split.begin() + 70000),
                    "file cut early in its image data");
    ExpectSameReads(std::vector<uint8_t>(split.begin(),
                                         split.begin() + static_cast<std::ptrdiff_t>(split.size() * 9 / 10)),
                    "file cut late in its image data");

    std::vector<uint8_t> badSum = data;
    badSum.back() ^= 1;
    ExpectSameReads(WithIdat(file, badSum, 50000), "wrong Adler-32");
    std::vector<uint8_t> extra = data;
    extra.insert(extra.end(), {1, 2, 3});
    ExpectSameReads(WithIdat(file, extra, 50000), "bytes after the stream");
    std::vector<TChunk> moreData = chunks;
    moreData.insert(moreData.end() - 1, TChunk{"IDAT", {1, 2, 3}});
    ExpectSameReads(FileOf(moreData), "an IDAT after the stream's end");
    const std::vector<uint8_t> fewerRows(raw.begin(),
                                         raw.begin() + static_cast<std::ptrdiff_t>(raw.size() / 2));
    ExpectSameReads(WithIdat(file, Deflated(fewerRows, 6, 15), 50000), "half the rows");
    std::vector<uint8_t> moreRows = raw;
    moreRows.insert(moreRows.end(), raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(rowBytes));
    ExpectSameReads(WithIdat(file, Deflated(moreRows, 6, 15), 50000), "a row too many");
    std::vector<uint8_t> badFilter = raw;
    badFilter[rowBytes] = 9;  // the second row's filter type
    ExpectSameReads(WithIdat(file, Deflated(badFilter, 6, 15), 50000), "unknown filter type");
    badFilter = raw;
    badFilter[rowBytes * (height - 2)] = 9;  // the filter type of the row before the last
    ExpectSameReads(WithIdat(file, Deflated(badFilter, 6, 15), 50000), "unknown filter type late");
    std::vector<uint8_t> dictionary = Deflated(raw, 6, 15);
    dictionary[1] = 0x20;  // FDICT set: the stream asks for a preset dictionary
    dictionary[1] = static_cast<uint8_t>(dictionary[1] + (31 - ((0x78 << 8) | dictionary[1]) % 31) % 31);
    ExpectSameReads(WithIdat(file, dictionary, 50000), "preset dictionary");
    // Far too little data for the 16000 x 16000 pixels the header claims.
    std::vector<uint8_t> header = ChunksOf(file)[0].Data;
    header[2] = 0x3E, header[3] = 0x80, header[6] = 0x3E, header[7] = 0x80;
    std::vector<TChunk> bomb = ChunksOf(split);
    bomb[0].Data = header;
    ExpectSameReads(FileOf(bomb), "too little data for the picture");
  }
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
  // Photo-like (noisy) and flat pictures come back exactly, whichever compression each is given;
  // the noisy one takes several IDAT chunks.
  TPixelGraphic noisy;
  noisy.NewImage(300, 301, bc24Bit);
  std::mt19937 random(9);
  for (int32_t y = 0; y < noisy.Height(); ++y) {
    for (int32_t x = 0; x < 3 * noisy.Width(); ++x) noisy.ScanLine(y)[x] = static_cast<uint8_t>(random());
  }
  TPixelGraphic flat;
  MakeRGB(flat, 1200, 300);
  for (int32_t y = 0; y < flat.Height(); ++y) {
    std::fill_n(flat.ScanLine(y) + 300, 1500, static_cast<uint8_t>(y / 7));  // bands of one colour
  }
  for (TPixelGraphic* image : {&noisy, &flat}) {
    const std::vector<uint8_t> file = Save(*image, "png");
    if (image == &noisy) {
      EXPECT_GT(ChunksOf(file).size(), 5u);
    }
    TPixelGraphic back;
    Load(back, file);
    EXPECT_TRUE(SameColors(*image, back));
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
