// The exported table, shown by a real browser, must put the slices back together exactly: a
// screenshot of the page equals, pixel for pixel, a screenshot of the whole source image shown as
// one <img> in the same browser. Skipped where headless Chromium is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "tests/workspace/export_test_support.h"
#include "workspace/slice_export.h"

namespace tessel {
namespace {

using namespace tessel::testing;

constexpr const char* kChromium = "/usr/bin/chromium";

// Renders `page` into a PNG screenshot of a window of width x height (CSS pixels, `scale` device
// pixels each); false when the browser fails.
bool Screenshot(const fs::path& page, const fs::path& shot, const fs::path& scratch, int32_t width,
                int32_t height, int scale = 1) {
  const fs::path profile = scratch / ("profile-" + shot.stem().string());
  fs::create_directories(profile);
  const std::string command =
      "timeout 120 " + std::string(kChromium) +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking"
      " --disable-component-update --disable-sync --hide-scrollbars --force-device-scale-factor=" +
      std::to_string(scale) + " --user-data-dir='" + profile.string() + "' --screenshot='" + shot.string() +
      "' --window-size=" + std::to_string(width) + "," + std::to_string(height) + " 'file://" +
      page.string() + "' >'" + (scratch / "chromium.log").string() + "' 2>&1";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(shot);
}

TEST(ExportRender, BrowserPutsPngSlicesBackTogetherExactly) {
  if (!fs::exists(kChromium)) GTEST_SKIP() << "headless Chromium is not installed";
  TTempDir dir("render");
  pg::TPixelGraphic source;
  MakePatternImage(source, 301, 203);
  source.SaveToFile((dir.Path() / "whole.png").string());

  TSplitGrid grid;
  grid.VerticalSplits = {0, 1, 77, 150, 300, 301};
  grid.HorizontalSplits = {0, 50, 51, 202, 203};
  TExportOptions options;
  options.ShowOptions = false;
  TScriptedInteraction interaction;
  TExportRequest request;
  request.HtmlPath = dir.Path() / "page.html";
  request.Source = &source;
  request.Grid = &grid;
  request.Extension = ".png";
  request.Options = &options;
  request.Interaction = &interaction;
  ExportSlices(request);

  // Nothing in a slice may make a browser show it differently from the source (gAMA, iCCP, sRGB...).
  for (const std::string& name : DirectoryNames(dir.Path())) {
    if (name.rfind("page_", 0) == 0) {
      EXPECT_EQ(PngChunkTypes(ReadFile(dir.Path() / name)), "IHDR IDAT IEND") << name;
    }
  }

  // Both pages without a doctype and with no body margin; the table is the exported text as is.
  std::ofstream(dir.Path() / "table.html", std::ios::binary)
      << "<html><body style=\"margin:0\">\r\n"
      << ReadFile(dir.Path() / "page.html") << "</body></html>\r\n";
  std::ofstream(dir.Path() / "whole.html", std::ios::binary)
      << "<html><body style=\"margin:0\"><img src='whole.png' width=301 height=203></body></html>\r\n";

  constexpr int32_t kWindowWidth = 340, kWindowHeight = 240;
  ASSERT_TRUE(Screenshot(dir.Path() / "table.html", dir.Path() / "table-shot.png", dir.Path(), kWindowWidth,
                         kWindowHeight))
      << ReadFile(dir.Path() / "chromium.log");
  ASSERT_TRUE(Screenshot(dir.Path() / "whole.html", dir.Path() / "whole-shot.png", dir.Path(), kWindowWidth,
                         kWindowHeight))
      << ReadFile(dir.Path() / "chromium.log");

  pg::TPixelGraphic table, whole;
  table.LoadFromFile((dir.Path() / "table-shot.png").string());
  whole.LoadFromFile((dir.Path() / "whole-shot.png").string());
  ASSERT_EQ(table.Width(), kWindowWidth);
  ASSERT_EQ(table.Height(), kWindowHeight);
  ASSERT_EQ(whole.Width(), kWindowWidth);
  ASSERT_EQ(whole.Height(), kWindowHeight);

  int64_t different = 0;
  int32_t firstX = -1, firstY = -1;
  for (int32_t y = 0; y < kWindowHeight; ++y) {
    for (int32_t x = 0; x < kWindowWidth; ++x) {
      if (table.Colors(x, y) != whole.Colors(x, y)) {
        if (different++ == 0) firstX = x, firstY = y;
      }
    }
  }
  EXPECT_EQ(different, 0) << "first difference at " << firstX << "," << firstY;

  // The reference really shows the source (so two blank screenshots cannot pass): within one level.
  int maxShift = 0;
  for (int32_t y = 0; y < source.Height(); ++y) {
    for (int32_t x = 0; x < source.Width(); ++x) {
      const pg::TColor a = whole.Colors(x, y), b = source.Colors(x, y);
      maxShift = std::max({maxShift, std::abs(int(pg::GetRValue(a)) - int(pg::GetRValue(b))),
                           std::abs(int(pg::GetGValue(a)) - int(pg::GetGValue(b))),
                           std::abs(int(pg::GetBValue(a)) - int(pg::GetBValue(b)))});
    }
  }
  EXPECT_LE(maxShift, 1);
}

// ---- The e-mail and responsive pages ---------------------------------------------------------

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A standards-mode page around `body`, without margins, on `background`.
std::string DoctypePage(const std::string& body, const std::string& background = "#fff") {
  return "<!DOCTYPE html>\r\n<html><head><meta charset=\"utf-8\"></head><body style=\"margin:0;background:" +
         background + "\">\r\n" + body + "</body></html>\r\n";
}

// The whole picture as one image in a standards-mode page: at its size, or as wide as the window.
std::string WholePicturePage(const std::string& file, int32_t width, int32_t height, bool scaled,
                             const std::string& background = "#fff") {
  const std::string style =
      scaled ? "display:block;width:100%;max-width:" + std::to_string(width) + "px;height:auto"
             : "display:block";
  return DoctypePage("<img src=\"" + file + "\" width=\"" + std::to_string(width) + "\" height=\"" +
                         std::to_string(height) + "\" style=\"" + style + "\" alt=\"\">\r\n",
                     background);
}

// Screenshot of `page` (a file in `dir`) as an image; fails the test when the browser does.
void Shoot(const fs::path& dir, const std::string& page, pg::TPixelGraphic& shot, int32_t width,
           int32_t height, int scale = 1) {
  const fs::path file = dir / (fs::path(page).stem().string() + "-x" + std::to_string(scale) + ".png");
  ASSERT_TRUE(Screenshot(dir / page, file, dir, width, height, scale)) << ReadFile(dir / "chromium.log");
  shot.LoadFromFile(file.string());
  ASSERT_EQ(shot.Width(), width * scale);
  ASSERT_EQ(shot.Height(), height * scale);
}

int ChannelDistance(pg::TColor a, pg::TColor b) {
  return std::max({std::abs(int(pg::GetRValue(a)) - int(pg::GetRValue(b))),
                   std::abs(int(pg::GetGValue(a)) - int(pg::GetGValue(b))),
                   std::abs(int(pg::GetBValue(a)) - int(pg::GetBValue(b)))});
}

// Pixels of the width x height corner of two screenshots further apart than `tolerance`; the
// first such pixel in `where`.
int64_t Differences(const pg::TPixelGraphic& a, const pg::TPixelGraphic& b, int32_t width, int32_t height,
                    int tolerance, std::string& where) {
  int64_t count = 0;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      if (ChannelDistance(a.Colors(x, y), b.Colors(x, y)) <= tolerance) continue;
      if (count++ == 0) where = "first at " + std::to_string(x) + "," + std::to_string(y);
    }
  }
  return count;
}

