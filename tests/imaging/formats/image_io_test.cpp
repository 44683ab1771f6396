// Loading and saving as free functions with the options of the call: per-call settings and
// questions, workers that read no global, the palette recognised before a save, aborted saves,
// reasons of failed look-ups, and the image embedded in a stream of other data.
#include "imaging/formats/image_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "imaging/image/byte_order.h"
#include "imaging/image/messages.h"
#include "tests/imaging/formats/format_test_util.h"

namespace pg {
namespace {

using namespace formattest;

std::vector<uint8_t> SaveWith(TPixelGraphic& image, const std::string& extension,
                              const TSaveOptions& options) {
  TMemoryStream stream;
  SaveImage(image, stream, extension, options);
  return stream.Data();
}

TEST(CallOptions, TheCallsSettingsDecideNotTheLibraryWideOnes) {
  TOptionsGuard guard;
  TPixelGraphic image;
  MakeRGB(image, 40, 30);
  FormatOptions().JPEGQuality = 20;
  const std::vector<uint8_t> atTwenty = Save(image, "jpg");
  FormatOptions().JPEGQuality = 95;
  TSaveOptions options = DefaultSaveOptions();
  EXPECT_EQ(options.JPEGQuality, 95);  // the defaults are the library-wide options as they stand
  options.JPEGQuality = 20;
  EXPECT_EQ(SaveWith(image, "jpg", options), atTwenty);
  EXPECT_NE(Save(image, "jpg"), atTwenty);

  // The pixel limit of the call, whatever the library-wide one says.
  const std::vector<uint8_t> png = Save(image, "png");
  TLoadOptions small = DefaultLoadOptions();
  small.MaxPixels = 100;
  TMemoryStream stream(png);
  EXPECT_THROW(LoadImage(image, stream, "", 0, small), EPGPixelLimit);
  FormatOptions().MaxPixels = 100;
  TLoadOptions large;  // built-in defaults: 16384 x 16384
  TMemoryStream again(png);
  LoadImage(image, again, "", 0, large);
  EXPECT_EQ(image.Width(), 40);
}

TEST(CallOptions, QuestionsGoToTheHandlerOfTheCall) {
  TPixelGraphic image;
  MakeIndexed(image, 9, 7, bc8Bit);  // 256 colours: JPEG must reduce
  TScriptedQuestions processWide(TQuestionAnswer::OK);
  std::vector<std::string> asked;
  TSaveOptions options;
  options.Question = [&](const std::string&, const std::string& text, TQuestionButtons) {
    asked.push_back(text);
    return TQuestionAnswer::Cancel;
  };
  EXPECT_THROW(SaveWith(image, "jpg", options), EPGCannotWriteColorRes);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], MessageText(17, "JPEG (JFIF compliant)", "256 colors", "16.7 million colors"));
  EXPECT_TRUE(processWide.Texts.empty());

  // The call's warning action overrides the image's own.
  image.SetSaveColorResWarningAction(pgwaRaise);
  options.ColorResWarningAction = pgwaIgnore;
  EXPECT_FALSE(SaveWith(image, "jpg", options).empty());
  EXPECT_EQ(asked.size(), 1u);
}

// A save on another thread gives the same bytes while this thread changes every library-wide
// setting and the process-wide question handler: the save reads only its own options.
TEST(CallOptions, AWorkerReadsNoLibraryWideSetting) {
  TOptionsGuard guard;
  TPixelGraphic image;
  MakeIndexed(image, 64, 48, bc8Bit);
  TSaveOptions options;
  options.JPEGQuality = 30;
  options.ColorResWarningAction = pgwaIgnore;
  const std::vector<uint8_t> expected = SaveWith(image, "jpg", options);

  std::atomic<bool> done{false};
  std::atomic<int> mismatches{0};
  std::thread worker([&] {
    TPixelGraphic own;
    own.Assign(&image);
    for (int i = 0; i < 20; ++i) {
      if (SaveWith(own, "jpg", options) != expected) ++mismatches;
    }
    done = true;
  });
  for (int i = 0; !done; ++i) {
    FormatOptions().JPEGQuality = i % 2 == 0 ? 5 : 100;
    FormatOptions().JPEGProgressive = i % 3 == 0;
    TScriptedQuestions refuse(TQuestionAnswer::Cancel);
  }
  worker.join();
  EXPECT_EQ(mismatches, 0);
}

