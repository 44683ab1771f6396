// The source page as a workspace: zoom (menu, keys, tool bar, Ctrl+wheel, fitting), tools, rulers
// and status bar in picture pixels at any zoom, the lines as drawn, the selected line with its
// keys, snapping, named and undoable steps (colour adjustments too), Divide with its preview, the
// grid file dialogs, and the window's placement across starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cstring>

#include "imaging/view/qt_pic_box.h"
#include "tests/workspace/ui/ui_test_support.h"
#include "workspace/ui/color_dialog.h"
#include "workspace/ui/divide_dialog.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/ruler.h"
#include "workspace/ui/settings.h"

namespace tessel {
namespace {

using test::Move;
using test::Press;
using test::Release;
using ::testing::ElementsAre;

class SourceViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OpenSettings().clear();
    window_ = std::make_unique<TMainWindow>();
    window_->resize(700, 500);
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  void TearDown() override { window_.reset(); }

  // Opens a test picture of the given size.
  void Open(int32_t width, int32_t height) {
    const QString path = dir_.filePath(QString("p%1x%2.bmp").arg(width).arg(height));
    test::WritePicture(path.toStdString(), width, height);
    ASSERT_TRUE(window_->OpenImage(path));
    QApplication::processEvents();
  }
  std::vector<int32_t> H() const { return window_->Grid().HorizontalSplits.Values(); }
  std::vector<int32_t> V() const { return window_->Grid().VerticalSplits.Values(); }
  QAction* Action(const char* name) const { return window_->findChild<QAction*>(name); }
  pg::TPGImage* View() const { return window_->View(); }
  QWidget* Box() const { return View()->PicBox(); }
  // Where picture position (x, y) lies in picture-box pixels at the present zoom.
  QPoint At(int32_t x, int32_t y) const { return {View()->ImageToPicBoxX(x), View()->ImageToPicBoxY(y)}; }
  // The view's client area as shown, once its paint has run.
  QImage Shot() const { return View()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // Gives the keyboard to the picture.
  void FocusPicture() {
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    View()->setFocus();
  }

  QTemporaryDir dir_;
  std::unique_ptr<TMainWindow> window_;
};

// ---- Window placement ---------------------------------------------------------------------------

TEST_F(SourceViewTest, ThePlacementStaysPutFromStartToStart) {
  window_->setGeometry(QRect(130, 140, 640, 450));
  QApplication::processEvents();
  const QRect placed = window_->geometry();
  for (int start = 1; start <= 3; ++start) {
    window_->close();
    window_ = std::make_unique<TMainWindow>();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    EXPECT_EQ(window_->geometry(), placed) << "start " << start;
  }
}

TEST_F(SourceViewTest, TheFirstStartTakesMostOfTheScreen) {
  window_.reset();
  OpenSettings().clear();
  TMainWindow first;
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_GE(first.width(), std::min(800, screen.width()));
  EXPECT_GE(first.height(), std::min(600, screen.height()));
  EXPECT_GE(first.width(), screen.width() * 4 / 5);
  EXPECT_LE(first.width(), screen.width());
  EXPECT_LE(first.height(), screen.height());
}

// ---- Zoom -----------------------------------------------------------------------------------------

TEST_F(SourceViewTest, ZoomCommandsFromMenuKeysAndToolBar) {
  Open(200, 100);
  EXPECT_EQ(window_->Zoom(), 1.0L);  // a picture that fits opens at its actual size
  EXPECT_EQ(window_->ZoomText(), "100%");
  FocusPicture();
  QTest::keyClick(window_.get(), Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_EQ(window_->Zoom(), 1.5L);
  EXPECT_EQ(View()->PicBoxRect().Width(), 300);
  EXPECT_EQ(window_->ZoomText(), "150%");
  EXPECT_EQ(View()->StretchMode(), pg::smFast);  // enlarged: the pixels as squares
  QTest::keyClick(window_.get(), Qt::Key_Minus, Qt::ControlModifier);
  QTest::keyClick(window_.get(), Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(window_->Zoom(), 2.0L / 3);
  EXPECT_EQ(View()->StretchMode(), pg::smPrecise);  // reduced: resampled
  QTest::keyClick(window_.get(), Qt::Key_1, Qt::ControlModifier);
  EXPECT_EQ(window_->Zoom(), 1.0L);
  // Fit enlarges a small picture to the view.
  QTest::keyClick(window_.get(), Qt::Key_0, Qt::ControlModifier);
  const pg::TPGRect box = View()->PicBoxRect();
  EXPECT_TRUE(box.Width() == View()->ClientWidth() || box.Height() == View()->ClientHeight());
  EXPECT_LE(box.Width(), View()->ClientWidth());
  EXPECT_LE(box.Height(), View()->ClientHeight());
  // The tool bar's buttons run the same commands.
  window_->findChild<QToolButton*>("ActualSizeButton")->click();
  EXPECT_EQ(window_->Zoom(), 1.0L);
  window_->findChild<QToolButton*>("ZoomInButton")->click();
  EXPECT_EQ(window_->Zoom(), 1.5L);
  window_->findChild<QToolButton*>("ZoomOutButton")->click();
  EXPECT_EQ(window_->Zoom(), 1.0L);
  // The zoom stays within its range.
  window_->SetZoom(1000);
  EXPECT_EQ(window_->Zoom(), kMaxZoom);
  window_->ZoomIn();
  EXPECT_EQ(window_->Zoom(), kMaxZoom);
}

TEST_F(SourceViewTest, ABigPictureOpensWholeAndStaysFittedUntilZoomed) {
  Open(3000, 2000);
  EXPECT_LT(window_->Zoom(), 1.0L);
  pg::TPGRect box = View()->PicBoxRect();
  EXPECT_EQ(box.Left, 0);
  EXPECT_EQ(box.Top, 0);
  EXPECT_LE(box.Width(), View()->ClientWidth());
  EXPECT_LE(box.Height(), View()->ClientHeight());
  // The window grows: the picture with it.
  const int32_t before = box.Width();
  window_->resize(1000, 800);
  EXPECT_TRUE(QTest::qWaitFor([&] { return View()->PicBoxRect().Width() > before; }, 5000));
  box = View()->PicBoxRect();
  EXPECT_TRUE(box.Width() >= View()->ClientWidth() - 1 || box.Height() >= View()->ClientHeight() - 1);
  // Once zoomed, resizing leaves the zoom alone.
  window_->ZoomIn();
  const long double zoom = window_->Zoom();
  window_->resize(700, 500);
  QApplication::processEvents();
  QApplication::processEvents();
  EXPECT_EQ(window_->Zoom(), zoom);
}

TEST_F(SourceViewTest, CtrlWheelZoomsAroundThePointer) {
  Open(1000, 800);
  window_->ActualSize();
  View()->SetHorzScrollPos(200);
  View()->SetVertScrollPos(100);
  QApplication::processEvents();
  const QPoint pointer(150, 120);  // client pixels; picture pixel (350, 220) at actual size
  const auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
    QWheelEvent event(QPointF(pointer), QPointF(View()->viewport()->mapToGlobal(pointer)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(View()->viewport(), &event);
  };
  wheel(120, Qt::ControlModifier);
  EXPECT_EQ(window_->Zoom(), 1.5L);
  const pg::TPGRect box = View()->PicBoxRect();
  EXPECT_EQ(window_->ScaleX().PixelAt(pointer.x() - box.Left), 350);
  EXPECT_EQ(window_->ScaleY().PixelAt(pointer.y() - box.Top), 220);
  // Half notches add up to a step.
  wheel(60, Qt::ControlModifier);
  EXPECT_EQ(window_->Zoom(), 1.5L);
  wheel(60, Qt::ControlModifier);
  EXPECT_EQ(window_->Zoom(), 2.0L);
  wheel(-240, Qt::ControlModifier);
  EXPECT_EQ(window_->Zoom(), 1.0L);
  // Without Ctrl the wheel scrolls.
  const int32_t top = View()->VertScrollPos();
  wheel(-120, Qt::NoModifier);
  EXPECT_EQ(window_->Zoom(), 1.0L);
  EXPECT_GT(View()->VertScrollPos(), top);
}

TEST_F(SourceViewTest, ToolsRulersAndStatusWorkInPicturePixelsAtAnyZoom) {
  Open(200, 100);
  window_->SetSnapping(false);
  window_->SetZoom(4.0L);
  View()->SetHorzScrollPos(0);
  View()->SetVertScrollPos(0);
  QWidget* box = Box();
  // The status bar names the picture pixel under the pointer.
  Move(box, QPoint(41, 23), Qt::NoButton);
  EXPECT_EQ(window_->StatusText(), "X: 10 Y: 5");
  // A new line goes to the pixel boundary nearest to the pointer.
  Press(box, QPoint(41, 23));
  Release(box, QPoint(41, 23));
  Press(box, QPoint(123, 23));
  Release(box, QPoint(123, 23));
  EXPECT_THAT(V(), ElementsAre(0, 200, 10, 31));
  // The pointer reaches a line from a few screen pixels away: one picture pixel at this zoom.
  Move(box, QPoint(44, 50), Qt::NoButton);
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::LeftRight);
  Move(box, QPoint(47, 50), Qt::NoButton);
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::Arrow);
  // Zoomed out the reach covers more picture pixels, and a line moves in coarser steps.
  window_->SetZoom(0.5L);
  box = Box();
  Move(box, QPoint(7, 10), Qt::NoButton);
  EXPECT_EQ(window_->StatusText(), "X: 14 Y: 20");
  EXPECT_EQ(window_->SplitPointer(), TSplitPointer::LeftRight);  // 4 picture pixels from the line at 10
  Press(box, QPoint(6, 10));
  Move(box, QPoint(40, 10));
  Release(box, QPoint(40, 10));
  EXPECT_THAT(V(), ElementsAre(0, 200, 31, 78));  // moved with the distance it was grabbed at
  // The rulers: releases, labels and marks in picture pixels.
  window_->SetZoom(2.0L);
  Release(window_->TopRuler(), {25 + 90, 5}, Qt::RightButton);
  EXPECT_THAT(V(), ElementsAre(0, 200, 31, 78, 45));
  Release(window_->LeftRuler(), {5, 61}, Qt::RightButton);
  EXPECT_THAT(H(), ElementsAre(0, 100, 31));
  Move(window_->TopRuler(), {25 + 90, 3}, Qt::NoButton);
  EXPECT_EQ(window_->StatusText(), "X: 45");
  View()->Repaint();
  const TRulerLayout top = window_->TopRuler()->Layout();
  ASSERT_GE(top.Labels.size(), 2u);
  EXPECT_EQ(top.Labels[0].Text, "0");
  EXPECT_EQ(top.Labels[1].Text, "50");
  EXPECT_EQ(top.Labels[1].X, 25 + 100 + 2);
  EXPECT_EQ(top.Marks.back(), (TRulerLine{25 + 90, 10, 25 + 90, 25}));
}

// ---- Lines as drawn ---------------------------------------------------------------------------------

TEST_F(SourceViewTest, LinesShowDashedInTwoTonesOverThePictureOnly) {
  Open(200, 100);
  // Two equal lines show as one, not as none.
  window_->Grid().AddHorizontal(40);
  window_->Grid().AddHorizontal(40);
  window_->Grid().AddVertical(100);
  View()->Repaint();
  const QImage shot = Shot();
  const pg::TPGRect box = View()->PicBoxRect();
  ASSERT_GT(shot.width(), box.Left + 210);
  for (int x = 0; x < 200; ++x) {
    if (x == 100) continue;
    const QRgb expected = x % 8 < 4 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    ASSERT_EQ(shot.pixel(box.Left + x, box.Top + 40) & 0xFFFFFF, expected & 0xFFFFFF) << x;
  }
  for (int y = 0; y < 100; ++y) {
    const QRgb expected = y % 8 < 4 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    ASSERT_EQ(shot.pixel(box.Left + 100, box.Top + y) & 0xFFFFFF, expected & 0xFFFFFF) << y;
  }
  // Beside the picture the view's own colour, no line.
  const QRgb band = shot.pixel(box.Left + 205, box.Top + 40);
  EXPECT_EQ(band, shot.pixel(box.Left + 205, box.Top + 41));
  EXPECT_EQ(band, shot.pixel(box.Left + 205, box.Top + 44));
  // A picture pixel off the lines is the picture's own.
  auto picture = test::MakePicture(200, 100);
  const uint8_t* p = picture->ScanLine(41) + 3 * 7;
  EXPECT_EQ(shot.pixel(box.Left + 7, box.Top + 41) & 0xFFFFFF, qRgb(p[2], p[1], p[0]) & 0xFFFFFF);
}

// ---- The selected line and its keys ---------------------------------------------------------------

TEST_F(SourceViewTest, ArrowsMoveTheSelectedLineAndDeleteRemovesIt) {
  Open(200, 100);
  window_->Grid().AddVertical(60);
  window_->Grid().AddHorizontal(30);
  QWidget* box = Box();
  FocusPicture();
  // Clicking a line selects it and shows it so.
  Move(box, At(61, 70), Qt::NoButton);
  Press(box, At(61, 70));
  Release(box, At(61, 70));
  EXPECT_THAT(V(), ElementsAre(0, 200, 60));
  EXPECT_EQ(window_->Editor().SelectedLine(), (TSelectedLine{TSplitKind::Vertical, 60}));
  View()->Repaint();
  const QImage shot = Shot();
  const pg::TPGRect rect = View()->PicBoxRect();
  EXPECT_EQ(shot.pixel(rect.Left + 60, rect.Top + 72) & 0xFFFFFF, qRgb(0, 102, 204) & 0xFFFFFF);
  window_->UpdateMenuState();
  EXPECT_TRUE(Action("DeleteLine")->isEnabled());

  QTest::keyClick(View(), Qt::Key_Right);
  QTest::keyClick(View(), Qt::Key_Right);
  QTest::keyClick(View(), Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_THAT(V(), ElementsAre(0, 200, 72));
  QTest::keyClick(View(), Qt::Key_Left);
  EXPECT_THAT(V(), ElementsAre(0, 200, 71));
  EXPECT_EQ(window_->StatusText(), "X: 71");
  // The keys along the line leave it alone.
  QTest::keyClick(View(), Qt::Key_Down);
  EXPECT_THAT(V(), ElementsAre(0, 200, 71));
  EXPECT_THAT(H(), ElementsAre(0, 100, 30));
  window_->UpdateMenuState();
  EXPECT_EQ(Action("Undo")->text(), "&Undo Move Line");
  // Escape lets the line go; the arrows scroll again.
  QTest::keyClick(View(), Qt::Key_Escape);
  EXPECT_EQ(window_->Editor().SelectedLine(), TSelectedLine{});
  QTest::keyClick(View(), Qt::Key_Right);
  EXPECT_THAT(V(), ElementsAre(0, 200, 71));
  // The held key's moves were one step.
  window_->Undo();
  EXPECT_THAT(V(), ElementsAre(0, 200, 60));

  // Delete: from the keyboard (the Edit menu's key) and from the menu.
  Press(box, At(60, 70));
  Release(box, At(60, 70));
  QTest::keyClick(window_.get(), Qt::Key_Delete);
  EXPECT_THAT(V(), ElementsAre(0, 200));
  window_->UpdateMenuState();
  EXPECT_EQ(Action("Undo")->text(), "&Undo Delete Line");
  EXPECT_FALSE(Action("DeleteLine")->isEnabled());
  window_->Undo();
  window_->UpdateMenuState();
  EXPECT_EQ(Action("Redo")->text(), "&Redo Delete Line");
  EXPECT_THAT(V(), ElementsAre(0, 200, 60));
  window_->SelectTool(TSplitTool::Horizontal);
  Press(box, At(10, 30));
  Release(box, At(10, 30));
  Action("DeleteLine")->trigger();
  EXPECT_THAT(H(), ElementsAre(0, 100));
}

TEST_F(SourceViewTest, SnappingPullsDraggedLinesAndCanBeSwitchedOff) {
  Open(200, 100);
  EXPECT_TRUE(Action("Snap")->isChecked());  // on at the first start
  window_->Grid().AddVertical(100);
  QWidget* box = Box();
  Press(box, At(40, 50));
  Move(box, At(95, 50));
  EXPECT_EQ(window_->Editor().RubberBand(), (TRubberBand{TSplitKind::Vertical, 100}));
  Release(box, At(95, 50));
  EXPECT_THAT(V(), ElementsAre(0, 200, 100));  // landed on the line there: one line
  Action("Snap")->trigger();
  EXPECT_FALSE(window_->Editor().Snapping());
  Press(box, At(40, 50));
  Release(box, At(95, 50));
  EXPECT_THAT(V(), ElementsAre(0, 200, 100, 95));
  // A snap step, asked for in a dialog; kept with the switch for the next start.
  Action("Snap")->trigger();
  test::AnswerNextModal([](QWidget* modal) {
    static_cast<QInputDialog*>(modal)->setIntValue(25);
    static_cast<QDialog*>(modal)->accept();
  });
  Action("SnapStep")->trigger();
  EXPECT_EQ(window_->Editor().SnapStep(), 25);
  Press(box, At(40, 50));
  Release(box, At(48, 50));
  EXPECT_THAT(V(), ElementsAre(0, 200, 100, 95, 50));
  window_->AskSaveChanges = [](const QString&) { return int(QMessageBox::Discard); };
  window_->close();
  window_ = std::make_unique<TMainWindow>();
  EXPECT_TRUE(window_->Editor().Snapping());
  EXPECT_EQ(window_->Editor().SnapStep(), 25);
}

TEST_F(SourceViewTest, ARectangleToolClickAddsNothingAndADragItsEdges) {
  Open(200, 100);
  window_->SelectTool(TSplitTool::Rectangle);
  window_->SetZoom(0.5L);
  QWidget* box = Box();
  // A click, and a click with a twitch of the hand: each covers a few picture pixels here.
  Press(box, QPoint(20, 20));
  Release(box, QPoint(20, 20));
  Press(box, QPoint(20, 20));
  Move(box, QPoint(21, 22));
  Release(box, QPoint(21, 22));
  EXPECT_THAT(V(), ElementsAre(0, 200));
  EXPECT_THAT(H(), ElementsAre(0, 100));
  EXPECT_FALSE(View()->Selection());
  // A dragged rectangle: its edges as the selection gives them (right and bottom exclusive).
  Press(box, QPoint(5, 10));
  Move(box, QPoint(30, 40));
  Release(box, QPoint(30, 40));
  EXPECT_THAT(V(), ElementsAre(0, 200, 10, 61));
  EXPECT_THAT(H(), ElementsAre(0, 100, 20, 81));
}

// ---- Steps and their names ----------------------------------------------------------------------

TEST_F(SourceViewTest, DividePreviewsItsGridAndReplacesOrAdds) {
  Open(200, 100);
  window_->Grid().AddVertical(30);
  // Cancel: the preview goes, nothing changes.
  bool previewed = false;
  test::AnswerNextModal([&](QWidget* modal) {
    auto* dialog = static_cast<TDivideDialog*>(modal);
    dialog->SetValues(4, 1, false);
    ASSERT_TRUE(window_->PreviewGrid().has_value());
    previewed =
        window_->PreviewGrid()->VerticalSplits.Values() == std::vector<int32_t>{0, 200, 30, 50, 100, 150};
    dialog->reject();
  });
  window_->DivideCommand();
  EXPECT_TRUE(previewed);
  EXPECT_FALSE(window_->PreviewGrid().has_value());
  EXPECT_THAT(V(), ElementsAre(0, 200, 30));
  // Replace: the preview shows the lines that stay and the new ones, drawn apart.
  bool shown = false;
  test::AnswerNextModal([&](QWidget* modal) {
    auto* dialog = static_cast<TDivideDialog*>(modal);
    EXPECT_EQ(dialog->Columns(), 2);  // Cancel kept nothing
    dialog->ColumnsBox()->setValue(4);
    dialog->ReplaceButton()->setChecked(true);
    ASSERT_TRUE(window_->PreviewGrid().has_value());
    EXPECT_THAT(window_->PreviewGrid()->VerticalSplits.Values(), ElementsAre(0, 200, 50, 100, 150));
    View()->Repaint();
    const QImage shot = Shot();
    const pg::TPGRect box = View()->PicBoxRect();
    shown = shot.pixel(box.Left + 50, box.Top + 1) == qRgb(255, 128, 0) &&
            shot.pixel(box.Left + 30, box.Top + 1) != qRgb(0, 0, 0);
    dialog->accept();
  });
  window_->DivideCommand();
  EXPECT_TRUE(shown);
  EXPECT_THAT(V(), ElementsAre(0, 200, 50, 100, 150));
  EXPECT_THAT(H(), ElementsAre(0, 100, 50));
  window_->UpdateMenuState();
  EXPECT_EQ(Action("Undo")->text(), "&Undo Divide");
  // The dialog starts with the values used last.
  test::AnswerNextModal([](QWidget* modal) {
    auto* dialog = static_cast<TDivideDialog*>(modal);
    EXPECT_EQ(dialog->Columns(), 4);
    EXPECT_TRUE(dialog->Replace());
    dialog->reject();
  });
  window_->DivideCommand();
}

bool SamePixels(const pg::TPixelGraphic& a, const pg::TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
  for (int32_t y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.ScanLine(y), b.ScanLine(y), static_cast<size_t>(a.BytesPerRow())) != 0) return false;
  }
  return true;
}

TEST_F(SourceViewTest, ColourAdjustmentsAreStepsThatUndoAndRedo) {
  Open(64, 48);
  auto original = std::make_unique<pg::TPixelGraphic>();
  original->Assign(View()->PixelGraphic());
  window_->DivideImage(2, 1);
  test::AnswerNextModal([](QWidget* modal) {
    static_cast<TColorDialog*>(modal)->Slider(0)->setValue(90);
    static_cast<QDialog*>(modal)->accept();
  });
  window_->findChild<QAction*>("HLS")->trigger();
  auto adjusted = std::make_unique<pg::TPixelGraphic>();
  adjusted->Assign(View()->PixelGraphic());
  ASSERT_FALSE(SamePixels(*original, *adjusted));
  window_->UpdateMenuState();
  EXPECT_EQ(Action("Undo")->text(), "&Undo HLS Adjustment");
  window_->Undo();
  EXPECT_TRUE(SamePixels(*View()->PixelGraphic(), *original));
  EXPECT_THAT(V(), ElementsAre(0, 64, 32));  // the grid stays
  window_->Undo();
  EXPECT_THAT(V(), ElementsAre(0, 64));
  window_->Redo();
  window_->Redo();
  EXPECT_TRUE(SamePixels(*View()->PixelGraphic(), *adjusted));
  EXPECT_EQ(View()->PixelGraphicWidth(), 64);
  // A grid edit after it forgets the redo, and with it the picture it kept.
  window_->Undo();
  window_->ClearSplits();
  window_->UpdateMenuState();
  EXPECT_FALSE(Action("Redo")->isEnabled());
  EXPECT_EQ(window_->Editor().History().PayloadBytes(), 0u);
  EXPECT_TRUE(SamePixels(*View()->PixelGraphic(), *original));
}

// ---- Dialogs ----------------------------------------------------------------------------------------

TEST_F(SourceViewTest, AddByNumberShowsTheWholeRange) {
  Open(6000, 40);
  QString label;
  test::AnswerNextModal([&label](QWidget* modal) {
    label = static_cast<QInputDialog*>(modal)->labelText();
    static_cast<QDialog*>(modal)->reject();
  });
  window_->AddSplitByNumber(0);
  EXPECT_TRUE(label.contains("from 0 to 6000")) << label.toStdString();
}

// Answers every modal dialog shown while it lives with `answer`, and counts them.
class TModalWatch : public QObject {
 public:
  explicit TModalWatch(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    qApp->installEventFilter(this);
  }
  ~TModalWatch() override { qApp->removeEventFilter(this); }
  int Shown() const { return shown_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() == QEvent::Show && dialog && dialog->isModal()) {
      ++shown_;
      QTimer::singleShot(0, dialog, [this, dialog] { answer_(dialog); });
    }
    return false;
  }

