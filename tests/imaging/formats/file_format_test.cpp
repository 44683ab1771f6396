#include "imaging/formats/file_format.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "imaging/formats/image_io.h"
#include "imaging/image/gamma.h"
#include "imaging/image/messages.h"
#include "imaging/image/palette_builder.h"
#include "tests/imaging/formats/format_test_util.h"
#include "tests/imaging/formats/png_test_writer.h"
#include "tests/workspace/file_size_limit.h"

namespace pg {
namespace {

using namespace formattest;

std::vector<uint8_t> SmallPng() {
  TPixelGraphic image;
  MakeRGB(image, 4, 3);
  return Save(image, "png");
}

TEST(FileFormatTables, RegisteredAndSortedByExtension) {
  std::string readers, writers;
  for (const auto& r : FileFormatReaders()) readers += r->Extension + " ";
  for (const auto& w : FileFormatWriters()) writers += w->Extension + (w->ShowInFilter ? " " : "- ");
  EXPECT_EQ(readers, "avif bmp dib jif jpeg jpg pbm pcx pgm png ppm rle tga tif tiff webp ");
  EXPECT_EQ(writers, "avif bmp dib- jif- jpeg- jpg pbm pgm png ppm tga tif tiff- webp ");
  for (const auto& r : FileFormatReaders()) EXPECT_EQ(r->HasSignature, r->Extension != "tga") << r->Extension;

  const std::set<TColorRes> all = {crBlackWhite, cr2Colors, cr16Gray,    cr16SysColors,
                                   cr16Colors,   cr256Gray, cr256Colors, cr16MColors};
  EXPECT_EQ(FindFileFormatWriter("bmp")->CanWriteResolutions, all);
  EXPECT_EQ(FindFileFormatWriter("png")->CanWriteResolutions, all);
  // WebP and AVIF hold every picture as 24 bits, so a palette image is never reduced first.
  EXPECT_EQ(FindFileFormatWriter("webp")->CanWriteResolutions, all);
  EXPECT_EQ(FindFileFormatWriter("avif")->CanWriteResolutions, all);
  EXPECT_EQ(FindFileFormatWriter("jif")->CanWriteResolutions, (std::set<TColorRes>{cr256Gray, cr16MColors}));
}

TEST(FileFormatTables, ReaderFilterIsExact) {
  EXPECT_EQ(
      BuildReaderFilter(),
      "Image files|*.avif; *.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; *.rle; "
      "*.tga; *.tif; *.tiff; *.webp|AVIF - AV1 Image File Format|*.avif|BMP - Bitmap|*.bmp|DIB - "
      "Bitmap|*.dib|JIF - JPEG (JFIF compliant)|*.jif|JPEG - JPEG "
      "(JFIF compliant)|*.jpeg|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PCX - "
      "Paintbrush|*.pcx|PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable "
      "Pixelmap|*.ppm|RLE - Bitmap|*.rle|TGA - Truevision Targa|*.tga|TIF - Tagged Image File "
      "Format|*.tif|TIFF - Tagged Image File Format|*.tiff|WEBP - WebP|*.webp|All files|*.*");
}

TEST(FindFileFormatReader, ContentDecidesAndTheExtensionOnlyForTga) {
  TMemoryStream png(SmallPng());
  png.SetPosition(0);
  const TFileFormatReader* reader = FindFileFormatReader(png, ".bmp");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Extension, "png");
  EXPECT_EQ(png.Position(), 0);  // the header peek leaves the position alone

  // A PNG file named photo.bmp loads as PNG.
  TPixelGraphic image;
  Load(image, SmallPng(), "bmp");
  EXPECT_EQ(image.Width(), 4);

