// tessel-cli export, run as the real program.
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "tests/cli/cli_test_support.h"

namespace tessel::cli {
namespace {

using test::ReadFile;
namespace fs = std::filesystem;

class ExportCommandTest : public test::TCliTest {
 protected:
  void SetUp() override {
    TCliTest::SetUp();
    image_ = (fs::path(TESSEL_SOURCE_DIR) / "samples" / "banner.png").string();
  }

  // Runs tessel-cli export with `args`.
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "export");
    return RunCli(args);
  }

  std::string Html(const std::string& name = "page.html") { return (dir_ / name).string(); }

  std::string image_;
};

TEST_F(ExportCommandTest, DivideFormatCaseQuotesAndSavedGrid) {
  ASSERT_EQ(Run({image_, "--html", Html(), "--divide", "3x2", "--format", "png", "--uppercase",
                 "--doublequote", "--save-grid", "--jobs", "2"}),
            0)
      << err_;
  EXPECT_EQ(err_, "");  // no progress bar when standard error is not a terminal
  EXPECT_EQ(ReadFile(dir_ / "page.grd"), "0\r\n75\r\n150\r\n-\r\n0\r\n200\r\n400\r\n600\r\n");
  const std::string html = ReadFile(dir_ / "page.html");
  EXPECT_EQ(html.substr(0, html.find("\r\n")), "<TABLE CELLSPACING = 0 CELLPADDING = 0 BORDER = 0>");
  EXPECT_NE(html.find("<TD><IMG SRC=\"page_32.png\" WIDTH=200 HEIGHT=75></TD></TR>\r\n</TABLE>\r\n"),
            std::string::npos)
      << html;
  for (const char* name :
       {"page_11.png", "page_21.png", "page_31.png", "page_12.png", "page_22.png", "page_32.png"}) {
    EXPECT_TRUE(fs::exists(dir_ / name)) << name;
  }
}

TEST_F(ExportCommandTest, DividePositionsTruncateAndAreNotAddedTwice) {
  // 600 x 150 in 7 columns and 4 rows: i * 600 div 7 and j * 150 div 4, truncated, not rounded;
  // 342 and 75 are already present and are not added again.
  ASSERT_EQ(
      Run({image_, "--html", Html(), "--vsplit", "342", "--hsplit", "75", "--divide", "7x4", "--save-grid"}),
      0)
      << err_;
  EXPECT_EQ(ReadFile(dir_ / "page.grd"),
            "0\r\n37\r\n75\r\n112\r\n150\r\n-\r\n0\r\n85\r\n171\r\n257\r\n342\r\n428\r\n514\r\n600\r\n");
  EXPECT_TRUE(fs::exists(dir_ / "page_74.jpg"));
}

