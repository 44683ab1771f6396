// TPGImage: the scrolling, zooming image view (Qt widget).
//
// The view is a scroll area. It owns the raster image it shows (TPixelGraphic) and paints it on
// its own client area (the viewport) at the rectangle of its only child, the picture box
// (TPicBox), which Arrange sizes and places: scrolling and centring move the picture box.
//
// Drawing over the picture: assign OnPaint. It runs at the end of every paint of the view (also
// when painting failed); during it Canvas() is a QPainter on the view's client area, in client
// pixels, clipped to the exposed region. A picture-box pixel (x, y) lies at client
// (x + PicBoxRect().Left, y + PicBoxRect().Top); an image pixel maps to picture-box pixels with
// ImageToPicBoxX/Y. To show something new (a rubber-band line), keep its state, call Invalidate()
// or Repaint() and draw it in OnPaint. Canvas() is nullptr outside a paint. The picture box paints
// after the view: the selection frame, then PicBoxOnPaint (with PicBoxCanvas(), picture-box pixels).
//
// Picture-box mouse events: PicBoxOnMouseDown/Move/Up receive the button, the shift state and the
// position in picture-box pixels (independent of the image; PicBoxToImageX/Y turn them into image
// pixels). Mouse down and move run the view's own handling first (panning, selection) and then
// the user's handler; mouse up runs the user's PicBoxOnMouseUp first, so it still sees the drag
// under way, and then the view's, which fires OnSelectionMade after a selection drag. Mouse
// events over the view outside the picture box go to OnMouseDown/Move/Up in client pixels.
//
// Drag and drop. The picture box and the view (its client area outside the picture box) each
// have a drag mode and a drag cursor. With dmAutomatic a left press followed by a move beyond
// QApplication::startDragDistance() starts a drag (the left press is then kept for dragging: no
// panning or selection, no mouse-down event); OnStartDrag fills the drag's mime data or cancels
// it, and OnEndDrag reports the end. A control accepts drops only while its OnDragOver handler is
// assigned (the setting is brought up to date when the view is shown and when a drag enters its
// window): every enter, move and leave asks OnDragOver, and a drop that it accepted goes to
// OnDragDrop. A drag the handler refuses, and any drag while no handler is assigned, passes on
// to the parent widgets (so a window that takes dropped files still gets them over the view).
// Positions are picture-box pixels for the PicBoxOn... events and client pixels for the view's.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_display_copy.h"
#include "imaging/view/qt_drag_drop.h"
#include "imaging/view/qt_pg_draw.h"
#include "imaging/view/view_types.h"

class QMenu;
class QPainter;
class QTimer;
class QDragEnterEvent;
class QDragMoveEvent;
class QDragLeaveEvent;
class QDropEvent;

namespace pg {

class TPGImageCore;
class TPicBox;
class TPGImageHost;

class TPGImage : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TPGImage(QWidget* parent = nullptr);
  ~TPGImage() override;

  // ---- Picture -------------------------------------------------------------------------------
  // Loads the file into a new image that becomes the shown one. On failure the view is left
  // empty, FileName stays empty and the error propagates.
  void LoadFromFile(const std::string& fileName);
  // Saves the shown image (the writer follows the extension); EPGEmpty when there is none.
  void SaveToFile(const std::string& fileName);
  // The shown image, owned by the view (nullptr when empty), for reading and changing on this
  // thread. Stops the paint worker first. While SharedPixelGraphic is held elsewhere the view
  // first makes the image a copy of its own, so changes never reach that holder.
  TPixelGraphic* PixelGraphic();
  // The shown image for readers that outlive a call or run on other threads (an export): it stays
  // as it is while they hold it, whatever the view is given or asked to change meanwhile.
  std::shared_ptr<const TPixelGraphic> SharedPixelGraphic() const;
  // Stores a copy of `graphic` (nullptr empties the view); the caller keeps its own.
  void SetPixelGraphic(const TPixelGraphic* graphic);
  // Takes `graphic` itself into the view's ownership.
  void AdoptPixelGraphic(std::unique_ptr<TPixelGraphic> graphic);
  // Shows `graphic` (nullptr empties the view) and hands back the image shown until now, without
  // copying either: for swapping a picture with one kept aside (undo). The view changes neither
  // in place while another holder shares it.
  std::shared_ptr<TPixelGraphic> ExchangePixelGraphic(std::shared_ptr<TPixelGraphic> graphic);
  // Size of the shown image, 0 x 0 when empty; refreshed by image-changed processing.
  int32_t PixelGraphicWidth() const;
  int32_t PixelGraphicHeight() const;
  // The display copy (converted or resized for the screen), nullptr when none is held.
  const TPixelGraphic* PaintPixelGraphic() const;
  const TPGDisplayCopy& DisplayCopy() const { return *display_; }
  // True while a paint worker thread is building a display copy.
  bool PaintWorkerBusy() const;

