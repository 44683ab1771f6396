// The export in the e-mail and responsive styles: several formats at once, high-density slices and
// the size report.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "imaging/formats/image_io.h"
#include "tests/workspace/export_test_support.h"
#include "workspace/errors.h"
#include "workspace/slice_export.h"

namespace tessel {
namespace {

using namespace tessel::testing;

class StyledExportTest : public TExportFixture {
 protected:
  TExportRequest Request(const std::string& extension = ".png", int32_t jobs = 1) {
    return BaseRequest("page.html", extension, jobs);
  }

  std::string Refusal(const TExportRequest& request) {
    try {
      ExportSlices(request);
    } catch (const EExportError& e) {
      return e.what();
    }
    return "";
  }

  // The file holds exactly `image`'s rectangle at (left, top).
  void ExpectPixels(const std::string& name, const pg::TPixelGraphic& image, int32_t left, int32_t top,
                    int32_t width, int32_t height) {
    SCOPED_TRACE(name);
    pg::TPixelGraphic slice;
    slice.LoadFromFile((dir_.Path() / name).string());
    ASSERT_EQ(slice.Width(), width);
    ASSERT_EQ(slice.Height(), height);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        ASSERT_EQ(slice.Colors(x, y), image.Colors(left + x, top + y)) << x << "," << y;
      }
    }
  }
};

TEST_F(StyledExportTest, EmailInTwoFormatsWritesEveryFileAndAPicturePerSlice) {
  options_.Style = TOutputStyle::Email;
  options_.PictureFormats = {"png"};
  options_.UpperCase = true;  // no effect outside the classic table
  options_.DoubleQuote = true;
  slices_.Set({1, 1}, {"https://example.com/?a=1&b=2", "_blank", "Logo \"A&B\"", ""});
  slices_.Set({2, 2}, {"", "", "", "jpg"});  // a slice with a format of its own gets that one only
  const TExportReport report = ExportSlices(Request(".bmp"));
  EXPECT_EQ(DirectoryNames(dir_.Path()),
            (std::vector<std::string>{"page.html", "page_11.bmp", "page_11.png", "page_12.bmp", "page_12.png",
                                      "page_21.bmp", "page_21.png", "page_22.jpg"}));
  EXPECT_EQ(
      ReadFile(dir_.Path() / "page.html"),
      "<table role=\"presentation\" cellspacing=\"0\" cellpadding=\"0\" border=\"0\" width=\"200\" "
      "style=\"border-collapse:collapse\">\r\n"
      "<tr><td width=\"120\" height=\"40\"><a href=\"https://example.com/?a=1&b=2\" target=\"_blank\" "
      "rel=\"noopener\"><picture style=\"display:block\"><source type=\"image/png\" srcset=\"page_11.png\">"
      "<img src=\"page_11.bmp\" width=\"120\" height=\"40\" style=\"display:block;border:0\" "
      "alt=\"Logo &quot;A&amp;B&quot;\"></picture></a></td>"
      "<td width=\"80\" height=\"40\"><picture style=\"display:block\"><source type=\"image/png\" "
      "srcset=\"page_21.png\"><img src=\"page_21.bmp\" width=\"80\" height=\"40\" "
      "style=\"display:block;border:0\" alt=\"\"></picture></td></tr>\r\n"
      "<tr><td width=\"120\" height=\"60\"><picture style=\"display:block\"><source type=\"image/png\" "
      "srcset=\"page_12.png\"><img src=\"page_12.bmp\" width=\"120\" height=\"60\" "
      "style=\"display:block;border:0\" alt=\"\"></picture></td>"
      "<td width=\"80\" height=\"60\"><img src=\"page_22.jpg\" width=\"80\" height=\"60\" "
      "style=\"display:block;border:0\" alt=\"\"></td></tr>\r\n"
      "</table>\r\n");
  for (const char* name : {"page_21.png", "page_21.bmp"}) ExpectPixels(name, source_, 120, 0, 80, 40);

  // Per format: the slices and the bytes of their files, the export's formats first.
  const std::vector<TFormatTotal> totals = report.Totals();
  ASSERT_EQ(totals.size(), 3u);
  EXPECT_EQ(totals[0].Format, "png");
  EXPECT_EQ(totals[1].Format, "bmp");
  EXPECT_EQ(totals[2].Format, "jpg");
  EXPECT_EQ(totals[0].Slices, 3);
  EXPECT_EQ(totals[2].Slices, 1);
  int64_t pngBytes = 0;
  for (const char* name : {"page_11.png", "page_21.png", "page_12.png"})
    pngBytes += static_cast<int64_t>(fs::file_size(dir_.Path() / name));
  EXPECT_EQ(totals[0].Bytes, pngBytes);
  EXPECT_EQ(report.TotalBytes(), totals[0].Bytes + totals[1].Bytes + totals[2].Bytes);
  ASSERT_EQ(report.Records.size(), 4u);
  EXPECT_EQ(report.Records[3].Files.size(), 1u);
  EXPECT_EQ(report.Records[3].Files[0].File, "page_22.jpg");
}

