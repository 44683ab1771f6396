#include "workspace/slice_export.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <set>

#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/stream.h"
#include "tests/workspace/export_test_support.h"
#include "tests/workspace/file_size_limit.h"
#include "workspace/errors.h"
#include "workspace/grid_file.h"

namespace tessel {
namespace {

using namespace tessel::testing;

class SliceExportTest : public TExportFixture {
 protected:
  TExportReport Export(const std::string& htmlName, const std::string& extension = ".png", int32_t jobs = 1) {
    TExportRequest request = BaseRequest(htmlName, extension, jobs);
    request.OnProgress = onProgress_;
    request.Cancel = &cancel_;
    return ExportSlices(request);
  }

  std::vector<std::string> HtmlLines(const std::string& htmlName) {
    return SplitCrLf(ReadFile(dir_.Path() / htmlName));
  }

  // The slice file holds exactly the source rectangle.
  void ExpectSlice(const std::string& name, int32_t left, int32_t top, int32_t width, int32_t height) {
    SCOPED_TRACE(name);
    pg::TPixelGraphic slice;
    slice.LoadFromFile((dir_.Path() / name).string());
    ASSERT_EQ(slice.Width(), width);
    ASSERT_EQ(slice.Height(), height);
    ASSERT_EQ(slice.BitCount(), pg::bc24Bit);
    for (int32_t y = 0; y < height; ++y) {
      ASSERT_EQ(0, std::memcmp(slice.ScanLine(y), source_.ScanLine(top + y) + 3 * left,
                               3 * static_cast<size_t>(width)))
          << "row " << y;
    }
  }

  std::function<void(int64_t, int64_t)> onProgress_;
  std::atomic<bool> cancel_{false};
};

TEST_F(SliceExportTest, ExampleLowerCaseSingleQuotes) {
  const TExportReport report = Export("page.html", ".jpg");
  EXPECT_EQ(report.Result, TExportResult::Done);
  EXPECT_EQ(ReadFile(dir_.Path() / "page.html"),
            "<table cellspacing = 0 cellpadding = 0 border = 0>\r\n"
            "<tr><td><img src='page_11.jpg' width=120 height=40></td><td><img src='page_21.jpg' width=80 "
            "height=40></td></tr>\r\n"
            "<tr><td><img src='page_12.jpg' width=120 height=60></td><td><img src='page_22.jpg' width=80 "
            "height=60></td></tr>\r\n"
            "</TABLE>\r\n");
  EXPECT_EQ(DirectoryNames(dir_.Path()), (std::vector<std::string>{"page.html", "page_11.jpg", "page_12.jpg",
                                                                   "page_21.jpg", "page_22.jpg"}));
  const std::pair<const char*, std::pair<int32_t, int32_t>> sizes[] = {{"page_11.jpg", {120, 40}},
                                                                       {"page_21.jpg", {80, 40}},
                                                                       {"page_12.jpg", {120, 60}},
                                                                       {"page_22.jpg", {80, 60}}};
  for (const auto& [name, size] : sizes) {
    pg::TPixelGraphic slice;
    slice.LoadFromFile((dir_.Path() / name).string());
    EXPECT_EQ(slice.Width(), size.first) << name;
    EXPECT_EQ(slice.Height(), size.second) << name;
  }
  EXPECT_EQ(interaction_.OptionsShown, 0);
  EXPECT_TRUE(interaction_.OverwriteQuestions.empty());
}

TEST_F(SliceExportTest, ExampleUpperCaseDoubleQuotesAndPixelExactPngSlices) {
  options_.UpperCase = true;
  options_.DoubleQuote = true;
  Export("page.html", "png");
  const std::vector<std::string> lines = HtmlLines("page.html");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
  EXPECT_EQ(lines[1],
            "<TR><TD><IMG SRC=\"page_11.png\" WIDTH=120 HEIGHT=40></TD><TD><IMG SRC=\"page_21.png\" WIDTH=80 "
            "HEIGHT=40></TD></TR>");
  EXPECT_EQ(lines[3], "</TABLE>");
  ExpectSlice("page_11.png", 0, 0, 120, 40);
  ExpectSlice("page_21.png", 120, 0, 80, 40);
  ExpectSlice("page_12.png", 0, 40, 120, 60);
  ExpectSlice("page_22.png", 120, 40, 80, 60);
  // No gamma or colour-space chunk that would make a browser show a slice unlike the source.
  EXPECT_EQ(PngChunkTypes(ReadFile(dir_.Path() / "page_11.png")), "IHDR IDAT IEND");
}

TEST_F(SliceExportTest, ExampleWithLinkAndAltTextAndNoDoubleClosingBracket) {
  options_.IncAltTags = true;
  interaction_.Answers[{1, 1}] = {"index.html", "main", "Logo"};
  Export("page.html", ".jpg", 4);  // a question per slice: one thread, in order
  const std::vector<std::string> lines = HtmlLines("page.html");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1],
            "<tr><td><A HREF=\"index.html\" TARGET=\"main\"><img src='page_11.jpg' width=120 height=40 "
            "ALT=\"Logo\" BORDER=0></A></td><td><img src='page_21.jpg' width=80 height=40></td></tr>");
  EXPECT_EQ(interaction_.OpenTags,
            (std::vector<std::string>{
                "<img src='page_11.jpg' width=120 height=40", "<img src='page_21.jpg' width=80 height=40",
                "<img src='page_12.jpg' width=120 height=60", "<img src='page_22.jpg' width=80 height=60"}));
  EXPECT_EQ(interaction_.SliceSizes[3], std::make_pair(80, 60));
  EXPECT_EQ(ReadFile(dir_.Path() / "page.html").find(">>"), std::string::npos);
}

