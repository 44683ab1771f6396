// The bundled sample (samples/banner.png) is drawn by this code. The test checks that the
// committed file still holds exactly these pixels, which also exercises the PNG writer and reader.
// To redraw it: TESSEL_WRITE_SAMPLE=1 test_workspace --gtest_filter='SampleBanner.*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "workspace/grid_file.h"

namespace tessel {
namespace {

constexpr int32_t kWidth = 600;
constexpr int32_t kHeight = 150;

uint8_t Mix(int a, int b, double t) {
  return static_cast<uint8_t>(std::lround(a + (b - a) * std::clamp(t, 0.0, 1.0)));
}

// A gradient sky, a sun, three tiles and a set of rings: shapes with edges on and off the grid.
void DrawBanner(pg::TPixelGraphic& image) {
  image.NewImage(kWidth, kHeight, pg::bc24Bit);
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < kWidth; ++x) {
      const double t = static_cast<double>(y) / (kHeight - 1);
      const bool stripe = ((x + y) / 12) % 2 == 0;
      uint8_t r = Mix(18, 20, t), g = Mix(40, 140, t), b = Mix(110, 150, t);
      if (stripe) {
        r = static_cast<uint8_t>(r + 6);
        g = static_cast<uint8_t>(g + 6);
        b = static_cast<uint8_t>(b + 6);
      }
      // Sun: a radial gradient from yellow to orange.
      const double sun = std::hypot(x - 75.0, y - 75.0) / 52.0;
      if (sun <= 1.0) {
        r = Mix(255, 240, sun);
        g = Mix(230, 120, sun);
        b = Mix(90, 30, sun);
      }
      // Three tiles with a white border.
      for (int i = 0; i < 3; ++i) {
        const int32_t left = 180 + 90 * i;
        if (x >= left && x < left + 80 && y >= 40 && y < 110) {
          const bool border = x < left + 3 || x >= left + 77 || y < 43 || y >= 107;
          static constexpr uint8_t kTiles[3][3] = {{220, 60, 70}, {70, 190, 90}, {240, 200, 60}};
          r = border ? 255 : Mix(kTiles[i][0], kTiles[i][0] / 2, (y - 40) / 70.0);
          g = border ? 255 : Mix(kTiles[i][1], kTiles[i][1] / 2, (y - 40) / 70.0);
          b = border ? 255 : Mix(kTiles[i][2], kTiles[i][2] / 2, (y - 40) / 70.0);
        }
      }
      // Rings on the right.
      const double ring = std::hypot(x - 525.0, y - 75.0);
      if (ring < 60.0 && static_cast<int>(ring) / 8 % 2 == 0) {
        r = Mix(r, 250, 0.7);
        g = Mix(g, 250, 0.7);
        b = Mix(b, 255, 0.7);
      }
      row[3 * x + 0] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
    }
  }
}

// Cuts the sun, the tiles and the rings apart, with a strip above and below the tiles.
TSplitGrid BannerGrid() {
  TSplitGrid grid;
  grid.ResetGrid(kWidth, kHeight);
  grid.AddVertical(150);
  grid.AddVertical(450);
  grid.AddHorizontal(40);
  grid.AddHorizontal(110);
  return grid;
}

TEST(SampleBanner, CommittedFilesMatchTheGenerator) {
  const std::filesystem::path png = std::filesystem::path(TESSEL_SOURCE_DIR) / "samples" / "banner.png";
  const std::filesystem::path grd = std::filesystem::path(TESSEL_SOURCE_DIR) / "samples" / "banner.grd";
  pg::TPixelGraphic drawn;
  DrawBanner(drawn);
  if (std::getenv("TESSEL_WRITE_SAMPLE") != nullptr) {
    drawn.SaveToFile(png.string());
    SaveGrid(BannerGrid(), grd);
  }
  pg::TPixelGraphic committed;
  committed.LoadFromFile(png.string());
  ASSERT_EQ(committed.Width(), kWidth);
  ASSERT_EQ(committed.Height(), kHeight);
  ASSERT_EQ(committed.BitCount(), pg::bc24Bit);
  for (int32_t y = 0; y < kHeight; ++y) {
    ASSERT_EQ(0, std::memcmp(committed.ScanLine(y), drawn.ScanLine(y), 3 * kWidth)) << "row " << y;
  }
  TSplitGrid grid;
  LoadGrid(grid, grd, kWidth, kHeight);
  EXPECT_EQ(grid, BannerGrid());
}

}  // namespace
}  // namespace tessel
