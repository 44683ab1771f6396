// The main window's zoom of the source page: the View menu and its tool bar buttons, Ctrl+wheel
// around the pointer, fitting a picture to the view, and snapping, which follows the zoom's reach.
#include <QAction>
#include <QActionGroup>
#include <QBoxLayout>
#include <QEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>

#include "imaging/view/qt_pg_image.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/ruler.h"
#include "workspace/ui/tool_icons.h"

namespace tessel {

namespace {

// One notch of a mouse wheel.
constexpr int kWheelStep = 120;

}  // namespace

void TMainWindow::BuildViewMenu() {
  viewMenu_ = menuBar()->addMenu("&View");
  viewMenu_->setObjectName("ViewMenu");
  struct ZoomEntry {
    const char* caption;
    const char* name;
    QList<QKeySequence> keys;
    TToolIcon icon;
    void (TMainWindow::*command)();
  };
  const ZoomEntry entries[] = {
      {"Zoom &In",
       "ZoomIn",
       {QKeySequence("Ctrl+="), QKeySequence("Ctrl++")},
       TToolIcon::ZoomIn,
       &TMainWindow::ZoomIn},
      {"Zoom &Out", "ZoomOut", {QKeySequence("Ctrl+-")}, TToolIcon::ZoomOut, &TMainWindow::ZoomOut},
      {"&Fit", "ZoomFit", {QKeySequence("Ctrl+0")}, TToolIcon::ZoomFit, &TMainWindow::ZoomToFit},
      {"&Actual Size",
       "ActualSize",
       {QKeySequence("Ctrl+1")},
       TToolIcon::ActualSize,
       &TMainWindow::ActualSize},
  };
  for (const ZoomEntry& entry : entries) {
    QAction* action = AddAction(viewMenu_, entry.caption, entry.name);
    action->setShortcuts(entry.keys);
    action->setIcon(ToolIcon(entry.icon));
    action->setToolTip(QString(entry.caption).remove('&') + " (" +
                       entry.keys.first().toString(QKeySequence::NativeText) + ")");
    connect(action, &QAction::triggered, this, entry.command);
  }
  viewMenu_->addSeparator();
  QAction* snap = AddAction(viewMenu_, "&Snap to Lines and Edges", "Snap");
  snap->setCheckable(true);
  snap->setChecked(editor_.Snapping());
  snap->setIcon(ToolIcon(TToolIcon::Snap));
  snap->setToolTip("Snap dragged lines to other lines, the picture's edges and the snap step");
  connect(snap, &QAction::toggled, this, [this](bool on) { SetSnapping(on); });
  connect(AddAction(viewMenu_, "Snap S&tep...", "SnapStep"), &QAction::triggered, this, [this] {
    bool ok = false;
    const int step = QInputDialog::getInt(
        this, "Snap Step", "Also snap to every multiple of (picture pixels, 0 for none):", editor_.SnapStep(),
        0, 1000000, 1, &ok);
    if (ok) SetSnapStep(step);
  });
}

void TMainWindow::BuildZoomButtons(QWidget* toolBar) {
  auto* layout = static_cast<QBoxLayout*>(toolBar->layout());
  int at = layout->indexOf(toolButtons_[4]) + 1;
  layout->insertSpacing(at++, 10);
  for (const char* name : {"ZoomOut", "ZoomIn", "ZoomFit", "ActualSize", "", "Snap"}) {
    if (*name == '\0') {
      layout->insertSpacing(at++, 10);
      continue;
    }
    auto* button = new QToolButton(toolBar);
    button->setObjectName(QString(name) + "Button");
    button->setDefaultAction(findChild<QAction*>(name));
    button->setIconSize(QSize(20, 20));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(31, 31);
    layout->insertWidget(at++, button);
  }
}

long double TMainWindow::Zoom() const {
  return view_->ZoomFactor();
}

TAxisScale TMainWindow::ScaleX() const {
  return {view_->PixelGraphicWidth(), view_->PicBoxRect().Width()};
}

TAxisScale TMainWindow::ScaleY() const {
  return {view_->PixelGraphicHeight(), view_->PicBoxRect().Height()};
}

QString TMainWindow::ZoomText() const {
  return zoomLabel_->text();
}

void TMainWindow::SetZoom(long double zoom, std::optional<QPoint> anchor) {
  zoom = ClampZoom(zoom);
  fitting_ = false;
  const QPoint at = anchor.value_or(QPoint(view_->ClientWidth() / 2, view_->ClientHeight() / 2));
  // The point under the anchor, as a share of the picture's displayed size.
  const pg::TPGRect before = view_->PicBoxRect();
  const long double shareX =
      before.Width() > 0 ? static_cast<long double>(at.x() - before.Left) / before.Width() : 0;
  const long double shareY =
      before.Height() > 0 ? static_cast<long double>(at.y() - before.Top) / before.Height() : 0;
  // Reduced pictures are resampled for a faithful view; enlarged ones show their pixels as
  // squares, which is what lines are placed by (and costs no display copy of the enlarged size).
  const pg::TStretchMode mode = zoom < 1.0L ? pg::smPrecise : pg::smFast;
  if (view_->StretchMode() != mode) view_->SetStretchMode(mode);
  view_->SetZoomFactor(zoom);
  const pg::TPGRect after = view_->PicBoxRect();
  const auto left = static_cast<int32_t>(std::llround(at.x() - shareX * after.Width()));
  const auto top = static_cast<int32_t>(std::llround(at.y() - shareY * after.Height()));
  view_->SetHorzScrollPos(view_->HorzScrollPos() + (after.Left - left));
  view_->SetVertScrollPos(view_->VertScrollPos() + (after.Top - top));
  ScaleChanged();
  RedrawGrid();
}

void TMainWindow::ZoomIn() {
  if (HasImage()) SetZoom(ZoomInStep(Zoom()));
}

void TMainWindow::ZoomOut() {
  if (HasImage()) SetZoom(ZoomOutStep(Zoom()));
}

void TMainWindow::ActualSize() {
  if (HasImage()) SetZoom(1.0L);
}

void TMainWindow::ZoomToFit() {
  if (!HasImage()) return;
  const int32_t frame = 2 * view_->FrameWidth();
  SetZoom(FitZoom(ImageWidth(), ImageHeight(), view_->width() - frame, view_->height() - frame));
  view_->SetHorzScrollPos(0);
  view_->SetVertScrollPos(0);
  fitting_ = true;
}

void TMainWindow::ScaleChanged() {
  // The pointer reaches as far on the screen at every zoom.
  editor_.SetGrabTolerance(ScaleX().Span(kGrabPixels));
  editor_.SetSnapDistance(ScaleX().Span(kSnapPixels));
  const long double percent = HasImage() ? view_->EffectiveZoom() * 100 : 0;
  zoomLabel_->setText(percent <= 0
                          ? QString()
                          : QString("%1%").arg(static_cast<double>(percent), 0, 'f', percent < 10 ? 1 : 0));
  topRuler_->SetScale(ScaleX());
  leftRuler_->SetScale(ScaleY());
  topRuler_->update();
  leftRuler_->update();
}

bool TMainWindow::ViewWheel(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier) || !HasImage()) return false;
  const QPoint delta = event->angleDelta();
  wheelRemainder_ += delta.y() != 0 ? delta.y() : delta.x();
  // Fine-grained wheels and touch pads send parts of a notch; a step is taken per whole notch.
  long double zoom = Zoom();
  while (wheelRemainder_ >= kWheelStep) {
    zoom = ZoomInStep(zoom);
    wheelRemainder_ -= kWheelStep;
  }
  while (wheelRemainder_ <= -kWheelStep) {
    zoom = ZoomOutStep(zoom);
    wheelRemainder_ += kWheelStep;
  }
  if (zoom != Zoom()) SetZoom(zoom, event->position().toPoint());
  event->accept();
  return true;
}

void TMainWindow::SetSnapping(bool on) {
  editor_.SetSnapping(on);
  if (QAction* action = findChild<QAction*>("Snap"); action && action->isChecked() != on)
    action->setChecked(on);
}

void TMainWindow::SetSnapStep(int32_t pixels) {
  editor_.SetSnapStep(pixels);
}

}  // namespace tessel
