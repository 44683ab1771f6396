// The three dialogs of the export: "Export Options" (six persisted check boxes), "HTML Export..."
// (link, target and ALT text of one slice with the resulting code) and "Edit HTML Code". Each is
// created once and reused, so what it holds stays from one use to the next.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pg {
class TPixelGraphic;
class TPGImage;
}  // namespace pg

namespace tessel {

class TExportOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TExportOptionsDialog(QWidget* parent = nullptr);

  // Shows the dialog modally; the boxes keep whatever the user set, however it is closed.
  void ShowOptions();

  QCheckBox* IncAltTags() const { return incalttags_; }
  QCheckBox* EditCode() const { return editcode_; }
  QCheckBox* AlwaysGrid() const { return alwaysgrid_; }
  QCheckBox* DoubleQuote() const { return doublequote_; }
  QCheckBox* UpperCase() const { return uppercase_; }
  QCheckBox* ShowOptionsBox() const { return showoptions_; }

  // Reads the six values from the settings store / writes them there.
  void LoadSettings();
  void SaveSettings() const;

 private:
  QCheckBox* incalttags_;
  QCheckBox* editcode_;
  QCheckBox* alwaysgrid_;
  QCheckBox* doublequote_;
  QCheckBox* uppercase_;
  QCheckBox* showoptions_;
};

class THtmlExportDialog : public QDialog {
  Q_OBJECT
 public:
  explicit THtmlExportDialog(QWidget* parent = nullptr);

  // Asks for link, target and ALT text of one slice; returns the resulting code, however the
  // dialog is closed. The target keeps its text from the previous slice.
  std::string AskSliceCode(const pg::TPixelGraphic& slice, const std::string& openTag);

  // Prepares the dialog as AskSliceCode does, without showing it (AskSliceCode = Prepare + exec).
  void Prepare(const pg::TPixelGraphic& slice, const std::string& openTag);

  QLineEdit* EditHref() const { return editHref_; }
  QLineEdit* EditTarget() const { return editTarget_; }
  QLabel* TargetLabel() const { return targetLabel_; }
  QLineEdit* EditAlt() const { return editAlt_; }
  QPlainTextEdit* Memo() const { return memo_; }
  pg::TPGImage* SliceView() const { return aslice_; }

 private:
  void Recompute();

  pg::TPGImage* aslice_;
  QLineEdit* editHref_;
  QLabel* targetLabel_;
  QLineEdit* editTarget_;
  QLineEdit* editAlt_;
  QPlainTextEdit* memo_;
  std::string openTag_;
};

class TEditCodeDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TEditCodeDialog(QWidget* parent = nullptr);

  // Shows `lines` for editing; afterwards `lines` holds the edited text, however the dialog closed.
  void EditCode(std::vector<std::string>& lines);

  QPlainTextEdit* Memo() const { return memo_; }

 private:
  QPlainTextEdit* memo_;
};

}  // namespace tessel
