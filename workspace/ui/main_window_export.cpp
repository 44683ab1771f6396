// The export as the window runs it: the save dialog, the export's questions answered by the three
// export dialogs, and a progress dialog with Cancel while slices are written.
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSlider>
#include <QTimer>
#include <atomic>
#include <exception>

#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"
#include "workspace/slice_export.h"
#include "workspace/ui/export_dialogs.h"
#include "workspace/ui/export_summary.h"
#include "workspace/ui/jpeg_page.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/message_boxes.h"

namespace tessel {

namespace {

// The export's questions, answered by the window's dialogs.
class TDialogInteraction : public TExportInteraction {
 public:
  TDialogInteraction(TMainWindow& window,
                     const std::function<bool(const QString&, const QString&)>& askOkCancel)
      : window_(window), askOkCancel_(askOkCancel) {}

  bool ConfirmOverwrite(const std::filesystem::path&, const std::string& text,
                        const std::string& caption) override {
    if (askOkCancel_) return askOkCancel_(QString::fromStdString(caption), QString::fromStdString(text));
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok | QMessageBox::Cancel, &window_);
    return box.exec() == QMessageBox::Ok;
  }

  bool ShowOptions(TExportOptions& options) override {
    TExportOptionsDialog* dialog = window_.OptionsDialog();
    const bool go = dialog->ShowOptions(true);
    options = ReadOptions(*dialog);
    return go;
  }

  TSliceAnswer AskSlice(const pg::TPixelGraphic& slice, const TCellMarkup& markup, const TGridCell&,
                        int64_t position, int64_t count, TSliceProperties& properties) override {
    return window_.HtmlExportDialog()->AskSlice(slice, markup, position, count, properties);
  }

  bool EditCode(std::vector<std::string>& lines) override {
    return window_.EditCodeDialog()->EditCode(lines);
  }

  void GridSaved(const std::filesystem::path& gridPath) override { savedGrid_ = gridPath; }

  void CompleteSaveOptions(pg::TSaveOptions& options) override {
    window_.OptionsDialog()->FormatSettings().ApplyTo(options);
  }

  static TExportOptions ReadOptions(const TExportOptionsDialog& dialog) { return dialog.Options(); }

  const std::filesystem::path& SavedGrid() const { return savedGrid_; }

 private:
  TMainWindow& window_;
  const std::function<bool(const QString&, const QString&)>& askOkCancel_;
  std::filesystem::path savedGrid_;
};

// Slices of the (sorted) grid that have no ALT text; cells of width or height 0 are no slices.
int64_t SlicesWithoutAlt(const TSplitGrid& grid, const TSliceTable& slices) {
  int64_t count = 0;
  grid.ForEachCell([&](const TGridCell& cell) {
    if (cell.Width > 0 && cell.Height > 0 && slices.Get({cell.Column, cell.Row}).Alt.empty()) ++count;
  });
  return count;
}

}  // namespace

void TMainWindow::SetExporting(bool exporting) {
  exporting_ = exporting;
  // The view, the rulers, the tools and the compression page rest while the export runs.
  pages_->setEnabled(!exporting);
  SlicesChanged();
  UpdateMenuState();
}