class StyledRenderTest : public ::testing::Test {
 protected:
  StyledRenderTest() : dir_(::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

  void SetUp() override {
    if (!fs::exists(kChromium)) GTEST_SKIP() << "headless Chromium is not installed";
    options_.ShowOptions = false;
  }

  // Exports `source_` along `grid_` to `folder`/page.html in PNG (and `pictureFormats`).
  void Export(const std::string& folder, TOutputStyle style, bool fragment, int32_t density = 1,
              std::vector<std::string> pictureFormats = {}) {
    fs::create_directories(dir_.Path() / folder);
    options_.Style = style;
    options_.Fragment = fragment;
    options_.Density = density;
    options_.PictureFormats = std::move(pictureFormats);
    TSplitGrid grid = grid_;
    TScriptedInteraction interaction;
    TExportRequest request;
    request.HtmlPath = dir_.Path() / folder / "page.html";
    request.Source = &source_;
    request.Grid = &grid;
    request.Extension = ".png";
    request.Options = &options_;
    request.Interaction = &interaction;
    request.Slices = &slices_;
    ExportSlices(request);
  }

  TTempDir dir_;
  pg::TPixelGraphic source_;
  TSplitGrid grid_;
  TSliceTable slices_;
  TExportOptions options_;
};

// In a page that starts with <!DOCTYPE html>, where images in table cells sit on the text's
// baseline, the e-mail table and the responsive page show the picture without a gap, a linked slice
// and slices in a <picture> too.
TEST_F(StyledRenderTest, EmailAndResponsivePagesInStandardsModeShowThePictureExactly) {
  MakePatternImage(source_, 301, 203);
  source_.SaveToFile((dir_.Path() / "whole.png").string());
  grid_.VerticalSplits = {0, 1, 77, 150, 300, 301};
  grid_.HorizontalSplits = {0, 50, 51, 202, 203};
  slices_.Set({3, 1}, {"https://example.com/", "_blank", "A link", ""});
  slices_.Set({2, 3}, {"", "", "Tom & Jerry's <b>", ""});
  WriteText(dir_.Path() / "whole.html", WholePicturePage("whole.png", 301, 203, false));
  constexpr int32_t kWidth = 340, kHeight = 240;
  pg::TPixelGraphic whole;
  Shoot(dir_.Path(), "whole.html", whole, kWidth, kHeight);

  Export("email", TOutputStyle::Email, false, 1, {"bmp"});
  Export("fragment", TOutputStyle::Responsive, true, 1, {"bmp"});
  Export("document", TOutputStyle::Responsive, false);
  for (const char* folder : {"email", "fragment"}) {
    WriteText(dir_.Path() / folder / "doctype.html",
              DoctypePage(ReadFile(dir_.Path() / folder / "page.html")));
  }
  for (const char* page : {"email/doctype.html", "fragment/doctype.html", "document/page.html"}) {
    SCOPED_TRACE(page);
    pg::TPixelGraphic shot;
    Shoot(dir_.Path(), page, shot, kWidth, kHeight);
    std::string where;
    EXPECT_EQ(Differences(shot, whole, kWidth, kHeight, 0, where), 0) << where;
  }
  // The reference shows the picture itself.
  std::string where;
  EXPECT_EQ(Differences(whole, source_, 301, 203, 1, where), 0) << where;
}

// A picture without sharp edges, so that a slice shown half a pixel off by the browser's scaling
// stays close to the whole picture scaled in one piece; it holds no colour near the page's magenta.
void MakeSmoothImage(pg::TPixelGraphic& image, int32_t width, int32_t height) {
  image.NewImage(width, height, pg::bc24Bit);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      image.SetColors(x, y,
                      pg::RGBColor(static_cast<uint8_t>(40 + x * 120 / width),
                                   static_cast<uint8_t>(60 + y * 120 / height),
                                   static_cast<uint8_t>(80 + (x + y) * 60 / (width + height))));
    }
  }
}

