// The "JPEG Compression" page: the image beside its JPEG-compressed copy at the chosen quality,
// with the compressed size. The quality and progressive flag applied here are the process-wide
// JPEG settings that the export uses.
#pragma once

#include <QString>
#include <QWidget>
#include <filesystem>

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QSplitter;
class QTimer;

namespace pg {
class TPGImage;
class TPixelGraphic;
}  // namespace pg

namespace tessel {

class TJpegPage : public QWidget {
  Q_OBJECT
 public:
  explicit TJpegPage(QWidget* parent = nullptr);

  // The page became active (or the image changed while it is): shows `source` on the left and
  // compresses it after the timer's second.
  void SourceChanged(const pg::TPixelGraphic* source);
  // The timer step: apply the settings, write the temporary file, show its size and read it back.
  void TimerStep();
  void Stop();

  // Where the temporary file goes: a private per-user directory, made on first use.
  void SetTempDirectory(const std::filesystem::path& directory) { tempDirectory_ = directory; }
  std::filesystem::path TempDirectory() const { return tempDirectory_; }
  std::filesystem::path TempFile() const { return tempDirectory_ / "~tessel.jpg"; }

  pg::TPGImage* LeftView() const { return left_; }
  pg::TPGImage* RightView() const { return right_; }
  QLabel* SizeLabel() const { return label_; }
  QSlider* Slider() const { return slider_; }
  QSpinBox* SpinEdit() const { return spin_; }
  QCheckBox* Progressive() const { return progressive_; }
  QTimer* Timer() const { return timer_; }
  QSplitter* Splitter() const { return splitter_; }
  // How many compressions have run (for tests).
  int Compressions() const { return compressions_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void PlaceLabel();
  void SliderChanged(int value);

  pg::TPGImage* left_;
  pg::TPGImage* right_;
  QSplitter* splitter_;
  QLabel* label_;
  QSlider* slider_;
  QSpinBox* spin_;
  QCheckBox* progressive_;
  QTimer* timer_;
  std::filesystem::path tempDirectory_;
  int compressions_ = 0;
  bool syncing_ = false;  // one view follows the other's scrolling
};

// The default place of the preview file: a directory of this user's own under the per-user cache.
std::filesystem::path DefaultPreviewDirectory();

}  // namespace tessel