bool TMainWindow::Export(const QString& htmlPathGiven) {
  if (!HasImage() || exporting_) return false;
  QString htmlPath = htmlPathGiven;
  if (htmlPath.isEmpty()) {
    const QString filter = "HTML Table (*.htm *.html)";
    if (AskFileName) {
      htmlPath = AskFileName("Export", filter, "html", true);
    } else {
      QFileDialog dialog(this, "Export", SuggestedFile(".html"), filter);
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setDefaultSuffix("html");
      // The export asks its own question about an existing file.
      dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
      if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        htmlPath = dialog.selectedFiles().first();
      }
    }
    if (htmlPath.isEmpty()) return false;
    RememberFolder(htmlPath);
  }

  // The export works on a snapshot of its own: the picture as shown now, shared and left as it is
  // while the export reads it, and a copy of the grid, which it sorts in place. Editing is off
  // until the export ends, so the sorted copy then becomes the window's grid.
  const std::shared_ptr<const pg::TPixelGraphic> picture = view_->SharedPixelGraphic();
  TSplitGrid grid = editor_.Grid();
  TDialogInteraction interaction(*this, AskOkCancel);
  TExportOptions options = TDialogInteraction::ReadOptions(*options_);
  std::atomic<bool> cancel{false};
  QProgressDialog progress("Writing slices...", "Cancel", 0, 100, this);
  progress.setObjectName("ExportProgress");
  progress.setWindowTitle("Export");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  // The dialog would show itself a few seconds after its creation, also while the options dialog
  // or the per-slice questions are up; it appears only once slice writing has reported progress.
  progress.reset();
  connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });

  TExportRequest request;
  request.HtmlPath = std::filesystem::path(htmlPath.toStdString());
  request.Source = picture.get();
  request.Grid = &grid;
  const TSliceTable slices = editor_.Slices();
  request.Slices = &slices;
  request.Extension = outputFormat_.toStdString();
  request.Options = &options;
  request.Interaction = &interaction;
  request.WorkingImage = slice_.get();
  request.Cancel = &cancel;
  if (!imagePath_.isEmpty()) request.InputPaths = {std::filesystem::path(imagePath_.toStdString())};
  // The project the work came from is never written over either.
  if (!projectPath_.isEmpty())
    request.InputPaths.push_back(std::filesystem::path(projectPath_.toStdString()));
  if (!gridPath_.isEmpty()) request.GridFilePath = std::filesystem::path(gridPath_.toStdString());
  // The slices are saved with the JPEG page's quality and progression, in a copy of their own, and
  // the format settings of the Export Options as they stand after the dialog.
  pg::TSaveOptions saveOptions = pg::DefaultSaveOptions();
  saveOptions.JPEGQuality = jpegPage_->Slider()->value();
  saveOptions.JPEGProgressive = jpegPage_->Progressive()->isChecked();
  request.SaveOptions = saveOptions;
  request.OnProgress = [&](int64_t done, int64_t total) {
    // Only when no question is asked per slice: the per-slice dialog is progress enough.
    if (options.IncAltTags || total <= 0) return;
    if (done >= total) {
      // The slices are written; the code editor that may follow is no time for progress.
      progress.hide();
      progress.reset();
      return;
    }
    progress.setValue(static_cast<int>(done * 100 / total));
    QApplication::processEvents();
    if (progress.wasCanceled()) cancel = true;
  };

  // A compression preview due now waits until the export is over.
  const bool previewDue = jpegPage_->Timer()->isActive();
  jpegPage_->Stop();
  TExportReport report;
  SetExporting(true);
  exportCancel_ = &cancel;
  std::exception_ptr failure;
  try {
    report = ExportSlices(request);
  } catch (...) {
    failure = std::current_exception();
  }
  exportCancel_ = nullptr;
  SetExporting(false);
  // The progress window goes before any message, so it never stands over the message box.
  progress.close();
  const bool ok = !failure;
  if (failure) RunGuarded(this, [&failure] { std::rethrow_exception(failure); });
  if (previewDue) jpegPage_->Timer()->start();
  // The sort is an edit the user can take back like any other.
  editor_.Edit([&grid](TSplitGrid& shown) { shown = grid; }, "Sort Lines");
  // Answers given to the per-slice questions stay with the slices, as an edit of their own.
  if (ok && report.Result == TExportResult::Done) editor_.SetSlices(report.Slices);
  if (!interaction.SavedGrid().empty()) {
    PushRecent(recentGrids_, QString::fromStdString(interaction.SavedGrid().string()));
    MarkGridSaved();
  }
  RedrawGrid();
  const int64_t withoutAlt = ok ? SlicesWithoutAlt(grid, report.Slices) : 0;
  if (ok && report.Result == TExportResult::Done && options.IncAltTags && withoutAlt > 0) {
    QMessageBox box(QMessageBox::Warning, "Tessel!",
                    withoutAlt == 1 ? QString("1 slice has no ALT text.")
                                    : QString("%1 slices have no ALT text.").arg(withoutAlt),
                    QMessageBox::Ok, this);
    box.setObjectName("MissingAltWarning");
    box.exec();
  }
  if (ok && report.Result == TExportResult::Done) summary_->ShowReport(htmlPath, report, withoutAlt);
  if (closeAfterExport_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  return ok && report.Result == TExportResult::Done;
}

}  // namespace tessel
