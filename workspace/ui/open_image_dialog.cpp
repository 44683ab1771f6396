#include "workspace/ui/open_image_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <memory>

#include "imaging/formats/file_format.h"
#include "imaging/formats/image_io.h"
#include "imaging/image/pixel_graphic.h"
#include "imaging/view/qt_pg_image.h"

namespace tessel {

namespace {

// Pictures larger than this are described but not previewed, so browsing stays quick.
constexpr int64_t kPreviewPixelLimit = int64_t{4096} * 4096;

}  // namespace

QStringList ReaderFilterToQt(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(';')) {
      if (!pattern.trimmed().isEmpty()) patterns << pattern.trimmed();
    }
    result << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return result;
}

TOpenImageDialog::TOpenImageDialog(QWidget* parent) : QFileDialog(parent, "Open") {
  setObjectName("OpenImageDialog");
  setOption(QFileDialog::DontUseNativeDialog, true);
  setFileMode(QFileDialog::ExistingFile);
  setAcceptMode(QFileDialog::AcceptOpen);
  setNameFilters(ReaderFilterToQt(pg::BuildReaderFilter()));

  auto* panel = new QWidget(this);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(4, 0, 0, 0);
  preview_ = new pg::TPGImage(panel);
  preview_->setObjectName("Preview");
  preview_->SetStretch(pg::sShrinkKAR);
  preview_->SetCenter(true);
  preview_->SetStretchMode(pg::smMedium);
  preview_->setFixedSize(180, 150);
  info_ = new QLabel(panel);
  info_->setObjectName("PreviewInfo");
  info_->setWordWrap(true);
  info_->setFixedWidth(180);
  info_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  layout->addWidget(preview_);
  layout->addWidget(info_, 1);
  if (auto* grid = qobject_cast<QGridLayout*>(this->layout())) {
    grid->addWidget(panel, 0, grid->columnCount(), grid->rowCount(), 1);
  }
  connect(this, &QFileDialog::currentChanged, this, &TOpenImageDialog::ShowPreview);
}

void TOpenImageDialog::ShowPreview(const QString& path) {
  std::string description, colors, infoText, subFormat;
  int32_t count = 0, bits = 0, height = 0, width = 0;
  preview_->SetPixelGraphic(nullptr);
  if (!pg::GetGraphicFileInfo(path.toStdString(), 0, description, count, bits, colors, height, width,
                              infoText, subFormat)) {
    info_->clear();
    return;
  }
  QStringList lines;
  lines << QString::fromStdString(description);
  if (!subFormat.empty()) lines << QString::fromStdString(subFormat);
  lines << QString("%1 x %2 pixels").arg(width).arg(height);
  lines << QString("%1 bits per pixel").arg(bits);
  if (!colors.empty()) lines << QString::fromStdString(colors);
  if (count > 1) lines << QString("%1 images").arg(count);
  if (!infoText.empty()) lines << QString::fromStdString(infoText);
  info_->setText(lines.join('\n'));
  if (static_cast<int64_t>(width) * height > kPreviewPixelLimit) return;
  try {
    auto graphic = std::make_unique<pg::TPixelGraphic>();
    graphic->SetReadWarningAction(pg::pgwaIgnore);
    graphic->LoadFromFile(path.toStdString());
    preview_->AdoptPixelGraphic(std::move(graphic));
  } catch (const std::exception&) {
    // The header was readable but the picture is not; the information above still helps.
  }
}

}  // namespace tessel
