// TPicBox: the view's picture box, a plain child widget that the view sizes and places. It
// paints only the selection frame and what its owner adds, and hands its mouse events to the view.
#pragma once

#include <QWidget>

namespace pg {

class TPGImage;

class TPicBox : public QWidget {
 public:
  TPicBox(TPGImage* owner, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  // Drags over the picture box go to the view (which asks PicBoxOnDragOver/PicBoxOnDragDrop).
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TPGImage* owner_;
};

}  // namespace pg
