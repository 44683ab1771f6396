#include "workspace/ui/divide_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
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
  }
  layout->addRow("Columns:", columns_);
  layout->addRow("Rows:", rows_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addRow(buttons);
}

int TDivideDialog::Columns() const {
  return columns_->value();
}
int TDivideDialog::Rows() const {
  return rows_->value();
}

}  // namespace tessel
