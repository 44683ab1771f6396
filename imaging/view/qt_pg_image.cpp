#include "imaging/view/qt_pg_image.h"

#include <QApplication>
#include <QCursor>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <cmath>
#include <exception>
#include <filesystem>

#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/messages.h"
#include "imaging/view/qt_display_copy.h"
#include "imaging/view/qt_pg_draw.h"
#include "imaging/view/qt_pic_box.h"
#include "imaging/view/qt_view_convert.h"
#include "imaging/view/qt_view_host.h"
#include "imaging/view/view_core.h"

namespace pg {

// ---- Creation and destruction ------------------------------------------------------------------

TPGImage::TPGImage(QWidget* parent) : QAbstractScrollArea(parent) {
  host_ = std::make_unique<TPGImageHost>(*this);
  core_ = std::make_unique<TPGImageCore>(*host_, this);
  display_ = std::make_unique<TPGDisplayCopy>();
  connect(display_.get(), &TPGDisplayCopy::Progress, this, [this] { DisplayCopyProgress(); });
  connect(display_.get(), &TPGDisplayCopy::Finished, this, [this](bool ok) { DisplayCopyFinished(ok); });
  core_->OnZoomFactorChange = [this](const void*) {
    if (OnZoomFactorChange) OnZoomFactorChange(this);
  };
  core_->OnSelectionChange = [this](const void*) {
    if (OnSelectionChange) OnSelectionChange(this);
  };
  core_->OnSelectionMade = [this](const void*) {
    if (OnSelectionMade) OnSelectionMade(this);
  };

  const QPalette pal = palette();
  color_ = FromQColor(pal.color(QPalette::Button));
  picBoxColor_ = color_;
  picBoxParentColor_ = true;
  picBoxFrameColor_ = FromQColor(pal.color(QPalette::Dark));
  progressClockBkColor_ = FromQColor(pal.color(QPalette::Button));
  progressClockLineColor_ = FromQColor(pal.color(QPalette::Dark));

  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole exposed area

  picBox_ = new TPicBox(this, viewport());
  picBox_->setGeometry(0, 0, 0, 0);
  resize(100, 100);
}

TPGImage::~TPGImage() {
  StopPaintWorker();
  if (graphic_) DisconnectGraphic(*graphic_);  // a reader may keep it beyond the view
  delete picBox_;                              // before the core it reports to
  picBox_ = nullptr;
  delete frameTimer_;
  frameTimer_ = nullptr;
  delete autoScrollTimer_;
  autoScrollTimer_ = nullptr;
}

// ---- Picture --------------------------------------------------------------------------------------

void TPGImage::ConnectGraphic(TPixelGraphic& graphic) {
  graphic.OnProgressStart = [this](const void* sender) {
    if (OnPixelGraphicProgressStart) OnPixelGraphicProgressStart(sender);
  };
  graphic.OnProgress = [this](const void* sender, int32_t step, int32_t max, bool& abort) {
    if (OnPixelGraphicProgress) OnPixelGraphicProgress(sender, step, max, abort);
  };
  graphic.OnProgressEnd = [this](const void* sender) {
    if (OnPixelGraphicProgressEnd) OnPixelGraphicProgressEnd(sender);
  };
  graphic.OnChange = [this](const void*) { PixelGraphicChanged(); };
}

void TPGImage::DisconnectGraphic(TPixelGraphic& graphic) {
  graphic.OnProgressStart = nullptr;
  graphic.OnProgress = nullptr;
  graphic.OnProgressEnd = nullptr;
  graphic.OnChange = nullptr;
}

// Frees the shown image after the worker has stopped; the display copy survives only when it is
// to stay on screen until its successor is ready.
void TPGImage::ReplaceGraphic(std::shared_ptr<TPixelGraphic> graphic) {
  display_->Discard(displaySettings_.KeepOld && displaySettings_.UseThread);
  if (graphic_) DisconnectGraphic(*graphic_);
  graphic_.reset();
  graphicRows_.Reset();
  if (graphic) ConnectGraphic(*graphic);
  graphic_ = std::move(graphic);
}

void TPGImage::LoadFromFile(const std::string& fileName) {
  fileName_.clear();
  const bool hourGlass = showHourGlass_;
  if (hourGlass) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  ReplaceGraphic(nullptr);
  std::exception_ptr error;
  try {
    if (!std::filesystem::path(fileName).filename().empty()) {
      auto graphic = std::make_unique<TPixelGraphic>();
      graphic->SetReadWarningAction(readWarningAction_);
      graphic->SetBackgroundColor(backGroundColor_);
      ConnectGraphic(*graphic);
      auto onChange = std::move(graphic->OnChange);  // not connected while loading
      graphic->OnChange = nullptr;
      graphic->LoadFromFile(fileName, 0);
      graphic->OnChange = std::move(onChange);
      graphic_ = std::move(graphic);
      fileName_ = fileName;
    }
  } catch (...) {
    error = std::current_exception();
  }
  if (hourGlass) QGuiApplication::restoreOverrideCursor();
  PixelGraphicChanged();
  if (error) std::rethrow_exception(error);
}

void TPGImage::SaveToFile(const std::string& fileName) {
  TPixelGraphic* graphic = PixelGraphic();
  if (graphic == nullptr) throw EPGEmpty(MessageText(16, "PixelGraphic"));
  graphic->SetSaveColorResWarningAction(saveColorResWarningAction_);
  graphic->SaveToFile(fileName);
  fileName_ = fileName;
}

TPixelGraphic* TPGImage::PixelGraphic() {
  StopPaintWorker();
  if (graphic_ && graphic_.use_count() > 1) {
    // Someone reads the image (an export on its threads): whatever the caller changes is changed
    // on a copy of the view's own, so the reader's image stays as it was.
    auto own = std::make_shared<TPixelGraphic>();
    own->Assign(graphic_.get());
    DisconnectGraphic(*graphic_);
    ConnectGraphic(*own);
    graphic_ = std::move(own);
    graphicRows_.Reset();
  }
  return graphic_.get();
}

std::shared_ptr<const TPixelGraphic> TPGImage::SharedPixelGraphic() const {
  return graphic_;
}

void TPGImage::SetPixelGraphic(const TPixelGraphic* graphic) {
  std::unique_ptr<TPixelGraphic> copy;
  if (graphic) {
    copy = std::make_unique<TPixelGraphic>();
    copy->Assign(graphic);
  }
  ReplaceGraphic(std::move(copy));
  PixelGraphicChanged();
}

void TPGImage::AdoptPixelGraphic(std::unique_ptr<TPixelGraphic> graphic) {
  ReplaceGraphic(std::move(graphic));
  PixelGraphicChanged();
}

std::shared_ptr<TPixelGraphic> TPGImage::ExchangePixelGraphic(std::shared_ptr<TPixelGraphic> graphic) {
  std::shared_ptr<TPixelGraphic> shown = graphic_;
  ReplaceGraphic(std::move(graphic));
  PixelGraphicChanged();
  return shown;
}

int32_t TPGImage::PixelGraphicWidth() const {
  return core_->PixelGraphicWidth();
}
int32_t TPGImage::PixelGraphicHeight() const {
  return core_->PixelGraphicHeight();
}
const TPixelGraphic* TPGImage::PaintPixelGraphic() const {
  return display_->Copy();
}
bool TPGImage::PaintWorkerBusy() const {
  return display_->Busy();
}

void TPGImage::PixelGraphicChanged() {
  StopPaintWorker();
  core_->SetPixelGraphicSize(graphic_ ? graphic_->Width() : 0, graphic_ ? graphic_->Height() : 0);
  graphicRows_.Reset();
  const TPGPoint size = core_->AutoSizeExtent();
  if (OnNewAutoSize) OnNewAutoSize(this, size.X, size.Y);
  display_->MarkDirty();
  if (!core_->AutoSize() || (size.X == width() && size.Y == height())) {
    core_->Arrange(false);
  } else {
    resize(size.X, size.Y);
    if (!isVisible()) {  // a hidden widget gets its resize event only when shown
      core_->CollapsePicBox();
      core_->Arrange(true);
    }
  }
  if (OnPixelGraphicChange) OnPixelGraphicChange(this);
}

// ---- Geometry ---------------------------------------------------------------------------------------

TPGRect TPGImage::PicBoxRect() const {
  return core_->PicBoxRect();
}
int32_t TPGImage::ClientWidth() const {
  return host_->ScrollInfo().ClientWidth;
}
int32_t TPGImage::ClientHeight() const {
  return host_->ScrollInfo().ClientHeight;
}
int32_t TPGImage::FrameWidth() const {
  return frameWidth();
}
long double TPGImage::EffectiveZoom() const {
  return core_->EffectiveZoom();
}
int32_t TPGImage::HorzScrollPos() const {
  return horizontalScrollBar()->value();
}
int32_t TPGImage::VertScrollPos() const {
  return verticalScrollBar()->value();
}
void TPGImage::SetHorzScrollPos(int32_t pos) {
  horizontalScrollBar()->setValue(pos);
}
void TPGImage::SetVertScrollPos(int32_t pos) {
  verticalScrollBar()->setValue(pos);
}
void TPGImage::Arrange(bool force) {
  core_->Arrange(force);
}
void TPGImage::Invalidate() {
  viewport()->update();
}
void TPGImage::Repaint() {
  host_->RepaintNow();
}

// QAbstractScrollArea lays out its bars on its own resize but hands resizeEvent only the
// viewport's resizes (which Arrange itself causes and viewportEvent keeps away); the view's new
// bounds call for a new layout, so they are passed on here.
bool TPGImage::event(QEvent* event) {
  const bool result = QAbstractScrollArea::event(event);
  if (event->type() == QEvent::Resize && picBox_ != nullptr) resizeEvent(static_cast<QResizeEvent*>(event));
  return result;
}

void TPGImage::resizeEvent(QResizeEvent*) {
  core_->CollapsePicBox();
  core_->Arrange(true);
}

void TPGImage::scrollContentsBy(int, int) {
  if (picBox_ == nullptr) return;
  const TPGRect& box = core_->PicBoxBounds();
  picBox_->move(box.Left - horizontalScrollBar()->value(), box.Top - verticalScrollBar()->value());
  if (!arranging_) {
    host_->MarkAllPending();
    viewport()->update();
  }
}

void TPGImage::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::ScreenChangeInternal) {
    display_->MarkDirty();  // another screen may have another colour depth
    Invalidate();
  }
}

