// TPGImageCore: the toolkit-free state and logic of the image view: layout (Arrange), the
// coordinate mappings, the selection rectangle, the drag states and the mouse rules, the cursor
// choice. The widget feeds it sizes, positions and buttons through TViewHost and carries out
// what it asks for (placing the picture box, scrolling, invalidating, timers, capture).
#pragma once

#include <array>
#include <cstdint>

#include "imaging/view/view_layout.h"
#include "imaging/view/view_types.h"

namespace pg {

// What the view needs of the platform. Client coordinates are those of the view's client area.
class TViewHost {
 public:
  virtual ~TViewHost() = default;
  virtual int32_t ViewWidth() const = 0;  // outer size, borders included
  virtual int32_t ViewHeight() const = 0;
  virtual int32_t FrameWidth() const = 0;
  virtual int32_t HorzBarHeight() const = 0;  // height of a horizontal scroll bar
  virtual int32_t VertBarWidth() const = 0;   // width of a vertical scroll bar
  virtual TScrollInfo ScrollInfo() const = 0;
  // Sets the scroll positions, clamped to the ranges; the picture box follows.
  virtual void SetScrollPos(int32_t horz, int32_t vert) = 0;
  // Places the picture box at `picBox` (content coordinates, before scrolling) and sets the scroll
  // bars as `scroll` says, with painting suppressed meanwhile.
  virtual void ApplyLayout(const TPGRect& picBox, const TScrollInfo& scroll) = 0;
  virtual void InvalidateRect(const TPGRect& /*clientRect*/) {}
  virtual void InvalidateView() {}
  virtual void InvalidatePicBox() {}
  virtual void RepaintNow() {}
  virtual void RealizePalette() {}
  virtual void CaptureMouse() {}
  virtual void ReleaseMouse() {}
  virtual void StartAutoScrollTimer() {}
  virtual void StopAutoScrollTimer() {}
  virtual void StartFrameTimer() {}
  virtual void StopFrameTimer() {}
  virtual bool GlobalCursorSet() const { return false; }
  // Shows `cursor` over the picture box during a drag (after PicBoxOnSetCursor had its say).
  virtual void SetDragCursor(TPGCursor /*cursor*/) {}
};

struct TSelectionHandle {
  TPGRect Rect;  // picture-box pixels
  TPGDragKind Kind = dkNone;
  TPGCursor Cursor = crDefault;
};

// The eight 5 x 5 handles around the selection S (picture-box pixels), in hit-test order:
// top left, top middle, top right, middle left, middle right, bottom left, bottom middle,
// bottom right.
std::array<TSelectionHandle, 8> SelectionHandles(const TPGRect& s);

// The one-pixel frame just outside the selected pixels.
TPGRect SelectionFrameRect(const TPGRect& s);

// The four strips around S, `margin` wide, that hold the frame and handles.
std::array<TPGRect, 4> SelectionStrips(const TPGRect& s, int32_t margin);

class TPGImageCore {
 public:
  explicit TPGImageCore(TViewHost& host, const void* sender = nullptr) : host_(host), sender_(sender) {}

  // ---- Properties --------------------------------------------------------------------------
  TActionMode ActionMode() const { return actionMode_; }
  void SetActionMode(TActionMode value);
  TStretch Stretch() const { return stretch_; }
  void SetStretch(TStretch value);
  long double ZoomFactor() const { return zoomFactor_; }
  void SetZoomFactor(long double value);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool RearrangeAlways() const { return rearrangeAlways_; }
  void SetRearrangeAlways(bool value) { rearrangeAlways_ = value; }
  long double EffectiveZoom() const { return effectiveZoom_; }

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value) { autoSize_ = value; }
  int32_t AutoSizeMaxWidth() const { return autoSizeMaxWidth_; }
  void SetAutoSizeMaxWidth(int32_t value) { autoSizeMaxWidth_ = value; }
  int32_t AutoSizeMaxHeight() const { return autoSizeMaxHeight_; }
  void SetAutoSizeMaxHeight(int32_t value) { autoSizeMaxHeight_ = value; }
  int32_t AutoSizeMinWidth() const { return autoSizeMinWidth_; }
  void SetAutoSizeMinWidth(int32_t value) { autoSizeMinWidth_ = value; }
  int32_t AutoSizeMinHeight() const { return autoSizeMinHeight_; }
  void SetAutoSizeMinHeight(int32_t value) { autoSizeMinHeight_ = value; }
  // The view size AutoSize would take for the current image.
  TPGPoint AutoSizeExtent() const;

