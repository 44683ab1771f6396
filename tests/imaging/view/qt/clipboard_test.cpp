// A picture on the clipboard and back: the bitmap block, the BMP file and the image it is given as,
// pasting from each of them and from image data of other programs, and the error for anything else.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <cstring>

#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/stream.h"
#include "imaging/view/qt_clipboard.h"
#include "tests/imaging/view/qt/view_test_support.h"

namespace pg {
namespace {

QByteArray Bytes(const TMemoryStream& stream) {
  return QByteArray(reinterpret_cast<const char*>(stream.Data().data()),
                    static_cast<qsizetype>(stream.Data().size()));
}

// Every pixel of `a` and `b` (24 bits) alike, and their sizes.
void ExpectSamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  ASSERT_EQ(b.BitCount(), bc24Bit);
  for (int32_t y = 0; y < a.Height(); ++y) {
    ASSERT_EQ(std::memcmp(a.ScanLine(y), b.ScanLine(y), 3 * static_cast<size_t>(a.Width())), 0)
        << "row " << y;
  }
}

TEST(ClipboardTest, CopyGivesTheBitmapBlockABmpFileAndAnImage) {
  // An odd width, so the rows carry padding.
  const auto picture = test::MakeImage(13, 5);
  const std::unique_ptr<QMimeData> data = ClipboardData(*picture);

  TMemoryStream dib;
  WriteDIB(*picture, dib);
  const QByteArray block = data->data(kClipboardDibFormat);
  EXPECT_EQ(block, Bytes(dib));
  EXPECT_EQ(block.size(), 40 + 5 * 40);  // info header and 5 rows of 39 bytes padded to 40

  // The BMP file is the block behind a file header pointing at the pixels.
  const QByteArray bmp = data->data("image/bmp");
  ASSERT_EQ(bmp.size(), 14 + block.size());
  EXPECT_EQ(bmp.left(2), "BM");
  const auto le32 = [&bmp](int at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bmp[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 3])) << 24;
  };
  EXPECT_EQ(le32(2), static_cast<uint32_t>(bmp.size()));
  EXPECT_EQ(le32(10), 54u);
  EXPECT_EQ(bmp.mid(14), block);
  TPixelGraphic fromFile;
  TMemoryStream file(bmp.constData(), static_cast<size_t>(bmp.size()));
  LoadImage(fromFile, file, "bmp");
  ExpectSamePixels(*picture, fromFile);

  ASSERT_TRUE(data->hasImage());
  const QImage image = qvariant_cast<QImage>(data->imageData());
  ASSERT_EQ(image.size(), QSize(13, 5));
  EXPECT_EQ(image.pixel(12, 4), qRgb(7, 4, 12));
  EXPECT_EQ(image.pixel(3, 1), qRgb(7, 1, 3));
}

TEST(ClipboardTest, APaletteImageKeepsItsIndicesAndColoursThroughTheBlock) {
  TPixelGraphic picture;
  picture.NewImage(9, 3, bc8Bit);
  picture.SetPaletteCount(4);
  for (int32_t i = 0; i < 4; ++i)
    picture.SetPaletteEntries(i, RGBColor(static_cast<uint8_t>(60 * i), 9, static_cast<uint8_t>(200 - i)));
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 9; ++x) picture.ScanLine(y)[x] = static_cast<uint8_t>((x + y) % 4);
  }
  const std::unique_ptr<QMimeData> data = ClipboardData(picture);
  EXPECT_EQ(data->data("image/bmp").size(), 14 + 40 + 4 * 4 + 3 * 12);
  TPixelGraphic pasted;
  ReadClipboardData(pasted, *data);
  ASSERT_EQ(pasted.BitCount(), bc8Bit);
  ASSERT_EQ(pasted.PaletteCount(), 4);
  EXPECT_EQ(pasted.PaletteEntries(3), picture.PaletteEntries(3));
  for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(pasted.ScanLine(y), picture.ScanLine(y), 9), 0);
}