// ---- Coordinates -------------------------------------------------------------------------------

int32_t TPGImage::ImageToPicBoxX(int32_t x) const {
  return core_->ImageToPicBoxX(x);
}
int32_t TPGImage::ImageToPicBoxY(int32_t y) const {
  return core_->ImageToPicBoxY(y);
}
int32_t TPGImage::PicBoxToImageX(int32_t x) const {
  return core_->PicBoxToImageX(x);
}
int32_t TPGImage::PicBoxToImageY(int32_t y) const {
  return core_->PicBoxToImageY(y);
}
TPGPoint TPGImage::PicBoxToImage(TPGPoint p) const {
  return core_->PicBoxToImage(p);
}

// ---- Selection ------------------------------------------------------------------------------------

bool TPGImage::Selection() const {
  return core_->Selection();
}
void TPGImage::SetSelection(bool value) {
  core_->SetSelection(value);
}
int32_t TPGImage::SelectionLeft() const {
  return core_->SelectionLeft();
}
int32_t TPGImage::SelectionTop() const {
  return core_->SelectionTop();
}
int32_t TPGImage::SelectionWidth() const {
  return core_->SelectionWidth();
}
int32_t TPGImage::SelectionHeight() const {
  return core_->SelectionHeight();
}
void TPGImage::SetSelectionLeft(int32_t v) {
  core_->SetSelectionBounds(v, core_->SelectionTop(), core_->SelectionWidth(), core_->SelectionHeight());
}
void TPGImage::SetSelectionTop(int32_t v) {
  core_->SetSelectionBounds(core_->SelectionLeft(), v, core_->SelectionWidth(), core_->SelectionHeight());
}
void TPGImage::SetSelectionWidth(int32_t v) {
  core_->SetSelectionBounds(core_->SelectionLeft(), core_->SelectionTop(), v, core_->SelectionHeight());
}
void TPGImage::SetSelectionHeight(int32_t v) {
  core_->SetSelectionBounds(core_->SelectionLeft(), core_->SelectionTop(), core_->SelectionWidth(), v);
}
TPGRect TPGImage::SelectionRect() const {
  return core_->SelectionRect();
}
TPGRect TPGImage::SelectionPicBoxRect() const {
  return core_->SelectionPicBoxRect();
}
void TPGImage::SetSelectionBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  core_->SetSelectionBounds(left, top, width, height);
}
void TPGImage::SetSelectionRect(const TPGRect& rect) {
  core_->SetSelectionRect(rect);
}
TPGDragKind TPGImage::DragKind() const {
  return core_->DragKind();
}
int32_t TPGImage::AntsPhase() const {
  return core_->AntsPhase();
}

