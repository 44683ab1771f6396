#include "imaging/formats/avif.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/imaging/formats/external_encoders.h"
#include "tests/imaging/formats/format_test_util.h"

namespace pg {
namespace {

using namespace formattest;

std::vector<uint8_t> SaveAvif(TPixelGraphic& image, int32_t quality = 60) {
  TSaveOptions options = DefaultSaveOptions();
  options.AVIFQuality = quality;
  TMemoryStream stream;
  SaveImage(image, stream, "avif", options);
  return stream.Data();
}

void ReadAvif(const std::vector<uint8_t>& file, TPixelGraphic& image, int64_t maxPixels = kDefaultMaxPixels) {
  TLoadOptions options = DefaultLoadOptions();
  options.MaxPixels = maxPixels;
  TMemoryStream stream(file);
  TAVIFFileFormatReader().ReadFromStream(stream, image, 0, options);
}

std::string ReadError(const std::vector<uint8_t>& file, int64_t maxPixels = kDefaultMaxPixels) {
  return ErrorOf<EPGAVIFFileFormatReaderWriter>([&] {
    TPixelGraphic image;
    ReadAvif(file, image, maxPixels);
  });
}

void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The offset of a four-character box type in a file, or npos.
size_t FindBox(const std::vector<uint8_t>& file, const char* type) {
  for (size_t i = 4; i + 4 <= file.size(); ++i) {
    if (std::memcmp(file.data() + i, type, 4) == 0) return i - 4;
  }
  return std::string::npos;
}

TEST(Avif, QuantizerFollowsQuality) {
  EXPECT_EQ(AVIFQuantizerOf(100), 0);
  EXPECT_EQ(AVIFQuantizerOf(0), 63);
  EXPECT_EQ(AVIFQuantizerOf(60), 25);
  EXPECT_EQ(AVIFQuantizerOf(-5), 63);
  EXPECT_EQ(AVIFQuantizerOf(250), 0);
}

TEST(Avif, RoundTripOfEveryPixelFormatStaysCloseAndQualityCounts) {
  // Odd sizes too: the writer converts bands of rows and the reader turns the rows over in place.
  for (TBitCount bitCount : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    for (auto [width, height] : {std::pair{1, 1}, std::pair{67, 41}}) {
      SCOPED_TRACE(std::to_string(BitCountNum(bitCount)) + " bits, " + std::to_string(width) + " x " +
                   std::to_string(height));
      TPixelGraphic source;
      if (bitCount == bc24Bit) {
        MakePhotoLike(source, width, height);
      } else {
        // Blocks of 8 x 8 pixels of one colour; the halved chroma blurs only their edges.
        MakeIndexed(source, width, height, bitCount);
        for (int32_t y = 0; y < height; ++y) {
          for (int32_t x = 0; x < width; ++x)
            source.SetPixels(x, y, static_cast<uint32_t>((x / 8 + y / 8) % source.PaletteCount()));
        }
      }
      TPixelGraphic loaded;
      Load(loaded, SaveAvif(source, 100));
      ASSERT_EQ(loaded.BitCount(), bc24Bit);
      ASSERT_EQ(loaded.Width(), width);
      ASSERT_EQ(loaded.Height(), height);
      // At the finest quantiser only 4:2:0 chroma and rounding remain, which cost most at the
      // photo's hard colour edge and at the edges between saturated palette colours; a wrong
      // palette or row order would fall far below.
      EXPECT_GT(Psnr(source, loaded), bitCount == bc24Bit ? 32.0 : 24.0);
    }
  }
  TPixelGraphic photo;
  MakePhotoLike(photo, 128, 96);
  const std::vector<uint8_t> low = SaveAvif(photo, 20);
  const std::vector<uint8_t> normal = SaveAvif(photo);
  EXPECT_LT(low.size(), normal.size());
  TPixelGraphic loaded;
  Load(loaded, normal);
  EXPECT_GT(Psnr(photo, loaded), 36.0);
  // The top row stays on top.
  EXPECT_LT(std::abs(GetGValue(loaded.Colors(64, 0)) - GetGValue(photo.Colors(64, 0))), 8);
  EXPECT_LT(std::abs(GetGValue(loaded.Colors(64, 95)) - GetGValue(photo.Colors(64, 95))), 8);
}

TEST(Avif, FoundByContentAndDescribedByItsHeader) {
  TPixelGraphic source;
  MakeRGB(source, 30, 20);
  const std::vector<uint8_t> file = SaveAvif(source);
  TMemoryStream stream(file);
  const TFileFormatReader* reader = FindFileFormatReader(stream, "png");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Extension, "avif");