TEST_F(SliceExportTest, PaletteSourceIsCutIntoTrueColourSlices) {
  pg::TPixelGraphic palette;
  palette.NewImage(200, 100, pg::bc8Bit);
  palette.SetPaletteCount(3);
  palette.SetPaletteEntries(0, pg::RGBColor(10, 20, 30));
  palette.SetPaletteEntries(1, pg::RGBColor(200, 0, 100));
  palette.SetPaletteEntries(2, pg::RGBColor(0, 255, 7));
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < 200; ++x) palette.SetPixels(x, y, static_cast<uint32_t>((x / 3 + y) % 3));
  }
  source_.NewImage(200, 100, pg::bc24Bit);
  source_.CopyRect(0, 0, 200, 100, 0, 0, palette);
  TExportRequest request;
  request.HtmlPath = dir_.Path() / "pal.html";
  request.Source = &palette;
  request.Grid = &grid_;
  request.Extension = ".png";
  request.Options = &options_;
  request.Interaction = &interaction_;
  ExportSlices(request);
  ExpectSlice("pal_22.png", 120, 40, 80, 60);
  EXPECT_EQ(source_.Colors(121, 41), pg::RGBColor(10, 20, 30));  // index (40 + 41) % 3 = 0
  EXPECT_EQ(source_.Colors(124, 41), pg::RGBColor(200, 0, 100));
}

TEST_F(SliceExportTest, WholeImageCell) {
  grid_.ResetGrid(200, 100);
  Export("whole.htm");
  EXPECT_EQ(HtmlLines("whole.htm"),
            (std::vector<std::string>{"<table cellspacing = 0 cellpadding = 0 border = 0>",
                                      "<tr><td><img src='whole_11.png' width=200 height=100></td></tr>",
                                      "</TABLE>"}));
  ExpectSlice("whole_11.png", 0, 0, 200, 100);
}

TEST_F(SliceExportTest, FewerThanTwoHorizontalEntriesOrOneVerticalEntry) {
  grid_.HorizontalSplits = {40};
  Export("a.html");
  EXPECT_EQ(HtmlLines("a.html"),
            (std::vector<std::string>{"<table cellspacing = 0 cellpadding = 0 border = 0>", "</TABLE>"}));

  grid_.HorizontalSplits = {0, 40, 100};
  grid_.VerticalSplits = {120};
  options_.UpperCase = true;
  Export("b.html");
  EXPECT_EQ(HtmlLines("b.html"),
            (std::vector<std::string>{"<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>", "<TR></TR>",
                                      "<TR></TR>", "</TABLE>"}));
  EXPECT_EQ(DirectoryNames(dir_.Path()), (std::vector<std::string>{"a.html", "b.html"}));
}

TEST_F(SliceExportTest, EmptyBaseNamesSlicesAndGridFromTheUnderscore) {
  options_.AlwaysGrid = true;
  Export("noext");
  EXPECT_EQ(DirectoryNames(dir_.Path()),
            (std::vector<std::string>{".grd", "_11.png", "_12.png", "_21.png", "_22.png", "noext"}));
  EXPECT_EQ(interaction_.GridsSaved, std::vector<fs::path>{dir_.Path() / ".grd"});
}

