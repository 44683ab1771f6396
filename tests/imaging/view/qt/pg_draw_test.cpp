// Drawing with TPixelGraphic in Qt: rows wrapped without copying, drawn pixel for pixel (also
// scaled, clipped and mirrored), and a QPainter painting into a 24-bit image's own memory.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <functional>

#include "imaging/image/exceptions.h"
#include "imaging/view/qt_pg_draw.h"

namespace pg {
namespace {

QRgb Rgb(TColor c) {
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

// An image of `bits` bits per pixel whose pixels use every index of a palette of distinct colours
// (24 bits: distinct colours), so a pixel from the wrong row or column shows.
std::unique_ptr<TPixelGraphic> Pattern(int32_t w, int32_t h, TBitCount bits) {
  auto g = std::make_unique<TPixelGraphic>();
  g->NewImage(w, h, bits);
  if (bits != bc24Bit) {
    const int32_t colours = g->ColorCount();
    g->SetPaletteCount(colours);
    for (int32_t i = 0; i < colours; ++i) {
      g->SetPaletteEntries(i, RGBColor(static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i),
                                       static_cast<uint8_t>(i * 11 + 5)));
    }
  }
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t v = static_cast<uint32_t>(x * 7 + y * 13 + (x ^ y));
      g->SetPixels(x, y, bits == bc24Bit ? (v * 2654435761u) & 0xFFFFFF : v % g->ColorCount());
    }
  }
  return g;
}

QImage Canvas(QRgb fill = qRgb(1, 2, 3)) {
  QImage image(90, 70, QImage::Format_RGB32);
  image.fill(fill);
  return image;
}

QImage Drawn(const std::function<void(QPainter&)>& draw) {
  QImage image = Canvas();
  QPainter painter(&image);
  draw(painter);
  return image;
}

// Number of pixels in which two images of the same size differ.
int Differences(const QImage& a, const QImage& b) {
  int count = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
  }
  return count;
}

TEST(PixelGraphicDrawTest, RowsAreTheImagesOwnMemoryExceptFourBit) {
  for (TBitCount bits : {bc1Bit, bc8Bit, bc24Bit}) {
    auto g = Pattern(13, 5, bits);
    TPGRowImages rows;
    rows.Bind(*g);
    for (int32_t y = 0; y < 5; ++y) {
      const QImage row = rows.Row(y);
      ASSERT_EQ(row.size(), QSize(13, 1)) << int(bits);
      EXPECT_EQ(row.constBits(), g->ScanLine(y)) << int(bits);
      for (int32_t x = 0; x < 13; ++x) EXPECT_EQ(row.pixel(x, 0), Rgb(g->Colors(x, y))) << int(bits) << x;
    }
    EXPECT_TRUE(rows.Row(5).isNull());
    EXPECT_TRUE(rows.Row(-1).isNull());
  }
  auto four = Pattern(13, 5, bc4Bit);
  TPGRowImages rows;
  rows.Bind(*four);
  EXPECT_EQ(rows.Row(4).format(), QImage::Format_RGB32);
  EXPECT_EQ(rows.Row(4).pixel(12, 0), Rgb(four->Colors(12, 4)));
  // Nothing bound, or an empty image: no rows.
  TPGRowImages none;
  EXPECT_TRUE(none.Row(0).isNull());
  TPixelGraphic empty;
  none.Bind(empty);
  EXPECT_TRUE(none.Row(0).isNull());
}

// Unscaled: every target pixel is the source pixel at the same offset, in every format, whatever
// part of the image and of the target is drawn; nothing outside target and clip is touched.
TEST(PixelGraphicDrawTest, UnscaledDrawsShowEveryPixelOfTheSourceRectangle) {
  for (TBitCount bits : {bc1Bit, bc4Bit, bc8Bit, bc24Bit}) {
    auto g = Pattern(40, 30, bits);
    TPGRowImages rows;
    rows.Bind(*g);
    const QRect source(5, 3, 31, 22);
    const QRect target(7, 9, 31, 22);
    const QRect clip(10, 12, 60, 15);
    const QImage image =
        Drawn([&](QPainter& painter) { DrawPixelGraphic(painter, target, rows, source, clip); });
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QPoint p(x, y);
        const QRgb expected =
            target.contains(p) && clip.contains(p)
                ? Rgb(g->Colors(x - target.left() + source.left(), y - target.top() + source.top()))
                : qRgb(1, 2, 3);
        ASSERT_EQ(image.pixel(p), expected) << int(bits) << " at " << x << "," << y;
      }
    }
  }
}