  // ---- Geometry ------------------------------------------------------------------------------
  TPicBox* PicBox() const { return picBox_; }
  // The picture box in client pixels (includes scrolling and centring).
  TPGRect PicBoxRect() const;
  // Client area (viewport) size.
  int32_t ClientWidth() const;
  int32_t ClientHeight() const;
  // Width of the view's border (0 without one).
  int32_t FrameWidth() const;
  // The scale chosen by the last Arrange; -1.0 when the two axes are scaled differently.
  long double EffectiveZoom() const;
  int32_t HorzScrollPos() const;
  int32_t VertScrollPos() const;
  void SetHorzScrollPos(int32_t pos);  // clamped to the scroll range
  void SetVertScrollPos(int32_t pos);
  // Lays the picture out again (Force also re-places an unchanged picture box).
  void Arrange(bool force);
  // Image-changed processing: rereads the image's size, drops the display copy, lays out again.
  void PixelGraphicChanged();
  void Invalidate();  // schedules a repaint of the whole view
  void Repaint();     // repaints at once

  // ---- Coordinates (integer, truncating division, 0 when a size is 0) -----------------------
  int32_t ImageToPicBoxX(int32_t x) const;
  int32_t ImageToPicBoxY(int32_t y) const;
  int32_t PicBoxToImageX(int32_t x) const;
  int32_t PicBoxToImageY(int32_t y) const;
  TPGPoint PicBoxToImage(TPGPoint p) const;

  // ---- Selection -----------------------------------------------------------------------------
  bool Selection() const;
  void SetSelection(bool value);
  int32_t SelectionLeft() const;
  int32_t SelectionTop() const;
  int32_t SelectionWidth() const;
  int32_t SelectionHeight() const;
  void SetSelectionLeft(int32_t value);
  void SetSelectionTop(int32_t value);
  void SetSelectionWidth(int32_t value);
  void SetSelectionHeight(int32_t value);
  TPGRect SelectionRect() const;        // image pixels
  TPGRect SelectionPicBoxRect() const;  // picture-box pixels
  void SetSelectionBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  void SetSelectionRect(const TPGRect& rect);
  TPGDragKind DragKind() const;
  int32_t AntsPhase() const;

