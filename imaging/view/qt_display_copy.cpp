#include "imaging/view/qt_display_copy.h"

#include <exception>

#include "imaging/image/exceptions.h"
#include "imaging/view/qt_paint_worker.h"
#include "imaging/view/view_layout.h"

namespace pg {

TPGDisplayCopy::TPGDisplayCopy(QObject* parent) : QObject(parent) {}

TPGDisplayCopy::~TPGDisplayCopy() {
  Stop();
}

bool TPGDisplayCopy::Busy() const {
  return worker_ && worker_->Running();
}

void TPGDisplayCopy::Stop() {
  if (!worker_) return;
  if (pending_) {
    worker_->Terminate();
    worker_->Wait();
    terminated_ = true;
    pending_ = false;
    // The copy that was under way is still owed: a kept old copy must not stand in for it.
    dirty_ = true;
  }
  worker_.reset();
  ++generation_;  // reports still queued from the old worker are ignored
}

void TPGDisplayCopy::DropCopy() {
  copy_.reset();
  rows_.Reset();
  stale_ = false;
}

void TPGDisplayCopy::Discard(bool keepOnScreen) {
  Stop();
  dirty_ = true;
  if (keepOnScreen && copy_) {
    stale_ = true;
  } else {
    DropCopy();
  }
}

std::unique_ptr<TPixelGraphic> TPGDisplayCopy::TakeCopy() {
  rows_.Reset();
  stale_ = false;
  return std::move(copy_);
}

bool TPGDisplayCopy::Need(const TPixelGraphic* source, int32_t screenBits, int32_t boxWidth,
                          int32_t boxHeight, const TDisplaySettings& settings) {
  TNeedPaintInput in;
  in.HasImage = source != nullptr;
  in.ScreenBits = screenBits;
  in.ImageBits = source ? source->BitCountNum() : 24;
  in.StretchMode = settings.StretchMode;
  in.ReduceOnLoad = settings.ReduceOnLoad;
  in.PicBoxWidth = boxWidth;
  in.PicBoxHeight = boxHeight;
  in.ImageWidth = source ? source->Width() : 0;
  in.ImageHeight = source ? source->Height() : 0;
  in.BuiltForWidth = builtForWidth_;
  in.BuiltForHeight = builtForHeight_;
  in.PaintDirty = dirty_;
  in.ImagePaletteIdent = source ? source->PaletteIdent() : pNone;
  in.Palette8BitSys8BitGraphic = settings.Palette8;
  in.KeepOldPaintPixelGraphic = settings.KeepOld;
  in.UseThread = settings.UseThread;
  in.CopyExists = copy_ != nullptr;
  in.WorkerTerminated = terminated_;
  const TNeedPaintDecision d = DecideNeedPaint(in);
  dirty_ = d.PaintDirty;
  if (d.FreeCopy) {
    Stop();
    DropCopy();
  }
  // A copy that has to be rebuilt and stays on screen meanwhile is stale.
  if (copy_ && dirty_) stale_ = true;
  if (d.StartBuild && source != nullptr) Start(*source, d.Sized, screenBits, boxWidth, boxHeight, settings);
  return d.Needed;
}

void TPGDisplayCopy::Start(const TPixelGraphic& source, bool sized, int32_t bpp, int32_t boxWidth,
                           int32_t boxHeight, const TDisplaySettings& settings) {
  Stop();
  if (copy_ && !(settings.KeepOld && settings.UseThread)) DropCopy();
  step_ = 1;
  steps_ = 1;
  percent_ = 0;
  try {
    TPaintJob job;
    job.Source = &source;
    job.Intermediate =
        settings.Allow24BitStretch && sized && bpp == 8 && settings.Palette24 == pOptimized252Sys16;
    if (job.Intermediate) {
      job.IntermediateWidth = boxWidth > 0 ? boxWidth : 1;
      job.IntermediateHeight = boxHeight > 0 ? boxHeight : 1;
      job.IntermediateStretchMode = settings.StretchMode;
      ++steps_;
    }
    const TBitCount bitCount = bpp <= 7 ? bc4Bit : bpp > 8 ? bc24Bit : bc8Bit;
    const int32_t w = settings.StretchMode == smFast ? source.Width() : boxWidth;
    const int32_t h = settings.StretchMode == smFast ? source.Height() : boxHeight;
    auto target = std::make_unique<TPixelGraphic>();
    try {
      if (w <= 0 || h <= 0) throw EPGInvalidSize("");
      target->NewImage(w, h, bitCount);
    } catch (const std::exception&) {
      target->NewImage(1, 1, bitCount);
    }
    if (bitCount == bc4Bit) {
      target->SetPaletteIdent(pSys16);
    } else if (bitCount == bc8Bit) {
      const bool trueColor = job.Intermediate || source.BitCount() == bc24Bit;
      const TPaletteIdent ident = trueColor ? settings.Palette24 : settings.Palette8;
      if (ident == pOptimized252Sys16) {
        job.OptimizedPalette = true;
        ++steps_;
      } else if (ident == pSource) {
        target->AssignPalette(source);
      } else {
        target->SetPaletteIdent(ident);
      }
    }
    target->SetStretchMode(settings.StretchMode);
    target->SetDither(settings.Dither);
    target->SetDitherErrorLimit(settings.DitherErrorLimit);
    target->SetDitherErrorLimitAuto(settings.DitherErrorLimitAuto);
    target->SetDitherErrorLimitSoft(settings.DitherErrorLimitSoft);
    target->SetRGBWeighting(settings.RGBWeighting);
    builtForWidth_ = boxWidth;
    builtForHeight_ = boxHeight;
    job.Target = std::move(target);

    dirty_ = false;
    worker_ = std::make_unique<TPaintWorker>(++generation_, std::move(job));
    // Queued across threads, direct when the work runs at once on this thread.
    connect(worker_.get(), &TPaintWorker::Progress, this,
            [this](quint64 generation, int step, int percent) { WorkerProgress(generation, step, percent); });
    connect(worker_.get(), &TPaintWorker::Finished, this,
            [this](quint64 generation, bool ok) { WorkerFinished(generation, ok); });
    pending_ = true;
    terminated_ = false;
    worker_->Start(settings.UseThread);
  } catch (const std::exception&) {
    // Preparing failed: the view paints the shown image (or the placeholder) instead.
    dirty_ = false;
    worker_.reset();
    pending_ = false;
  }
}

void TPGDisplayCopy::WorkerProgress(uint64_t generation, int32_t step, int32_t percent) {
  if (generation != generation_) return;
  step_ = step;
  percent_ = percent;
  emit Progress(step, percent);
}

void TPGDisplayCopy::WorkerFinished(uint64_t generation, bool ok) {
  if (generation != generation_ || !worker_) return;
  pending_ = false;
  std::unique_ptr<TPixelGraphic> result = worker_->TakeResult();
  const bool made = ok && result != nullptr;
  if (made) {
    copy_ = std::move(result);
    rows_.Reset();
    stale_ = false;
  }
  emit Finished(made);
}

}  // namespace pg
