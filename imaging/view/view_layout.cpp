#include "imaging/view/view_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pg {

namespace {

// A displayed size from a floating-point product, kept inside int32 (an absurd zoom must not
// overflow the conversion).
int32_t ClampToInt(long double v) {
  constexpr long double kMax = std::numeric_limits<int32_t>::max();
  if (!(v > 0.0L)) return 0;  // also NaN
  return v >= kMax ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(v);
}

int32_t ClampToInt(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

void ComputeScrollBars(int32_t contentWidth, int32_t contentHeight, int32_t availWidth, int32_t availHeight,
                       int32_t horzBarHeight, int32_t vertBarWidth, bool& horzBar, bool& vertBar) {
  int64_t c = availHeight;
  int64_t d = availWidth;
  horzBar = false;
  vertBar = false;
  for (int pass = 0; pass < 2; ++pass) {
    if (d < contentWidth && !horzBar) {
      c -= horzBarHeight;
      horzBar = true;
    }
    if (c < contentHeight && !vertBar) {
      d -= vertBarWidth;
      vertBar = true;
    }
  }
}

TArrangeResult ComputeArrange(const TArrangeInput& in) {
  TArrangeResult r;
  const int32_t imgW = in.ImageWidth;
  const int32_t imgH = in.ImageHeight;
  const int32_t availW = in.AvailWidth;
  const int32_t availH = in.AvailHeight;
  const int32_t sbH = in.HorzBarHeight;
  const int32_t sbW = in.VertBarWidth;
  int32_t dispW = imgW;
  int32_t dispH = imgH;
  long double zoom = 1.0L;

  if (imgW > 0 && imgH > 0 && availW > 0 && availH > 0) {
    const long double boxAspect = static_cast<long double>(availW) / availH;
    const long double imgAspect = static_cast<long double>(imgW) / imgH;
    auto fit = [&] {
      if (boxAspect >= imgAspect) {
        dispH = availH;
        dispW = ClampToInt(std::trunc(availH * imgAspect));
        zoom = static_cast<long double>(availH) / imgH;
      } else {
        dispW = availW;
        dispH = ClampToInt(std::trunc(availW / imgAspect));
        zoom = static_cast<long double>(availW) / imgW;
      }
    };
    auto edgeFit = [&] {
      fit();
      if (dispW >= availW - sbW && dispH >= availH - sbH) return;
      if (imgAspect < boxAspect) {
        dispW = availW - sbW;
        dispH = ClampToInt(std::trunc(dispW / imgAspect));
        zoom = static_cast<long double>(dispW) / imgW;
      } else {
        dispH = availH - sbH;
        dispW = ClampToInt(std::trunc(dispH * imgAspect));
        zoom = static_cast<long double>(dispH) / imgH;
      }
    };
    auto shrinkLongerEdge = [&] {
      // Reduced only when the picture would need both scroll bars.
      if ((imgW > availW && imgH > availH - sbH) || (imgW > availW - sbW && imgH > availH)) edgeFit();
    };

    switch (in.Stretch) {
      case sNeverKAR:
        break;
      case sAlways:
        dispW = availW;
        dispH = availH;
        zoom = -1.0L;
        break;
      case sAlwaysKAR:
        fit();
        break;
      case sShrink:
        if (availW < imgW) {
          dispW = availW;
          zoom = -1.0L;
        }
        if (availH < imgH) {
          dispH = availH;
          zoom = -1.0L;
        }
        break;
      case sShrinkKAR:
        if (!(availW >= imgW && availH >= imgH)) fit();
        break;
      case sEnlarge: {
        const int32_t c = availW < imgW ? availH - sbH : availH;
        const int32_t d = availH < imgH ? availW - sbW : availW;
        if (imgW < d) {
          dispW = d;
          zoom = -1.0L;
        }
        if (imgH < c) {
          dispH = c;
          zoom = -1.0L;
        }
        break;
      }
      case sEnlargeKAR:
        if (imgW < availW && imgH < availH) fit();
        break;
      case sAlwaysLongerEdgeKAR:
        edgeFit();
        break;
      case sShrinkLongerEdgeKAR:
        shrinkLongerEdge();
        break;
      case sEnlargeShrinkLongerEdgeKAR:
        if (imgW < availW && imgH < availH) {
          fit();
        } else {
          shrinkLongerEdge();
        }
        break;
      case sEnlargeLongerEdgeKAR:
        if (imgW < availW || imgH < availH) edgeFit();
        break;
      case sZoomKAR:
        zoom = in.ZoomFactor > 0.0L ? in.ZoomFactor : 1.0L;
        dispW = ClampToInt(std::nearbyint(imgW * zoom));
        dispH = ClampToInt(std::nearbyint(imgH * zoom));
        break;
    }
  }
  dispW = std::max(dispW, 0);
  dispH = std::max(dispH, 0);

  r.DisplayWidth = dispW;
  r.DisplayHeight = dispH;
  r.Zoom = zoom;

  bool hbar = false;
  bool vbar = false;
  if (in.Center) {
    ComputeScrollBars(dispW, dispH, availW, availH, sbH, sbW, hbar, vbar);
    const int32_t c = availH - (hbar ? sbH : 0);
    const int32_t d = availW - (vbar ? sbW : 0);
    if (dispH < c) r.OffsetY = (c - dispH) / 2;
    if (dispW < d) r.OffsetX = (d - dispW) / 2;
  }

  // The scroll box follows its content: the picture box with its offsets.
  TScrollInfo& s = r.Scroll;
  const int32_t extentW = ClampToInt(static_cast<int64_t>(r.OffsetX) + dispW);
  const int32_t extentH = ClampToInt(static_cast<int64_t>(r.OffsetY) + dispH);
  ComputeScrollBars(extentW, extentH, availW, availH, sbH, sbW, s.HorzVisible, s.VertVisible);
  s.HorzRange = extentW;
  s.VertRange = extentH;
  s.ClientWidth = std::max(availW - (s.VertVisible ? sbW : 0), 0);
  s.ClientHeight = std::max(availH - (s.HorzVisible ? sbH : 0), 0);
  if (in.Center) {
    if (hbar) s.HorzPos = (dispW - s.ClientWidth) / 2;
    if (vbar) s.VertPos = (dispH - s.ClientHeight) / 2;
  }
  return r;
}

TPGPoint ComputeAutoSize(int32_t imageWidth, int32_t imageHeight, int32_t frameWidth, int32_t maxWidth,
                         int32_t maxHeight, int32_t minWidth, int32_t minHeight, int32_t horzBarHeight,
                         int32_t vertBarWidth) {
  int64_t w = static_cast<int64_t>(imageWidth) + 2 * static_cast<int64_t>(frameWidth);
  int64_t h = static_cast<int64_t>(imageHeight) + 2 * static_cast<int64_t>(frameWidth);
  bool hbar = false;
  bool vbar = false;
  for (int pass = 0; pass < 2; ++pass) {
    if (maxWidth < w && !hbar) {
      hbar = true;
      h += horzBarHeight;
    }
    if (maxHeight < h && !vbar) {
      vbar = true;
      w += vertBarWidth;
    }
  }
  w = std::max<int64_t>(std::min<int64_t>(w, maxWidth), minWidth);
  h = std::max<int64_t>(std::min<int64_t>(h, maxHeight), minHeight);
  return TPGPoint{ClampToInt(w), ClampToInt(h)};
}

TPGPoint AutoScrollStep(TPGPoint cursor, const TScrollInfo& scroll) {
  TPGPoint pos{scroll.HorzPos, scroll.VertPos};
  if (cursor.X < 0 && scroll.HorzPos > 0) pos.X -= 5;
  if (cursor.Y < 0 && scroll.VertPos > 0) pos.Y -= 5;
  if (cursor.X >= scroll.ClientWidth && scroll.HorzPos < scroll.HorzRange - scroll.ClientWidth) pos.X += 5;
  if (cursor.Y >= scroll.ClientHeight && scroll.VertPos < scroll.VertRange - scroll.ClientHeight) pos.Y += 5;
  return pos;
}

std::vector<TPGRect> BackgroundBands(const TPGRect& b, int32_t clientWidth, int32_t clientHeight) {
  std::vector<TPGRect> bands;
  if (b.Top > 0) bands.push_back({0, 0, clientWidth, b.Top});
  if (b.Bottom < clientHeight) bands.push_back({0, b.Bottom, clientWidth, clientHeight});
  if (b.Left > 0) bands.push_back({0, 0, b.Left, clientHeight});
  if (b.Right < clientWidth) bands.push_back({b.Right, 0, clientWidth, clientHeight});
  return bands;
}

std::vector<TPaintTile> ComputeTiles(const TPGRect& b, int32_t clientWidth, int32_t clientHeight,
                                     TTiling tiling, bool flipHorizontal, bool flipVertical,
                                     const TPGRect& clip) {
  std::vector<TPaintTile> tiles;
  const int32_t w = b.Width();
  const int32_t h = b.Height();
  if (w <= 0 || h <= 0) return tiles;
  int32_t iFrom = 0, iTo = 0, jFrom = 0, jTo = 0;
  if (tiling != tNone) {
    jFrom = b.Top > 0 ? static_cast<int32_t>((1 - static_cast<int64_t>(b.Bottom)) / h) : 0;
    jTo = b.Bottom < clientHeight ? static_cast<int32_t>((static_cast<int64_t>(clientHeight) - b.Top - 1) / h)
                                  : 0;
    iFrom = b.Left > 0 ? static_cast<int32_t>((1 - static_cast<int64_t>(b.Right)) / w) : 0;
    iTo = b.Right < clientWidth ? static_cast<int32_t>((static_cast<int64_t>(clientWidth) - b.Left - 1) / w)
                                : 0;
  }
  const bool mirrorColumns = tiling == tMirrorHorizontal || tiling == tMirror;
  const bool mirrorRows = tiling == tMirrorVertical || tiling == tMirror;
  for (int32_t j = jFrom; j <= jTo; ++j) {
    for (int32_t i = iFrom; i <= iTo; ++i) {
      TPaintTile t;
      const int64_t left = b.Left + static_cast<int64_t>(i) * w;
      const int64_t top = b.Top + static_cast<int64_t>(j) * h;
      t.Rect = TPGRect{ClampToInt(left), ClampToInt(top), ClampToInt(left + w), ClampToInt(top + h)};
      if (!t.Rect.Intersects(clip)) continue;
      t.Column = i;
      t.Row = j;
      t.MirrorHorizontal = flipHorizontal != (i % 2 != 0 && mirrorColumns);
      t.MirrorVertical = flipVertical != (j % 2 != 0 && mirrorRows);
      tiles.push_back(t);
    }
  }
  return tiles;
}

TPGRect MirroredDrawRect(const TPaintTile& tile) {
  TPGRect r = tile.Rect;
  if (tile.MirrorHorizontal) {
    r.Left = tile.Rect.Right - 1;
    r.Right = tile.Rect.Left - 1;
  }
  if (tile.MirrorVertical) {
    r.Top = tile.Rect.Bottom - 1;
    r.Bottom = tile.Rect.Top - 1;
  }
  return r;
}

TNeedPaintDecision DecideNeedPaint(const TNeedPaintInput& in) {
  TNeedPaintDecision d;
  bool dirty =
      in.PaintDirty || (in.StretchMode != smFast && !in.ReduceOnLoad &&
                        (in.PicBoxWidth != in.BuiltForWidth || in.PicBoxHeight != in.BuiltForHeight));
  bool needed = false;
  if (in.HasImage) {
    const int32_t bpp = in.ScreenBits;
    const int32_t c = in.ImageBits;
    needed = bpp < c && bpp <= 8;
    d.Sized =
        in.StretchMode != smFast && (in.PicBoxWidth != in.ImageWidth || in.PicBoxHeight != in.ImageHeight);
    needed = needed || d.Sized;
    if (c <= 8 && bpp <= 8) {
      if (bpp == 4) {
        needed = needed || (in.ImagePaletteIdent != pSys16 && (!in.ReduceOnLoad || dirty));
      } else if (!needed) {
        if (in.Palette8BitSys8BitGraphic == pSource || in.Palette8BitSys8BitGraphic == in.ImagePaletteIdent) {
          needed = false;
        } else {
          needed = !in.ReduceOnLoad || dirty;
        }
      }
    }
  }
  d.Needed = needed;
  d.PaintDirty = dirty;
  d.FreeCopy = in.CopyExists && ((dirty && !(in.KeepOldPaintPixelGraphic && in.UseThread)) || !needed);
  const bool copyExists = in.CopyExists && !d.FreeCopy;
  d.StartBuild = needed && (dirty || (!copyExists && in.WorkerTerminated));
  return d;
}

std::vector<TPGPoint> ProgressClockOrigins(const TPGRect& b, bool fiveClocks) {
  std::vector<TPGPoint> origins;
  const int32_t w = b.Width();
  const int32_t h = b.Height();
  if (w > 20 && h > 20) origins.push_back({b.Left + w / 2 - 7, b.Top + h / 2 - 7});
  if (fiveClocks && w >= 101 && h >= 101) {
    origins.push_back({b.Left + 5, b.Top + 5});
    origins.push_back({b.Right - 20, b.Top + 5});
    origins.push_back({b.Left + 5, b.Bottom - 20});
    origins.push_back({b.Right - 20, b.Bottom - 20});
  }
  return origins;
}

TClockHands ProgressClockHands(TPGPoint origin, int32_t step, int32_t percent) {
  constexpr double kPi = 3.14159265358979323846;
  const double m = percent * kPi * 0.02;
  const double hr = ((step - 1) * 2 * kPi + m) / 12;
  TClockHands c;
  c.Circle = TPGRect{origin.X, origin.Y, origin.X + 15, origin.Y + 15};
  c.Centre = TPGPoint{origin.X + 7, origin.Y + 7};
  c.HourEnd = TPGPoint{c.Centre.X + static_cast<int32_t>(std::nearbyint(std::sin(hr) * 6)),
                       c.Centre.Y - static_cast<int32_t>(std::nearbyint(std::cos(hr) * 6))};
  c.MinuteEnd = TPGPoint{c.Centre.X + static_cast<int32_t>(std::nearbyint(std::sin(m) * 7)),
                         c.Centre.Y - static_cast<int32_t>(std::nearbyint(std::cos(m) * 7))};
  return c;
}

std::array<TColor, 64> AntsPattern(int32_t phase, TColor color1, TColor color2) {
  std::array<TColor, 64> p{};
  const int32_t k = ((phase % 8) + 8) % 8;
  for (int32_t r = 0; r < 8; ++r) {
    for (int32_t c = 0; c < 8; ++c) p[r * 8 + c] = ((r + c - k + 8) % 8) > 3 ? color2 : color1;
  }
  return p;
}

int32_t AntsBrushPhase(int32_t antsPhase, const TPGRect& s) {
  const int64_t v = static_cast<int64_t>(antsPhase) + s.Left + s.Top;
  return static_cast<int32_t>(((v % 8) + 8) % 8);
}

}  // namespace pg
