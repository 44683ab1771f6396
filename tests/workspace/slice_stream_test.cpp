// A streamed export (the source decoded band by band while slices are written) writes the files a
// whole-picture export writes, and fails and stops as it does.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/formats/row_source.h"
#include "imaging/image/exceptions.h"
#include "tests/workspace/export_test_support.h"
#include "tests/workspace/file_size_limit.h"
#include "workspace/slice_export.h"

namespace tessel {
namespace {

using namespace tessel::testing;

// Every file of a folder by name, with its bytes.
std::vector<std::pair<std::string, std::string>> Contents(const fs::path& dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& name : DirectoryNames(dir)) files.emplace_back(name, ReadFile(dir / name));
  return files;
}

class SliceStreamTest : public ::testing::Test {
 protected:
  SliceStreamTest() : dir_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  void SetUp() override { options_.ShowOptions = false; }

  // A source file of the pattern picture in the format of `name`'s extension, `bitCount` deep.
  fs::path MakeSource(const std::string& name, int32_t width, int32_t height, pg::TBitCount bitCount,
                      const pg::TSaveOptions& save = pg::DefaultSaveOptions()) {
    pg::TPixelGraphic image;
    MakePatternImage(image, width, height);
    if (bitCount != pg::bc24Bit) {
      pg::TPixelGraphic reduced;
      pg::ConvertToColorRes(image, bitCount == pg::bc8Bit ? pg::cr256Colors : pg::cr16Colors, reduced);
      image.Assign(&reduced);
    }
    const fs::path path = dir_.Path() / name;
    pg::SaveImage(image, path.string(), save);
    return path;
  }

  // Exports `source` into `dir`: from the whole loaded picture, or streamed from its rows (which
  // the format must allow).
  TExportReport ExportInto(const fs::path& source, const fs::path& dir, bool streamed,
                           const std::string& extension, int32_t jobs) {
    fs::create_directories(dir);
    pg::TPixelGraphic whole;
    std::unique_ptr<pg::TRowSource> rows;
    TExportRequest request;
    if (streamed) {
      rows = pg::TRowSource::Open(source.string(), pg::DefaultLoadOptions());
      EXPECT_NE(rows, nullptr) << source;
      if (rows == nullptr) return {};
      request.SourceRows = rows.get();
    } else {
      whole.LoadFromFile(source.string());
      request.Source = &whole;
    }
    TSplitGrid grid = grid_;
    request.HtmlPath = dir / "page.html";
    request.Grid = &grid;
    request.Extension = extension;
    request.Options = &options_;
    request.Interaction = &interaction_;
    request.Jobs = jobs;
    request.PieceBytes = pieceBytes_;
    request.OnProgress = onProgress_;
    request.Cancel = &cancel_;
    request.InputPaths = {source};
    request.Slices = &slices_;
    return ExportSlices(request);
  }

