#include "workspace/ui/ruler.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>

namespace tessel {

TRuler::TRuler(TRulerKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  setObjectName(kind == TRulerKind::Top ? "TopRuler" : "LeftRuler");
  QFont font("Arial");
  font.setPixelSize(9);
  setFont(font);
  setMouseTracking(true);
  if (kind == TRulerKind::Top) {
    setFixedHeight(kRulerThickness);
  } else {
    setFixedWidth(kRulerThickness);
  }
}

TRulerLayout TRuler::Layout() const {
  return LayoutRuler(kind_, kind_ == TRulerKind::Top ? width() : height(), scrollPosition_, splits_, scale_);
}

void TRuler::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  if (kind_ == TRulerKind::Top) {
    painter.fillRect(0, 0, kRulerThickness, kRulerThickness, palette().color(QPalette::Button));
  }
  const TRulerLayout layout = Layout();
  painter.setPen(QPen(Qt::black, 1));
  for (const TRulerLine& line : layout.Ticks) painter.drawLine(line.X1, line.Y1, line.X2, line.Y2);
  const int ascent = painter.fontMetrics().ascent();
  for (const TRulerLabel& label : layout.Labels) {
    painter.drawText(label.X, label.Y + ascent, QString::fromStdString(label.Text));
  }
  painter.setPen(QPen(Qt::red, 1));
  for (const TRulerLine& line : layout.Marks) painter.drawLine(line.X1, line.Y1, line.X2, line.Y2);
}

void TRuler::mousePressEvent(QMouseEvent* event) {
  if (OnPress) OnPress(event->button(), event->position().toPoint());
}

void TRuler::mouseReleaseEvent(QMouseEvent* event) {
  if (OnRelease) OnRelease(event->button(), event->position().toPoint());
}

void TRuler::mouseMoveEvent(QMouseEvent* event) {
  if (OnMove) OnMove(event->position().toPoint());
}

}  // namespace tessel