  // No signature matches: only "tga" finds a reader; anything else fails with message 6.
  const std::vector<uint8_t> noSignature(40, 0x11);
  TMemoryStream stream(noSignature);
  ASSERT_NE(FindFileFormatReader(stream, "TGA"), nullptr);
  EXPECT_EQ(FindFileFormatReader(stream, "TGA")->Extension, "tga");
  EXPECT_EQ(FindFileFormatReader(stream, "bmp"), nullptr);
  EXPECT_EQ(FindFileFormatReader(stream, ""), nullptr);
  EXPECT_EQ(ErrorOf<EPGUnknownFileFormat>([&] { Load(image, noSignature, "bmp"); }), "Unknown file format");
}

TEST(FindFileFormatReader, ShortFilesArePaddedWithZeros) {
  // "BM" alone still matches the BMP signature; the BMP reader then reports the missing data.
  TMemoryStream bm(std::vector<uint8_t>{'B', 'M'});
  ASSERT_NE(FindFileFormatReader(bm, ""), nullptr);
  EXPECT_EQ(FindFileFormatReader(bm, "")->Extension, "bmp");
  TMemoryStream jpeg(std::vector<uint8_t>{0xFF, 0xD8, 0xFF});
  EXPECT_EQ(FindFileFormatReader(jpeg, "")->Extension, "jif");  // the first JPEG reader in sorted order
  TMemoryStream empty;
  EXPECT_EQ(FindFileFormatReader(empty, "png"), nullptr);

  TPixelGraphic image;
  EXPECT_EQ(ErrorOf<EPGBMPFileFormatReader>([&] {
              Load(image, {'B', 'M', 0, 0});
            }),
            "BMP: Unexpected end of file");
}

TEST(SaveDispatch, WriterByExtension) {
  TPixelGraphic image;
  MakeRGB(image, 3, 2);
  const std::vector<uint8_t> bytes = Save(image, ".PNG");
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(bytes[1], 'P');
  EXPECT_EQ(ErrorOf<EPGUnknownExtension>([&] { Save(image, "gif"); }), "Unknown file extension \"gif\"");
  EXPECT_EQ(ErrorOf<EPGUnknownExtension>([&] { Save(image, "GIF"); }), "Unknown file extension \"gif\"");
}

TEST(SaveDispatch, FallbackRows) {
  auto target = [](TColorRes current, const std::string& extension) {
    TColorRes result = current;
    EXPECT_TRUE(FallbackColorRes(current, FindFileFormatWriter(extension)->CanWriteResolutions, result));
    return result;
  };
  EXPECT_EQ(target(cr256Colors, "jpg"), cr16MColors);
  EXPECT_EQ(target(cr16Colors, "jpg"), cr16MColors);
  EXPECT_EQ(target(cr16Gray, "jpg"), cr256Gray);
  EXPECT_EQ(target(crBlackWhite, "jpg"), cr256Gray);
  EXPECT_EQ(target(cr2Colors, "tif"), cr16Colors);
  EXPECT_EQ(target(cr2Colors, "pbm"), crBlackWhite);
  EXPECT_EQ(target(cr16SysColors, "tga"), cr256Colors);
  TColorRes unused;
  EXPECT_FALSE(FallbackColorRes(cr16MColors, {}, unused));
}

TEST(SaveDispatch, ReductionAskedThenConverted) {
  TTempDir dir;
  TPixelGraphic image;
  MakeIndexed(image, 9, 7, bc8Bit);
  ASSERT_EQ(image.ColorRes(), cr256Colors);

  {  // OK: converted to 16.7 million colours after message 17
    TScriptedQuestions questions(TQuestionAnswer::OK);
    image.SaveToFile((dir.Path / "ok.jpg").string());
    ASSERT_EQ(questions.Texts.size(), 1u);
    EXPECT_EQ(questions.Captions[0], "Warning");
    EXPECT_EQ(questions.Buttons[0], TQuestionButtons::OKCancel);
    EXPECT_EQ(questions.Texts[0],
              MessageText(17, "JPEG (JFIF compliant)", "256 colors", "16.7 million colors"));
    TPixelGraphic back;
    back.LoadFromFile((dir.Path / "ok.jpg").string());
    EXPECT_EQ(back.BitCount(), bc24Bit);
    EXPECT_EQ(back.Width(), 9);
  }
  {  // Cancel: refused with message 18 and no file left behind
    TScriptedQuestions questions(TQuestionAnswer::Cancel);
    EXPECT_EQ(
        ErrorOf<EPGCannotWriteColorRes>([&] { image.SaveToFile((dir.Path / "no.jpg").string()); }),
        "The graphic cannot be saved with to a JPEG (JFIF compliant) file with the current color resolution "
        "(256 colors)");
    EXPECT_FALSE(std::filesystem::exists(dir.Path / "no.jpg"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 1);  // only ok.jpg
  }
  {  // The other warning actions: ignore asks nothing, an OK box asks with one button, raise refuses.
    TScriptedQuestions questions(TQuestionAnswer::Cancel);
    image.SetSaveColorResWarningAction(pgwaIgnore);
    EXPECT_FALSE(Save(image, "jpg").empty());
    image.SetSaveColorResWarningAction(pgwaOKBox);
    EXPECT_FALSE(Save(image, "jpg").empty());
    image.SetSaveColorResWarningAction(pgwaRaise);
    EXPECT_NE(ErrorOf<EPGCannotWriteColorRes>([&] { Save(image, "jpg"); }), "");
    ASSERT_EQ(questions.Buttons.size(), 1u);
    EXPECT_EQ(questions.Buttons[0], TQuestionButtons::OK);
  }
  EXPECT_EQ(image.BitCount(), bc8Bit);  // the source is never changed
}

TEST(SaveDispatch, ConversionsReachTheirResolution) {
  TPixelGraphic source;
  MakeRGB(source, 20, 10);
  const struct {
    TColorRes Res;
    TBitCount BitCount;
    int32_t PaletteCount;
  } cases[] = {{crBlackWhite, bc1Bit, 2},   {cr2Colors, bc1Bit, 2},   {cr16Gray, bc4Bit, 16},
               {cr16SysColors, bc4Bit, 16}, {cr16Colors, bc4Bit, 16}, {cr256Gray, bc8Bit, 256},
               {cr256Colors, bc8Bit, 252},  {cr16MColors, bc24Bit, 0}};
  for (const auto& c : cases) {
    TPixelGraphic converted;
    ConvertToColorRes(source, c.Res, converted);
    EXPECT_EQ(converted.BitCount(), c.BitCount) << int(c.Res);
    EXPECT_EQ(converted.PaletteCount(), c.PaletteCount) << int(c.Res);
    EXPECT_EQ(converted.ColorRes(), c.Res) << int(c.Res);
    EXPECT_EQ(converted.Width(), 20);
  }
  // 252 colours end with the 16 system colours.
  TPixelGraphic sys;
  sys.NewImage(1, 1, bc4Bit);
  sys.SetPaletteIdent(pSys16);
  TPixelGraphic converted;
  ConvertToColorRes(source, cr256Colors, converted);
  for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(converted.PaletteEntries(236 + i), sys.PaletteEntries(i));

  // A 2-colour image saved as TIFF becomes 16 colours chosen from the image.
  TPixelGraphic twoColors;
  twoColors.NewImage(8, 8, bc1Bit);
  twoColors.SetPaletteCount(2);
  twoColors.SetPaletteEntries(0, RGBColor(200, 10, 10));
  twoColors.SetPaletteEntries(1, RGBColor(10, 10, 200));
  twoColors.SetPixels(3, 3, 1);
  ASSERT_EQ(twoColors.ColorRes(), cr2Colors);
  TColorRes target;
  ASSERT_TRUE(FallbackColorRes(cr2Colors, FindFileFormatWriter("tiff")->CanWriteResolutions, target));
  ASSERT_EQ(target, cr16Colors);
  TPixelGraphic sixteen;
  ConvertToColorRes(twoColors, target, sixteen);
  EXPECT_EQ(sixteen.BitCount(), bc4Bit);
  EXPECT_TRUE(SameColors(twoColors, sixteen));

  // The same through the TIFF writer: the file holds a 4-bit image of 16 colours.
  twoColors.SetSaveColorResWarningAction(pgwaIgnore);
  TPixelGraphic fromTiff;
  Load(fromTiff, Save(twoColors, "tif"), "tif");
  EXPECT_EQ(fromTiff.BitCount(), bc4Bit);
  EXPECT_EQ(fromTiff.PaletteCount(), 16);
  EXPECT_TRUE(SameColors(twoColors, fromTiff));
}

TEST(SaveToFile, FailureLeavesNoFileAndKeepsAnExistingOne) {
  TTempDir dir;
  TPixelGraphic empty;  // 0 x 0: JPEG cannot hold it
  EXPECT_NE(ErrorOf<EPGJPGFileFormatReaderWriter>([&] { empty.SaveToFile((dir.Path / "e.jpg").string()); }),
            "");
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path));

