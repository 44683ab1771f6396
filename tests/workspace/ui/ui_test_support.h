// Helpers of the window tests: test images on disk, answering modal dialogs from a timer, and
// mouse events sent straight to a widget.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"

namespace tessel::test {

// A 24-bit picture whose pixels all differ from their neighbours: (x * 7 + y, y * 5 + x, x ^ y).
inline std::unique_ptr<pg::TPixelGraphic> MakePicture(int32_t width, int32_t height) {
  auto graphic = std::make_unique<pg::TPixelGraphic>();
  graphic->NewImage(width, height, pg::bc24Bit);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = graphic->ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x + 0] = static_cast<uint8_t>(x ^ y);          // blue
      row[3 * x + 1] = static_cast<uint8_t>(y * 5 + x);      // green
      row[3 * x + 2] = static_cast<uint8_t>(x * 7 + y + 1);  // red
    }
  }
  return graphic;
}

// Writes MakePicture(width, height) to `path` (the writer follows the extension).
inline void WritePicture(const std::string& path, int32_t width, int32_t height) {
  MakePicture(width, height)->SaveToFile(path);
}

// Runs `answer` on the next modal dialog that opens (polling every 10 ms, for up to 5 s). The
// answer must close it.
inline void AnswerNextModal(const std::function<void(QWidget*)>& answer) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, answer, tries] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      answer(modal);
    } else if (++*tries > 500) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

// A chain of answers, one per modal dialog in turn.
inline void AnswerModals(std::vector<std::function<void(QWidget*)>> answers) {
  if (answers.empty()) return;
  auto first = answers.front();
  answers.erase(answers.begin());
  AnswerNextModal([first, answers](QWidget* modal) {
    AnswerModals(answers);
    first(modal);
  });
}

inline void SendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
                      QPoint at) {
  QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

inline void Press(QWidget* w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonPress, b, b, at);
}
inline void Move(QWidget* w, QPoint at, Qt::MouseButtons held = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseMove, Qt::NoButton, held, at);
}
inline void Release(QWidget* w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
  SendMouse(w, QEvent::MouseButtonRelease, b, Qt::NoButton, at);
}

// The picture box of a view: the widget that receives the mouse over the picture.
inline QWidget* PicBoxWidget(pg::TPGImage* view) {
  const pg::TPGRect box = view->PicBoxRect();
  QWidget* child = view->viewport()->childAt(box.Left + 1, box.Top + 1);
  return child ? child : view->viewport();
}

}  // namespace tessel::test
