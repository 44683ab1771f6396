// What small hostile files cost the readers: each file claims a huge picture with a few bytes (or a
// few megabytes of zeros), next to the same kind of picture made honestly. Every load runs in a
// child process of its own, so the figures are the load's alone: wall and CPU time, and the
// child's peak resident memory. A child that runs past 120 s or 8 GiB is stopped and reported so.
//
// Counters: peak_MiB (peak resident set of the child), cpu_s, outcome (1 loaded, 2 refused, 3 stopped
// by the time or memory cap). The time column is the child's wall time. Arguments: the pixel limit
// the load runs under (0: the library's default).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/exceptions.h"
#include "imaging/image/pixel_graphic.h"
#include "tests/imaging/formats/hostile_files.h"

namespace {

namespace hostile = pg::hostile;

constexpr unsigned kTimeCapSeconds = 120;
constexpr rlim_t kMemoryCap = rlim_t{8} << 30;

// The file under a name whose extension fits its kind (Targa files are recognised by it alone).
std::filesystem::path WriteTemp(const std::string& name, const hostile::TBytes& bytes) {
  std::string extension = ".bin";
  for (const char* kind : {"tiff", "jpeg", "png", "bmp", "tga"}) {
    if (name.find(kind) != std::string::npos) extension = std::string(".") + kind;
  }
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tessel_hostile_" + name + extension);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Peak resident set of this process, in KiB.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

struct TOutcome {
  double wallSeconds = 0;
  double cpuSeconds = 0;
  double peakMiB = 0;
  int kind = 0;  // 1 loaded, 2 refused, 3 stopped
};

// Loads `path` in a child under `maxPixels` (0: the default) and reports what it cost.
TOutcome LoadInChild(const std::filesystem::path& path, int64_t maxPixels) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return {};
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    const rlimit cap{kMemoryCap, kMemoryCap};
    setrlimit(RLIMIT_AS, &cap);
    alarm(kTimeCapSeconds);
    if (maxPixels > 0) pg::FormatOptions().MaxPixels = maxPixels;
    char kind = 1;
    try {
      pg::TPixelGraphic image;
      image.SetReadWarningAction(pg::pgwaIgnore);
      image.LoadFromFile(path.string());
    } catch (const pg::EPixelGraphic& e) {
      kind = 2;
      std::fprintf(stderr, "  %s: %s\n", path.filename().c_str(), e.what());
    } catch (const std::bad_alloc&) {
      kind = 3;
    }
    const long peak = PeakKiB();
    if (write(pipeEnds[1], &kind, 1) != 1 || write(pipeEnds[1], &peak, sizeof(peak)) != sizeof(peak))
      _exit(1);
    _exit(0);
  }
  close(pipeEnds[1]);
  TOutcome outcome;
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  outcome.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  char kind = 3;
  long peak = usage.ru_maxrss;
  if (read(pipeEnds[0], &kind, 1) == 1 && read(pipeEnds[0], &peak, sizeof(peak)) == sizeof(peak)) {
    outcome.kind = kind;
  } else {
    outcome.kind = 3;
    peak = usage.ru_maxrss;
  }
  close(pipeEnds[0]);
  outcome.peakMiB = static_cast<double>(peak) / 1024.0;
  return outcome;
}

void Hostile(benchmark::State& state, const std::string& name, const std::function<hostile::TBytes()>& make) {
  const hostile::TBytes bytes = make();
  const std::filesystem::path path = WriteTemp(name, bytes);
  TOutcome outcome;
  for (auto _ : state) {
    outcome = LoadInChild(path, state.range(0));
    state.SetIterationTime(outcome.wallSeconds);
  }
  std::filesystem::remove(path);
  state.counters["file_KiB"] = static_cast<double>(bytes.size()) / 1024.0;
  state.counters["peak_MiB"] = outcome.peakMiB;
  state.counters["cpu_s"] = outcome.cpuSeconds;
  state.counters["outcome"] = outcome.kind;
}