  WriteBytes(dir.Path / "keep.jpg", {1, 2, 3});
  EXPECT_THROW(empty.SaveToFile((dir.Path / "keep.jpg").string()), EPGJPGFileFormatReaderWriter);
  EXPECT_EQ(ReadBytes(dir.Path / "keep.jpg"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 1);

  TPixelGraphic image;
  MakeRGB(image, 5, 5);
  image.SaveToFile((dir.Path / "keep.jpg").string());  // replaced when the save succeeds
  TPixelGraphic back;
  back.LoadFromFile((dir.Path / "keep.jpg").string());
  EXPECT_EQ(back.Width(), 5);
  // The error names the file asked for, not the temporary one it is written to first.
  const std::string text =
      ErrorOf<EPGStreamError>([&] { image.SaveToFile((dir.Path / "missing" / "x.bmp").string()); });
  EXPECT_EQ(text, (dir.Path / "missing" / "x.bmp").string() + ": No such file or directory");
}

// Whatever codec writes, a failed write reaches the user as the file and the cause, not as the
// codec's own words ("Stream write error").
TEST(SaveToFile, WriteErrorsOfEveryWriterNameTheFileAndTheCause) {
  TTempDir dir;
  TPixelGraphic image;
  MakeRGB(image, 64, 64);
  const char* extensions[] = {"bmp", "jpg", "png", "tif", "ppm", "pgm", "tga"};
  for (const char* extension : extensions)
    WriteBytes(dir.Path / (std::string("photo.") + extension), {1, 2, 3});
  {
    tessel::TFileSizeLimit limit(200);
    for (const char* extension : extensions) {
      const std::filesystem::path path = dir.Path / (std::string("photo.") + extension);
      EXPECT_EQ(ErrorOf<EPixelGraphic>([&] { image.SaveToFile(path.string()); }),
                path.string() + ": " + std::strerror(EFBIG));
    }
  }
  for (const char* extension : extensions) {
    EXPECT_EQ(ReadBytes(dir.Path / (std::string("photo.") + extension)), (std::vector<uint8_t>{1, 2, 3}));
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path), {}), 7);
}

