#include "imaging/view/qt_paint_worker.h"

#include <vector>

#include "imaging/image/palette_builder.h"

namespace pg {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(50);

}  // namespace

TPaintWorker::TPaintWorker(uint64_t generation, TPaintJob job)
    : generation_(generation), job_(std::move(job)) {}

TPaintWorker::~TPaintWorker() {
  Terminate();
  Wait();
}

void TPaintWorker::Start(bool threaded) {
  running_ = true;
  if (threaded) {
    thread_ = std::thread([this] { Run(); });
  } else {
    Run();
  }
}

void TPaintWorker::Wait() {
  if (thread_.joinable()) thread_.join();
}

std::unique_ptr<TPixelGraphic> TPaintWorker::TakeResult() {
  Wait();
  return std::move(result_);
}

// Progress as percent of rows, at most once per interval and only when the percent changed;
// a terminated worker aborts the conversion at its next report.
void TPaintWorker::HookProgress(TPixelGraphic& graphic, int32_t step) {
  graphic.OnProgress = [this, step](const void*, int32_t done, int32_t max, bool& abort) {
    if (terminate_) {
      abort = true;
      return;
    }
    const int percent = max > 0 ? static_cast<int>(static_cast<int64_t>(done) * 100 / max) : 0;
    const auto now = std::chrono::steady_clock::now();
    if (percent != lastPercent_ && now - lastReport_ >= kProgressInterval) {
      lastPercent_ = percent;
      lastReport_ = now;
      emit Progress(generation_, step, percent);
    }
  };
}

void TPaintWorker::Run() {
  bool ok = false;
  try {
    const TPixelGraphic* input = job_.Source;
    std::unique_ptr<TPixelGraphic> intermediate;
    int32_t step = 1;
    if (job_.Intermediate && !terminate_) {
      intermediate = std::make_unique<TPixelGraphic>();
      try {
        intermediate->NewImage(job_.IntermediateWidth, job_.IntermediateHeight, bc24Bit);
      } catch (const std::exception&) {
        intermediate->NewImage(1, 1, bc24Bit);
      }
      intermediate->SetStretchMode(job_.IntermediateStretchMode);
      HookProgress(*intermediate, step);
      intermediate->CopyFrom(*input);
      intermediate->OnProgress = nullptr;
      input = intermediate.get();
      ++step;
    }
    TPixelGraphic& target = *job_.Target;
    bool remap = false;
    if (job_.OptimizedPalette && !terminate_) {
      const std::vector<TColor> palette = BuildPalette(*input, 252, true);
      target.SetPaletteCount(static_cast<int32_t>(palette.size()));
      for (int32_t i = 0; i < static_cast<int32_t>(palette.size()); ++i)
        target.SetPaletteEntries(i, palette[i]);
      ++step;
      remap = input->BitCount() == bc8Bit && input->Width() == target.Width() &&
              input->Height() == target.Height();
    }
    if (!terminate_) {
      if (remap) {
        // Same size, 8-bit: match each source palette entry once and remap the indices.
        uint8_t map[256] = {};
        for (int32_t i = 0; i < input->PaletteCount() && i < 256; ++i) {
          map[i] = static_cast<uint8_t>(target.ColorToIndex(input->PaletteEntries(i)));
        }
        for (int32_t y = 0; y < target.Height() && !terminate_; ++y) {
          const uint8_t* src = input->ScanLine(y);
          uint8_t* dst = target.ScanLine(y);
          for (int32_t x = 0; x < target.Width(); ++x) dst[x] = map[src[x]];
        }
      } else {
        HookProgress(target, step);
        target.CopyFrom(*input);
        target.OnProgress = nullptr;
      }
    }
    ok = !terminate_;
  } catch (...) {
    ok = false;
  }
  if (ok) {
    result_ = std::move(job_.Target);
  } else {
    job_.Target.reset();
  }
  running_ = false;
  emit Finished(generation_, ok);
}

}  // namespace pg
