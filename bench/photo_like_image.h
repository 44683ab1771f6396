// A deterministic photo-like test picture for the colour reduction measurements: smooth colour
// fields (a plasma of crossing waves and ripples), a light fall-off towards the corners, and mild
// noise. The same generator feeds the palette builder's test and the reduction benchmarks, so the
// figures measured with other tools on its output stay comparable.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "imaging/image/pixel_graphic.h"

namespace pg::photo {

// The size the palette builder's test uses (its error bound was measured on this picture).
inline constexpr int32_t kTestWidth = 256;
inline constexpr int32_t kTestHeight = 192;
// The size of the reduction benchmarks: a 24-megapixel camera picture.
inline constexpr int32_t kBenchWidth = 6000;
inline constexpr int32_t kBenchHeight = 4000;

// Fills `image` as a 24-bit picture of the given size; the same size gives the same pixels.
inline void MakePhotoLikeImage(TPixelGraphic& image, int32_t width, int32_t height) {
  image.NewImage(width, height, bc24Bit);
  constexpr double kTau = 2.0 * std::numbers::pi;
  // Waves sin(fx * u + fy * v + phase), summed per channel with these amplitudes; computed as
  // sin(a) cos(b) + cos(a) sin(b) from per-column and per-row tables.
  struct TWave {
    double fx, fy, phase, amp[3];
  };
  constexpr TWave kWaves[] = {
      {1.3, 0.4, 0.5, {70, 20, -30}},  {0.5, 1.7, 1.9, {-25, 60, 35}}, {3.1, -2.2, 0.7, {30, -15, 55}},
      {-2.6, 3.4, 2.8, {18, 30, -22}}, {6.5, 4.1, 0.2, {10, 8, 12}},   {-4.7, 7.3, 4.1, {-9, 12, 7}},
  };
  const size_t waveCount = std::size(kWaves);
  std::vector<double> su(waveCount * width), cu(waveCount * width), sv(waveCount * height),
      cv(waveCount * height);
  for (size_t k = 0; k < waveCount; ++k) {
    for (int32_t x = 0; x < width; ++x) {
      const double a = kTau * kWaves[k].fx * x / width;
      su[k * width + x] = std::sin(a);
      cu[k * width + x] = std::cos(a);
    }
    for (int32_t y = 0; y < height; ++y) {
      const double b = kTau * kWaves[k].fy * y / height + kWaves[k].phase;
      sv[k * height + y] = std::sin(b);
      cv[k * height + y] = std::cos(b);
    }
  }
  uint32_t state = 0x9E3779B9u;  // xorshift32: the same noise on every platform
  auto noise = [&state]() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<double>(state % 9) - 4.0;  // -4 .. 4
  };
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = image.ScanLine(y);
    const double v = static_cast<double>(y) / height;
    for (int32_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width;
      double c[3] = {120.0, 115.0, 105.0};
      for (size_t k = 0; k < waveCount; ++k) {
        const double s = su[k * width + x] * cv[k * height + y] + cu[k * width + x] * sv[k * height + y];
        for (int i = 0; i < 3; ++i) c[i] += kWaves[k].amp[i] * s;
      }
      // Ripples around an off-centre point, stronger in red and blue.
      const double du = u - 0.62, dv = v - 0.35;
      const double ripple = std::sin(kTau * 5.0 * std::sqrt(du * du + dv * dv));
      c[0] += 22.0 * ripple;
      c[2] -= 18.0 * ripple;
      // Light fall-off towards the corners, as a lens gives.
      const double falloff = 1.0 - 0.55 * ((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)) * 2.0;
      const double n = noise();
      for (int i = 0; i < 3; ++i) c[i] = std::clamp(std::round(c[i] * falloff + n), 0.0, 255.0);
      row[3 * x] = static_cast<uint8_t>(c[2]);
      row[3 * x + 1] = static_cast<uint8_t>(c[1]);
      row[3 * x + 2] = static_cast<uint8_t>(c[0]);
    }
  }
}

// Mean squared error per channel sample when every pixel of the 24-bit `image` is mapped to its
// nearest palette entry (squared RGB distance, first entry on a tie), without dithering.
inline double NearestMappingError(const TPixelGraphic& image, const std::vector<TColor>& palette) {
  if (image.Empty() || palette.empty()) return 0.0;
  std::vector<int32_t> distance(size_t{1} << 24, -1);  // per colour, filled on first sight
  double total = 0.0;
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* p = image.ScanLine(y);
    for (int32_t x = 0; x < image.Width(); ++x, p += 3) {
      const uint32_t key = (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      int32_t& d = distance[key];
      if (d < 0) {
        d = INT32_MAX;
        for (TColor c : palette) {
          const int32_t dr = int32_t{p[2]} - GetRValue(c), dg = int32_t{p[1]} - GetGValue(c),
                        db = int32_t{p[0]} - GetBValue(c);
          d = std::min(d, dr * dr + dg * dg + db * db);
        }
      }
      total += d;
    }
  }
  return total / (3.0 * static_cast<double>(image.Width()) * image.Height());
}

}  // namespace pg::photo