// A file system of 64 KiB of its own, so that the disk really runs full.
class TSmallDisk {
 public:
  explicit TSmallDisk(const std::filesystem::path& at) : path_(at) {
    std::filesystem::create_directories(at);
    mounted_ = ::mount("tessel-test", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "size=64k") == 0;
    error_ = mounted_ ? 0 : errno;
  }
  ~TSmallDisk() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  TSmallDisk(const TSmallDisk&) = delete;
  TSmallDisk& operator=(const TSmallDisk&) = delete;

  bool Mounted() const { return mounted_; }
  int Error() const { return error_; }

 private:
  std::filesystem::path path_;
  bool mounted_ = false;
  int error_ = 0;
};

TEST(SaveToFile, FullDiskNamesTheFileAndKeepsTheOldOne) {
  TTempDir dir;
  TSmallDisk disk(dir.Path / "disk");
  if (!disk.Mounted()) {
    GTEST_SKIP() << "no small tmpfs could be mounted here (" << std::strerror(disk.Error())
                 << "): the full-disk case is not run";
  }
  const std::filesystem::path path = dir.Path / "disk" / "photo.bmp";
  WriteBytes(path, std::vector<uint8_t>(32 * 1024, 7));  // half the disk
  TPixelGraphic image;
  // 36354 bytes: held in the write buffer, the disk runs full when it is flushed before the rename;
  // 270054 bytes: it runs full while the codec writes.
  for (int32_t size : {110, 300}) {
    SCOPED_TRACE(size);
    MakeRGB(image, size, size);
    EXPECT_EQ(ErrorOf<EPixelGraphic>([&] { image.SaveToFile(path.string()); }),
              path.string() + ": " + std::strerror(ENOSPC));
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>(32 * 1024, 7));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path / "disk"), {}), 1);
  }
  MakeRGB(image, 20, 20);  // the space of the failed attempts is free again
  image.SaveToFile(path.string());
  TPixelGraphic back;
  back.LoadFromFile(path.string());
  EXPECT_TRUE(SameColors(back, image));
}