TEST_F(SliceExportTest, ExportSortsTheGridAndTheGridFileListsItAscending) {
  grid_.VerticalSplits = {200, 0, 120};
  grid_.HorizontalSplits = {100, 40, 0};
  options_.AlwaysGrid = true;
  Export("sorted.html");
  EXPECT_EQ(grid_.VerticalSplits.Values(), (std::vector<int32_t>{0, 120, 200}));
  EXPECT_EQ(grid_.HorizontalSplits.Values(), (std::vector<int32_t>{0, 40, 100}));
  EXPECT_EQ(ReadFile(dir_.Path() / "sorted.grd"), "0\r\n40\r\n100\r\n-\r\n0\r\n120\r\n200\r\n");
  ExpectSlice("sorted_22.png", 120, 40, 80, 60);
}

TEST_F(SliceExportTest, TwelveByTwelveGridHasUniqueNames) {
  MakePatternImage(source_, 120, 120);
  grid_.ResetGrid(120, 120);
  for (int32_t i = 1; i < 12; ++i) {
    grid_.AddVertical(i * 10);
    grid_.AddHorizontal(i * 10);
  }
  Export("big.html", ".png", 2);
  EXPECT_EQ(DirectoryNames(dir_.Path()).size(), 145u);
  ExpectSlice("big_0111.png", 0, 100, 10, 10);
  ExpectSlice("big_1101.png", 100, 0, 10, 10);
  const std::vector<std::string> lines = HtmlLines("big.html");
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[1].rfind("<tr><td><img src='big_0101.png' width=10 height=10></td>", 0), 0u);
}

TEST_F(SliceExportTest, QuotesInNamesAndAnswersAreEscaped) {
  options_.IncAltTags = true;
  interaction_.Answers[{2, 2}] = {"a.html?x=\"1\"&amp;y", "", "it's"};
  Export("it's.html");
  const std::vector<std::string> lines = HtmlLines("it's.html");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2],
            "<tr><td><img src='it&#39;s_12.png' width=120 height=60></td><td><A "
            "HREF=\"a.html?x=&quot;1&quot;&amp;y\">"
            "<img src='it&#39;s_22.png' width=80 height=60 ALT=\"it's\" BORDER=0></A></td></tr>");
  ExpectSlice("it's_22.png", 120, 40, 80, 60);
}

TEST_F(SliceExportTest, NamesAUrlCannotCarryAreEncodedInThePageNotOnDisk) {
  grid_.ResetGrid(200, 100);
  Export("50% off #1?.html");
  EXPECT_EQ(HtmlLines("50% off #1?.html")[1],
            "<tr><td><img src='50%25%20off%20%231%3F_11.png' width=200 height=100></td></tr>");
  ExpectSlice("50% off #1?_11.png", 0, 0, 200, 100);
}

TEST_F(SliceExportTest, ZeroSizedCellsWriteNoFileAndAnEmptyCell) {
  grid_.VerticalSplits = {0, 120, 120, 200};
  grid_.HorizontalSplits = {0, 0, 100};
  options_.IncAltTags = true;  // no question for a cell without a slice
  Export("zero.html");
  EXPECT_EQ(HtmlLines("zero.html"),
            (std::vector<std::string>{
                "<table cellspacing = 0 cellpadding = 0 border = 0>", "<tr><td></td><td></td><td></td></tr>",
                "<tr><td><img src='zero_12.png' width=120 height=100></td><td></td><td><img "
                "src='zero_32.png' width=80 height=100></td></tr>",
                "</TABLE>"}));
  EXPECT_EQ(DirectoryNames(dir_.Path()),
            (std::vector<std::string>{"zero.html", "zero_12.png", "zero_32.png"}));
  EXPECT_EQ(interaction_.OpenTags.size(), 2u);
}

