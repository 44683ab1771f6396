// Files that claim far more than they hold: each is refused, or read at a cost in line with the data
// it really has; the same kinds of picture made honestly still load. Time and memory are asserted
// loosely, with room for sanitizer builds; bench/hostile_files_bench.cpp measures them.
#include "tests/imaging/formats/hostile_files.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/formats/bmp.h"
#include "imaging/formats/jpeg.h"
#include "imaging/formats/png.h"
#include "imaging/formats/tiff.h"
#include "tests/imaging/formats/format_test_util.h"
#include "tests/imaging/formats/pixel_compare.h"

namespace pg {
namespace {

using namespace formattest;
using hostile::TBytes;
using hostile::TTiffKind;

constexpr int64_t kRaisedLimit = int64_t{1} << 31;
constexpr int64_t kMiB = 1024 * 1024;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif
// The address sanitizer keeps a shadow byte for every 8 bytes allocated, touched as it allocates.
constexpr int64_t ShadowOf(int64_t bytes) {
  return kAddressSanitizer ? bytes / 8 : 0;
}

// Wall time and peak resident memory of the process since construction. The peak is reset through
// /proc/self/clear_refs; where that is not allowed, Measurable() is false and only time counts.
class TCost {
 public:
  TCost() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    measurable_ = clear.good();
    start_ = std::chrono::steady_clock::now();
    before_ = Status("VmRSS:");
    measurable_ = measurable_ && before_ > 0 && Status("VmHWM:") <= before_ + 4 * 1024;
  }
  bool Measurable() const { return measurable_; }
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }
  int64_t PeakGrowth() const { return (Status("VmHWM:") - before_) * 1024; }

 private:
  static int64_t Status(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind(key, 0) == 0) return std::stoll(line.substr(key.size()));
    }
    return 0;
  }
  bool measurable_ = false;
  std::chrono::steady_clock::time_point start_;
  int64_t before_ = 0;
};

// Loose bounds on what a read cost: wall time, and the growth of the peak resident memory.
void ExpectCheap(const TCost& cost, double seconds, int64_t bytes) {
  EXPECT_LT(cost.Seconds(), seconds);
  if (cost.Measurable()) {
    EXPECT_LT(cost.PeakGrowth(), bytes) << "peak memory growth";
  }
}

// Reads `file` with `reader` under a pixel limit, warnings ignored.
void ReadUnder(const TFileFormatReader& reader, const TBytes& file, TPixelGraphic& image, int64_t maxPixels,
               TPGWarningAction warnings = pgwaIgnore) {
  TOptionsGuard options;
  FormatOptions().MaxPixels = maxPixels;
  image.SetReadWarningAction(warnings);
  TMemoryStream stream(file);
  reader.ReadFromStream(stream, image, 0, DefaultLoadOptions());
}

// Rows of two 24-bit or 8-bit images byte for byte.
::testing::AssertionResult SameRows(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount())
    return ::testing::AssertionFailure() << "different sizes or formats";
  const size_t bytes = static_cast<size_t>(a.Width()) * (a.BitCount() == bc24Bit ? 3 : 1);
  for (int32_t y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0)
      return ::testing::AssertionFailure() << "row " << y;
  }
  return ::testing::AssertionSuccess();
}

// ---- The reported files under the default policy ----------------------------------------------

struct THostileCase {
  const char* Name;
  std::function<TBytes()> Make;
  const char* Extension;
  bool OverPixelLimit;  // refused by the pixel limit; otherwise by what the data can hold
};

