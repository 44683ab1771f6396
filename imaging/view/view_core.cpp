#include "imaging/view/view_core.h"

#include <algorithm>
#include <limits>

namespace pg {

namespace {

// x * num div den, truncating toward zero; the product is taken in 64 bits so a large picture
// cannot overflow it.
int32_t MulDivTrunc(int32_t x, int32_t num, int32_t den) {
  const int64_t v = static_cast<int64_t>(x) * num / den;
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

void Fire(const TNotifyEvent& event, const void* sender) {
  if (event) event(sender);
}

bool IsSelectionMoveMode(TActionMode m) {
  return m == amMoveResizeCreateSelection || m == amMoveSelection || m == amMoveSelectionMoveImage;
}

}  // namespace

std::array<TSelectionHandle, 8> SelectionHandles(const TPGRect& s) {
  const int32_t l = s.Left, t = s.Top, r = s.Right, b = s.Bottom;
  const int32_t mx = static_cast<int32_t>((static_cast<int64_t>(l) + r) / 2);
  const int32_t my = static_cast<int32_t>((static_cast<int64_t>(t) + b) / 2);
  return {{
      {{l - 8, t - 8, l - 3, t - 3}, dkResizeTopLeft, crSizeNWSE},
      {{mx - 2, t - 8, mx + 3, t - 3}, dkResizeTop, crSizeNS},
      {{r + 3, t - 8, r + 8, t - 3}, dkResizeTopRight, crSizeNESW},
      {{l - 8, my - 2, l - 3, my + 3}, dkResizeLeft, crSizeWE},
      {{r + 3, my - 2, r + 8, my + 3}, dkResizeRight, crSizeWE},
      {{l - 8, b + 3, l - 3, b + 8}, dkResizeBottomLeft, crSizeNESW},
      {{mx - 2, b + 3, mx + 3, b + 8}, dkResizeBottom, crSizeNS},
      {{r + 3, b + 3, r + 8, b + 8}, dkResizeBottomRight, crSizeNWSE},
  }};
}

TPGRect SelectionFrameRect(const TPGRect& s) {
  return {s.Left - 1, s.Top - 1, s.Right + 1, s.Bottom + 1};
}

std::array<TPGRect, 4> SelectionStrips(const TPGRect& s, int32_t c) {
  return {{
      {s.Left - c, s.Top - c, s.Left, s.Bottom + c},
      {s.Left - c, s.Top - c, s.Right + c, s.Top},
      {s.Right, s.Top - c, s.Right + c, s.Bottom + c},
      {s.Left - c, s.Bottom, s.Right + c, s.Bottom + c},
  }};
}

// ---- Properties ---------------------------------------------------------------------------------

void TPGImageCore::SetActionMode(TActionMode value) {
  actionMode_ = value;
  host_.InvalidateView();
}

void TPGImageCore::SetStretch(TStretch value) {
  if (stretch_ == value) return;
  stretch_ = value;
  Arrange(true);
}

void TPGImageCore::SetZoomFactor(long double value) {
  if (zoomFactor_ == value) return;
  zoomFactor_ = value;
  Arrange(true);
}

void TPGImageCore::SetCenter(bool value) {
  if (center_ == value) return;
  center_ = value;
  Arrange(true);
}

TPGPoint TPGImageCore::AutoSizeExtent() const {
  return ComputeAutoSize(pixelGraphicWidth_, pixelGraphicHeight_, host_.FrameWidth(), autoSizeMaxWidth_,
                         autoSizeMaxHeight_, autoSizeMinWidth_, autoSizeMinHeight_, host_.HorzBarHeight(),
                         host_.VertBarWidth());
}

// ---- Layout -------------------------------------------------------------------------------------

void TPGImageCore::SetPixelGraphicSize(int32_t width, int32_t height) {
  pixelGraphicWidth_ = std::max(width, 0);
  pixelGraphicHeight_ = std::max(height, 0);
}

TPGRect TPGImageCore::PicBoxRect() const {
  const TScrollInfo s = host_.ScrollInfo();
  return {picBox_.Left - s.HorzPos, picBox_.Top - s.VertPos, picBox_.Right - s.HorzPos,
          picBox_.Bottom - s.VertPos};
}

void TPGImageCore::CollapsePicBox() {
  picBox_ = TPGRect{};
  TScrollInfo s = host_.ScrollInfo();
  s.HorzPos = s.VertPos = 0;
  s.HorzRange = s.VertRange = 0;
  s.HorzVisible = s.VertVisible = false;
  arranging_ = true;
  host_.ApplyLayout(picBox_, s);
  arranging_ = false;
}

void TPGImageCore::Arrange(bool force) {
  const int32_t frame = host_.FrameWidth();
  TArrangeInput in;
  in.ImageWidth = pixelGraphicWidth_;
  in.ImageHeight = pixelGraphicHeight_;
  in.AvailWidth = host_.ViewWidth() - 2 * frame;
  in.AvailHeight = host_.ViewHeight() - 2 * frame;
  in.HorzBarHeight = host_.HorzBarHeight();
  in.VertBarWidth = host_.VertBarWidth();
  in.Stretch = stretch_;
  in.ZoomFactor = zoomFactor_;
  in.Center = center_;
  const TArrangeResult r = ComputeArrange(in);

  if (r.Zoom != effectiveZoom_) {
    effectiveZoom_ = r.Zoom;
    Fire(OnZoomFactorChange, sender_);
  }

  bool nothingToMove = picBox_.Width() == r.DisplayWidth && picBox_.Height() == r.DisplayHeight;
  if (nothingToMove && (rearrangeAlways_ || force)) {
    const TScrollInfo s = host_.ScrollInfo();
    const TPGRect current = PicBoxRect();
    nothingToMove = current.Left == r.OffsetX - r.Scroll.HorzPos &&
                    current.Top == r.OffsetY - r.Scroll.VertPos && s.HorzPos == r.Scroll.HorzPos &&
                    s.VertPos == r.Scroll.VertPos;
  }
  if (!nothingToMove) {
    picBox_ = RectFromBounds(r.OffsetX, r.OffsetY, r.DisplayWidth, r.DisplayHeight);
    arranging_ = true;
    host_.ApplyLayout(picBox_, r.Scroll);
    arranging_ = false;
  }
  host_.RealizePalette();
  host_.InvalidateView();
}

// ---- Coordinates ----------------------------------------------------------------------------------

int32_t TPGImageCore::ImageToPicBoxX(int32_t x) const {
  return pixelGraphicWidth_ <= 0 ? 0 : MulDivTrunc(x, picBox_.Width(), pixelGraphicWidth_);
}

int32_t TPGImageCore::ImageToPicBoxY(int32_t y) const {
  return pixelGraphicHeight_ <= 0 ? 0 : MulDivTrunc(y, picBox_.Height(), pixelGraphicHeight_);
}

int32_t TPGImageCore::PicBoxToImageX(int32_t x) const {
  return picBox_.Width() <= 0 ? 0 : MulDivTrunc(x, pixelGraphicWidth_, picBox_.Width());
}

int32_t TPGImageCore::PicBoxToImageY(int32_t y) const {
  return picBox_.Height() <= 0 ? 0 : MulDivTrunc(y, pixelGraphicHeight_, picBox_.Height());
}

// ---- Selection --------------------------------------------------------------------------------------

TPGRect TPGImageCore::SelectionRect() const {
  return {selLeft_, selTop_, static_cast<int32_t>(static_cast<int64_t>(selLeft_) + selWidth_),
          static_cast<int32_t>(static_cast<int64_t>(selTop_) + selHeight_)};
}

TPGRect TPGImageCore::SelectionPicBoxRect() const {
  const TPGRect r = SelectionRect();
  return {ImageToPicBoxX(r.Left), ImageToPicBoxY(r.Top), ImageToPicBoxX(r.Right), ImageToPicBoxY(r.Bottom)};
}

void TPGImageCore::SetSelection(bool value) {
  if (selection_ == value) return;
  selection_ = value;
  if (value) {
    host_.StartFrameTimer();
  } else {
    host_.StopFrameTimer();
  }
  host_.InvalidatePicBox();
  Fire(OnSelectionChange, sender_);
}

void TPGImageCore::InvalidateSelectionStrips() {
  const TPGRect box = PicBoxRect();
  TPGRect s = SelectionPicBoxRect();
  s = {s.Left + box.Left, s.Top + box.Top, s.Right + box.Left, s.Bottom + box.Top};
  for (const TPGRect& strip : SelectionStrips(s, SelectionMargin())) host_.InvalidateRect(strip);
}

void TPGImageCore::SetSelectionBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (left == selLeft_ && top == selTop_ && width == selWidth_ && height == selHeight_) return;
  if (selection_) InvalidateSelectionStrips();
  selLeft_ = left;
  selTop_ = top;
  selWidth_ = width;
  selHeight_ = height;
  if (selection_) InvalidateSelectionStrips();
  Fire(OnSelectionChange, sender_);
  if (selection_) host_.RepaintNow();
}

// ---- Mouse ------------------------------------------------------------------------------------------

bool TPGImageCore::PanningPossible() const {
  const TScrollInfo s = host_.ScrollInfo();
  return (picBox_.Width() > s.ClientWidth && s.HorzVisible) ||
         (picBox_.Height() > s.ClientHeight && s.VertVisible);
}

void TPGImageCore::MouseDown(TMouseButton button, TPGPoint p) {
  if (button != mbLeft) return;
  if (dragKind_ != dkNone) {
    // The release of the last drag never arrived (a dialog took the mouse meanwhile): end that
    // drag quietly so the view does not stay stuck in it.
    host_.ReleaseMouse();
    host_.StopAutoScrollTimer();
    dragKind_ = dkNone;
  }
  const TPGRect s = SelectionPicBoxRect();
  const bool inSelection = selection_ && s.Contains(p);

  if (IsSelectionMoveMode(actionMode_) && inSelection) {
    dragKind_ = dkMoveSelection;
    dragAnchor_ = p;
    const TPGPoint ip = PicBoxToImage(p);
    dragOffset_ = {ip.X - selLeft_, ip.Y - selTop_};
  } else if ((actionMode_ == amMoveImage || actionMode_ == amMoveSelectionMoveImage) && PanningPossible()) {
    dragKind_ = dkMoveImage;
    if (!host_.GlobalCursorSet()) host_.SetDragCursor(crHandClosed);
    dragAnchor_ = p;
  } else {
    TPGDragKind hit = dkNone;
    if (actionMode_ == amMoveResizeCreateSelection && selection_) {
      for (const TSelectionHandle& h : SelectionHandles(s)) {
        if (h.Rect.Contains(p)) {
          hit = h.Kind;
          break;
        }
      }
    }
    if (hit != dkNone) {
      dragKind_ = hit;
      dragAnchor_ = p;
      const int32_t ix = PicBoxToImageX(p.X);
      const int32_t iy = PicBoxToImageY(p.Y);
      switch (hit) {
        case dkResizeTopLeft:
        case dkResizeLeft:
        case dkResizeBottomLeft:
          dragOffset_.X = ix - selLeft_;
          break;
        case dkResizeTopRight:
        case dkResizeRight:
        case dkResizeBottomRight:
          dragOffset_.X = ix - selWidth_;
          break;
        default:
          dragOffset_.X = 0;
      }
      switch (hit) {
        case dkResizeTopLeft:
        case dkResizeTop:
        case dkResizeTopRight:
          dragOffset_.Y = iy - selTop_;
          break;
        case dkResizeBottomLeft:
        case dkResizeBottom:
        case dkResizeBottomRight:
          dragOffset_.Y = iy - selHeight_;
          break;
        default:
          dragOffset_.Y = 0;
      }
    } else if (actionMode_ == amMoveResizeCreateSelection || actionMode_ == amCreateSelection) {
      dragKind_ = dkCreateSelection;
      SetSelection(true);
      createAnchor_ = PicBoxToImage(p);
      SetSelectionBounds(createAnchor_.X, createAnchor_.Y, 1, 1);
    } else {
      return;
    }
  }
  host_.CaptureMouse();
  if (dragKind_ >= dkMoveSelection) host_.StartAutoScrollTimer();
}

void TPGImageCore::MouseMove(TPGPoint p) {
  if (dragKind_ == dkNone) return;
  const int32_t ix = PicBoxToImageX(p.X);
  const int32_t iy = PicBoxToImageY(p.Y);
  int32_t left = selLeft_, top = selTop_, width = selWidth_, height = selHeight_;
  const int32_t ox = dragOffset_.X, oy = dragOffset_.Y;
  auto newLeft = [&] {
    const int32_t nl = std::min(ix - ox, selLeft_ + selWidth_ - 1);
    width = selWidth_ + selLeft_ - nl;
    left = nl;
  };
  auto newTop = [&] {
    const int32_t nt = std::min(iy - oy, selTop_ + selHeight_ - 1);
    height = selHeight_ + selTop_ - nt;
    top = nt;
  };
  auto newWidth = [&] { width = std::max(ix - ox, 1); };
  auto newHeight = [&] { height = std::max(iy - oy, 1); };

  switch (dragKind_) {
    case dkNone:
      return;
    case dkMoveImage: {
      const TScrollInfo s0 = host_.ScrollInfo();
      host_.SetScrollPos(s0.HorzPos + dragAnchor_.X - p.X, s0.VertPos + dragAnchor_.Y - p.Y);
      const TScrollInfo s1 = host_.ScrollInfo();
      dragAnchor_ = {p.X + s1.HorzPos - s0.HorzPos, p.Y + s1.VertPos - s0.VertPos};
      host_.RepaintNow();
      return;
    }
    case dkMoveSelection:
      top = std::min(std::max(iy - oy, 1 - selHeight_), pixelGraphicHeight_ - 1);
      left = std::min(std::max(ix - ox, 1 - selWidth_), pixelGraphicWidth_ - 1);
      break;
    case dkCreateSelection:
      left = std::min(ix, createAnchor_.X);
      top = std::min(iy, createAnchor_.Y);
      width = std::max(ix, createAnchor_.X) - left + 1;
      height = std::max(iy, createAnchor_.Y) - top + 1;
      break;
    case dkResizeTopLeft:
      newLeft();
      newTop();
      break;
    case dkResizeTop:
      newTop();
      break;
    case dkResizeTopRight:
      newTop();
      newWidth();
      break;
    case dkResizeLeft:
      newLeft();
      break;
    case dkResizeRight:
      newWidth();
      break;
    case dkResizeBottomLeft:
      newLeft();
      newHeight();
      break;
    case dkResizeBottom:
      newHeight();
      break;
    case dkResizeBottomRight:
      newWidth();
      newHeight();
      break;
  }
  SetSelectionBounds(left, top, width, height);
}

void TPGImageCore::MouseUp(TMouseButton button, TPGPoint /*p*/) {
  if (button != mbLeft || dragKind_ == dkNone) return;
  host_.ReleaseMouse();
  if (dragKind_ > dkMoveImage) {
    SetSelection(true);
    Fire(OnSelectionMade, sender_);
  }
  host_.StopAutoScrollTimer();
  dragKind_ = dkNone;
}

void TPGImageCore::AutoScrollTick(TPGPoint cursor) {
  const TScrollInfo s = host_.ScrollInfo();
  const TPGPoint pos = AutoScrollStep(cursor, s);
  if (pos.X != s.HorzPos || pos.Y != s.VertPos) host_.SetScrollPos(pos.X, pos.Y);
}

TPGCursor TPGImageCore::ChooseCursor(TPGCursor base, TPGPoint p) const {
  TPGCursor c = base;
  if ((actionMode_ == amMoveImage || actionMode_ == amMoveSelectionMoveImage) && PanningPossible()) {
    c = dragKind_ == dkMoveImage ? crHandClosed : crHandOpen;
  }
  if (actionMode_ == amMoveResizeCreateSelection || actionMode_ == amCreateSelection) c = crSelCross;
  const TPGRect s = SelectionPicBoxRect();
  if (IsSelectionMoveMode(actionMode_) && selection_ && s.Contains(p)) c = crMoveArrow;
  if (actionMode_ == amMoveResizeCreateSelection && selection_) {
    const auto h = SelectionHandles(s);
    // Top/bottom middle, then left/right middle, then the two diagonals; a later hit wins.
    static constexpr int kOrder[8] = {1, 6, 3, 4, 0, 7, 2, 5};
    for (int i : kOrder) {
      if (h[i].Rect.Contains(p)) c = h[i].Cursor;
    }
  }
  return c;
}

}  // namespace pg