  TTempDir dir_;
  TSplitGrid grid_;
  TExportOptions options_;
  TScriptedInteraction interaction_;
  TSliceTable slices_;
  int64_t pieceBytes_ = 1000;  // a few rows: every grid row takes several pieces
  std::function<void(int64_t, int64_t)> onProgress_;
  std::atomic<bool> cancel_{false};
};

// The pattern picture as a Paintbrush file: 8-bit red, green and blue planes, run-length encoded
// (no writer of the library makes them).
fs::path WritePcx(const fs::path& path, int32_t width, int32_t height) {
  pg::TPixelGraphic image;
  MakePatternImage(image, width, height);
  const int32_t plane = (width + 1) / 2 * 2;
  std::string bytes(128, '\0');
  bytes[0] = 0x0A;
  bytes[1] = 5;
  bytes[2] = 1;
  bytes[3] = 8;
  bytes[8] = static_cast<char>((width - 1) & 0xFF);
  bytes[9] = static_cast<char>((width - 1) >> 8);
  bytes[10] = static_cast<char>((height - 1) & 0xFF);
  bytes[11] = static_cast<char>((height - 1) >> 8);
  bytes[65] = 3;
  bytes[66] = static_cast<char>(plane & 0xFF);
  bytes[67] = static_cast<char>(plane >> 8);
  for (int32_t y = 0; y < height; ++y) {
    for (int channel : {2, 1, 0}) {
      for (int32_t x = 0; x < plane; ++x) {
        const uint8_t value = x < width ? image.ScanLine(y)[3 * x + channel] : 0;
        // Runs of one; values with the top two bits set go as a run so they are not counts.
        if ((value & 0xC0) == 0xC0) bytes.push_back(static_cast<char>(0xC1));
        bytes.push_back(static_cast<char>(value));
      }
    }
  }
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// The pattern picture as an uncompressed true-colour Targa file stored from the top down.
fs::path WriteTopDownTga(const fs::path& path, int32_t width, int32_t height) {
  pg::TPixelGraphic image;
  MakePatternImage(image, width, height);
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = static_cast<char>(width & 0xFF);
  bytes[13] = static_cast<char>(width >> 8);
  bytes[14] = static_cast<char>(height & 0xFF);
  bytes[15] = static_cast<char>(height >> 8);
  bytes[16] = 24;
  bytes[17] = 0x20;
  for (int32_t y = 0; y < height; ++y)
    bytes.append(reinterpret_cast<const char*>(image.ScanLine(y)), static_cast<size_t>(3 * width));
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

// Uneven rows and columns, a grid that leaves rows and columns of the picture out on every side,
// and an empty row and column (repeated splits).
void UnevenGrid(TSplitGrid& grid) {
  grid.VerticalSplits = {3, 17, 100, 100, 250, 290};
  grid.HorizontalSplits = {2, 3, 61, 61, 150, 190};
}

TEST_F(SliceStreamTest, SameFilesAsTheWholePictureForEveryFormatAndJobCount) {
  UnevenGrid(grid_);
  options_.AlwaysGrid = true;
  const std::vector<fs::path> sources = {
      MakeSource("rgb.png", 301, 203, pg::bc24Bit),       MakeSource("p8.png", 301, 203, pg::bc8Bit),
      MakeSource("p4.png", 301, 203, pg::bc4Bit),         MakeSource("rgb.jpg", 301, 203, pg::bc24Bit),
      MakeSource("rgb.bmp", 301, 203, pg::bc24Bit),       MakeSource("p4.bmp", 301, 203, pg::bc4Bit),
      MakeSource("rgb.ppm", 301, 203, pg::bc24Bit),       MakeSource("rgb.tif", 301, 203, pg::bc24Bit),
      MakeSource("p8.tif", 301, 203, pg::bc8Bit),         WritePcx(dir_.Path() / "rgb.pcx", 301, 203),
      WriteTopDownTga(dir_.Path() / "rgb.tga", 301, 203),
  };
  // Each source to two of the slice formats, every format from several sources.
  const std::vector<std::string> extensions = {".jpg", ".png", ".bmp", ".tif"};
  for (size_t i = 0; i < sources.size(); ++i) {
    const fs::path& source = sources[i];
    for (const std::string& extension : {extensions[i % 4], extensions[(i + 1) % 4]}) {
      SCOPED_TRACE(source.filename().string() + " to " + extension);
      const fs::path base = dir_.Path() / (source.stem().string() + "-" + extension.substr(1));
      ExportInto(source, base / "whole", false, extension, 1);
      const auto expected = Contents(base / "whole");
      ASSERT_EQ(expected.size(), 1u + 1u + 4u * 4u);  // page, grid, four columns by four rows
      for (int32_t jobs = 1; jobs <= 4; ++jobs) {
        const fs::path dir = base / std::to_string(jobs);
        const TExportReport report = ExportInto(source, dir, true, extension, jobs);
        EXPECT_EQ(report.Result, TExportResult::Done);
        EXPECT_EQ(report.SlicesWritten, 16);
        EXPECT_TRUE(Contents(dir) == expected) << "jobs " << jobs;
      }
    }
  }
}

// Grid rows of equal cells, with one taller row between them: the slices of one grid row are cut
// again for a later one, of the same size or another, and every file still holds its own cell.
// The cells' rows are padded (41 pixels of 3 bytes), and the pieces are a few rows each.
TEST_F(SliceStreamTest, SameFilesWhenLaterGridRowsReuseTheSlices) {
  for (int32_t x = 0; x <= 246; x += 41) grid_.VerticalSplits.Add(x);
  grid_.HorizontalSplits = {0, 23, 46, 80, 103, 126};
  const fs::path source = MakeSource("rgb.bmp", 246, 126, pg::bc24Bit);
  for (const std::string extension : {".bmp", ".jpg"}) {
    SCOPED_TRACE(extension);
    const fs::path base = dir_.Path() / extension.substr(1);
    ExportInto(source, base / "whole", false, extension, 1);
    const auto expected = Contents(base / "whole");
    ASSERT_EQ(expected.size(), 1u + 6u * 5u);
    for (int32_t jobs = 1; jobs <= 3; ++jobs) {
      const fs::path dir = base / std::to_string(jobs);
      EXPECT_EQ(ExportInto(source, dir, true, extension, jobs).SlicesWritten, 30);
      EXPECT_TRUE(Contents(dir) == expected) << "jobs " << jobs;
    }
  }
}

// The page styles, several formats per slice, a slice of its own format and high density: the
// same files again.
TEST_F(SliceStreamTest, SameFilesWithEveryPageOption) {
  UnevenGrid(grid_);
  const fs::path source = MakeSource("rgb.png", 301, 203, pg::bc24Bit);
  struct TVariant {
    std::string Name;
    std::function<void(TExportOptions&)> Setup;
  };
  const std::vector<TVariant> variants = {
      {"email-webp",
       [](TExportOptions& o) {
         o.Style = TOutputStyle::Email;
         o.PictureFormats = {"webp"};
       }},
      {"responsive-dense",
       [](TExportOptions& o) {
         o.Style = TOutputStyle::Responsive;
         o.Density = 2;
         o.AlwaysGrid = true;
       }},
      {"classic-quoted",
       [](TExportOptions& o) {
         o.UpperCase = true;
         o.DoubleQuote = true;
       }},
  };
  slices_.Set({2, 3}, {.Url = "", .Target = "", .Alt = "", .Format = "bmp"});
  for (const TVariant& variant : variants) {
    SCOPED_TRACE(variant.Name);
    options_ = {};
    options_.ShowOptions = false;
    variant.Setup(options_);
    const fs::path base = dir_.Path() / variant.Name;
    ExportInto(source, base / "whole", false, ".png", 1);
    const auto expected = Contents(base / "whole");
    ASSERT_GT(expected.size(), 16u);
    for (int32_t jobs : {1, 3}) {
      const fs::path dir = base / std::to_string(jobs);
      ExportInto(source, dir, true, ".png", jobs);
      EXPECT_TRUE(Contents(dir) == expected) << "jobs " << jobs;
    }
  }
}

// Progress counts every cell once, in order, up to all of them; a grid without cells still reads
// the whole picture and writes the page.
TEST_F(SliceStreamTest, ProgressAndAGridWithoutCells) {
  const fs::path source = MakeSource("rgb.png", 120, 90, pg::bc24Bit);
  grid_.VerticalSplits = {0, 40, 120};
  grid_.HorizontalSplits = {0, 30, 60, 90};
  for (int32_t jobs : {1, 3}) {
    std::vector<int64_t> progress;
    onProgress_ = [&](int64_t done, int64_t total) {
      EXPECT_EQ(total, 6);
      progress.push_back(done);
    };
    ExportInto(source, dir_.Path() / std::to_string(jobs), true, ".png", jobs);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 6);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  }
  onProgress_ = nullptr;
  grid_.HorizontalSplits = {0};
  const TExportReport report = ExportInto(source, dir_.Path() / "none", true, ".png", 2);
  EXPECT_EQ(report.SlicesWritten, 0);
  EXPECT_EQ(DirectoryNames(dir_.Path() / "none"), std::vector<std::string>{"page.html"});
}

// A source damaged in its pixel data fails the export with the reader's message and leaves
// everything as a whole export leaves it, whose load fails before anything is written: the slices
// of the grid rows decoded before the damage never take their names, old files stay, and no
// temporary file remains.
TEST_F(SliceStreamTest, DamagedSourceLeavesEverythingAsItWas) {
  grid_.VerticalSplits = {0, 100, 200};
  grid_.HorizontalSplits = {0, 10, 20, 200};
  options_.AlwaysGrid = true;
  // Noise, so the compressed data spreads evenly over the rows and half the file holds half of them.
  pg::TPixelGraphic noise;
  noise.NewImage(200, 200, pg::bc24Bit);
  uint32_t state = 12345;
  for (int32_t y = 0; y < 200; ++y) {
    for (int32_t i = 0; i < 600; ++i) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      noise.ScanLine(y)[i] = static_cast<uint8_t>(state);
    }
  }
  const fs::path good = dir_.Path() / "good.png";
  pg::SaveImage(noise, good.string());
  std::string png = ReadFile(good);
  png.resize(png.size() / 2);
  const fs::path cut = dir_.Path() / "cut.png";
  std::ofstream(cut, std::ios::binary) << png;
  std::string expectedError;
  try {
    pg::TPixelGraphic whole;
    whole.LoadFromFile(cut.string());
  } catch (const pg::EPixelGraphic& e) {
    expectedError = e.what();
  }
  ASSERT_FALSE(expectedError.empty());
  for (int32_t jobs : {1, 2, 4}) {
    SCOPED_TRACE(jobs);
    const fs::path dir = dir_.Path() / std::to_string(jobs);
    fs::create_directories(dir);
    std::ofstream(dir / "page.html") << "old page";
    std::ofstream(dir / "page_11.bmp") << "old slice";
    try {
      ExportInto(cut, dir, true, ".bmp", jobs);
      ADD_FAILURE() << "no error";
    } catch (const pg::EPixelGraphic& e) {
      EXPECT_EQ(e.what(), expectedError);
    }
    EXPECT_EQ(DirectoryNames(dir), (std::vector<std::string>{"page.html", "page_11.bmp"}));
    EXPECT_EQ(ReadFile(dir / "page.html"), "old page");
    EXPECT_EQ(ReadFile(dir / "page_11.bmp"), "old slice");
  }
}

// A slice that cannot be written stops the export as it stops a whole one: the slices before it
// are written, the failing one and those after it not, the page and grid stay as they were and no
// temporary file remains.
TEST_F(SliceStreamTest, FailingSliceWriteLeavesWhatTheWholeExportLeaves) {
  // BMP slices of 12054 bytes (the first grid row) and 48054 bytes (the second): the limit lets
  // only the first row's through.
  grid_.VerticalSplits = {0, 100, 200};
  grid_.HorizontalSplits = {0, 40, 200};
  options_.AlwaysGrid = true;
  const fs::path source = MakeSource("rgb.png", 200, 200, pg::bc24Bit);
  const auto exportInto = [&](const fs::path& dir, bool streamed, int32_t jobs) {
    fs::create_directories(dir);
    std::ofstream(dir / "page.html") << "old page";
    TFileSizeLimit limit(20000);
    try {
      ExportInto(source, dir, streamed, ".bmp", jobs);
      ADD_FAILURE() << "no error";
    } catch (const pg::EPGStreamError& e) {
      EXPECT_EQ(e.what(), (dir / "page_12.bmp").string() + ": " + std::strerror(EFBIG));
    }
  };
  exportInto(dir_.Path() / "whole", false, 1);
  const auto expected = Contents(dir_.Path() / "whole");
  ASSERT_EQ(expected.size(), 3u);  // the old page and the first row's two slices
  for (int32_t jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    const fs::path dir = dir_.Path() / std::to_string(jobs);
    exportInto(dir, true, jobs);
    if (jobs == 1) {
      EXPECT_TRUE(Contents(dir) == expected);
    } else {
      // Side by side, a slice after the failing one may have been written before the failure.
      for (const auto& [name, bytes] : Contents(dir)) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        if (name == "page_22.bmp") continue;
        const bool same =
            std::find(expected.begin(), expected.end(), std::make_pair(name, bytes)) != expected.end();
        EXPECT_TRUE(same) << name;
      }
    }
  }
}

