#include "workspace/view_zoom.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tessel {

namespace {

// From 1/64 to 32 in steps of about 1.5 (alternating 4/3 and 3/2), with 1 among them.
constexpr std::array<long double, 23> kZoomLevels = {
    1.0L / 64, 1.0L / 48, 1.0L / 32, 1.0L / 24, 1.0L / 16, 1.0L / 12, 1.0L / 8, 1.0L / 6,
    1.0L / 4,  1.0L / 3,  1.0L / 2,  2.0L / 3,  1.0L,      1.5L,      2.0L,     3.0L,
    4.0L,      6.0L,      8.0L,      12.0L,     16.0L,     24.0L,     32.0L};

// A zoom within this factor of a level counts as that level (fit zooms land anywhere).
constexpr long double kSameLevel = 1.001L;

int64_t FloorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

int32_t ToInt(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

long double ClampZoom(long double zoom) {
  if (!(zoom > 0.0L) || !std::isfinite(zoom)) return 1.0L;
  return std::clamp(zoom, kMinZoom, kMaxZoom);
}

long double ZoomInStep(long double zoom) {
  zoom = ClampZoom(zoom);
  for (long double level : kZoomLevels) {
    if (level > zoom * kSameLevel) return level;
  }
  return kMaxZoom;
}

long double ZoomOutStep(long double zoom) {
  zoom = ClampZoom(zoom);
  for (auto it = kZoomLevels.rbegin(); it != kZoomLevels.rend(); ++it) {
    if (*it * kSameLevel < zoom) return *it;
  }
  return kMinZoom;
}

long double FitZoom(int32_t imageWidth, int32_t imageHeight, int32_t availWidth, int32_t availHeight,
                    long double limit) {
  if (imageWidth <= 0 || imageHeight <= 0 || availWidth <= 0 || availHeight <= 0) return 1.0L;
  long double zoom = std::min(static_cast<long double>(availWidth) / imageWidth,
                              static_cast<long double>(availHeight) / imageHeight);
  zoom = std::min(zoom, ClampZoom(limit));
  // The view rounds the displayed size to the nearest pixel; step below any zoom that rounds up.
  while (zoom > kMinZoom && (std::nearbyint(imageWidth * zoom) > availWidth ||
                             std::nearbyint(imageHeight * zoom) > availHeight)) {
    zoom = std::nextafter(zoom, 0.0L);
  }
  return ClampZoom(zoom);
}

int32_t TAxisScale::ToScreen(int32_t p) const {
  if (!Valid()) return p;
  return ToInt(static_cast<int64_t>(p) * Display / Image);
}

int32_t TAxisScale::PixelAt(int32_t s) const {
  if (!Valid()) return s;
  return ToInt(FloorDiv(static_cast<int64_t>(s) * Image, Display));
}

int32_t TAxisScale::LineAt(int32_t s) const {
  if (!Valid()) return s;
  // floor(s * Image / Display + 1/2)
  return ToInt(FloorDiv(2 * static_cast<int64_t>(s) * Image + Display, 2 * static_cast<int64_t>(Display)));
}

int32_t TAxisScale::Span(int32_t pixels) const {
  if (pixels <= 0) return 0;
  if (!Valid()) return pixels;
  return ToInt(static_cast<int64_t>(pixels) * Image / Display);
}

}  // namespace tessel