TEST_F(ExportCommandTest, ExistingHtmlNeedsForce) {
  std::ofstream(Html()) << "keep";
  EXPECT_EQ(Run({image_, "--html", Html()}), 1);
  EXPECT_NE(err_.find("File already exists!"), std::string::npos) << err_;
  EXPECT_NE(err_.find(Html()), std::string::npos) << err_;
  EXPECT_EQ(ReadFile(Html()), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  EXPECT_EQ(Run({image_, "--html", Html(), "--force"}), 0) << err_;
  EXPECT_NE(ReadFile(Html()), "keep");
  EXPECT_TRUE(fs::exists(dir_ / "page_11.jpg"));
}

TEST_F(ExportCommandTest, GridFileClampMessagesAndSplitsAddedOnce) {
  std::ofstream(dir_ / "in.grd", std::ios::binary) << "0\r\n150\r\n-\r\n0\r\n700\r\n";
  ASSERT_EQ(Run({image_, "--html", Html(), "--grid", (dir_ / "in.grd").string(), "--vsplit", "600,100,100",
                 "--hsplit", "150", "--save-grid"}),
            0)
      << err_;
  EXPECT_EQ(err_, "Grid larger than image, line 700 out of bounds!\n");
  // 700 became 600; the 600 and the second 100 given on the command line were not added again.
  EXPECT_EQ(ReadFile(dir_ / "page.grd"), "0\r\n150\r\n-\r\n0\r\n100\r\n600\r\n");
}

TEST_F(ExportCommandTest, LinksFileAnswersTheListedSlices) {
  std::ofstream(dir_ / "links.tsv", std::ios::binary)
      << "1\t1\tindex.html\tmain\tLogo\r\n\n2\t1\t\t\tSky \"blue\"\n";
  ASSERT_EQ(Run({image_, "--html", Html(), "--vsplit", "120", "--links", (dir_ / "links.tsv").string()}), 0)
      << err_;
  const std::string html = ReadFile(Html());
  EXPECT_NE(
      html.find("<tr><td><A HREF=\"index.html\" TARGET=\"main\"><img src='page_11.jpg' width=120 height=150 "
                "ALT=\"Logo\" BORDER=0></A></td><td><img src='page_21.jpg' width=480 height=150 ALT=\"Sky "
                "&quot;blue&quot;\"></td></tr>\r\n"),
      std::string::npos)
      << html;
}

TEST_F(ExportCommandTest, QualityAndProgressiveReachTheJpegSlices) {
  ASSERT_EQ(Run({image_, "--html", Html("low.html"), "--quality", "20"}), 0) << err_;
  ASSERT_EQ(Run({image_, "--html", Html("high.html"), "--quality", "95", "--progressive"}), 0) << err_;
  const std::string low = ReadFile(dir_ / "low_11.jpg");
  const std::string high = ReadFile(dir_ / "high_11.jpg");
  EXPECT_LT(low.size() * 2, high.size());
  // Start-of-frame marker: baseline (FF C0) unless progressive (FF C2).
  EXPECT_NE(low.find("\xFF\xC0"), std::string::npos);
  EXPECT_EQ(low.find("\xFF\xC2"), std::string::npos);
  EXPECT_NE(high.find("\xFF\xC2"), std::string::npos);
}

// The formats beyond the classic four: png8 with its colours and dithering (the last of --dither
// and --no-dither counts), WebP and AVIF with the one --quality, lossless WebP by its name.
TEST_F(ExportCommandTest, IndexedPngWebPAndAvifSlices) {
  ASSERT_EQ(Run({image_, "--html", Html("few.html"), "--divide", "2x1", "--format", "png8", "--colors", "8",
                 "--no-dither", "--dither", "--no-dither"}),
            0)
      << err_;
  ASSERT_EQ(Run({image_, "--html", Html("dith.html"), "--divide", "2x1", "--format", "png8", "--colors=8"}),
            0)
      << err_;
  pg::TPixelGraphic plain, dithered, exact;
  plain.LoadFromFile((dir_ / "few_11.png").string());
  dithered.LoadFromFile((dir_ / "dith_11.png").string());
  EXPECT_EQ(plain.BitCount(), pg::bc4Bit);
  EXPECT_LE(plain.PaletteCount(), 8);
  EXPECT_EQ(dithered.PaletteCount(), plain.PaletteCount());
  int32_t differ = 0;
  for (int32_t y = 0; y < plain.Height(); ++y) {
    for (int32_t x = 0; x < plain.Width(); ++x) differ += plain.Colors(x, y) != dithered.Colors(x, y) ? 1 : 0;
  }
  EXPECT_GT(differ, 100);
  // The banner has far fewer than 256 colours in a cell of 60 x 50: kept exactly.
  ASSERT_EQ(Run({image_, "--html", Html("exact.html"), "--divide", "10x3", "--format", "png8"}), 0) << err_;
  pg::TPixelGraphic banner;
  banner.LoadFromFile(image_);
  exact.LoadFromFile((dir_ / "exact_0101.png").string());
  ASSERT_NE(exact.BitCount(), pg::bc24Bit);
  for (int32_t y = 0; y < 50; ++y) {
    for (int32_t x = 0; x < 60; ++x) ASSERT_EQ(exact.Colors(x, y), banner.Colors(x, y)) << x << ", " << y;
  }

  ASSERT_EQ(Run({image_, "--html", Html("low.html"), "--format", "webp", "--quality", "10"}), 0) << err_;
  ASSERT_EQ(Run({image_, "--html", Html("high.html"), "--format", "webp", "--quality", "95"}), 0) << err_;
  EXPECT_LT(ReadFile(dir_ / "low_11.webp").size() * 2, ReadFile(dir_ / "high_11.webp").size());
  ASSERT_EQ(Run({image_, "--html", Html("lossless.html"), "--format", "webp-lossless"}), 0) << err_;
  pg::TPixelGraphic lossless;
  lossless.LoadFromFile((dir_ / "lossless_11.webp").string());
  for (int32_t y = 0; y < banner.Height(); y += 7) {
    for (int32_t x = 0; x < banner.Width(); x += 5) ASSERT_EQ(lossless.Colors(x, y), banner.Colors(x, y));
  }
  ASSERT_EQ(Run({image_, "--html", Html("a.html"), "--format", "avif", "--quality", "20", "--speed", "10"}),
            0)
      << err_;
  ASSERT_EQ(Run({image_, "--html", Html("b.html"), "--format", "avif", "--quality", "90"}), 0) << err_;
  EXPECT_LT(ReadFile(dir_ / "a_11.avif").size() * 2, ReadFile(dir_ / "b_11.avif").size());
  EXPECT_NE(ReadFile(Html("b.html")).find("b_11.avif"), std::string::npos);

  EXPECT_EQ(Run({image_, "--html", Html("bad.html"), "--format", "png8", "--colors", "1"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html("bad.html"), "--format", "png8", "--colors", "257"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html("bad.html"), "--format", "avif", "--speed", "11"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html("bad.html"), "--format", "webp", "--lossless"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html("bad.html"), "--format", "PNG8"}), 2);
  EXPECT_FALSE(fs::exists(Html("bad.html")));
}

// Runs in the scratch folder, so that the paths can be given as a user types them.
class ExportInFolderTest : public ExportCommandTest {
 protected:
  void SetUp() override {
    ExportCommandTest::SetUp();
    previous_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    ExportCommandTest::TearDown();
  }
  fs::path previous_;
};

TEST_F(ExportInFolderTest, RefusesToWriteOverItsOwnInputs) {
  fs::copy_file(image_, "y_21.png");
  const std::string source = ReadFile("y_21.png");
  EXPECT_EQ(Run({"y_21.png", "--html", "y.html", "--divide", "2x2", "--format", "png"}), 1);
  EXPECT_EQ(err_,
            "Export refused: the slice \"y_21.png\" would overwrite \"y_21.png\", a file the export reads; "
            "nothing was written\n");
  EXPECT_EQ(ReadFile("y_21.png"), source);

  // The grid file and the links file are inputs as well, whatever the spelling.
  fs::copy_file(image_, "src.png");
  std::ofstream("y_12.png", std::ios::binary) << "0\r\n75\r\n150\r\n-\r\n0\r\n300\r\n600\r\n";
  const std::string grid = "../" + dir_.filename().string() + "/y_12.png";
  EXPECT_EQ(Run({"src.png", "--html", "y.html", "--grid", grid, "--format", "png"}), 1);
  EXPECT_EQ(err_, "Export refused: the slice \"y_12.png\" would overwrite \"" + grid +
                      "\", a file the export reads; nothing was written\n");
  std::ofstream("y_22.png", std::ios::binary) << "1\t1\tindex.html\n";
  fs::create_symlink("y_22.png", "links.tsv");
  EXPECT_EQ(
      Run({"src.png", "--html", "y.html", "--divide", "2x2", "--format", "png", "--links", "links.tsv"}), 1);
  EXPECT_EQ(err_,
            "Export refused: the slice \"y_22.png\" would overwrite \"links.tsv\", a file the export reads; "
            "nothing was written\n");
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 5);

  // Writing the grid back over the grid file it was read from is what --save-grid is for.
  fs::copy_file("y_12.png", "y.grd");
  EXPECT_EQ(Run({"src.png", "--html", "y.html", "--grid", "y.grd", "--save-grid", "--vsplit", "100"}), 0)
      << err_;
  EXPECT_EQ(ReadFile("y.grd"), "0\r\n75\r\n150\r\n-\r\n0\r\n100\r\n300\r\n600\r\n");
}

