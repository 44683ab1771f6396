#include "workspace/ui/magnifier.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace tessel {

TMagnifier::TMagnifier(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
  setObjectName("Magnifier");
  setFixedSize(100, 31);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &TMagnifier::Refresh);
}

int TMagnifier::Interval() const {
  return timer_->interval();
}

void TMagnifier::SetActive(bool active) {
  active_ = active;
  if (active_ && isVisible()) {
    timer_->start();
  } else {
    timer_->stop();
  }
}

void TMagnifier::showEvent(QShowEvent*) {
  if (active_) timer_->start();
}

void TMagnifier::hideEvent(QHideEvent*) {
  timer_->stop();
}

void TMagnifier::Refresh() {
  const QPoint at = QCursor::pos();
  QScreen* screen = QGuiApplication::screenAt(at);
  if (!screen) return;
  // The area that fills the magnifier at zoom 2, centred on the pointer.
  const int w = (width() + 1) / 2;
  const int h = (height() + 1) / 2;
  const QPoint local = at - screen->geometry().topLeft();
  const QPixmap shot = screen->grabWindow(0, local.x() - w / 2, local.y() - h / 2, w, h);
  if (shot.isNull()) return;
  shot_ = shot;
  update();
}

void TMagnifier::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  if (!shot_.isNull()) painter.drawPixmap(QRect(0, 0, shot_.width() * 2, shot_.height() * 2), shot_);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace tessel
