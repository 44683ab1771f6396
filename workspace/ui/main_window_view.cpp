// The main window's split editing on the source page: the view's mouse events and the rulers turned
// into the split editor's calls in picture pixels (at any zoom), the pointer, the tools, the keys
// that move and delete the selected line, undo and redo, and the grid drawn over the picture.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QImage>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <array>

#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"
#include "workspace/integer_text.h"
#include "workspace/ui/divide_dialog.h"
#include "workspace/ui/jpeg_page.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/message_boxes.h"
#include "workspace/ui/ruler.h"
#include "workspace/ui/slice_panel.h"

namespace tessel {

namespace {

// How lines are drawn over the picture: dashes of two colours, so that a line shows on any picture
// and two lines at one place show as one.
enum class TLineStyle { Normal, Selected, Preview };

constexpr int kDash = 4;  // pixels of each colour

// An 8 x 8 brush of dashes along x (horizontal lines) or y (vertical lines).
QBrush MakeDashBrush(QColor first, QColor second, bool alongY) {
  QImage pattern(2 * kDash, 2 * kDash, QImage::Format_RGB32);
  for (int y = 0; y < pattern.height(); ++y) {
    for (int x = 0; x < pattern.width(); ++x) {
      pattern.setPixel(x, y, ((alongY ? y : x) < kDash ? first : second).rgb());
    }
  }
  return QBrush(pattern);
}

const QBrush& DashBrush(TLineStyle style, bool alongY) {
  static const std::array<QBrush, 6> brushes = {
      MakeDashBrush(Qt::black, Qt::white, false),
      MakeDashBrush(Qt::black, Qt::white, true),
      MakeDashBrush(QColor(0, 102, 204), Qt::white, false),
      MakeDashBrush(QColor(0, 102, 204), Qt::white, true),
      MakeDashBrush(QColor(255, 128, 0), Qt::black, false),
      MakeDashBrush(QColor(255, 128, 0), Qt::black, true),
  };
  return brushes[static_cast<size_t>(style) * 2 + (alongY ? 1 : 0)];
}

// The glow beside the selected line.
const QColor kSelectedGlow(0, 102, 204, 90);

TSplitButton ToSplitButton(pg::TMouseButton button) {
  switch (button) {
    case pg::mbLeft:
      return TSplitButton::Left;
    case pg::mbRight:
      return TSplitButton::Right;
    default:
      return TSplitButton::Middle;
  }
}

// The pointer moved less than this (screen pixels) between press and release: a click.
constexpr int kClickSlack = 3;

}  // namespace

size_t TPicturePayload::Bytes() const {
  return Picture ? static_cast<size_t>(Picture->ImageSize()) : 0;
}

// ---- Undo, redo and the commands on the grid ------------------------------------------------------

void TMainWindow::Undo() {
  StepHistory(false);
}

void TMainWindow::Redo() {
  StepHistory(true);
}

void TMainWindow::StepHistory(bool redo) {
  if (exporting_) return;
  // A step of a colour adjustment swaps the picture shown with the one it keeps.
  bool picture = false;
  const auto exchange = [this, &picture](THistoryPayload& payload) {
    auto& step = static_cast<TPicturePayload&>(payload);
    step.Picture = view_->ExchangePixelGraphic(std::move(step.Picture));
    picture = true;
  };
  if (!(redo ? editor_.Redo(exchange) : editor_.Undo(exchange))) return;
  if (picture) PictureReplaced();
  RedrawGrid();
}

void TMainWindow::PictureReplaced() {
  view_->Invalidate();
  if (pages_->currentWidget() == jpegPage_) jpegPage_->SourceChanged(view_->PixelGraphic());
}

void TMainWindow::RedrawGrid() {
  view_->Invalidate();
  topRuler_->SetSplits(editor_.Grid().VerticalSplits.Values());
  leftRuler_->SetSplits(editor_.Grid().HorizontalSplits.Values());
  topRuler_->update();
  leftRuler_->update();
  // The Edit menu's entries name the step they take and their keys follow the selected line.
  UpdateMenuState();
  SlicesChanged();
}

void TMainWindow::ClearSplits() {
  if (!HasImage() || exporting_) return;
  editor_.ClearSplits();
  RedrawGrid();
}

void TMainWindow::AddSplitByNumber(int tag) {
  if (!HasImage() || exporting_) return;
  const bool horizontal = tag == 1;
  const int32_t limit = horizontal ? ImageHeight() : ImageWidth();
  QInputDialog dialog(this);
  dialog.setObjectName("PositionInput");
  dialog.setWindowTitle(QString("Enter position (0-%1)").arg(limit));
  // The title may be cut short by the desktop; the label gives the whole range as well.
  dialog.setLabelText(
      horizontal
          ? QString("Y position of the horizontal line, from 0 to %1 (the picture's height):").arg(limit)
          : QString("X position of the vertical line, from 0 to %1 (the picture's width):").arg(limit));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextValue(lastNumberText_);
  if (dialog.exec() == QDialog::Accepted) {
    const QString text = dialog.textValue();
    lastNumberText_ = text;
    int32_t value = 0;
    if (!TryStrToInt(text.toStdString(), value)) {
      ShowError(this, QString::fromStdString(InvalidIntegerMessage(text.toStdString())));
    } else if (value < 0 || value > limit) {
      ShowError(this, QString("%1 lies outside the picture: a %2 line goes from 0 to %3.")
                          .arg(value)
                          .arg(horizontal ? "horizontal" : "vertical")
                          .arg(limit));
    } else {
      editor_.AddByNumber(horizontal ? TSplitKind::Horizontal : TSplitKind::Vertical, value);
    }
  }
  RedrawGrid();
}

void TMainWindow::DivideImage(int32_t columns, int32_t rows, bool replace) {
  if (!HasImage() || exporting_) return;
  editor_.Divide(columns, rows, replace);
  RedrawGrid();
}

void TMainWindow::DivideCommand() {
  if (!HasImage() || exporting_) return;
  TDivideDialog dialog(this);
  dialog.SetValues(divideColumns_, divideRows_, divideReplace_);
  // The picture shows the grid the dialog's values would give, while the dialog is open.
  const auto preview = [this, &dialog] {
    previewGrid_ = editor_.DivideResult(dialog.Columns(), dialog.Rows(), dialog.Replace());
    view_->Invalidate();
  };
  connect(&dialog, &TDivideDialog::Changed, this, preview);
  preview();
  const bool accepted = dialog.exec() == QDialog::Accepted;
  previewGrid_.reset();
  if (accepted) {
    divideColumns_ = dialog.Columns();
    divideRows_ = dialog.Rows();
    divideReplace_ = dialog.Replace();
    DivideImage(divideColumns_, divideRows_, divideReplace_);
  }
  RedrawGrid();
}

void TMainWindow::MoveSelectedLine(int32_t delta) {
  if (exporting_ || !editor_.MoveSelectedLine(delta)) return;
  const TSelectedLine line = editor_.SelectedLine();
  status_->setText(QString(line.Kind == TSplitKind::Vertical ? "X: %1" : "Y: %1").arg(line.Position));
  RedrawGrid();
}

void TMainWindow::DeleteSelectedLine() {
  if (exporting_ || !editor_.DeleteSelectedLine()) return;
  RedrawGrid();
}

// ---- Tools and the pointer ------------------------------------------------------------------------

QToolButton* TMainWindow::ToolButton(TSplitTool tool) const {
  return toolButtons_[static_cast<int>(tool)];
}

void TMainWindow::SelectTool(TSplitTool tool) {
  editor_.SetTool(tool);
  ToolChanged();
  // Selecting slices is for editing them: the Slice panel comes up.
  if (tool == TSplitTool::Select && slicePanel_ != nullptr) slicePanel_->show();
}

void TMainWindow::ToolChanged() {
  const TSplitTool tool = editor_.Tool();
  QToolButton* button = ToolButton(tool);
  if (!button->isChecked()) button->setChecked(true);
  for (QAction* action : toolActions_->actions()) {
    if (action->data().toInt() == static_cast<int>(tool) && !action->isChecked()) action->setChecked(true);
  }
  view_->SetActionMode(tool == TSplitTool::Rectangle || tool == TSplitTool::Cross ? pg::amCreateSelection
                                                                                  : pg::amNone);
}

QString TMainWindow::StatusText() const {
  return status_->text();
}

void TMainWindow::ApplyPointer() {
  const TSplitPointer pointer = editor_.Pointer();
  if (pointer == shownPointer_) return;
  shownPointer_ = pointer;
  // The split pointers hold application-wide until set back, as during a drag the pointer may
  // leave the view.
  if (pointer == TSplitPointer::Arrow) {
    if (overrideCursor_) QApplication::restoreOverrideCursor();
    overrideCursor_ = false;
    return;
  }
  const QCursor cursor(pointer == TSplitPointer::UpDown ? Qt::SplitVCursor : Qt::SplitHCursor);
  if (overrideCursor_) {
    QApplication::changeOverrideCursor(cursor);
  } else {
    QApplication::setOverrideCursor(cursor);
    overrideCursor_ = true;
  }
}

// ---- Mouse over the picture (picture-box pixels in, picture pixels to the editor) ---------------

void TMainWindow::ViewMouseDown(pg::TMouseButton button, int32_t x, int32_t y) {
  if (exporting_) return;
  view_->setFocus(Qt::MouseFocusReason);
  selectionPress_ = {x, y};
  const TSplitTool tool = editor_.Tool();
  const TSelectedLine selected = editor_.SelectedLine();
  if (tool == TSplitTool::Select) {
    // The select tool takes the slice under the pixel that was clicked.
    if (button == pg::mbLeft && editor_.SelectSliceAt(ScaleX().PixelAt(x), ScaleY().PixelAt(y))) {
      view_->Invalidate();
      SlicesChanged();
    }
    return;
  }
  // Lines lie between pixels: the pointer stands for the boundary nearest to it.
  const bool started = editor_.PointerPress(ToSplitButton(button), ScaleX().LineAt(x), ScaleY().LineAt(y));
  if (editor_.Tool() != tool) ToolChanged();
  if (!started) return;
  ApplyPointer();
  if (!(editor_.SelectedLine() == selected)) InvalidateLine(selected.Kind, selected.Position);
  RedrawGrid();
}

void TMainWindow::ViewMouseMove(int32_t x, int32_t y) {
  status_->setText(QString("X: %1 Y: %2").arg(ScaleX().PixelAt(x)).arg(ScaleY().PixelAt(y)));
  // The rubber-band line follows the pointer; it is drawn with the grid in the view's paint, and
  // only the two lines it leaves and enters are repainted.
  const TRubberBand before = editor_.RubberBand();
  editor_.PointerMove(ScaleX().LineAt(x), ScaleY().LineAt(y));
  const TRubberBand now = editor_.RubberBand();
  if (!(now == before)) {
    InvalidateLine(before.Kind, before.Position);
    InvalidateLine(now.Kind, now.Position);
  }
  ApplyPointer();
}

void TMainWindow::InvalidateLine(TSplitKind kind, int32_t position) {
  if (kind == TSplitKind::None || position == -1) return;
  const pg::TPGRect box = view_->PicBoxRect();
  QWidget* area = view_->viewport();
  // The line with the glow of a selected one beside it.
  if (kind == TSplitKind::Horizontal) {
    area->update(0, box.Top + view_->ImageToPicBoxY(position) - 1, area->width(), 3);
  } else {
    area->update(box.Left + view_->ImageToPicBoxX(position) - 1, 0, 3, area->height());
  }
}

void TMainWindow::ViewMouseUp(pg::TMouseButton button, int32_t x, int32_t y) {
  if (exporting_) return;
  selectionRelease_ = {x, y};
  editor_.PointerRelease(ToSplitButton(button), ScaleX().LineAt(x), ScaleY().LineAt(y));
  RedrawGrid();
  ApplyPointer();
}

void TMainWindow::ViewSelectionMade() {
  if (exporting_) return;
  // A click of the rectangle tool makes a rectangle of the pixels under the pointer, several of
  // them when zoomed out; it is no rectangle to cut.
  const QPoint moved = selectionRelease_ - selectionPress_;
  const bool clicked = std::abs(moved.x()) < kClickSlack && std::abs(moved.y()) < kClickSlack;
  if (!editor_.SelectionMade(view_->SelectionLeft(), view_->SelectionTop(), view_->SelectionWidth(),
                             view_->SelectionHeight(), clicked))
    return;
  view_->SetSelection(false);
  RedrawGrid();
}

// ---- Keys on the picture ----------------------------------------------------------------------------

bool TMainWindow::ViewKeyPress(QKeyEvent* event) {
  const TSelectedLine line = editor_.SelectedLine();
  if (line.Kind == TSplitKind::None || exporting_) return false;
  const int32_t step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
  // The arrows across the selected line move it; the others still scroll the picture.
  const bool vertical = line.Kind == TSplitKind::Vertical;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (!vertical) return false;
      MoveSelectedLine(event->key() == Qt::Key_Left ? -step : step);
      return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (vertical) return false;
      MoveSelectedLine(event->key() == Qt::Key_Up ? -step : step);
      return true;
    case Qt::Key_Backspace:
      DeleteSelectedLine();
      return true;
    case Qt::Key_Escape:
      InvalidateLine(line.Kind, line.Position);
      editor_.ClearSelectedLine();
      UpdateMenuState();
      return true;
    default:
      return false;
  }
}