TEST_F(ExportCommandTest, ManyClampedValuesAreSummedUp) {
  std::string grid = "0\r\n150\r\n-\r\n0\r\n";
  for (int i = 0; i < 1000; ++i) grid += "700\r\n";
  std::ofstream(dir_ / "in.grd", std::ios::binary) << grid;
  ASSERT_EQ(Run({image_, "--html", Html(), "--grid", (dir_ / "in.grd").string()}), 0) << err_;
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += "Grid larger than image, line 700 out of bounds!\n";
  expected +=
      "Grid larger than image, 995 more lines out of bounds in \"" + (dir_ / "in.grd").string() + "\"!\n";
  EXPECT_EQ(err_, expected);
}

// A project saved by the window: its picture (found beside it), grid, slice properties and export
// settings make the export; options given as well take the place of its settings.
TEST_F(ExportCommandTest, ProjectBringsPictureGridSlicesAndSettings) {
  fs::create_directories(dir_ / "work");
  fs::copy_file(image_, dir_ / "work" / "banner.png");
  const std::string project = Path("work/banner.tessel");
  std::ofstream(project) << R"({"format": "tessel-project", "version": 1, "image": "banner.png",
      "grid": {"horizontal": [0, 150], "vertical": [0, 600, 120]},
      "slices": [{"column": 1, "row": 1, "url": "index.html", "alt": "Logo"},
                 {"column": 2, "row": 1, "alt": "Sky", "format": "png"}],
      "export": {"format": "bmp", "upper_case": true, "double_quote": true, "show_options": true,
                 "include_alt_tags": true, "edit_code": true}})";
  ASSERT_EQ(Run({"--project", project, "--html", Html()}), 0) << err_;
  EXPECT_NE(
      ReadFile(Html()).find("<TR><TD><A HREF=\"index.html\"><IMG SRC=\"page_11.bmp\" WIDTH=120 HEIGHT=150 "
                            "ALT=\"Logo\" BORDER=0></A></TD><TD><IMG SRC=\"page_21.png\" WIDTH=480 "
                            "HEIGHT=150 ALT=\"Sky\"></TD></TR>\r\n"),
      std::string::npos)
      << ReadFile(Html());
  EXPECT_EQ(out_, Html() + ": bmp: 1 slice, " + std::to_string(fs::file_size(dir_ / "page_11.bmp")) +
                      " bytes\n" + Html() + ": png: 1 slice, " +
                      std::to_string(fs::file_size(dir_ / "page_21.png")) + " bytes\n");

  // --format replaces the project's; a line added splits slice 2, whose properties stay on its left
  // part.
  ASSERT_EQ(Run({"--project", project, "--html", Html("again.html"), "--format", "jpg", "--vsplit", "300"}),
            0)
      << err_;
  const std::string again = ReadFile(Html("again.html"));
  EXPECT_NE(again.find("<IMG SRC=\"again_21.png\" WIDTH=180 HEIGHT=150 ALT=\"Sky\"></TD><TD><IMG "
                       "SRC=\"again_31.jpg\" WIDTH=300 HEIGHT=150></TD>"),
            std::string::npos)
      << again;

  // Another picture in its place: positions beyond it come back to its edge, with a message.
  std::ofstream(dir_ / "work" / "wide.tessel") << R"({"format": "tessel-project", "version": 1,
      "image": "banner.png", "grid": {"horizontal": [0, 150], "vertical": [0, 700]}})";
  ASSERT_EQ(Run({"--project", Path("work/wide.tessel"), image_, "--html", Html("wide.html")}), 0) << err_;
  EXPECT_EQ(err_, Path("work/wide.tessel") + ": Grid larger than image, line 700 out of bounds!\n");
  EXPECT_NE(ReadFile(Html("wide.html")).find("width=600 height=150"), std::string::npos);

  // The project is one of the export's inputs: never written over.
  EXPECT_EQ(Run({"--project", project, "--html", project, "--force"}), 1);
  EXPECT_NE(err_.find("would overwrite \"" + project + "\", a file the export reads"), std::string::npos)
      << err_;
}

