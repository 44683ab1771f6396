// tessel-cli info and convert, run as the real program.
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

class InfoConvertTest : public test::TCliTest {
 protected:
  void SetUp() override {
    TCliTest::SetUp();
    pal8_ = (fs::path(TESSEL_TEST_DATA_DIR) / "bmpsuite" / "pal8.bmp").string();
  }
  int Run(const std::vector<std::string>& args) { return RunCli(args); }

  std::string pal8_;
};

TEST_F(InfoConvertTest, InfoPrintsTheHeader) {
  EXPECT_EQ(Run({"info", pal8_}), 0) << err_;
  EXPECT_EQ(out_, "format: Bitmap\nwidth: 127\nheight: 64\nbits per pixel: 8\nimages: 1\n");

  EXPECT_EQ(Run({"info", Path("missing.png")}), 1);
  EXPECT_NE(err_.find("missing.png"), std::string::npos);
  std::ofstream(Path("text.png")) << "not an image at all";
  EXPECT_EQ(Run({"info", Path("text.png")}), 1);
  EXPECT_EQ(err_, Path("text.png") + ": Unknown file format\n");
  EXPECT_EQ(Run({"info"}), 2);
}

TEST_F(InfoConvertTest, InfoReportsEveryFileAndFailsWhenOneFailed) {
  std::ofstream(Path("text.png")) << "not an image at all";
  fs::create_directory(Path("folder.png"));
  EXPECT_EQ(Run({"info", pal8_, Path("text.png"), Path("folder.png"), pal8_}), 1);
  const std::string block = "format: Bitmap\nwidth: 127\nheight: 64\nbits per pixel: 8\nimages: 1\n";
  EXPECT_EQ(out_, "file: " + pal8_ + "\n" + block + "\nfile: " + pal8_ + "\n" + block);
  EXPECT_EQ(err_, Path("text.png") + ": Unknown file format\n" + Path("folder.png") +
                      ": is a folder, not an image file\n");
  EXPECT_EQ(Run({"info", pal8_, pal8_}), 0);
}

TEST_F(InfoConvertTest, InfoJson) {
  std::ofstream(Path("text.png")) << "not an image at all";
  EXPECT_EQ(Run({"info", "--json", pal8_, Path("text.png")}), 1);
  const auto results = nlohmann::json::parse(out_);
  ASSERT_EQ(results.size(), 2u) << out_;
  EXPECT_EQ(results[0],
            nlohmann::json::parse(R"({"file": ")" + pal8_ + R"(", "format": "Bitmap", "width": 127,
      "height": 64, "bits_per_pixel": 8, "images": 1, "colors": "252", "subformat": "", "details": ""})"));
  EXPECT_EQ(results[1], nlohmann::json::parse(R"({"file": ")" + Path("text.png") + R"(", "error": ")" +
                                              Path("text.png") + R"(: Unknown file format"})"));
  EXPECT_NE(err_.find("Unknown file format"), std::string::npos);

  // A file name that is not UTF-8 still gives valid JSON.
  const std::string odd = Path("bad\xff.bmp");
  fs::copy_file(pal8_, odd);
  EXPECT_EQ(Run({"info", "--json", odd}), 0) << err_;
  EXPECT_EQ(nlohmann::json::parse(out_)[0]["width"], 127);
}