TEST(ClipboardTest, PasteTakesTheBlockThenImageDataThenAnyImage) {
  const auto picture = test::MakeImage(6, 4);
  TPixelGraphic pasted;
  pasted.SetGamma(2.5L);
  ReadClipboardData(pasted, *ClipboardData(*picture));
  ExpectSamePixels(*picture, pasted);
  EXPECT_EQ(pasted.Gamma(), DefaultLoadOptions().DefaultGamma);

  // The block wins over the others.
  auto both = ClipboardData(*picture);
  both->setImageData(QImage(2, 2, QImage::Format_RGB32));
  ReadClipboardData(pasted, *both);
  EXPECT_EQ(pasted.Width(), 6);

  // PNG data of another program.
  QImage screenshot(5, 3, QImage::Format_ARGB32);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) screenshot.setPixel(x, y, qRgb(10 * x, 20 * y, 99));
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(screenshot.save(&buffer, "PNG"));
  QMimeData pngData;
  pngData.setData("image/png", png);
  ReadClipboardData(pasted, pngData);
  ASSERT_EQ(pasted.Width(), 5);
  ASSERT_EQ(pasted.Height(), 3);
  const uint8_t* row = pasted.ScanLine(2);
  EXPECT_EQ(row[3 * 4 + 0], 99);  // blue
  EXPECT_EQ(row[3 * 4 + 1], 40);  // green
  EXPECT_EQ(row[3 * 4 + 2], 40);  // red

  // Only an image (what a screenshot tool puts there in the toolkit's own terms).
  QMimeData imageOnly;
  imageOnly.setImageData(screenshot);
  ReadClipboardData(pasted, imageOnly);
  ASSERT_EQ(pasted.Width(), 5);
  row = pasted.ScanLine(1);
  EXPECT_EQ(row[3 * 3 + 0], 99);
  EXPECT_EQ(row[3 * 3 + 1], 20);
  EXPECT_EQ(row[3 * 3 + 2], 30);
}

TEST(ClipboardTest, AnythingElseIsAnUnknownFormatAndLeavesThePictureAsItWas) {
  const auto picture = test::MakeImage(4, 4);
  const auto expectUnknown = [&picture](const QMimeData& data) {
    TPixelGraphic target;
    target.Assign(picture.get());
    try {
      ReadClipboardData(target, data);
      ADD_FAILURE() << "read";
    } catch (const EPGUnknownClipboardFormat& error) {
      EXPECT_STREQ(error.what(), "Unknown clipboard format");
    }
    ExpectSamePixels(*picture, target);
  };
  QMimeData text;
  text.setText("not a picture");
  expectUnknown(text);
  expectUnknown(QMimeData());
  // An empty block is no bitmap.
  QMimeData emptyBlock;
  emptyBlock.setData(kClipboardDibFormat, QByteArray());
  expectUnknown(emptyBlock);
  QMimeData nullImage;
  nullImage.setImageData(QImage());
  expectUnknown(nullImage);
}

TEST(ClipboardTest, BrokenDataIsRefusedWithoutACrash) {
  const auto picture = test::MakeImage(8, 8);
  const QByteArray block = ClipboardData(*picture)->data(kClipboardDibFormat);
  // Cut short, and a header claiming a picture far beyond the pixel limit.
  QByteArray huge = block;
  huge[4] = '\xff';
  huge[5] = '\xff';
  huge[6] = '\xff';
  huge[7] = '\x0f';
  huge[8] = '\xff';
  huge[9] = '\xff';
  huge[10] = '\xff';
  huge[11] = '\x0f';
  for (const QByteArray& bad : {block.left(30), block.left(100), huge}) {
    QMimeData data;
    data.setData(kClipboardDibFormat, bad);
    TPixelGraphic target;
    EXPECT_THROW(ReadClipboardData(target, data), EPixelGraphic) << bad.size();
  }
  QMimeData garbage;
  garbage.setData("image/png", QByteArray("\x89PNG\r\n\x1a\n broken", 16));
  TPixelGraphic target;
  EXPECT_THROW(ReadClipboardData(target, garbage), EPixelGraphic);
  // A picture of another program above the limit.
  QMimeData big;
  big.setImageData(QImage(300, 300, QImage::Format_RGB32));
  TLoadOptions small = DefaultLoadOptions();
  small.MaxPixels = 1000;
  try {
    ReadClipboardData(target, big, small);
    ADD_FAILURE() << "a picture above the limit was pasted";
  } catch (const EPGPixelLimit& limit) {
    EXPECT_EQ(limit.Width(), 300);
    EXPECT_EQ(limit.Limit(), 1000);
  }
}

TEST(ClipboardTest, TheApplicationsClipboardRoundTrip) {
  const auto picture = test::MakeImage(7, 3);
  CopyToClipboard(*picture);
  TPixelGraphic pasted;
  PasteFromClipboard(pasted);
  ExpectSamePixels(*picture, pasted);
  QGuiApplication::clipboard()->setText("words");
  EXPECT_THROW(PasteFromClipboard(pasted), EPGUnknownClipboardFormat);
  ExpectSamePixels(*picture, pasted);
}

}  // namespace
}  // namespace pg
