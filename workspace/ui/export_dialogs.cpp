#include "workspace/ui/export_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <optional>

#include "imaging/view/qt_pg_image.h"
#include "workspace/html_table.h"
#include "workspace/output_formats.h"
#include "workspace/ui/settings.h"

namespace tessel {

namespace {

void CentreOnScreen(QWidget* widget) {
  QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  widget->move(area.center() - QPoint(widget->width() / 2, widget->height() / 2));
}

QLabel* BoldLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

// The result codes of Back and Skip in the per-slice dialog.
constexpr int kBack = kCancelExport + 1;
constexpr int kSkip = kCancelExport + 2;

// "Cancel": ends the export the dialog was shown for.
QPushButton* AddCancelButton(QDialog* dialog) {
  auto* cancel = new QPushButton("Cancel", dialog);
  cancel->setObjectName("Cancel");
  cancel->setAutoDefault(false);
  QObject::connect(cancel, &QPushButton::clicked, dialog, [dialog] { dialog->done(kCancelExport); });
  return cancel;
}

}  // namespace

// ---- Export Options ----------------------------------------------------------------------------

namespace {

// The entries of the Page tab's style box: a style, and for the responsive one whether only the
// part to paste is written.
struct TStyleEntry {
  const char* Caption;
  TOutputStyle Style;
  bool Fragment;
};
constexpr TStyleEntry kStyleEntries[] = {
    {"Classic table", TOutputStyle::Classic, false},
    {"E-mail table", TOutputStyle::Email, false},
    {"Responsive page", TOutputStyle::Responsive, false},
    {"Responsive fragment (to paste)", TOutputStyle::Responsive, true},
};

// "png, bmp" as the names between the commas, without blanks; empty names are dropped.
std::vector<std::string> FormatNames(const QString& text) {
  std::vector<std::string> names;
  for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
    const QString name = part.trimmed();
    if (!name.isEmpty()) names.push_back(name.toStdString());
  }
  return names;
}

}  // namespace