void TPGImage::FrameTick() {
  core_->AdvanceAnts();
  const int32_t margin = core_->ActionMode() == amMoveResizeCreateSelection ? 8 : 1;
  QRegion region;
  for (const TPGRect& strip : SelectionStrips(core_->SelectionPicBoxRect(), margin)) {
    if (!strip.IsEmpty()) region += ToQRect(strip);
  }
  picBox_->update(region);
}

void TPGImage::AutoScrollTick() {
  const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
  core_->AutoScrollTick({p.x(), p.y()});
}

// ---- Properties -------------------------------------------------------------------------------------

TActionMode TPGImage::ActionMode() const {
  return core_->ActionMode();
}
void TPGImage::SetActionMode(TActionMode value) {
  core_->SetActionMode(value);
}

void TPGImage::SetAllow24BitStretch(bool value) {
  if (displaySettings_.Allow24BitStretch == value) return;
  displaySettings_.Allow24BitStretch = value;
  PixelGraphicChanged();
}

bool TPGImage::AutoSize() const {
  return core_->AutoSize();
}
void TPGImage::SetAutoSize(bool value) {
  core_->SetAutoSize(value);
  PixelGraphicChanged();
}
int32_t TPGImage::AutoSizeMaxWidth() const {
  return core_->AutoSizeMaxWidth();
}
int32_t TPGImage::AutoSizeMaxHeight() const {
  return core_->AutoSizeMaxHeight();
}
int32_t TPGImage::AutoSizeMinWidth() const {
  return core_->AutoSizeMinWidth();
}
int32_t TPGImage::AutoSizeMinHeight() const {
  return core_->AutoSizeMinHeight();
}
void TPGImage::SetAutoSizeMaxWidth(int32_t value) {
  if (core_->AutoSizeMaxWidth() == value) return;
  core_->SetAutoSizeMaxWidth(value);
  if (core_->AutoSize()) PixelGraphicChanged();
}
void TPGImage::SetAutoSizeMaxHeight(int32_t value) {
  if (core_->AutoSizeMaxHeight() == value) return;
  core_->SetAutoSizeMaxHeight(value);
  if (core_->AutoSize()) PixelGraphicChanged();
}
void TPGImage::SetAutoSizeMinWidth(int32_t value) {
  if (core_->AutoSizeMinWidth() == value) return;
  core_->SetAutoSizeMinWidth(value);
  if (core_->AutoSize()) PixelGraphicChanged();
}
void TPGImage::SetAutoSizeMinHeight(int32_t value) {
  if (core_->AutoSizeMinHeight() == value) return;
  core_->SetAutoSizeMinHeight(value);
  if (core_->AutoSize()) PixelGraphicChanged();
}

