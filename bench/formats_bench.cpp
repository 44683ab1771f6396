// Encoding and decoding speed of the BMP, PNG and JPEG readers and writers on a photo-like
// 24-bit picture (2000 x 1500), through memory streams so only the codecs and row handling count.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/photo_like_image.h"
#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/image/stream.h"

namespace {

constexpr int32_t kWidth = 2000;
constexpr int32_t kHeight = 1500;

const pg::TPixelGraphic& Picture() {
  static pg::TPixelGraphic* picture = [] {
    auto* image = new pg::TPixelGraphic;
    pg::photo::MakePhotoLikeImage(*image, kWidth, kHeight);
    return image;
  }();
  return *picture;
}

std::vector<uint8_t> Encoded(const std::string& extension, bool progressive) {
  pg::TPixelGraphic image;
  image.Assign(&Picture());
  pg::FormatOptions().JPEGProgressive = progressive;
  pg::TMemoryStream stream;
  image.SaveToStream(stream, extension);
  pg::FormatOptions().JPEGProgressive = false;
  return stream.Data();
}

void Save(benchmark::State& state, const std::string& extension, bool progressive) {
  pg::TPixelGraphic image;
  image.Assign(&Picture());
  pg::FormatOptions().JPEGProgressive = progressive;
  for (auto _ : state) {
    pg::TMemoryStream stream;
    image.SaveToStream(stream, extension);
    benchmark::DoNotOptimize(stream.Data().data());
  }
  pg::FormatOptions().JPEGProgressive = false;
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void Load(benchmark::State& state, const std::string& extension, bool progressive) {
  const std::vector<uint8_t> file = Encoded(extension, progressive);
  state.counters["file_bytes"] = static_cast<double>(file.size());
  pg::TPixelGraphic image;
  for (auto _ : state) {
    pg::TMemoryStream stream(file.data(), file.size());
    image.LoadFromStream(stream, extension);
    benchmark::DoNotOptimize(image.Bits());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

BENCHMARK_CAPTURE(Save, bmp, "bmp", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, bmp, "bmp", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, png, "png", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, png, "png", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, jpeg, "jpg", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, jpeg, "jpg", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, jpeg_progressive, "jpg", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, jpeg_progressive, "jpg", true)->Unit(benchmark::kMillisecond);

}  // namespace
