#include "workspace/ui/slice_panel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "workspace/output_formats.h"

namespace tessel {

namespace {

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

TSlicePanel::TSlicePanel(QWidget* parent) : QDockWidget("Slice", parent) {
  setObjectName("SlicePanel");
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);
  auto* body = new QWidget(this);
  auto* layout = new QVBoxLayout(body);
  title_ = new QLabel(body);
  title_->setObjectName("SliceTitle");
  QFont bold = title_->font();
  bold.setBold(true);
  title_->setFont(bold);
  place_ = new QLabel(body);
  place_->setObjectName("SlicePlace");
  place_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(title_);
  layout->addWidget(place_);

  auto* form = new QFormLayout;
  url_ = new QLineEdit(body);
  url_->setObjectName("SliceUrl");
  url_->setPlaceholderText("none");
  url_->setClearButtonEnabled(true);
  target_ = new QLineEdit(body);
  target_->setObjectName("SliceTarget");
  target_->setPlaceholderText("the same window");
  alt_ = new QLineEdit(body);
  alt_->setObjectName("SliceAlt");
  alt_->setPlaceholderText("none");
  alt_->setClearButtonEnabled(true);
  format_ = new QComboBox(body);
  format_->setObjectName("SliceFormat");
  // The first entry follows the export's format; the others name a format of the slice's own.
  format_->addItem(QString(), QString());
  for (const TSliceFormat& format : SliceFormats()) {
    format_->addItem(
        QString::fromUtf8(format.Extension.data(), static_cast<qsizetype>(format.Extension.size())) + " (" +
            QString::fromUtf8(format.Description.data(), static_cast<qsizetype>(format.Description.size())) +
            ")",
        QString::fromUtf8(format.Name.data(), static_cast<qsizetype>(format.Name.size())));
  }
  form->addRow("Link &URL:", url_);
  targetLabel_ = new QLabel("Tar&get frame:", body);
  targetLabel_->setBuddy(target_);
  form->addRow(targetLabel_, target_);
  form->addRow("&ALT text:", alt_);
  form->addRow("Fo&rmat:", format_);
  layout->addLayout(form);
  layout->addStretch(1);
  setWidget(body);

  for (QLineEdit* edit : {url_, target_, alt_})
    connect(edit, &QLineEdit::textEdited, this, [this] { Edited(); });
  connect(format_, &QComboBox::activated, this, [this] { Edited(); });
  ShowSlice(std::nullopt, {}, std::string(DefaultSliceFormat().Extension));
}

void TSlicePanel::ShowSlice(const std::optional<TGridCell>& cell, const TSliceProperties& properties,
                            const std::string& exportExtension) {
  hasSlice_ = cell.has_value();
  const QSignalBlocker blockFormat(format_);
  format_->setItemText(0, "As exported (" + ToQt(exportExtension) + ")");
  if (!cell) {
    title_->setText("No slice selected");
    place_->setText("Click a slice with the select tool (S).");
    for (QLineEdit* edit : {url_, target_, alt_}) edit->clear();
    format_->setCurrentIndex(0);
  } else {
    title_->setText(
        QString("Slice %1 (column %2, row %3)").arg(cell->Number).arg(cell->Column).arg(cell->Row));
    place_->setText(QString("At %1, %2; %3 \u00D7 %4 pixels")
                        .arg(cell->Left)
                        .arg(cell->Top)
                        .arg(cell->Width)
                        .arg(cell->Height));
    // Text the user is typing stays as it is; only another slice's text replaces it.
    const auto show = [](QLineEdit* edit, const std::string& text) {
      if (edit->text() != ToQt(text)) edit->setText(ToQt(text));
    };
    show(url_, properties.Url);
    show(target_, properties.Target);
    show(alt_, properties.Alt);
    const int index = format_->findData(ToQt(properties.Format));
    format_->setCurrentIndex(index < 0 ? 0 : index);
  }
  EnableFields();
}

TSliceProperties TSlicePanel::Properties() const {
  TSliceProperties properties;
  properties.Url = url_->text().toStdString();
  properties.Target = target_->text().toStdString();
  properties.Alt = alt_->text().toStdString();
  properties.Format = format_->currentData().toString().toStdString();
  return properties;
}

void TSlicePanel::EnableFields() {
  for (QWidget* field :
       {static_cast<QWidget*>(url_), static_cast<QWidget*>(alt_), static_cast<QWidget*>(format_)})
    field->setEnabled(hasSlice_);
  // As in the export's question: a target frame only means something with a link.
  const bool target = hasSlice_ && !url_->text().isEmpty();
  target_->setEnabled(target);
  targetLabel_->setEnabled(target);
}

void TSlicePanel::Edited() {
  EnableFields();
  if (hasSlice_ && OnChange) OnChange(Properties());
}

}  // namespace tessel