TEST_F(SliceExportTest, FailingSliceWriteStopsBeforeHtmlAndGrid) {
  // BMP slices of 14454 (11, 22), 9654 (21) and 21654 bytes (12): only page_12.bmp exceeds the limit.
  TFileSizeLimit limit(15000);
  for (int32_t jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    const fs::path dir = dir_.Path() / std::to_string(jobs);
    fs::create_directories(dir);
    std::ofstream(dir / "page.html") << "old page";
    options_.AlwaysGrid = true;
    TExportRequest request;
    request.HtmlPath = dir / "page.html";
    request.Source = &source_;
    request.Grid = &grid_;
    request.Extension = ".bmp";
    request.Options = &options_;
    request.Interaction = &interaction_;
    request.Jobs = jobs;
    try {
      ExportSlices(request);
      ADD_FAILURE() << "no error";
    } catch (const pg::EPGStreamError& e) {
      EXPECT_EQ(e.what(), (dir / "page_12.bmp").string() + ": " + std::strerror(EFBIG));
    }
    EXPECT_EQ(ReadFile(dir / "page.html"), "old page");
    EXPECT_FALSE(fs::exists(dir / "page.grd"));
    if (jobs == 1) {
      EXPECT_EQ(DirectoryNames(dir), (std::vector<std::string>{"page.html", "page_11.bmp", "page_21.bmp"}));
    }
    for (const std::string& name : DirectoryNames(dir))
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

// The export's message when it refuses, or "" when it ran.
std::string RefusalOf(const TExportRequest& request) {
  try {
    ExportSlices(request);
  } catch (const EExportError& e) {
    return e.what();
  }
  return "";
}

TEST_F(SliceExportTest, NeverWritesOverAFileItReadWhateverTheSpelling) {
  const fs::path dir = dir_.Path();
  fs::create_directories(dir / "sub");
  source_.SaveToFile((dir / "y_21.png").string());
  const std::string sourceBytes = ReadFile(dir / "y_21.png");
  std::ofstream(dir / "links.tsv") << "1\t1\tindex.html\n";
  std::ofstream(dir / "photo.png") << "photo";
  fs::create_hard_link(dir / "photo.png", dir / "y_12.png");
  fs::create_symlink("links.tsv", dir / "y_22.png");
  const std::vector<std::string> before = DirectoryNames(dir);

  TExportRequest request;
  request.HtmlPath = dir / "y.html";
  request.Source = &source_;
  request.Grid = &grid_;
  request.Extension = "png";
  request.Options = &options_;
  request.Interaction = &interaction_;
  const auto refusal = [&](const fs::path& output, const fs::path& input) {
    return "Export refused: the slice \"" + output.string() + "\" would overwrite \"" + input.string() +
           "\", a file the export reads; nothing was written";
  };

  // The source image under another spelling.
  request.InputPaths = {dir / "sub" / ".." / "y_21.png"};
  EXPECT_EQ(RefusalOf(request), refusal(dir / "y_21.png", dir / "sub" / ".." / "y_21.png"));
  // A hard link to an input, and a symbolic link to one.
  request.InputPaths = {dir / "photo.png"};
  EXPECT_EQ(RefusalOf(request), refusal(dir / "y_12.png", dir / "photo.png"));
  request.InputPaths = {dir / "photo2.png", dir / "links.tsv"};  // an input not there is no obstacle
  EXPECT_EQ(RefusalOf(request), refusal(dir / "y_22.png", dir / "links.tsv"));
  // The grid file the grid came from may not become a slice either.
  request.InputPaths.clear();
  request.GridFilePath = dir / "." / "y_22.png";
  EXPECT_EQ(RefusalOf(request), refusal(dir / "y_22.png", dir / "." / "y_22.png"));
  // Also when the slices are written on several threads.
  request.GridFilePath.clear();
  request.InputPaths = {dir / "y_21.png"};
  request.Jobs = 4;
  EXPECT_NE(RefusalOf(request), "");

  EXPECT_EQ(DirectoryNames(dir), before);
  EXPECT_EQ(ReadFile(dir / "y_21.png"), sourceBytes);
  EXPECT_EQ(ReadFile(dir / "y_12.png"), "photo");
  EXPECT_EQ(ReadFile(dir / "links.tsv"), "1\t1\tindex.html\n");
}

TEST_F(SliceExportTest, RefusesOutputsThatAreOneFileOrNoRegularFile) {
  const fs::path dir = dir_.Path();
  TExportRequest request;
  request.Source = &source_;
  request.Grid = &grid_;
  request.Extension = ".png";
  request.Options = &options_;
  request.Interaction = &interaction_;

  // The grid file written on export would be the HTML file itself.
  options_.AlwaysGrid = true;
  request.HtmlPath = dir / "page.grd";
  EXPECT_EQ(RefusalOf(request), "Export refused: the HTML file \"" + (dir / "page.grd").string() +
                                    "\" and the grid file \"" + (dir / "page.grd").string() +
                                    "\" are the same file; nothing was written");
  EXPECT_TRUE(DirectoryNames(dir).empty());

  // A slice name that links to the HTML file.
  std::ofstream(dir / "page.html") << "old page";
  fs::create_symlink("page.html", dir / "page_11.png");
  request.HtmlPath = dir / "page.html";
  EXPECT_EQ(RefusalOf(request), "Export refused: the HTML file \"" + (dir / "page.html").string() +
                                    "\" and the slice \"" + (dir / "page_11.png").string() +
                                    "\" are the same file; nothing was written");
  fs::remove(dir / "page_11.png");

  // A folder where a slice goes: refused before the first slice is written.
  fs::create_directories(dir / "page_21.png");
  EXPECT_EQ(RefusalOf(request), "Export refused: the slice \"" + (dir / "page_21.png").string() +
                                    "\" is a folder, not a regular file; nothing was written");
  EXPECT_EQ(DirectoryNames(dir), (std::vector<std::string>{"page.html", "page_21.png"}));
  EXPECT_EQ(ReadFile(dir / "page.html"), "old page");
}

TEST_F(SliceExportTest, TheGridWrittenOnExportMayReplaceTheGridFileItCameFrom) {
  const fs::path dir = dir_.Path();
  std::ofstream(dir / "page.grd") << "0\r\n100\r\n40\r\n-\r\n200\r\n0\r\n120\r\n";
  options_.AlwaysGrid = true;
  TExportRequest request;
  request.HtmlPath = dir / "page.html";
  request.Source = &source_;
  request.Grid = &grid_;
  request.Extension = ".png";
  request.Options = &options_;
  request.Interaction = &interaction_;
  request.GridFilePath = dir / "page.grd";
  EXPECT_EQ(ExportSlices(request).Result, TExportResult::Done);
  EXPECT_EQ(ReadFile(dir / "page.grd"), "0\r\n40\r\n100\r\n-\r\n0\r\n120\r\n200\r\n");
}

TEST_F(SliceExportTest, ParallelAndSequentialFilesAreIdentical) {
  MakePatternImage(source_, 333, 217);
  grid_.ResetGrid(333, 217);
  for (int32_t x : {17, 100, 101, 250, 100}) grid_.AddVertical(x);
  for (int32_t y : {1, 90, 200}) grid_.AddHorizontal(y);
  // The WebP and AVIF encoders get more threads each when fewer slices are written at once; the
  // files stay the same.
  for (const char* extension : {".jpg", ".png", ".bmp", ".tif", "png8", "webp", "webp-lossless", "avif"}) {
    SCOPED_TRACE(extension);
    std::vector<std::vector<std::string>> listings;
    std::vector<std::string> contents[2];
    for (int32_t jobs : {1, 4}) {
      const fs::path dir = dir_.Path() / (std::string(extension + 1) + std::to_string(jobs));
      fs::create_directories(dir);
      TExportRequest request;
      request.HtmlPath = dir / "p.html";
      request.Source = &source_;
      request.Grid = &grid_;
      request.Extension = extension;
      request.Options = &options_;
      request.Interaction = &interaction_;
      request.Jobs = jobs;
      std::vector<int64_t> progress;
      request.OnProgress = [&](int64_t done, int64_t total) {
        EXPECT_EQ(total, 6 * 4);
        progress.push_back(done);
      };
      ExportSlices(request);
      ASSERT_FALSE(progress.empty());
      EXPECT_EQ(progress.front(), 0);
      EXPECT_EQ(progress.back(), 24);
      EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
      listings.push_back(DirectoryNames(dir));
      for (const std::string& name : listings.back())
        contents[jobs == 1 ? 0 : 1].push_back(ReadFile(dir / name));
    }
    EXPECT_EQ(listings[0], listings[1]);
    EXPECT_EQ(listings[0].size(), 1u + 5u * 4u);  // one column of width 0
    EXPECT_TRUE(contents[0] == contents[1]);
  }
}

// The formats that share a writer with another write what their names say, the export's own as
// well as a slice's own, and read back as such.
TEST_F(SliceExportTest, IndexedPngLosslessWebPAndAvifSlices) {
  // Column 1 of the pattern has many colours; the right column is painted in four.
  const pg::TColor red = pg::RGBColor(255, 0, 0), green = pg::RGBColor(0, 255, 0),
                   blue = pg::RGBColor(0, 0, 255), white = pg::RGBColor(255, 255, 255);
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 120; x < 200; ++x)
      source_.SetColors(x, y, y < 50 ? (x < 160 ? red : green) : (x < 160 ? blue : white));
  }
  slices_.Set({1, 2}, {"", "", "", "webp-lossless"});
  slices_.Set({2, 2}, {"", "", "", "avif"});
  slices_.Set({2, 1}, {"", "", "", "png"});
  pg::TSaveOptions options = pg::DefaultSaveOptions();
  options.PNGColors = 16;
  TExportRequest request;
  request.HtmlPath = dir_.Path() / "page.html";
  request.Source = &source_;
  request.Grid = &grid_;
  request.Extension = "png8";
  request.Options = &options_;
  request.Interaction = &interaction_;
  request.Slices = &slices_;
  request.SaveOptions = options;
  ASSERT_EQ(ExportSlices(request).Result, TExportResult::Done);
  EXPECT_EQ(DirectoryNames(dir_.Path()), (std::vector<std::string>{"page.html", "page_11.png", "page_12.webp",
                                                                   "page_21.png", "page_22.avif"}));

  // The export's own format: an indexed PNG of at most 16 colours, dithered.
  pg::TPixelGraphic slice;
  slice.LoadFromFile((dir_.Path() / "page_11.png").string());
  EXPECT_EQ(slice.BitCount(), pg::bc4Bit);
  EXPECT_EQ(slice.PaletteCount(), 16);
  EXPECT_EQ(ReadFile(dir_.Path() / "page_11.png")[25], 3);  // IHDR colour type: palette
  // A slice asking for plain PNG is 24 bits, exactly the cell.
  ExpectSlice("page_21.png", 120, 0, 80, 40);
  // Lossless WebP gives back every pixel; AVIF is a picture of the cell's size.
  ExpectSlice("page_12.webp", 0, 40, 120, 60);
  slice.LoadFromFile((dir_.Path() / "page_22.avif").string());
  EXPECT_EQ(slice.Width(), 80);
  EXPECT_EQ(slice.Height(), 60);
  EXPECT_GT(pg::GetBValue(slice.Colors(20, 50)), 200);  // blue stays blue
  EXPECT_LT(pg::GetRValue(slice.Colors(20, 50)), 50);

  // Few colours, many allowed: the indexed slice keeps them exactly.
  slices_.Set({2, 2}, {"", "", "", "png8"});
  ASSERT_EQ(Export("again.html", ".jpg").Result, TExportResult::Done);
  slice.LoadFromFile((dir_.Path() / "again_22.png").string());
  EXPECT_EQ(slice.BitCount(), pg::bc4Bit);
  EXPECT_EQ(slice.PaletteCount(), 4);
  for (int32_t y = 0; y < 60; y += 7) {
    for (int32_t x = 0; x < 80; x += 9)
      EXPECT_EQ(slice.Colors(x, y), source_.Colors(120 + x, 40 + y)) << x << ", " << y;
  }
}