// Each file of the report, made here at its reported size: refused by the default policy within
// seconds and well within 1 GiB, with a message that says what stopped it.
TEST(HostileFiles, EveryReportedFileIsRefusedCheaplyUnderTheDefaultLimit) {
  const std::vector<THostileCase> cases = {
      {"TIFF CMYK 32000 x 32000, one tiny Deflate strip",
       [] { return hostile::TiffTinyStrip(TTiffKind::CMYK, 32000, 32000); }, "tif", true},
      {"TIFF YCbCr 32000 x 32000, one tiny Deflate strip",
       [] { return hostile::TiffTinyStrip(TTiffKind::YCbCr, 32000, 32000); }, "tif", true},
      {"progressive JPEG 32000 x 32000, 499 scans", [] { return hostile::JpegManyScans(32000, 32000, 499); },
       "jpg", true},
      {"progressive JPEG 16000 x 16000, 499 scans", [] { return hostile::JpegManyScans(16000, 16000, 499); },
       "jpg", false},
      {"baseline JPEG 30000 x 30000 cut after 300 bytes",
       [] { return hostile::JpegTruncatedBaseline(30000, 30000, 300); }, "jpg", true},
      {"PNG Deflate bomb 20000 x 20000", [] { return hostile::PngDeflateBomb(20000, 20000); }, "png", true},
      {"PNG Deflate bomb 30000 x 30000", [] { return hostile::PngDeflateBomb(30000, 30000); }, "png", true},
      {"TIFF Deflate bomb 20000 x 20000",
       [] { return hostile::TiffDeflateBomb(TTiffKind::RGB, 20000, 20000); }, "tif", true},
      {"TIFF Deflate bomb 30000 x 30000",
       [] { return hostile::TiffDeflateBomb(TTiffKind::RGB, 30000, 30000); }, "tif", true},
      {"RLE8 BMP 32000 x 32000 of only its end code", [] { return hostile::BmpRle8EndOnly(32000, 32000); },
       "bmp", true},
      {"RLE TGA of 16 MB, 32768 x 32768", [] { return hostile::TgaRleGrey(32768, 32768); }, "tga", true},
  };
  ASSERT_EQ(FormatOptions().MaxPixels, kDefaultMaxPixels);
  for (const THostileCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TBytes file = c.Make();
    TCost cost;
    TPixelGraphic image;
    image.SetReadWarningAction(pgwaIgnore);
    TMemoryStream stream(file);
    try {
      image.LoadFromStream(stream, c.Extension);
      ADD_FAILURE() << "loaded";
    } catch (const EPGPixelLimit& e) {
      EXPECT_TRUE(c.OverPixelLimit);
      const std::string text = dynamic_cast<const EPixelGraphic&>(e).what();
      EXPECT_NE(text.find("exceeds the pixel limit of 268,435,456 (MaxPixels); raise the limit"),
                std::string::npos)
          << text;
    } catch (const EPixelGraphic& e) {
      EXPECT_FALSE(c.OverPixelLimit) << e.what();
      EXPECT_NE(std::string(e.what()).find("truncated or damaged"), std::string::npos) << e.what();
    }
    ExpectCheap(cost, 20, 256 * kMiB);
  }
}

// A picture of the same kind just above the default limit, every block coded: refused by default,
// loaded once the limit is raised.
TEST(HostileFiles, AnHonestPictureAboveTheDefaultLimitLoadsWhenItIsRaised) {
  const TBytes file = hostile::JpegGreyBaseline(16500, 16500, 1);
  TPixelGraphic image;
  EXPECT_THROW(ReadUnder(TJPGFileFormatReader(), file, image, kDefaultMaxPixels), EPGPixelLimit);
  ReadUnder(TJPGFileFormatReader(), file, image, int64_t{300} << 20, pgwaRaise);
  EXPECT_EQ(image.Width(), 16500);
  EXPECT_EQ(image.Colors(16499, 16499), RGBColor(128, 128, 128));
}

// ---- TIFF -----------------------------------------------------------------------------------------

// How the pixel data of a test TIFF is divided: strips of `RowsPerStrip` rows, or square tiles.
struct TLayout {
  uint32_t RowsPerStrip = 0;
  uint32_t TileSide = 0;
};