TExportOptionsDialog::TExportOptionsDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("ExportOptions");
  setWindowTitle("Export Options");
  setFixedSize(313, 198);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  layout->addWidget(tabs_);

  // "Table": the five boxes of the table's text.
  auto* table = new QWidget;
  table->setObjectName("table");
  auto* boxes = new QVBoxLayout(table);
  boxes->setContentsMargins(6, 4, 6, 4);
  boxes->setSpacing(2);
  auto make = [table, boxes](const char* name, const char* caption) {
    auto* box = new QCheckBox(caption, table);
    box->setObjectName(name);
    boxes->addWidget(box);
    return box;
  };
  incalttags_ = make("incalttags", "Include ALT-Tags and/or Links");
  editcode_ = make("editcode", "Edit HTML Code before Export");
  alwaysgrid_ = make("alwaysgrid", "Save grid on export");
  doublequote_ = make("doublequote", "Double quoted tags (\" instead of ')");
  uppercase_ = make("uppercase", "Upper case tags (<TAG> instead of <tag>)");
  boxes->addStretch(1);
  tabs_->addTab(table, "&Table");

  // "Page": the page's style and what it offers beyond the classic table.
  auto* page = new QWidget;
  page->setObjectName("page");
  auto* form = new QFormLayout(page);
  form->setContentsMargins(6, 4, 6, 4);
  form->setVerticalSpacing(2);
  style_ = new QComboBox(page);
  style_->setObjectName("style");
  for (const TStyleEntry& entry : kStyleEntries) style_->addItem(entry.Caption);
  style_->setToolTip(
      "Classic: the table of earlier versions. E-mail: a table for e-mails and pages that start with "
      "<!DOCTYPE html>, without gaps. Responsive: a page whose slices scale with the window.");
  form->addRow("&Style:", style_);
  pictureFormats_ = new QLineEdit(page);
  pictureFormats_->setObjectName("pictureformats");
  pictureFormats_->setPlaceholderText("none");
  pictureFormats_->setToolTip(QString::fromStdString(
      "Formats every slice is also written in, separated by commas (" + SliceFormatChoices() +
      "), offered before the Output Format in a <picture>, preferred first."));
  form->addRow("&Also as:", pictureFormats_);
  density_ = new QComboBox(page);
  density_->setObjectName("density");
  for (int32_t density = 1; density <= kMaxDensity; ++density) density_->addItem(QString("%1x").arg(density));
  density_->setToolTip(
      "Pixels of the picture per page pixel: at 2x every slice is written at full resolution as name@2x and "
      "scaled down to half as name, for high-density screens.");
  form->addRow("&Density:", density_);
  baseUrl_ = new QLineEdit(page);
  baseUrl_->setObjectName("baseurl");
  baseUrl_->setPlaceholderText("https://example.com/images/");
  baseUrl_->setToolTip("Put before every slice's file name in the page, for images kept elsewhere.");
  form->addRow("Base &URL:", baseUrl_);
  tabs_->addTab(page, "&Page");

  // "Formats": how the newer formats are encoded (the JPEG page keeps JPEG's quality).
  auto* encoding = new QWidget;
  encoding->setObjectName("formats");
  auto* rows = new QFormLayout(encoding);
  rows->setContentsMargins(6, 4, 6, 4);
  rows->setVerticalSpacing(2);
  const auto spin = [encoding](const char* name, int32_t low, int32_t high, const char* tip) {
    auto* box = new QSpinBox(encoding);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setToolTip(tip);
    return box;
  };
  webpQuality_ =
      spin("webpquality", 0, 100, "Quality of lossy WebP slices: 100 is the finest, the largest files.");
  rows->addRow("&WebP quality:", webpQuality_);
  avifQuality_ = spin("avifquality", 0, 100, "Quality of AVIF slices: 100 is the finest, the largest files.");
  avifSpeed_ = spin("avifspeed", 0, kMaxAVIFSpeed,
                    "Speed of the AVIF encoder: 0 makes the smallest files, 10 is the fastest.");
  // Labels of their own, which point at the field they name (the rows of two fields need them).
  const auto label = [encoding](const char* text, QWidget* buddy) {
    auto* caption = new QLabel(text, encoding);
    caption->setBuddy(buddy);
    return caption;
  };
  auto* avifRow = new QHBoxLayout;
  avifRow->addWidget(avifQuality_);
  avifRow->addWidget(label("sp&eed:", avifSpeed_));
  avifRow->addWidget(avifSpeed_);
  rows->addRow(label("&AVIF quality:", avifQuality_), avifRow);
  pngColors_ = spin("pngcolors", kMinPNGColors, kMaxPNGColors,
                    "Most colours of a png8 slice; a slice with no more keeps its colours exactly.");
  pngDither_ = new QCheckBox("D&ither", encoding);
  pngDither_->setObjectName("pngdither");
  pngDither_->setToolTip("Spread the error of the reduced colours over neighbouring pixels.");
  auto* pngRow = new QHBoxLayout;
  pngRow->addWidget(pngColors_);
  pngRow->addWidget(pngDither_);
  rows->addRow(label("png&8 colours:", pngColors_), pngRow);
  SetFormatSettings({});
  tabs_->addTab(encoding, "&Formats");

  auto* bottom = new QHBoxLayout;
  showoptions_ = new QCheckBox("Show this Dialog on export", this);
  showoptions_->setObjectName("showoptions");
  showoptions_->setChecked(true);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  cancel_ = AddCancelButton(this);
  bottom->addWidget(showoptions_);
  bottom->addStretch(1);
  bottom->addWidget(ok);
  bottom->addWidget(cancel_);
  layout->addLayout(bottom);
  LoadSettings();
  UpdatePageFields();
  // Every change is stored at once, so the options survive however the program ends.
  for (QCheckBox* box : {incalttags_, editcode_, alwaysgrid_, doublequote_, uppercase_, showoptions_}) {
    connect(box, &QCheckBox::toggled, this, [this] { SaveSettings(); });
  }
  for (QComboBox* box : {style_, density_}) {
    connect(box, &QComboBox::currentIndexChanged, this, [this] {
      UpdatePageFields();
      SaveSettings();
    });
  }
  for (QLineEdit* edit : {pictureFormats_, baseUrl_})
    connect(edit, &QLineEdit::textChanged, this, [this] { SaveSettings(); });
  for (QSpinBox* box : {webpQuality_, avifQuality_, avifSpeed_, pngColors_})
    connect(box, &QSpinBox::valueChanged, this, [this] { SaveSettings(); });
  connect(pngDither_, &QCheckBox::toggled, this, [this] { SaveSettings(); });
}

