#include "imaging/formats/row_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/imaging/formats/format_test_util.h"

namespace pg {
namespace {

using namespace formattest;
namespace fs = std::filesystem;

// How a file came through the row source.
enum class TRowsOutcome { Streamed, NotInOrder, Failed };

// Reads `path` whole (LoadImage) and through the row source in bands of `bandRows`, and checks that
// every row, the pixel format and the palette agree, or that both fail with the same message.
TRowsOutcome CompareWithWholeLoad(const fs::path& path, int32_t bandRows, const TLoadOptions& options) {
  SCOPED_TRACE(path.filename().string());
  TPixelGraphic whole;
  std::string wholeError;
  try {
    LoadImage(whole, path.string(), 0, options);
  } catch (const std::exception& e) {
    wholeError = e.what();
  }

  std::string rowsError;
  std::unique_ptr<TRowSource> rows;
  TPixelGraphic band;
  int32_t y = 0;
  try {
    rows = TRowSource::Open(path.string(), options);
    if (rows == nullptr) return TRowsOutcome::NotInOrder;
    rows->ShapeBand(band, bandRows);
    EXPECT_EQ(band.BitCount(), whole.BitCount());
    EXPECT_EQ(band.PaletteData(), whole.PaletteData());
    EXPECT_EQ(band.PaletteIdent(), whole.PaletteIdent());
    EXPECT_EQ(rows->Width(), whole.Width());
    EXPECT_EQ(rows->Height(), whole.Height());
    const size_t rowBytes =
        (static_cast<size_t>(band.BitCountNum()) * static_cast<size_t>(band.Width()) + 7) / 8;
    while (y < rows->Height()) {
      const int32_t count = std::min(bandRows, rows->Height() - y);
      rows->ReadRows(band, count);
      for (int32_t i = 0; i < count; ++i, ++y) {
        if (!wholeError.empty()) continue;
        EXPECT_EQ(0, std::memcmp(band.ScanLine(i), whole.ScanLine(y), rowBytes)) << "row " << y;
      }
    }
    rows->Finish();
  } catch (const std::exception& e) {
    rowsError = e.what();
  }
  EXPECT_EQ(rowsError, wholeError);
  return rowsError.empty() ? TRowsOutcome::Streamed : TRowsOutcome::Failed;
}

// Every file of PngSuite that is not interlaced streams with the pixels of a whole load, with and
// without the gamma correction, in bands of one row and of several; interlaced ones do not stream;
// the damaged ones fail alike.
TEST(RowSourceTest, PngSuiteRowsAreThoseOfTheWholeLoad) {
  int streamed = 0, interlaced = 0, failed = 0;
  for (bool gamma : {true, false}) {
    TLoadOptions options = DefaultLoadOptions();
    options.GammaCorrection = gamma;
    for (const auto& entry : fs::directory_iterator(DataPath("pngsuite"))) {
      if (entry.path().extension() != ".png") continue;
      const std::string name = entry.path().filename().string();
      const TRowsOutcome outcome = CompareWithWholeLoad(entry.path(), name.size() % 2 == 0 ? 1 : 5, options);
      const bool interlacedFile = name.size() > 4 && name[3] == 'i';
      if (outcome == TRowsOutcome::NotInOrder) {
        EXPECT_TRUE(interlacedFile) << name;
        ++interlaced;
      } else if (outcome == TRowsOutcome::Streamed) {
        EXPECT_FALSE(interlacedFile) << name;
        ++streamed;
      } else {
        ++failed;
      }
    }
  }
  EXPECT_GT(streamed, 200);
  EXPECT_GT(interlaced, 50);
  EXPECT_GT(failed, 0);  // the x* files
}

TEST(RowSourceTest, BmpSuiteRowsAreThoseOfTheWholeLoad) {
  int streamed = 0;
  for (const auto& entry : fs::directory_iterator(DataPath("bmpsuite"))) {
    if (entry.path().extension() != ".bmp") continue;
    if (CompareWithWholeLoad(entry.path(), 3, DefaultLoadOptions()) == TRowsOutcome::Streamed) ++streamed;
  }
  EXPECT_GT(streamed, 0);
}

// Files the tests make in every format the row source takes, in the layouts that stream and in
// those that must be loaded whole.
TEST(RowSourceTest, MadeFilesOfEveryFormatStreamOrAreRefusedForTheWholeLoad) {
  TTempDir dir;
  struct TCase {
    std::string Name;
    TBitCount BitCount;
    bool Streams;
    std::function<void(TSaveOptions&)> Setup = nullptr;
  };
  const std::vector<TCase> cases = {
      {"rgb.png", bc24Bit, true},
      {"p8.png", bc8Bit, true},
      {"p4.png", bc4Bit, true},
      {"p1.png", bc1Bit, true},
      {"rgb.jpg", bc24Bit, true},
      {"grey.jpg", bc8Bit, true},
      {"progressive.jpg", bc24Bit, false, [](TSaveOptions& o) { o.JPEGProgressive = true; }},
      {"rgb.bmp", bc24Bit, true},
      {"p8.bmp", bc8Bit, true},
      {"p4.bmp", bc4Bit, true},
      {"p1.bmp", bc1Bit, true},
      {"plain.ppm", bc24Bit, true},
      {"raw.ppm", bc24Bit, true, [](TSaveOptions& o) { o.PNMBinary = true; }},
      {"raw.pgm", bc8Bit, true, [](TSaveOptions& o) { o.PNMBinary = true; }},
      {"plain.pbm", bc1Bit, true},
      {"raw.pbm", bc1Bit, true, [](TSaveOptions& o) { o.PNMBinary = true; }},
      {"rgb.tif", bc24Bit, true},
      {"packbits.tif", bc24Bit, true, [](TSaveOptions& o) { o.TIFFCompression = 32773; }},
      {"p8.tif", bc8Bit, true},
      {"p4.tif", bc4Bit, true, [](TSaveOptions& o) { o.TIFFCompression = 32773; }},
      {"p1.tif", bc1Bit, true, [](TSaveOptions& o) { o.TIFFWhiteIsZero = true; }},
      {"cmyk.tif", bc24Bit, true, [](TSaveOptions& o) { o.TIFFWriteCMYK = true; }},
      {"rgb.tga", bc24Bit, false},  // stored from the bottom up, run-length encoded
      {"p8.tga", bc8Bit, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPixelGraphic image;
    if (c.BitCount == bc24Bit) {
      MakeRGB(image, 37, 29);
    } else if (c.Name == "grey.jpg" || c.Name == "raw.pgm") {
      MakeRGB(image, 37, 29);
      TPixelGraphic grey;
      ConvertToColorRes(image, cr256Gray, grey);
      image.Assign(&grey);
    } else {
      MakeIndexed(image, 37, 29, c.BitCount);
    }
    TSaveOptions save = DefaultSaveOptions();
    if (c.Setup) c.Setup(save);
    const fs::path path = dir.Path / c.Name;
    SaveImage(image, path.string(), save);
    const TRowsOutcome outcome = CompareWithWholeLoad(path, 4, DefaultLoadOptions());
    EXPECT_EQ(outcome, c.Streams ? TRowsOutcome::Streamed : TRowsOutcome::NotInOrder);
  }
}

// The fuzz targets' seed files of every reader: all that stream give the whole load's rows, and
// every format that reads in order streams some of them.
TEST(RowSourceTest, SeedFilesOfEveryReaderStreamLikeTheWholeLoad) {
  for (const char* format : {"bmp", "jpeg", "png", "pcx", "pnm", "tga", "tiff"}) {
    SCOPED_TRACE(format);
    int streamed = 0;
    for (const auto& entry : fs::directory_iterator(DataPath("fuzz") / format)) {
      if (CompareWithWholeLoad(entry.path(), 2, DefaultLoadOptions()) == TRowsOutcome::Streamed) ++streamed;
    }
    EXPECT_GT(streamed, 0);
  }
}

// Targa files as other programs write them: from the top down (raw and run-length encoded, one
// run crossing a row's end), from the bottom up uncompressed and right to left; only the
// run-length encoded bottom-up one must be loaded whole.
TEST(RowSourceTest, TargaFilesFromTheTopAndUncompressedFromTheBottomStream) {
  TTempDir dir;
  const int32_t width = 5, height = 7;
  const auto make = [&](const std::string& name, uint8_t type, uint8_t descriptor) {
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = type;
    bytes[12] = width;
    bytes[14] = height;
    bytes[16] = 24;
    bytes[17] = descriptor;
    for (int32_t r = 0; r < height; ++r) {
      if (type == 10) {
        // A run of three, then the rest of the row and the first pixel of the next as literals,
        // so packets cross row ends.
        if (r % 2 == 0) {
          bytes.insert(bytes.end(), {0x82, static_cast<uint8_t>(r), 0x40, 0x80});
          bytes.push_back(static_cast<uint8_t>(r + 1 < height ? 2 : 1));
          for (int32_t i = 0; i < (r + 1 < height ? 3 : 2); ++i)
            bytes.insert(bytes.end(), {static_cast<uint8_t>(i * 60), static_cast<uint8_t>(r * 30), 0x11});
        } else {
          bytes.push_back(0x83);
          bytes.insert(bytes.end(), {0x22, static_cast<uint8_t>(r * 30), 0x33});
        }
      } else {
        for (int32_t x = 0; x < width; ++x)
          bytes.insert(bytes.end(), {static_cast<uint8_t>(x * 50), static_cast<uint8_t>(r * 30), 0x77});
      }
    }
    const fs::path path = dir.Path / name;
    WriteBytes(path, bytes);
    return path;
  };
  EXPECT_EQ(CompareWithWholeLoad(make("top-raw.tga", 2, 0x20), 3, DefaultLoadOptions()),
            TRowsOutcome::Streamed);
  EXPECT_EQ(CompareWithWholeLoad(make("top-rle.tga", 10, 0x20), 2, DefaultLoadOptions()),
            TRowsOutcome::Streamed);
  EXPECT_EQ(CompareWithWholeLoad(make("bottom-raw.tga", 2, 0x00), 3, DefaultLoadOptions()),
            TRowsOutcome::Streamed);
  EXPECT_EQ(CompareWithWholeLoad(make("mirrored.tga", 2, 0x10), 4, DefaultLoadOptions()),
            TRowsOutcome::Streamed);
  EXPECT_EQ(CompareWithWholeLoad(make("bottom-rle.tga", 10, 0x00), 3, DefaultLoadOptions()),
            TRowsOutcome::NotInOrder);
}

// Files of every streaming format cut short at several places: the rows fail where the whole load
// fails, with its message, after the same rows.
TEST(RowSourceTest, CutFilesOfEveryStreamingFormatFailLikeTheWholeLoad) {
  TTempDir dir;
  TPixelGraphic rgb;
  MakeRGB(rgb, 41, 33);
  TPixelGraphic indexed;
  MakeIndexed(indexed, 41, 33, bc8Bit);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  files.emplace_back("plain.ppm", Save(rgb, "ppm"));
  files.emplace_back("plain.pbm", [] {
    TPixelGraphic bits;
    MakeIndexed(bits, 41, 33, bc1Bit);
    return Save(bits, "pbm");
  }());
  files.emplace_back("rgb.tif", Save(rgb, "tif"));
  files.emplace_back("rgb.bmp", Save(rgb, "bmp"));
  files.emplace_back("p8.png", Save(indexed, "png"));
  files.emplace_back("rgb.jpg", Save(rgb, "jpg"));
  for (const char* seed : {"pcx/rgb.pcx", "pcx/palette.pcx", "tga/type2_16_top.tga", "tga/type2_24.tga"})
    files.emplace_back(fs::path(seed).filename().string(), ReadBytes(DataPath("fuzz") / seed));
  for (const auto& [name, bytes] : files) {
    for (int part : {3, 6, 9}) {
      std::vector<uint8_t> cut = bytes;
      cut.resize(cut.size() * static_cast<size_t>(part) / 10);
      const fs::path path = dir.Path / (std::to_string(part) + "-" + name);
      WriteBytes(path, cut);
      CompareWithWholeLoad(path, 3, DefaultLoadOptions());
    }
  }
}

// A file cut short in its pixel data fails in the rows with the whole load's message, after the
// rows before the damage came out as the whole load would give them.
TEST(RowSourceTest, FileCutInItsDataFailsLikeTheWholeLoad) {
  TTempDir dir;
  TPixelGraphic image;
  MakeRGB(image, 64, 64);
  const std::vector<uint8_t> png = Save(image, "png");
  const fs::path path = dir.Path / "cut.png";
  WriteBytes(path, std::vector<uint8_t>(png.begin(), png.begin() + static_cast<ptrdiff_t>(png.size() / 2)));
  EXPECT_EQ(CompareWithWholeLoad(path, 8, DefaultLoadOptions()), TRowsOutcome::Failed);
}

// The band must hold the rows asked for, in the picture's format.
TEST(RowSourceTest, ABandThatDoesNotFitIsRefused) {
  TTempDir dir;
  TPixelGraphic image;
  MakeRGB(image, 10, 10);
  SaveImage(image, (dir.Path / "a.png").string());
  const std::unique_ptr<TRowSource> rows =
      TRowSource::Open((dir.Path / "a.png").string(), DefaultLoadOptions());
  ASSERT_NE(rows, nullptr);
  TPixelGraphic band;
  rows->ShapeBand(band, 4);
  EXPECT_THROW(rows->ReadRows(band, 5), EPixelGraphic);
  TPixelGraphic other;
  other.NewImage(10, 4, bc8Bit);
  EXPECT_THROW(rows->ReadRows(other, 1), EPixelGraphic);
  rows->ReadRows(band, 4);
  rows->ReadRows(band, 4);
  EXPECT_THROW(rows->ReadRows(band, 3), EPixelGraphic);  // only 2 left
  EXPECT_EQ(rows->RowsRead(), 8);
}

}  // namespace
}  // namespace pg