 private:
  std::function<void(QWidget*)> answer_;
  int shown_ = 0;
};

TEST_F(SourceViewTest, SaveGridReplacesAFileWithoutAsking) {
  Open(200, 100);
  window_->Grid().AddVertical(120);
  const QString path = dir_.filePath("photo.grd");
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("0\r\n1\r\n-\r\n0\r\n1\r\n");
  }
  QStringList questions;
  QString suggested;
  TModalWatch watch([&](QWidget* modal) {
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      suggested = dialog->selectedFiles().value(0);
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      questions << box->text();
      box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->click() : box->accept();
    } else {
      static_cast<QDialog*>(modal)->reject();
    }
  });
  Action("SaveGrid")->trigger();
  EXPECT_TRUE(questions.isEmpty()) << questions.join(" | ").toStdString();
  EXPECT_EQ(watch.Shown(), 1);  // the file dialog alone
  // The dialog suggested the picture's name in the picture's folder.
  EXPECT_EQ(suggested, dir_.filePath("p200x100.grd"));
  QFile saved(path);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), QByteArray("0\r\n100\r\n-\r\n0\r\n200\r\n120\r\n"));
}

TEST_F(SourceViewTest, LoadGridTakesANameWithoutItsExtension) {
  Open(200, 100);
  const QString path = dir_.filePath("photo.grd");
  {
    QFile grid(path);
    ASSERT_TRUE(grid.open(QIODevice::WriteOnly));
    grid.write("0\r\n100\r\n-\r\n0\r\n77\r\n200\r\n");
  }
  // Typed into the dialog.
  TModalWatch watch([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->defaultSuffix(), "grd");
    dialog->setDirectory(dir_.path());
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText("photo");
    static_cast<QDialog*>(dialog)->accept();
  });
  Action("LoadGrid")->trigger();
  EXPECT_THAT(V(), ElementsAre(0, 77, 200));
  EXPECT_EQ(window_->RecentGrids().value(0), QFileInfo(path).absoluteFilePath());
  window_->UpdateMenuState();
  EXPECT_EQ(Action("Undo")->text(), "&Undo Load Grid");
  // A desktop dialog that hands back the name as typed.
  window_->ClearSplits();
  window_->AskFileName = [&](const QString&, const QString&, const QString&, bool) {
    return dir_.filePath("photo");
  };
  Action("LoadGrid")->trigger();
  EXPECT_THAT(V(), ElementsAre(0, 77, 200));
}

}  // namespace
}  // namespace tessel
