#include "imaging/view/qt_view_host.h"

#include <QGuiApplication>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "imaging/view/qt_pg_image.h"
#include "imaging/view/qt_pic_box.h"
#include "imaging/view/qt_view_convert.h"

namespace pg {

int32_t TPGImageHost::ViewWidth() const {
  return view_.width();
}
int32_t TPGImageHost::ViewHeight() const {
  return view_.height();
}
int32_t TPGImageHost::FrameWidth() const {
  return view_.frameWidth();
}
int32_t TPGImageHost::HorzBarHeight() const {
  return view_.horizontalScrollBar()->sizeHint().height();
}
int32_t TPGImageHost::VertBarWidth() const {
  return view_.verticalScrollBar()->sizeHint().width();
}

TScrollInfo TPGImageHost::ScrollInfo() const {
  TScrollInfo s = scroll_;
  s.HorzPos = view_.horizontalScrollBar()->value();
  s.VertPos = view_.verticalScrollBar()->value();
  return s;
}

void TPGImageHost::SetScrollPos(int32_t horz, int32_t vert) {
  view_.horizontalScrollBar()->setValue(horz);
  view_.verticalScrollBar()->setValue(vert);
}

void TPGImageHost::ApplyLayout(const TPGRect& picBox, const TScrollInfo& s) {
  scroll_ = s;
  view_.arranging_ = true;
  QScrollBar* h = view_.horizontalScrollBar();
  QScrollBar* v = view_.verticalScrollBar();
  h->setValue(0);
  v->setValue(0);
  view_.setHorizontalScrollBarPolicy(s.HorzVisible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  view_.setVerticalScrollBarPolicy(s.VertVisible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  h->setRange(0, std::max(s.HorzRange - s.ClientWidth, 0));
  v->setRange(0, std::max(s.VertRange - s.ClientHeight, 0));
  h->setPageStep(std::max(s.ClientWidth, 1));
  v->setPageStep(std::max(s.ClientHeight, 1));
  h->setSingleStep(16);
  v->setSingleStep(16);
  h->setValue(s.HorzPos);
  v->setValue(s.VertPos);
  view_.picBox_->setGeometry(picBox.Left - h->value(), picBox.Top - v->value(), picBox.Width(),
                             picBox.Height());
  view_.arranging_ = false;
}

void TPGImageHost::InvalidateRect(const TPGRect& r) {
  if (r.IsEmpty()) return;
  pending_ += ToQRect(r);
  view_.viewport()->update(ToQRect(r));
}

void TPGImageHost::InvalidateView() {
  view_.Invalidate();
}

void TPGImageHost::MarkAllPending() {
  pending_ = QRegion(view_.viewport()->rect());
}

void TPGImageHost::InvalidatePicBox() {
  view_.picBox_->update();
}

void TPGImageHost::RepaintNow() {
  // Qt paints through its backing store; an immediate repaint is only allowed outside a paint.
  // Only what was invalidated since the last immediate repaint, or everything.
  const QRegion region = pending_.isEmpty() ? QRegion(view_.viewport()->rect()) : pending_;
  pending_ = QRegion();
  if (!view_.painting_ && view_.isVisible()) {
    view_.viewport()->repaint(region);
  } else {
    view_.viewport()->update(region);
  }
}

void TPGImageHost::CaptureMouse() {
  view_.mouseCaptured_ = true;  // Qt grabs on press already
}
void TPGImageHost::ReleaseMouse() {
  view_.mouseCaptured_ = false;
}

void TPGImageHost::StartAutoScrollTimer() {
  StopAutoScrollTimer();
  view_.autoScrollTimer_ = new QTimer(&view_);
  QObject::connect(view_.autoScrollTimer_, &QTimer::timeout, &view_, [this] { view_.AutoScrollTick(); });
  view_.autoScrollTimer_->start(50);
}

void TPGImageHost::StopAutoScrollTimer() {
  delete view_.autoScrollTimer_;
  view_.autoScrollTimer_ = nullptr;
}

void TPGImageHost::StartFrameTimer() {
  StopFrameTimer();
  view_.frameTimer_ = new QTimer(&view_);
  QObject::connect(view_.frameTimer_, &QTimer::timeout, &view_, [this] { view_.FrameTick(); });
  view_.frameTimer_->start(50);
}

void TPGImageHost::StopFrameTimer() {
  delete view_.frameTimer_;
  view_.frameTimer_ = nullptr;
}

bool TPGImageHost::GlobalCursorSet() const {
  return QGuiApplication::overrideCursor() != nullptr;
}

void TPGImageHost::SetDragCursor(TPGCursor cursor) {
  if (view_.PicBoxOnSetCursor) view_.PicBoxOnSetCursor(&view_, cursor);
  view_.picBox_->setCursor(ToCursorShape(cursor));
}

}  // namespace pg
