// Zooming the source page, free of any toolkit: the preset zoom levels, the zoom at which a picture
// fits an area, and one axis of the picture as the view shows it (screen pixels to picture pixels
// and back), so that tools, rulers and hit tests work in picture pixels at any zoom.
#pragma once

#include <cstdint>

namespace tessel {

inline constexpr long double kMinZoom = 1.0L / 64;
inline constexpr long double kMaxZoom = 32.0L;

// The next preset level above (below) `zoom`; at the end of the range the end itself.
long double ZoomInStep(long double zoom);
long double ZoomOutStep(long double zoom);
// `zoom` brought into kMinZoom..kMaxZoom (1 for a zoom that is not a positive number).
long double ClampZoom(long double zoom);
// The largest zoom, at most `limit`, at which a picture of imageWidth x imageHeight, rounded to
// whole pixels as the view rounds it, fits into availWidth x availHeight. 1 when there is no
// picture or no room.
long double FitZoom(int32_t imageWidth, int32_t imageHeight, int32_t availWidth, int32_t availHeight,
                    long double limit = kMaxZoom);

// One axis of the shown picture: `Image` picture pixels over `Display` screen pixels. Screen
// offsets count from the picture's edge (negative before it). Without a picture (either size 0)
// the mapping is the identity, as at actual size.
struct TAxisScale {
  int32_t Image = 0;
  int32_t Display = 0;

  bool Valid() const { return Image > 0 && Display > 0; }
  bool ActualSize() const { return Image == Display; }
  // The screen offset of picture position p (truncating, as the view maps image to screen).
  int32_t ToScreen(int32_t p) const;
  // The picture pixel under screen offset s (rounded down, also before the picture's edge).
  int32_t PixelAt(int32_t s) const;
  // The split position (a boundary between two pixels) nearest to screen offset s.
  int32_t LineAt(int32_t s) const;
  // A distance of `pixels` screen pixels in picture pixels, rounded down.
  int32_t Span(int32_t pixels) const;
};

}  // namespace tessel