TEST_F(SliceStreamTest, CancelStopsBeforeThePage) {
  const fs::path source = MakeSource("rgb.png", 200, 200, pg::bc24Bit);
  grid_.VerticalSplits = {0, 100, 200};
  grid_.HorizontalSplits = {0, 50, 100, 150, 200};
  options_.AlwaysGrid = true;
  for (int32_t jobs : {1, 2}) {
    cancel_ = false;
    onProgress_ = [&](int64_t done, int64_t) {
      if (done >= 1) cancel_ = true;
    };
    const fs::path dir = dir_.Path() / std::to_string(jobs);
    EXPECT_EQ(ExportInto(source, dir, true, ".png", jobs).Result, TExportResult::Cancelled);
    EXPECT_FALSE(fs::exists(dir / "page.html"));
    EXPECT_FALSE(fs::exists(dir / "page.grd"));
    EXPECT_LT(DirectoryNames(dir).size(), 8u);
  }
}

// The per-slice questions show each slice before anything is written: a streamed source is read
// whole for them, and the files are those of the whole picture.
TEST_F(SliceStreamTest, QuestionsPerSliceReadTheWholePictureFirst) {
  const fs::path source = MakeSource("rgb.jpg", 90, 70, pg::bc24Bit);
  grid_.VerticalSplits = {0, 30, 90};
  grid_.HorizontalSplits = {0, 35, 70};
  options_.IncAltTags = true;
  interaction_.Answers[{2, 1}] = {"a.html", "main", "Logo"};
  ExportInto(source, dir_.Path() / "whole", false, ".png", 1);
  ExportInto(source, dir_.Path() / "rows", true, ".png", 2);
  EXPECT_EQ(interaction_.SliceSizes.size(), 8u);
  EXPECT_TRUE(Contents(dir_.Path() / "rows") == Contents(dir_.Path() / "whole"));
}

}  // namespace
}  // namespace tessel