// A 2 x 1 grey PNG with values 0 and 128 and the given gAMA value.
std::vector<uint8_t> GreyPngWithGamma(double fileGamma) {
  TPngSpec spec;
  spec.Width = 2;
  spec.Rows = {{0, 128}};
  spec.FileGamma = fileGamma;
  return WritePng(spec);
}

TEST(LoadGamma, SmallDifferencesAreLeftAlone) {
  TPixelGraphic image;
  Load(image, GreyPngWithGamma(1 / 1.85));  // |1.85 / 1.8 - 1| < 0.05
  EXPECT_EQ(GetRValue(image.Colors(1, 0)), 128);
  EXPECT_NEAR(static_cast<double>(image.Gamma()), 1.85, 1e-4);

  Load(image, GreyPngWithGamma(1 / 2.2));
  const TGammaTable table = BuildGammaTable(2.2L / 1.8L);
  EXPECT_EQ(GetRValue(image.Colors(1, 0)), table[128]);
  EXPECT_LT(table[128], 128);
  EXPECT_EQ(GetRValue(image.Colors(0, 0)), 0);
  EXPECT_DOUBLE_EQ(static_cast<double>(image.Gamma()), 1.8);

  TOptionsGuard options;
  FormatOptions().GammaCorrection = false;
  Load(image, GreyPngWithGamma(1 / 2.2));
  EXPECT_EQ(GetRValue(image.Colors(1, 0)), 128);
}

TEST(LoadGamma, TrueColourBytesAreCorrected) {
  TPngSpec spec;
  spec.Width = 1;
  spec.ColorType = PNG_COLOR_TYPE_RGB;
  spec.Rows = {{10, 100, 200}};
  spec.FileGamma = 1.0;  // linear data: brightened for the 1.8 display
  TPixelGraphic image;
  Load(image, WritePng(spec));
  const TGammaTable table = BuildGammaTable(1.0L / 1.8L);
  EXPECT_EQ(image.Colors(0, 0), RGBColor(table[10], table[100], table[200]));
}

TEST(ReaderProtocol, AbortOnTheFirstRowKeepsTheSizeAndOneRow) {
  TPixelGraphic source;
  MakeRGB(source, 16, 12);
  for (const std::string extension : {"png", "jpg", "bmp"}) {
    const std::vector<uint8_t> file = Save(source, extension);
    TPixelGraphic image;
    int starts = 0, steps = 0, ends = 0;
    std::set<const void*> senders;  // every event comes from the reader
    image.OnProgressStart = [&](const void* sender) {
      ++starts;
      senders.insert(sender);
    };
    image.OnProgress = [&](const void* sender, int32_t, int32_t, bool& abort) {
      ++steps;
      senders.insert(sender);
      abort = true;
    };
    image.OnProgressEnd = [&](const void* sender) {
      ++ends;
      senders.insert(sender);
    };
    EXPECT_NO_THROW(Load(image, file)) << extension;
    TMemoryStream peek(file);
    EXPECT_EQ(senders, std::set<const void*>{FindFileFormatReader(peek, "")}) << extension;
    EXPECT_EQ(image.Width(), 16) << extension;
    EXPECT_EQ(image.Height(), 12) << extension;
    EXPECT_EQ(starts, 1) << extension;
    EXPECT_EQ(steps, 1) << extension;
    EXPECT_EQ(ends, 1) << extension;
    if (extension != "bmp") {  // BMP reads by tenths of the data, not by rows
      EXPECT_NE(image.Colors(15, 0), 0u) << extension;
      EXPECT_EQ(image.Colors(15, 11), 0u) << extension;
    }
  }
}