// A TIFF written through libtiff from raw strips or tiles: `plane(s)` gives the decoded bytes of
// sample plane s (the whole picture; one plane for contiguous data).
TBytes WriteTiff(const std::function<void(TIFF*)>& tags, uint32_t height, TLayout layout, int planes,
                 const std::function<std::vector<uint8_t>(int)>& plane) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("tessel_hostile_" + std::to_string(reinterpret_cast<uintptr_t>(&tags)) + ".tif");
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  tags(tif);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1);
  if (layout.TileSide != 0) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, layout.TileSide);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, layout.TileSide);
    uint32_t width = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    const uint32_t side = layout.TileSide;
    for (int p = 0; p < planes; ++p) {
      const std::vector<uint8_t> data = plane(p);
      const size_t pixelBytes = data.size() / (size_t{width} * height);
      std::vector<uint8_t> tile(size_t{side} * side * pixelBytes);
      for (uint32_t ty = 0; ty < height; ty += side) {
        for (uint32_t tx = 0; tx < width; tx += side) {
          std::fill(tile.begin(), tile.end(), 0);
          for (uint32_t y = ty; y < std::min(height, ty + side); ++y) {
            const size_t bytes = (std::min(width, tx + side) - tx) * pixelBytes;
            std::copy_n(&data[(size_t{y} * width + tx) * pixelBytes], bytes,
                        &tile[(y - ty) * side * pixelBytes]);
          }
          EXPECT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<uint16_t>(p)), 0);
        }
      }
    }
    TIFFClose(tif);
    TBytes bytes(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary)
        .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::filesystem::remove(path);
    return bytes;
  }
  const uint32_t rowsPerStrip = layout.RowsPerStrip;
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  const uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
  const tmsize_t fullStrip = TIFFVStripSize(tif, rowsPerStrip);
  for (int p = 0; p < planes; ++p) {
    std::vector<uint8_t> data = plane(p);
    for (uint32_t s = 0; s < strips; ++s) {
      const uint32_t rows = std::min(rowsPerStrip, height - s * rowsPerStrip);
      EXPECT_GE(
          TIFFWriteEncodedStrip(tif, p * strips + s, data.data() + s * fullStrip, TIFFVStripSize(tif, rows)),
          0);
    }
  }
  TIFFClose(tif);
  TBytes bytes(std::filesystem::file_size(path));
  std::ifstream(path, std::ios::binary)
      .read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  std::filesystem::remove(path);
  return bytes;
}

uint8_t Pattern(uint32_t x, uint32_t y, int s) {
  return static_cast<uint8_t>((x * (3 + s) + y * (5 + 2 * s) + (x ^ y) / 7) & 0xFF);
}

// The same picture in strips of 16 rows, decoded whole, and in one strip larger than the reader
// decodes at once, streamed row by row; with `tiles` also in tiles of 64 and in one tile that
// covers it all, converted a band at a time: the pixels must not differ.
void ExpectLayoutsReadAlike(const std::string& name, const std::function<void(TIFF*)>& tags, uint32_t height,
                            int planes, const std::function<std::vector<uint8_t>(int)>& plane, bool tiles) {
  SCOPED_TRACE(name);
  TPixelGraphic small;
  ReadUnder(TTIFFileFormatReader(), WriteTiff(tags, height, {16, 0}, planes, plane), small, kRaisedLimit);
  EXPECT_NE(small.Colors(1, 1), small.Colors(2, 3));  // a picture, not a blank
  std::vector<TLayout> others = {{height, 0}};
  if (tiles)
    others.insert(others.end(), {{0, 64}, {0, (std::max(small.Width(), small.Height()) + 15) / 16 * 16u}});
  for (const TLayout& layout : others) {
    SCOPED_TRACE(::testing::Message()
                 << "rows per strip " << layout.RowsPerStrip << ", tile " << layout.TileSide);
    TPixelGraphic other;
    ReadUnder(TTIFFileFormatReader(), WriteTiff(tags, height, layout, planes, plane), other, kRaisedLimit);
    EXPECT_TRUE(SameRows(small, other));
  }
}