TFormatSettings TExportOptionsDialog::FormatSettings() const {
  TFormatSettings settings;
  settings.WebPQuality = webpQuality_->value();
  settings.AVIFQuality = avifQuality_->value();
  settings.AVIFSpeed = avifSpeed_->value();
  settings.PNGColors = pngColors_->value();
  settings.PNGDither = pngDither_->isChecked();
  return settings;
}

void TExportOptionsDialog::SetFormatSettings(const TFormatSettings& settings) {
  webpQuality_->setValue(settings.WebPQuality);
  avifQuality_->setValue(settings.AVIFQuality);
  avifSpeed_->setValue(settings.AVIFSpeed);
  pngColors_->setValue(settings.PNGColors);
  pngDither_->setChecked(settings.PNGDither);
}

void TExportOptionsDialog::UpdatePageFields() {
  const bool classic = kStyleEntries[std::max(style_->currentIndex(), 0)].Style == TOutputStyle::Classic;
  // Case and quotes shape the classic table only; formats, density and base URL the other styles.
  for (QWidget* widget : {static_cast<QWidget*>(doublequote_), static_cast<QWidget*>(uppercase_)})
    widget->setEnabled(classic);
  for (QWidget* widget : {static_cast<QWidget*>(pictureFormats_), static_cast<QWidget*>(density_),
                          static_cast<QWidget*>(baseUrl_)})
    widget->setEnabled(!classic);
}

TExportOptions TExportOptionsDialog::Options() const {
  TExportOptions options;
  options.IncAltTags = incalttags_->isChecked();
  options.EditCode = editcode_->isChecked();
  options.AlwaysGrid = alwaysgrid_->isChecked();
  options.DoubleQuote = doublequote_->isChecked();
  options.UpperCase = uppercase_->isChecked();
  options.ShowOptions = showoptions_->isChecked();
  const TStyleEntry& entry = kStyleEntries[std::max(style_->currentIndex(), 0)];
  options.Style = entry.Style;
  options.Fragment = entry.Fragment;
  if (entry.Style != TOutputStyle::Classic) {
    options.PictureFormats = FormatNames(pictureFormats_->text());
    options.Density = density_->currentIndex() + 1;
    options.BaseUrl = baseUrl_->text().toStdString();
  }
  return options;
}

void TExportOptionsDialog::SetOptions(const TExportOptions& options) {
  incalttags_->setChecked(options.IncAltTags);
  editcode_->setChecked(options.EditCode);
  alwaysgrid_->setChecked(options.AlwaysGrid);
  doublequote_->setChecked(options.DoubleQuote);
  uppercase_->setChecked(options.UpperCase);
  showoptions_->setChecked(options.ShowOptions);
  for (int i = 0; i < static_cast<int>(std::size(kStyleEntries)); ++i) {
    const TStyleEntry& entry = kStyleEntries[i];
    if (entry.Style == options.Style &&
        entry.Fragment == (options.Fragment && entry.Style == TOutputStyle::Responsive))
      style_->setCurrentIndex(i);
  }
  QStringList formats;
  for (const std::string& name : options.PictureFormats) formats << QString::fromStdString(name);
  pictureFormats_->setText(formats.join(','));
  density_->setCurrentIndex(std::clamp(options.Density, 1, kMaxDensity) - 1);
  baseUrl_->setText(QString::fromStdString(options.BaseUrl));
}

bool TExportOptionsDialog::ShowOptions(bool forExport) {
  cancel_->setVisible(forExport);
  CentreOnScreen(this);
  const int result = exec();
  SaveSettings();
  return result != kCancelExport;
}