  // ---- Properties ----------------------------------------------------------------------------
  TActionMode ActionMode() const;
  void SetActionMode(TActionMode value);
  bool Allow24BitStretch() const { return displaySettings_.Allow24BitStretch; }
  void SetAllow24BitStretch(bool value);
  bool AutoSize() const;
  void SetAutoSize(bool value);
  int32_t AutoSizeMaxWidth() const;
  void SetAutoSizeMaxWidth(int32_t value);
  int32_t AutoSizeMaxHeight() const;
  void SetAutoSizeMaxHeight(int32_t value);
  int32_t AutoSizeMinWidth() const;
  void SetAutoSizeMinWidth(int32_t value);
  int32_t AutoSizeMinHeight() const;
  void SetAutoSizeMinHeight(int32_t value);
  TColor BackGroundColor() const { return backGroundColor_; }
  void SetBackGroundColor(TColor value) { backGroundColor_ = value; }
  bool Center() const;
  void SetCenter(bool value);
  // The view's own colour: the bands around the picture.
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  bool Dither() const { return displaySettings_.Dither; }
  void SetDither(bool value);
  uint8_t DitherErrorLimit() const { return displaySettings_.DitherErrorLimit; }
  void SetDitherErrorLimit(uint8_t value);
  bool DitherErrorLimitAuto() const { return displaySettings_.DitherErrorLimitAuto; }
  void SetDitherErrorLimitAuto(bool value);
  bool DitherErrorLimitSoft() const { return displaySettings_.DitherErrorLimitSoft; }
  void SetDitherErrorLimitSoft(bool value);
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& value);  // loads the file
  bool FlipHorizontal() const { return flipHorizontal_; }
  void SetFlipHorizontal(bool value);
  bool FlipVertical() const { return flipVertical_; }
  void SetFlipVertical(bool value);
  bool KeepOldPaintPixelGraphic() const { return displaySettings_.KeepOld; }
  void SetKeepOldPaintPixelGraphic(bool value) { displaySettings_.KeepOld = value; }
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic() const { return displaySettings_.Palette24; }
  void SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic value);
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic() const { return displaySettings_.Palette8; }
  void SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic value);
  TColor PicBoxFrameColor() const { return picBoxFrameColor_; }
  void SetPicBoxFrameColor(TColor value) { picBoxFrameColor_ = value; }
  bool Progress5Clocks() const { return progress5Clocks_; }
  void SetProgress5Clocks(bool value) { progress5Clocks_ = value; }
  TColor ProgressClockBkColor() const { return progressClockBkColor_; }
  void SetProgressClockBkColor(TColor value) { progressClockBkColor_ = value; }
  TColor ProgressClockLineColor() const { return progressClockLineColor_; }
  void SetProgressClockLineColor(TColor value) { progressClockLineColor_ = value; }
  bool ProgressClockVisible() const { return progressClockVisible_; }
  void SetProgressClockVisible(bool value) { progressClockVisible_ = value; }
  TPGWarningAction ReadWarningAction() const { return readWarningAction_; }
  void SetReadWarningAction(TPGWarningAction value) { readWarningAction_ = value; }
  bool RearrangeAlways() const;
  void SetRearrangeAlways(bool value);
  bool ReduceOnLoad() const { return displaySettings_.ReduceOnLoad; }
  void SetReduceOnLoad(bool value) { displaySettings_.ReduceOnLoad = value; }
  bool RGBWeighting() const { return displaySettings_.RGBWeighting; }
  void SetRGBWeighting(bool value);
  TPGWarningAction SaveColorResWarningAction() const { return saveColorResWarningAction_; }
  void SetSaveColorResWarningAction(TPGWarningAction value) { saveColorResWarningAction_ = value; }
  TColor SelectionColor1() const { return selectionColor1_; }
  void SetSelectionColor1(TColor value);
  TColor SelectionColor2() const { return selectionColor2_; }
  void SetSelectionColor2(TColor value);
  bool ShowHourGlass() const { return showHourGlass_; }
  void SetShowHourGlass(bool value) { showHourGlass_ = value; }
  TStretch Stretch() const;
  void SetStretch(TStretch value);
  TStretchMode StretchMode() const { return displaySettings_.StretchMode; }
  void SetStretchMode(TStretchMode value);
  TTiling Tiling() const { return tiling_; }
  void SetTiling(TTiling value);
  bool UseThread() const { return displaySettings_.UseThread; }
  void SetUseThread(bool value);
  long double ZoomFactor() const;
  void SetZoomFactor(long double value);
  // Bits per pixel of the screen the display copy is made for; 0 (the default) asks the screen.
  int32_t ScreenBitsPerPixel() const;
  void SetScreenBitsPerPixel(int32_t value);

  // ---- Picture box forwarding ----------------------------------------------------------------
  TColor PicBoxColor() const { return picBoxColor_; }
  void SetPicBoxColor(TColor value);
  TPGCursor PicBoxCursor() const { return picBoxCursor_; }
  void SetPicBoxCursor(TPGCursor value) { picBoxCursor_ = value; }
  std::string PicBoxHint() const;
  void SetPicBoxHint(const std::string& value);
  bool PicBoxShowHint() const { return picBoxShowHint_; }
  void SetPicBoxShowHint(bool value);
  bool PicBoxParentColor() const { return picBoxParentColor_; }
  void SetPicBoxParentColor(bool value) { picBoxParentColor_ = value; }
  QMenu* PicBoxPopupMenu() const { return picBoxPopupMenu_; }
  void SetPicBoxPopupMenu(QMenu* menu) { picBoxPopupMenu_ = menu; }
  intptr_t PicBoxTag() const { return picBoxTag_; }
  void SetPicBoxTag(intptr_t value) { picBoxTag_ = value; }
  // True: the picture box's hint setting follows its parent's. Setting PicBoxShowHint clears it.
  bool PicBoxParentShowHint() const { return picBoxParentShowHint_; }
  void SetPicBoxParentShowHint(bool value) { picBoxParentShowHint_ = value; }
  // The cursor of a drag started from the picture box. Qt::DragCopyCursor, Qt::DragMoveCursor and
  // Qt::DragLinkCursor ask for the platform's own copy, move or link drag; another shape is
  // shown in their place when the platform provides a picture for it.
  Qt::CursorShape PicBoxDragCursor() const { return picBoxDrag_.Cursor(); }
  void SetPicBoxDragCursor(Qt::CursorShape value) { picBoxDrag_.SetCursor(value); }
  TDragMode PicBoxDragMode() const { return picBoxDrag_.Mode(); }
  void SetPicBoxDragMode(TDragMode value) { picBoxDrag_.SetMode(value); }

  // ---- Drag and drop of the view itself (client area outside the picture box) --------------
  Qt::CursorShape DragCursor() const { return viewDrag_.Cursor(); }
  void SetDragCursor(Qt::CursorShape value) { viewDrag_.SetCursor(value); }
  TDragMode DragMode() const { return viewDrag_.Mode(); }
  void SetDragMode(TDragMode value) { viewDrag_.SetMode(value); }

  // ---- Painting ------------------------------------------------------------------------------
  // Painter on the client area, valid during OnPaint/OnPainting (nullptr otherwise).
  QPainter* Canvas() const { return canvas_; }
  // Painter on the picture box, valid during PicBoxOnPaint (nullptr otherwise).
  QPainter* PicBoxCanvas() const { return picBoxCanvas_; }

  // ---- Events (an empty function means "not assigned"; Sender is this view) ------------------
  TPGINewAutoSizeEvent OnNewAutoSize;
  TNotifyEvent OnPainting;
  TNotifyEvent OnPaint;
  TNotifyEvent OnPixelGraphicChange;
  TNotifyEvent OnPixelGraphicProgressStart;  // Sender: the image or its reader
  TNotifyEvent OnPixelGraphicProgressEnd;
  TPGProgressEvent OnPixelGraphicProgress;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionMade;
  TPGSetCursorEvent OnSetCursor;  // cursor over the view outside the picture box
  TNotifyEvent OnZoomFactorChange;
  TMouseEvent OnMouseDown;  // client pixels, outside the picture box
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TPGStartDragEvent OnStartDrag;  // client pixels
  TPGDragOverEvent OnDragOver;
  TPGDragDropEvent OnDragDrop;
  TPGEndDragEvent OnEndDrag;

  TMouseEvent PicBoxOnMouseDown;  // picture-box pixels
  TMouseMoveEvent PicBoxOnMouseMove;
  TMouseEvent PicBoxOnMouseUp;
  TNotifyEvent PicBoxOnClick;
  TNotifyEvent PicBoxOnDblClick;
  TNotifyEvent PicBoxOnPaint;
  TPGSetCursorEvent PicBoxOnSetCursor;
  TPGStartDragEvent PicBoxOnStartDrag;  // picture-box pixels
  TPGDragOverEvent PicBoxOnDragOver;
  TPGDragDropEvent PicBoxOnDragDrop;
  TPGEndDragEvent PicBoxOnEndDrag;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  // The view's own new bounds (QAbstractScrollArea would deliver only the viewport's here).
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class TPicBox;
  friend class TPGImageHost;

  void PicBoxMousePress(QMouseEvent* event);
  void PicBoxMouseMove(QMouseEvent* event);
  void PicBoxMouseRelease(QMouseEvent* event);
  void PicBoxMouseDoubleClick(QMouseEvent* event);
  void PicBoxPaint(QPaintEvent* event);
  void UpdateCursor(const QPoint& clientPos);
  // Brings the drop acceptance of the picture box and the client area up to date with the
  // assigned OnDragOver handlers.
  void UpdateDropTargets();
  void PicBoxDragEvent(QEvent* event);

  void ConnectGraphic(TPixelGraphic& graphic);
  void DisconnectGraphic(TPixelGraphic& graphic);
  void ReplaceGraphic(std::shared_ptr<TPixelGraphic> graphic);
  void StopPaintWorker();
  // Whether this paint shows the display copy; starts building one when it is due.
  bool NeedPaintPixelGraphic();
  void DisplayCopyProgress();
  void DisplayCopyFinished(bool ok);
  int32_t EffectiveScreenBits() const;
  void PaintView(QPainter& painter, const QRect& exposed);
  void DrawProgressClocks(QPainter& painter);
  void DrawSelectionFrame(QPainter& painter);
  void FrameTick();
  void AutoScrollTick();

  std::unique_ptr<TPGImageCore> core_;
  std::unique_ptr<TPGImageHost> host_;
  TPicBox* picBox_ = nullptr;

  std::shared_ptr<TPixelGraphic> graphic_;  // the shown image
  TPGRowImages graphicRows_;                // its rows for drawing
  // The display copy and its worker; destroyed (the worker stopped) before the image it reads.
  std::unique_ptr<TPGDisplayCopy> display_;
  int32_t screenBitsPerPixel_ = 0;

  QPainter* canvas_ = nullptr;
  QPainter* picBoxCanvas_ = nullptr;
  QTimer* frameTimer_ = nullptr;
  QTimer* autoScrollTimer_ = nullptr;
  QImage antsBrushes_[8];
  bool antsBrushesValid_ = false;
  bool arranging_ = false;
  bool mouseCaptured_ = false;
  bool painting_ = false;
  bool picBoxPressed_ = false;

  std::string fileName_;
  TDisplaySettings displaySettings_;  // the settings that shape the display copy
  TColor backGroundColor_ = 0;
  TColor color_ = 0;
  bool flipHorizontal_ = false;
  bool flipVertical_ = false;
  TColor picBoxFrameColor_ = 0;
  bool progress5Clocks_ = true;
  TColor progressClockBkColor_ = 0;
  TColor progressClockLineColor_ = 0;
  bool progressClockVisible_ = true;
  TPGWarningAction readWarningAction_ = pgwaOKCancelBox;
  TPGWarningAction saveColorResWarningAction_ = pgwaOKCancelBox;
  TColor selectionColor1_ = 0xFFFFFF;
  TColor selectionColor2_ = 0x0000FF;
  bool showHourGlass_ = true;
  TTiling tiling_ = tNone;

  TColor picBoxColor_ = 0;
  TPGCursor picBoxCursor_ = crDefault;
  bool picBoxShowHint_ = false;
  bool picBoxParentColor_ = false;
  QMenu* picBoxPopupMenu_ = nullptr;
  intptr_t picBoxTag_ = 0;
  std::string picBoxHint_;
  bool picBoxParentShowHint_ = true;
  TPGDragDrop picBoxDrag_{this};
  TPGDragDrop viewDrag_{this};
  TPGDropWatch dropWatch_{[this] { UpdateDropTargets(); }};  // drags arriving in the window
};

}  // namespace pg