TEST(HostileTiff, OneLargeStripOrTileReadsLikeManySmallOnes) {
  const uint32_t width = 1100, height = 1000;  // strips above the size decoded whole
  auto common = [=](TIFF* tif, uint16_t photometric, uint16_t samples, uint16_t planar) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, planar);
  };
  auto interleaved = [=](int samples) {
    std::vector<uint8_t> data(size_t{width} * height * samples);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        for (int s = 0; s < samples; ++s) data[(size_t{y} * width + x) * samples + s] = Pattern(x, y, s);
    return data;
  };
  ExpectLayoutsReadAlike(
      "CMYK", [&](TIFF* tif) { common(tif, PHOTOMETRIC_SEPARATED, 4, PLANARCONFIG_CONTIG); }, height, 1,
      [&](int) { return interleaved(4); }, true);

  auto planar = [=](int s) {
    std::vector<uint8_t> data(size_t{width} * height);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x) data[size_t{y} * width + x] = Pattern(x, y, s);
    return data;
  };
  // Separate planes of red, green, blue and unassociated alpha, each streamed through a handle of its own.
  ExpectLayoutsReadAlike(
      "RGBA planes",
      [&](TIFF* tif) {
        common(tif, PHOTOMETRIC_RGB, 4, PLANARCONFIG_SEPARATE);
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
      },
      height, 4, planar, true);
  {
    // CMYK in separate planes, black the fourth, reads as the same samples interleaved.
    TPixelGraphic interleavedImage, planarImage;
    ReadUnder(TTIFFileFormatReader(),
              WriteTiff([&](TIFF* tif) { common(tif, PHOTOMETRIC_SEPARATED, 4, PLANARCONFIG_CONTIG); },
                        height, {16, 0}, 1, [&](int) { return interleaved(4); }),
              interleavedImage, kRaisedLimit);
    ReadUnder(TTIFFileFormatReader(),
              WriteTiff([&](TIFF* tif) { common(tif, PHOTOMETRIC_SEPARATED, 4, PLANARCONFIG_SEPARATE); },
                        height, {height, 0}, 4, planar),
              planarImage, kRaisedLimit);
    EXPECT_TRUE(SameRows(interleavedImage, planarImage)) << "CMYK planes";
  }

  // YCbCr 4:2:0 packs blocks of 2 x 2 luma and one Cb, Cr; an odd height ends on half a block.
  for (const uint32_t rows : {1000u, 1001u}) {
    const uint32_t wide = 1100;
    const uint32_t blocksAcross = wide / 2, blocksDown = (rows + 1) / 2;
    ExpectLayoutsReadAlike(
        "YCbCr " + std::to_string(rows) + " rows",
        [&](TIFF* tif) {
          TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, wide);
          TIFFSetField(tif, TIFFTAG_IMAGELENGTH, rows);
          TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
          TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
          TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
          TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
          TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
        },
        rows, 1,
        [&](int) {
          // Laid out by rows of blocks, which the strips divide.
          std::vector<uint8_t> data(size_t{blocksAcross} * blocksDown * 6);
          for (uint32_t by = 0; by < blocksDown; ++by) {
            for (uint32_t bx = 0; bx < blocksAcross; ++bx) {
              uint8_t* b = &data[(size_t{by} * blocksAcross + bx) * 6];
              for (int i = 0; i < 4; ++i) b[i] = Pattern(2 * bx + i % 2, 2 * by + i / 2, 0);
              b[4] = static_cast<uint8_t>(96 + (bx + by) % 64);
              b[5] = static_cast<uint8_t>(160 - (bx * 3 + by) % 64);
            }
          }
          return data;
        },
        false);
  }
}

TEST(HostileTiff, AStripThatEndsAfterAFewBytesFailsAtOnce) {
  // An odd number of rows ends the YCbCr strip on half a block, which is decoded whole.
  for (const auto& [kind, height] : {std::pair{TTiffKind::CMYK, 32000}, std::pair{TTiffKind::YCbCr, 32000},
                                     std::pair{TTiffKind::YCbCr, 32001}}) {
    SCOPED_TRACE((kind == TTiffKind::CMYK ? "CMYK " : "YCbCr ") + std::to_string(height));
    const TBytes file = hostile::TiffTinyStrip(kind, 32000, static_cast<uint32_t>(height));
    ASSERT_LT(file.size(), 200u);
    TCost cost;
    TPixelGraphic image;
    const std::string error = ErrorOf<EPGTIFFileFormatReader>(
        [&] { ReadUnder(TTIFFileFormatReader(), file, image, kRaisedLimit); });
    EXPECT_EQ(error.rfind("TIFF: ", 0), 0u) << error;
    ExpectCheap(cost, 20, 256 * kMiB + ShadowOf(int64_t{32000} * height * 3));
  }
}

TEST(HostileTiff, DamagedOrOversizedDataOfAConvertedLayoutIsAnError) {
  // CMYK goes through the colour conversion, whose damaged strips were once passed over in silence.
  std::vector<uint8_t> zeros(64 * 64 * 4, 0);
  TBytes strip(compressBound(zeros.size()));
  uLongf size = strip.size();
  compress2(strip.data(), &size, zeros.data(), zeros.size(), 9);
  strip.resize(size / 2);
  // A tile a billion pixels wide over a picture of 64 x 64.
  const TBytes wideTile = hostile::TiffFile({{256, 4, {64}},
                                             {257, 4, {64}},
                                             {258, 3, {8, 8, 8, 8}},
                                             {259, 3, {8}},
                                             {262, 3, {5}},
                                             {277, 3, {4}},
                                             {284, 3, {1}},
                                             {322, 4, {1u << 30}},
                                             {323, 4, {16}},
                                             {324, 4, {0}},
                                             {325, 4, {0}}},
                                            strip);
  for (const TBytes& file : {hostile::TiffDeflateStrip(TTiffKind::CMYK, 64, 64, strip), wideTile}) {
    TPixelGraphic image;
    const std::string error = ErrorOf<EPGTIFFileFormatReader>(
        [&] { ReadUnder(TTIFFileFormatReader(), file, image, kRaisedLimit); });
    EXPECT_EQ(error.rfind("TIFF: ", 0), 0u) << error;
  }
}