void TExportOptionsDialog::LoadSettings() {
  // Each field stores all of them when it changes: none may do so before all are read.
  loading_ = true;
  QSettings settings = OpenSettings();
  settings.beginGroup(kOptionsGroup);
  for (QCheckBox* box : {incalttags_, editcode_, alwaysgrid_, doublequote_, uppercase_, showoptions_}) {
    const QString key = box->objectName() + ".Checked";
    if (settings.contains(key)) box->setChecked(settings.value(key).toBool());
  }
  settings.beginGroup(kPageGroup);
  const std::optional<TOutputStyle> style =
      FindOutputStyle(settings.value("style", "classic").toString().toStdString());
  const bool fragment = settings.value("fragment", false).toBool();
  for (int i = 0; i < static_cast<int>(std::size(kStyleEntries)); ++i) {
    if (style && kStyleEntries[i].Style == *style &&
        kStyleEntries[i].Fragment == (fragment && *style == TOutputStyle::Responsive))
      style_->setCurrentIndex(i);
  }
  pictureFormats_->setText(settings.value("pictureformats").toString());
  density_->setCurrentIndex(std::clamp(settings.value("density", 1).toInt(), 1, kMaxDensity) - 1);
  baseUrl_->setText(settings.value("baseurl").toString());
  settings.endGroup();

  // Values outside a box's range are brought into it by the box.
  settings.beginGroup(kFormatsGroup);
  for (QSpinBox* box : {webpQuality_, avifQuality_, avifSpeed_, pngColors_})
    box->setValue(settings.value(box->objectName(), box->value()).toInt());
  pngDither_->setChecked(settings.value(pngDither_->objectName(), pngDither_->isChecked()).toBool());
  loading_ = false;
  UpdatePageFields();
}

void TExportOptionsDialog::SaveSettings() const {
  if (loading_) return;
  QSettings settings = OpenSettings();
  settings.beginGroup(kOptionsGroup);
  for (QCheckBox* box : {incalttags_, editcode_, alwaysgrid_, showoptions_, uppercase_, doublequote_}) {
    settings.setValue(box->objectName() + ".Checked", box->isChecked());
  }
  settings.beginGroup(kPageGroup);
  const TStyleEntry& entry = kStyleEntries[std::max(style_->currentIndex(), 0)];
  settings.setValue("style", QString::fromUtf8(OutputStyleName(entry.Style).data(),
                                               static_cast<qsizetype>(OutputStyleName(entry.Style).size())));
  settings.setValue("fragment", entry.Fragment);
  settings.setValue("pictureformats", pictureFormats_->text());
  settings.setValue("density", density_->currentIndex() + 1);
  settings.setValue("baseurl", baseUrl_->text());
  settings.endGroup();
  settings.beginGroup(kFormatsGroup);
  for (QSpinBox* box : {webpQuality_, avifQuality_, avifSpeed_, pngColors_})
    settings.setValue(box->objectName(), box->value());
  settings.setValue(pngDither_->objectName(), pngDither_->isChecked());
}

// ---- HTML Export... ----------------------------------------------------------------------------

THtmlExportDialog::THtmlExportDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("HtmlExport");
  setWindowTitle("HTML Export...");
  setFixedSize(592, 291);
  setModal(true);
  auto* layout = new QHBoxLayout(this);
  aslice_ = new pg::TPGImage(this);
  aslice_->setObjectName("aslice");
  aslice_->SetStretch(pg::sShrinkKAR);
  aslice_->SetCenter(true);
  aslice_->setFixedWidth(200);
  layout->addWidget(aslice_);

  auto* right = new QVBoxLayout;
  right->addWidget(BoldLabel("Link URL for this Image? (leave blank for none)", this));
  editHref_ = new QLineEdit(this);
  editHref_->setObjectName("edit_href");
  right->addWidget(editHref_);
  auto* targetRow = new QHBoxLayout;
  targetLabel_ = BoldLabel("Target Frame?", this);
  targetLabel_->setObjectName("target_label");
  editTarget_ = new QLineEdit(this);
  editTarget_->setObjectName("edit_target");
  targetRow->addWidget(targetLabel_);
  targetRow->addWidget(editTarget_);
  right->addLayout(targetRow);
  right->addWidget(BoldLabel("ALT Text for this Image? (leave blank for none)", this));
  editAlt_ = new QLineEdit(this);
  editAlt_->setObjectName("edit_alt");
  right->addWidget(editAlt_);
  right->addWidget(BoldLabel("Resulting Code:", this));
  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName("Memo1");
  memo_->setReadOnly(true);
  right->addWidget(memo_, 1);
  auto* buttons = new QHBoxLayout;
  position_ = new QLabel(this);
  position_->setObjectName("position");
  buttons->addWidget(position_, 1);
  back_ = new QPushButton("< Back", this);
  back_->setObjectName("Back");
  back_->setAutoDefault(false);
  connect(back_, &QPushButton::clicked, this, [this] { done(kBack); });
  skip_ = new QPushButton("Skip", this);
  skip_->setObjectName("Skip");
  skip_->setAutoDefault(false);
  skip_->setToolTip("Leave this slice as it is stored and go on");
  connect(skip_, &QPushButton::clicked, this, [this] { done(kSkip); });
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OK");
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  cancel_ = AddCancelButton(this);
  buttons->addWidget(back_);
  buttons->addWidget(skip_);
  buttons->addWidget(ok);
  buttons->addWidget(cancel_);
  right->addLayout(buttons);
  layout->addLayout(right, 1);

  targetLabel_->setEnabled(false);
  editTarget_->setEnabled(false);
  connect(editHref_, &QLineEdit::textChanged, this, [this](const QString& text) {
    targetLabel_->setEnabled(!text.isEmpty());
    editTarget_->setEnabled(!text.isEmpty());
    Recompute();
  });
  connect(editTarget_, &QLineEdit::textChanged, this, [this] { Recompute(); });
  connect(editAlt_, &QLineEdit::textChanged, this, [this] { Recompute(); });
}

