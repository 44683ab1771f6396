// One of the two rulers of the source page: white, with ticks every 5 pixels, a label every 50 and
// a red mark for every split but the first entry of its list.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "workspace/ui/ruler_geometry.h"

namespace tessel {

class TRuler : public QWidget {
  Q_OBJECT
 public:
  TRuler(TRulerKind kind, QWidget* parent = nullptr);

  TRulerKind Kind() const { return kind_; }
  // What to show: the split list in its current order, the picture's scroll position (screen
  // pixels) and its scale along the ruler.
  void SetSplits(const std::vector<int32_t>& splits) { splits_ = splits; }
  void SetScrollPosition(int32_t position) { scrollPosition_ = position; }
  int32_t ScrollPosition() const { return scrollPosition_; }
  void SetScale(const TAxisScale& scale) { scale_ = scale; }
  const TAxisScale& Scale() const { return scale_; }
  // The layout as painted at the ruler's present size.
  TRulerLayout Layout() const;

  // Mouse events, in ruler pixels.
  std::function<void(Qt::MouseButton button, QPoint at)> OnPress;
  std::function<void(Qt::MouseButton button, QPoint at)> OnRelease;
  std::function<void(QPoint at)> OnMove;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  TRulerKind kind_;
  std::vector<int32_t> splits_;
  int32_t scrollPosition_ = 0;
  TAxisScale scale_;
};

}  // namespace tessel
