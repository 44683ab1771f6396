#include "workspace/ui/preferences_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <algorithm>
#include <limits>

namespace tessel {

TPreferencesDialog::TPreferencesDialog(int64_t maxPixels, QWidget* parent) : QDialog(parent) {
  setObjectName("PreferencesDialog");
  setWindowTitle("Preferences");
  auto* layout = new QFormLayout(this);
  maxPixels_ = new QSpinBox(this);
  maxPixels_->setObjectName("MaxPixels");
  maxPixels_->setRange(1, std::numeric_limits<int>::max());
  maxPixels_->setGroupSeparatorShown(true);
  maxPixels_->setSuffix(" pixels");
  maxPixels_->setValue(static_cast<int>(std::clamp<int64_t>(maxPixels, 1, std::numeric_limits<int>::max())));
  layout->addRow("Largest picture:", maxPixels_);
  auto* note = new QLabel(
      "Width times height. Files that claim more are refused before anything is read;\n"
      "raise it to open larger pictures (they need about 3 bytes per pixel of memory).",
      this);
  layout->addRow(note);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addRow(buttons);
}

int64_t TPreferencesDialog::MaxPixels() const {
  return maxPixels_->value();
}

}  // namespace tessel
