// Colour reduction and scaling of a 24-megapixel photo-like picture: the scaled copy halving it,
// the palette builder, and the whole reduction to 8 bits with a built 252-colour palette and to
// black and white, both dithered.
//
// Besides the benchmarks the program helps the side-by-side comparison with other tools
// (bench/compare_imagemagick.sh):
//   reduce_bench --write-ppm=DIR   writes photo_test.ppm (the palette test's picture) and
//                                  photo_big.ppm (the benchmark picture) and prints the mean squared
//                                  error of our 252-entry palette on each
//   reduce_bench --mse=A.ppm,B.ppm prints the mean squared error per channel sample between two
//                                  binary PPM files of the same size
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench/photo_like_image.h"
#include "imaging/image/palette_builder.h"
#include "imaging/image/pixel_graphic.h"

namespace {

using pg::TPixelGraphic;

const TPixelGraphic& BenchPicture() {
  static TPixelGraphic* picture = [] {
    auto* image = new TPixelGraphic;
    pg::photo::MakePhotoLikeImage(*image, pg::photo::kBenchWidth, pg::photo::kBenchHeight);
    return image;
  }();
  return *picture;
}

void BM_ScaledCopyHalve(benchmark::State& state) {
  const TPixelGraphic& source = BenchPicture();
  TPixelGraphic target;
  target.NewImage(source.Width() / 2, source.Height() / 2, pg::bc24Bit);
  target.SetStretchMode(static_cast<pg::TStretchMode>(state.range(0)));
  for (auto _ : state) {
    target.CopyFrom(source);
    benchmark::DoNotOptimize(target.ScanLine(0));
  }
  state.SetLabel(state.range(0) == pg::smFast ? "smFast" : "smPrecise");
}
BENCHMARK(BM_ScaledCopyHalve)->Arg(pg::smPrecise)->Arg(pg::smFast)->Unit(benchmark::kMillisecond);

void SetPalette(TPixelGraphic& image, const std::vector<pg::TColor>& palette);

// The view's display copy for an 8-bit screen: halved into an 8-bit image with a built palette,
// dithered (the palette is built once, outside the timing).
void BM_ScaledCopyHalveDithered252(benchmark::State& state) {
  const TPixelGraphic& source = BenchPicture();
  TPixelGraphic target;
  target.NewImage(source.Width() / 2, source.Height() / 2, pg::bc8Bit);
  SetPalette(target, pg::BuildPalette(source, 252, true));
  for (auto _ : state) {
    target.CopyFrom(source);
    benchmark::DoNotOptimize(target.ScanLine(0));
  }
}
BENCHMARK(BM_ScaledCopyHalveDithered252)->Unit(benchmark::kMillisecond);

void BM_BuildPalette252(benchmark::State& state) {
  const TPixelGraphic& source = BenchPicture();
  for (auto _ : state) benchmark::DoNotOptimize(pg::BuildPalette(source, 252, true));
}
BENCHMARK(BM_BuildPalette252)->Unit(benchmark::kMillisecond);

void SetPalette(TPixelGraphic& image, const std::vector<pg::TColor>& palette) {
  image.SetPaletteCount(static_cast<int32_t>(palette.size()));
  for (size_t i = 0; i < palette.size(); ++i) image.SetPaletteEntries(static_cast<int32_t>(i), palette[i]);
}

// The dithered copy alone, into an 8-bit image holding an already built palette.
void BM_DitherCopy252(benchmark::State& state) {
  const TPixelGraphic& source = BenchPicture();
  const std::vector<pg::TColor> palette = pg::BuildPalette(source, 252, true);
  for (auto _ : state) {
    TPixelGraphic target;
    target.NewImage(source.Width(), source.Height(), pg::bc8Bit);
    SetPalette(target, palette);
    target.CopyRect(0, 0, source.Width(), source.Height(), 0, 0, source);
    benchmark::DoNotOptimize(target.ScanLine(0));
  }
}
BENCHMARK(BM_DitherCopy252)->Unit(benchmark::kMillisecond);

// The whole reduction to 8 bits: palette building plus the dithered copy.
void BM_Reduce252(benchmark::State& state) {
  const TPixelGraphic& source = BenchPicture();
  for (auto _ : state) {
    TPixelGraphic target;
    target.NewImage(source.Width(), source.Height(), pg::bc8Bit);
    SetPalette(target, pg::BuildPalette(source, 252, true));
    target.CopyRect(0, 0, source.Width(), source.Height(), 0, 0, source);
    benchmark::DoNotOptimize(target.ScanLine(0));
  }
}
BENCHMARK(BM_Reduce252)->Unit(benchmark::kMillisecond);

// The whole reduction to black and white, dithered.
void BM_ReduceBlackWhite(benchmark::State& state) {
  const TPixelGraphic& source = BenchPicture();
  for (auto _ : state) {
    TPixelGraphic target;
    target.NewImage(source.Width(), source.Height(), pg::bc1Bit);
    target.SetPaletteIdent(pg::pBlackWhite);
    target.CopyRect(0, 0, source.Width(), source.Height(), 0, 0, source);
    benchmark::DoNotOptimize(target.ScanLine(0));
  }
}
BENCHMARK(BM_ReduceBlackWhite)->Unit(benchmark::kMillisecond);

// ---- Comparison helpers -----------------------------------------------------------------------

bool WritePpm(const TPixelGraphic& image, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << image.Width() << ' ' << image.Height() << "\n255\n";
  std::vector<char> row(3 * static_cast<size_t>(image.Width()));
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* p = image.ScanLine(y);
    for (int32_t x = 0; x < image.Width(); ++x) {
      row[3 * x] = static_cast<char>(p[3 * x + 2]);
      row[3 * x + 1] = static_cast<char>(p[3 * x + 1]);
      row[3 * x + 2] = static_cast<char>(p[3 * x]);
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
  return static_cast<bool>(out);
}

// A binary PPM with maxval 255 (what ImageMagick writes for 8-bit data); false on anything else.
bool ReadPpm(const std::string& path, int& width, int& height, std::vector<uint8_t>& data) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  if (!(in >> magic >> width >> height >> maxValue) || magic != "P6" || maxValue != 255 || width <= 0 ||
      height <= 0 || width > 100000 || height > 100000)
    return false;
  in.get();
  data.resize(3 * static_cast<size_t>(width) * height);
  return static_cast<bool>(
      in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size())));
}