// ---- JPEG -----------------------------------------------------------------------------------------

TEST(HostileJpeg, ScansOverAPictureTheDataCannotFillAreRefusedBeforeDecoding) {
  // 499 scans of one byte each over 16000 x 16000 pixels, within the pixel limit.
  const TBytes file = hostile::JpegManyScans(16000, 16000, 499);
  ASSERT_LT(file.size(), 8000u);
  TCost cost;
  TPixelGraphic image;
  const std::string error = ErrorOf<EPGJPGFileFormatReaderWriter>(
      [&] { ReadUnder(TJPGFileFormatReader(), file, image, kRaisedLimit); });
  EXPECT_NE(error.find("JPG: the 16000 x 16000 picture"), std::string::npos) << error;
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
  ExpectCheap(cost, 20, 256 * kMiB);
}

TEST(HostileJpeg, ScansBeyondWhatTheDataJustifiesAreRefused) {
  // A complete first scan, so the coefficients are justified, then scans without data.
  const uint32_t side = 1024;
  const uint64_t blocks = hostile::JpegBlocks(side, side, 1);
  hostile::TJpegBuilder jpeg(side, side, 1, true);
  jpeg.Scan(0, 0, 0, 0, blocks / 8);
  for (int k = 1; k < 64; ++k) jpeg.Scan(k, k, 0, 0, 1);
  TPixelGraphic image;
  const std::string error = ErrorOf<EPGJPGFileFormatReaderWriter>(
      [&] { ReadUnder(TJPGFileFormatReader(), jpeg.End(), image, kRaisedLimit); });
  EXPECT_NE(error.find("scans over 16384 blocks are more than its"), std::string::npos) << error;

  // The same picture with its data: two scans that code every block.
  ReadUnder(TJPGFileFormatReader(), hostile::JpegProgressiveGrey(side, side), image, kRaisedLimit, pgwaRaise);
  EXPECT_EQ(image.Width(), int32_t(side));
  EXPECT_EQ(image.Colors(side - 1, side - 1), RGBColor(128, 128, 128));
}

TEST(HostileJpeg, ACutSequentialFileWarnsBeforeTheImageIsAllocated) {
  const TBytes file = hostile::JpegTruncatedBaseline(30000, 30000, 300);
  ASSERT_LT(file.size(), 700u);
  TCost cost;
  TPixelGraphic image;
  const std::string error = ErrorOf<EPGJPGFileFormatReaderWriter>(
      [&] { ReadUnder(TJPGFileFormatReader(), file, image, kRaisedLimit, pgwaRaise); });
  EXPECT_EQ(error, "JPG: Premature end of JPEG file");
  EXPECT_LT(int64_t{image.Width()} * image.Height(), 30000) << "nothing allocated for the picture";
  ExpectCheap(cost, 20, 64 * kMiB);

  // Asked as a question, the warning comes once, not again when the decoder reaches the end.
  TScriptedQuestions questions(TQuestionAnswer::OK);
  ReadUnder(TJPGFileFormatReader(), hostile::JpegTruncatedBaseline(4000, 3000, 300), image, kRaisedLimit,
            pgwaOKCancelBox);
  EXPECT_EQ(questions.Texts, std::vector<std::string>{"Premature end of JPEG file"});
  EXPECT_EQ(image.Colors(3999, 2999), RGBColor(128, 128, 128));
}