TEST_F(StyledExportTest, HighDensitySlicesTileThePageSizePicture) {
  // A picture of 201 x 101 at density 2. Page edges: 0, 1 -> 0, 3 -> 2, 120 -> 60, 201 -> 100 across
  // and 0, 41 -> 20, 101 -> 50 down, so the first column vanishes from the page and the others are
  // 2, 58 and 40 wide; they tile the 100 x 50 picture.
  MakePatternImage(source_, 201, 101);
  grid_.VerticalSplits = {0, 1, 3, 120, 201};
  grid_.HorizontalSplits = {0, 41, 101};
  options_.Style = TOutputStyle::Responsive;
  options_.Density = 2;
  options_.Fragment = true;
  const TExportReport report = ExportSlices(Request(".png", 3));
  std::vector<std::string> expected = {"page.html"};
  for (const char* cell : {"21", "22", "31", "32", "41", "42"}) {
    expected.push_back("page_" + std::string(cell) + ".png");
    expected.push_back("page_" + std::string(cell) + "@2x.png");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(DirectoryNames(dir_.Path()), expected);
  // The full-resolution files are the source's cells; the page-size ones have the page's sizes.
  ExpectPixels("page_31@2x.png", source_, 3, 0, 117, 41);
  ExpectPixels("page_42@2x.png", source_, 120, 41, 81, 60);
  const std::pair<const char*, std::pair<int32_t, int32_t>> sizes[] = {{"page_21.png", {2, 20}},
                                                                       {"page_31.png", {58, 20}},
                                                                       {"page_41.png", {40, 20}},
                                                                       {"page_42.png", {40, 30}}};
  for (const auto& [name, size] : sizes) {
    pg::TPixelGraphic slice;
    slice.LoadFromFile((dir_.Path() / name).string());
    EXPECT_EQ(std::make_pair(slice.Width(), slice.Height()), size) << name;
  }
  const std::vector<std::string> lines = SplitCrLf(ReadFile(dir_.Path() / "page.html"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(
      lines[0],
      "<div style=\"display:grid;grid-template-columns:minmax(0,2fr) minmax(0,58fr) minmax(0,40fr);"
      "grid-template-rows:minmax(0,20fr) minmax(0,30fr);width:100%;max-width:100px;aspect-ratio:100/50\">");
  EXPECT_NE(
      lines[2].find("<img src=\"page_42.png\" srcset=\"page_42.png 1x, page_42@2x.png 2x\" width=\"40\" "
                    "height=\"30\" decoding=\"async\""),
      std::string::npos)
      << lines[2];
  ASSERT_EQ(report.Records.size(), 6u);
  const TSliceRecord& last = report.Records.back();
  EXPECT_EQ(last.Cell.Left, 120);
  EXPECT_EQ(last.Cell.Top, 41);
  EXPECT_EQ(std::make_tuple(last.PageLeft, last.PageTop, last.PageWidth, last.PageHeight),
            std::make_tuple(60, 20, 40, 30));
  EXPECT_EQ(last.Files[0].DenseFile, "page_42@2x.png");
  EXPECT_EQ(last.Files[0].DenseBytes, static_cast<int64_t>(fs::file_size(dir_.Path() / "page_42@2x.png")));
}

TEST_F(StyledExportTest, EvenCellsScaleLikeTheWholePicture) {
  // Split at even positions, every page-size slice is exactly its part of the whole picture scaled
  // with the precise scaled copy.
  options_.Style = TOutputStyle::Email;
  options_.Density = 2;
  options_.PictureFormats = {"bmp"};
  ExportSlices(Request(".png"));
  pg::TPixelGraphic whole;
  whole.NewImage(100, 50, pg::bc24Bit);
  whole.SetStretchMode(pg::smPrecise);
  whole.CopyFrom(source_);
  ExpectPixels("page_11.png", whole, 0, 0, 60, 20);
  ExpectPixels("page_21.bmp", whole, 60, 0, 40, 20);
  ExpectPixels("page_22.png", whole, 60, 20, 40, 30);
  ExpectPixels("page_22@2x.bmp", source_, 120, 40, 80, 60);
}

TEST_F(StyledExportTest, WhatCannotBeWrittenIsRefusedBeforeAnythingIs) {
  const auto refused = [&](const std::string& expected) {
    EXPECT_EQ(Refusal(Request()), expected);
    EXPECT_TRUE(DirectoryNames(dir_.Path()).empty());
    options_ = TExportOptions();
    options_.ShowOptions = false;
  };
  options_.Density = 2;
  refused(
      "The classic table cannot show high-density slices (density 2); choose the email or responsive style");
  options_.PictureFormats = {"jpg"};
  refused("The classic table shows one format only; choose the email or responsive style to write several");
  options_.Style = TOutputStyle::Responsive;
  options_.Density = 4;
  refused("The density must be 1 to 3, not 4");
  options_.Style = TOutputStyle::Email;
  options_.PictureFormats = {"gif"};
  refused("\"gif\" is not a slice format; choose jpg, bmp, tif, png, png8, webp, webp-lossless or avif");
  options_.Style = TOutputStyle::Email;
  options_.PictureFormats = {"jpg", "png"};
  refused("The format png is named twice");

  // A full-resolution file that would replace an input, and a report that would replace the page.
  options_.Style = TOutputStyle::Email;
  options_.Density = 3;
  std::ofstream(dir_.Path() / "page_21@3x.png") << "mine";
  TExportRequest request = Request();
  request.InputPaths = {dir_.Path() / "page_21@3x.png"};
  EXPECT_EQ(Refusal(request), "Export refused: the slice \"" + (dir_.Path() / "page_21@3x.png").string() +
                                  "\" would overwrite \"" + (dir_.Path() / "page_21@3x.png").string() +
                                  "\", a file the export reads; nothing was written");
  request.InputPaths.clear();
  request.ReportPath = dir_.Path() / "." / "page.html";
  EXPECT_EQ(Refusal(request), "Export refused: the HTML file \"" + (dir_.Path() / "page.html").string() +
                                  "\" and the report \"" + request.ReportPath.string() +
                                  "\" are the same file; nothing was written");
  EXPECT_EQ(DirectoryNames(dir_.Path()), std::vector<std::string>{"page_21@3x.png"});
  EXPECT_EQ(ReadFile(dir_.Path() / "page_21@3x.png"), "mine");
}

TEST_F(StyledExportTest, SliceQuestionsShowTheStylesCode) {
  options_.Style = TOutputStyle::Responsive;
  options_.IncAltTags = true;
  interaction_.Answers[{2, 1}] = {"next.html", "_blank", "Next"};
  ExportSlices(Request());
  ASSERT_EQ(interaction_.Markups.size(), 4u);
  const TCellMarkup& second = interaction_.Markups[1];
  EXPECT_EQ(second.Style, TOutputStyle::Responsive);
  const std::string code = second.Code("next.html", "_blank", "Next");
  EXPECT_EQ(code.rfind("<a href=\"next.html\" target=\"_blank\" rel=\"noopener\"", 0), 0u) << code;
  // What the question showed is what the page says.
  EXPECT_NE(ReadFile(dir_.Path() / "page.html").find(code), std::string::npos);
}

TEST_F(StyledExportTest, ReportListsEverySliceWithItsFilesAndBytes) {
  options_.Style = TOutputStyle::Email;
  options_.Density = 2;
  options_.PictureFormats = {"png"};
  TExportRequest request = Request(".jpg", 2);
  request.ReportPath = dir_.Path() / "sizes.json";
  const TExportReport report = ExportSlices(request);
  const nlohmann::json json = nlohmann::json::parse(ReadFile(request.ReportPath));
  EXPECT_EQ(json["html"], request.HtmlPath.string());
  EXPECT_EQ(json["style"], "email");
  EXPECT_EQ(json["density"], 2);
  EXPECT_EQ(json["bytes"], report.TotalBytes());
  ASSERT_EQ(json["totals"].size(), 2u);
  EXPECT_EQ(json["totals"][0]["format"], "png");
  EXPECT_EQ(json["totals"][1]["format"], "jpg");
  EXPECT_EQ(json["totals"][1]["slices"], 4);
  ASSERT_EQ(json["slices"].size(), 4u);
  int64_t sum = 0;
  for (const auto& slice : json["slices"]) {
    for (const char* format : {"png", "jpg"}) {
      const auto& entry = slice["formats"][format];
      EXPECT_EQ(entry["bytes"], fs::file_size(dir_.Path() / entry["file"].get<std::string>()));
      EXPECT_EQ(entry["dense_bytes"], fs::file_size(dir_.Path() / entry["dense_file"].get<std::string>()));
      sum += entry["bytes"].get<int64_t>() + entry["dense_bytes"].get<int64_t>();
    }
  }
  EXPECT_EQ(sum, report.TotalBytes());
  const auto& third = json["slices"][2];  // column 1, row 2: rows come first
  EXPECT_EQ(third["column"], 1);
  EXPECT_EQ(third["row"], 2);
  EXPECT_EQ(third["x"], 0);
  EXPECT_EQ(third["y"], 40);
  EXPECT_EQ(third["width"], 120);
  EXPECT_EQ(third["height"], 60);
  EXPECT_EQ(third["page"], nlohmann::json({{"x", 0}, {"y", 20}, {"width", 60}, {"height", 30}}));
  EXPECT_EQ(third["formats"]["jpg"]["file"], "page_12.jpg");
  EXPECT_EQ(third["formats"]["jpg"]["dense_file"], "page_12@2x.jpg");
}

}  // namespace
}  // namespace tessel