// The project's WebP, AVIF and png8 settings make the same files as the options that say the same;
// an option given takes the place of the project's setting.
TEST_F(ExportCommandTest, ProjectEncodingSettingsReachTheSlices) {
  const std::string project = Path("enc.tessel");
  std::ofstream(project) << R"({"format": "tessel-project", "version": 1, "image": ")" + image_ + R"(",
      "grid": {"horizontal": [0, 150], "vertical": [0, 600]},
      "export": {"format": "png8", "style": "email", "picture_formats": ["avif", "webp"],
                 "webp_quality": 10, "avif_quality": 20, "avif_speed": 10, "png8_colors": 8,
                 "png8_dither": false}})";
  ASSERT_EQ(Run({"--project", project, "--html", Html("p.html")}), 0) << err_;
  ASSERT_EQ(Run({image_, "--html", Html("o.html"), "--style", "email", "--format", "avif,webp,png8",
                 "--quality", "10", "--colors", "8", "--no-dither"}),
            0)
      << err_;
  EXPECT_EQ(ReadFile(dir_ / "p_11.webp"), ReadFile(dir_ / "o_11.webp"));
  EXPECT_EQ(ReadFile(dir_ / "p_11.png"), ReadFile(dir_ / "o_11.png"));
  ASSERT_EQ(Run({image_, "--html", Html("a.html"), "--style", "email", "--format", "avif,webp,png8",
                 "--quality", "20", "--speed", "10"}),
            0)
      << err_;
  EXPECT_EQ(ReadFile(dir_ / "p_11.avif"), ReadFile(dir_ / "a_11.avif"));

  // Options given win over the project's settings, one by one.
  ASSERT_EQ(Run({"--project", project, "--html", Html("q.html"), "--quality", "90", "--colors", "4"}), 0)
      << err_;
  EXPECT_GT(ReadFile(dir_ / "q_11.webp").size(), 2 * ReadFile(dir_ / "p_11.webp").size());
  pg::TPixelGraphic eight, four;
  eight.LoadFromFile((dir_ / "p_11.png").string());
  four.LoadFromFile((dir_ / "q_11.png").string());
  EXPECT_GT(eight.PaletteCount(), 4);
  EXPECT_LE(eight.PaletteCount(), 8);
  EXPECT_LE(four.PaletteCount(), 4);
}