// At half the picture's width the responsive page shows it at half its size: every pixel close to
// the whole picture scaled to that width in one <img>, no page background between the slices, and
// the page's background right below the picture, whose proportions are kept.
TEST_F(StyledRenderTest, ResponsivePageAtHalfWidthShowsNoGapsAndKeepsTheProportions) {
  MakeSmoothImage(source_, 300, 200);
  source_.SaveToFile((dir_.Path() / "whole.png").string());
  grid_.VerticalSplits = {0, 1, 77, 151, 299, 300};
  grid_.HorizontalSplits = {0, 33, 101, 200};
  Export("document", TOutputStyle::Responsive, false);
  // The page's background made magenta, to show wherever it shows through.
  std::string page = ReadFile(dir_.Path() / "document" / "page.html");
  const std::string body = "<body style=\"margin:0\">";
  ASSERT_NE(page.find(body), std::string::npos);
  page.replace(page.find(body), body.size(), "<body style=\"margin:0;background:#f0f\">");
  WriteText(dir_.Path() / "document" / "magenta.html", page);
  WriteText(dir_.Path() / "whole.html", WholePicturePage("whole.png", 300, 200, true, "#f0f"));

  constexpr int32_t kWidth = 150, kHeight = 160;
  pg::TPixelGraphic shot, whole;
  Shoot(dir_.Path(), "document/magenta.html", shot, kWidth, kHeight);
  Shoot(dir_.Path(), "whole.html", whole, kWidth, kHeight);
  std::string where;
  EXPECT_EQ(Differences(shot, whole, kWidth, 100, 4, where), 0) << where;
  int64_t background = 0;
  for (int32_t y = 0; y < 100; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const pg::TColor c = shot.Colors(x, y);
      if (pg::GetGValue(c) < 50 && pg::GetRValue(c) > 150 && pg::GetBValue(c) > 150) ++background;
    }
  }
  EXPECT_EQ(background, 0);
  int64_t below = 0;
  for (int32_t x = 0; x < kWidth; ++x) below += shot.Colors(x, 100) == pg::RGBColor(255, 0, 255) ? 0 : 1;
  EXPECT_EQ(below, 0);
}