TEST(HostileJpeg, TheRestOfACutFileIsMidGreyAsTheDecoderWouldMakeIt) {
  TOptionsGuard options;
  for (const bool gray : {false, true}) {
    SCOPED_TRACE(gray ? "grey" : "colour");
    TPixelGraphic source;
    MakeRGB(source, 300, 2400);
    if (gray) {
      TPixelGraphic grey;
      grey.NewImage(300, 2400, bc8Bit);
      grey.SetPaletteIdent(pGray256);
      grey.CopyRect(0, 0, 300, 2400, 0, 0, source);
      source.Assign(&grey);
    }
    FormatOptions().JPEGQuality = 90;
    const TBytes full = Save(source, "jpg");
    const TBytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(full.size() / 5));
    TPixelGraphic complete, partial;
    ReadUnder(TJPGFileFormatReader(), full, complete, kRaisedLimit);
    ReadUnder(TJPGFileFormatReader(), cut, partial, kRaisedLimit);
    ASSERT_EQ(partial.Height(), 2400);
    // The first rows are decoded as in the complete file, the last ones are mid grey.
    const size_t bytes = static_cast<size_t>(partial.Width()) * (gray ? 1 : 3);
    for (int32_t y = 0; y < 200; ++y)
      ASSERT_EQ(std::memcmp(partial.ScanLine(y), complete.ScanLine(y), bytes), 0) << y;
    for (int32_t y = 1200; y < 2400; ++y) {
      const uint8_t* row = partial.ScanLine(y);
      ASSERT_TRUE(std::all_of(row, row + bytes, [](uint8_t b) { return b == 128; })) << y;
    }
  }
}

// ---- PNG, BMP -------------------------------------------------------------------------------------

TEST(HostilePng, AnInterlacedPictureWithAlphaNeedsNoSecondCopy) {
  const uint32_t side = 3000;
  const TBytes file = hostile::PngDeflateBomb(side, side, 6, true);
  TCost cost;
  TPixelGraphic image;
  image.NewImage(1, 1, bc24Bit);
  image.SetBackgroundValue(RGBColor(10, 20, 30));
  ReadUnder(TPNGFileFormatReader(), file, image, kRaisedLimit);
  const int64_t pictureBytes = int64_t{side} * side * 3;
  // The picture, its sanitizer shadow and a little more; a second copy at 4 bytes a pixel is far more.
  ExpectCheap(cost, 60, pictureBytes * 3 / 2);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(10, 20, 30));
  EXPECT_EQ(image.Colors(side - 1, side - 2), RGBColor(10, 20, 30));
}

TEST(HostileBmp, AnRLEBitmapOfOnlyItsEndCodeTouchesNoPixelMemory) {
  TCost cost;
  TPixelGraphic image;
  ReadUnder(TBMPFileFormatReader(), hostile::BmpRle8EndOnly(32000, 32000), image, kRaisedLimit);
  EXPECT_EQ(image.Width(), 32000);
  EXPECT_EQ(image.Pixels(31999, 31999), 0u);
  ExpectCheap(cost, 20, 256 * kMiB + ShadowOf(int64_t{32000} * 32000));
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

TEST(HostileFuzzSeeds, Write) {
  if (!testing::WritingFuzzSeeds()) GTEST_SKIP() << "set TESSEL_WRITE_FUZZ_SEEDS to write the seeds";
  // Small versions of the hostile kinds, within the fuzz targets' pixel limit; the strips and the
  // interlaced picture are large enough for the paths that stream them.
  testing::WriteFuzzSeed("tiff", "one_strip_cmyk.tif", hostile::TiffDeflateBomb(TTiffKind::CMYK, 600, 500));
  testing::WriteFuzzSeed("tiff", "one_strip_ycbcr.tif",
                         hostile::TiffDeflateBomb(TTiffKind::YCbCr, 1000, 700));
  testing::WriteFuzzSeed("tiff", "one_tile_cmyk.tif",
                         hostile::TiffDeflateOneTile(TTiffKind::CMYK, 1100, 1000));
  testing::WriteFuzzSeed("tiff", "tiny_strip_ycbcr.tif", hostile::TiffTinyStrip(TTiffKind::YCbCr, 1000, 701));
  testing::WriteFuzzSeed("jpeg", "many_scans.jpg", hostile::JpegManyScans(256, 256, 60));
  testing::WriteFuzzSeed("jpeg", "cut_baseline.jpg", hostile::JpegTruncatedBaseline(2000, 2000, 100));
  testing::WriteFuzzSeed("jpeg", "grey_two_scans.jpg", hostile::JpegProgressiveGrey(512, 512));
  testing::WriteFuzzSeed("png", "interlaced_alpha_zeros.png", hostile::PngDeflateBomb(300, 300, 6, true));
  testing::WriteFuzzSeed("bmp", "rle8_end_only.bmp", hostile::BmpRle8EndOnly(2000, 2000));
}

}  // namespace
}  // namespace pg
