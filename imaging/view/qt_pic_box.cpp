#include "imaging/view/qt_pic_box.h"

#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>

#include "imaging/view/qt_pg_image.h"

namespace pg {

TPicBox::TPicBox(TPGImage* owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setMouseTracking(true);
  setAutoFillBackground(false);  // the view paints the picture underneath
}

void TPicBox::paintEvent(QPaintEvent* event) {
  owner_->PicBoxPaint(event);
}
void TPicBox::mousePressEvent(QMouseEvent* event) {
  owner_->PicBoxMousePress(event);
}
void TPicBox::mouseMoveEvent(QMouseEvent* event) {
  owner_->PicBoxMouseMove(event);
}
void TPicBox::mouseReleaseEvent(QMouseEvent* event) {
  owner_->PicBoxMouseRelease(event);
}
void TPicBox::mouseDoubleClickEvent(QMouseEvent* event) {
  owner_->PicBoxMouseDoubleClick(event);
}

void TPicBox::dragEnterEvent(QDragEnterEvent* event) {
  owner_->PicBoxDragEvent(event);
}
void TPicBox::dragMoveEvent(QDragMoveEvent* event) {
  owner_->PicBoxDragEvent(event);
}
void TPicBox::dragLeaveEvent(QDragLeaveEvent* event) {
  owner_->PicBoxDragEvent(event);
}
void TPicBox::dropEvent(QDropEvent* event) {
  owner_->PicBoxDragEvent(event);
}

void TPicBox::contextMenuEvent(QContextMenuEvent* event) {
  if (QMenu* menu = owner_->PicBoxPopupMenu()) {
    menu->popup(event->globalPos());
    event->accept();
  } else {
    QWidget::contextMenuEvent(event);
  }
}

}  // namespace pg
