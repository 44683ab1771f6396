#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/view/qt_pg_image.h"
#include "imaging/view/qt_pic_box.h"
#include "tests/imaging/view/qt/view_test_support.h"

namespace pg {
namespace {

using test::MakeImage;

// Repaints the view until `done` holds, for up to `ms` milliseconds (display copies come from the
// worker's thread, slowly under the sanitizers).
bool RepaintUntil(TPGImage& view, const std::function<bool()>& done, int ms = 30000) {
  return QTest::qWaitFor(
      [&] {
        view.viewport()->repaint();
        return done();
      },
      ms);
}

// True when none of the view's timers runs (the frame and auto-scroll timers live only while
// there is something to animate or scroll).
bool NoTimerRuns(const TPGImage& view) {
  for (const QTimer* timer : view.findChildren<QTimer*>()) {
    if (timer->isActive()) return false;
  }
  return true;
}

void Send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

// Press at `from`, move through `path`, release at the last point (picture-box pixels).
void Drag(QWidget* w, QPoint from, std::initializer_list<QPoint> path,
          Qt::MouseButton button = Qt::LeftButton) {
  Send(w, QEvent::MouseButtonPress, from, button, button);
  QPoint last = from;
  for (QPoint p : path) {
    Send(w, QEvent::MouseMove, p, Qt::NoButton, button);
    last = p;
  }
  Send(w, QEvent::MouseButtonRelease, last, button, Qt::NoButton);
}

class ViewTest : public ::testing::Test {
 protected:
  TPGImage view;
  int selectionChanges = 0;
  int selectionsMade = 0;
  int zoomChanges = 0;
  int graphicChanges = 0;