int CompareMain(const std::string& paths) {
  const size_t comma = paths.find(',');
  int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
  std::vector<uint8_t> a, b;
  if (comma == std::string::npos || !ReadPpm(paths.substr(0, comma), w1, h1, a) ||
      !ReadPpm(paths.substr(comma + 1), w2, h2, b) || w1 != w2 || h1 != h2) {
    std::cerr << "--mse needs two binary PPM files (maxval 255) of the same size\n";
    return 2;
  }
  double total = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - double(b[i]);
    total += d * d;
  }
  std::printf("%.4f\n", total / static_cast<double>(a.size()));
  return 0;
}

int WriteMain(const std::string& dir) {
  struct {
    const char* name;
    int32_t width, height;
  } const pictures[] = {{"photo_test.ppm", pg::photo::kTestWidth, pg::photo::kTestHeight},
                        {"photo_big.ppm", pg::photo::kBenchWidth, pg::photo::kBenchHeight}};
  for (const auto& picture : pictures) {
    TPixelGraphic image;
    pg::photo::MakePhotoLikeImage(image, picture.width, picture.height);
    const std::string path = dir + "/" + picture.name;
    if (!WritePpm(image, path)) {
      std::cerr << "cannot write " << path << '\n';
      return 2;
    }
    const double mse252 = pg::photo::NearestMappingError(image, pg::BuildPalette(image, 252, true));
    const double mse256 = pg::photo::NearestMappingError(image, pg::BuildPalette(image, 256, false));
    std::printf("%s: our MSE 252 (236 + 16 system) %.4f, 256 chosen %.4f\n", picture.name, mse252, mse256);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--write-ppm=", 12) == 0) return WriteMain(argv[i] + 12);
    if (std::strncmp(argv[i], "--mse=", 6) == 0) return CompareMain(argv[i] + 6);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