TEST_F(ExportCommandTest, ProjectFaultsNameTheFile) {
  std::ofstream(dir_ / "bad.tessel") << "{\"format\": \"tessel-project\",";
  EXPECT_EQ(Run({"--project", Path("bad.tessel"), "--html", Html()}), 1);
  EXPECT_EQ(err_, Path("bad.tessel") +
                      ": is damaged or not a Tessel project: it is not valid JSON (line 1, "
                      "column 29)\n");
  std::ofstream(dir_ / "gone.tessel") << R"({"format": "tessel-project", "version": 1, "image": "gone.png",
      "grid": {"horizontal": [0, 150], "vertical": [0, 600]}})";
  EXPECT_EQ(Run({"--project", Path("gone.tessel"), "--html", Html()}), 1);
  EXPECT_NE(err_.find(Path("gone.tessel") + ": its picture " + Path("gone.png") + " was not found."),
            std::string::npos)
      << err_;
  fs::create_directories(dir_ / "folder.tessel");
  EXPECT_EQ(Run({"--project", Path("folder.tessel"), "--html", Html()}), 1);
  EXPECT_EQ(err_, Path("folder.tessel") + ": is a folder, not a project file\n");
  // A grid of its own besides the project's, or neither picture nor project: wrong usage.
  EXPECT_EQ(Run({"--project", Path("gone.tessel"), "--grid", Path("x.grd"), "--html", Html()}), 2);
  EXPECT_EQ(Run({"--html", Html()}), 2);
  EXPECT_FALSE(fs::exists(Html()));
}

TEST_F(ExportCommandTest, UsageErrors) {
  EXPECT_EQ(Run({image_, "--html", Html(), "--vsplit", "601"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html(), "--hsplit", "-1"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html(), "--divide", "3"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html(), "--format", "gif"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html(), "--quality", "101"}), 2);
  EXPECT_EQ(Run({image_, "--html", Html(), "--jobs", "0"}), 2);
  EXPECT_EQ(Run({image_, image_, "--html", Html()}), 2);
  EXPECT_EQ(Run({image_, "--html", Html(), "--bogus"}), 2);
  EXPECT_EQ(Run({image_}), 2);
  EXPECT_EQ(Run({(dir_ / "missing.png").string(), "--html", Html()}), 1);
  EXPECT_EQ(Run({image_, "--html", Html(), "--links", "/dev/zero"}), 1);  // refused, not read forever
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);
}