  void SetUp() override {
    view.resize(300, 200);
    view.OnSelectionChange = [this](const void*) { ++selectionChanges; };
    view.OnSelectionMade = [this](const void*) { ++selectionsMade; };
    view.OnZoomFactorChange = [this](const void*) { ++zoomChanges; };
    view.OnPixelGraphicChange = [this](const void*) { ++graphicChanges; };
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  QWidget* Box() { return view.PicBox(); }
  QImage Grab() { return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// An empty view; the defaults no behaviour test below relies on (the others show in what the
// tests do without setting them: panning, natural size, threads, dithering, the clocks, ...).
TEST_F(ViewTest, DefaultsAndEmptyView) {
  EXPECT_EQ(view.ZoomFactor(), 1.0L);
  EXPECT_EQ(view.EffectiveZoom(), 1.0L);
  EXPECT_EQ(view.SelectionColor1(), 0xFFFFFFu);
  EXPECT_EQ(view.SelectionColor2(), 0x0000FFu);
  EXPECT_FALSE(view.Selection());
  EXPECT_EQ(view.SelectionRect(), (TPGRect{0, 0, 1, 1}));
  EXPECT_EQ(view.AutoSizeMaxWidth(), 2147483647);
  EXPECT_EQ(view.AutoSizeMaxHeight(), 2147483647);
  EXPECT_EQ(view.AutoSizeMinWidth(), 0);
  EXPECT_EQ(view.AutoSizeMinHeight(), 0);
  EXPECT_FALSE(view.Allow24BitStretch());
  EXPECT_EQ(view.BackGroundColor(), 0u);
  EXPECT_EQ(view.DitherErrorLimit(), 32);
  EXPECT_FALSE(view.KeepOldPaintPixelGraphic());
  EXPECT_EQ(view.Palette8BitSys24BitGraphic(), pOptimized252Sys16);
  EXPECT_EQ(view.Palette8BitSys8BitGraphic(), pOptimized252Sys16);
  EXPECT_EQ(view.ProgressClockBkColor(), view.Color());               // both the button face
  EXPECT_EQ(view.ProgressClockLineColor(), view.PicBoxFrameColor());  // both the button shadow
  EXPECT_EQ(view.ReadWarningAction(), pgwaOKCancelBox);
  EXPECT_EQ(view.SaveColorResWarningAction(), pgwaOKCancelBox);
  EXPECT_FALSE(view.RearrangeAlways());
  EXPECT_TRUE(view.ShowHourGlass());
  EXPECT_TRUE(view.FileName().empty());
  EXPECT_EQ(view.PixelGraphic(), nullptr);
  EXPECT_EQ(view.PixelGraphicWidth(), 0);
  EXPECT_EQ(view.PicBoxRect(), (TPGRect{0, 0, 0, 0}));
  EXPECT_EQ(view.PicBoxToImageX(10), 0);

  view.SetColor(RGBColor(10, 20, 30));
  const QImage shot = Grab();
  EXPECT_EQ(shot.pixel(50, 50), qRgb(10, 20, 30));
  EXPECT_EQ(shot.pixel(0, 0), qRgb(10, 20, 30));

  try {
    view.SaveToFile("/tmp/never.bmp");
    FAIL() << "no exception";
  } catch (const EPGEmpty& e) {
    EXPECT_STREQ(e.what(), "PixelGraphic is empty");
  }
}

TEST_F(ViewTest, StoresACopyAndPaintsItsPixels) {
  auto image = MakeImage(40, 30);
  view.SetPixelGraphic(image.get());
  EXPECT_EQ(graphicChanges, 1);
  ASSERT_NE(view.PixelGraphic(), nullptr);
  EXPECT_NE(view.PixelGraphic(), image.get());
  EXPECT_EQ(view.PixelGraphicWidth(), 40);
  EXPECT_EQ(view.PicBoxRect(), (TPGRect{0, 0, 40, 30}));

  image->SetPixels(0, 0, 0xFFFFFF);  // the caller's image is its own
  EXPECT_NE(view.PixelGraphic()->Pixels(0, 0), 0xFFFFFFu);

  view.SetColor(RGBColor(1, 2, 3));
  QImage shot = Grab();
  EXPECT_EQ(shot.pixel(0, 0), qRgb(7, 0, 0));
  EXPECT_EQ(shot.pixel(39, 29), qRgb(7, 29, 39));
  EXPECT_EQ(shot.pixel(12, 5), qRgb(7, 5, 12));
  EXPECT_EQ(shot.pixel(40, 5), qRgb(1, 2, 3));  // band beside the picture
  EXPECT_EQ(shot.pixel(5, 30), qRgb(1, 2, 3));

  // Mirrored display.
  view.SetFlipHorizontal(true);
  shot = Grab();
  EXPECT_EQ(shot.pixel(0, 5), qRgb(7, 5, 39));
  view.SetFlipVertical(true);
  shot = Grab();
  EXPECT_EQ(shot.pixel(0, 0), qRgb(7, 29, 39));
  view.SetFlipHorizontal(false);
  view.SetFlipVertical(false);

  // Repeated tiles, every other column mirrored.
  view.SetTiling(tMirrorHorizontal);
  shot = Grab();
  EXPECT_EQ(shot.pixel(40, 3), qRgb(7, 3, 39));
  EXPECT_EQ(shot.pixel(80, 3), qRgb(7, 3, 0));
  EXPECT_EQ(shot.pixel(3, 33), qRgb(7, 3, 3));

  // Adopting hands the object itself to the view.
  auto adopted = MakeImage(10, 10);
  TPixelGraphic* raw = adopted.get();
  view.AdoptPixelGraphic(std::move(adopted));
  EXPECT_EQ(view.PixelGraphic(), raw);
  EXPECT_EQ(graphicChanges, 2);
  // A change of the shown image runs image-changed processing.
  view.PixelGraphic()->NewImage(20, 25, bc24Bit);
  EXPECT_EQ(view.PixelGraphicHeight(), 25);
  EXPECT_EQ(graphicChanges, 3);
  view.SetPixelGraphic(nullptr);
  EXPECT_EQ(view.PixelGraphicWidth(), 0);
}

// A reader holding the shared image keeps it as it was: the view changes a copy of its own.
TEST_F(ViewTest, SharedImageStaysAsItWasWhileHeld) {
  auto image = MakeImage(40, 30);
  view.SetPixelGraphic(image.get());
  TPixelGraphic* own = view.PixelGraphic();
  EXPECT_EQ(view.PixelGraphic(), own);  // not shared: no copy
  std::shared_ptr<const TPixelGraphic> held = view.SharedPixelGraphic();
  ASSERT_EQ(held.get(), own);
  TPixelGraphic* changed = view.PixelGraphic();
  ASSERT_NE(changed, own);
  EXPECT_EQ(changed->Colors(39, 29), held->Colors(39, 29));
  const int before = graphicChanges;
  changed->SetPixels(0, 0, 0xFFFFFF);
  changed->NewImage(20, 10, bc24Bit);  // the copy is the view's: its changes reach the view
  EXPECT_EQ(graphicChanges, before + 1);
  EXPECT_EQ(view.PixelGraphicWidth(), 20);
  EXPECT_EQ(held->Width(), 40);
  EXPECT_EQ(held->Colors(0, 0), RGBColor(7, 0, 0));
  EXPECT_EQ(view.PixelGraphic(), changed);
}

TEST_F(ViewTest, ExchangeSwapsPicturesWithoutCopies) {
  std::shared_ptr<TPixelGraphic> first(MakeImage(40, 30));
  std::shared_ptr<TPixelGraphic> second(MakeImage(20, 10));
  TPixelGraphic* const firstAddress = first.get();
  EXPECT_EQ(view.ExchangePixelGraphic(std::move(first)), nullptr);
  EXPECT_EQ(view.PixelGraphicWidth(), 40);
  const int before = graphicChanges;
  std::shared_ptr<TPixelGraphic> back = view.ExchangePixelGraphic(second);
  EXPECT_EQ(back.get(), firstAddress);  // handed back as it was, not copied
  EXPECT_EQ(view.PixelGraphicWidth(), 20);
  EXPECT_EQ(graphicChanges, before + 1);
  // The image handed back no longer reports to the view.
  back->NewImage(5, 5, bc24Bit);
  EXPECT_EQ(graphicChanges, before + 1);
  // While the caller still shares the shown image, changes through the view go to a copy.
  TPixelGraphic* changed = view.PixelGraphic();
  EXPECT_NE(changed, second.get());
  changed->SetPixels(0, 0, 0xFFFFFF);
  EXPECT_EQ(second->Colors(0, 0), RGBColor(7, 0, 0));
  EXPECT_EQ(view.ExchangePixelGraphic(nullptr).get(), changed);
  EXPECT_EQ(view.PixelGraphicWidth(), 0);
}

TEST_F(ViewTest, CreateMoveAndResizeASelectionWithTheMouse) {
  auto image = MakeImage(200, 150);
  view.SetPixelGraphic(image.get());
  view.SetActionMode(amMoveResizeCreateSelection);

  Drag(Box(), {10, 10}, {{8, 14}, {5, 20}});
  EXPECT_EQ(view.SelectionRect(), (TPGRect{5, 10, 11, 21}));
  EXPECT_TRUE(view.Selection());
  EXPECT_EQ(selectionsMade, 1);
  EXPECT_EQ(selectionChanges, 4);  // on, first pixel, two moves
  EXPECT_EQ(view.DragKind(), dkNone);

  // Move: grab inside, drag by (+20, +5).
  Drag(Box(), {6, 12}, {{26, 17}});
  EXPECT_EQ(view.SelectionRect(), (TPGRect{25, 15, 31, 26}));
  EXPECT_EQ(selectionsMade, 2);

  // Resize with the bottom-right handle: (R + 3 .. R + 8, B + 3 .. B + 8).
  Drag(Box(), {35, 30}, {{60, 70}});
  EXPECT_EQ(view.SelectionRect(), (TPGRect{25, 15, 56, 66}));
  EXPECT_EQ(selectionsMade, 3);

  // A right-button drag changes nothing.
  Drag(Box(), {30, 20}, {{100, 100}}, Qt::RightButton);
  EXPECT_EQ(view.SelectionRect(), (TPGRect{25, 15, 56, 66}));
  EXPECT_EQ(selectionsMade, 3);
}

TEST_F(ViewTest, UserMouseUpRunsBeforeTheViewFinishesTheDrag) {
  auto image = MakeImage(100, 100);
  view.SetPixelGraphic(image.get());
  view.SetActionMode(amCreateSelection);
  std::vector<std::string> order;
  int downX = -1;
  view.PicBoxOnMouseDown = [&](const void*, TMouseButton b, TShiftState, int32_t x, int32_t) {
    EXPECT_EQ(b, mbLeft);
    EXPECT_EQ(view.DragKind(), dkCreateSelection);  // the view's handler ran first
    downX = x;
  };
  view.PicBoxOnMouseUp = [&](const void*, TMouseButton, TShiftState, int32_t, int32_t) {
    order.push_back(view.DragKind() == dkCreateSelection ? "user-during-drag" : "user-after");
  };
  view.OnSelectionMade = [&](const void*) { order.push_back("made"); };
  Drag(Box(), {30, 40}, {});
  EXPECT_EQ(downX, 30);
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0], "user-during-drag");
  EXPECT_EQ(order[1], "made");
  EXPECT_EQ(view.SelectionRect(), (TPGRect{30, 40, 31, 41}));  // a click selects one pixel
}

TEST_F(ViewTest, FrameTimerLivesWhileSelectionIsOn) {
  auto image = MakeImage(100, 100);
  view.SetPixelGraphic(image.get());
  view.SetSelectionBounds(10, 10, 20, 20);
  view.SetSelection(true);
  const int phase0 = view.AntsPhase();
  EXPECT_TRUE(QTest::qWaitFor([&] { return view.AntsPhase() != phase0; }, 10000));
  // The frame is drawn just outside the selected pixels in one of the two colours.
  const QImage shot = view.grab().toImage();
  const QPoint onFrame = view.viewport()->mapTo(&view, QPoint(9, 15));
  const QRgb c = shot.pixel(onFrame);
  EXPECT_TRUE(c == qRgb(255, 255, 255) || c == qRgb(255, 0, 0)) << std::hex << c;
  EXPECT_FALSE(NoTimerRuns(view));
  view.SetSelection(false);
  EXPECT_TRUE(NoTimerRuns(view));  // the frame stands still
}

TEST_F(ViewTest, ZoomAndScrollBars) {
  auto image = MakeImage(101, 51);
  view.SetPixelGraphic(image.get());
  view.SetStretch(sZoomKAR);
  zoomChanges = 0;
  view.SetZoomFactor(0.5L);
  EXPECT_EQ(view.PicBoxRect(), (TPGRect{0, 0, 50, 26}));
  EXPECT_EQ(zoomChanges, 1);
  view.SetZoomFactor(0.5L);
  EXPECT_EQ(zoomChanges, 1);
  EXPECT_EQ(view.PicBoxToImageX(1), 2);

  view.SetZoomFactor(4.0L);  // 404 x 204 in a 296 x 196 area: both bars
  EXPECT_EQ(view.PicBox()->width(), 404);
  EXPECT_EQ(view.PicBox()->height(), 204);
  EXPECT_TRUE(view.horizontalScrollBar()->isVisible());
  EXPECT_TRUE(view.verticalScrollBar()->isVisible());
  // The client size the layout counted on is the one Qt gave the viewport.
  EXPECT_EQ(view.ClientWidth(), view.viewport()->width());
  EXPECT_EQ(view.ClientHeight(), view.viewport()->height());
  view.SetHorzScrollPos(50);
  EXPECT_EQ(view.PicBoxRect().Left, -50);
  EXPECT_EQ(view.PicBox()->x(), -50);
  view.SetHorzScrollPos(100000);
  EXPECT_EQ(view.HorzScrollPos(), 404 - view.ClientWidth());

  // Panning with the left button in amMoveImage.
  view.SetHorzScrollPos(0);
  Drag(Box(), {100, 100}, {{90, 95}});
  EXPECT_EQ(view.HorzScrollPos(), 10);
  EXPECT_EQ(view.VertScrollPos(), 5);
  EXPECT_EQ(selectionsMade, 0);

  // Centred: a small picture sits in the middle.
  view.SetZoomFactor(1.0L);
  view.SetCenter(true);
  EXPECT_EQ(view.PicBoxRect().Left, (296 - 101) / 2);
  EXPECT_EQ(view.PicBoxRect().Top, (196 - 51) / 2);
}

TEST_F(ViewTest, CanvasIsValidOnlyDuringPaint) {
  auto image = MakeImage(50, 50);
  view.SetPixelGraphic(image.get());
  int paints = 0;
  int paintings = 0;
  view.OnPainting = [&](const void*) { ++paintings; };
  view.OnPaint = [&](const void*) {
    ++paints;
    ASSERT_NE(view.Canvas(), nullptr);
    view.Canvas()->fillRect(2, 2, 3, 3, QColor(0, 255, 0));
  };
  const QImage shot = Grab();
  EXPECT_GE(paints, 1);
  EXPECT_EQ(paints, paintings);
  EXPECT_EQ(view.Canvas(), nullptr);
  EXPECT_EQ(shot.pixel(3, 3), qRgb(0, 255, 0));
  EXPECT_EQ(shot.pixel(6, 6), qRgb(7, 6, 6));
}

TEST_F(ViewTest, DisplayCopyWorkerIsStoppedBeforeTheImageIsReplaced) {
  view.SetStretch(sZoomKAR);
  view.SetStretchMode(smPrecise);
  view.SetZoomFactor(0.5L);
  view.SetScreenBitsPerPixel(32);
  auto big = MakeImage(4000, 2500);
  view.SetPixelGraphic(big.get());
  view.viewport()->repaint();  // the paint asks for a display copy: the worker starts
  EXPECT_TRUE(view.PaintWorkerBusy());
  EXPECT_EQ(view.PaintPixelGraphic(), nullptr);

  auto small = MakeImage(300, 200);
  view.SetPixelGraphic(small.get());  // must stop the worker first (sanitizers watch the old image)
  EXPECT_FALSE(view.PaintWorkerBusy());
  EXPECT_EQ(view.PixelGraphicWidth(), 300);

  ASSERT_TRUE(RepaintUntil(view, [&] { return view.PaintPixelGraphic() != nullptr; }));
  EXPECT_EQ(view.PaintPixelGraphic()->Width(), 150);
  EXPECT_EQ(view.PaintPixelGraphic()->Height(), 100);
  EXPECT_EQ(view.PaintPixelGraphic()->BitCount(), bc24Bit);

  // Inline: the copy exists as soon as the paint ran.
  view.SetUseThread(false);
  view.SetZoomFactor(0.25L);
  view.viewport()->repaint();
  ASSERT_NE(view.PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view.PaintPixelGraphic()->Width(), 75);

  // At natural size a true-colour screen needs no copy.
  view.SetZoomFactor(1.0L);
  view.viewport()->repaint();
  EXPECT_EQ(view.PaintPixelGraphic(), nullptr);
}

TEST_F(ViewTest, LoadAndSaveFiles) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tessel_view_test";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "picture.bmp").string();
  auto image = MakeImage(64, 48);
  view.SetPixelGraphic(image.get());
  view.SaveToFile(file);
  EXPECT_EQ(view.FileName(), file);