// The slices are saved with the request's own options, in parallel too, whatever the library-wide
// settings say or become while the workers run; without options the export takes the library-wide
// ones as they stand when it starts.
TEST_F(SliceExportTest, SlicesFollowTheRequestsSaveOptions) {
  const pg::TFormatOptions saved = pg::FormatOptions();
  auto sliceBytes = [&](const std::string& folder, std::optional<pg::TSaveOptions> options, int32_t jobs) {
    const fs::path dir = dir_.Path() / folder;
    fs::create_directories(dir);
    TExportRequest request;
    request.HtmlPath = dir / "p.html";
    request.Source = &source_;
    request.Grid = &grid_;
    request.Extension = ".jpg";
    request.Options = &options_;
    request.Interaction = &interaction_;
    request.Jobs = jobs;
    request.SaveOptions = options;
    request.OnProgress = [](int64_t, int64_t) { pg::FormatOptions().JPEGQuality = 100; };
    ExportSlices(request);
    return ReadFile(dir / "p_12.jpg");
  };
  pg::TSaveOptions lowQuality;
  lowQuality.JPEGQuality = 10;
  pg::FormatOptions().JPEGQuality = 95;
  const std::string low = sliceBytes("low", lowQuality, 4);
  EXPECT_EQ(sliceBytes("low1", lowQuality, 1), low);
  pg::FormatOptions().JPEGQuality = 10;
  EXPECT_EQ(sliceBytes("defaults", std::nullopt, 4), low);
  pg::FormatOptions() = saved;

  pg::TPixelGraphic cell;
  cell.NewImage(120, 60, pg::bc24Bit);
  cell.CopyRect(0, 0, 120, 60, 0, 40, source_);
  pg::TMemoryStream direct;
  pg::SaveImage(cell, direct, "jpg", lowQuality);
  EXPECT_EQ(low, std::string(direct.Data().begin(), direct.Data().end()));
}

