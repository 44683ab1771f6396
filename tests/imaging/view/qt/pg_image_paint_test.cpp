// What the view draws besides the picture: the placeholder with its progress clocks while the
// display copy is under way, and the selection frame with its pattern and handles.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include "imaging/view/qt_pg_image.h"
#include "imaging/view/qt_pic_box.h"
#include "imaging/view/view_core.h"
#include "imaging/view/view_layout.h"

namespace pg {
namespace {

std::unique_ptr<TPixelGraphic> Filled(int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b) {
  auto image = std::make_unique<TPixelGraphic>();
  image->NewImage(w, h, bc24Bit);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = image->ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      row[3 * x] = b;
      row[3 * x + 1] = g;
      row[3 * x + 2] = r;
    }
  }
  return image;
}

QRgb Rgb(TColor c) {
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

class ViewPaintTest : public ::testing::Test {
 protected:
  TPGImage view;
  void SetUp() override {
    view.setFrameStyle(QFrame::NoFrame);
    view.resize(300, 200);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  QImage Grab() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// While the worker builds the copy nothing of the picture is shown: the picture box is framed and
// filled, and the clocks (five of them on a large box) stand at step 1, 0 %.
TEST_F(ViewPaintTest, PlaceholderAndClocksWhileTheCopyIsBuilt) {
  view.SetColor(RGBColor(10, 20, 30));
  view.SetPicBoxFrameColor(RGBColor(200, 0, 0));
  view.SetProgressClockLineColor(RGBColor(0, 0, 200));
  view.SetProgressClockBkColor(RGBColor(0, 200, 0));
  view.SetStretch(sZoomKAR);
  view.SetStretchMode(smPrecise);
  view.SetScreenBitsPerPixel(32);
  view.SetZoomFactor(0.05L);
  auto big = Filled(4000, 3000, 250, 250, 250);  // shown as 200 x 150
  view.SetPixelGraphic(big.get());
  const QImage shot = Grab();  // this paint starts the worker; its result is not there yet
  const TPGRect b = view.PicBoxRect();
  ASSERT_EQ(b, (TPGRect{0, 0, 200, 150}));
  EXPECT_EQ(shot.pixel(0, 0), Rgb(RGBColor(200, 0, 0)));      // frame
  EXPECT_EQ(shot.pixel(199, 149), Rgb(RGBColor(200, 0, 0)));  // frame, right and bottom inside B
  EXPECT_EQ(shot.pixel(50, 60), Rgb(RGBColor(10, 20, 30)));   // fill: the picture box's colour
  EXPECT_EQ(shot.pixel(250, 60), Rgb(RGBColor(10, 20, 30)));  // band
  const std::vector<TPGPoint> clocks = ProgressClockOrigins(b, true);
  ASSERT_EQ(clocks.size(), 5u);
  for (const TPGPoint& o : clocks) {
    const TClockHands h = ProgressClockHands(o, 1, 0);
    EXPECT_EQ(shot.pixel(h.Centre.X, h.Centre.Y), Rgb(RGBColor(0, 0, 200)));          // hands meet
    EXPECT_EQ(shot.pixel(h.Centre.X, h.Centre.Y - 5), Rgb(RGBColor(0, 0, 200)));      // minute hand up
    EXPECT_EQ(shot.pixel(h.Centre.X + 4, h.Centre.Y + 3), Rgb(RGBColor(0, 200, 0)));  // dial
  }
  // Without clocks only the placeholder.
  view.SetProgressClockVisible(false);
  view.SetPixelGraphic(big.get());
  const QImage plain = Grab();
  EXPECT_EQ(plain.pixel(clocks[0].X + 7, clocks[0].Y + 7), Rgb(RGBColor(10, 20, 30)));
}

// The frame lies just outside the selected pixels; its colours follow the pattern of the phase
// chosen for the rectangle, aligned to the picture box; the handles are framed in the selection
// mode that offers them.
TEST_F(ViewPaintTest, SelectionFramePatternAndHandles) {
  auto image = Filled(120, 100, 0, 0, 0);
  view.SetPixelGraphic(image.get());
  view.SetSelectionColor1(RGBColor(255, 255, 0));
  view.SetSelectionColor2(RGBColor(0, 255, 255));
  view.SetSelectionBounds(30, 20, 40, 30);
  view.SetSelection(true);
  const QImage shot = Grab();
  const TPGRect s = view.SelectionPicBoxRect();
  const int32_t phase = AntsBrushPhase(view.AntsPhase(), s);
  const auto pattern = AntsPattern(phase, view.SelectionColor1(), view.SelectionColor2());
  auto expected = [&](int32_t x, int32_t y) { return Rgb(pattern[(y % 8) * 8 + x % 8]); };
  const TPGRect f = SelectionFrameRect(s);
  for (int32_t x = f.Left; x < f.Right; ++x) {
    EXPECT_EQ(shot.pixel(x, f.Top), expected(x, f.Top)) << x;
    EXPECT_EQ(shot.pixel(x, f.Bottom - 1), expected(x, f.Bottom - 1)) << x;
  }
  for (int32_t y = f.Top; y < f.Bottom; ++y) {
    EXPECT_EQ(shot.pixel(f.Left, y), expected(f.Left, y)) << y;
    EXPECT_EQ(shot.pixel(f.Right - 1, y), expected(f.Right - 1, y)) << y;
  }
  EXPECT_EQ(shot.pixel(s.Left, s.Top), qRgb(0, 0, 0));  // the selected pixels themselves
  // No handles outside amMoveResizeCreateSelection.
  const auto handles = SelectionHandles(s);
  EXPECT_EQ(shot.pixel(handles[0].Rect.Left, handles[0].Rect.Top), qRgb(0, 0, 0));
  view.SetActionMode(amMoveResizeCreateSelection);
  const QImage withHandles = Grab();
  for (const TSelectionHandle& h : handles) {
    const int32_t x = h.Rect.Left, y = h.Rect.Top;
    EXPECT_NE(withHandles.pixel(x, y), qRgb(0, 0, 0)) << int(h.Kind);
    EXPECT_EQ(withHandles.pixel(x + 2, y + 2), qRgb(0, 0, 0)) << int(h.Kind);  // framed, not filled
  }
}

}  // namespace
}  // namespace pg