TEST_F(ExportCommandTest, SeveralFormatsHighDensityReportAndOneSummaryLinePerFormat) {
  // The sample as a high-density picture of 300 x 75 page pixels, in PNG and JPEG, as a responsive
  // fragment with its images elsewhere.
  ASSERT_EQ(Run({image_, "--html", Html(), "--divide", "2x1", "--format", "png,jpg", "--style", "responsive",
                 "--fragment", "--density", "2", "--base-url", "https://cdn.example.com/b/", "--report",
                 Path("sizes.json")}),
            0)
      << err_;
  const nlohmann::json report = nlohmann::json::parse(ReadFile(dir_ / "sizes.json"));
  ASSERT_EQ(report["totals"].size(), 2u);
  std::string summary;
  for (const auto& total : report["totals"]) {
    summary += Html() + ": " + total["format"].get<std::string>() + ": 2 slices, " +
               std::to_string(total["bytes"].get<int64_t>()) + " bytes\n";
  }
  EXPECT_EQ(out_, summary);
  int64_t pngBytes = 0;
  for (const char* name : {"page_11.png", "page_11@2x.png", "page_21.png", "page_21@2x.png"})
    pngBytes += static_cast<int64_t>(fs::file_size(dir_ / name));
  EXPECT_EQ(report["totals"][0]["bytes"], pngBytes);
  EXPECT_EQ(report["slices"][1]["formats"]["jpg"]["dense_file"], "page_21@2x.jpg");
  const std::string html = ReadFile(dir_ / "page.html");
  EXPECT_EQ(html.rfind("<div style=\"display:grid;grid-template-columns:minmax(0,150fr) minmax(0,150fr);", 0),
            0u)
      << html;
  EXPECT_NE(
      html.find(
          "<source type=\"image/png\" srcset=\"https://cdn.example.com/b/page_11.png 1x, "
          "https://cdn.example.com/b/page_11@2x.png 2x\"><img src=\"https://cdn.example.com/b/page_11.jpg\""),
      std::string::npos)
      << html;
}

TEST_F(ExportCommandTest, PageOptionsThatDoNotGoTogetherAreUsageErrors) {
  const auto usage = [&](std::vector<std::string> args, const std::string& message) {
    args.insert(args.begin(), {image_, "--html", Html()});
    EXPECT_EQ(Run(args), 2) << message;
    EXPECT_EQ(err_.substr(0, err_.find('\n')), "tessel-cli export: " + message);
  };
  const std::string other = " (--style email or --style responsive)";
  usage({"--format", "png,jpg"},
        "--format png,jpg: the classic table shows one format only; several need another style" + other);
  usage({"--density", "2"},
        "--density 2: the classic table has no high-density slices; they need another style" + other);
  usage({"--base-url", "https://x/"},
        "--base-url: the classic table takes none; it needs another style" + other);
  usage({"--style", "email", "--fragment"},
        "--fragment: only the responsive style writes a whole document (--style responsive)");
  usage({"--style", "Email"}, "--style: expected classic, email or responsive, got \"Email\"");
  usage({"--style", "email", "--density", "4"}, "--density: expected a whole number from 1 to 3, got \"4\"");
  usage({"--style", "email", "--format", "png,,jpg"},
        "--format: expected jpg, bmp, tif, png, png8, webp, webp-lossless or avif (or several, separated by "
        "commas), got \"\"");
  usage({"--style", "email", "--format", "png,jpg,png"}, "--format: png is listed twice in \"png,jpg,png\"");
  // A report that would replace the image it reads is refused before anything is written.
  EXPECT_EQ(Run({Path("copy.png"), "--html", Html(), "--report", Path("copy.png")}), 1);
  fs::copy_file(image_, dir_ / "copy.png");
  EXPECT_EQ(Run({Path("copy.png"), "--html", Html(), "--report", Path("copy.png")}), 1);
  EXPECT_NE(err_.find("would overwrite"), std::string::npos) << err_;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tessel::cli
