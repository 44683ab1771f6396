#include "workspace/ui/export_dialogs.h"

#include <QCheckBox>
#include <QFont>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "imaging/view/qt_pg_image.h"
#include "workspace/html_table.h"
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

}  // namespace

// ---- Export Options ----------------------------------------------------------------------------

TExportOptionsDialog::TExportOptionsDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("ExportOptions");
  setWindowTitle("Export Options");
  setFixedSize(313, 198);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto make = [this, layout](const char* name, const char* caption) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(name);
    layout->addWidget(box);
    return box;
  };
  incalttags_ = make("incalttags", "Include ALT-Tags and/or Links");
  editcode_ = make("editcode", "Edit HTML Code before Export");
  alwaysgrid_ = make("alwaysgrid", "Save grid on export");
  doublequote_ = make("doublequote", "Double quoted tags (\" instead of ')");
  uppercase_ = make("uppercase", "Upper case tags (<TAG> instead of <tag>)");
  layout->addStretch(1);
  auto* bottom = new QHBoxLayout;
  showoptions_ = new QCheckBox("Show this Dialog on export", this);
  showoptions_->setObjectName("showoptions");
  showoptions_->setChecked(true);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  bottom->addWidget(showoptions_);
  bottom->addStretch(1);
  bottom->addWidget(ok);
  layout->addLayout(bottom);
  LoadSettings();
  // Every change is stored at once, so the options survive however the program ends.
  for (QCheckBox* box : {incalttags_, editcode_, alwaysgrid_, doublequote_, uppercase_, showoptions_}) {
    connect(box, &QCheckBox::toggled, this, [this] { SaveSettings(); });
  }
}

void TExportOptionsDialog::ShowOptions() {
  CentreOnScreen(this);
  exec();
  SaveSettings();
}

void TExportOptionsDialog::LoadSettings() {
  QSettings settings = OpenSettings();
  settings.beginGroup(kOptionsGroup);
  for (QCheckBox* box : {incalttags_, editcode_, alwaysgrid_, doublequote_, uppercase_, showoptions_}) {
    const QString key = box->objectName() + ".Checked";
    if (settings.contains(key)) box->setChecked(settings.value(key).toBool());
  }
}

void TExportOptionsDialog::SaveSettings() const {
  QSettings settings = OpenSettings();
  settings.beginGroup(kOptionsGroup);
  for (QCheckBox* box : {incalttags_, editcode_, alwaysgrid_, showoptions_, uppercase_, doublequote_}) {
    settings.setValue(box->objectName() + ".Checked", box->isChecked());
  }
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
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OK");
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  right->addWidget(ok, 0, Qt::AlignRight);
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

void THtmlExportDialog::Prepare(const pg::TPixelGraphic& slice, const std::string& openTag) {
  editHref_->clear();
  editAlt_->clear();
  aslice_->SetPixelGraphic(&slice);
  openTag_ = openTag;
  memo_->setPlainText(ToQt(openTag_ + ">"));
}

std::string THtmlExportDialog::AskSliceCode(const pg::TPixelGraphic& slice, const std::string& openTag) {
  Prepare(slice, openTag);
  CentreOnScreen(this);
  editHref_->setFocus();
  exec();
  return memo_->toPlainText().toStdString();
}

void THtmlExportDialog::Recompute() {
  memo_->setPlainText(ToQt(CellCode(openTag_, editHref_->text().toStdString(),
                                    editTarget_->text().toStdString(), editAlt_->text().toStdString())));
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
  layout->addWidget(ok, 0, Qt::AlignRight);
}

void TEditCodeDialog::EditCode(std::vector<std::string>& lines) {
  memo_->clear();
  QStringList text;
  for (const std::string& line : lines) text << ToQt(line);
  memo_->setPlainText(text.join('\n'));
  CentreOnScreen(this);
  exec();
  // One line per line break: a break at the very end closes the last line instead of opening an
  // empty one, and an empty text is no line at all (each line is written with its own CR LF).
  QStringList edited = memo_->toPlainText().split('\n');
  if (!edited.isEmpty() && edited.last().isEmpty()) edited.removeLast();
  lines.clear();
  for (const QString& line : edited) lines.push_back(line.toStdString());
}

}  // namespace tessel