bool TPGImage::Center() const {
  return core_->Center();
}
void TPGImage::SetCenter(bool value) {
  core_->SetCenter(value);
}

void TPGImage::SetColor(TColor value) {
  color_ = value;
  Invalidate();
}

void TPGImage::SetDither(bool value) {
  if (displaySettings_.Dither == value) return;
  displaySettings_.Dither = value;
  PixelGraphicChanged();
}
void TPGImage::SetDitherErrorLimit(uint8_t value) {
  if (displaySettings_.DitherErrorLimit == value) return;
  displaySettings_.DitherErrorLimit = value;
  if (displaySettings_.Dither) PixelGraphicChanged();
}
void TPGImage::SetDitherErrorLimitAuto(bool value) {
  if (displaySettings_.DitherErrorLimitAuto == value) return;
  displaySettings_.DitherErrorLimitAuto = value;
  if (displaySettings_.Dither) PixelGraphicChanged();
}
void TPGImage::SetDitherErrorLimitSoft(bool value) {
  if (displaySettings_.DitherErrorLimitSoft == value) return;
  displaySettings_.DitherErrorLimitSoft = value;
  if (displaySettings_.Dither) PixelGraphicChanged();
}

void TPGImage::SetFileName(const std::string& value) {
  LoadFromFile(value);
}