  TPGImage other;
  int progressEnds = 0;
  other.OnPixelGraphicProgressEnd = [&](const void*) { ++progressEnds; };
  other.LoadFromFile(file);
  EXPECT_EQ(other.FileName(), file);
  ASSERT_EQ(other.PixelGraphicWidth(), 64);
  EXPECT_EQ(other.PixelGraphicHeight(), 48);
  EXPECT_EQ(other.PixelGraphic()->Colors(5, 6), RGBColor(7, 6, 5));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  // A failed load leaves the view empty, FileName empty and the cursor restored.
  EXPECT_THROW(other.LoadFromFile((dir / "missing.bmp").string()), EPixelGraphic);
  EXPECT_EQ(other.PixelGraphic(), nullptr);
  EXPECT_EQ(other.PixelGraphicWidth(), 0);
  EXPECT_TRUE(other.FileName().empty());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    std::FILE* f = std::fopen((dir / "junk.bmp").c_str(), "wb");
    std::fputs("this is not an image", f);
    std::fclose(f);
  }
  EXPECT_THROW(other.LoadFromFile((dir / "junk.bmp").string()), EPixelGraphic);
  EXPECT_EQ(other.PixelGraphic(), nullptr);
  // A name without a file part leaves the view empty without an error.
  other.LoadFromFile(dir.string() + "/");
  EXPECT_EQ(other.PixelGraphic(), nullptr);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

// Rows are converted for drawing as paints need them: scrolled-to rows show their own pixels.
TEST_F(ViewTest, ScrolledRowsShowTheirPixels) {
  auto image = MakeImage(100, 1000);
  view.SetPixelGraphic(image.get());
  QImage shot = Grab();
  EXPECT_EQ(shot.pixel(10, 20), qRgb(7, 20, 10));
  view.SetVertScrollPos(700);
  shot = Grab();
  EXPECT_EQ(shot.pixel(10, 20), qRgb(7, (720) % 256, 10));
  EXPECT_EQ(shot.pixel(99, 150), qRgb(7, (850) % 256, 99));
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

// Screens of few colours get a display copy in their own format, even at natural size.
TEST_F(ViewTest, DisplayCopyForPaletteScreens) {
  view.SetUseThread(false);
  auto image = MakeImage(60, 40);
  view.SetPixelGraphic(image.get());
  view.SetScreenBitsPerPixel(8);
  view.viewport()->repaint();
  ASSERT_NE(view.PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view.PaintPixelGraphic()->BitCount(), bc8Bit);
  EXPECT_EQ(view.PaintPixelGraphic()->Width(), 60);
  EXPECT_LE(view.PaintPixelGraphic()->PaletteCount(), 256);

  view.SetScreenBitsPerPixel(4);
  view.viewport()->repaint();
  ASSERT_NE(view.PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view.PaintPixelGraphic()->BitCount(), bc4Bit);
  EXPECT_EQ(view.PaintPixelGraphic()->PaletteIdent(), pSys16);

  // An 8-bit image shown with its own palette on an 8-bit screen needs no copy.
  TPixelGraphic gray;
  gray.NewImage(30, 20, bc8Bit);
  gray.SetPaletteIdent(pGray256);
  view.SetPalette8BitSys8BitGraphic(pSource);
  view.SetPixelGraphic(&gray);
  view.SetScreenBitsPerPixel(8);
  view.viewport()->repaint();
  EXPECT_EQ(view.PaintPixelGraphic(), nullptr);
  view.SetPalette8BitSys8BitGraphic(pSys16);
  view.viewport()->repaint();
  ASSERT_NE(view.PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view.PaintPixelGraphic()->PaletteIdent(), pSys16);
}

// With KeepOldPaintPixelGraphic the old copy stays on screen until its successor is ready.
TEST_F(ViewTest, KeepOldDisplayCopyUntilTheNewOneIsReady) {
  view.SetStretch(sZoomKAR);
  view.SetStretchMode(smMedium);
  view.SetZoomFactor(0.5L);
  view.SetKeepOldPaintPixelGraphic(true);
  auto image = MakeImage(200, 100);
  view.SetPixelGraphic(image.get());
  ASSERT_TRUE(RepaintUntil(view, [&] { return view.PaintPixelGraphic() != nullptr; }));
  const TPixelGraphic* old = view.PaintPixelGraphic();
  view.SetZoomFactor(0.25L);
  EXPECT_EQ(view.PaintPixelGraphic(), old);  // still shown
  ASSERT_TRUE(RepaintUntil(view, [&] { return view.PaintPixelGraphic() != old; }));
  ASSERT_NE(view.PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view.PaintPixelGraphic()->Width(), 50);
}

// A build cut off by a reader of the image (PixelGraphic stops the worker) starts again; the
// kept copy of the previous image does not stay on screen in its place.
TEST_F(ViewTest, KeptCopyIsReplacedEvenWhenItsSuccessorWasCutOff) {
  view.SetStretch(sZoomKAR);
  view.SetStretchMode(smMedium);
  view.SetZoomFactor(0.5L);
  view.SetScreenBitsPerPixel(32);
  view.SetKeepOldPaintPixelGraphic(true);
  auto first = MakeImage(200, 100);
  view.SetPixelGraphic(first.get());
  ASSERT_TRUE(RepaintUntil(view, [&] { return view.PaintPixelGraphic() != nullptr; }));
  auto second = MakeImage(3000, 2000);
  view.SetPixelGraphic(second.get());
  view.viewport()->repaint();  // starts the build for the second image
  ASSERT_TRUE(view.PaintWorkerBusy());
  ASSERT_NE(view.PixelGraphic(), nullptr);  // stops it
  EXPECT_FALSE(view.PaintWorkerBusy());
  EXPECT_TRUE(RepaintUntil(view, [&] { return view.PaintPixelGraphic()->Width() == 1500; }));
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

TEST_F(ViewTest, CursorsOverThePictureBox) {
  auto image = MakeImage(100, 100);
  view.SetPixelGraphic(image.get());
  view.SetActionMode(amMoveResizeCreateSelection);
  view.SetSelectionBounds(20, 20, 30, 30);
  view.SetSelection(true);
  Send(Box(), QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Box()->cursor().shape(), Qt::SizeAllCursor);
  Send(Box(), QEvent::MouseMove, {14, 14}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Box()->cursor().shape(), Qt::SizeFDiagCursor);
  Send(Box(), QEvent::MouseMove, {5, 90}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Box()->cursor().shape(), Qt::CrossCursor);
  // The handler has the last word.
  view.PicBoxOnSetCursor = [](const void*, TPGCursor& c) {
    if (c == crSelCross) c = crArrow;
  };
  Send(Box(), QEvent::MouseMove, {5, 90}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(Box()->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(ViewTest, AutoSizeTakesThePictureSize) {
  int reportedW = -1, reportedH = -1;
  view.OnNewAutoSize = [&](const void*, int32_t w, int32_t h) {
    reportedW = w;
    reportedH = h;
  };
  auto image = MakeImage(120, 80);
  view.SetPixelGraphic(image.get());
  EXPECT_EQ(reportedW, 124);  // reported even without AutoSize
  EXPECT_EQ(reportedH, 84);
  EXPECT_EQ(view.width(), 300);
  view.SetAutoSize(true);
  EXPECT_EQ(view.width(), 124);
  EXPECT_EQ(view.height(), 84);
  EXPECT_EQ(view.PicBoxRect(), (TPGRect{0, 0, 120, 80}));
  EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
  view.SetAutoSizeMaxWidth(100);  // too wide: a horizontal bar joins the height
  EXPECT_EQ(view.width(), 100);
  EXPECT_EQ(view.height(), 84 + view.horizontalScrollBar()->sizeHint().height());
  // A window's new size may come back from the platform later.
  EXPECT_TRUE(QTest::qWaitFor([&] { return view.horizontalScrollBar()->isVisible(); }, 10000));
  EXPECT_FALSE(view.verticalScrollBar()->isVisible());
  EXPECT_EQ(view.ClientWidth(), 96);
}

TEST_F(ViewTest, SelectionDragScrollsWhenThePointerLeavesTheView) {
  auto image = MakeImage(600, 600);
  view.SetPixelGraphic(image.get());
  view.SetActionMode(amCreateSelection);
  Send(Box(), QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
  QCursor::setPos(view.viewport()->mapToGlobal(QPoint(view.ClientWidth() + 20, view.ClientHeight() + 20)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return view.HorzScrollPos() > 0 && view.VertScrollPos() > 0; }, 10000));
  EXPECT_EQ(view.HorzScrollPos() % 5, 0);
  Send(Box(), QEvent::MouseButtonRelease, {50, 50}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(selectionsMade, 1);
  // The auto-scroll timer went with the mouse-up (the frame's timer goes with the selection).
  view.SetSelection(false);
  EXPECT_TRUE(NoTimerRuns(view));
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

// New bounds of the view lay the picture out again: a stretched picture follows the view, and a
// picture at natural size gets (or loses) its scroll bars.
TEST(ViewResizeTest, NewBoundsArrangeAgain) {
  QWidget window;
  window.resize(700, 600);
  auto* view = new TPGImage(&window);
  view->setGeometry(0, 0, 300, 200);
  auto image = MakeImage(250, 150);
  view->SetPixelGraphic(image.get());  // laid out while hidden
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(view->PicBoxRect(), (TPGRect{0, 0, 250, 150}));
  EXPECT_FALSE(view->horizontalScrollBar()->isVisible());

  view->resize(200, 120);  // smaller than the picture: both bars
  EXPECT_TRUE(view->horizontalScrollBar()->isVisible());
  EXPECT_TRUE(view->verticalScrollBar()->isVisible());
  EXPECT_EQ(view->ClientWidth(), view->viewport()->width());
  view->SetHorzScrollPos(30);
  EXPECT_EQ(view->PicBoxRect().Left, -30);

  view->resize(400, 300);
  EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
  EXPECT_EQ(view->PicBoxRect(), (TPGRect{0, 0, 250, 150}));

  view->SetStretch(sAlways);
  EXPECT_EQ(view->PicBoxRect(), (TPGRect{0, 0, 396, 296}));
  view->resize(500, 250);
  EXPECT_EQ(view->PicBoxRect(), (TPGRect{0, 0, 496, 246}));
  EXPECT_EQ(view->EffectiveZoom(), -1.0L);
}

}  // namespace
}  // namespace pg

namespace pg {
namespace {

// Which setters run image-changed processing: AutoSize always; the others only on a change, the
// dithering details only while dithering, the auto-size limits only under AutoSize. A new view
// is 100 x 100.
TEST(ViewPropertiesTest, SettersThatReprocessTheImage) {
  TPGImage view;
  EXPECT_EQ(view.size(), QSize(100, 100));
  int changes = 0;
  view.OnPixelGraphicChange = [&](const void*) { ++changes; };
  view.SetAutoSize(false);
  EXPECT_EQ(changes, 1);
  view.SetDither(true);
  view.SetStretchMode(smFast);
  view.SetAutoSizeMaxWidth(500);
  view.SetAutoSizeMinHeight(5);
  EXPECT_EQ(changes, 1);
  view.SetDither(false);
  EXPECT_EQ(changes, 2);
  view.SetDitherErrorLimit(10);
  view.SetDitherErrorLimitAuto(false);
  view.SetDitherErrorLimitSoft(false);
  EXPECT_EQ(changes, 2);
  view.SetDither(true);
  view.SetDitherErrorLimit(11);
  view.SetDitherErrorLimitAuto(true);
  view.SetDitherErrorLimitSoft(true);
  EXPECT_EQ(changes, 6);
  view.SetRGBWeighting(false);
  view.SetAllow24BitStretch(true);
  view.SetPalette8BitSys24BitGraphic(pSpecial216);
  view.SetPalette8BitSys8BitGraphic(pSource);
  view.SetStretchMode(smPrecise);
  EXPECT_EQ(changes, 11);
  view.SetAutoSize(true);
  view.SetAutoSizeMaxHeight(400);
  EXPECT_EQ(changes, 13);
  // Layout-only settings do not reprocess.
  view.SetCenter(true);
  view.SetStretch(sAlways);
  view.SetZoomFactor(2.0L);
  view.SetTiling(tRepeat);
  view.SetFlipHorizontal(true);
  view.SetUseThread(false);
  EXPECT_EQ(changes, 13);
}

}  // namespace
}  // namespace pg