// ---- The grid over the picture ------------------------------------------------------------------

void TMainWindow::PaintGrid() {
  QPainter* canvas = view_->Canvas();
  const pg::TPGRect box = view_->PicBoxRect();
  if (canvas && box.Width() > 0 && box.Height() > 0) {
    canvas->save();
    canvas->setRenderHint(QPainter::Antialiasing, false);
    // Dashes stay in place on the picture as it scrolls.
    canvas->setBrushOrigin(box.Left, box.Top);
    // Lines run across the picture only; a line on its far edge borders it.
    const QRect client(0, 0, view_->ClientWidth(), view_->ClientHeight());
    const QRect picture = QRect(box.Left, box.Top, box.Width(), box.Height()).intersected(client);
    const auto draw = [&](TSplitKind kind, int32_t position, TLineStyle style) {
      const bool horizontal = kind == TSplitKind::Horizontal;
      const QRect line =
          horizontal ? QRect(picture.left(), box.Top + view_->ImageToPicBoxY(position), picture.width(), 1)
                     : QRect(box.Left + view_->ImageToPicBoxX(position), picture.top(), 1, picture.height());
      if (!client.intersects(line)) return;
      if (style == TLineStyle::Selected) {
        const QRect glow = horizontal ? line.adjusted(0, -1, 0, 1) : line.adjusted(-1, 0, 1, 0);
        canvas->fillRect(glow.intersected(client), kSelectedGlow);
      }
      canvas->fillRect(line, DashBrush(style, !horizontal));
    };
    if (previewGrid_) {
      // The grid Divide would give: the lines it adds stand out.
      const TSplitGrid& now = editor_.Grid();
      for (int32_t y : previewGrid_->HorizontalSplits.Values())
        draw(TSplitKind::Horizontal, y,
             now.HorizontalSplits.Contains(y) ? TLineStyle::Normal : TLineStyle::Preview);
      for (int32_t x : previewGrid_->VerticalSplits.Values())
        draw(TSplitKind::Vertical, x,
             now.VerticalSplits.Contains(x) ? TLineStyle::Normal : TLineStyle::Preview);
    } else {
      for (int32_t y : editor_.Grid().HorizontalSplits.Values())
        draw(TSplitKind::Horizontal, y, TLineStyle::Normal);
      for (int32_t x : editor_.Grid().VerticalSplits.Values())
        draw(TSplitKind::Vertical, x, TLineStyle::Normal);
      const TRubberBand band = editor_.RubberBand();
      if (band.Kind != TSplitKind::None && band.Position != -1) {
        draw(band.Kind, band.Position, TLineStyle::Selected);
      } else if (const TSelectedLine line = editor_.SelectedLine(); line.Kind != TSplitKind::None) {
        draw(line.Kind, line.Position, TLineStyle::Selected);
      }
    }
    canvas->restore();
    PaintSlices(*canvas);
  }
  // The rulers follow the picture's scroll position and scale.
  if (topRuler_->ScrollPosition() != -box.Left || leftRuler_->ScrollPosition() != -box.Top) {
    topRuler_->SetScrollPosition(-box.Left);
    leftRuler_->SetScrollPosition(-box.Top);
    topRuler_->update();
    leftRuler_->update();
  }
}

