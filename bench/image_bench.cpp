// Raster image core: rectangle copies and colour lookups on photo-sized images.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "imaging/image/pixel_graphic.h"

namespace {

using pg::TPixelGraphic;

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

// A photo-like 24-bit image: smooth gradients with some texture and noise.
const TPixelGraphic& PhotoLike() {
  static TPixelGraphic* image = [] {
    auto* img = new TPixelGraphic;
    img->NewImage(kWidth, kHeight, pg::bc24Bit);
    std::mt19937 rng(1);
    for (int32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = img->ScanLine(y);
      for (int32_t x = 0; x < kWidth; ++x) {
        const double fx = x / static_cast<double>(kWidth), fy = y / static_cast<double>(kHeight);
        const int noise = static_cast<int>(rng() % 9) - 4;
        const double wave = 40 * std::sin(fx * 17 + fy * 5) * std::cos(fy * 11);
        auto clamp = [](double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
        row[3 * x + 0] = clamp(200 * fy + wave + noise);
        row[3 * x + 1] = clamp(120 + 100 * fx * fy - wave + noise);
        row[3 * x + 2] = clamp(230 * fx + 0.5 * wave + noise);
      }
    }
    return img;
  }();
  return *image;
}

void BM_CopyRect24To24(benchmark::State& state) {
  const TPixelGraphic& source = PhotoLike();
  TPixelGraphic target;
  target.NewImage(kWidth, kHeight, pg::bc24Bit);
  for (auto _ : state) {
    target.CopyRect(0, 0, kWidth, kHeight, 0, 0, source);
    benchmark::DoNotOptimize(target.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_CopyRect24To24)->Unit(benchmark::kMillisecond);

void BM_CopyRect24To8DitherSpecial216(benchmark::State& state) {
  const TPixelGraphic& source = PhotoLike();
  TPixelGraphic target;
  target.NewImage(kWidth, kHeight, pg::bc8Bit);
  target.SetPaletteIdent(pg::pSpecial216);
  for (auto _ : state) {
    target.CopyRect(0, 0, kWidth, kHeight, 0, 0, source);
    benchmark::DoNotOptimize(target.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_CopyRect24To8DitherSpecial216)->Unit(benchmark::kMillisecond);

// ColorToIndex on an arbitrary 252-entry palette, with the inverse colour map (arg 1) or by
// exhaustive search (arg 0), for a million random colours (so the last-lookup cache never hits).
void BM_ColorToIndexUnknownPalette(benchmark::State& state) {
  std::mt19937 rng(2);
  TPixelGraphic image;
  image.NewImage(1, 1, pg::bc8Bit);
  image.SetPaletteCount(252);
  for (int32_t i = 0; i < 252; ++i) image.SetPaletteEntries(i, rng() & 0xFFFFFF);
  image.SetUseColorCache(state.range(0) != 0);
  std::vector<pg::TColor> colors(1 << 20);
  for (auto& c : colors) c = rng() & 0xFFFFFF;
  for (auto _ : state) {
    uint32_t sum = 0;
    for (pg::TColor c : colors) sum += image.ColorToIndex(c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(colors.size()));
}
BENCHMARK(BM_ColorToIndexUnknownPalette)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