void TPGImage::SetFlipHorizontal(bool value) {
  if (flipHorizontal_ == value) return;
  flipHorizontal_ = value;
  Invalidate();
}
void TPGImage::SetFlipVertical(bool value) {
  if (flipVertical_ == value) return;
  flipVertical_ = value;
  Invalidate();
}

void TPGImage::SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic value) {
  if (displaySettings_.Palette24 == value) return;
  displaySettings_.Palette24 = value;
  PixelGraphicChanged();
}
void TPGImage::SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic value) {
  if (displaySettings_.Palette8 == value) return;
  displaySettings_.Palette8 = value;
  PixelGraphicChanged();
}

bool TPGImage::RearrangeAlways() const {
  return core_->RearrangeAlways();
}
void TPGImage::SetRearrangeAlways(bool value) {
  core_->SetRearrangeAlways(value);
}

void TPGImage::SetRGBWeighting(bool value) {
  if (displaySettings_.RGBWeighting == value) return;
  displaySettings_.RGBWeighting = value;
  PixelGraphicChanged();
}

void TPGImage::SetSelectionColor1(TColor value) {
  if (selectionColor1_ == value) return;
  selectionColor1_ = value;
  antsBrushesValid_ = false;
  picBox_->update();
}
void TPGImage::SetSelectionColor2(TColor value) {
  if (selectionColor2_ == value) return;
  selectionColor2_ = value;
  antsBrushesValid_ = false;
  picBox_->update();
}

TStretch TPGImage::Stretch() const {
  return core_->Stretch();
}
void TPGImage::SetStretch(TStretch value) {
  core_->SetStretch(value);
}

void TPGImage::SetStretchMode(TStretchMode value) {
  if (displaySettings_.StretchMode == value) return;
  displaySettings_.StretchMode = value;
  PixelGraphicChanged();
}

void TPGImage::SetTiling(TTiling value) {
  if (tiling_ == value) return;
  tiling_ = value;
  Invalidate();
}

void TPGImage::SetUseThread(bool value) {
  if (displaySettings_.UseThread == value) return;
  displaySettings_.UseThread = value;
  StopPaintWorker();
  display_->MarkDirty();
  Invalidate();
}

long double TPGImage::ZoomFactor() const {
  return core_->ZoomFactor();
}
void TPGImage::SetZoomFactor(long double value) {
  core_->SetZoomFactor(value);
}

int32_t TPGImage::ScreenBitsPerPixel() const {
  return screenBitsPerPixel_;
}
void TPGImage::SetScreenBitsPerPixel(int32_t value) {
  if (screenBitsPerPixel_ == value) return;
  screenBitsPerPixel_ = value;
  display_->MarkDirty();
  Invalidate();
}

int32_t TPGImage::EffectiveScreenBits() const {
  if (screenBitsPerPixel_ > 0) return screenBitsPerPixel_;
  const QScreen* s = screen();
  return s ? s->depth() : 32;
}

void TPGImage::SetPicBoxColor(TColor value) {
  picBoxColor_ = value;
  picBoxParentColor_ = false;
  Invalidate();
}
std::string TPGImage::PicBoxHint() const {
  return picBoxHint_;
}
void TPGImage::SetPicBoxHint(const std::string& value) {
  picBoxHint_ = value;
  picBox_->setToolTip(picBoxShowHint_ ? QString::fromStdString(value) : QString());
}
void TPGImage::SetPicBoxShowHint(bool value) {
  picBoxShowHint_ = value;
  picBoxParentShowHint_ = false;
  picBox_->setToolTip(value ? QString::fromStdString(picBoxHint_) : QString());
}

// ---- Drag and drop ----------------------------------------------------------------------------

void TPGImage::UpdateDropTargets() {
  if (picBox_ == nullptr) return;
  const bool picBoxDrops = static_cast<bool>(PicBoxOnDragOver);
  if (picBox_->acceptDrops() != picBoxDrops) picBox_->setAcceptDrops(picBoxDrops);
  const bool viewDrops = static_cast<bool>(OnDragOver);
  if (viewport()->acceptDrops() != viewDrops) viewport()->setAcceptDrops(viewDrops);
}