TEST_F(SliceExportTest, OverwriteQuestionOptionsAndEditedCode) {
  std::ofstream(dir_.Path() / "page.html") << "old";
  interaction_.OverwriteAnswer = false;
  options_.ShowOptions = true;
  EXPECT_EQ(Export("page.html").Result, TExportResult::Declined);
  ASSERT_EQ(interaction_.OverwriteQuestions.size(), 1u);
  EXPECT_EQ(interaction_.OverwriteQuestions[0].first,
            "Overwrite " + (dir_.Path() / "page.html").string() + "?");
  EXPECT_EQ(interaction_.OverwriteQuestions[0].second, "File already exists!");
  EXPECT_EQ(interaction_.OptionsShown, 0);
  EXPECT_EQ(DirectoryNames(dir_.Path()), std::vector<std::string>{"page.html"});

  interaction_.OverwriteAnswer = true;
  interaction_.OnOptions = [](TExportOptions& options) {
    options.UpperCase = true;
    options.EditCode = true;
  };
  interaction_.OnEdit = [](std::vector<std::string>& lines) {
    EXPECT_EQ(lines.back(), "</TABLE>");
    lines = {"<p>edited</p>"};
  };
  Export("page.html");
  EXPECT_EQ(interaction_.OptionsShown, 1);
  EXPECT_TRUE(options_.UpperCase);
  EXPECT_EQ(ReadFile(dir_.Path() / "page.html"), "<p>edited</p>\r\n");
}