void THtmlExportDialog::Prepare(const pg::TPixelGraphic& slice, const std::string& openTag, int64_t position,
                                int64_t count, const TSliceProperties& properties) {
  Prepare(slice, TCellMarkup{TOutputStyle::Classic, openTag, {}}, position, count, properties);
}

void THtmlExportDialog::Prepare(const pg::TPixelGraphic& slice, const TCellMarkup& markup, int64_t position,
                                int64_t count, const TSliceProperties& properties) {
  markup_ = markup;
  editHref_->setText(ToQt(properties.Url));
  // A slice without a target of its own is offered the previous slice's.
  if (!properties.Target.empty()) editTarget_->setText(ToQt(properties.Target));
  editAlt_->setText(ToQt(properties.Alt));
  aslice_->SetPixelGraphic(&slice);
  position_->setText(QString("Slice %1 of %2").arg(position).arg(count));
  back_->setEnabled(position > 1);
  Recompute();
}

TSliceProperties THtmlExportDialog::Answers(const TSliceProperties& stored) const {
  TSliceProperties answers = stored;
  answers.Url = editHref_->text().toStdString();
  answers.Alt = editAlt_->text().toStdString();
  // The target only counts with a link; without one the slice keeps what it had.
  if (!answers.Url.empty()) answers.Target = editTarget_->text().toStdString();
  return answers;
}

TSliceAnswer THtmlExportDialog::AskSlice(const pg::TPixelGraphic& slice, const TCellMarkup& markup,
                                         int64_t position, int64_t count, TSliceProperties& properties) {
  Prepare(slice, markup, position, count, properties);
  CentreOnScreen(this);
  editHref_->setFocus();
  const int result = exec();
  // The picture is the export's working image; the dialog lets go of its copy.
  aslice_->SetPixelGraphic(nullptr);
  switch (result) {
    case kCancelExport:
      return TSliceAnswer::Cancel;
    case kSkip:
      return TSliceAnswer::Next;
    case kBack:
      properties = Answers(properties);
      return TSliceAnswer::Back;
    default:
      properties = Answers(properties);
      return TSliceAnswer::Next;
  }
}

void THtmlExportDialog::Recompute() {
  memo_->setPlainText(ToQt(markup_.Code(editHref_->text().toStdString(), editTarget_->text().toStdString(),
                                        editAlt_->text().toStdString())));
}

// ---- Edit HTML Code ----------------------------------------------------------------------------

TEditCodeDialog::TEditCodeDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("EditCode");
  setWindowTitle("Edit HTML Code");
  setFixedSize(592, 273);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  memo_ = new QPlainTextEdit(this);
  memo_->setObjectName("Memo1");
  memo_->setFixedSize(577, 225);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  layout->addWidget(memo_);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OK");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  cancel_ = AddCancelButton(this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
}

bool TEditCodeDialog::EditCode(std::vector<std::string>& lines) {
  memo_->clear();
  QStringList text;
  for (const std::string& line : lines) text << ToQt(line);
  memo_->setPlainText(text.join('\n'));
  CentreOnScreen(this);
  if (exec() == kCancelExport) return false;
  // One line per line break: a break at the very end closes the last line instead of opening an
  // empty one, and an empty text is no line at all (each line is written with its own CR LF).
  QStringList edited = memo_->toPlainText().split('\n');
  if (!edited.isEmpty() && edited.last().isEmpty()) edited.removeLast();
  lines.clear();
  for (const QString& line : edited) lines.push_back(line.toStdString());
  return true;
}

}  // namespace tessel