// A little-endian TIFF of `pages` grey images of 1 x 1, each directory pointing to the next.
std::string MultiPageTiff(int pages) {
  std::string out = {'I', 'I', 42, 0};
  auto put16 = [&](uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  constexpr uint32_t kEntries = 9, kDirectorySize = 2 + 12 * kEntries + 4, kPageSize = kDirectorySize + 2;
  put32(8);
  for (int page = 0; page < pages; ++page) {
    const uint32_t start = 8 + kPageSize * static_cast<uint32_t>(page);
    const uint32_t pixel = start + kDirectorySize;
    const uint32_t entries[kEntries][4] = {{256, 3, 1, 1}, {257, 3, 1, 1}, {258, 3, 1, 8},
                                           {259, 3, 1, 1}, {262, 3, 1, 1}, {273, 4, 1, pixel},
                                           {277, 3, 1, 1}, {278, 3, 1, 1}, {279, 4, 1, 1}};
    put16(kEntries);
    for (const auto& e : entries) {
      put16(e[0]);
      put16(e[1]);
      put32(e[2]);
      put32(e[3]);
    }
    put32(page + 1 < pages ? start + kPageSize : 0);
    out += static_cast<char>(page * 40);
    out += '\0';  // keeps the next directory at an even offset
  }
  return out;
}

TEST_F(InfoConvertTest, InfoCountsTheImagesOfAMultiImageFile) {
  std::ofstream(Path("pages.tif"), std::ios::binary) << MultiPageTiff(3);
  EXPECT_EQ(Run({"info", Path("pages.tif")}), 0) << err_;
  EXPECT_EQ(out_, "format: Tagged Image File Format\nwidth: 1\nheight: 1\nbits per pixel: 8\nimages: 3\n");
}

TEST_F(InfoConvertTest, ConvertNegotiatesSilentlyOrRefusesWhenStrict) {
  EXPECT_EQ(Run({"convert", pal8_, Path("out.jpg"), "--quality", "90", "--progressive"}), 0) << err_;
  EXPECT_TRUE(out_.empty());
  pg::TPixelGraphic image;
  image.LoadFromFile(Path("out.jpg"));
  EXPECT_EQ(image.BitCount(), pg::bc24Bit);
  EXPECT_EQ(image.Width(), 127);
  const std::string jpeg = ReadFile(Path("out.jpg"));
  EXPECT_NE(jpeg.find("\xFF\xC2"), std::string::npos);  // progressive

  EXPECT_EQ(Run({"convert", "--strict", pal8_, Path("strict.jpg")}), 1);
  EXPECT_NE(err_.find("cannot be saved"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(Path("strict.jpg")));

  // --strict changes nothing when no reduction is needed.
  EXPECT_EQ(Run({"convert", pal8_, Path("same.png"), "--strict"}), 0) << err_;
  pg::TPixelGraphic original, copy;
  original.LoadFromFile(pal8_);
  copy.LoadFromFile(Path("same.png"));
  EXPECT_EQ(copy.BitCount(), pg::bc8Bit);
  for (int32_t y = 0; y < original.Height(); ++y) {
    for (int32_t x = 0; x < original.Width(); ++x) ASSERT_EQ(original.Colors(x, y), copy.Colors(x, y));
  }

  EXPECT_EQ(Run({"convert", pal8_, Path("x.gif")}), 1);
  EXPECT_EQ(err_, Path("x.gif") + ": Unknown file extension \"gif\"\n");
}

// WebP and AVIF both ways: convert writes them by extension and reads them by content, info
// describes them; --lossless keeps every pixel, --colors makes an indexed PNG.
TEST_F(InfoConvertTest, WebPAvifAndIndexedPng) {
  ASSERT_EQ(Run({"convert", pal8_, Path("lossless.webp"), "--lossless"}), 0) << err_;
  ASSERT_EQ(Run({"convert", Path("lossless.webp"), Path("back.bmp")}), 0) << err_;
  pg::TPixelGraphic original, back;
  original.LoadFromFile(pal8_);
  back.LoadFromFile(Path("back.bmp"));
  ASSERT_EQ(back.Width(), original.Width());
  for (int32_t y = 0; y < original.Height(); ++y) {
    for (int32_t x = 0; x < original.Width(); ++x) ASSERT_EQ(back.Colors(x, y), original.Colors(x, y));
  }
  EXPECT_EQ(Run({"info", Path("lossless.webp")}), 0) << err_;
  EXPECT_EQ(out_, "format: WebP\nwidth: 127\nheight: 64\nbits per pixel: 24\nimages: 1\n");

  ASSERT_EQ(Run({"convert", pal8_, Path("picture.avif"), "--quality", "70", "--speed", "9"}), 0) << err_;
  EXPECT_EQ(Run({"info", "--json", Path("picture.avif")}), 0) << err_;
  const auto info = nlohmann::json::parse(out_);
  EXPECT_EQ(info[0]["format"], "AV1 Image File Format");
  EXPECT_EQ(info[0]["width"], 127);
  EXPECT_EQ(info[0]["subformat"], "YUV 4:2:0, 8 bits");
  ASSERT_EQ(Run({"convert", Path("picture.avif"), Path("from-avif.png")}), 0) << err_;

  ASSERT_EQ(Run({"convert", Path("from-avif.png"), Path("indexed.png"), "--colors", "16", "--no-dither"}), 0)
      << err_;
  pg::TPixelGraphic indexed;
  indexed.LoadFromFile(Path("indexed.png"));
  EXPECT_EQ(indexed.BitCount(), pg::bc4Bit);
  ASSERT_EQ(Run({"convert", Path("from-avif.png"), Path("full.png")}), 0) << err_;
  indexed.LoadFromFile(Path("full.png"));
  EXPECT_EQ(indexed.BitCount(), pg::bc24Bit);
}

TEST_F(InfoConvertTest, WrongUsage) {
  EXPECT_EQ(Run({"convert", pal8_}), 2);
  EXPECT_EQ(Run({"convert", pal8_, Path("a.jpg"), Path("b.jpg")}), 2);
  EXPECT_EQ(Run({"convert", pal8_, Path("a.jpg"), "--quality"}), 2);
  EXPECT_EQ(Run({"convert", pal8_, Path("a.jpg"), "--quality", "101"}), 2);
  EXPECT_EQ(Run({"convert", pal8_, Path("a.jpg"), "--quality", "9x"}), 2);
  EXPECT_EQ(Run({"convert", pal8_, Path("a.jpg"), "--fast"}), 2);
  EXPECT_EQ(err_,
            "tessel-cli convert: unknown option \"--fast\" (put -- before a file name that begins with a "
            "dash)\nTry \"tessel-cli convert --help\" for more information.\n");
  EXPECT_FALSE(fs::exists(Path("a.jpg")));
}

}  // namespace
}  // namespace tessel::cli
