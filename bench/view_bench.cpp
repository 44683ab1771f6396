// The image view on the offscreen platform: opening a large picture up to its first finished
// paint, and one repaint of a full-HD viewport after scrolling.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>
#include <QWindow>
#include <filesystem>
#include <memory>
#include <string>

#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_draw.h"
#include "imaging/view/qt_pg_image.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

QApplication& App() {
  static int argc = 1;
  static char name[] = "view_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// A 6000 x 4000 24-bit picture with some structure, written once per format.
std::string PictureFile(const std::string& extension) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tessel_view_bench." + extension);
  if (!std::filesystem::exists(path)) {
    pg::TPixelGraphic g;
    g.NewImage(kWidth, kHeight, pg::bc24Bit);
    for (int32_t y = 0; y < kHeight; ++y) {
      uint8_t* row = g.ScanLine(y);
      for (int32_t x = 0; x < kWidth; ++x) {
        row[3 * x] = static_cast<uint8_t>(x / 16);
        row[3 * x + 1] = static_cast<uint8_t>(y / 16);
        row[3 * x + 2] = static_cast<uint8_t>((x ^ y) & 0xFF);
      }
    }
    g.SaveToFile(path.string());
  }
  return path.string();
}

// A shown view with a 1920 x 1080 client area, at natural size like the main window's.
std::unique_ptr<pg::TPGImage> MakeView() {
  App();
  auto view = std::make_unique<pg::TPGImage>();
  view->setFrameStyle(QFrame::NoFrame);
  view->SetStretch(pg::sZoomKAR);
  view->SetStretchMode(pg::smPrecise);
  view->resize(1920 + view->verticalScrollBar()->sizeHint().width(),
               1080 + view->horizontalScrollBar()->sizeHint().height());
  view->show();
  for (int i = 0; i < 100 && !(view->windowHandle() && view->windowHandle()->isExposed()); ++i) {
    QApplication::processEvents();
  }
  return view;
}

void BM_DecodeOnly(benchmark::State& state, const std::string& extension) {
  const std::string file = PictureFile(extension);
  for (auto _ : state) {
    pg::TPixelGraphic g;
    g.LoadFromFile(file);
    benchmark::DoNotOptimize(g.Bits());
  }
}

// LoadFromFile up to the end of the first paint of the view.
void BM_LoadToFirstPaint(benchmark::State& state, const std::string& extension) {
  const std::string file = PictureFile(extension);
  auto view = MakeView();
  for (auto _ : state) {
    view->SetPixelGraphic(nullptr);
    view->viewport()->repaint();
    view->LoadFromFile(file);
    view->viewport()->repaint();
  }
  state.counters["client_w"] = view->ClientWidth();
  state.counters["client_h"] = view->ClientHeight();
}

// The paint after a load alone: the image changes, the view converts it once and paints.
void BM_FirstPaintAfterChange(benchmark::State& state) {
  auto view = MakeView();
  pg::TPixelGraphic g;
  g.LoadFromFile(PictureFile("bmp"));
  for (auto _ : state) {
    view->SetPixelGraphic(nullptr);
    state.PauseTiming();
    auto copy = std::make_unique<pg::TPixelGraphic>();
    copy->Assign(&g);
    state.ResumeTiming();
    view->AdoptPixelGraphic(std::move(copy));
    view->viewport()->repaint();
  }
}

void BM_ConvertToQImage(benchmark::State& state) {
  pg::TPixelGraphic g;
  g.LoadFromFile(PictureFile("bmp"));
  for (auto _ : state) benchmark::DoNotOptimize(pg::PixelGraphicToQImage(g));
}

// One scroll step and the repaint of the whole 1920 x 1080 client area.
void BM_ScrollRepaint(benchmark::State& state) {
  auto view = MakeView();
  view->LoadFromFile(PictureFile("bmp"));
  view->viewport()->repaint();
  int step = 0;
  for (auto _ : state) {
    view->SetHorzScrollPos((step * 37) % 3000);
    view->SetVertScrollPos((step * 23) % 2000);
    view->viewport()->repaint();
    ++step;
  }
}

// One scroll step and the repaint of the whole client area with the picture enlarged (the pixels
// drawn as squares, no display copy), as the source page shows it zoomed in; range(0) is the zoom.
void BM_ZoomedRepaint(benchmark::State& state) {
  auto view = MakeView();
  view->SetStretchMode(pg::smFast);
  view->LoadFromFile(PictureFile("bmp"));
  view->SetZoomFactor(static_cast<long double>(state.range(0)));
  view->viewport()->repaint();
  const int32_t width = view->PicBoxRect().Width();
  const int32_t height = view->PicBoxRect().Height();
  int step = 0;
  for (auto _ : state) {
    view->SetHorzScrollPos(width / 2 + (step * 37) % 3000);
    view->SetVertScrollPos(height / 2 + (step * 23) % 2000);
    view->viewport()->repaint();
    ++step;
  }
}

// Zoomed out to a sixth with resampling: from the zoom change until the display copy is shown.
void BM_ZoomOutToCopy(benchmark::State& state) {
  auto view = MakeView();
  view->LoadFromFile(PictureFile("bmp"));
  view->viewport()->repaint();
  bool sixth = false;
  for (auto _ : state) {
    sixth = !sixth;
    view->SetZoomFactor(sixth ? 1.0L / 6 : 1.0L / 5);
    do {
      view->viewport()->repaint();
      QApplication::processEvents();
    } while (view->PaintWorkerBusy() || !view->PaintPixelGraphic());
  }
}

BENCHMARK(BM_ZoomedRepaint)->Arg(2)->Arg(8)->Arg(32)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ZoomOutToCopy)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(BM_DecodeOnly, bmp, std::string("bmp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadToFirstPaint, bmp, std::string("bmp"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DecodeOnly, jpg, std::string("jpg"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadToFirstPaint, jpg, std::string("jpg"))->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPaintAfterChange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertToQImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollRepaint)->Unit(benchmark::kMillisecond);

}  // namespace