// A palette set entry by entry has no identity until it is recognised, which every save does first:
// a grey ramp saves as grey and black and white as black and white, without a question.
TEST(SaveDispatch, APaletteSetEntryByEntryIsRecognisedBeforeSaving) {
  TScriptedQuestions questions(TQuestionAnswer::Cancel);
  TPixelGraphic grey;
  grey.NewImage(16, 16, bc8Bit);
  grey.SetPaletteCount(256);
  for (int32_t i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    grey.SetPaletteEntries(i, RGBColor(v, v, v));
  }
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) grey.SetPixels(x, y, static_cast<uint32_t>(16 * y + x));
  ASSERT_EQ(grey.PaletteIdent(), pUnknown);
  grey.SetSaveColorResWarningAction(pgwaRaise);

  TPixelGraphic back;
  Load(back, Save(grey, "jpg"));
  EXPECT_EQ(back.BitCount(), bc8Bit);  // a one-component JPEG
  EXPECT_EQ(back.PaletteIdent(), pGray256);
  const std::vector<uint8_t> pgm = Save(grey, "pgm");
  EXPECT_EQ(std::string(pgm.begin(), pgm.begin() + 2), "P2");
  Load(back, pgm);
  EXPECT_TRUE(SameColors(grey, back));

  TPixelGraphic blackWhite;
  blackWhite.NewImage(8, 2, bc1Bit);
  blackWhite.SetPaletteCount(2);
  blackWhite.SetPaletteEntries(0, RGBColor(0, 0, 0));
  blackWhite.SetPaletteEntries(1, RGBColor(255, 255, 255));
  blackWhite.SetPixels(3, 1, 1);
  blackWhite.SetSaveColorResWarningAction(pgwaRaise);
  ASSERT_EQ(blackWhite.ColorRes(), cr2Colors);
  Load(back, Save(blackWhite, "pbm"));
  EXPECT_TRUE(SameColors(blackWhite, back));
  EXPECT_TRUE(questions.Texts.empty());
}

// A writer that stops on Abort would leave a file cut short: the save fails and the old file stays.
TEST(SaveToFile, AnAbortedSaveFailsAndKeepsTheOldFile) {
  TTempDir dir;
  TPixelGraphic image;
  MakeRGB(image, 20, 20);
  image.OnProgress = [](const void*, int32_t step, int32_t, bool& abort) { abort = step >= 1; };
  for (const char* extension : {"tif", "tga", "ppm"}) {
    SCOPED_TRACE(extension);
    const std::filesystem::path path = dir.Path / (std::string("old.") + extension);
    WriteBytes(path, {1, 2, 3});
    EXPECT_EQ(ErrorOf<EPGAbort>([&] { image.SaveToFile(path.string()); }), MessageText(29));
    EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    TMemoryStream stream;
    EXPECT_THROW(image.SaveToStream(stream, extension), EPGAbort);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 3);
}

