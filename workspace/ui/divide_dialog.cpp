#include "workspace/ui/divide_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QRadioButton>
#include <QSpinBox>

namespace tessel {

TDivideDialog::TDivideDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("DivideDialog");
  setWindowTitle("Divide");
  auto* layout = new QFormLayout(this);
  columns_ = new QSpinBox(this);
  columns_->setObjectName("Columns");
  rows_ = new QSpinBox(this);
  rows_->setObjectName("Rows");
  for (QSpinBox* box : {columns_, rows_}) {
    box->setRange(1, 1000);
    box->setValue(2);
    connect(box, &QSpinBox::valueChanged, this, &TDivideDialog::Changed);
  }
  layout->addRow("Columns:", columns_);
  layout->addRow("Rows:", rows_);
  add_ = new QRadioButton("&Add to the lines there are", this);
  add_->setObjectName("AddLines");
  replace_ = new QRadioButton("&Replace the lines there are", this);
  replace_->setObjectName("ReplaceLines");
  add_->setChecked(true);
  connect(replace_, &QRadioButton::toggled, this, &TDivideDialog::Changed);
  layout->addRow(add_);
  layout->addRow(replace_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addRow(buttons);
}

void TDivideDialog::SetValues(int columns, int rows, bool replace) {
  columns_->setValue(columns);
  rows_->setValue(rows);
  (replace ? replace_ : add_)->setChecked(true);
}

int TDivideDialog::Columns() const {
  return columns_->value();
}
int TDivideDialog::Rows() const {
  return rows_->value();
}
bool TDivideDialog::Replace() const {
  return replace_->isChecked();
}

}  // namespace tessel