  TTempDir dir;
  const std::filesystem::path path = dir.Path / "picture.jpg";
  WriteBytes(path, file);
  TGraphicFileInfo info;
  ReadGraphicFileInfo(path.string(), 0, info);
  EXPECT_EQ(info.Description, "AV1 Image File Format");
  EXPECT_EQ(info.Width, 30);
  EXPECT_EQ(info.Height, 20);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.SubFormatText, "YUV 4:2:0, 8 bits");
  EXPECT_NE(BuildReaderFilter().find("|AVIF - AV1 Image File Format|*.avif|"), std::string::npos);

  // Other ISO files are not AVIF: a HEIF picture's brand.
  std::vector<uint8_t> heic = file;
  std::memcpy(heic.data() + 8, "heic", 4);
  TMemoryStream other(heic);
  EXPECT_EQ(FindFileFormatReader(other, "avif"), nullptr);
}

TEST(Avif, ReadsFilesOfAnotherEncoderWithAlphaOverTheBackground) {
  if (!HaveProgram("avifenc")) GTEST_SKIP() << "avifenc (Debian package libavif-bin) is not installed";
  TTempDir dir;
  const std::filesystem::path png = dir.Path / "alpha.png";
  WriteBytes(png, WritePng(RgbaRamps(48, 32)));
  TPixelGraphic fromPng;
  fromPng.SetBackgroundColor(RGBColor(250, 250, 250));
  fromPng.LoadFromFile(png.string());

  // Lossless 4:4:4 (identity matrix) gives back every value but for the rounding of the
  // composition; 10 bits and 4:2:0 stay close.
  const std::filesystem::path lossless = dir.Path / "lossless.avif";
  const std::filesystem::path deep = dir.Path / "deep.avif";
  ASSERT_TRUE(RunQuietly("avifenc --lossless -s 10 " + Quoted(png) + " " + Quoted(lossless)));
  ASSERT_TRUE(RunQuietly("avifenc -d 10 -y 420 --min 10 --max 10 -s 10 " + Quoted(png) + " " + Quoted(deep)));
  for (const auto& [path, minimum] : {std::pair{lossless, 45.0}, std::pair{deep, 30.0}}) {
    SCOPED_TRACE(path.filename().string());
    TPixelGraphic image;
    image.SetBackgroundColor(RGBColor(250, 250, 250));
    image.LoadFromFile(path.string());
    EXPECT_GE(Psnr(fromPng, image), minimum);
  }
  TGraphicFileInfo info;
  ReadGraphicFileInfo(deep.string(), 0, info);
  EXPECT_EQ(info.BitsPerPixel, 40);
  EXPECT_EQ(info.InfoText, "alpha channel");

  // An opaque photo, as avifenc makes it by default.
  TPixelGraphic source;
  MakePhotoLike(source, 80, 60);
  const std::filesystem::path opaque = dir.Path / "opaque.png";
  const std::filesystem::path photo = dir.Path / "photo.avif";
  source.SaveToFile(opaque.string());
  ASSERT_TRUE(RunQuietly("avifenc -s 10 " + Quoted(opaque) + " " + Quoted(photo)));
  TPixelGraphic image;
  image.LoadFromFile(photo.string());
  EXPECT_GT(Psnr(source, image), 36.0);
}

