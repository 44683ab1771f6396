// "Divide...": how many equal columns and rows to cut the image into.
#pragma once

#include <QDialog>

class QSpinBox;

namespace tessel {

class TDivideDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TDivideDialog(QWidget* parent = nullptr);
  int Columns() const;
  int Rows() const;
  QSpinBox* ColumnsBox() const { return columns_; }
  QSpinBox* RowsBox() const { return rows_; }

 private:
  QSpinBox* columns_;
  QSpinBox* rows_;
};

}  // namespace tessel
