// The colour filters in place on a 24-bit 6000 x 4000 image (72 MB of pixels).
//
// "photo": the shared photo-like picture (smooth colour fields, mild noise); "noise": random bytes,
// nearly every pixel a colour of its own (the worst case for the HLS filter, which reuses the
// results of colours met shortly before).
//
//   filters_bench --write-ppm=FILE   writes the photo-like picture as a binary PPM, for timing
//                                    other tools on the same pixels

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/photo_like_image.h"
#include "imaging/filters/filter.h"
#include "imaging/image/pixel_graphic.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

std::unique_ptr<pg::TPixelGraphic> MakeImage(bool noise) {
  auto image = std::make_unique<pg::TPixelGraphic>();
  if (!noise) {
    pg::photo::MakePhotoLikeImage(*image, kWidth, kHeight);
    return image;
  }
  image->NewImage(kWidth, kHeight, pg::bc24Bit);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = image->ScanLine(y);
    for (int32_t x = 0; x < 3 * kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      row[x] = static_cast<uint8_t>(seed >> 24);
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

int WritePPM(const char* fileName) {
  const pg::TPixelGraphic& image = Original(false);
  std::FILE* file = std::fopen(fileName, "wb");
  if (!file) return 1;
  std::fprintf(file, "P6\n%d %d\n255\n", image.Width(), image.Height());
  std::vector<uint8_t> rgb(3 * static_cast<size_t>(image.Width()));
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.ScanLine(y);
    for (int32_t x = 0; x < image.Width(); ++x) {
      rgb[3 * x] = row[3 * x + 2];
      rgb[3 * x + 1] = row[3 * x + 1];
      rgb[3 * x + 2] = row[3 * x];
    }
    std::fwrite(rgb.data(), 1, rgb.size(), file);
  }
  return std::fclose(file) == 0 ? 0 : 1;
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

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--write-ppm=", 12) == 0) return WritePPM(argv[i] + 12);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
