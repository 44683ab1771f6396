// The Slice panel: the selected slice's number, place and size, and the fields for its link, target
// frame, ALT text and an output format of its own. It shows what it is given and reports the
// user's edits; the window keeps the slices.
#pragma once

#include <QDockWidget>
#include <functional>
#include <optional>
#include <string>

#include "workspace/slice_properties.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace tessel {

class TSlicePanel : public QDockWidget {
  Q_OBJECT
 public:
  explicit TSlicePanel(QWidget* parent = nullptr);

  // Shows slice `cell` with its properties; without a cell the fields rest. `exportExtension` is
  // the format the export writes slices in (".jpg"), named by the format box's first entry.
  void ShowSlice(const std::optional<TGridCell>& cell, const TSliceProperties& properties,
                 const std::string& exportExtension);
  // The properties as the fields hold them.
  TSliceProperties Properties() const;

  // The user changed a field: the slice's properties as they stand now.
  std::function<void(const TSliceProperties& properties)> OnChange;

  QLabel* TitleLabel() const { return title_; }
  QLabel* PlaceLabel() const { return place_; }
  QLineEdit* UrlEdit() const { return url_; }
  QLineEdit* TargetEdit() const { return target_; }
  QLineEdit* AltEdit() const { return alt_; }
  QComboBox* FormatBox() const { return format_; }

 private:
  void Edited();
  void EnableFields();

  QLabel* title_;
  QLabel* place_;
  QLineEdit* url_;
  QLabel* targetLabel_;
  QLineEdit* target_;
  QLineEdit* alt_;
  QComboBox* format_;
  bool hasSlice_ = false;
};

}  // namespace tessel