  // ---- Image size and layout ---------------------------------------------------------------
  int32_t PixelGraphicWidth() const { return pixelGraphicWidth_; }
  int32_t PixelGraphicHeight() const { return pixelGraphicHeight_; }
  void SetPixelGraphicSize(int32_t width, int32_t height);
  // The picture box before scrolling (content coordinates) and in client pixels.
  const TPGRect& PicBoxBounds() const { return picBox_; }
  TPGRect PicBoxRect() const;
  int32_t PicBoxWidth() const { return picBox_.Width(); }
  int32_t PicBoxHeight() const { return picBox_.Height(); }
  // Collapses the picture box to (0, 0, 0, 0) (before the view takes new bounds).
  void CollapsePicBox();
  void Arrange(bool force);
  // True while the picture box is being moved by Arrange (painting is suppressed).
  bool Arranging() const { return arranging_; }

  // ---- Coordinates ---------------------------------------------------------------------------
  int32_t ImageToPicBoxX(int32_t x) const;
  int32_t ImageToPicBoxY(int32_t y) const;
  int32_t PicBoxToImageX(int32_t x) const;
  int32_t PicBoxToImageY(int32_t y) const;
  TPGPoint PicBoxToImage(TPGPoint p) const { return {PicBoxToImageX(p.X), PicBoxToImageY(p.Y)}; }

  // ---- Selection -------------------------------------------------------------------------------
  bool Selection() const { return selection_; }
  void SetSelection(bool value);
  int32_t SelectionLeft() const { return selLeft_; }
  int32_t SelectionTop() const { return selTop_; }
  int32_t SelectionWidth() const { return selWidth_; }
  int32_t SelectionHeight() const { return selHeight_; }
  TPGRect SelectionRect() const;
  TPGRect SelectionPicBoxRect() const;
  void SetSelectionBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  void SetSelectionRect(const TPGRect& r) { SetSelectionBounds(r.Left, r.Top, r.Width(), r.Height()); }
  int32_t AntsPhase() const { return antsPhase_; }
  void AdvanceAnts() { antsPhase_ = (antsPhase_ + 1) % 8; }

  // ---- Mouse (positions in picture-box pixels) ----------------------------------------------
  void MouseDown(TMouseButton button, TPGPoint p);
  void MouseMove(TPGPoint p);
  void MouseUp(TMouseButton button, TPGPoint p);
  TPGDragKind DragKind() const { return dragKind_; }
  TPGPoint DragAnchor() const { return dragAnchor_; }
  TPGPoint DragOffset() const { return dragOffset_; }
  // Panning is possible when the picture box overflows the client area with that bar visible.
  bool PanningPossible() const;
  // One auto-scroll tick with the cursor at `cursor` (client pixels).
  void AutoScrollTick(TPGPoint cursor);
  // The cursor over the picture box at `p`, starting from `base`.
  TPGCursor ChooseCursor(TPGCursor base, TPGPoint p) const;

  TNotifyEvent OnZoomFactorChange;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnSelectionMade;

 private:
  int32_t SelectionMargin() const { return actionMode_ == amMoveResizeCreateSelection ? 8 : 1; }
  void InvalidateSelectionStrips();

  TViewHost& host_;
  const void* sender_;

  TActionMode actionMode_ = amMoveImage;
  TStretch stretch_ = sNeverKAR;
  long double zoomFactor_ = 1.0L;
  long double effectiveZoom_ = 1.0L;
  bool center_ = false;
  bool rearrangeAlways_ = false;
  bool autoSize_ = false;
  int32_t autoSizeMaxWidth_ = 2147483647;
  int32_t autoSizeMaxHeight_ = 2147483647;
  int32_t autoSizeMinWidth_ = 0;
  int32_t autoSizeMinHeight_ = 0;

  int32_t pixelGraphicWidth_ = 0;
  int32_t pixelGraphicHeight_ = 0;
  TPGRect picBox_;
  bool arranging_ = false;

  bool selection_ = false;
  int32_t selLeft_ = 0;
  int32_t selTop_ = 0;
  int32_t selWidth_ = 1;
  int32_t selHeight_ = 1;
  int32_t antsPhase_ = 0;

  TPGDragKind dragKind_ = dkNone;
  TPGPoint dragAnchor_;
  TPGPoint dragOffset_;
  TPGPoint createAnchor_;
};

}  // namespace pg
