// TPGDisplayCopy: the view's display copy, the shown image converted to the screen's colour depth
// and/or resized to the picture box, built by a paint worker (on a thread of its own, or at once
// on the calling thread). It decides at every paint whether the picture is shown through a copy,
// starts a build when one is due, and keeps the copy, the worker and the state between them: a
// generation number that makes reports of a stopped worker harmless, the dirty flag (the copy must
// be built again), the stale flag (the copy on hand belongs to an earlier image or size and is kept
// on screen only until its successor is ready) and the progress of the build.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>

#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_draw.h"
#include "imaging/view/view_types.h"

namespace pg {

class TPaintWorker;

// The view's settings that shape the copy.
struct TDisplaySettings {
  TStretchMode StretchMode = smFast;
  bool ReduceOnLoad = false;
  bool KeepOld = false;  // keep the old copy on screen until the new one is ready (with UseThread)
  bool UseThread = true;
  bool Allow24BitStretch = false;
  TPalette8BitSys24BitGraphic Palette24 = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic Palette8 = pOptimized252Sys16;
  bool Dither = true;
  uint8_t DitherErrorLimit = 32;
  bool DitherErrorLimitAuto = true;
  bool DitherErrorLimitSoft = true;
  bool RGBWeighting = true;
};

class TPGDisplayCopy : public QObject {
  Q_OBJECT

 public:
  explicit TPGDisplayCopy(QObject* parent = nullptr);
  ~TPGDisplayCopy() override;  // stops the worker

  // The copy must be built again (the image or a setting that shapes the copy changed).
  void MarkDirty() { dirty_ = true; }
  bool Dirty() const { return dirty_; }
  // True while a copy on hand only stands in until its successor is ready.
  bool Stale() const { return stale_; }
  // Stops a build under way and waits for its worker; the copy it was making is still owed.
  void Stop();
  // Stops the worker and drops the copy; with `keepOnScreen` it stays, stale, until the next copy
  // replaces it. The copy is due again.
  void Discard(bool keepOnScreen);

  // Asked by every paint: whether the picture is shown through a copy. Frees a copy that is no
  // longer wanted and starts a build when one is due. `source` is the shown image (nullptr when
  // none); it must stay unchanged until Stop() while a build runs.
  bool Need(const TPixelGraphic* source, int32_t screenBits, int32_t boxWidth, int32_t boxHeight,
            const TDisplaySettings& settings);

  // The copy, nullptr when none is on hand; its rows for drawing.
  const TPixelGraphic* Copy() const { return copy_.get(); }
  TPGRowImages& Rows() { return rows_; }
  // Takes the copy out (the view makes it the shown image when it reduces on load).
  std::unique_ptr<TPixelGraphic> TakeCopy();
  // A build was started and has not ended yet.
  bool Building() const { return pending_; }
  // The worker's thread is running.
  bool Busy() const;
  // Progress of the build: step (from 1) of Steps, and percent of the step's rows.
  int32_t Step() const { return step_; }
  int32_t Steps() const { return steps_; }
  int32_t Percent() const { return percent_; }
  // Size of the picture box the copy was last built for.
  int32_t BuiltForWidth() const { return builtForWidth_; }
  int32_t BuiltForHeight() const { return builtForHeight_; }

 signals:
  // The build under way advanced (queued from the worker's thread).
  void Progress(int step, int percent);
  // The build ended; with `ok` Copy() now holds its result.
  void Finished(bool ok);

 private:
  void Start(const TPixelGraphic& source, bool sized, int32_t bpp, int32_t boxWidth, int32_t boxHeight,
             const TDisplaySettings& settings);
  void WorkerProgress(uint64_t generation, int32_t step, int32_t percent);
  void WorkerFinished(uint64_t generation, bool ok);
  void DropCopy();

  std::unique_ptr<TPixelGraphic> copy_;
  TPGRowImages rows_;
  std::unique_ptr<TPaintWorker> worker_;
  uint64_t generation_ = 0;
  bool dirty_ = true;
  bool stale_ = false;
  bool pending_ = false;     // a build was started and has not reported its end
  bool terminated_ = false;  // the last build was cut off before it finished
  int32_t builtForWidth_ = 0;
  int32_t builtForHeight_ = 0;
  int32_t step_ = 1;
  int32_t steps_ = 1;
  int32_t percent_ = 0;
};

}  // namespace pg
