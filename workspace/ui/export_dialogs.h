// The three dialogs of the export: "Export Options" (six persisted check boxes), "HTML Export..."
// (link, target and ALT text of one slice with the resulting code) and "Edit HTML Code". Each is
// created once and reused, so what it holds stays from one use to the next. Shown by an export,
// each has a Cancel button that ends the export before anything is written; closing one with the
// window's close box goes on with the export.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "workspace/output_formats.h"
#include "workspace/slice_export.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace pg {
class TPixelGraphic;
class TPGImage;
}  // namespace pg

namespace tessel {

class TExportOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TExportOptionsDialog(QWidget* parent = nullptr);

  // Shows the dialog modally; the boxes keep whatever the user set, however it is closed. With
  // `forExport` it has a Cancel button as well; returns false when that was pressed.
  bool ShowOptions(bool forExport = false);

  QCheckBox* IncAltTags() const { return incalttags_; }
  QCheckBox* EditCode() const { return editcode_; }
  QCheckBox* AlwaysGrid() const { return alwaysgrid_; }
  QCheckBox* DoubleQuote() const { return doublequote_; }
  QCheckBox* UpperCase() const { return uppercase_; }
  QCheckBox* ShowOptionsBox() const { return showoptions_; }
  QPushButton* CancelButton() const { return cancel_; }

  // The "Page" tab: the page's style, more formats, the density and the base URL.
  QTabWidget* Tabs() const { return tabs_; }
  QComboBox* StyleBox() const { return style_; }
  QLineEdit* PictureFormatsEdit() const { return pictureFormats_; }
  QComboBox* DensityBox() const { return density_; }
  QLineEdit* BaseUrlEdit() const { return baseUrl_; }

  // The "Formats" tab: how WebP, AVIF and png8 slices are encoded.
  QSpinBox* WebPQualityBox() const { return webpQuality_; }
  QSpinBox* AVIFQualityBox() const { return avifQuality_; }
  QSpinBox* AVIFSpeedBox() const { return avifSpeed_; }
  QSpinBox* PNGColorsBox() const { return pngColors_; }
  QCheckBox* PNGDitherBox() const { return pngDither_; }
  TFormatSettings FormatSettings() const;
  void SetFormatSettings(const TFormatSettings& settings);

  // The options as the dialog holds them. The classic table takes no picture formats, no density
  // above 1 and no base URL, whatever the fields on the Page tab still hold.
  TExportOptions Options() const;
  // Shows `options` (the window's export options restored from a project file, say).
  void SetOptions(const TExportOptions& options);

  // Reads the values from the settings store / writes them there: the six boxes under their own
  // names, the page settings in a group "Page" and the format settings in a group "Formats" beside
  // them.
  void LoadSettings();
  void SaveSettings() const;

 private:
  void UpdatePageFields();

  QTabWidget* tabs_;
  QComboBox* style_;
  QLineEdit* pictureFormats_;
  QComboBox* density_;
  QLineEdit* baseUrl_;
  QSpinBox* webpQuality_;
  QSpinBox* avifQuality_;
  QSpinBox* avifSpeed_;
  QSpinBox* pngColors_;
  QCheckBox* pngDither_;
  QCheckBox* incalttags_;
  QCheckBox* editcode_;
  QCheckBox* alwaysgrid_;
  QCheckBox* doublequote_;
  QCheckBox* uppercase_;
  QCheckBox* showoptions_;
  QPushButton* cancel_;
  bool loading_ = false;
};

// The result code of a dialog closed with its Cancel button (beside Accepted and Rejected, which
// the close box gives).
inline constexpr int kCancelExport = 2;

class THtmlExportDialog : public QDialog {
  Q_OBJECT
 public:
  explicit THtmlExportDialog(QWidget* parent = nullptr);

  // Asks for link, target and ALT text of slice `position` of `count`, the fields filled from
  // `properties`; OK, Skip and the close box go on to the next slice, Back to the previous one,
  // Cancel ends the export. `properties` get the fields' text except after Skip (the slice stays
  // as stored) and Cancel. The target keeps the previous slice's text when the slice has none.
  TSliceAnswer AskSlice(const pg::TPixelGraphic& slice, const TCellMarkup& markup, int64_t position,
                        int64_t count, TSliceProperties& properties);

  // Prepares the dialog as AskSlice does, without showing it (a classic table's cell from its open
  // image tag).
  void Prepare(const pg::TPixelGraphic& slice, const TCellMarkup& markup, int64_t position, int64_t count,
               const TSliceProperties& properties);
  void Prepare(const pg::TPixelGraphic& slice, const std::string& openTag, int64_t position, int64_t count,
               const TSliceProperties& properties);
  // The fields' text as slice properties (the format taken from `stored`).
  TSliceProperties Answers(const TSliceProperties& stored) const;

  QLineEdit* EditHref() const { return editHref_; }
  QLineEdit* EditTarget() const { return editTarget_; }
  QLabel* TargetLabel() const { return targetLabel_; }
  QLineEdit* EditAlt() const { return editAlt_; }
  QPlainTextEdit* Memo() const { return memo_; }
  pg::TPGImage* SliceView() const { return aslice_; }
  QLabel* PositionLabel() const { return position_; }
  QPushButton* BackButton() const { return back_; }
  QPushButton* SkipButton() const { return skip_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  void Recompute();

  pg::TPGImage* aslice_;
  QLineEdit* editHref_;
  QLabel* targetLabel_;
  QLineEdit* editTarget_;
  QLineEdit* editAlt_;
  QPlainTextEdit* memo_;
  QLabel* position_;
  QPushButton* back_;
  QPushButton* skip_;
  QPushButton* cancel_;
  TCellMarkup markup_;
};

class TEditCodeDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TEditCodeDialog(QWidget* parent = nullptr);

  // Shows `lines` for editing; afterwards `lines` holds the edited text, however the dialog closed,
  // except with Cancel, which leaves them and returns false.
  bool EditCode(std::vector<std::string>& lines);

  QPlainTextEdit* Memo() const { return memo_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  QPlainTextEdit* memo_;
  QPushButton* cancel_;
};

}  // namespace tessel