TEST(ReaderProtocol, IndexAndProgressEndOnFailure) {
  TPixelGraphic source;
  MakeRGB(source, 8, 8);
  for (const std::string extension : {"png", "jpg", "bmp"}) {
    std::vector<uint8_t> file = Save(source, extension);
    TPixelGraphic image;
    TMemoryStream stream(file);
    const std::string text = ErrorOf<EPixelGraphic>([&] { image.LoadFromStream(stream, "", 1); });
    EXPECT_NE(text.find("Index invalid"), std::string::npos) << text;

    // A file cut in the middle of its pixels: progress start and end are paired.
    file.resize(file.size() * 2 / 3);
    int starts = 0, ends = 0;
    image.OnProgressStart = [&](const void*) { ++starts; };
    image.OnProgressEnd = [&](const void*) { ++ends; };
    try {
      Load(image, file);
    } catch (const EPixelGraphic&) {
    }
    EXPECT_EQ(starts, ends) << extension;
  }
}

TEST(ReaderProtocol, AFailedLoadStillRecognisesThePalette) {
  // A grey image cut in the middle of its pixels: the reader has set up the 256-grey palette
  // entry by entry before it fails; the load still tells what that palette is.
  TPixelGraphic grey;
  grey.NewImage(64, 64, bc8Bit);
  grey.SetPaletteIdent(pGray256);
  for (int32_t y = 0; y < 64; ++y) {
    for (int32_t x = 0; x < 64; ++x) grey.SetPixels(x, y, static_cast<uint32_t>((x * 7 + y * 13) & 0xFF));
  }
  std::vector<uint8_t> file = Save(grey, "png");
  file.resize(file.size() / 2);
  TPixelGraphic image;
  EXPECT_NE(ErrorOf<EPGPNGFileFormatReaderWriter>([&] { Load(image, file); }), "");
  EXPECT_EQ(image.BitCount(), bc8Bit);
  EXPECT_EQ(image.PaletteIdent(), pGray256);
}

TEST(GraphicFileInfo, HeadersOnly) {
  TTempDir dir;
  TPixelGraphic image;
  MakeIndexed(image, 13, 5, bc4Bit);
  image.SaveToFile((dir.Path / "a.bmp").string());
  std::string description, colors, info, subFormat;
  int32_t count = 0, bits = 0, height = 0, width = 0;
  ASSERT_TRUE(GetGraphicFileInfo((dir.Path / "a.bmp").string(), 0, description, count, bits, colors, height,
                                 width, info, subFormat));
  EXPECT_EQ(description, "Bitmap");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(bits, 4);
  EXPECT_EQ(width, 13);
  EXPECT_EQ(height, 5);
  EXPECT_FALSE(GetGraphicFileInfo((dir.Path / "a.bmp").string(), 1, description, count, bits, colors, height,
                                  width, info, subFormat));
  EXPECT_FALSE(GetGraphicFileInfo((dir.Path / "none.bmp").string(), 0, description, count, bits, colors,
                                  height, width, info, subFormat));
  WriteBytes(dir.Path / "x.gif", {1, 2, 3});
  EXPECT_FALSE(GetGraphicFileInfo((dir.Path / "x.gif").string(), 0, description, count, bits, colors, height,
                                  width, info, subFormat));
}

}  // namespace
}  // namespace pg