TEST_F(SliceExportTest, CancelledExportWritesNoHtmlAndNoGrid) {
  options_.AlwaysGrid = true;
  for (int32_t jobs : {1, 2}) {
    onProgress_ = [&](int64_t done, int64_t) {
      if (done >= 1) cancel_ = true;
    };
    cancel_ = false;
    EXPECT_EQ(Export("c" + std::to_string(jobs) + ".html", ".png", jobs).Result, TExportResult::Cancelled);
    EXPECT_FALSE(fs::exists(dir_.Path() / ("c" + std::to_string(jobs) + ".html")));
    EXPECT_FALSE(fs::exists(dir_.Path() / ("c" + std::to_string(jobs) + ".grd")));
  }
}

TEST_F(SliceExportTest, ProgressHandlerThatThrowsStopsTheWorkersCleanly) {
  onProgress_ = [](int64_t done, int64_t) {
    if (done >= 1) throw std::runtime_error("stop here");
  };
  EXPECT_THROW(Export("t.html", ".png", 2), std::runtime_error);
  EXPECT_FALSE(fs::exists(dir_.Path() / "t.html"));
}

TEST_F(SliceExportTest, GridOutsideTheImageIsRefusedBeforeAnythingIsWritten) {
  grid_.VerticalSplits = {-5, 120, 200};
  EXPECT_THROW(Export("neg.html"), EExportError);
  grid_.VerticalSplits = {0, 120, 201};
  EXPECT_THROW(Export("wide.html"), EExportError);
  // 5000 x 5000 repeated positions: refused instead of building gigabytes of table text.
  grid_.VerticalSplits.Assign(std::vector<int32_t>(5001, 7));
  grid_.HorizontalSplits.Assign(std::vector<int32_t>(5001, 7));
  EXPECT_THROW(Export("huge.html"), EExportError);
  EXPECT_TRUE(DirectoryNames(dir_.Path()).empty());
}

// Link, target and ALT text stored with the slices reach the page without a question, and a
// slice with a format of its own is named and written in it, on one thread or several.
TEST_F(SliceExportTest, StoredSlicePropertiesAndFormatsAreUsedWithoutQuestions) {
  slices_.Set({1, 1}, {"index.html", "main", "Logo", ""});
  slices_.Set({2, 1}, {"", "unused", "", "png"});
  slices_.Set({2, 2}, {"", "", "Corner", "bmp"});
  for (int32_t jobs : {1, 3}) {
    SCOPED_TRACE(jobs);
    const std::string html = "page" + std::to_string(jobs) + ".html";
    const std::string base = "page" + std::to_string(jobs);
    const TExportReport report = Export(html, ".jpg", jobs);
    ASSERT_EQ(report.Result, TExportResult::Done);
    EXPECT_EQ(report.SlicesWritten, 4);
    const std::vector<std::string> lines = HtmlLines(html);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "<tr><td><A HREF=\"index.html\" TARGET=\"main\"><img src='" + base +
                            "_11.jpg' width=120 height=40 ALT=\"Logo\" BORDER=0></A></td><td><img src='" +
                            base + "_21.png' width=80 height=40></td></tr>");
    EXPECT_EQ(lines[2], "<tr><td><img src='" + base + "_12.jpg' width=120 height=60></td><td><img src='" +
                            base + "_22.bmp' width=80 height=60 ALT=\"Corner\"></td></tr>");
    ExpectSlice(base + "_21.png", 120, 0, 80, 40);
    ExpectSlice(base + "_22.bmp", 120, 40, 80, 60);
    EXPECT_EQ(ReadFile(dir_.Path() / (base + "_11.jpg")).substr(0, 2), "\xFF\xD8");  // a JPEG file
  }
  EXPECT_TRUE(interaction_.OpenTags.empty());
  // A format no writer of slices has is named, with the slice, before anything is written.
  slices_.Set({1, 2}, {"", "", "", "gif"});
  try {
    Export("bad.html");
    ADD_FAILURE() << "no error";
  } catch (const EExportError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Slice 3 (column 1, row 2) asks for the format \"gif\", which is not one of jpg, bmp, tif, "
              "png, png8, "
              "webp, webp-lossless or avif");
  }
  EXPECT_FALSE(fs::exists(dir_.Path() / "bad.html"));
  EXPECT_FALSE(fs::exists(dir_.Path() / "bad_11.png"));
}