void TPGImage::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  UpdateDropTargets();
  // A drag arriving in the window is seen there before a target is chosen, so handlers assigned
  // after the view was shown still take part.
  dropWatch_.Watch(window()->windowHandle());
}

void TPGImage::PicBoxDragEvent(QEvent* event) {
  picBoxDrag_.Event(event, PicBoxOnDragOver, PicBoxOnDragDrop);
}

void TPGImage::dragEnterEvent(QDragEnterEvent* event) {
  viewDrag_.Event(event, OnDragOver, OnDragDrop);
}
void TPGImage::dragMoveEvent(QDragMoveEvent* event) {
  viewDrag_.Event(event, OnDragOver, OnDragDrop);
}
void TPGImage::dragLeaveEvent(QDragLeaveEvent* event) {
  viewDrag_.Event(event, OnDragOver, OnDragDrop);
}
void TPGImage::dropEvent(QDropEvent* event) {
  viewDrag_.Event(event, OnDragOver, OnDragDrop);
}

// ---- Display copy -----------------------------------------------------------------------------------

void TPGImage::StopPaintWorker() {
  display_->Stop();
}

bool TPGImage::NeedPaintPixelGraphic() {
  return display_->Need(graphic_.get(), EffectiveScreenBits(), core_->PicBoxWidth(), core_->PicBoxHeight(),
                        displaySettings_);
}

void TPGImage::DisplayCopyProgress() {
  if (painting_ || !progressClockVisible_) return;
  const TPGRect b = core_->PicBoxRect();
  for (const TPGPoint& o : ProgressClockOrigins(b, progress5Clocks_)) viewport()->update(o.X, o.Y, 16, 16);
}

void TPGImage::DisplayCopyFinished(bool ok) {
  if (ok && displaySettings_.ReduceOnLoad) {
    // The reduced copy becomes the shown image in place of the loaded one.
    std::unique_ptr<TPixelGraphic> reduced = display_->TakeCopy();
    ConnectGraphic(*reduced);
    graphic_ = std::move(reduced);
    graphicRows_.Reset();
  }
  if (!painting_) Invalidate();
}

// ---- Painting -----------------------------------------------------------------------------------------

bool TPGImage::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Paint) {
    paintEvent(static_cast<QPaintEvent*>(event));
    return true;
  }
  // The viewport changes size when Arrange shows or hides a bar; only the view's own new bounds
  // call for a new layout.
  if (event->type() == QEvent::Resize) return false;
  return QAbstractScrollArea::viewportEvent(event);
}

void TPGImage::paintEvent(QPaintEvent* event) {
  if (arranging_ || core_->Arranging()) return;
  QPainter painter(viewport());
  painting_ = true;
  canvas_ = &painter;
  try {
    PaintView(painter, event->rect());
  } catch (...) {
    // A failed paint leaves the rest of the window usable.
  }
  canvas_ = nullptr;
  painting_ = false;
}

void TPGImage::PaintView(QPainter& painter, const QRect& exposed) {
  const TPGRect b = core_->PicBoxRect();
  const int32_t clientW = viewport()->width();
  const int32_t clientH = viewport()->height();

  const TPixelGraphic* g = nullptr;
  bool displayCopy = false;
  if (graphic_) {
    if (NeedPaintPixelGraphic()) {
      if (display_->Copy()) {
        g = display_->Copy();
        displayCopy = true;
      } else if (!display_->Building()) {
        g = graphic_.get();  // the copy could not be made: show the image itself
      }
    } else {
      g = graphic_.get();
    }
  }
  TPGRowImages& rows = displayCopy ? display_->Rows() : graphicRows_;
  const bool drawable = g != nullptr && !g->Empty() && g->Width() > 0 && g->Height() > 0;
  if (drawable) rows.Bind(*g);

  if (OnPainting) OnPainting(this);
  std::exception_ptr error;
  try {
    if (tiling_ == tNone || !drawable) {
      const QColor band = ToQColor(color_);
      for (const TPGRect& r : BackgroundBands(b, clientW, clientH)) painter.fillRect(ToQRect(r), band);
    }
    if (drawable) {
      // Every tile is drawn row by row from the image's own rows, and only its exposed rows; a
      // mirrored tile takes the rows in reverse order or is turned over left to right.
      const QRect full(0, 0, g->Width(), g->Height());
      for (const TPaintTile& t :
           ComputeTiles(b, clientW, clientH, tiling_, flipHorizontal_, flipVertical_, FromQRect(exposed))) {
        const QRect tile = ToQRect(t.Rect);
        if (!tile.intersects(exposed)) continue;
        DrawPixelGraphic(painter, tile, rows, full, exposed, t.MirrorHorizontal, t.MirrorVertical);
      }
    } else if (!b.IsEmpty()) {
      painter.setPen(ToQColor(picBoxFrameColor_));
      painter.setBrush(ToQColor(picBoxParentColor_ ? color_ : picBoxColor_));
      painter.drawRect(b.Left, b.Top, b.Width() - 1, b.Height() - 1);
      if (graphic_) DrawProgressClocks(painter);
    }
  } catch (...) {
    error = std::current_exception();
  }
  if (OnPaint) OnPaint(this);
  if (error) std::rethrow_exception(error);
}

