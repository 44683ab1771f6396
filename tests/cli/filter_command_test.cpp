// tessel-cli filter, run through the program's entry function.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "imaging/filters/filter.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"

namespace tessel::cli {
namespace {

namespace fs = std::filesystem;

class FilterCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tessel-cli-filter-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // Two pixels: pure red and a dark grey.
    pg::TPixelGraphic image;
    image.NewImage(2, 1, pg::bc24Bit);
    image.SetPixels(0, 0, pg::RGBColor(255, 0, 0));
    image.SetPixels(1, 0, pg::RGBColor(40, 40, 40));
    image.SaveToFile(Path("in.bmp"));
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(FilterCommandTest, AdjustsAndSavesByExtension) {
  ASSERT_EQ(Main({"filter", Path("in.bmp"), Path("rgb.bmp"), "--rgb", "-50,+50,0"}), 0);
  pg::TPixelGraphic out;
  out.LoadFromFile(Path("rgb.bmp"));
  EXPECT_EQ(out.Pixels(0, 0), pg::RGBColor(128, 127, 0));
  EXPECT_EQ(out.Pixels(1, 0), pg::RGBColor(0, 167, 40));

  ASSERT_EQ(Main({"filter", Path("in.bmp"), Path("cmy.png"), "--cmy", "50,0,0"}), 0);
  out.LoadFromFile(Path("cmy.png"));
  EXPECT_EQ(out.Pixels(0, 0), pg::RGBColor(128, 0, 0));
  EXPECT_EQ(out.Pixels(1, 0), pg::RGBColor(0, 40, 40));

  ASSERT_EQ(Main({"filter", "--hls", "180,0,0", Path("in.bmp"), Path("hls.bmp")}), 0);
  out.LoadFromFile(Path("hls.bmp"));
  EXPECT_EQ(out.Pixels(0, 0), pg::RGBColor(0, 255, 255));
  EXPECT_EQ(out.Pixels(1, 0), pg::RGBColor(40, 40, 40));
}

TEST_F(FilterCommandTest, PaletteImageKeepsItsIndices) {
  const std::string pal8 = (fs::path(TESSEL_TEST_DATA_DIR) / "bmpsuite" / "pal8.bmp").string();
  ASSERT_EQ(Main({"filter", pal8, Path("pal8.bmp"), "--cmy", "20,-30,40"}), 0);
  pg::TPixelGraphic original;
  original.LoadFromFile(pal8);
  pg::TPixelGraphic out;
  out.LoadFromFile(Path("pal8.bmp"));
  ASSERT_EQ(out.BitCount(), pg::bc8Bit);
  pg::TCMYFilter cmy;
  cmy.SetAdjustment(20, -30, 40);
  for (int32_t y = 0; y < original.Height(); ++y)
    for (int32_t x = 0; x < original.Width(); ++x) {
      ASSERT_EQ(out.Pixels(x, y), original.Pixels(x, y));
      ASSERT_EQ(out.Colors(x, y), cmy.MapColor(original.Colors(x, y)));
    }
}

TEST_F(FilterCommandTest, WrongUsageAndFailures) {
  const std::string in = Path("in.bmp");
  const std::string out = Path("out.bmp");
  EXPECT_EQ(Main({"filter", in, out}), 2);                                      // no filter
  EXPECT_EQ(Main({"filter", in, "--rgb", "1,2,3"}), 2);                         // no OUT
  EXPECT_EQ(Main({"filter", in, out, "--rgb", "1,2,3", "--cmy", "1,2,3"}), 2);  // two filters
  EXPECT_EQ(Main({"filter", in, out, "--rgb"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--rgb", "1,2"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--rgb", "1,2,3,4"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--rgb", "1,,3"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--rgb", "+-5,0,0"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--rgb", "1,2,+"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--rgb", "101,0,0"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--cmy", "0,-101,0"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--hls", "181,0,0"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--hls", "0,0,x"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--hls", "99999999999,0,0"}), 2);
  EXPECT_EQ(Main({"filter", in, out, "--sepia", "1"}), 2);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(Main({"filter", in, out, "--hls", "-180,100,-100"}), 0);  // the ends of the ranges

  EXPECT_EQ(Main({"filter", Path("missing.bmp"), out, "--rgb", "0,0,0"}), 1);
  EXPECT_EQ(Main({"filter", in, Path("out.gif"), "--rgb", "0,0,0"}), 1);
  EXPECT_FALSE(fs::exists(Path("out.gif")));
}

}  // namespace
}  // namespace tessel::cli
