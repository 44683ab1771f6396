// TPaintWorker: builds the view's display copy (the image converted and/or resized for the
// screen) on a thread of its own, or at once on the calling thread. It never touches the view:
// it reports progress and the end of its work through signals, queued when it runs on its thread.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "imaging/image/pixel_graphic.h"

namespace pg {

struct TPaintJob {
  const TPixelGraphic* Source = nullptr;  // read only while the worker runs
  // A 24-bit image of this size (and resampling) the source is first resized into.
  bool Intermediate = false;
  int32_t IntermediateWidth = 1;
  int32_t IntermediateHeight = 1;
  TStretchMode IntermediateStretchMode = smFast;
  // The target: size, format, palette and conversion settings already set.
  std::unique_ptr<TPixelGraphic> Target;
  // Give the target an optimised palette (252 colours with the 16 system colours) first.
  bool OptimizedPalette = false;
};

class TPaintWorker : public QObject {
  Q_OBJECT

 public:
  TPaintWorker(uint64_t generation, TPaintJob job);
  ~TPaintWorker() override;  // terminates and waits

  uint64_t Generation() const { return generation_; }
  // Runs the job on a thread of its own, or at once on this thread.
  void Start(bool threaded);
  // Makes the work stop at its next progress report; the target is freed.
  void Terminate() { terminate_ = true; }
  void Wait();
  bool Running() const { return running_; }
  std::unique_ptr<TPixelGraphic> TakeResult();

 signals:
  void Progress(quint64 generation, int step, int percent);
  void Finished(quint64 generation, bool ok);

 private:
  void Run();
  void HookProgress(TPixelGraphic& graphic, int32_t step);

  const uint64_t generation_;
  TPaintJob job_;
  std::unique_ptr<TPixelGraphic> result_;
  std::thread thread_;
  std::atomic<bool> terminate_{false};
  std::atomic<bool> running_{false};
  int lastPercent_ = -1;
  std::chrono::steady_clock::time_point lastReport_{};
};

}  // namespace pg
