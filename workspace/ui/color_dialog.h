// The colour adjustment dialogs (RGB, CMY, HLS): three sliders and a live preview, the image and
// the filtered image side by side. The filtered preview is computed on a worker thread of the
// dialog's own; a newer slider value cancels an older computation, so the sliders never stall.
#pragma once

#include <QDialog>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class QSlider;
class QSpinBox;

namespace pg {
class TPGImage;
class TPGFilter;
class TPixelGraphic;
}  // namespace pg

namespace tessel {

// `angle` brought into minimum..maximum by whole turns of (maximum - minimum): with -180..180,
// 200 gives -160, 540 gives 180 and -200 gives 160.
long long WrapAngle(long long angle, int minimum, int maximum);

class TColorDialog : public QDialog {
  Q_OBJECT
 public:
  enum TKind { kRGB = 0, kCMY = 1, kHLS = 2 };

  // `source` is only read here, to make the small preview copy.
  TColorDialog(TKind kind, const pg::TPixelGraphic& source, QWidget* parent = nullptr);
  ~TColorDialog() override;

  TKind Kind() const { return kind_; }
  // The filter the sliders describe.
  std::unique_ptr<pg::TPGFilter> MakeFilter() const;
  // Applies that filter to `graphic` in place.
  void Apply(pg::TPixelGraphic& graphic) const;

  QSlider* Slider(int index) const { return sliders_[static_cast<size_t>(index)]; }
  QSpinBox* SpinBox(int index) const { return spins_[static_cast<size_t>(index)]; }
  pg::TPGImage* SourcePreview() const { return before_; }
  pg::TPGImage* FilteredPreview() const { return after_; }
  // Number of preview images shown so far, and of computations started (for tests).
  int PreviewsShown() const { return previewsShown_; }
  int64_t PreviewRequests() const { return generation_.load(); }

 signals:
  void PreviewShown();

 private:
  void ValuesChanged();
  void WorkerLoop();
  void ShowResult(int64_t generation, const pg::TPixelGraphic& result);

  TKind kind_;
  std::array<QSlider*, 3> sliders_{};
  std::array<QSpinBox*, 3> spins_{};
  pg::TPGImage* before_ = nullptr;
  pg::TPGImage* after_ = nullptr;
  std::unique_ptr<pg::TPixelGraphic> small_;  // the preview's source, read only by the worker
  int previewsShown_ = 0;

  // Worker: takes the newest request; an older run stops at its next progress step.
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<int64_t> generation_{0};
  int64_t taken_ = 0;
  std::array<int32_t, 3> requested_{};
  bool stop_ = false;
};

}  // namespace tessel
