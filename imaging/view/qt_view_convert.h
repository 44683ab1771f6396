// Conversions between the view's own types (colours, rectangles, cursors, mouse buttons and
// shift states) and Qt's, shared by the view's Qt files.
#pragma once

#include <QColor>
#include <QMouseEvent>
#include <QRect>

#include "imaging/image/types.h"
#include "imaging/view/view_types.h"

namespace pg {

inline QColor ToQColor(TColor c) {
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

inline TColor FromQColor(const QColor& c) {
  return RGBColor(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()),
                  static_cast<uint8_t>(c.blue()));
}

inline QRect ToQRect(const TPGRect& r) {
  return QRect(r.Left, r.Top, r.Width(), r.Height());
}

inline TPGRect FromQRect(const QRect& r) {
  return TPGRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

inline Qt::CursorShape ToCursorShape(TPGCursor c) {
  switch (c) {
    case crDefault:
    case crArrow:
      return Qt::ArrowCursor;
    case crHourGlass:
      return Qt::WaitCursor;
    case crHandOpen:
      return Qt::OpenHandCursor;
    case crHandClosed:
      return Qt::ClosedHandCursor;
    case crSelCross:
    case crCross:
      return Qt::CrossCursor;
    case crMoveArrow:
      return Qt::SizeAllCursor;
    case crSizeNWSE:
      return Qt::SizeFDiagCursor;
    case crSizeNESW:
      return Qt::SizeBDiagCursor;
    case crSizeNS:
      return Qt::SizeVerCursor;
    case crSizeWE:
      return Qt::SizeHorCursor;
  }
  return Qt::ArrowCursor;
}

inline TMouseButton ToButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::RightButton:
      return mbRight;
    case Qt::MiddleButton:
      return mbMiddle;
    default:
      return mbLeft;
  }
}

inline TShiftState ToShift(const QMouseEvent* e, bool dbl = false) {
  TShiftState s = 0;
  const Qt::KeyboardModifiers m = e->modifiers();
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::AltModifier) s |= ssAlt;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  const Qt::MouseButtons b = e->buttons();
  if (b & Qt::LeftButton) s |= ssLeft;
  if (b & Qt::RightButton) s |= ssRight;
  if (b & Qt::MiddleButton) s |= ssMiddle;
  if (dbl) s |= ssDouble;
  return s;
}

inline bool IsMouseButton(Qt::MouseButton b) {
  return b == Qt::LeftButton || b == Qt::RightButton || b == Qt::MiddleButton;
}

}  // namespace pg
