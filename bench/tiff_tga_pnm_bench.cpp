// Encoding and decoding speed of the TIFF, TGA and PBM/PGM/PPM readers and writers on the same
// photo-like 24-bit picture (2000 x 1500) as the other formats, through memory streams; the
// 256-colour TIFF and TGA cases use a copy reduced to 252 colours.
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

// The picture in 24 bits, or reduced to 256 colours (8) or to grey (5, for PGM).
const pg::TPixelGraphic& Picture(int bits) {
  static pg::TPixelGraphic* color = [] {
    auto* image = new pg::TPixelGraphic;
    pg::photo::MakePhotoLikeImage(*image, kWidth, kHeight);
    return image;
  }();
  static pg::TPixelGraphic* indexed = [] {
    auto* image = new pg::TPixelGraphic;
    image->NewImage(kWidth, kHeight, pg::bc8Bit);
    image->SetPaletteIdent(pg::pSpecial252);
    image->SetDither(false);
    image->CopyRect(0, 0, kWidth, kHeight, 0, 0, *color);
    return image;
  }();
  static pg::TPixelGraphic* gray = [] {
    auto* image = new pg::TPixelGraphic;
    image->NewImage(kWidth, kHeight, pg::bc8Bit);
    image->SetPaletteIdent(pg::pGray256);
    image->SetDither(false);
    image->CopyRect(0, 0, kWidth, kHeight, 0, 0, *color);
    return image;
  }();
  return bits == 24 ? *color : bits == 8 ? *indexed : *gray;
}

struct TOptions {
  int32_t tiffCompression = 1;
  bool pnmBinary = true;
};

void Apply(const TOptions& options) {
  pg::FormatOptions().TIFFCompression = options.tiffCompression;
  pg::FormatOptions().PNMBinary = options.pnmBinary;
}

void Save(benchmark::State& state, const std::string& extension, int bits, TOptions options) {
  pg::TPixelGraphic image;
  image.Assign(&Picture(bits));
  Apply(options);
  for (auto _ : state) {
    pg::TMemoryStream stream;
    image.SaveToStream(stream, extension);
    benchmark::DoNotOptimize(stream.Data().data());
  }
  Apply({});
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void Load(benchmark::State& state, const std::string& extension, int bits, TOptions options) {
  pg::TPixelGraphic source;
  source.Assign(&Picture(bits));
  Apply(options);
  pg::TMemoryStream encoded;
  source.SaveToStream(encoded, extension);
  Apply({});
  state.counters["file_bytes"] = static_cast<double>(encoded.Size());
  pg::TPixelGraphic image;
  for (auto _ : state) {
    pg::TMemoryStream stream(encoded.Data().data(), encoded.Data().size());
    image.LoadFromStream(stream, extension);
    benchmark::DoNotOptimize(image.Bits());
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

BENCHMARK_CAPTURE(Save, tiff_rgb, "tif", 24, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, tiff_rgb, "tif", 24, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, tiff_rgb_packbits, "tif", 24, TOptions{32773, true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, tiff_rgb_packbits, "tif", 24, TOptions{32773, true})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, tiff_palette, "tif", 8, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, tiff_palette, "tif", 8, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, tga_rgb, "tga", 24, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, tga_rgb, "tga", 24, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, tga_palette, "tga", 8, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, tga_palette, "tga", 8, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, ppm_raw, "ppm", 24, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, ppm_raw, "ppm", 24, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, ppm_plain, "ppm", 24, TOptions{1, false})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, ppm_plain, "ppm", 24, TOptions{1, false})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Save, pgm_raw, "pgm", 5, TOptions{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, pgm_raw, "pgm", 5, TOptions{})->Unit(benchmark::kMillisecond);

}  // namespace
