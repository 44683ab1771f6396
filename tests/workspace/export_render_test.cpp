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

// Renders `page` into a PNG screenshot of width x height; false when the browser fails.
bool Screenshot(const fs::path& page, const fs::path& shot, const fs::path& scratch, int32_t width,
                int32_t height) {
  const fs::path profile = scratch / ("profile-" + shot.stem().string());
  fs::create_directories(profile);
  const std::string command =
      "timeout 120 " + std::string(kChromium) +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking"
      " --disable-component-update --disable-sync --force-device-scale-factor=1 --hide-scrollbars"
      " --user-data-dir='" +
      profile.string() + "' --screenshot='" + shot.string() + "' --window-size=" + std::to_string(width) +
      "," + std::to_string(height) + " 'file://" + page.string() + "' >'" +
      (scratch / "chromium.log").string() + "' 2>&1";
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

}  // namespace
}  // namespace tessel
