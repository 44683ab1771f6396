#include "imaging/view/qt_drag_drop.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <QWindow>
#include <memory>

namespace pg {

void TPGDragDrop::SetMode(TDragMode mode) {
  mode_ = mode;
  armed_ = false;
}

bool TPGDragDrop::Press(Qt::MouseButton button, QPoint pos) {
  if (mode_ != dmAutomatic || button != Qt::LeftButton) return false;
  armed_ = true;
  tried_ = false;
  pressPos_ = pos;
  return true;
}

bool TPGDragDrop::Move(QWidget* widget, QPoint pos, Qt::MouseButtons buttons,
                       const TPGStartDragEvent& onStart, const TPGEndDragEvent& onEnd) {
  if (!(buttons & Qt::LeftButton)) armed_ = false;
  if (!armed_) return false;
  if (tried_ || (pos - pressPos_).manhattanLength() < QApplication::startDragDistance()) return true;
  tried_ = true;
  auto data = std::make_unique<QMimeData>();
  bool cancel = false;
  if (onStart) onStart(sender_, *data, cancel);
  if (cancel) return true;

  // The platform draws its own copy, move and link cursors; the drag cursor picks the action
  // that shows it, and any other shape replaces them when the platform has a picture for it.
  Qt::DropAction action = Qt::CopyAction;
  QPixmap cursorPixmap;
  switch (cursor_) {
    case Qt::DragCopyCursor:
      break;
    case Qt::DragMoveCursor:
      action = Qt::MoveAction;
      break;
    case Qt::DragLinkCursor:
      action = Qt::LinkAction;
      break;
    default:
      cursorPixmap = QCursor(cursor_).pixmap();
      break;
  }
  auto* drag = new QDrag(widget);  // Qt disposes of it when the drag is over
  drag->setMimeData(data.release());
  if (!cursorPixmap.isNull()) {
    for (Qt::DropAction a : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction})
      drag->setDragCursor(cursorPixmap, a);
  }
  const QPointer<QWidget> guard(widget);
  const TPGEndDragEvent endHandler = onEnd;  // the view may be gone when the drag returns
  const void* sender = sender_;
  const Qt::DropAction result = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, action);
  if (!guard) return true;
  if (endHandler) {
    const QPoint end = guard->mapFromGlobal(QCursor::pos());
    endHandler(sender, result != Qt::IgnoreAction, end.x(), end.y());
  }
  return true;
}

bool TPGDragDrop::Release(Qt::MouseButton button, bool& click) {
  click = false;
  if (button != Qt::LeftButton || !armed_) return false;
  armed_ = false;
  click = !tried_;
  return true;
}

void TPGDragDrop::Event(QEvent* event, const TPGDragOverEvent& onOver, const TPGDragDropEvent& onDrop) {
  switch (event->type()) {
    case QEvent::DragEnter:
      Over(static_cast<QDropEvent*>(event), dsDragEnter, onOver);
      break;
    case QEvent::DragMove:
      Over(static_cast<QDropEvent*>(event), dsDragMove, onOver);
      break;
    case QEvent::DragLeave:
      Leave(event, onOver);
      break;
    case QEvent::Drop:
      Drop(static_cast<QDropEvent*>(event), onDrop);
      break;
    default:
      break;
  }
}

void TPGDragDrop::Over(QDropEvent* event, TDragState state, const TPGDragOverEvent& onOver) {
  if (!onOver) {
    event->ignore();  // passes on to the parents
    return;
  }
  const QPoint p = event->position().toPoint();
  lastOverPos_ = p;
  bool accept = false;
  onOver(sender_, event->mimeData(), p.x(), p.y(), state, accept);
  if (accept) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TPGDragDrop::Leave(QEvent* event, const TPGDragOverEvent& onOver) {
  event->accept();
  if (!onOver) return;
  bool accept = false;
  onOver(sender_, nullptr, lastOverPos_.x(), lastOverPos_.y(), dsDragLeave, accept);
}

void TPGDragDrop::Drop(QDropEvent* event, const TPGDragDropEvent& onDrop) {
  if (!onDrop) {
    event->ignore();
    return;
  }
  const QPoint p = event->position().toPoint();
  event->acceptProposedAction();
  onDrop(sender_, event->mimeData(), p.x(), p.y());
}

TPGDropWatch::~TPGDropWatch() {
  if (window_) window_->removeEventFilter(this);
}

void TPGDropWatch::Watch(QWindow* window) {
  if (window == window_) return;
  if (window_) window_->removeEventFilter(this);
  window_ = window;
  if (window) window->installEventFilter(this);
}

bool TPGDropWatch::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) &&
      update_)
    update_();
  return QObject::eventFilter(watched, event);
}

}  // namespace pg
