#include "workspace/ui/export_summary.h"

#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "workspace/slice_export.h"

namespace tessel {

namespace {

QString Count(int64_t count, const char* one, const char* many) {
  return QString("%1 %2").arg(count).arg(count == 1 ? one : many);
}

}  // namespace

TExportSummaryDialog::TExportSummaryDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("ExportSummary");
  setWindowTitle("Export finished");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(this);
  text_->setObjectName("Summary");
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(text_);
  auto* buttons = new QHBoxLayout;
  open_ = new QPushButton("Open in Browser", this);
  open_->setObjectName("OpenInBrowser");
  auto* close = new QPushButton("Close", this);
  close->setObjectName("Close");
  close->setDefault(true);
  buttons->addStretch(1);
  buttons->addWidget(open_);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(open_, &QPushButton::clicked, this, [this] {
    const QUrl url = QUrl::fromLocalFile(QDir(htmlPath_).absolutePath());
    if (OpenUrl ? OpenUrl(url) : QDesktopServices::openUrl(url)) accept();
  });
}

QString TExportSummaryDialog::SummaryText(const TExportReport& report, int64_t withoutAlt) {
  QStringList lines;
  lines << Count(report.SlicesWritten, "slice", "slices") + " written, " +
               Count(report.TotalBytes(), "byte", "bytes") + " in all";
  const std::vector<TFormatTotal> totals = report.Totals();
  // One format says nothing the first line does not.
  if (totals.size() > 1) {
    for (const TFormatTotal& total : totals) {
      lines << QString::fromStdString(total.Format) + ": " + Count(total.Slices, "slice", "slices") + ", " +
                   Count(total.Bytes, "byte", "bytes");
    }
  }
  lines << (withoutAlt == 0 ? QString("Every slice has an ALT text.")
                            : Count(withoutAlt, "slice has", "slices have") + " no ALT text.");
  return lines.join('\n');
}

void TExportSummaryDialog::ShowReport(const QString& htmlPath, const TExportReport& report,
                                      int64_t withoutAlt) {
  htmlPath_ = htmlPath;
  text_->setText(SummaryText(report, withoutAlt));
  adjustSize();
  show();
  raise();
}

}  // namespace tessel