void TPGImage::DrawProgressClocks(QPainter& painter) {
  if (!progressClockVisible_) return;
  const TPGRect b = core_->PicBoxRect();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  for (const TPGPoint& o : ProgressClockOrigins(b, progress5Clocks_)) {
    const TClockHands c = ProgressClockHands(o, display_->Step(), display_->Percent());
    painter.setPen(ToQColor(progressClockLineColor_));
    painter.setBrush(ToQColor(progressClockBkColor_));
    painter.drawEllipse(QRect(c.Circle.Left, c.Circle.Top, c.Circle.Width() - 1, c.Circle.Height() - 1));
    painter.drawLine(c.Centre.X, c.Centre.Y, c.HourEnd.X, c.HourEnd.Y);
    painter.drawLine(c.Centre.X, c.Centre.Y, c.MinuteEnd.X, c.MinuteEnd.Y);
  }
  painter.restore();
}

void TPGImage::DrawSelectionFrame(QPainter& painter) {
  if (!core_->Selection()) return;
  if (!antsBrushesValid_) {
    for (int k = 0; k < 8; ++k) {
      QImage pattern(8, 8, QImage::Format_RGB32);
      const auto colours = AntsPattern(k, selectionColor1_, selectionColor2_);
      for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) pattern.setPixel(c, r, ToQColor(colours[r * 8 + c]).rgb());
      }
      antsBrushes_[k] = pattern;
    }
    antsBrushesValid_ = true;
  }
  const TPGRect s = core_->SelectionPicBoxRect();
  const QBrush brush(antsBrushes_[AntsBrushPhase(core_->AntsPhase(), s)]);
  auto frame = [&](const TPGRect& r) {
    const int32_t w = r.Width(), h = r.Height();
    if (w <= 0 || h <= 0) return;
    painter.fillRect(r.Left, r.Top, w, 1, brush);
    painter.fillRect(r.Left, r.Bottom - 1, w, 1, brush);
    painter.fillRect(r.Left, r.Top, 1, h, brush);
    painter.fillRect(r.Right - 1, r.Top, 1, h, brush);
  };
  frame(SelectionFrameRect(s));
  if (core_->ActionMode() == amMoveResizeCreateSelection) {
    for (const TSelectionHandle& handle : SelectionHandles(s)) frame(handle.Rect);
  }
}

void TPGImage::PicBoxPaint(QPaintEvent*) {
  if (arranging_ || core_->Arranging()) return;
  QPainter painter(picBox_);
  picBoxCanvas_ = &painter;
  try {
    DrawSelectionFrame(painter);
    if (PicBoxOnPaint) PicBoxOnPaint(this);
  } catch (...) {
  }
  picBoxCanvas_ = nullptr;
}

// ---- Mouse ------------------------------------------------------------------------------------------

void TPGImage::UpdateCursor(const QPoint& picBoxPos) {
  if (QGuiApplication::overrideCursor()) return;
  TPGCursor cursor = core_->ChooseCursor(picBoxCursor_, {picBoxPos.x(), picBoxPos.y()});
  if (PicBoxOnSetCursor) PicBoxOnSetCursor(this, cursor);
  picBox_->setCursor(ToCursorShape(cursor));
}