// Scaled: the same pixels as QPainter draws from the whole image converted to 32 bits, for the
// formats drawn from their own rows, enlarged, reduced and at odd ratios.
TEST(PixelGraphicDrawTest, ScaledDrawsSampleLikeQPainter) {
  struct TCase {
    QRect Source;
    QRect Target;
  };
  // Exact halving and thirding pick every other (third) row: the rule's starting offset shows there.
  const TCase cases[] = {{{0, 0, 20, 15}, {3, 4, 40, 30}},   {{0, 0, 20, 15}, {3, 4, 10, 7}},
                         {{2, 1, 17, 13}, {0, 0, 61, 29}},   {{4, 6, 7, 9}, {5, 2, 80, 65}},
                         {{0, 0, 20, 15}, {10, 10, 20, 45}}, {{1, 1, 19, 14}, {2, 3, 5, 66}},
                         {{0, 0, 20, 14}, {3, 4, 10, 7}},    {{0, 0, 18, 15}, {3, 4, 6, 5}}};
  for (TBitCount bits : {bc1Bit, bc8Bit, bc24Bit}) {
    auto g = Pattern(20, 15, bits);
    const QImage whole = PixelGraphicToQImage(*g);
    TPGRowImages rows;
    rows.Bind(*g);
    for (const TCase& c : cases) {
      const QImage expected =
          Drawn([&](QPainter& p) { p.drawImage(QRectF(c.Target), whole, QRectF(c.Source)); });
      const QImage got = Drawn([&](QPainter& p) { DrawPixelGraphic(p, c.Target, rows, c.Source); });
      EXPECT_EQ(Differences(got, expected), 0)
          << int(bits) << " target " << c.Target.width() << "x" << c.Target.height();
      // A clip draws the same rows, and only those.
      const QRect clip(0, c.Target.top() + 3, 90, 5);
      const QImage clipped = Drawn([&](QPainter& p) { DrawPixelGraphic(p, c.Target, rows, c.Source, clip); });
      for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 90; ++x) {
          ASSERT_EQ(clipped.pixel(x, y), clip.contains(x, y) ? expected.pixel(x, y) : qRgb(1, 2, 3));
        }
      }
    }
  }
}

// Mirrored: the picture turned over within the target, as the mirrored image drawn plainly.
TEST(PixelGraphicDrawTest, MirroredDrawsTurnThePictureOver) {
  auto g = Pattern(20, 15, bc24Bit);
  TPGRowImages rows;
  rows.Bind(*g);
  const QRect full(0, 0, 20, 15);
  for (const auto& [horizontal, vertical] : {std::pair{true, false}, {false, true}, {true, true}}) {
    const QImage mirrored = PixelGraphicToQImage(*g).mirrored(horizontal, vertical);
    for (const QRect target : {QRect(4, 5, 20, 15), QRect(4, 5, 20, 37)}) {
      if (horizontal && target.height() != 15) continue;  // turned over left to right: unscaled only
      const QImage expected =
          Drawn([&](QPainter& p) { p.drawImage(QRectF(target), mirrored, QRectF(mirrored.rect())); });
      const QImage got =
          Drawn([&](QPainter& p) { DrawPixelGraphic(p, target, rows, full, QRect(), horizontal, vertical); });
      EXPECT_EQ(Differences(got, expected), 0) << horizontal << vertical << target.height();
    }
  }
  // The whole image into a rectangle.
  const QImage stretched = Drawn([&](QPainter& p) { DrawPixelGraphic(p, QRect(0, 0, 40, 30), *g); });
  EXPECT_EQ(stretched.pixel(39, 29), Rgb(g->Colors(19, 14)));
  EXPECT_EQ(stretched.pixel(2, 3), Rgb(g->Colors(1, 1)));
}

