// "Preferences": the settings of the program that are not about one picture or one export. For
// now the largest picture the window opens, in pixels (width x height).
#pragma once

#include <QDialog>
#include <cstdint>

class QSpinBox;

namespace tessel {

class TPreferencesDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TPreferencesDialog(int64_t maxPixels, QWidget* parent = nullptr);
  int64_t MaxPixels() const;
  QSpinBox* MaxPixelsBox() const { return maxPixels_; }

 private:
  QSpinBox* maxPixels_;
};

}  // namespace tessel
