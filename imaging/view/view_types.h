// Types shared by the image view's toolkit-free core and its Qt widget: the enumerations of the
// view, integer rectangles and points, cursors and the event signatures.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/image/types.h"

namespace pg {

// What a left-button drag on the picture does.
enum TActionMode : uint8_t {
  amMoveImage,
  amMoveResizeCreateSelection,
  amMoveSelection,
  amMoveSelectionMoveImage,
  amCreateSelection,
  amNone,
};

// How the picture is sized to the view ("KAR": keep aspect ratio).
enum TStretch : uint8_t {
  sNeverKAR,
  sAlways,
  sAlwaysKAR,
  sShrink,
  sShrinkKAR,
  sEnlarge,
  sEnlargeKAR,
  sAlwaysLongerEdgeKAR,
  sShrinkLongerEdgeKAR,
  sEnlargeShrinkLongerEdgeKAR,
  sEnlargeLongerEdgeKAR,
  sZoomKAR,
};

enum TTiling : uint8_t { tNone, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };

// Drag states of the mouse handling, in this order (the resize states follow the handle table).
enum TPGDragKind : uint8_t {
  dkNone,
  dkMoveImage,
  dkMoveSelection,
  dkCreateSelection,
  dkResizeTopLeft,
  dkResizeTop,
  dkResizeTopRight,
  dkResizeLeft,
  dkResizeRight,
  dkResizeBottomLeft,
  dkResizeBottom,
  dkResizeBottomRight,
};

// Palette choice for the display copy on an 8-bit screen: pBlackWhite..pOptimized252Sys16 for a
// true-colour image, pBlackWhite..pSource for a palette image.
using TPalette8BitSys24BitGraphic = TPaletteIdent;
using TPalette8BitSys8BitGraphic = TPaletteIdent;

// Mouse cursors the view chooses; the widget maps them to the toolkit's cursors.
enum TPGCursor : uint8_t {
  crDefault,  // the control's own cursor (arrow)
  crArrow,
  crHourGlass,
  crHandOpen,    // panning possible
  crHandClosed,  // panning under way
  crSelCross,    // creating a selection
  crMoveArrow,   // four-headed arrow over the selection
  crSizeNWSE,
  crSizeNESW,
  crSizeNS,
  crSizeWE,
  crCross,  // the toolkit's plain cross
};

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

// Keyboard and mouse-button state of a mouse event, as bit flags.
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 1u << 0;
constexpr TShiftState ssAlt = 1u << 1;
constexpr TShiftState ssCtrl = 1u << 2;
constexpr TShiftState ssLeft = 1u << 3;
constexpr TShiftState ssRight = 1u << 4;
constexpr TShiftState ssMiddle = 1u << 5;
constexpr TShiftState ssDouble = 1u << 6;

struct TPGPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPGPoint&, const TPGPoint&) = default;
};

// Integer rectangle, right and bottom exclusive.
struct TPGRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool Contains(TPGPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Intersects(const TPGRect& r) const {
    return Left < r.Right && r.Left < Right && Top < r.Bottom && r.Top < Bottom;
  }
  friend bool operator==(const TPGRect&, const TPGRect&) = default;
};

constexpr TPGRect RectFromBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
  return TPGRect{left, top, left + width, top + height};
}

// Mouse events deliver the position in the coordinates named by the event (picture box pixels
// for the PicBoxOn... events, client pixels of the view for OnMouse...).
using TMouseEvent =
    std::function<void(const void* sender, TMouseButton button, TShiftState shift, int32_t x, int32_t y)>;
using TMouseMoveEvent = std::function<void(const void* sender, TShiftState shift, int32_t x, int32_t y)>;
// The view asks for the cursor to show; the handler may change it.
using TPGSetCursorEvent = std::function<void(const void* sender, TPGCursor& cursor)>;
// The size the view would take under AutoSize.
using TPGINewAutoSizeEvent =
    std::function<void(const void* sender, int32_t pgImageWidth, int32_t pgImageHeight)>;

}  // namespace pg
