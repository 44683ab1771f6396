#include "imaging/formats/webp.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/image/byte_order.h"
#include "tests/imaging/formats/external_encoders.h"
#include "tests/imaging/formats/format_test_util.h"

namespace pg {
namespace {

using namespace formattest;

std::vector<uint8_t> SaveWebP(TPixelGraphic& image, bool lossless, int32_t quality = 80) {
  TSaveOptions options = DefaultSaveOptions();
  options.WebPLossless = lossless;
  options.WebPQuality = quality;
  TMemoryStream stream;
  SaveImage(image, stream, "webp", options);
  return stream.Data();
}

void ReadWebP(const std::vector<uint8_t>& file, TPixelGraphic& image, int64_t maxPixels = kDefaultMaxPixels) {
  TLoadOptions options = DefaultLoadOptions();
  options.MaxPixels = maxPixels;
  TMemoryStream stream(file);
  TWebPFileFormatReader().ReadFromStream(stream, image, 0, options);
}

// The file's chunks after its RIFF header, under a new RIFF header.
std::vector<uint8_t> Riff(const std::vector<uint8_t>& chunks) {
  std::vector<uint8_t> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
  file.insert(file.end(), chunks.begin(), chunks.end());
  PutLE32(file.data() + 4, static_cast<uint32_t>(file.size() - 8));
  return file;
}

TEST(WebP, LosslessRoundTripIsExactForEveryPixelFormat) {
  for (TBitCount bitCount : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    for (auto [width, height] : {std::pair{1, 1}, std::pair{37, 23}}) {
      SCOPED_TRACE(std::to_string(BitCountNum(bitCount)) + " bits, " + std::to_string(width) + " x " +
                   std::to_string(height));
      TPixelGraphic source;
      if (bitCount == bc24Bit) {
        MakeRGB(source, width, height);
      } else {
        MakeIndexed(source, width, height, bitCount);
      }
      const std::vector<uint8_t> file = SaveWebP(source, true);
      TPixelGraphic loaded;
      Load(loaded, file);
      ASSERT_EQ(loaded.BitCount(), bc24Bit);
      EXPECT_TRUE(SameColors(source, loaded));
    }
  }
}

TEST(WebP, LossyRoundTripStaysCloseAndQualityCounts) {
  TPixelGraphic source;
  MakePhotoLike(source, 160, 96);
  TPixelGraphic low, high;
  const std::vector<uint8_t> lowFile = SaveWebP(source, false, 30);
  const std::vector<uint8_t> highFile = SaveWebP(source, false, 95);
  Load(low, lowFile);
  Load(high, highFile);
  EXPECT_LT(lowFile.size(), highFile.size());
  // Bounds a little under what libwebp reaches on this picture, whose hard colour edge costs the
  // subsampled chroma (about 33 and 39 dB).
  EXPECT_GT(Psnr(source, low), 31.0);
  EXPECT_GT(Psnr(source, high), 37.0);
  // The lossless choice ignores the quality and keeps every pixel.
  TPixelGraphic exact;
  Load(exact, SaveWebP(source, true, 10));
  EXPECT_TRUE(SameColors(source, exact));
}

TEST(WebP, FoundByContentWhateverItsNameAndDescribedByItsHeader) {
  TPixelGraphic source;
  MakeRGB(source, 21, 13);
  const std::vector<uint8_t> lossy = SaveWebP(source, false);
  TMemoryStream stream(lossy);
  const TFileFormatReader* reader = FindFileFormatReader(stream, "bmp");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Extension, "webp");
  EXPECT_EQ(stream.Position(), 0);

