// The magnifier at the right end of the tool bar: the screen around the mouse pointer at twice its
// size, refreshed every 100 ms while it is visible.
#pragma once

#include <QPixmap>
#include <QWidget>

class QTimer;

namespace tessel {

class TMagnifier : public QWidget {
  Q_OBJECT
 public:
  explicit TMagnifier(QWidget* parent = nullptr);

  double Zoom() const { return 2.0; }
  int Interval() const;
  bool Active() const { return active_; }
  void SetActive(bool active);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Refresh();

  QTimer* timer_;
  QPixmap shot_;
  bool active_ = true;
};

}  // namespace tessel
