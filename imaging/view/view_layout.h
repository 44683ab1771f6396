// Geometry of the image view without a toolkit: the displayed size and position of the picture
// (stretch rules, zoom, centring, scroll bars), the auto size, the auto-scroll step, the paint
// tiles, the display-copy decision, the progress clocks and the selection frame's patterns.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "imaging/view/view_types.h"

namespace pg {

// Scroll-bar state of a scroll box. Range is the extent of the content; a position runs from 0
// to Range - client size.
struct TScrollInfo {
  int32_t HorzPos = 0;
  int32_t VertPos = 0;
  int32_t HorzRange = 0;
  int32_t VertRange = 0;
  bool HorzVisible = false;
  bool VertVisible = false;
  int32_t ClientWidth = 0;
  int32_t ClientHeight = 0;
};

struct TArrangeInput {
  int32_t ImageWidth = 0;
  int32_t ImageHeight = 0;
  int32_t AvailWidth = 0;  // view width minus both frame borders
  int32_t AvailHeight = 0;
  int32_t HorzBarHeight = 0;  // height of a horizontal scroll bar
  int32_t VertBarWidth = 0;   // width of a vertical scroll bar
  TStretch Stretch = sNeverKAR;
  long double ZoomFactor = 1.0L;
  bool Center = false;
};

struct TArrangeResult {
  int32_t DisplayWidth = 0;
  int32_t DisplayHeight = 0;
  long double Zoom = 1.0L;  // -1.0 when the axes are scaled differently
  int32_t OffsetX = 0;      // centring offsets of the picture box
  int32_t OffsetY = 0;
  // The scroll box once the picture box is in place: bars, ranges, client size and the scroll
  // positions the layout leaves (the middle where centring needs a bar, else 0).
  TScrollInfo Scroll;
};

// Displayed size, zoom, centring and scroll-bar layout of a picture.
TArrangeResult ComputeArrange(const TArrangeInput& in);

// Scroll bars needed for content of the given extent in the available area; each bar that
// appears takes room from the other direction, so the test runs twice.
void ComputeScrollBars(int32_t contentWidth, int32_t contentHeight, int32_t availWidth, int32_t availHeight,
                       int32_t horzBarHeight, int32_t vertBarWidth, bool& horzBar, bool& vertBar);

// The view size AutoSize takes for an image (frame and scroll bars included, limits applied).
TPGPoint ComputeAutoSize(int32_t imageWidth, int32_t imageHeight, int32_t frameWidth, int32_t maxWidth,
                         int32_t maxHeight, int32_t minWidth, int32_t minHeight, int32_t horzBarHeight,
                         int32_t vertBarWidth);

// New scroll positions after one auto-scroll tick with the cursor at `cursor` (client pixels).
TPGPoint AutoScrollStep(TPGPoint cursor, const TScrollInfo& scroll);

// The four background bands of the client area around the picture box B (only non-empty ones).
std::vector<TPGRect> BackgroundBands(const TPGRect& b, int32_t clientWidth, int32_t clientHeight);

struct TPaintTile {
  TPGRect Rect;  // where the picture goes, client pixels
  int32_t Column = 0;
  int32_t Row = 0;
  bool MirrorHorizontal = false;
  bool MirrorVertical = false;
};

// Tiles of the picture box B that meet `clip`, with their mirroring.
std::vector<TPaintTile> ComputeTiles(const TPGRect& b, int32_t clientWidth, int32_t clientHeight,
                                     TTiling tiling, bool flipHorizontal, bool flipVertical,
                                     const TPGRect& clip);

// The rectangle a mirrored tile is stretch-drawn into: left and right (top and bottom) swapped
// and both decreased by 1 for a horizontal (vertical) mirror.
TPGRect MirroredDrawRect(const TPaintTile& tile);

struct TNeedPaintInput {
  bool HasImage = false;
  int32_t ScreenBits = 32;  // bits per pixel times planes
  int32_t ImageBits = 24;
  TStretchMode StretchMode = smFast;
  bool ReduceOnLoad = false;
  int32_t PicBoxWidth = 0;
  int32_t PicBoxHeight = 0;
  int32_t ImageWidth = 0;
  int32_t ImageHeight = 0;
  int32_t BuiltForWidth = 0;
  int32_t BuiltForHeight = 0;
  bool PaintDirty = false;
  TPaletteIdent ImagePaletteIdent = pTrueColor;
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic = pOptimized252Sys16;
  bool KeepOldPaintPixelGraphic = false;
  bool UseThread = true;
  bool CopyExists = false;
  bool WorkerTerminated = false;
};

struct TNeedPaintDecision {
  bool Needed = false;      // the display copy is to be painted instead of the image
  bool Sized = false;       // the copy differs from the image in size
  bool PaintDirty = false;  // the new PaintDirty (before a build clears it)
  bool FreeCopy = false;    // stop the worker and free the existing copy first
  bool StartBuild = false;  // start building a new copy
};

// Whether a display copy is needed and whether one must be built now.
TNeedPaintDecision DecideNeedPaint(const TNeedPaintInput& in);

// Progress clocks: the top-left corners of the clocks drawn in picture box B.
std::vector<TPGPoint> ProgressClockOrigins(const TPGRect& b, bool fiveClocks);

struct TClockHands {
  TPGRect Circle;  // bounding box of the dial
  TPGPoint Centre;
  TPGPoint HourEnd;
  TPGPoint MinuteEnd;
};

// One clock at `origin` for the given step (from 1) and percent (0..100).
TClockHands ProgressClockHands(TPGPoint origin, int32_t step, int32_t percent);

// Pattern of the selection frame for phase k: 8 x 8 colours, row-major (index row * 8 + column).
std::array<TColor, 64> AntsPattern(int32_t phase, TColor color1, TColor color2);

// The pattern phase used to frame the selection S (keeps the stripes fixed to the rectangle).
int32_t AntsBrushPhase(int32_t antsPhase, const TPGRect& s);

}  // namespace pg