// A high-density export: on a screen of one device pixel per CSS pixel the page shows the
// page-size slices exactly as the whole picture scaled down in one piece; on a screen of two it
// shows the full-resolution slices exactly as the source.
TEST_F(StyledRenderTest, HighDensityResponsivePageOnBothScreens) {
  MakePatternImage(source_, 402, 262);
  source_.SaveToFile((dir_.Path() / "dense.png").string());
  pg::TPixelGraphic page;
  page.NewImage(201, 131, pg::bc24Bit);
  page.SetStretchMode(pg::smPrecise);
  page.CopyFrom(source_);
  page.SaveToFile((dir_.Path() / "page.png").string());
  grid_.VerticalSplits = {0, 2, 150, 300, 402};
  grid_.HorizontalSplits = {0, 100, 262};
  Export("document", TOutputStyle::Responsive, false, 2);
  WriteText(dir_.Path() / "one.html", WholePicturePage("page.png", 201, 131, false));
  WriteText(dir_.Path() / "two.html", WholePicturePage("dense.png", 201, 131, false));

  constexpr int32_t kWidth = 240, kHeight = 180;
  for (const int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    pg::TPixelGraphic shot, whole;
    Shoot(dir_.Path(), "document/page.html", shot, kWidth, kHeight, scale);
    Shoot(dir_.Path(), scale == 1 ? "one.html" : "two.html", whole, kWidth, kHeight, scale);
    std::string where;
    EXPECT_EQ(Differences(shot, whole, kWidth * scale, kHeight * scale, 0, where), 0) << where;
  }
}

}  // namespace
}  // namespace tessel