constexpr int64_t kDefault = 0;
constexpr int64_t kRaised = int64_t{1} << 31;

#define HOSTILE(name, make)                     \
  BENCHMARK_CAPTURE(Hostile, name, #name, make) \
      ->Iterations(1)                           \
      ->UseManualTime()                         \
      ->Unit(benchmark::kMillisecond)           \
      ->ArgName("max_pixels")

using hostile::TTiffKind;

// The files of the report, under the default limit and under a limit raised far above them.
HOSTILE(tiff_cmyk_tiny_strip_32000, [] { return hostile::TiffTinyStrip(TTiffKind::CMYK, 32000, 32000); })
    ->Arg(kDefault)
    ->Arg(kRaised);
HOSTILE(tiff_ycbcr_tiny_strip_32000, [] { return hostile::TiffTinyStrip(TTiffKind::YCbCr, 32000, 32000); })
    ->Arg(kDefault)
    ->Arg(kRaised);
HOSTILE(tiff_cmyk_tiny_strip_16000, [] {
  return hostile::TiffTinyStrip(TTiffKind::CMYK, 16000, 16000);
})->Arg(kDefault);
HOSTILE(jpeg_499_scans_32000, [] { return hostile::JpegManyScans(32000, 32000, 499); })->Arg(kDefault);
HOSTILE(jpeg_499_scans_16000, [] { return hostile::JpegManyScans(16000, 16000, 499); })
    ->Arg(kDefault)
    ->Arg(kRaised);
HOSTILE(jpeg_truncated_baseline_30000, [] {
  return hostile::JpegTruncatedBaseline(30000, 30000, 300);
})->Arg(kDefault);
HOSTILE(jpeg_truncated_baseline_16000, [] {
  return hostile::JpegTruncatedBaseline(16000, 16000, 300);
})->Arg(kDefault);
HOSTILE(png_deflate_20000, [] { return hostile::PngDeflateBomb(20000, 20000); })->Arg(kDefault);
HOSTILE(png_deflate_30000, [] { return hostile::PngDeflateBomb(30000, 30000); })->Arg(kDefault);
HOSTILE(png_deflate_16000_rgba_interlaced, [] {
  return hostile::PngDeflateBomb(16000, 16000, 6, true);
})->Arg(kDefault);
HOSTILE(tiff_deflate_20000, [] {
  return hostile::TiffDeflateBomb(TTiffKind::RGB, 20000, 20000);
})->Arg(kDefault);
HOSTILE(tiff_deflate_cmyk_16000, [] {
  return hostile::TiffDeflateBomb(TTiffKind::CMYK, 16000, 16000);
})->Arg(kDefault);
HOSTILE(tiff_deflate_cmyk_one_tile_16000, [] {
  return hostile::TiffDeflateOneTile(TTiffKind::CMYK, 16000, 16000);
})->Arg(kDefault);
HOSTILE(bmp_rle8_end_only_32000, [] { return hostile::BmpRle8EndOnly(32000, 32000); })->Arg(kDefault);
HOSTILE(tga_rle_32768, [] { return hostile::TgaRleGrey(32768, 32768); })->Arg(kDefault);

// Honest pictures of the same kinds: every pixel really coded, loaded under a raised limit.
HOSTILE(honest_jpeg_progressive_grey_16000, [] {
  return hostile::JpegProgressiveGrey(16000, 16000);
})->Arg(kRaised);
HOSTILE(honest_jpeg_baseline_16000, [] { return hostile::JpegGreyBaseline(16000, 16000); })->Arg(kRaised);
HOSTILE(honest_tiff_ycbcr_deflate_12000, [] {
  return hostile::TiffDeflateBomb(TTiffKind::YCbCr, 12000, 12000);
})->Arg(kRaised);
HOSTILE(honest_bmp_rle8_20000, [] { return hostile::BmpRle8Coded(20000, 20000); })->Arg(kRaised);

}  // namespace
