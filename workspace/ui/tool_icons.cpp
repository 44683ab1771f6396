#include "workspace/ui/tool_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tessel {

namespace {

constexpr int kSize = 20;  // logical pixels
constexpr int kScale = 2;  // drawn at twice the size, for sharp pictures on dense screens

void DrawMagnifier(QPainter& p, int sign) {
  p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  p.drawLine(QPointF(12, 12), QPointF(17.5, 17.5));
  if (sign == 0) return;
  p.drawLine(QPointF(5.5, 8), QPointF(10.5, 8));
  if (sign > 0) p.drawLine(QPointF(8, 5.5), QPointF(8, 10.5));
}

// A dashed split line in two tones, as lines are drawn over the picture.
void DrawSplit(QPainter& p, QPointF from, QPointF to) {
  p.save();
  p.setPen(QPen(Qt::black, 1.6));
  p.drawLine(from, to);
  QPen dash(QColor(0, 120, 215), 1.6);
  dash.setDashPattern({1.5, 1.5});
  p.setPen(dash);
  p.drawLine(from, to);
  p.restore();
}

QPixmap Draw(TToolIcon kind, const QColor& ink) {
  QPixmap pixmap(kSize * kScale, kSize * kScale);
  pixmap.setDevicePixelRatio(kScale);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const QRectF frame(3.5, 3.5, 13, 13);
  switch (kind) {
    case TToolIcon::VerticalLine:
      p.drawRect(frame);
      DrawSplit(p, {10, 1.5}, {10, 18.5});
      break;
    case TToolIcon::HorizontalLine:
      p.drawRect(frame);
      DrawSplit(p, {1.5, 10}, {18.5, 10});
      break;
    case TToolIcon::Rectangle:
      p.drawRect(frame);
      DrawSplit(p, {7, 1.5}, {7, 18.5});
      DrawSplit(p, {13, 1.5}, {13, 18.5});
      DrawSplit(p, {1.5, 7}, {18.5, 7});
      DrawSplit(p, {1.5, 13}, {18.5, 13});
      break;
    case TToolIcon::Cross:
      p.drawRect(frame);
      DrawSplit(p, {10, 1.5}, {10, 18.5});
      DrawSplit(p, {1.5, 10}, {18.5, 10});
      break;
    case TToolIcon::Select: {
      // A pointer over a cell that stands out.
      p.drawRect(frame);
      p.fillRect(QRectF(4.5, 4.5, 6, 6), QColor(0, 120, 215, 110));
      QPainterPath arrow;
      arrow.moveTo(9, 8);
      arrow.lineTo(9, 18.5);
      arrow.lineTo(11.6, 16);
      arrow.lineTo(13.6, 19.5);
      arrow.lineTo(15.4, 18.6);
      arrow.lineTo(13.4, 15);
      arrow.lineTo(17, 15);
      arrow.closeSubpath();
      p.setBrush(Qt::white);
      p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPath(arrow);
      break;
    }
    case TToolIcon::ZoomIn:
      DrawMagnifier(p, 1);
      break;
    case TToolIcon::ZoomOut:
      DrawMagnifier(p, -1);
      break;
    case TToolIcon::ZoomFit: {
      p.drawRect(QRectF(6.5, 6.5, 7, 7));
      // Four corners pointing outwards: the picture fills the window.
      QPainterPath corners;
      for (const QPointF& c : {QPointF(2, 2), QPointF(18, 2), QPointF(2, 18), QPointF(18, 18)}) {
        const qreal dx = c.x() < 10 ? 4 : -4;
        const qreal dy = c.y() < 10 ? 4 : -4;
        corners.moveTo(c.x() + dx, c.y());
        corners.lineTo(c);
        corners.lineTo(c.x(), c.y() + dy);
      }
      p.drawPath(corners);
      break;
    }
    case TToolIcon::ActualSize: {
      QFont font = p.font();
      font.setPixelSize(9);
      font.setBold(true);
      p.setFont(font);
      p.drawRect(QRectF(1.5, 3.5, 17, 13));
      p.drawText(QRectF(1.5, 3.5, 17, 13), Qt::AlignCenter, "1:1");
      break;
    }
    case TToolIcon::Snap: {
      // A magnet.
      QPainterPath magnet;
      magnet.moveTo(4, 3);
      magnet.lineTo(4, 10);
      magnet.arcTo(QRectF(4, 4, 12, 12), 180, 180);
      magnet.lineTo(16, 3);
      p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::FlatCap));
      p.drawPath(magnet);
      p.setPen(QPen(QColor(200, 40, 40), 3, Qt::SolidLine, Qt::FlatCap));
      p.drawLine(QPointF(4, 3), QPointF(4, 6));
      p.drawLine(QPointF(16, 3), QPointF(16, 6));
      break;
    }
  }
  return pixmap;
}

}  // namespace

QIcon ToolIcon(TToolIcon kind) {
  QIcon icon;
  icon.addPixmap(Draw(kind, QColor(40, 40, 40)), QIcon::Normal);
  icon.addPixmap(Draw(kind, QColor(150, 150, 150)), QIcon::Disabled);
  return icon;
}

}  // namespace tessel