void TPGImage::PicBoxMousePress(QMouseEvent* event) {
  if (!IsMouseButton(event->button())) return;
  const QPoint p = event->position().toPoint();
  picBoxPressed_ = true;
  if (picBoxDrag_.Press(event->button(), p)) return;  // the left press belongs to the drag
  core_->MouseDown(ToButton(event->button()), {p.x(), p.y()});
  if (PicBoxOnMouseDown) PicBoxOnMouseDown(this, ToButton(event->button()), ToShift(event), p.x(), p.y());
}

void TPGImage::PicBoxMouseMove(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (picBoxDrag_.Move(picBox_, p, event->buttons(), PicBoxOnStartDrag, PicBoxOnEndDrag)) return;
  core_->MouseMove({p.x(), p.y()});
  // Panning moves the picture box under the pointer: the position is read again.
  const QPoint now =
      core_->DragKind() == dkMoveImage ? picBox_->mapFromGlobal(event->globalPosition().toPoint()) : p;
  UpdateCursor(now);
  if (PicBoxOnMouseMove) PicBoxOnMouseMove(this, ToShift(event), p.x(), p.y());
}

void TPGImage::PicBoxMouseRelease(QMouseEvent* event) {
  if (!IsMouseButton(event->button())) return;
  const QPoint p = event->position().toPoint();
  const TMouseButton button = ToButton(event->button());
  if (bool click = false; picBoxDrag_.Release(event->button(), click)) {
    // A press kept for a drag: a click when the drag never started.
    if (click && picBoxPressed_ && picBox_->rect().contains(p) && PicBoxOnClick) PicBoxOnClick(this);
    if (event->buttons() == Qt::NoButton) picBoxPressed_ = false;
    return;
  }
  if (PicBoxOnMouseUp) PicBoxOnMouseUp(this, button, ToShift(event), p.x(), p.y());
  core_->MouseUp(button, {p.x(), p.y()});
  UpdateCursor(p);
  if (button == mbLeft && picBoxPressed_ && picBox_->rect().contains(p) && PicBoxOnClick) PicBoxOnClick(this);
  if (event->buttons() == Qt::NoButton) picBoxPressed_ = false;
}

void TPGImage::PicBoxMouseDoubleClick(QMouseEvent* event) {
  if (!IsMouseButton(event->button())) return;
  const QPoint p = event->position().toPoint();
  picBoxPressed_ = true;
  core_->MouseDown(ToButton(event->button()), {p.x(), p.y()});
  if (event->button() == Qt::LeftButton && PicBoxOnDblClick) PicBoxOnDblClick(this);
  if (PicBoxOnMouseDown)
    PicBoxOnMouseDown(this, ToButton(event->button()), ToShift(event, true), p.x(), p.y());
}

void TPGImage::mousePressEvent(QMouseEvent* event) {
  if (!IsMouseButton(event->button())) return;
  const QPoint p = event->position().toPoint();
  if (viewDrag_.Press(event->button(), p)) return;
  if (OnMouseDown) OnMouseDown(this, ToButton(event->button()), ToShift(event), p.x(), p.y());
}

void TPGImage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (viewDrag_.Move(viewport(), p, event->buttons(), OnStartDrag, OnEndDrag)) return;
  if (!QGuiApplication::overrideCursor()) {
    TPGCursor cursor = crDefault;
    if (OnSetCursor) OnSetCursor(this, cursor);
    viewport()->setCursor(ToCursorShape(cursor));
  }
  if (OnMouseMove) OnMouseMove(this, ToShift(event), p.x(), p.y());
}

void TPGImage::mouseReleaseEvent(QMouseEvent* event) {
  if (!IsMouseButton(event->button())) return;
  const QPoint p = event->position().toPoint();
  if (bool click = false; viewDrag_.Release(event->button(), click)) {
    if (click && viewport()->rect().contains(p) && OnClick) OnClick(this);
    return;
  }
  if (OnMouseUp) OnMouseUp(this, ToButton(event->button()), ToShift(event), p.x(), p.y());
  if (event->button() == Qt::LeftButton && viewport()->rect().contains(p) && OnClick) OnClick(this);
}

void TPGImage::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && OnDblClick) OnDblClick(this);
  if (OnMouseDown && IsMouseButton(event->button())) {
    const QPoint p = event->position().toPoint();
    OnMouseDown(this, ToButton(event->button()), ToShift(event, true), p.x(), p.y());
  }
}

}  // namespace pg
