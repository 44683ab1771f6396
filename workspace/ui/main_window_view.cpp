// The main window's split editing on the source page: the view's mouse events and the rulers turned
// into the split editor's calls, the pointer, the tools, undo and redo, and the grid drawn over the
// picture.
#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include "imaging/view/qt_pg_image.h"
#include "workspace/integer_text.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/message_boxes.h"
#include "workspace/ui/ruler.h"

namespace tessel {

// ---- Split editing ----------------------------------------------------------------------------

void TMainWindow::Undo() {
  if (!exporting_ && editor_.Undo()) RedrawGrid();
}

void TMainWindow::Redo() {
  if (!exporting_ && editor_.Redo()) RedrawGrid();
}

void TMainWindow::RedrawGrid() {
  view_->Invalidate();
  topRuler_->SetSplits(editor_.Grid().VerticalSplits.Values());
  leftRuler_->SetSplits(editor_.Grid().HorizontalSplits.Values());
  topRuler_->update();
  leftRuler_->update();
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
  dialog.setLabelText(horizontal ? "Y:" : "X:");
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextValue(lastNumberText_);
  if (dialog.exec() == QDialog::Accepted) {
    const QString text = dialog.textValue();
    lastNumberText_ = text;
    int32_t value = 0;
    if (!TryStrToInt(text.toStdString(), value)) {
      ShowError(this, QString::fromStdString(InvalidIntegerMessage(text.toStdString())));
    } else {
      editor_.AddByNumber(horizontal ? TSplitKind::Horizontal : TSplitKind::Vertical, value);
    }
  }
  RedrawGrid();
}

void TMainWindow::DivideImage(int32_t columns, int32_t rows) {
  if (!HasImage() || exporting_) return;
  editor_.Divide(columns, rows);
  RedrawGrid();
}

QToolButton* TMainWindow::ToolButton(TSplitTool tool) const {
  return toolButtons_[static_cast<int>(tool)];
}

void TMainWindow::SelectTool(TSplitTool tool) {
  editor_.SetTool(tool);
  ToolChanged();
}

void TMainWindow::ToolChanged() {
  const TSplitTool tool = editor_.Tool();
  QToolButton* button = ToolButton(tool);
  if (!button->isChecked()) button->setChecked(true);
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

namespace {

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

}  // namespace

void TMainWindow::ViewMouseDown(pg::TMouseButton button, int32_t x, int32_t y) {
  if (exporting_) return;
  const TSplitTool tool = editor_.Tool();
  const bool started = editor_.PointerPress(ToSplitButton(button), x, y);
  if (editor_.Tool() != tool) ToolChanged();
  if (!started) return;
  ApplyPointer();
  RedrawGrid();
}

void TMainWindow::ViewMouseMove(int32_t x, int32_t y) {
  status_->setText(QString("X: %1 Y: %2").arg(x).arg(y));
  // The rubber-band line follows the pointer; it is drawn with the grid in the view's paint, and
  // only the two lines it leaves and enters are repainted.
  const TRubberBand before = editor_.RubberBand();
  editor_.PointerMove(x, y);
  const TRubberBand now = editor_.RubberBand();
  if (!(now == before)) {
    InvalidateLine(before);
    InvalidateLine(now);
  }
  ApplyPointer();
}

void TMainWindow::InvalidateLine(const TRubberBand& band) {
  if (band.Kind == TSplitKind::None || band.Position == -1) return;
  const pg::TPGRect box = view_->PicBoxRect();
  QWidget* area = view_->viewport();
  if (band.Kind == TSplitKind::Horizontal) {
    area->update(0, box.Top + view_->ImageToPicBoxY(band.Position), area->width(), 1);
  } else {
    area->update(box.Left + view_->ImageToPicBoxX(band.Position), 0, 1, area->height());
  }
}

void TMainWindow::ViewMouseUp(pg::TMouseButton button, int32_t x, int32_t y) {
  if (exporting_) return;
  editor_.PointerRelease(ToSplitButton(button), x, y);
  RedrawGrid();
  ApplyPointer();
}

void TMainWindow::ViewSelectionMade() {
  if (exporting_) return;
  if (!editor_.SelectionMade(view_->SelectionLeft(), view_->SelectionTop(), view_->SelectionWidth(),
                             view_->SelectionHeight()))
    return;
  view_->SetSelection(false);
  RedrawGrid();
}

void TMainWindow::PaintGrid() {
  QPainter* canvas = view_->Canvas();
  if (canvas) {
    canvas->save();
    canvas->setRenderHint(QPainter::Antialiasing, false);
    // Inverting pen: every pixel under a line becomes its inverse, so two splits at one position
    // cancel out and a line shows on any picture.
    canvas->setCompositionMode(QPainter::CompositionMode_Difference);
    canvas->setPen(QPen(QColor(255, 255, 255), 1));
    const pg::TPGRect box = view_->PicBoxRect();
    const int right = view_->ClientWidth() - 1;
    const int bottom = view_->ClientHeight() - 1;
    auto horizontal = [&](int32_t y) {
      const int at = box.Top + view_->ImageToPicBoxY(y);
      canvas->drawLine(0, at, right, at);
    };
    auto vertical = [&](int32_t x) {
      const int at = box.Left + view_->ImageToPicBoxX(x);
      canvas->drawLine(at, 0, at, bottom);
    };
    for (int32_t y : editor_.Grid().HorizontalSplits.Values()) horizontal(y);
    for (int32_t x : editor_.Grid().VerticalSplits.Values()) vertical(x);
    const TRubberBand band = editor_.RubberBand();
    if (band.Kind == TSplitKind::Horizontal && band.Position != -1) horizontal(band.Position);
    if (band.Kind == TSplitKind::Vertical && band.Position != -1) vertical(band.Position);
    canvas->restore();
  }
  // The rulers follow the picture's scroll position.
  const pg::TPGRect box = view_->PicBoxRect();
  if (topRuler_->ScrollPosition() != -box.Left || leftRuler_->ScrollPosition() != -box.Top) {
    topRuler_->SetScrollPosition(-box.Left);
    leftRuler_->SetScrollPosition(-box.Top);
    topRuler_->update();
    leftRuler_->update();
  }
}

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
  // The ruler position stands for the image pixel under it, scroll position included. The corner
  // of the top ruler (and anything above the left ruler) stands for no pixel, scrolled or not.
  if (ruler == topRuler_) {
    if (at.x() - kRulerThickness >= 1)
      editor_.AddFromTopRuler(at.x() - kRulerThickness - view_->PicBoxRect().Left);
  } else {
    if (at.y() >= 0) editor_.AddFromLeftRuler(at.y() - view_->PicBoxRect().Top);
  }
  RedrawGrid();
}

void TMainWindow::RulerMove(TRuler* ruler, QPoint at) {
  if (ruler == topRuler_) {
    status_->setText(QString("X: %1").arg(at.x() - kRulerThickness - view_->PicBoxRect().Left));
  } else {
    status_->setText(QString("Y: %1").arg(at.y() - view_->PicBoxRect().Top));
  }
  editor_.PointerAway();
  ApplyPointer();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    editor_.PointerAway();
    ApplyPointer();
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace tessel