  TTempDir dir;
  const std::filesystem::path path = dir.Path / "picture.bmp";
  WriteBytes(path, SaveWebP(source, true));
  std::string description, colors, info, subFormat;
  int32_t count = 0, bits = 0, height = 0, width = 0;
  ASSERT_TRUE(
      GetGraphicFileInfo(path.string(), 0, description, count, bits, colors, height, width, info, subFormat));
  EXPECT_EQ(description, "WebP");
  EXPECT_EQ(width, 21);
  EXPECT_EQ(height, 13);
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(subFormat, "Lossless");
  EXPECT_NE(BuildReaderFilter().find("|WEBP - WebP|*.webp|"), std::string::npos);
}

TEST(WebP, ReadsFilesOfAnotherEncoderWithAlphaOverTheBackground) {
  if (!HaveProgram("cwebp")) GTEST_SKIP() << "cwebp (Debian package webp) is not installed";
  TTempDir dir;
  const std::filesystem::path png = dir.Path / "alpha.png";
  WriteBytes(png, WritePng(RgbaRamps(40, 32)));
  TPixelGraphic fromPng;
  fromPng.SetBackgroundColor(RGBColor(10, 200, 30));
  fromPng.LoadFromFile(png.string());

  const std::filesystem::path lossless = dir.Path / "lossless.webp";
  const std::filesystem::path lossy = dir.Path / "lossy.webp";
  ASSERT_TRUE(RunQuietly("cwebp -lossless " + Quoted(png) + " -o " + Quoted(lossless)));
  ASSERT_TRUE(RunQuietly("cwebp -q 90 " + Quoted(png) + " -o " + Quoted(lossy)));
  for (const auto& [path, tolerance] : {std::pair{lossless, 0}, std::pair{lossy, 24}}) {
    SCOPED_TRACE(path.filename().string());
    TPixelGraphic image;
    image.SetBackgroundColor(RGBColor(10, 200, 30));
    image.LoadFromFile(path.string());
    EXPECT_TRUE(SameColors(fromPng, image, tolerance));
  }

  // An opaque picture, lossless and lossy.
  TPixelGraphic source;
  MakePhotoLike(source, 64, 48);
  const std::filesystem::path opaque = dir.Path / "opaque.png";
  source.SaveToFile(opaque.string());
  ASSERT_TRUE(RunQuietly("cwebp -lossless " + Quoted(opaque) + " -o " + Quoted(lossless)));
  ASSERT_TRUE(RunQuietly("cwebp -q 90 " + Quoted(opaque) + " -o " + Quoted(lossy)));
  TPixelGraphic image;
  image.LoadFromFile(lossless.string());
  EXPECT_TRUE(SameColors(source, image));
  image.LoadFromFile(lossy.string());
  EXPECT_GT(Psnr(source, image), 33.0);
}

TEST(WebP, DamagedCutOrOversizedFilesFailClearly) {
  TPixelGraphic source;
  MakePhotoLike(source, 40, 30);
  const std::vector<uint8_t> lossless = SaveWebP(source, true);
  const std::vector<uint8_t> lossy = SaveWebP(source, false);
  const auto error = [](const std::vector<uint8_t>& file, int64_t maxPixels = kDefaultMaxPixels) {
    return ErrorOf<EPGWebPFileFormatReaderWriter>([&] {
      TPixelGraphic image;
      ReadWebP(file, image, maxPixels);
    });
  };

  // Cut: the RIFF header promises more than the stream holds; refused before anything is decoded.
  for (const std::vector<uint8_t>* file : {&lossless, &lossy}) {
    const std::vector<uint8_t> cut(file->begin(), file->begin() + static_cast<ptrdiff_t>(file->size() / 2));
    EXPECT_EQ(error(cut), "WebP: Unexpected end of file");
  }
  // A RIFF size that claims less than the chunks need.
  std::vector<uint8_t> shortRiff = lossy;
  PutLE32(shortRiff.data() + 4, 20);
  EXPECT_EQ(error(shortRiff).rfind("WebP: ", 0), 0u);

  // Damaged bitstreams: every byte after the headers flipped in turn never crashes; those the
  // decoder notices are errors with the format's prefix.
  for (const std::vector<uint8_t>* file : {&lossless, &lossy}) {
    for (size_t at = 30; at < file->size(); at += 7) {
      std::vector<uint8_t> damaged = *file;
      damaged[at] ^= 0x5A;
      const std::string text = error(damaged);
      if (!text.empty()) {
        EXPECT_EQ(text.rfind("WebP: ", 0), 0u) << text;
      }
    }
  }

  // Not WebP inside a RIFF.
  std::vector<uint8_t> wave = lossy;
  std::memcpy(wave.data() + 8, "WAVE", 4);
  EXPECT_EQ(error(wave), "WebP: Not a WebP file");

  // Over the pixel limit: refused by the limit, with the size in the message.
  TPixelGraphic image;
  try {
    ReadWebP(lossless, image, 1000);
    ADD_FAILURE() << "loaded";
  } catch (const EPGPixelLimit& e) {
    EXPECT_EQ(e.Width(), 40);
    EXPECT_EQ(e.Height(), 30);
  }

  // A canvas that is not the bitstream's size: the container and the picture disagree.
  std::vector<uint8_t> vp8x = {'V', 'P', '8', 'X', 10, 0, 0, 0, 0, 0, 0, 0};
  const uint32_t canvasWidth = 4000 - 1, canvasHeight = 3000 - 1;
  vp8x.insert(vp8x.end(), {static_cast<uint8_t>(canvasWidth), static_cast<uint8_t>(canvasWidth >> 8), 0,
                           static_cast<uint8_t>(canvasHeight), static_cast<uint8_t>(canvasHeight >> 8), 0});
  vp8x.insert(vp8x.end(), lossless.begin() + 12, lossless.end());
  EXPECT_EQ(error(Riff(vp8x)).rfind("WebP: ", 0), 0u);
}

TEST(WebP, AnimationsAreRefusedButDescribed) {
  if (!HaveProgram("img2webp")) GTEST_SKIP() << "img2webp (Debian package webp) is not installed";
  TTempDir dir;
  TPixelGraphic frame;
  MakeRGB(frame, 16, 16);
  frame.SaveToFile((dir.Path / "a.png").string());
  MakeIndexed(frame, 16, 16, bc8Bit);
  frame.SaveToFile((dir.Path / "b.png").string());
  const std::filesystem::path animation = dir.Path / "animation.webp";
  ASSERT_TRUE(RunQuietly("img2webp -lossless " + Quoted(dir.Path / "a.png") + " " +
                         Quoted(dir.Path / "b.png") + " -o " + Quoted(animation)));
  TPixelGraphic image;
  EXPECT_EQ(ErrorOf<EPGWebPFileFormatReaderWriter>([&] { image.LoadFromFile(animation.string()); }),
            "WebP: animated files are not supported");
  TGraphicFileInfo info;
  ReadGraphicFileInfo(animation.string(), 0, info);
  EXPECT_EQ(info.SubFormatText, "Animated");
  EXPECT_EQ(info.Width, 16);
}

TEST(WebP, WriterRefusesPicturesTheFormatCannotHold) {
  TPixelGraphic wide;
  wide.NewImage(16384, 1, bc24Bit);
  EXPECT_EQ(ErrorOf<EPGWebPFileFormatReaderWriter>([&] { SaveWebP(wide, false); }),
            "WebP: a picture of 16384 x 1 pixels exceeds the format's 16383 pixels a side");
  TPixelGraphic empty;
  EXPECT_EQ(ErrorOf<EPGWebPFileFormatReaderWriter>([&] { SaveWebP(empty, true); }),
            "WebP: Width = 0 or Height = 0");
}

TEST(WebP, ProgressCoversEveryRowAndAbortKeepsTheSize) {
  TPixelGraphic source;
  MakeRGB(source, 30, 20);
  const std::vector<uint8_t> file = SaveWebP(source, true);
  TPixelGraphic image;
  std::vector<int32_t> steps;
  image.OnProgress = [&](const void*, int32_t step, int32_t max, bool&) {
    EXPECT_EQ(max, 20);
    steps.push_back(step);
  };
  ReadWebP(file, image);
  ASSERT_EQ(steps.size(), 20u);
  EXPECT_EQ(steps.front(), 0);
  EXPECT_EQ(steps.back(), 19);

  TPixelGraphic aborted;
  aborted.OnProgress = [&](const void*, int32_t, int32_t, bool& abort) { abort = true; };
  EXPECT_NO_THROW(ReadWebP(file, aborted));
  EXPECT_EQ(aborted.Width(), 30);
  EXPECT_EQ(aborted.Height(), 20);
}

}  // namespace
}  // namespace pg