// The questions come with what each slice has stored, count the slices, go back on request and
// end up in the report; the slices are written only after the last answer.
TEST_F(SliceExportTest, PerSliceQuestionsArePrefilledCountedAndCanGoBack) {
  options_.IncAltTags = true;
  slices_.Set({2, 1}, {"b.html", "", "Stored", "png"});
  std::vector<std::pair<int64_t, int64_t>> asked;
  bool wentBack = false;
  interaction_.OnSlice = [&](const TGridCell& cell, int64_t position, int64_t count,
                             TSliceProperties& properties) {
    asked.emplace_back(position, count);
    EXPECT_TRUE(DirectoryNames(dir_.Path()).empty()) << "written before the last answer";
    if (cell.Column == 1 && cell.Row == 2 && !wentBack) {
      wentBack = true;
      return tessel::TSliceAnswer::Back;
    }
    properties.Alt += "!";
    return tessel::TSliceAnswer::Next;
  };
  const TExportReport report = Export("page.html", ".jpg", 4);
  ASSERT_EQ(report.Result, TExportResult::Done);
  EXPECT_EQ(asked,
            (std::vector<std::pair<int64_t, int64_t>>{{1, 4}, {2, 4}, {3, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(interaction_.Offered[1], (TSliceProperties{"b.html", "", "Stored", "png"}));
  // Asked again after Back, the slice offers the answer given before.
  EXPECT_EQ(interaction_.Offered[3].Alt, "Stored!");
  EXPECT_EQ(report.Slices.Get({2, 1}).Alt, "Stored!!");
  EXPECT_EQ(report.Slices.Get({1, 1}).Alt, "!");
  EXPECT_EQ(HtmlLines("page.html")[1],
            "<tr><td><img src='page_11.jpg' width=120 height=40 ALT=\"!\"></td><td><A HREF=\"b.html\"><img "
            "src='page_21.png' width=80 height=40 ALT=\"Stored!!\" BORDER=0></A></td></tr>");
  // The request's table is left as it was.
  EXPECT_EQ(slices_.Get({2, 1}).Alt, "Stored");
}

// Cancel in any of the three dialogs ends the export with nothing written.
TEST_F(SliceExportTest, CancelInAnyDialogWritesNothing) {
  options_.AlwaysGrid = true;
  options_.ShowOptions = true;
  interaction_.OptionsAnswer = false;
  EXPECT_EQ(Export("page.html").Result, TExportResult::Cancelled);
  EXPECT_EQ(interaction_.OptionsShown, 1);

  interaction_.OptionsAnswer = true;
  interaction_.OnOptions = [](TExportOptions& options) { options.IncAltTags = true; };
  interaction_.OnSlice = [](const TGridCell&, int64_t position, int64_t, TSliceProperties&) {
    return position == 3 ? tessel::TSliceAnswer::Cancel : tessel::TSliceAnswer::Next;
  };
  EXPECT_EQ(Export("page.html").Result, TExportResult::Cancelled);
  EXPECT_EQ(interaction_.OpenTags.size(), 3u);

  interaction_.OnSlice = nullptr;
  interaction_.OnOptions = [](TExportOptions& options) { options.EditCode = true; };
  interaction_.EditAnswer = false;
  const TExportReport report = Export("page.html");
  EXPECT_EQ(report.Result, TExportResult::Cancelled);
  EXPECT_TRUE(report.Lines.empty());
  EXPECT_TRUE(DirectoryNames(dir_.Path()).empty());
}

}  // namespace
}  // namespace tessel
