// The slice formats side by side: a 24-megapixel photo-like picture and the sample graphic
// (samples/banner.png), each cut 10 x 10 and exported on two threads in JPEG (quality 80), WebP
// (quality 80), AVIF (its default quality), PNG and PNG-8. Reported per format: the bytes of all
// slices, the time of the export (wall and the whole process's processor time, so other work on
// the machine shows as the gap between them), and the slices read back and put together against the
// source: PSNR over R, G and B and the mean SSIM of the luma in 8 x 8 windows. Extra cases show the
// AVIF speeds and WebP efforts the defaults were chosen from.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/photo_like_image.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "workspace/slice_export.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kCuts = 10;

const pg::TPixelGraphic& Picture(const std::string& name) {
  static pg::TPixelGraphic* photo = nullptr;
  static pg::TPixelGraphic* banner = nullptr;
  pg::TPixelGraphic*& picture = name == "photo" ? photo : banner;
  if (picture == nullptr) {
    picture = new pg::TPixelGraphic;
    if (name == "photo") {
      pg::photo::MakePhotoLikeImage(*picture, pg::photo::kBenchWidth, pg::photo::kBenchHeight);
    } else {
      pg::LoadImage(*picture, (fs::path(TESSEL_SOURCE_DIR) / "samples" / "banner.png").string());
    }
  }
  return *picture;
}

class TNoQuestions : public tessel::TExportInteraction {
 public:
  bool ConfirmOverwrite(const fs::path&, const std::string&, const std::string&) override { return true; }
  bool ShowOptions(tessel::TExportOptions&) override { return true; }
  tessel::TSliceAnswer AskSlice(const pg::TPixelGraphic&, const tessel::TCellMarkup&,
                                const tessel::TGridCell&, int64_t, int64_t,
                                tessel::TSliceProperties&) override {
    return tessel::TSliceAnswer::Next;
  }
  bool EditCode(std::vector<std::string>&) override { return true; }
};

double Luma(pg::TColor c) {
  return 0.299 * pg::GetRValue(c) + 0.587 * pg::GetGValue(c) + 0.114 * pg::GetBValue(c);
}