// Painting into a 24-bit image: the same pixels as painting into a top-down QImage of the same
// picture, aliased lines and points included, with the rows back in their own order afterwards.
TEST(PixelGraphicDrawTest, CanvasPaintsIntoTheImagesOwnRows) {
  auto g = Pattern(37, 23, bc24Bit);
  QImage reference = PixelGraphicToQImage(*g).convertToFormat(QImage::Format_BGR888);
  const auto paint = [](QPainter& p) {
    p.fillRect(1, 1, 3, 2, Qt::red);
    p.setPen(QPen(Qt::green, 0));
    p.drawLine(5, 0, 30, 0);
    p.drawLine(5, 3, 5, 22);
    p.drawPoint(36, 22);
    p.setPen(QPen(Qt::blue, 1));
    p.drawRect(1, 6, 9, 9);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2.5));
    p.drawEllipse(QRectF(12.3, 4.1, 20, 15));
    p.drawText(QRect(0, 10, 37, 13), Qt::AlignCenter, "Tq");
  };
  {
    QPainter painter(&reference);
    paint(painter);
  }
  const uint8_t* bits = g->Bits();
  {
    TPGCanvas canvas(*g);
    EXPECT_EQ(canvas.Image().constBits(), bits);
    EXPECT_TRUE(canvas.Painter().isActive());
    paint(canvas.Painter());
  }
  ASSERT_EQ(g->Bits(), bits);
  for (int32_t y = 0; y < 23; ++y) {
    for (int32_t x = 0; x < 37; ++x) ASSERT_EQ(Rgb(g->Colors(x, y)), reference.pixel(x, y)) << x << "," << y;
  }
}

TEST(PixelGraphicDrawTest, CanvasRefusesEmptyAndPaletteImages) {
  TPixelGraphic empty;
  EXPECT_THROW(TPGCanvas{empty}, EPGEmpty);
  auto palette = Pattern(4, 4, bc8Bit);
  EXPECT_THROW(TPGCanvas{*palette}, EPGInvalidBitCountNum);
  // An odd number of rows keeps its middle row.
  auto odd = Pattern(3, 3, bc24Bit);
  const TColor middle = odd->Colors(1, 1);
  { TPGCanvas canvas(*odd); }
  EXPECT_EQ(odd->Colors(1, 1), middle);
  EXPECT_EQ(odd->Colors(0, 0), Pattern(3, 3, bc24Bit)->Colors(0, 0));
}

TEST(PixelGraphicDrawTest, ConversionToRgb32OfPaletteFormats) {
  TPixelGraphic g;
  g.NewImage(9, 2, bc1Bit);
  g.SetPaletteCount(2);
  g.SetPaletteEntries(0, RGBColor(1, 2, 3));
  g.SetPaletteEntries(1, RGBColor(200, 100, 50));
  g.SetPixels(8, 1, 1);
  QImage q = PixelGraphicToQImage(g);
  ASSERT_EQ(q.size(), QSize(9, 2));
  EXPECT_EQ(q.pixel(8, 1), qRgb(200, 100, 50));
  EXPECT_EQ(q.pixel(7, 1), qRgb(1, 2, 3));

  g.NewImage(3, 3, bc4Bit);
  g.SetPaletteCount(16);
  g.SetPaletteEntries(5, RGBColor(9, 8, 7));
  g.SetPixels(1, 2, 5);
  q = PixelGraphicToQImage(g);
  EXPECT_EQ(q.pixel(1, 2), qRgb(9, 8, 7));

  g.NewImage(5, 4, bc8Bit);
  g.SetPaletteCount(256);
  g.SetPaletteEntries(200, RGBColor(90, 80, 70));
  g.SetPixels(4, 3, 200);
  q = PixelGraphicToQImage(g);
  EXPECT_EQ(q.pixel(4, 3), qRgb(90, 80, 70));

  g.NewImage(0, 0, bc24Bit);
  EXPECT_TRUE(PixelGraphicToQImage(g).isNull());
}

}  // namespace
}  // namespace pg
