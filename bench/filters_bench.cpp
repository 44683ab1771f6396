// The colour filters in place on a 24-bit 6000 x 4000 image (72 MB of pixels).
//
// "photo": smooth colour fields with a little noise, about as many distinct colours as a camera
// picture of that size; "noise": random bytes, nearly every pixel a colour of its own (the worst
// case for the HLS filter, which computes each distinct colour once).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/filters/filter.h"
#include "imaging/image/pixel_graphic.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

std::unique_ptr<pg::TPixelGraphic> MakeImage(bool noise) {
  auto image = std::make_unique<pg::TPixelGraphic>();
  image->NewImage(kWidth, kHeight, pg::bc24Bit);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = image->ScanLine(y);
    for (int32_t x = 0; x < kWidth; ++x) {
      for (int c = 0; c < 3; ++c) {
        seed = seed * 1664525u + 1013904223u;
        if (noise) {
          row[3 * x + c] = static_cast<uint8_t>(seed >> 24);
          continue;
        }
        const double fx = x / 900.0 * (c + 1);
        const double fy = y / 700.0 * (3 - c);
        const double base =
            128 + 70 * std::sin(fx + 0.7 * c) * std::cos(fy) + 40 * std::sin(0.3 * fx * fy + c);
        const double v = base + static_cast<int>((seed >> 24) % 9) - 4;
        row[3 * x + c] = static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
      }
    }
  }
  return image;
}

int64_t DistinctColours(const pg::TPixelGraphic& image) {
  std::vector<bool> seen(size_t{1} << 24);
  int64_t count = 0;
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < image.Width(); ++x) {
      const uint32_t c = row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
      if (!seen[c]) {
        seen[c] = true;
        ++count;
      }
    }
  }
  return count;
}

const pg::TPixelGraphic& Original(bool noise) {
  static std::unique_ptr<pg::TPixelGraphic> photo;
  static std::unique_ptr<pg::TPixelGraphic> random;
  auto& slot = noise ? random : photo;
  if (!slot) slot = MakeImage(noise);
  return *slot;
}

void RunInPlace(benchmark::State& state, pg::TPGFilter& filter, bool noise) {
  const pg::TPixelGraphic& original = Original(noise);
  pg::TPixelGraphic image;
  image.Assign(&original);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(image.Bits(), original.Bits(), static_cast<size_t>(original.ImageSize()));
    state.ResumeTiming();
    image.ApplyFilter(filter, image);
    benchmark::DoNotOptimize(image.Bits());
  }
  state.counters["colours"] = static_cast<double>(DistinctColours(original));
  state.SetBytesProcessed(state.iterations() * original.ImageSize());
}

void BM_RGBInPlace(benchmark::State& state) {
  pg::TRGBFilter filter;
  filter.SetAdjustment(20, -10, 30);
  RunInPlace(state, filter, false);
}

void BM_CMYInPlace(benchmark::State& state) {
  pg::TCMYFilter filter;
  filter.SetAdjustment(20, -10, 30);
  RunInPlace(state, filter, false);
}

void BM_HLSInPlace(benchmark::State& state) {
  pg::THLSFilter filter;
  filter.SetAdjustment(45, 10, -20);
  RunInPlace(state, filter, state.range(0) != 0);
}

}  // namespace

BENCHMARK(BM_RGBInPlace)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_CMYInPlace)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_HLSInPlace)
    ->Arg(0)
    ->ArgName("noise")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_HLSInPlace)
    ->Arg(1)
    ->ArgName("noise")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(3);