// PSNR over R, G and B, in dB.
double Psnr(const pg::TPixelGraphic& a, const pg::TPixelGraphic& b) {
  double sum = 0;
  for (int32_t y = 0; y < a.Height(); ++y) {
    const uint8_t* p = a.ScanLine(y);
    const uint8_t* q = b.ScanLine(y);
    for (int32_t i = 0; i < 3 * a.Width(); ++i) {
      const double d = static_cast<double>(p[i]) - q[i];
      sum += d * d;
    }
  }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Mean SSIM of the luma over 8 x 8 windows (constants of the usual 0.01 and 0.03 of the range).
double Ssim(const pg::TPixelGraphic& a, const pg::TPixelGraphic& b) {
  constexpr double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
  double total = 0;
  int64_t windows = 0;
  for (int32_t top = 0; top + 8 <= a.Height(); top += 8) {
    for (int32_t left = 0; left + 8 <= a.Width(); left += 8) {
      double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
      for (int32_t y = top; y < top + 8; ++y) {
        for (int32_t x = left; x < left + 8; ++x) {
          const double la = Luma(a.Colors(x, y)), lb = Luma(b.Colors(x, y));
          sa += la;
          sb += lb;
          saa += la * la;
          sbb += lb * lb;
          sab += la * lb;
        }
      }
      const double ma = sa / 64, mb = sb / 64;
      const double va = saa / 64 - ma * ma, vb = sbb / 64 - mb * mb, cov = sab / 64 - ma * mb;
      total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      ++windows;
    }
  }
  return windows == 0 ? 1.0 : total / static_cast<double>(windows);
}

// Exports `picture` cut 10 x 10 in `format` on two threads, with `tweak` applied to the default
// save options; counts the slices' bytes and compares them, put back together, with the source.
void Export(benchmark::State& state, const std::string& picture, const std::string& format,
            const std::function<void(pg::TSaveOptions&)>& tweak) {
  const pg::TPixelGraphic& source = Picture(picture);
  const fs::path dir = fs::temp_directory_path() / ("tessel-web-formats-bench-" + picture + "-" + format);
  fs::remove_all(dir);
  fs::create_directories(dir);
  tessel::TSplitGrid grid;
  grid.ResetGrid(source.Width(), source.Height());
  tessel::TExportOptions options;
  options.ShowOptions = false;
  TNoQuestions interaction;
  pg::TSaveOptions save = pg::DefaultSaveOptions();
  if (tweak) tweak(save);

  tessel::TExportReport report;
  for (auto _ : state) {
    grid.Divide(kCuts, kCuts, source.Width(), source.Height());
    tessel::TExportRequest request;
    request.HtmlPath = dir / "page.html";
    request.Source = &source;
    request.Grid = &grid;
    request.Extension = format;
    request.Options = &options;
    request.Interaction = &interaction;
    request.Jobs = 2;
    request.SaveOptions = save;
    report = tessel::ExportSlices(request);
  }

  pg::TPixelGraphic whole;
  whole.NewImage(source.Width(), source.Height(), pg::bc24Bit);
  pg::TPixelGraphic slice;
  for (const tessel::TSliceRecord& record : report.Records) {
    pg::LoadImage(slice, (dir / record.Files.front().File).string());
    whole.CopyRect(record.Cell.Left, record.Cell.Top, record.Cell.Width, record.Cell.Height, 0, 0, slice);
  }
  state.counters["bytes"] = static_cast<double>(report.TotalBytes());
  state.counters["psnr_db"] = Psnr(source, whole);
  state.counters["ssim"] = Ssim(source, whole);
  fs::remove_all(dir);
}

void RegisterAll() {
  struct TCase {
    std::string Name;
    std::string Format;
    std::function<void(pg::TSaveOptions&)> Tweak;
  };
  const std::vector<TCase> cases = {
      {"jpg_q80", "jpg", [](pg::TSaveOptions& o) { o.JPEGQuality = 80; }},
      {"webp_q80", "webp", [](pg::TSaveOptions& o) { o.WebPQuality = 80; }},
      {"avif", "avif", {}},
      {"png", "png", {}},
      {"png8", "png8", {}},
      // Points of equal quality: JPEG at the PSNR of the WebP and AVIF defaults, WebP and AVIF
      // around the PSNR and SSIM of JPEG quality 80.
      {"jpg_q60", "jpg", [](pg::TSaveOptions& o) { o.JPEGQuality = 60; }},
      {"jpg_q70", "jpg", [](pg::TSaveOptions& o) { o.JPEGQuality = 70; }},
      {"webp_q85", "webp", [](pg::TSaveOptions& o) { o.WebPQuality = 85; }},
      {"webp_q88", "webp", [](pg::TSaveOptions& o) { o.WebPQuality = 88; }},
      {"avif_q75", "avif", [](pg::TSaveOptions& o) { o.AVIFQuality = 75; }},
      {"avif_q78", "avif", [](pg::TSaveOptions& o) { o.AVIFQuality = 78; }},
      // What the defaults were chosen from.
      {"webp_q80_method2", "webp", [](pg::TSaveOptions& o) { o.WebPMethod = 2; }},
      {"webp_q80_method4", "webp", [](pg::TSaveOptions& o) { o.WebPMethod = 4; }},
      {"webp_lossless", "webp-lossless", {}},
      {"webp_q90", "webp", [](pg::TSaveOptions& o) { o.WebPQuality = 90; }},
      {"avif_q70", "avif", [](pg::TSaveOptions& o) { o.AVIFQuality = 70; }},
      {"avif_q80", "avif", [](pg::TSaveOptions& o) { o.AVIFQuality = 80; }},
      {"avif_speed6", "avif", [](pg::TSaveOptions& o) { o.AVIFSpeed = 6; }},
      {"avif_speed8", "avif", [](pg::TSaveOptions& o) { o.AVIFSpeed = 8; }},
      {"avif_speed10", "avif", [](pg::TSaveOptions& o) { o.AVIFSpeed = 10; }},
      {"png8_no_dither", "png8", [](pg::TSaveOptions& o) { o.PNGDither = false; }},
      {"png8_64_colors", "png8", [](pg::TSaveOptions& o) { o.PNGColors = 64; }},
  };
  for (const char* picture : {"photo", "banner"}) {
    for (const TCase& c : cases) {
      benchmark::RegisterBenchmark((std::string(picture) + "/" + c.Name).c_str(),
                                   [picture = std::string(picture), c](benchmark::State& state) {
                                     Export(state, picture, c.Format, c.Tweak);
                                   })
          ->Unit(benchmark::kMillisecond)
          ->MeasureProcessCPUTime()
          ->UseRealTime()
          ->Iterations(picture == std::string("photo") ? 1 : 5);
    }
  }
}

const bool kRegistered = (RegisterAll(), true);

}  // namespace