TEST(Avif, DamagedCutOrOversizedFilesFailClearly) {
  TPixelGraphic source;
  MakePhotoLike(source, 64, 48);
  const std::vector<uint8_t> file = SaveAvif(source);

  // Cut anywhere: an error with the format's prefix, never a crash.
  for (size_t size : {size_t{0}, size_t{12}, size_t{40}, file.size() / 2, file.size() - 1}) {
    const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(size));
    const std::string text = ReadError(cut);
    EXPECT_EQ(text.rfind("AVIF: ", 0), 0u) << size << ": " << text;
  }
  // Damaged anywhere: errors, if the decoder notices, have the prefix.
  for (size_t at = 0; at < file.size(); at += 5) {
    std::vector<uint8_t> damaged = file;
    damaged[at] ^= 0xA5;
    const std::string text = ReadError(damaged);
    if (!text.empty()) {
      EXPECT_EQ(text.rfind("AVIF: ", 0), 0u) << text;
    }
  }

  // Over the pixel limit: refused before any decoding, with the size.
  try {
    TPixelGraphic image;
    ReadAvif(file, image, 1000);
    ADD_FAILURE() << "loaded";
  } catch (const EPGPixelLimit& e) {
    EXPECT_EQ(e.Width(), 64);
    EXPECT_EQ(e.Height(), 48);
  }

  // A container that claims a huge picture ('ispe' 60000 x 60000): refused by the limits, nothing
  // of that size is allocated.
  std::vector<uint8_t> huge = file;
  const size_t ispe = FindBox(huge, "ispe");
  ASSERT_NE(ispe, std::string::npos);
  PutBE32(huge.data() + ispe + 12, 60000);
  PutBE32(huge.data() + ispe + 16, 60000);
  EXPECT_FALSE(ReadError(huge).empty());
  // A container whose size disagrees with its AV1 picture's: libavif scales the picture to the
  // container's size, which the limits have already allowed.
  for (uint32_t side : {32u, 128u}) {
    std::vector<uint8_t> other = file;
    PutBE32(other.data() + ispe + 12, side);
    TPixelGraphic image;
    ReadAvif(other, image);
    EXPECT_EQ(image.Width(), static_cast<int32_t>(side));
    EXPECT_EQ(image.Height(), 48);
  }
}

TEST(Avif, WriterRefusesEmptyPictures) {
  TPixelGraphic empty;
  EXPECT_EQ(ErrorOf<EPGAVIFFileFormatReaderWriter>([&] { SaveAvif(empty); }),
            "AVIF: Width = 0 or Height = 0");
}

TEST(Avif, ProgressCoversEveryRowAndAbortKeepsOnlyTheRowsDone) {
  TPixelGraphic source;
  MakePhotoLike(source, 32, 24);
  const std::vector<uint8_t> file = SaveAvif(source, 100);
  TPixelGraphic whole;
  std::vector<int32_t> steps;
  whole.OnProgress = [&](const void*, int32_t step, int32_t max, bool&) {
    EXPECT_EQ(max, 24);
    steps.push_back(step);
  };
  ReadAvif(file, whole);
  ASSERT_EQ(steps.size(), 24u);
  EXPECT_EQ(steps.back(), 23);

  TPixelGraphic aborted;
  aborted.OnProgress = [&](const void*, int32_t step, int32_t, bool& abort) { abort = step == 2; };
  EXPECT_NO_THROW(ReadAvif(file, aborted));
  ASSERT_EQ(aborted.Height(), 24);
  for (int32_t y = 0; y < 24; ++y) {
    for (int32_t x = 0; x < 32; x += 7) {
      if (y <= 2) {
        EXPECT_EQ(aborted.Colors(x, y), whole.Colors(x, y)) << x << ", " << y;
      } else {
        EXPECT_EQ(aborted.Colors(x, y), 0u) << x << ", " << y;
      }
    }
  }
}

}  // namespace
}  // namespace pg