TEST(FileInfo, TheVariantsThatGiveTheReason) {
  TTempDir dir;
  TPixelGraphic image;
  MakeRGB(image, 7, 5);
  std::vector<uint8_t> png = Save(image, "png");

  TMemoryStream text(std::vector<uint8_t>(32, 'x'));
  EXPECT_EQ(ErrorOf<EPGUnknownFileFormat>([&] { FileFormatReaderFor(text, "bmp"); }), "Unknown file format");
  EXPECT_EQ(FindFileFormatReader(text, "bmp"), nullptr);
  TMemoryStream good(png);
  EXPECT_EQ(FileFormatReaderFor(good, "").Extension, "png");

  // A file without an extension: the open dialog's query says no, the variant reads it.
  WriteBytes(dir.Path / "picture", png);
  std::string description, colors, info, sub;
  int32_t count = 0, bits = 0, height = 0, width = 0;
  EXPECT_FALSE(GetGraphicFileInfo((dir.Path / "picture").string(), 0, description, count, bits, colors,
                                  height, width, info, sub));
  TGraphicFileInfo header;
  ReadGraphicFileInfo((dir.Path / "picture").string(), 0, header);
  EXPECT_EQ(header.Description, "Portable Network Graphics");
  EXPECT_EQ(header.Width, 7);
  EXPECT_EQ(header.Height, 5);
  EXPECT_EQ(header.ImageCount, 1);

  // A header cut short: false with the outputs as far as they got, or the reader's reason.
  png.resize(20);
  WriteBytes(dir.Path / "cut.png", png);
  EXPECT_FALSE(GetGraphicFileInfo((dir.Path / "cut.png").string(), 0, description, count, bits, colors,
                                  height, width, info, sub));
  EXPECT_EQ(description, "Portable Network Graphics");
  EXPECT_EQ(ErrorOf<EPGPNGFileFormatReaderWriter>(
                [&] { ReadGraphicFileInfo((dir.Path / "cut.png").string(), 0, header); }),
            "PNG: Unexpected end of file");
  EXPECT_EQ(header.Description, "Portable Network Graphics");
  const std::string missing = (dir.Path / "missing.png").string();
  EXPECT_NE(ErrorOf<EPGStreamError>([&] { ReadGraphicFileInfo(missing, 0, header); }).find("No such file"),
            std::string::npos);
}

// A stream of other data with the image embedded: bytes before, the count and BMP file, bytes after.
std::vector<uint8_t> Embedded(TPixelGraphic& image, int64_t& countAt) {
  TMemoryStream stream;
  stream.WriteBuffer("abc", 3);
  countAt = stream.Position();
  image.WriteData(stream);
  stream.WriteBuffer("xyz", 3);
  return stream.Data();
}

TEST(EmbeddedData, CountThenABmpFileAndTheStreamEndsUpAfterTheCount) {
  TPixelGraphic image;
  MakeIndexed(image, 5, 3, bc4Bit);
  int64_t countAt = 0;
  const std::vector<uint8_t> data = Embedded(image, countAt);
  const uint32_t count = GetLE32(data.data() + countAt);
  EXPECT_EQ(count, data.size() - 3 - 4 - 3);
  EXPECT_EQ(data[countAt + 4], 'B');
  EXPECT_EQ(data[countAt + 5], 'M');

  TMemoryStream stream(data);
  stream.SetPosition(countAt);
  TPixelGraphic back;
  back.ReadData(stream);
  EXPECT_TRUE(SameColors(image, back));
  EXPECT_EQ(stream.Position(), countAt + 4 + count);
}

TEST(EmbeddedData, ACountThatLiesNeitherReadsBeyondItNorMisplacesTheStream) {
  TPixelGraphic image;
  MakeRGB(image, 6, 4);
  int64_t countAt = 0;
  std::vector<uint8_t> data = Embedded(image, countAt);
  const uint32_t count = GetLE32(data.data() + countAt);
  auto readWithCount = [&](uint32_t claimed, TPixelGraphic& back) {
    std::vector<uint8_t> lying = data;
    PutLE32(lying.data() + countAt, claimed);
    TMemoryStream stream(lying);
    stream.SetPosition(countAt);
    std::string error;
    try {
      back.ReadData(stream);
    } catch (const EPixelGraphic& e) {
      error = e.what();
    }
    EXPECT_EQ(stream.Position(), countAt + 4 + claimed) << claimed;
    return error;
  };
  TPixelGraphic back;
  // Shorter than the file: the reader meets the end of the data, not the bytes that follow.
  EXPECT_EQ(readWithCount(count - 5, back), "BMP: Unexpected end of file");
  // Longer than the file but inside the stream: the image loads and the extra bytes are skipped.
  EXPECT_EQ(readWithCount(count + 2, back), "");
  EXPECT_TRUE(SameColors(image, back));
  // Beyond the stream: refused before anything is read.
  EXPECT_EQ(readWithCount(count + 1000, back), "BMP: Unexpected end of file");
  // Not even a whole count.
  TMemoryStream shortStream(std::vector<uint8_t>{1, 0});
  EXPECT_EQ(ErrorOf<EPGBMPFileFormatReader>([&] { back.ReadData(shortStream); }),
            "BMP: Unexpected end of file");
}

}  // namespace
}  // namespace pg
