// What an export wrote, shown when it ends: the slices, the bytes per format and in all, the
// slices without ALT text, and a button that opens the page in the browser. The window keeps one
// and shows it without blocking, so work goes on while it stands.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;

namespace tessel {

struct TExportReport;

class TExportSummaryDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TExportSummaryDialog(QWidget* parent = nullptr);

  // Shows the summary of the export of `htmlPath`, `withoutAlt` of whose slices have no ALT text.
  void ShowReport(const QString& htmlPath, const TExportReport& report, int64_t withoutAlt);

  // The summary's text, as shown.
  static QString SummaryText(const TExportReport& report, int64_t withoutAlt);

  QLabel* Text() const { return text_; }
  QPushButton* OpenButton() const { return open_; }
  const QString& HtmlPath() const { return htmlPath_; }

  // Opens a URL in the desktop's browser; tests replace it.
  std::function<bool(const QUrl& url)> OpenUrl;

 private:
  QLabel* text_;
  QPushButton* open_;
  QString htmlPath_;
};

}  // namespace tessel