// ---- Rulers ---------------------------------------------------------------------------------------

void TMainWindow::RulerPress(TRuler* ruler, Qt::MouseButton button) {
  pressedRuler_ = button == Qt::LeftButton ? ruler : nullptr;
}

void TMainWindow::RulerRelease(TRuler* ruler, Qt::MouseButton button, QPoint at) {
  if (exporting_) return;
  // A left click on the top ruler takes up the horizontal line tool, on the left ruler the
  // vertical one; it is handled before the release adds its split.
  if (button == Qt::LeftButton && pressedRuler_ == ruler && ruler->rect().contains(at)) {
    SelectTool(ruler == topRuler_ ? TSplitTool::Horizontal : TSplitTool::Vertical);
  }
  pressedRuler_ = nullptr;
  // The ruler position stands for the picture position under it, scroll position and zoom
  // included. The corner of the top ruler (and anything above the left ruler) stands for no
  // pixel, scrolled or not.
  if (ruler == topRuler_) {
    if (at.x() - kRulerThickness >= 1)
      editor_.AddFromTopRuler(ScaleX().LineAt(at.x() - kRulerThickness - view_->PicBoxRect().Left));
  } else {
    if (at.y() >= 0) editor_.AddFromLeftRuler(ScaleY().LineAt(at.y() - view_->PicBoxRect().Top));
  }
  RedrawGrid();
}

void TMainWindow::RulerMove(TRuler* ruler, QPoint at) {
  if (ruler == topRuler_) {
    status_->setText(
        QString("X: %1").arg(ScaleX().LineAt(at.x() - kRulerThickness - view_->PicBoxRect().Left)));
  } else {
    status_->setText(QString("Y: %1").arg(ScaleY().LineAt(at.y() - view_->PicBoxRect().Top)));
  }
  editor_.PointerAway();
  ApplyPointer();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    if (ViewKeyPress(static_cast<QKeyEvent*>(event))) return true;
  } else if (watched == view_ && event->type() == QEvent::Resize) {
    // A fitted picture stays fitted as the window changes size, once the view has laid it out.
    if (fitting_)
      QMetaObject::invokeMethod(
          this,
          [this] {
            if (fitting_) ZoomToFit();
          },
          Qt::QueuedConnection);
  } else if (watched == view_->viewport() && event->type() == QEvent::Wheel) {
    if (ViewWheel(static_cast<QWheelEvent*>(event))) return true;
  } else if (event->type() == QEvent::MouseMove && watched != view_ && watched != view_->viewport()) {
    editor_.PointerAway();
    ApplyPointer();
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tessel
